#!/usr/bin/python3
"""Makes the README's pictures of Diagnova's windows.

Runs the real Diagnova.exe in the sealed test network (nothing leaves this
machine) on a virtual display, inside Wine's own virtual desktop so that the
windows get their title bars and frames without a window manager, drives it
with the test driver from the game list to the result dialog and the check of its
archive (alone, and in the list window beside a changed and a cut copy), and
crops each picture to the desktop. The route tracers are stand-ins that take a few
seconds, so the progress dialog can be seen. Then the test pane once more on a
Japanese and on a Russian system (Wine takes the language and the code page
from LANG; the locales are compiled into the build folder as the locale tests
do).

Usage (as root, after scripts/test or scripts/run has built everything):
    docs/make_screenshots.py [BUILD_DIR]     pictures go to docs/images/
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "network"))

import driver as dgn  # noqa: E402
import game_fixtures as fx  # noqa: E402
import sealed_run  # noqa: E402
import wine_locale  # noqa: E402
from run_helpers import (MAIN_WINDOW, MESSAGE_BOX, PROGRESS_DIALOG, RESULT_DIALOG, attach,  # noqa: E402
                         run_to_file, wait_for_tracer)

DESKTOP = "960x720"


def shoot(name):
    """The virtual desktop's picture, cut out of the display."""
    raw = os.path.join(tempfile.gettempdir(), "dgn-shot.png")
    subprocess.run(["import", "-window", "root", raw], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    out = os.path.join(HERE, "images", name + ".png")
    # Twice: first the display around the desktop, then the desktop around
    # the windows.
    subprocess.run(["convert", raw, "-trim", "+repage", "-trim", "+repage", out], check=True)
    os.remove(raw)
    print("picture:", out)


def quiet(*argv):
    subprocess.run(list(argv), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# Test panes in other languages: LANG, game index, picture name.
LANGUAGE_PANES = [("ja_JP.UTF-8", 1, "test_pane_japanese"), ("ru_RU.UTF-8", 1, "test_pane_russian")]


def use_virtual_desktop():
    # Every Wine window of this (overlay) prefix opens inside one desktop
    # window that Wine frames itself.
    quiet("wine", "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f")
    quiet("wine", "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/d", DESKTOP, "/f")
    # The desktop process that Wine's start-up already opened knows nothing of
    # this: end it, and the next window starts one that reads the setting.
    quiet("wine", "taskkill", "/f", "/im", "explorer.exe")


def inside_pane(build_dir, game, name):
    """The test pane of one game in the system's language."""
    use_virtual_desktop()
    d = dgn.Driver(build_dir)
    r = run_to_file(d, ["start", d.program()], ["timeout", "30000"], MAIN_WINDOW,
                    ["pause", "1000"], ["list-click", "1003", str(game)], ["pause", "1500"], timeout=90)
    if r.returncode != 0:
        print(r)
        return 1
    shoot(name)
    run_to_file(d, attach(r.get("pid")), MAIN_WINDOW, ["close"],
                ["timeout", "30000"], ["wait-exit"], timeout=60)
    return 0


def inside(build_dir):
    use_virtual_desktop()
    d = dgn.Driver(build_dir)
    program_dir = tempfile.mkdtemp(prefix="dgn-shots-")
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), program_dir)
    program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    log = os.path.join(program_dir, "tools.log")
    os.environ["DGN_STANDIN_DELAY_MS"] = "6000"
    os.environ["DGN_STANDIN_LOG"] = dgn.windows_path(log)
    try:
        r = run_to_file(d, ["start", program], ["timeout", "30000"], MAIN_WINDOW,
                        ["pause", "1500"], timeout=90)
        pid = r.get("pid")
        if r.returncode != 0:
            print(r)
            return 1
        shoot("game_list")
        run_to_file(d, attach(pid), MAIN_WINDOW, ["list-click", "1003", "1"],
                    ["pause", "1500"])
        shoot("test_pane")
        run_to_file(d, attach(pid), MAIN_WINDOW, ["click", "1005"])
        wait_for_tracer(log)
        run_to_file(d, attach(pid), PROGRESS_DIALOG, ["pause", "1000"])
        shoot("progress_dialog")
        r = run_to_file(d, attach(pid), ["timeout", "120000"], RESULT_DIALOG,
                        ["pause", "1000"], timeout=180)
        shoot("result_dialog")
        run_to_file(d, attach(pid), RESULT_DIALOG, ["click", "1040"])
        time.sleep(1)
        run_to_file(d, attach(pid), MAIN_WINDOW, ["close"],
                    ["timeout", "30000"], ["wait-exit"], timeout=60)
        # The report of that run, checked by support staff.
        reports = [os.path.join(program_dir, n) for n in os.listdir(program_dir) if n.endswith(".zip")]
        if reports:
            import zipfile
            with zipfile.ZipFile(reports[0]) as z:
                name = z.namelist()[0]
                z.extract(name, program_dir)
            r = run_to_file(d, ["start", program, dgn.windows_path(os.path.join(program_dir, name))],
                            ["timeout", "30000"], MESSAGE_BOX, ["pause", "1000"],
                            timeout=60)
            shoot("verify_matched")
            run_to_file(d, attach(r.get("pid")), MESSAGE_BOX, ["click", "1"],
                        ["timeout", "30000"], ["wait-exit"], timeout=60)
            list_window(d, program, program_dir, reports[0])
    finally:
        shutil.rmtree(program_dir, ignore_errors=True)
    return 0


def list_window(d, program, work, archive):
    """The list window over a ticket's folder: the run's archive, a copy whose
    report has one letter changed and a copy cut short; the run's own row
    selected, so its findings show."""
    import zipfile
    folder = os.path.join(work, "ticket")
    os.makedirs(folder)
    base = os.path.splitext(os.path.basename(archive))[0]
    shutil.copy(archive, os.path.join(folder, base + ".zip"))
    with zipfile.ZipFile(archive) as source, \
            zipfile.ZipFile(os.path.join(folder, base + " (changed).zip"), "w", zipfile.ZIP_DEFLATED) as changed:
        for info in source.infolist():
            data = source.read(info)
            if info.filename.endswith(" Test.txt"):
                at = data.index(b"\r\n") - 1
                data = data[:at] + (b"x" if data[at:at + 1] != b"x" else b"y") + data[at + 1:]
            changed.writestr(info.filename, data)
    with open(archive, "rb") as f:
        whole = f.read()
    with open(os.path.join(folder, base + " (cut).zip"), "wb") as f:
        f.write(whole[:len(whole) // 2])
    r = run_to_file(d, ["start", program, dgn.windows_path(folder)], ["timeout", "30000"],
                    ["wait-window", "--control", "1060"], ["list-items", "1060", "--until-none-reads", "Checking..."],
                    ["list-click", "1060", "2"], ["pause", "1000"], timeout=90)
    shoot("verify_list")
    run_to_file(d, attach(r.get("pid")), ["wait-window", "--control", "1060"], ["close"],
                ["timeout", "30000"], ["wait-exit"], timeout=60)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        return inside(sys.argv[2])
    if len(sys.argv) == 5 and sys.argv[1] == "--inside-pane":
        return inside_pane(sys.argv[2], int(sys.argv[3]), sys.argv[4])
    build_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    prefix = os.path.join(build_dir, "wine", "winxp")
    rc = english_run(build_dir, prefix)
    locales = os.path.join(build_dir, "locales")
    error = wine_locale.compile_locales(locales, [lang for lang, _, _ in LANGUAGE_PANES])
    if error:
        print(error)
        return 1
    for lang, game, name in LANGUAGE_PANES:
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANGUAGE"}
        env.update(LANG=lang, LOCPATH=locales)
        rc |= sealed_run.run([sys.executable, os.path.abspath(__file__), "--inside-pane", build_dir, str(game), name],
                             xvfb=True, wine_prefix=prefix, env=env)
    return rc


def english_run(build_dir, prefix):
    # The 32-bit XP prefix: Wine's 64-bit dxdiag would not end under WOW64.
    return fx.run_sealed_with_stand_ins(build_dir, [sys.executable, os.path.abspath(__file__), "--inside", build_dir],
                                        ("tracert.exe", "pathping.exe", "dxdiag.exe"), scenario="all_reachable",
                                        xvfb=True, wine_prefix=prefix)


if __name__ == "__main__":
    sys.exit(main())
