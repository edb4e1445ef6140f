#!/usr/bin/env python3
"""Lists what a ctest run left untested, with the reasons the tests gave.

usage: list_skips.py JUNIT_XML   (written by ctest --output-junit)

ctest counts a skipped entry as passed and prints no reason, and a test that
runs only some of its paths (a processor without an extension, a locale this
machine lacks) passes all the same. So that a green summary never hides an
untested path, scripts/test prints for each ctest run:

  skipped: ENTRY: REASON    an entry that ctest marked skipped, or one that
                            passed while a test inside it skipped; REASON is
                            each GoogleTest skip's message (after "Skipped")
                            or Python unittest skip's ("skipped 'REASON'"),
                            with the test's name where the entry holds many
  untested: ENTRY: WHAT     a line "untested: WHAT" that a test printed for a
                            path it could not run here
  failed: ENTRY: WHAT       for an entry that failed, each "FAIL ..." line or
                            GoogleTest "[  FAILED  ]" test it printed (or its
                            last line when it printed neither), so that the
                            summary at the end of a long log says why

scripts/test counts the "skipped:" lines as skipped, not passed.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree

GTEST_SKIPPED = re.compile(r"^\[  SKIPPED \] (\S+) \(\d+ ms\)$")
UNITTEST_SKIPPED = re.compile(r"^(\S+) \(\S+\)(?: .*)? \.\.\. skipped '(.*)'$")
UNTESTED = re.compile(r"^untested: (.+)$")
FAILED = re.compile(r"^(?:FAIL (.+)|\[  FAILED  \] (\S+) \(\d+ ms\))$")
# A failing end-to-end script may fail every later check too; the first few
# say enough.
MOST_FAILURES = 8


def skips(output):
    """(test, reason) for every GoogleTest or unittest skip in the output."""
    found, message = [], None
    for line in output.splitlines():
        line = line.rstrip("\r")
        if line.endswith(": Skipped"):
            message = []
        elif (m := GTEST_SKIPPED.match(line)) and message is not None:
            found.append((m.group(1), " ".join(" ".join(message).split()) or "(no reason given)"))
            message = None
        elif message is not None:
            message.append(line)
        elif m := UNITTEST_SKIPPED.match(line):
            found.append((m.group(1), m.group(2) or "(no reason given)"))
    return found


def failures(output):
    """The first lines that say what failed, each once, in order."""
    found = []
    for line in output.splitlines():
        if (m := FAILED.match(line.rstrip("\r"))) and (what := (m.group(1) or m.group(2)).strip()) not in found:
            found.append(what)
    if not found:
        lines = [line.strip() for line in output.splitlines() if line.strip()]
        found = [lines[-1] if lines else "(no output)"]
    if len(found) > MOST_FAILURES:
        found = found[:MOST_FAILURES] + ["and %d more" % (len(found) - MOST_FAILURES)]
    return found


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    for case in ElementTree.parse(argv[1]).getroot().iter("testcase"):
        name, status = case.get("name"), case.get("status")
        output = case.findtext("system-out") or ""
        skipped = case.find("skipped")
        # An entry that could not start is "not run" too, but ctest counts
        # that as a failure already.
        marked = skipped is not None and skipped.get("message", "").startswith("SKIP_")
        found = skips(output)
        if marked or (status == "run" and found and case.find("failure") is None):
            if not found:
                lines = [line.strip() for line in output.splitlines() if line.strip()]
                found = [(None, lines[-1] if lines else "(no output)")]
            # An entry of one test is named after it; others name each test.
            print("skipped: %s: %s" % (name, "; ".join(
                reason if test is None or name.endswith(test) else "%s: %s" % (test, reason)
                for test, reason in found)))
        for line in output.splitlines():
            if m := UNTESTED.match(line.rstrip("\r")):
                print("untested: %s: %s" % (name, m.group(1).strip()))
        if case.find("failure") is not None or status == "fail":
            for what in failures(output):
                print("failed: %s: %s" % (name, what))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
