#!/usr/bin/env python3
"""Lists what a ctest run left untested, with the reasons the tests gave.

usage: list_skips.py LAST_TEST_LOG

ctest counts a skipped test as passed and prints no reason, and a test that
runs only some of its paths (a processor without an extension, a locale this
machine lacks) passes all the same. So that a green summary never hides an
untested path, scripts/test prints for each ctest run, from its log
(Testing/Temporary/LastTest.log):

  skipped: TEST: REASON     a GoogleTest skip (the message after "Skipped"),
                            or a Python unittest skip ("skipped 'REASON'")
  untested: TEST: WHAT      a line "untested: WHAT" that a test printed for a
                            path it could not run here

A skip without a message is listed with "(no reason given)".
"""
import re
import sys

TEST_START = re.compile(r"^\d+/\d+ Test: (.+)$", re.M)
OUTPUT = re.compile(r"\nOutput:\n-+\n(.*?)<end of output>", re.S)
GTEST_SKIP = re.compile(r": Skipped\n(.*?)\[  SKIPPED \]", re.S)
UNITTEST_SKIP = re.compile(r"^(\S+) \(.*?\)(?: \.\.\.|\n.*?\.\.\.) skipped '(.*)'$", re.M)
UNTESTED = re.compile(r"^untested: (.+)$", re.M)


def findings(log_text):
    """(kind, test, reason) for every skip and untested path in the log."""
    found = []
    starts = list(TEST_START.finditer(log_text))
    for i, start in enumerate(starts):
        end = starts[i + 1].start() if i + 1 < len(starts) else len(log_text)
        block = log_text[start.end():end]
        output = OUTPUT.search(block)
        if output is None:
            continue
        output = output.group(1)
        name = start.group(1).strip()
        for skip in GTEST_SKIP.finditer(output):
            found.append(("skipped", name, " ".join(skip.group(1).split()) or "(no reason given)"))
        for skip in UNITTEST_SKIP.finditer(output):
            found.append(("skipped", "%s %s" % (name, skip.group(1)), skip.group(2) or "(no reason given)"))
        for line in UNTESTED.finditer(output):
            found.append(("untested", name, line.group(1).strip()))
    return found


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        with open(argv[1], encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError as e:
        print("untested: (no ctest log to read: %s)" % e)
        return 0
    for kind, test, reason in findings(text):
        print("%s: %s: %s" % (kind, test, reason))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
