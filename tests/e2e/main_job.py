#!/usr/bin/python3
"""The main job: one complete test of a game in the real Diagnova.exe, from the
game list to the result dialog, inside the sealed stand-in network.

scripts/run calls this after building. It

  * starts the sealed network (tests/network/sealed_run.py, scenario
    all_reachable) with the publisher's stand-in services, on an overlay of
    the 32-bit Windows XP prefix: under WOW64 Wine's own 64-bit dxdiag never
    ends, on a 32-bit system the program runs the 32-bit one;
  * puts fast stand-ins for the route tools (which Wine lacks) into the
    system folder, and the launcher's files and the Runeveil 2 logs into the
    prefix, so the archive shows them;
  * copies the program into a fresh folder under build/run/ (the archive is
    made beside the program, so it stays there after the run);
  * drives the program with tests/tools/dgn_driver: a click on the game in
    the game list, the Test button, the progress dialog, the result dialog;
    screenshots of the main window, the progress dialog and the result
    dialog;
  * checks the archive with the program's own verification mode, as support
    staff do when the player sends it (the report inside is extracted beside
    it too).

It prints "key: value" lines: archive, member (size and name), verification,
verification_exit_code, screenshot_* and finally result: ok or failed. The
exit code is 0 only when every part went well.

The display is $DISPLAY when there is one (a person can watch), otherwise an
Xvfb inside the sealed network, where Wine's own desktop draws the window
frames so the screenshots show the windows as a player sees them.

bench/run uses the same run (run_game) with the step-timing build of the
program.

scripts/run FILE... calls it with --verify: each file is checked by the
program's verification mode, one program run per file; its message box is
read, printed and closed (in a sealed session with an X server of its own),
or left to a person on $DISPLAY (verify_files).

Usage: main_job.py BUILD_DIR [--game NAME] [--out DIR]   (as root)
       main_job.py --verify BUILD_DIR [--xvfb] FILE...   (every word after is a file)
       main_job.py --check-game NAME   exit code 0 for a known name, else 2
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "network"))

import driver as dgn  # noqa: E402
import game_fixtures as fx  # noqa: E402
import sealed_run  # noqa: E402
from run_helpers import (BANNERS_IN_ORDER, MAIN_WINDOW, MESSAGE_BOX, PROGRESS_DIALOG, RESULT_DIALOG,  # noqa: E402
                         RUN_PREFIXES, TRAILER, attach, program_bits, run_to_file, split_sections,
                         wait_until_gone)

# The catalog names in game-index order.
GAMES = ["Runeveil", "Runeveil 2", "Kharros II", "Solmere"]
DEFAULT_GAME = "Runeveil 2"

# The prefix and its Windows generation, by the build that runs (run_helpers):
# on XP the program looks for the Runeveil 2 logs beside the game's executable.
PREFIX_NAME, GENERATION = RUN_PREFIXES[32]

ROUTE_STATUS = "Testing Network Route. . ."
# Each route trace takes this long, so the progress dialog stays up long
# enough in the route step for its screenshot.
ROUTE_TOOL_DELAY_MS = 3000


def game_index(name):
    """The game index of a catalog name (letter case ignored), or None."""
    for index, game in enumerate(GAMES):
        if game.lower() == (name or "").strip().lower():
            return index
    return None


def valid_names():
    return ", ".join('"%s"' % g for g in GAMES)


class Job:
    """The outcome of one run: printed lines and whether all went well."""

    def __init__(self, quiet=False):
        self.lines = []
        self.problems = []
        self.quiet = quiet

    def say(self, key, value):
        self.lines.append((key, value))
        if not self.quiet:
            print("%s: %s" % (key, value), flush=True)

    def problem(self, what):
        self.problems.append(what)
        print("problem: " + what.replace("\n", "\n  "), flush=True)

    @property
    def ok(self):
        return not self.problems


# The part of the screen to capture: all of it, or Wine's desktop window.
SCREEN_AREA = []


def screenshot(path):
    subprocess.run(["import", "-window", "root"] + SCREEN_AREA + [path], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.isfile(path) and os.path.getsize(path) > 0


def use_wine_desktop():
    """Wine's own desktop window, 1024x768, which draws the window frames:
    under Xvfb there is no window manager to draw them. Set in this run's
    overlay prefix only. The desktop process already runs (the sealed network
    starts Wine's services), and it reads the setting only when it starts, so
    the wineserver is restarted."""
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for args in (["HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/d", "Default"],
                 ["HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "Default", "/d", "1024x768"]):
        subprocess.run(["wine", "reg", "add"] + args + ["/f"], **quiet)
    subprocess.run(["wineserver", "-k"], **quiet)
    subprocess.run(["wineserver", "-w"], **quiet)
    subprocess.run(["wineserver", "-p"], **quiet)
    subprocess.run(["wine", "cmd", "/c", "exit"], **quiet)


def watch_progress(d, pid, status, seconds):
    """Waits until the progress dialog's status line reads `status`. Returns
    ("reached", None), ("message", text) when the program shows a message box
    instead (a warning that ends the run), ("gone", None) when the dialog
    closed, or ("timeout", None). The dialog belongs to another process: its
    windows are all there is to watch."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        r = run_to_file(d, attach(pid), ["timeout", "1000"], PROGRESS_DIALOG, ["text", "1046"], timeout=60)
        if r.returncode == 0 and r.get("text") == status:
            return "reached", None
        text = close_message_box(d, pid, 0)
        if text is not None:
            return "message", text
        if r.returncode != 0:
            return "gone", None
        time.sleep(0.2)
    return "timeout", None


def close_message_box(d, pid, wait_ms=2000):
    """Reads and closes the program's message box (its text is static
    control 0xFFFF); returns its text, or None when there is none."""
    r = run_to_file(d, attach(pid), ["timeout", str(wait_ms)], MESSAGE_BOX, ["text", "65535"], ["close"],
                    timeout=60)
    return r.get("text") if r.returncode == 0 else None


def end_program(d, pid):
    """Ends the program after a failed run: closes what it shows, then kills
    it if it does not end."""
    close_message_box(d, pid, 0)
    r = run_to_file(d, attach(pid), ["timeout", "5000"], MAIN_WINDOW, ["close"], ["wait-exit"], timeout=60)
    if r.returncode != 0:
        run_to_file(d, attach(pid), ["kill"], timeout=60)


def verify_report(d, job, program, report):
    """Runs the program's verification mode on a report or its archive;
    reports the message box text and the exit code."""
    r = run_to_file(d, ["start", program, dgn.windows_path(report)], ["timeout", "30000"],
                    ["wait-window", "--class", "#32770"], ["text", "65535"], ["close"], ["wait-exit"], timeout=90)
    text = r.get("text")
    job.say("verification", text if text is not None else "(no message box)")
    job.say("verification_exit_code", r.exit_code if r.exit_code is not None else "(none)")
    if text != "Checksum matched" or r.exit_code != 0:
        job.problem("the verification mode does not confirm the report\n" + str(r))


# Outcomes of the verification mode from worst to best: a mismatch (or an
# archive that cannot be checked), no outcome at all, a file that cannot be
# opened, a match. Several files end with the worst one's code.
NO_OUTCOME = 1
WORST_FIRST = (-1, NO_OUTCOME, 2, 0)
# How long a verification may take to show its message box
# (DIAGNOVA_RUN_WAIT seconds): a program showing nothing is ended after it.
VERIFY_WAIT_SECONDS = 60
# A person closes the box when they like: the driver's longest wait.
PERSON_WAIT_MS = 2 ** 31 - 1


def program_argument(argument):
    """A file is handed to the program by its Windows path; an option such as
    /help, or a name that is no Unix path, goes as it is."""
    if os.path.exists(argument) or ("/" in argument.lstrip("/")):
        return dgn.windows_path(argument)
    return argument


def verify_file(d, program, argument, wait_seconds, env, person):
    """One run of the verification mode: (message box text or None, the
    program's exit code or None, what went wrong or None). Without a person the box is read and
    closed here; with one, read and left to them."""
    answer = [["text", "65535"]] + ([] if person else [["close"]])
    # After a close the program ends at once; a person takes their time.
    answer += [["timeout", str(PERSON_WAIT_MS if person else 30000)], ["wait-exit"]]
    for _ in range(2):
        try:
            r = run_to_file(d, ["start", program, program_argument(argument)],
                            ["timeout", str(int(wait_seconds * 1000))], MESSAGE_BOX, *answer,
                            timeout=None if person else wait_seconds + 90, env=env)
        except subprocess.TimeoutExpired:
            return None, None, "the test driver did not end; it was ended"
        # Under a busy X server Wine now and then fails to create a message
        # box at all, or to start the program (CreateProcess error 1359);
        # one more try tells that from a real fault.
        error = r.get("error") or ""
        if error != "the program ended before showing the window" and not error.startswith("cannot start "):
            break
    text, error = r.get("text"), r.get("error")
    if error == "timeout waiting for a window":
        return None, None, "no message box within %g s; the program was ended" % wait_seconds
    if error == "the program ended before showing the window":
        return None, r.exit_code, "the program ended without showing its outcome"
    if r.returncode != 0 or text is None:
        return text, None, "the message box could not be read or closed (%s); the program was ended" % (
            error or "driver exit code %d" % r.returncode)
    return text, r.exit_code, None


def verify_files(build_dir, files, own_display):
    """Checks each file in its own run of the program and prints, for each,
    "file:", "outcome:" (the message box's text) and "Diagnova exit code:".
    Returns the worst outcome code. On a display a person can see (not
    own_display) the box stays until they close it; otherwise the program
    runs on a private Xvfb, where the box is read and closed here."""
    d = dgn.Driver(build_dir)
    program = d.program()
    bits = program_bits(os.path.join(build_dir, "Diagnova.exe"))
    print("program: %s (%s)" % (os.path.join(build_dir, "Diagnova.exe"),
                                "%d-bit" % bits if bits else "no Windows program"), flush=True)
    try:
        wait_seconds = float(os.environ.get("DIAGNOVA_RUN_WAIT") or VERIFY_WAIT_SECONDS)
    except ValueError:
        wait_seconds = -1
    if not 0 <= wait_seconds <= 86400:
        print("scripts/run: DIAGNOVA_RUN_WAIT must be seconds (0 to 86400), not %r"
              % os.environ.get("DIAGNOVA_RUN_WAIT"), file=sys.stderr)
        return NO_OUTCOME
    env = dict(os.environ)
    xvfb = sealed_run.start_xvfb(env) if own_display and not env.get("DISPLAY") else None
    worst = 0
    try:
        for argument in files:
            print("file: " + argument, flush=True)
            if not own_display:
                print("scripts/run: the outcome is shown on %s; close the message box to go on"
                      % env.get("DISPLAY"), flush=True)
            text, exit_code, problem = verify_file(d, program, argument, wait_seconds, env, not own_display)
            if text is None:
                print("outcome: none: " + problem, flush=True)
            else:
                print("outcome: " + "\n  ".join(line for line in text.splitlines() if line), flush=True)
                if problem is not None:
                    print("problem: " + problem, flush=True)
            code = exit_code if problem is None and exit_code in WORST_FIRST else NO_OUTCOME
            print("Diagnova exit code: %s%s" % ("none" if exit_code is None else exit_code,
                                                "" if code == exit_code else "; counted as %d" % code), flush=True)
            if WORST_FIRST.index(code) < WORST_FIRST.index(worst):
                worst = code
    finally:
        if xvfb:
            xvfb.kill()
            xvfb.wait()
    if len(files) > 1:
        print("exit code: %d, the worst of %d files" % (worst, len(files)), flush=True)
    return worst


def run_game(build_dir, index, run_dir, program_file, job, before_test=None, shots=True):
    """One complete test of game `index` with the program file copied into
    run_dir as Diagnova.exe. before_test(pid) runs right before the Test
    click (the benchmark starts its watcher there). Returns the archive's
    path or None."""
    d = dgn.Driver(build_dir)
    game = GAMES[index]
    shutil.copy(program_file, os.path.join(run_dir, "Diagnova.exe"))
    program = dgn.windows_path(os.path.join(run_dir, "Diagnova.exe"))

    r = run_to_file(d, ["start", program], ["timeout", "60000"], MAIN_WINDOW, timeout=120)
    if r.returncode != 0:
        job.problem("the main window does not open\n" + str(r))
        return None
    pid = r.get("pid")
    # A message box at start-up (the update check's warning) is a problem,
    # but the run can still be tried.
    warning = close_message_box(d, pid, 0)
    if warning is not None:
        job.problem("the program warned at start-up: %r" % warning)
    # From the game list: a real click on the game's picture.
    for _ in range(10):  # a closed message box may still be on its way out
        r = run_to_file(d, attach(pid), MAIN_WINDOW, ["list-click", "1003", str(index)], ["pause", "300"], ["dump"],
                        timeout=60)
        if r.returncode == 0:
            break
        time.sleep(0.5)
    test_button = [c for c in r.controls if c.id == 1005]
    selector = r.control_text(1007)
    if r.returncode != 0 or not test_button or not test_button[0].visible:
        job.problem("the click on %s in the game list does not show the test pane\n%s" % (game, r))
        return None
    job.say("game", "%s (selector shows %s)" % (game, selector))
    if shots:
        path = os.path.join(run_dir, "main_window.png")
        if screenshot(path):
            job.say("screenshot_main_window", path)
        else:
            job.problem("no screenshot of the main window")

    if before_test:
        before_test(pid)
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["click", "1005"], ["timeout", "30000"], PROGRESS_DIALOG,
                    timeout=90)
    if r.returncode != 0:
        job.problem("the Test button does not open the progress dialog\n" + str(r))
        return None
    if shots:
        state, text = watch_progress(d, pid, ROUTE_STATUS, 120)
        if state != "reached":
            job.problem("the progress dialog never reached the route step: %s%s"
                        % (state, "" if text is None else " (%r)" % text))
            end_program(d, pid)
            return None
        path = os.path.join(run_dir, "progress_dialog.png")
        if screenshot(path):
            job.say("screenshot_progress_dialog", path)
        else:
            job.problem("no screenshot of the progress dialog")

    r = run_to_file(d, attach(pid), ["timeout", "180000"], RESULT_DIALOG, ["dump"], timeout=300)
    if r.returncode != 0:
        job.problem("the result dialog does not follow the progress dialog\n" + str(r))
        return None
    shown = r.control_text(1030) or ""
    if shots:
        path = os.path.join(run_dir, "result_dialog.png")
        if screenshot(path):
            job.say("screenshot_result_dialog", path)
        else:
            job.problem("no screenshot of the result dialog")
    archive = os.path.join(run_dir, "%s Test.zip" % game)
    if not shown.endswith("\\%s Test.zip" % game):
        job.problem("the result dialog names %r, not the archive" % shown)

    r = run_to_file(d, attach(pid), RESULT_DIALOG, ["click", "1040"], timeout=60)
    if r.returncode != 0:
        job.problem("Close does not end the result dialog\n" + str(r))
    # The main window takes a close only once the result dialog is gone; a
    # close posted while the dialog's modal loop still winds down can be lost
    # under Wine's desktop, so it is posted again while the window is there.
    wait_until_gone(d, pid, RESULT_DIALOG, 30)
    for _ in range(3):
        r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "20000"], ["wait-exit"], timeout=60)
        if r.returncode == 0:
            break
    if r.returncode != 0 or r.exit_code != 0:
        job.problem("the program does not end with exit code 0 after the run\n" + str(r))
    os.remove(os.path.join(run_dir, "Diagnova.exe"))
    return archive


def report_archive(job, archive, index):
    """Prints the archive's path and members and compares the members with
    what the fixture put into the prefix; returns the report's bytes."""
    game = GAMES[index]
    if not os.path.isfile(archive):
        job.problem("no archive at " + archive)
        return None
    job.say("archive", archive)
    try:
        with zipfile.ZipFile(archive) as z:
            if z.testzip() is not None:
                job.problem("a member of the archive is damaged")
            members = []
            for info in z.infolist():
                job.say("member", "%d %s" % (info.file_size, info.filename))
                members.append((info.filename, z.read(info)))
    except (OSError, zipfile.BadZipFile) as e:
        job.problem("the archive cannot be read: %s" % e)
        return None
    for difference in fx.check_members(members, "%s Test.txt" % game, index, GENERATION):
        job.problem("archive: " + difference)
    if not members or members[0][0] != "%s Test.txt" % game:
        return None
    report = members[0][1]
    if TRAILER.search(report) is None:
        job.problem("the archived report does not end with the end marker and its digest")
    titles = [title for title, _ in split_sections(report.decode("latin-1"))]
    if titles != BANNERS_IN_ORDER:
        job.problem("the archived report's sections are not those of a complete run: %s" % titles)
    return report


def install_game_files():
    """The launcher and Runeveil 2 (tests/e2e/game_fixtures.py) in this run's
    overlay of the prefix, so the archive shows their files."""
    fx.install(os.environ["WINEPREFIX"], wow64=PREFIX_NAME != "winxp")


def expected_member_names(index):
    """The names the archive should hold after the report, in order (each
    log group in the file system's order, which the names do not fix)."""
    ordered, groups = fx.expected_members(index, GENERATION)
    return [name for name, _ in ordered] + [name for group in groups for name in sorted(group)]


def stand_in_tools(build_dir):
    """The route tools' stand-ins (Wine has neither tracert nor pathping);
    Wine's own dxdiag ends normally on a 32-bit system and writes a real
    report."""
    return [os.path.join(build_dir, "tests", "route_tools", name) for name in ("tracert.exe", "pathping.exe")]


def use_route_script(folder, delay_ms):
    """Makes every trace print its first lines at once, as a real tracer
    does, then take delay_ms before it completes: a script line for every
    address of the sealed network."""
    _, addresses = sealed_run.address_plan()
    path = os.path.join(folder, "route script.txt")
    with open(path, "w") as f:
        f.writelines("%s sleep %d\n" % (address, delay_ms) for address in addresses)
    os.environ["DIAGNOVA_ROUTE_SCRIPT"] = dgn.windows_path(path)


def use_build(build_dir):
    """Picks the prefix for the build's program and tells the sealed network
    which system folder that program starts its tools from."""
    global PREFIX_NAME, GENERATION
    bits = program_bits(os.path.join(build_dir, "Diagnova.exe")) or 32
    os.environ["DIAGNOVA_PROGRAM_BITS"] = str(bits)
    PREFIX_NAME, GENERATION = RUN_PREFIXES[bits]
    return bits


def describe_program(build_dir):
    if use_build(build_dir) == 32:
        return "the shipped 32-bit Diagnova.exe on 32-bit Windows XP"
    return ("the 64-bit build of Diagnova.exe on 64-bit Windows 7, standing in for the shipped "
            "32-bit program; dxdiag played by a stand-in (Wine's never ends with /64bit)")


def inside(args):
    build_dir = os.path.abspath(args.build)
    index = game_index(args.game)
    game = GAMES[index]
    job = Job()
    job.say("program", describe_program(build_dir))
    if args.own_display:
        use_wine_desktop()
        SCREEN_AREA[:] = ["-crop", "1024x768+0+0"]
    install_game_files()
    work = tempfile.mkdtemp(prefix="dgn-main-job-")
    if PREFIX_NAME != "winxp":
        fx.install_dxdiag_stand_in(build_dir, os.environ["WINEPREFIX"], work)

    stamp = time.strftime("%Y%m%d-%H%M%S")
    run_dir = os.path.join(os.path.abspath(args.out), "%s-%s" % (stamp, game.replace(" ", "_")))
    os.makedirs(run_dir)
    use_route_script(work, ROUTE_TOOL_DELAY_MS)
    archive = run_game(build_dir, index, run_dir, os.path.join(build_dir, "Diagnova.exe"), job)
    if archive:
        report = report_archive(job, archive, index)
        if report is not None:
            path = os.path.join(run_dir, "%s Test.txt" % game)
            with open(path, "wb") as f:
                f.write(report)
            shutil.copy(os.path.join(build_dir, "Diagnova.exe"), os.path.join(run_dir, "Diagnova.exe"))
            verify_report(dgn.Driver(build_dir), job, dgn.windows_path(os.path.join(run_dir, "Diagnova.exe")), archive)
            os.remove(os.path.join(run_dir, "Diagnova.exe"))
    shutil.rmtree(work, ignore_errors=True)
    job.say("result", "ok" if job.ok else "failed (%d problems)" % len(job.problems))
    return 0 if job.ok else 1


def parse(argv):
    p = argparse.ArgumentParser(description="One complete Diagnova test run in the sealed network.")
    p.add_argument("build", help="the build folder (holds Diagnova.exe, tests/, wine/)")
    p.add_argument("--game", default=DEFAULT_GAME, help="one of " + valid_names())
    p.add_argument("--out", help="folder for the run's archive and screenshots (default BUILD/run)")
    p.add_argument("--xvfb", action="store_true", help="use a private virtual display even when DISPLAY is set")
    p.add_argument("--scenario", default="all_reachable", help=argparse.SUPPRESS)
    p.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    p.add_argument("--own-display", action="store_true", help=argparse.SUPPRESS)
    return p.parse_args(argv)


def main(argv):
    if len(argv) == 2 and argv[0] == "--check-game":
        if game_index(argv[1]) is not None:
            return 0
        print("unknown game %r; valid names: %s" % (argv[1], valid_names()), file=sys.stderr)
        return 2
    if len(argv) >= 2 and argv[0] == "--verify":
        xvfb = argv[2:3] == ["--xvfb"]
        build_dir, files = os.path.abspath(argv[1]), argv[3 if xvfb else 2:]
        if not xvfb and os.environ.get("DISPLAY"):
            return verify_files(build_dir, files, False)
        # Nobody can see the boxes: the runs get a session of their own (an
        # X server, a Wine server and an overlay of the prefix), so that a
        # Wine server already running for the prefix on another display can
        # neither take their windows nor keep them from opening.
        return sealed_run.run([sys.executable, os.path.abspath(__file__), "--verify-inside", build_dir] + files,
                              xvfb=True, wine_prefix=os.environ.get("WINEPREFIX"))
    if len(argv) >= 2 and argv[0] == "--verify-inside":
        return verify_files(os.path.abspath(argv[1]), argv[2:], True)
    args = parse(argv)
    if game_index(args.game) is None:
        print("unknown game %r; valid names: %s" % (args.game, valid_names()), file=sys.stderr)
        return 2
    if args.out is None:
        args.out = os.path.join(args.build, "run")
    if args.inside:
        return inside(args)
    build_dir = os.path.abspath(args.build)
    use_build(build_dir)
    own_display = args.xvfb or not os.environ.get("DISPLAY")
    command = [sys.executable, os.path.abspath(__file__), build_dir, "--inside", "--game", args.game,
               "--out", os.path.abspath(args.out)]
    if own_display:
        command.append("--own-display")
    return sealed_run.run(command, scenario=args.scenario, xvfb=own_display, install=stand_in_tools(build_dir),
                          wine_prefix=os.path.join(build_dir, "wine", PREFIX_NAME))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
