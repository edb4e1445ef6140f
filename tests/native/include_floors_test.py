#!/usr/bin/env python3
"""The product sources read top-down: every #include "..." names a file on the
including file's floor or below it, and no files include each other in a
circle (a header and its source count as one file here).

Usage: include_floors_test.py SOURCE_ROOT
"""
import os
import re
import sys
import unittest

# Highest first. A folder's subfolders (collect/network) share its floor.
FLOORS = ["app", "ui", "run", "collect", "report", "catalog", "common", "resources"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def floor_of(path):
    top = path.split("/", 1)[0]
    return FLOORS.index(top) if top in FLOORS else None


def read_includes(root):
    """{file: [included file, ...]} for every source file on a floor."""
    includes = {}
    for top in FLOORS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if not name.endswith((".h", ".cpp", ".rc")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    found = INCLUDE.findall(f.read())
                # The resource scripts include their neighbours by bare name.
                includes[path] = [n if "/" in n else os.path.dirname(path) + "/" + n for n in found]
    return includes


def upward_includes(includes):
    found = []
    for path, targets in sorted(includes.items()):
        for target in targets:
            target_floor = floor_of(target)
            if target_floor is None or target_floor > floor_of(path):
                continue
            if target_floor < floor_of(path):
                found.append("%s includes %s" % (path, target))
    return found


def unknown_folders(includes):
    return sorted({"%s includes %s" % (p, t) for p, ts in includes.items() for t in ts if floor_of(t) is None})


def module_circles(includes):
    """Strongly connected groups of more than one module (path without extension)."""
    graph = {}
    for path, targets in includes.items():
        module = os.path.splitext(path)[0]
        edges = graph.setdefault(module, set())
        for target in targets:
            other = os.path.splitext(target)[0]
            if other != module:
                edges.add(other)
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for other in sorted(graph.get(node, ())):
            if other not in index:
                visit(other)
                low[node] = min(low[node], low[other])
            elif other in on_stack:
                low[node] = min(low[node], index[other])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return groups


class IncludeFloors(unittest.TestCase):
    root = "."

    def setUp(self):
        self.includes = read_includes(self.root)
        self.assertGreater(len(self.includes), 50, "no product sources under %s" % self.root)

    def test_every_include_points_to_the_same_floor_or_lower(self):
        self.assertEqual([], upward_includes(self.includes))

    def test_every_included_file_lies_on_a_floor(self):
        self.assertEqual([], unknown_folders(self.includes))

    def test_no_files_include_each_other_in_a_circle(self):
        self.assertEqual([], module_circles(self.includes))

    def test_the_checks_see_a_climb_and_a_circle(self):
        made_up = {
            "report/a.cpp": ["report/a.h", "ui/b.h"],
            "ui/b.cpp": ["ui/b.h", "report/a.h"],
            "common/c.cpp": ["common/d.h"],
            "common/d.cpp": ["common/c.h"],
        }
        self.assertEqual(["report/a.cpp includes ui/b.h"], upward_includes(made_up))
        self.assertEqual([["common/c", "common/d"], ["report/a", "ui/b"]], sorted(module_circles(made_up)))


if __name__ == "__main__":
    IncludeFloors.root = sys.argv.pop(1) if len(sys.argv) > 1 else "."
    unittest.main()
