#!/usr/bin/python3
"""The main job (scripts/run) end to end: what it prints and its exit code.

  1. A complete Runeveil 2 run, asked for in lower case: the job prints the
     game, three screenshots (PNG files of the virtual display, each showing
     something else), the archive
     (a file that survives the run) with its members in order, the archived
     report's verification by the program's own verification mode, and
     "result: ok", and exits with 0. The member sizes are the real ones, and
     the launcher's files and the game's logs put into the prefix are there.
  2. The same job without Internet access: the run ends as cancelled, so the
     job names no archive, prints "result: failed" and exits with 1.
  3. scripts/run with an unknown game refuses it with the valid names and exit
     code 2, before building anything.

Usage: main_job_test.py BUILD_DIR   (as root)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import main_job  # noqa: E402

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def job(build_dir, out, *extra):
    done = subprocess.run([sys.executable, os.path.join(HERE, "main_job.py"), build_dir, "--xvfb", "--out", out]
                          + list(extra), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=240)
    text = done.stdout.decode("latin-1")
    print(text)
    lines = []
    for line in text.splitlines():
        key, sep, value = line.partition(": ")
        if sep:
            lines.append((key, value))
    return done.returncode, lines


def values(lines, key):
    return [v for k, v in lines if k == key]


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


def differing_pixels(a, b):
    done = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        return float(done.stderr.decode().split()[0])
    except (IndexError, ValueError):
        return 0


def main():
    build_dir = os.path.abspath(sys.argv[1])
    main_job.use_build(build_dir)
    out = tempfile.mkdtemp(prefix="dgn-main-job-")
    try:
        rc, lines = job(build_dir, out, "--game", "runeveil 2")
        check(rc == 0, "the job succeeds (exit code %d)" % rc)
        check(values(lines, "result") == ["ok"], "the job ends with result: ok")
        check(values(lines, "game")[:1] == ["Runeveil 2 (selector shows Runeveil 2)"],
              "the lower-case name selects Runeveil 2: %s" % values(lines, "game"))

        shots = {k: v for k, v in lines if k.startswith("screenshot_")}
        check(sorted(shots) == ["screenshot_main_window", "screenshot_progress_dialog", "screenshot_result_dialog"],
              "three screenshots are named: %s" % sorted(shots))
        for name, path in shots.items():
            check(path.startswith(out) and os.path.isfile(path) and png_size(path) == (1024, 768),
                  "%s is a PNG of Wine's desktop in the run's folder" % name)

        # Each shows another window: a screenshot taken at the wrong moment
        # would repeat the one before it.
        paths = [shots.get(n) for n in ("screenshot_main_window", "screenshot_progress_dialog",
                                        "screenshot_result_dialog")]
        for a, b in zip(paths, paths[1:]):
            check(a and b and differing_pixels(a, b) > 5000,
                  "%s and %s show different windows" % (os.path.basename(a or "?"), os.path.basename(b or "?")))

        archives = values(lines, "archive")
        check(len(archives) == 1 and archives[0].startswith(out) and archives[0].endswith("/Runeveil 2 Test.zip")
              and os.path.isfile(archives[0]), "the archive is named and stays after the run: %s" % archives)
        if len(archives) == 1 and os.path.isfile(archives[0]):
            with zipfile.ZipFile(archives[0]) as z:
                expected = ["%d %s" % (i.file_size, i.filename) for i in z.infolist()]
            check(values(lines, "member") == expected,
                  "the member lines are the archive's members with their sizes, in order:\n  %s"
                  % "\n  ".join(values(lines, "member")))
        names = [m.split(" ", 1)[1] for m in values(lines, "member")]
        check(names[:1] == ["Runeveil 2 Test.txt"], "the report comes first")
        wanted = main_job.expected_member_names(1)
        check(wanted and sorted(names[1:]) == sorted(wanted),
              "the launcher's files and the game's logs are the other members: %s" % wanted)
        check(not [v for v in values(lines, "problem")], "the job names no problem")
        check(values(lines, "verification") == ["Checksum matched"] and
              values(lines, "verification_exit_code") == ["0"],
              "the verification mode confirms the archived report")

        rc, lines = job(build_dir, out, "--scenario", "update_down", "--game", "Solmere")
        check(rc == 1, "without Internet access the job fails (exit code %d)" % rc)
        check(values(lines, "result")[:1] and values(lines, "result")[0].startswith("failed"),
              "it says so: %s" % values(lines, "result"))
        check(not values(lines, "archive") and not os.path.exists(os.path.join(out, "Solmere Test.zip")),
              "it names no archive")
    finally:
        shutil.rmtree(out, ignore_errors=True)

    done = subprocess.run([os.path.join(SOURCE_DIR, "scripts", "run"), "--game", "Runeveil 3"],
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    text = done.stdout.decode("latin-1")
    check(done.returncode == 2 and '"Runeveil", "Runeveil 2", "Kharros II", "Solmere"' in text,
          "scripts/run refuses an unknown game with the valid names: %d %r" % (done.returncode, text))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
