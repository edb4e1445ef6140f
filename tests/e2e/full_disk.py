#!/usr/bin/python3
"""Runs the full-disk unit tests (tests/unit/full_disk_test.cpp) on a file
system that is really full.

A tmpfs of 256 KiB is mounted inside the sealed test network's private mount
namespace (tests/network/sealed_run.py, which also gives Wine a wineserver of
its own in there: Wine's server opens the files, so one started outside would
not see the mount). The unit tests find it through DIAGNOVA_FULL_DISK_FOLDER
as a Windows path on drive Z:, fill it, and give pages back as they need.
Needs root. usage: full_disk.py BUILD_DIR
"""
import os
import re
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "network"))
import sealed_run  # noqa: E402

EXPECTED_TESTS = 2


def main(build_dir):
    build_dir = os.path.abspath(build_dir)
    tests = os.path.join(build_dir, "tests", "diagnova_tests.exe")
    prefix = os.environ.get("WINEPREFIX") or os.path.join(build_dir, "wine", "win7")
    work = tempfile.mkdtemp(prefix="dgn-full-")
    mount_point = os.path.join(work, "disk")
    os.mkdir(mount_point)
    output = os.path.join(work, "output.txt")
    os.environ["DIAGNOVA_FULL_DISK_FOLDER"] = "Z:" + mount_point.replace("/", "\\")
    script = 'mount -t tmpfs -o size=256k,mode=1777 tmpfs "$1" && exec wine "$2" --gtest_filter="FullDisk.*"'
    try:
        with open(output, "w") as out:
            rc = sealed_run.run(["sh", "-c", script, "sh", mount_point, tests], xvfb=True, wine_prefix=prefix,
                                stdout=out, stderr=out, stdin=sealed_run.subprocess.DEVNULL)
        with open(output, errors="replace") as f:
            text = f.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(text)
    passed = re.search(r"\[  PASSED  \] (\d+) test", text)
    if rc != 0 or not passed or int(passed.group(1)) != EXPECTED_TESTS or "[  SKIPPED ]" in text:
        print("full_disk: expected %d tests to pass on the small file system (exit code %d)" % (EXPECTED_TESTS, rc))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
