#!/usr/bin/python3
"""Test runs of the real Diagnova.exe, driven from outside, in the sealed
network, and exactly what each run leaves behind.

Diagnova checks for updates when it starts and its network steps reach the
game's servers, so every run here happens inside tests/network/sealed_run.py
(only loopback exists there; Kharros II's nprotect host never answers). A copy
of the program in a fresh folder keeps the archives of these runs apart from
everything else. dxdiag and the route tracers are played by the stand-in tool;
its control file (DGN_STANDIN_CONTROL) changes how they behave from run to
run, so that one program instance goes through all of these in turn:

  1. A completed Runeveil run: the progress dialog gives way to the result
     dialog; the archive beside the program holds the sealed report, whose
     sections stand in the run's order and which holds dxdiag's output; the
     report stays in the temporary folder, dxdiag's file does not.
  2. Cancel while dxdiag runs (it never ends): the dialog closes at once,
     dxdiag is stopped, and the worker finishes in the background.
  3. A second Runeveil run right after that cancel, held in its own dxdiag
     step until the first worker has deleted its report: nothing of the
     cancelled run reaches the new dialog (status, bar), the first run left
     nothing behind and the earlier archive stayed byte for byte; then the
     second run completes with its own report and archive.
  4. Cancel during server connectivity (Kharros II; the silent host holds the
     step for the 10-second connect limit): the dialog closes at once, the
     step ends by itself, the route step is skipped (no tracer starts), the
     report is deleted, the earlier Kharros II archive stays.
  5. Cancel during route tracing (Runeveil 2; the tracers never end): the
     tracers are stopped, the report and dxdiag's file are deleted, the
     earlier Runeveil 2 archive stays.
  6. The close box on the progress dialog (after a screenshot of it) ends only
     the dialog: the run completes unseen, leaves its archive and its report,
     and no result dialog opens.
  7. The close box while dxdiag never ends leaves the run going; the next
     Test makes that run no longer current, which stops its dxdiag, and the
     abandoned run deletes its report and dxdiag's file while the new run
     completes and replaces the earlier Runeveil 2 archive.
  8. Closing the main window during route tracing (the tracers never end)
     ends the program and every tracer it started.
  9. A program started from a read-only folder with a missing, then a
     read-only temporary folder: each run says it cannot create its report
     there, and why, and ends; with the temporary folder writable again the
     next run tells the player that the archive cannot be written beside
     the program, and why, and puts it on the desktop, which the result
     dialog then names.
 10. In a second sealed session, without Internet access (the update server
     is down): after the start-up warning, a run shows the connectivity
     step's warning once, then ends as if cancelled: the dialog closes, no
     tracer starts, the report and dxdiag's file are deleted, no archive.

Usage: test_run_e2e.py BUILD_DIR   (as root)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "network"))

import driver as dgn  # noqa: E402
import game_fixtures as fx  # noqa: E402
import sealed_run  # noqa: E402
from run_helpers import (BANNERS_IN_ORDER, MAIN_WINDOW, PROGRESS_DIALOG, RESULT_DIALOG, RULE, RUN_PREFIXES, TRAILER,  # noqa: E402
                         attach, complete_archive, dxdiag_file, file_digest, find_message_box, press_test,
                         processes_ended, reports_in, run_to_file, screenshot, start_test, temp_folder, tool_starts,
                         wait_for, wait_for_status, wait_until_gone)

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


# What the stand-in writes when it plays dxdiag: its report up to the heading
# at which the program stops copying, and the components part after it.
DXDIAG_HEAD = ("------------------\r\nSystem Information\r\n------------------\r\n"
               "Operating System: stand-in for the end-to-end runs\r\n")
DXDIAG_SAMPLE = DXDIAG_HEAD + ("------------------\r\nDirectX Components\r\n------------------\r\n"
                               "ddraw.dll: 5.03.2600.5512\r\n")

DIRECTX = "Testing DirectX. . ."
CONNECTIVITY = "Testing Server Connection. . ."
ROUTE = "Testing Network Route. . ."


class Tools:
    """The stand-in tools' log and control file, in a folder of their own."""

    def __init__(self, folder):
        # Wine runs its builtin dxdiag even when a file of that name lies in
        # the system folder, unless told to prefer the native file. The
        # program passes its environment on to the tools it starts.
        overrides = os.environ.get("WINEDLLOVERRIDES", "")
        os.environ["WINEDLLOVERRIDES"] = (overrides + ";" if overrides else "") + "dxdiag.exe=n"
        self.log = os.path.join(folder, "tools.log")
        self.control = os.path.join(folder, "tools.control")
        self.source = os.path.join(folder, "dxdiag.txt")
        self.gate = os.path.join(folder, "dxdiag.gate")
        with open(self.source, "wb") as f:
            f.write(DXDIAG_SAMPLE.encode("latin-1"))
        self.set()

    def set(self, **settings):
        """dxdiag copies the sample unless told otherwise; tracers end at once."""
        lines = {"DGN_STANDIN_LOG": dgn.windows_path(self.log), "DGN_STANDIN_SOURCE": dgn.windows_path(self.source),
                 "DGN_STANDIN_GATE": dgn.windows_path(self.gate)}
        lines.update({"DGN_STANDIN_" + k.upper(): v for k, v in settings.items()})
        with open(self.control + ".new", "w") as f:
            f.write("".join("%s=%s\r\n" % item for item in lines.items()))
        os.replace(self.control + ".new", self.control)

    def starts(self):
        return tool_starts(self.log)

    def tracers(self, since=0):
        return [(c, p) for c, p in self.starts()[since:] if "pathping" in c.lower() or "tracert" in c.lower()]

    def dxdiags(self, since=0):
        return [(c, p) for c, p in self.starts()[since:] if " /t " in c]


def start_run(d, pid, game, tools, what, step=None, status=None):
    """Presses Test for the game and checks that the run started and, when
    asked, that the step's tools ("dxdiag" or "tracers") started and that
    the progress dialog shows status. Returns the tool starts before it."""
    starts = len(tools.starts())
    r = press_test(d, pid, game)
    check(r.returncode == 0, "%s started\n%s" % (what, r))
    if step == "dxdiag":
        check(wait_for(lambda: tools.dxdiags(starts), 60), "%s: dxdiag started" % what)
    elif step == "tracers":
        check(wait_for(lambda: tools.tracers(starts), 120), "%s: the route tracers started" % what)
    if status is not None:
        check(wait_for_status(d, pid, status, 10 if step else 120),
              "%s: the progress dialog shows %r" % (what, status))
    return starts


def cancel_at_once(d, pid):
    """Presses Cancel on the progress dialog; true when the dialog is gone
    within a moment (the worker finishing in the background takes longer)."""
    r = run_to_file(d, attach(pid), PROGRESS_DIALOG, ["click", "2"], timeout=60)
    return r.returncode == 0 and wait_until_gone(d, pid, PROGRESS_DIALOG, 5)


NO_REPORT_FILE = "The test cannot run: Diagnova cannot create its report file in your temporary folder."
ARCHIVE_NOT_SAVED = "Diagnova could not save the report archive here:"
SAVED_INSTEAD = "The report has been saved here instead. Please attach this file to your support ticket:"


def reg_add(key, name, value):
    subprocess.run(["wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def remount(folder, mode, bind=False):
    """Makes folder read-only ("ro") or writable again ("rw") for everything
    in this mount namespace, as a read-only medium or share would be."""
    if bind:
        subprocess.run(["mount", "--bind", folder, folder], check=True)
    subprocess.run(["mount", "-o", "remount,bind," + mode, folder], check=True)


def archive_member(archive, name):
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        return names, (z.read(name) if name in names else b"")


def plant_archive(path, member):
    """An archive left by an earlier run of that game."""
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(member, "earlier report\r\n")
    return file_digest(path)


def check_completed_report(archive, member_name, report, text_start):
    """The archive's first member is the run's report, sealed, equal to the
    report file that stays in the temporary folder."""
    names, member = archive_member(archive, member_name)
    check(names[:1] == [member_name], "the report is the archive's first member: %s" % names)
    with open(report, "rb") as f:
        check(f.read() == member, "the archived report equals the report file that stays behind")
    check(member.decode("latin-1").startswith(text_start), "the report starts with its header")
    check(TRAILER.search(member) is not None, "the report ends with the end marker and the digest trailer")
    return member


def inside(build_dir):
    d = dgn.Driver(build_dir)
    program_dir = tempfile.mkdtemp(prefix="dgn-run-")
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), program_dir)
    program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    tools = Tools(program_dir)
    os.environ["DGN_STANDIN_CONTROL"] = dgn.windows_path(tools.control)
    temp = temp_folder()
    check(os.path.isdir(temp), "the temporary folder is found: " + temp)

    # 1. A completed run.
    before = reports_in(temp)
    r = start_test(d, program, 0)
    check(r.returncode == 0, "Runeveil test started\n" + str(r))
    pid = r.get("pid")
    r = run_to_file(d, attach(pid), ["timeout", "120000"], RESULT_DIALOG,
                    ["dump"], timeout=300)
    check(r.returncode == 0, "the result dialog follows the progress dialog\n" + str(r))
    if r.returncode != 0:
        print(str(run_to_file(d, attach(pid), ["windows"])))
    check((r.control_text(1030) or "").endswith("\\Runeveil Test.zip"),
          "the result dialog names the archive: %r" % r.control_text(1030))
    r = run_to_file(d, attach(pid), RESULT_DIALOG, ["click", "1040"], timeout=60)
    check(r.returncode == 0, "Close ends the result dialog\n" + str(r))
    # The main window is disabled until the result dialog is gone; a Test
    # click sent before then would be refused.
    check(wait_until_gone(d, pid, RESULT_DIALOG), "the result dialog is gone")

    archive = os.path.join(program_dir, "Runeveil Test.zip")
    left = reports_in(temp) - before
    check(len(left) == 1, "the completed run leaves exactly its report in the temporary folder: %s" % left)
    dxdiags = tools.dxdiags()
    check(len(dxdiags) == 1, "dxdiag ran once: %s" % dxdiags)
    if dxdiags:
        check(not os.path.exists(dxdiag_file(dxdiags[0][0], temp)), "dxdiag's file is deleted after the copy")
    check(os.path.isfile(archive), "the archive is beside the program")
    if os.path.isfile(archive) and len(left) == 1:
        member = check_completed_report(archive, "Runeveil Test.txt", left.pop(), "Runeveil Test Report -- created by Diagnova v")
        text = member.decode("latin-1")
        positions = [text.find(RULE + "\r\n= " + b + "\r\n" + RULE + "\r\n") for b in BANNERS_IN_ORDER]
        missing = [b for b, p in zip(BANNERS_IN_ORDER, positions) if p < 0]
        check(not missing, "every section is in the report: missing %s" % missing)
        present = [p for p in positions if p >= 0]
        check(present == sorted(present), "the sections stand in run order")
        check(DXDIAG_HEAD + "\r\n" in text and "DirectX Components" not in text,
              "the DirectX section holds dxdiag's report up to its components")
    archive_digest = file_digest(archive) if os.path.isfile(archive) else None

    # 2. Cancel while dxdiag runs: it has begun its file and holds it open.
    before = reports_in(temp)
    tools.set(dxdiag="partial")
    starts = start_run(d, pid, 0, tools, "a second Runeveil test", "dxdiag", DIRECTX)
    hung = tools.dxdiags(starts)[:1]
    check(hung and wait_for(lambda: os.path.exists(dxdiag_file(hung[0][0], temp)), 10), "dxdiag began its file")
    cancelled_reports = reports_in(temp) - before
    if hung:
        cancelled_reports.discard(dxdiag_file(hung[0][0], temp))
    check(len(cancelled_reports) == 1, "the run's report is in the temporary folder: %s" % cancelled_reports)
    # The next run's dxdiag waits at a gate, so that run stays in its DirectX
    # step while the cancelled worker winds down.
    tools.set(dxdiag="gate")
    check(cancel_at_once(d, pid), "Cancel closes the progress dialog at once")
    check(processes_ended(d, [p for _, p in hung]), "the cancelled run stopped dxdiag")

    # 3. A second run at once, while the first worker still finishes.
    starts = start_run(d, pid, 0, tools, "a Runeveil test right after the cancel", "dxdiag")
    r = run_to_file(d, attach(pid), PROGRESS_DIALOG, timeout=60)
    new_dialog = r.get("window")
    check(wait_for(lambda: not (cancelled_reports & reports_in(temp)), 120),
          "the cancelled run deleted its report")
    if hung:
        check(not os.path.exists(dxdiag_file(hung[0][0], temp)), "the cancelled run left no dxdiag file")
    check(file_digest(archive) == archive_digest,
          "the cancelled run left the earlier archive as it was")
    # The cancelled worker ran its remaining sections while this dialog was
    # open; none of its checkpoints, status texts or timer stops reached it.
    r = run_to_file(d, attach(pid), PROGRESS_DIALOG, ["text", "1046"], ["bar", "1024"],
                    timeout=60)
    check(r.returncode == 0 and r.get("window") == new_dialog and r.get("text") == DIRECTX
          and r.get("position") == "2",
          "the new run's dialog still shows its own DirectX step at 2\n" + str(r))
    with open(tools.gate, "w"):
        pass
    r = run_to_file(d, attach(pid), ["timeout", "120000"], RESULT_DIALOG,
                    ["text", "1030"], ["click", "1040"], timeout=300)
    check(r.returncode == 0 and (r.get("text") or "").endswith("\\Runeveil Test.zip"),
          "the run after the cancel completes with its own result dialog\n" + str(r))
    check(wait_until_gone(d, pid, RESULT_DIALOG), "the result dialog is gone")
    os.remove(tools.gate)
    tools.set()
    left = reports_in(temp) - before
    check(len(left) == 1, "the two runs leave exactly the completed run's report: %s" % left)
    if len(left) == 1 and os.path.isfile(archive):
        check_completed_report(archive, "Runeveil Test.txt", left.pop(), "Runeveil Test Report -- created by Diagnova v")

    # 4. Cancel during server connectivity.
    k2_archive = os.path.join(program_dir, "Kharros II Test.zip")
    k2_digest = plant_archive(k2_archive, "Kharros II Test.txt")
    before = reports_in(temp)
    starts = start_run(d, pid, 2, tools, "Kharros II test", status=CONNECTIVITY)
    check(cancel_at_once(d, pid), "Cancel during the connectivity step closes the dialog at once")
    cancelled_reports = reports_in(temp) - before
    check(len(cancelled_reports) == 1, "the run's report is in the temporary folder: %s" % cancelled_reports)
    check(wait_for(lambda: not (reports_in(temp) - before), 120), "the cancelled run deleted its report")
    check(not tools.tracers(starts), "the route step was skipped: no tracer started")
    check(file_digest(k2_archive) == k2_digest, "the earlier Kharros II archive is untouched")

    # 5. Cancel during route tracing.
    rv2_archive = os.path.join(program_dir, "Runeveil 2 Test.zip")
    rv2_digest = plant_archive(rv2_archive, "Runeveil 2 Test.txt")
    before = reports_in(temp)
    tools.set(hang="1")
    # A tracer logs its command line as it starts: the route step is running.
    starts = start_run(d, pid, 1, tools, "Runeveil 2 test", "tracers", ROUTE)
    check(cancel_at_once(d, pid), "Cancel during route tracing closes the dialog at once")
    check(wait_for(lambda: not (reports_in(temp) - before), 120), "the cancelled run deleted its report")
    tracers = tools.tracers(starts)
    check(processes_ended(d, [p for _, p in tracers]), "the cancelled run stopped all %d tracers" % len(tracers))
    dxdiags = tools.dxdiags(starts)
    check(len(dxdiags) == 1 and not os.path.exists(dxdiag_file(dxdiags[0][0], temp)),
          "the run's dxdiag file is gone")
    check(file_digest(rv2_archive) == rv2_digest, "the earlier Runeveil 2 archive is untouched")
    tools.set()

    # 6. The close box: the run goes on unseen and leaves its archive.
    solmere_archive = os.path.join(program_dir, "Solmere Test.zip")
    before = reports_in(temp)
    tools.set(delay_ms="8000")  # the route step outlasts the close
    starts = start_run(d, pid, 3, tools, "Solmere test with slow tracers", "tracers", ROUTE)
    screenshot(sys.argv[2], "progress_dialog")
    r = run_to_file(d, attach(pid), PROGRESS_DIALOG, ["close"], timeout=60)
    check(r.returncode == 0 and wait_until_gone(d, pid, PROGRESS_DIALOG, 5), "the close box ends the progress dialog")
    check(wait_for(lambda: complete_archive(solmere_archive), 240), "the run completed and left its archive")
    tools.set()
    left = reports_in(temp) - before
    check(len(left) == 1, "the unseen run leaves exactly its report: %s" % left)
    if len(left) == 1 and complete_archive(solmere_archive):
        check_completed_report(solmere_archive, "Solmere Test.txt", left.pop(), "Solmere Test Report")
    dxdiags = tools.dxdiags(starts)
    check(len(dxdiags) == 1 and not os.path.exists(dxdiag_file(dxdiags[0][0], temp)), "the run's dxdiag file is gone")
    # The finished message has nowhere to go: no result dialog may appear.
    r = run_to_file(d, attach(pid), ["timeout", "3000"], RESULT_DIALOG, timeout=60)
    check(r.returncode != 0, "no result dialog opens after the close box\n" + str(r))

    # 7. The close box while dxdiag never ends, then Test again: the new run
    # makes the abandoned one no longer current, and its dxdiag is stopped
    # rather than left running for a report that is deleted anyway.
    before = reports_in(temp)
    tools.set(dxdiag="partial")
    starts = start_run(d, pid, 1, tools, "Runeveil 2 test", "dxdiag")
    hung = tools.dxdiags(starts)[:1]
    hung_file = dxdiag_file(hung[0][0], temp) if hung else ""
    check(hung and wait_for(lambda: os.path.exists(hung_file), 10), "dxdiag began its file")
    check(wait_for_status(d, pid, DIRECTX, 10), "the progress dialog shows the DirectX step")
    r = run_to_file(d, attach(pid), PROGRESS_DIALOG, ["close"], timeout=60)
    check(r.returncode == 0 and wait_until_gone(d, pid, PROGRESS_DIALOG, 5), "the close box ends the progress dialog")
    abandoned = reports_in(temp) - before - {hung_file}
    check(len(abandoned) == 1, "the abandoned run's report is in the temporary folder: %s" % abandoned)
    check(not processes_ended(d, [p for _, p in hung], 1), "the close box alone leaves dxdiag running")
    tools.set()
    r = press_test(d, pid, 1)
    check(r.returncode == 0, "another Runeveil 2 test started\n" + str(r))
    check(processes_ended(d, [p for _, p in hung], 5), "the new run's start stopped the abandoned run's dxdiag")
    check(wait_for(lambda: not (abandoned & reports_in(temp)), 120), "the abandoned run deleted its report")
    check(not os.path.exists(hung_file), "the abandoned run left no dxdiag file")
    r = run_to_file(d, attach(pid), ["timeout", "120000"], RESULT_DIALOG,
                    ["text", "1030"], ["click", "1040"], timeout=300)
    check(r.returncode == 0 and (r.get("text") or "").endswith("\\Runeveil 2 Test.zip"),
          "the new run completes with its own result dialog\n" + str(r))
    check(wait_until_gone(d, pid, RESULT_DIALOG), "the result dialog is gone")
    left = reports_in(temp) - before
    check(len(left) == 1, "the two runs leave exactly the completed run's report: %s" % left)
    if len(left) == 1 and os.path.isfile(rv2_archive):
        check_completed_report(rv2_archive, "Runeveil 2 Test.txt", left.pop(), "Runeveil 2 Test Report")

    # 8. Closing the main window during route tracing ends the program, and
    # with it every tool it started: the tracers never end by themselves.
    print("untested: Ctrl+C or Ctrl+Break reaching the program while its route step shares a tool's console "
          "(Wine 8 delivers no console control event to a hidden console)")
    tools.set(hang="1")
    starts = start_run(d, pid, 1, tools, "a last Runeveil 2 test", "tracers", ROUTE)
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "60000"],
                    ["wait-exit"], timeout=90)
    check(r.returncode == 0, "closing the main window ends the program\n" + str(r))
    tracers = tools.tracers(starts)
    check(processes_ended(d, [p for _, p in tracers]), "none of the %d tracers outlives the program" % len(tracers))
    tools.set()
    archives = sorted(n for n in os.listdir(program_dir) if n.endswith(".zip"))
    check(archives == ["Kharros II Test.zip", "Runeveil 2 Test.zip", "Runeveil Test.zip", "Solmere Test.zip"],
          "the program's folder holds one archive per game and nothing else of the runs: %s" % archives)

    # 9. A missing, then a read-only temporary folder, then a read-only
    # program folder (a locked-down computer, a program run from a read-only
    # medium). The first two runs say that they cannot create their report
    # there, and why, and end. With
    # the temporary folder writable again the next run completes; it tells the
    # player that the archive could not be written beside the program and why,
    # and where it is instead (the desktop), and the result dialog names that.
    locked = tempfile.mkdtemp(prefix="dgn-locked-")
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), locked)
    locked_temp = tempfile.mkdtemp(prefix="dgn-temp-")
    desktop = tempfile.mkdtemp(prefix="dgn-desktop-")
    for name, value in (("TEMP", locked_temp), ("TMP", locked_temp)):
        reg_add("HKCU\\Environment", name, dgn.windows_path(value))
    reg_add("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", "Desktop",
            dgn.windows_path(desktop))
    # The temporary folder does not exist yet for the first run.
    os.rmdir(locked_temp)
    remount(locked, "ro", bind=True)
    r = start_test(d, dgn.windows_path(os.path.join(locked, "Diagnova.exe")), 0)
    check(r.returncode == 0, "Runeveil test started from a read-only folder\n" + str(r))
    pid = r.get("pid")
    for state in ("missing", "read-only"):
        if state == "read-only":
            os.mkdir(locked_temp)
            remount(locked_temp, "ro", bind=True)
            r = press_test(d, pid, 0)
            check(r.returncode == 0, "Runeveil test started again\n" + str(r))
        box = find_message_box(d, pid, 60) or ""
        check(box.startswith(NO_REPORT_FILE + "\n\n" + dgn.windows_path(locked_temp) + "\\\n\n") and
              not box.endswith("\n"), "a %s temporary folder is named with the system's reason: %r" % (state, box))
        check(wait_until_gone(d, pid, PROGRESS_DIALOG), "the run without a report file ends (%s)" % state)
    remount(locked_temp, "rw")
    r = press_test(d, pid, 0)
    check(r.returncode == 0, "Runeveil test started again\n" + str(r))
    box = find_message_box(d, pid, 120) or ""
    elsewhere = dgn.windows_path(desktop) + "\\Runeveil Test.zip"
    head = ARCHIVE_NOT_SAVED + "\n\n" + dgn.windows_path(locked) + "\\Runeveil Test.zip\n\n"
    tail = "\n\n" + SAVED_INSTEAD + "\n\n" + elsewhere
    check(box.startswith(head) and box.endswith(tail) and len(box) > len(head) + len(tail),
          "the player is told where the archive could not be written, why, and where it is instead: %r" % box)
    r = run_to_file(d, attach(pid), ["timeout", "120000"], RESULT_DIALOG, ["text", "1030"], ["click", "1040"],
                    timeout=300)
    check(r.returncode == 0 and r.get("text") == elsewhere, "the result dialog names the archive on the desktop\n" + str(r))
    archive = os.path.join(desktop, "Runeveil Test.zip")
    left = reports_in(locked_temp)
    check(len(left) == 1 and complete_archive(archive), "the desktop holds the archive: %s" % os.listdir(desktop))
    if len(left) == 1 and complete_archive(archive):
        check_completed_report(archive, "Runeveil Test.txt", left.pop(), "Runeveil Test Report")
    check(os.listdir(locked) == ["Diagnova.exe"], "nothing was written beside the program")
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the program ends\n" + str(r))
    for folder in (locked, locked_temp):
        subprocess.run(["umount", folder], check=False)

    shutil.rmtree(program_dir, ignore_errors=True)
    return 1 if failures else 0


NO_INTERNET_WARNING = "Diagnova will be unable to continue the network test"


def inside_offline(build_dir):
    d = dgn.Driver(build_dir)
    program_dir = tempfile.mkdtemp(prefix="dgn-offline-")
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), program_dir)
    program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    tools = Tools(program_dir)
    os.environ["DGN_STANDIN_CONTROL"] = dgn.windows_path(tools.control)
    temp = temp_folder()
    before = reports_in(temp)

    r = run_to_file(d, ["start", program], ["timeout", "30000"], ["wait-window", "--class", "#32770"],
                    ["text", "65535"], ["close"], timeout=90)
    check(r.returncode == 0 and "Unable to connect to update server" in (r.get("text") or ""),
          "the start-up check warns that the update server cannot be reached\n" + str(r))
    pid = r.get("pid")
    # The warning box may still be on its way out, and it has the main
    # window's caption.
    check(wait_for(lambda: press_test(d, pid, 1).returncode == 0, 10, 0.5),
          "Runeveil 2 test started without Internet access")
    warning = find_message_box(d, pid, 120)
    check(warning is not None and warning.startswith(NO_INTERNET_WARNING),
          "the connectivity step warns that the network test cannot go on: %r" % warning)
    check(wait_until_gone(d, pid, PROGRESS_DIALOG), "the run ends as cancelled: no progress dialog")
    check(wait_for(lambda: not (reports_in(temp) - before), 120),
          "the cancelled run leaves nothing in the temporary folder")
    dxdiags = tools.dxdiags()
    check(len(dxdiags) == 1 and not os.path.exists(dxdiag_file(dxdiags[0][0], temp)), "dxdiag's file is gone")
    check(not tools.tracers(), "the route step was skipped: no tracer started")
    second = find_message_box(d, pid, 3)
    check(second is None, "the skipped route step shows no second warning: %r" % second)
    check(not [n for n in os.listdir(program_dir) if n.endswith(".zip")], "no archive without Internet access")
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "60000"],
                    ["wait-exit"], timeout=90)
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
    # own names, in the prefix of complete runs (run_helpers.RUN_PREFIXES).
    tools = ("tracert.exe", "pathping.exe", "dxdiag.exe")
    prefix = os.path.join(build_dir, "wine", RUN_PREFIXES[sealed_run.program_bits()][0])
    rc = fx.run_sealed_with_stand_ins(build_dir, [sys.executable, os.path.abspath(__file__), "--inside", build_dir],
                                      tools, scenario="one_silent", xvfb=True, wine_prefix=prefix)
    rc |= fx.run_sealed_with_stand_ins(build_dir, [sys.executable, os.path.abspath(__file__), "--inside-offline",
                                                   build_dir],
                                       tools, scenario="update_down", xvfb=True, wine_prefix=prefix)
    return rc


if __name__ == "__main__":
    sys.exit(main())
