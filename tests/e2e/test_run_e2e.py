#!/usr/bin/python3
"""Test runs of the real Diagnova.exe, driven from outside, in the sealed network.

Diagnova checks for updates when it starts and its network steps reach the
game's servers, so every run here happens inside tests/network/sealed_run.py
(only loopback exists there). A copy of the program in a fresh folder keeps
the archives of these runs apart from everything else.

  1. A completed Runeveil run: the progress dialog gives way to the result
     dialog; the archive beside the program holds the sealed report, whose
     sections stand in the run's order; the report itself stays in the
     temporary folder.
  2. Cancel during route tracing (the route tracers are stand-ins that never
     end): the dialog closes at once, the tracers are stopped, the worker
     finishes in the background and deletes its report, no archive is made,
     and the archive of the earlier run stays as it was.
  3. The close box on the progress dialog (after a screenshot of it) ends
     only the dialog: the run completes unseen and leaves its archive, and no
     result dialog opens.
  4. Without Internet access (the update server is down): after the start-up
     warning, a run shows the connectivity step's warning once, then ends as
     if cancelled: the dialog closes, the report is deleted, no archive.

Usage: test_run_e2e.py BUILD_DIR   (as root, with WINEPREFIX set)
"""
import hashlib
import os
import shutil
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "network"))

import driver as dgn  # noqa: E402
import sealed_run  # noqa: E402
from run_helpers import (BANNERS_IN_ORDER, RULE, TRAILER, attach, complete_archive, find_message_box,  # noqa: E402
                         reports_in, run_to_file, screenshot, start_test, temp_folder, wait_for_tracer,
                         wait_until_gone)

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def inside(build_dir):
    d = dgn.Driver(build_dir)
    program_dir = tempfile.mkdtemp(prefix="dgn-run-")
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), program_dir)
    program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    temp = temp_folder()
    check(os.path.isdir(temp), "the temporary folder is found: " + temp)
    before = reports_in(temp)

    # 1. A completed run.
    r = start_test(d, program, 0)
    check(r.returncode == 0, "Runeveil test started\n" + str(r))
    pid = r.get("pid")
    r = run_to_file(d, attach(pid), ["timeout", "120000"], ["wait-window", "--title", "Test Result"],
              ["dump"], timeout=300)
    check(r.returncode == 0, "the result dialog follows the progress dialog\n" + str(r))
    if r.returncode != 0:
        print(str(run_to_file(d, attach(pid), ["windows"])))
        for path in reports_in(temp) - before:
            with open(path, "rb") as f:
                print("report so far, last bytes:", f.read()[-1500:])
    check((r.control_text(1030) or "").endswith("\\Runeveil Test.zip"),
          "the result dialog names the archive: %r" % r.control_text(1030))
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Test Result"], ["click", "1040"], timeout=60)
    check(r.returncode == 0, "Close ends the result dialog\n" + str(r))
    # The main window is disabled until the result dialog is gone; a close
    # posted before then would be refused, as a click on it would be.
    wait_until_gone(d, pid, "Test Result")
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Orvane Diagnova"], ["close"],
                    ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the program ends after the result dialog\n" + str(r))

    archive = os.path.join(program_dir, "Runeveil Test.zip")
    check(os.path.isfile(archive), "the archive is beside the program")
    new_reports = reports_in(temp) - before
    check(len(new_reports) == 1, "the completed run's report stays in the temporary folder: %s" % new_reports)
    member = b""
    if os.path.isfile(archive):
        with zipfile.ZipFile(archive) as z:
            names = z.namelist()
            check(names[:1] == ["Runeveil Test.txt"], "the report is the archive's first member: %s" % names)
            if names[:1] == ["Runeveil Test.txt"]:
                member = z.read("Runeveil Test.txt")
    if len(new_reports) == 1:
        with open(new_reports.pop(), "rb") as f:
            check(f.read() == member, "the archived report equals the report file")
    text = member.decode("latin-1")
    check(text.startswith("Runeveil Test Report -- created by Diagnova v"), "the report starts with its header")
    check(TRAILER.search(member) is not None, "the report ends with the end marker and the digest trailer")
    positions = [text.find(RULE + "\r\n= " + b + "\r\n" + RULE + "\r\n") for b in BANNERS_IN_ORDER]
    missing = [b for b, p in zip(BANNERS_IN_ORDER, positions) if p < 0]
    check(not missing, "every section is in the report: missing %s" % missing)
    present = [p for p in positions if p >= 0]
    check(present == sorted(present), "the sections stand in run order")
    with open(archive, "rb") as f:
        archive_digest = hashlib.sha256(f.read()).hexdigest()

    # 2. Cancel during route tracing: no archive, the report deleted, the
    # earlier archive kept.
    before = reports_in(temp)
    trace_log = os.path.join(program_dir, "traces.log")
    os.environ["DGN_STANDIN_HANG"] = "1"
    os.environ["DGN_STANDIN_LOG"] = dgn.windows_path(trace_log)
    r = start_test(d, program, 1)
    del os.environ["DGN_STANDIN_HANG"]
    del os.environ["DGN_STANDIN_LOG"]
    check(r.returncode == 0, "Runeveil 2 test started\n" + str(r))
    pid = r.get("pid")
    # A tracer logs its command line as it starts: the route step is running.
    check(wait_for_tracer(trace_log), "the route tracers started")
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Test Progress"], ["click", "2"],
              ["wait-window", "--title", "Orvane Diagnova"], ["windows"], timeout=60)
    check(r.returncode == 0, "Cancel closes the progress dialog\n" + str(r))
    check(not any("Test Progress" in v for v in r.all("top_level")), "no progress dialog is left")
    # The worker finishes in the background; its report disappears when it ends.
    deadline = time.time() + 120
    while time.time() < deadline and (reports_in(temp) - before):
        time.sleep(0.5)  # the worker is in another process; its file is all there is to watch
    check(not (reports_in(temp) - before), "the cancelled run deleted its report")
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Orvane Diagnova"], ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the program ends\n" + str(r))
    check(not os.path.exists(os.path.join(program_dir, "Runeveil 2 Test.zip")), "no archive for the cancelled run")
    with open(archive, "rb") as f:
        check(hashlib.sha256(f.read()).hexdigest() == archive_digest, "the earlier archive is untouched")

    # 3. The close box: the run goes on unseen and leaves its archive.
    solmere_archive = os.path.join(program_dir, "Solmere Test.zip")
    os.remove(trace_log)
    os.environ["DGN_STANDIN_DELAY_MS"] = "8000"  # the route step outlasts the close
    os.environ["DGN_STANDIN_LOG"] = dgn.windows_path(trace_log)
    r = start_test(d, program, 3)
    del os.environ["DGN_STANDIN_DELAY_MS"]
    del os.environ["DGN_STANDIN_LOG"]
    check(r.returncode == 0, "Solmere test started\n" + str(r))
    pid = r.get("pid")
    check(wait_for_tracer(trace_log), "the slow route tracers started")
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Test Progress"], ["dump"], timeout=60)
    check(r.returncode == 0 and r.control_text(1046) == "Testing Network Route. . .",
          "the progress dialog shows the route step\n" + str(r))
    screenshot(sys.argv[2], "progress_dialog")
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Test Progress"], ["close"],
                    ["wait-window", "--title", "Orvane Diagnova"], ["windows"], timeout=60)
    check(r.returncode == 0, "the close box ends the progress dialog\n" + str(r))
    check(not any("Test Progress" in v for v in r.all("top_level")), "no progress dialog is left")
    deadline = time.time() + 240
    while time.time() < deadline and not complete_archive(solmere_archive):
        time.sleep(0.5)  # the worker is in another process; its archive is all there is to watch
    check(complete_archive(solmere_archive), "the run completed and left its archive")
    if complete_archive(solmere_archive):
        with zipfile.ZipFile(solmere_archive) as z:
            check(z.namelist()[:1] == ["Solmere Test.txt"], "the archive holds the Solmere report first")
            check(TRAILER.search(z.read("Solmere Test.txt")) is not None, "the archived report is sealed")
    # The finished message has nowhere to go: no result dialog may appear.
    r = run_to_file(d, attach(pid), ["timeout", "3000"], ["wait-window", "--title", "Test Result"], timeout=60)
    check(r.returncode != 0, "no result dialog opens after the close box\n" + str(r))
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Orvane Diagnova"], ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the program ends\n" + str(r))

    shutil.rmtree(program_dir, ignore_errors=True)
    return 1 if failures else 0


NO_INTERNET_WARNING = "Diagnova will be unable to continue the network test"


def inside_offline(build_dir):
    d = dgn.Driver(build_dir)
    program_dir = tempfile.mkdtemp(prefix="dgn-offline-")
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), program_dir)
    program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    temp = temp_folder()
    before = reports_in(temp)

    r = run_to_file(d, ["start", program], ["timeout", "30000"], ["wait-window", "--class", "#32770"],
                    ["text", "65535"], ["close"], timeout=90)
    check(r.returncode == 0 and "Unable to connect to update server" in (r.get("text") or ""),
          "the start-up check warns that the update server cannot be reached\n" + str(r))
    pid = r.get("pid")
    started = False
    for _ in range(10):  # the warning box may still be on its way out
        r = run_to_file(d, attach(pid), ["wait-window", "--title", "Orvane Diagnova"], ["select", "1007", "1"],
                        ["click", "1005"], timeout=60)
        if r.returncode == 0:
            started = True
            break
        time.sleep(0.5)
    check(started, "Runeveil 2 test started without Internet access\n" + str(r))
    warning = find_message_box(d, pid, 120)
    check(warning is not None and warning.startswith(NO_INTERNET_WARNING),
          "the connectivity step warns that the network test cannot go on: %r" % warning)
    check(wait_until_gone(d, pid, "Test Progress"), "the run ends as cancelled: no progress dialog")
    deadline = time.time() + 120
    while time.time() < deadline and (reports_in(temp) - before):
        time.sleep(0.5)  # the worker is in another process; its file is all there is to watch
    check(not (reports_in(temp) - before), "the report of the cancelled run is deleted")
    second = find_message_box(d, pid, 3)
    check(second is None, "the skipped route step shows no second warning: %r" % second)
    check(not os.path.exists(os.path.join(program_dir, "Runeveil 2 Test.zip")), "no archive without Internet access")
    r = run_to_file(d, attach(pid), ["wait-window", "--title", "Orvane Diagnova"], ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the program ends\n" + str(r))
    shutil.rmtree(program_dir, ignore_errors=True)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        return inside(sys.argv[2])
    if len(sys.argv) == 3 and sys.argv[1] == "--inside-offline":
        return inside_offline(sys.argv[2])
    build_dir = os.path.abspath(sys.argv[1])
    # dxdiag and the route tracers, played by the stand-in tool under their
    # own names (dxdiag fails at once: no source file is named).
    tools = tempfile.mkdtemp(prefix="dgn-tools-")
    installed = []
    for name in ("tracert.exe", "pathping.exe", "dxdiag.exe"):
        installed.append(os.path.join(tools, name))
        shutil.copy(os.path.join(build_dir, "tests", "tool_stand_in.exe"), installed[-1])
    # The 32-bit XP prefix: under WOW64 Wine's own 64-bit dxdiag would run and
    # never end in this setting.
    prefix = os.path.join(build_dir, "wine", "winxp")
    try:
        rc = sealed_run.run([sys.executable, os.path.abspath(__file__), "--inside", build_dir],
                            scenario="all_reachable", xvfb=True, install=installed, wine_prefix=prefix)
        rc |= sealed_run.run([sys.executable, os.path.abspath(__file__), "--inside-offline", build_dir],
                             scenario="update_down", xvfb=True, install=installed, wine_prefix=prefix)
        return rc
    finally:
        shutil.rmtree(tools, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
