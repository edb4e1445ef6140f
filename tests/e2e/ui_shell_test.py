#!/usr/bin/env python3
"""End-to-end checks of the interactive program: the game list, the test pane
of each game with its help links and pictures, the language menu, the privacy
page, the About box, the result dialogs, the update warning, no update offer
without the program's own version, and the exit keys.

Diagnova checks for a newer version over HTTP when it starts, so every run of
it happens inside the sealed test network (tests/network/sealed_run.py) with
its own Xvfb display. The shell's "open" of web addresses, ZIP files and
folders is redirected, for the run only (the prefix is seen copy-on-write), to
a stand-in (tests/tools/open_recorder.cpp) that records what it was asked to
open and which process started it, so no browser starts, the opened
addresses can be checked, and so can the process that started them: Wine
gives every process the elevated half of a split token, as Windows with UAC
gives an elevated Diagnova, so the desktop's Explorer must start them, never
Diagnova itself.
Screenshots go to <build>/screenshots.

    ui_shell_test.py BUILD_DIR main        the main window flow (win7 prefix)
    ui_shell_test.py BUILD_DIR locales     the code-page rule under other locales:
                                           texts, game names and the menu's state;
                                           the program started without quotes
                                           from a folder named in the locale's
                                           own letters
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "network"))

import driver as dgn  # noqa: E402
import sealed_run  # noqa: E402
from run_helpers import MAIN_WINDOW, PROGRESS_DIALOG  # noqa: E402

LANG_CODES = {1: "en", 2: "ko", 3: "fr", 4: "de", 5: "it", 6: "es", 7: "zh-TW", 8: "zh-CN", 9: "ja",
              10: "pl", 11: "ru"}
CODE_PAGES = {1: "cp1252", 2: "cp949", 3: "cp1252", 4: "cp1252", 5: "cp1252", 6: "cp1252", 7: "cp950",
              8: "cp936", 9: "cp932", 10: "cp1250", 11: "cp1251"}
LANGUAGE_COMMANDS = {1: 32775, 2: 32776, 3: 32777, 4: 32778, 5: 32779, 6: 32780, 9: 32782, 10: 32783,
                     11: 32784}
HELP_ROWS = {0: [(97, 16, 23), (98, 24, 25), (99, 27, 28), (100, 29, 30)],
             1: [(101, 16, 23), (102, 24, 25), (103, 27, 28), (104, 29, 30)],
             2: [(93, 16, 23), (94, 24, 25), (95, 26, 28), (96, 31, 32)],
             3: [(89, 16, 23), (90, 24, 25), (91, 26, 28), (92, 31, 32)]}
GAME_TEXT_IDS = [1, 2, 4, 8]


# ---- expected texts -------------------------------------------------------------

def deployment_macros():
    macros = {}
    with open(os.path.join(SOURCE, "resources", "deployment.h"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r'#define (\w+) "([^"]*)"', line)
            if m:
                macros[m.group(1)] = m.group(2)
    return macros


def load_catalog():
    macros = deployment_macros()
    texts = {}
    with open(os.path.join(SOURCE, "catalog", "text_catalog_source.txt"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r'(\d+) (\S+) "(.*)"\s*$', line)
            if not m:
                continue
            raw = m.group(3)
            text = re.sub(r'\\(.)', lambda e: {"n": "\n", "t": "\t"}.get(e.group(1), e.group(1)), raw)
            text = re.sub(r'\{(DEPLOY_\w+)\}', lambda e: macros[e.group(1)], text)
            texts[(int(m.group(1)), m.group(2))] = text
    return texts


CATALOG = load_catalog()


def text(text_id, language=1):
    """The text the program shows for a language (already resolved by the
    code-page rule), as the bytes the driver reads back (latin-1 view)."""
    code = LANG_CODES[language]
    value = CATALOG.get((text_id, code), CATALOG[(text_id, "en")])
    return value.encode(CODE_PAGES[language]).decode("latin-1")


# ---- checks ---------------------------------------------------------------------

class Checker:
    def __init__(self):
        self.failures = []

    def eq(self, what, actual, expected):
        if actual != expected:
            self.failures.append(f"{what}: got {actual!r}, expected {expected!r}")

    def true(self, what, condition):
        if not condition:
            self.failures.append(what)


class FileDriver(dgn.Driver):
    """dgn.Driver whose output goes through files: a program started by the
    driver keeps running after it and (being a Wine process) holds the
    driver's standard streams open, so a pipe would never end."""

    def run(self, *commands, timeout=60):
        argv = [self.wine, self.exe]
        for i, command in enumerate(commands):
            if i:
                argv.append("+")
            argv.extend(command)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            result = dgn.Result(done.returncode, stderr=err.read().decode("latin-1"))
            for line in out.read().decode("latin-1").splitlines():
                key, sep, value = line.partition(": ")
                if sep:
                    result.lines.append((key, value))
        return result


def must(result, what):
    if result.returncode != 0:
        raise SystemExit(f"{what} failed:\n{result}")
    return result


class App:
    """One running Diagnova driven across several driver invocations."""

    def __init__(self, build, check, shots):
        self.drv = FileDriver(build)
        self.build = build
        self.check = check
        self.shots = shots
        self.pid = None

    def start(self, program=None):
        """Starts Diagnova.exe of the build, or the given copy by its path
        without quotes (as a command prompt gives it), and waits for the main
        window (which holds the game list, control 1003)."""
        start = ["start", self.drv.program()] if program is None else ["start-raw", program, program]
        r = must(self.drv.run(["timeout", "30000"], start, MAIN_WINDOW), "start")
        self.pid = r.get("pid")
        return r

    def on_main(self, *commands):
        return self.drv.run(["attach", self.pid], MAIN_WINDOW, *commands)

    def shot(self, name):
        subprocess.run(["import", "-window", "root", os.path.join(self.shots, name + ".png")],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def links_of(app):
    """(link text, visible, address, description) for the four help rows."""
    rows = []
    for row in range(4):
        r = app.on_main(["text", str(1011 + row)], ["link-url", str(1011 + row)], ["text", str(1020 + row)])
        must(r, f"help row {row + 1}")
        texts = r.all("text")
        rows.append((texts[0], r.get("link_visible") == "1", r.get("link_url"), texts[1]))
    return rows


def expected_links(game, language=1):
    rows = []
    for address_id, link_id, description_id in HELP_ROWS[game]:
        address = text(address_id, language)
        if address:
            rows.append((text(link_id, language), True, address, text(description_id, language)))
        else:
            rows.append(("", False, "", ""))
    return rows


def check_test_pane(app, game, language=1):
    c = app.check
    r = must(app.on_main(["dump"], ["combo", "1007"]), "test pane")
    c.eq(f"game {game}: selector items", r.all("combo_item"), [text(t, language) for t in GAME_TEXT_IDS])
    c.eq(f"game {game}: selected", r.get("combo_selected"), str(game))
    for control, text_id in [(1017, 11), (1008, 12), (1005, 13), (1019, 14), (1009, 15)]:
        c.eq(f"game {game}: control {control}", r.control_text(control), text(text_id, language))
    visible = {ctl.id: ctl.visible for ctl in r.controls}
    c.true(f"game {game}: test pane visible", visible.get(1005, False))
    c.true(f"game {game}: list pane hidden", not visible.get(1003, True))
    c.true(f"game {game}: version label", (r.control_text(1031) or "").startswith(text(33, language) + " 1."))
    c.eq(f"game {game}: help rows", links_of(app), expected_links(game, language))


def check_menu(app, language, code_page_class_enabled, what):
    """Check marks and enabling of the language items."""
    r = app.on_main(["menu"])
    if r.returncode != 0:
        app.check.failures.append(f"{what}: menu unreadable:\n{r}")
        return
    items = {}
    for line in r.all("menu_item"):
        position, ident, checked, grayed, label = line.split("\t", 4)
        items[int(ident)] = (checked == "1", grayed == "1", label, position)
    for lang, command in LANGUAGE_COMMANDS.items():
        checked, grayed, label, _ = items.get(command, (None, None, None, None))
        app.check.eq(f"{what}: language {lang} checked", checked, lang == language)
        app.check.eq(f"{what}: language {lang} grayed", grayed, lang not in code_page_class_enabled)
        app.check.eq(f"{what}: language {lang} label", label, text(69 + (lang if lang <= 6 else lang - 1)
                                                                  if lang <= 6 else {9: 78, 10: 79, 11: 80}[lang],
                                                                  language))
    tops = [items[k] for k in items if items[k][3].count(".") == 0]
    app.check.eq(f"{what}: Edit menu removed", len([i for i in r.all("menu_item") if "." not in i.split("\t")[0]]), 3)
    exit_label = items.get(32771, (None, None, None))[2]
    app.check.eq(f"{what}: exit item", exit_label, text(64, language) + "\t(Alt+X)")
    app.check.eq(f"{what}: update item", items.get(32786, (None, None, None))[2], text(82, language) + "\t(Ctrl+U)")
    del tops


def focus_id(app):
    return must(app.on_main(["pause", "200"], ["focus"]), "focus").get("focus_id")


def rect_centre(result):
    left, top, right, bottom = map(int, result.get("rect").split())
    return ((left + right) // 2, (top + bottom) // 2)


def keyboard_path(app, log):
    """A player without a mouse, once a game is picked: the Test button has
    the focus, Tab walks the help links in order and wraps round through the
    selector, Space opens the focused link, and Enter on the Test button
    starts a test, whose progress dialog opens centred on the main window."""
    c = app.check
    c.eq("focus after picking a game", focus_id(app), "1005")
    order = []
    for _ in range(6):
        must(app.on_main(["keys", "tab"]), "tab")
        order.append(focus_id(app))
        if order[-1] == "1012":
            # The "browser" takes the activation for a moment; the next key
            # waits until the program has it back.
            must(app.on_main(["keys", "space"]), "space on a link")
            c.eq("Space opens the focused link", wait_for_lines(log, 1)[:1], [text(98)])
            must(app.on_main(["pause", "500"]), "pause")
    c.eq("tab order", order, ["1011", "1012", "1013", "1014", "1007", "1005"])
    main = must(app.on_main(["keys", "enter"]), "enter on Test")
    r = must(app.drv.run(["attach", app.pid], PROGRESS_DIALOG), "progress dialog")
    app.shot("progress_dialog_keyboard")
    (mx, my), (px, py) = rect_centre(main), rect_centre(r)
    c.true(f"progress dialog centred on the main window ({px},{py} against {mx},{my})",
           abs(mx - px) <= 2 and abs(my - py) <= 2)
    c.eq("progress dialog title", r.get("title"), text(41))
    must(app.drv.run(["attach", app.pid], PROGRESS_DIALOG, ["click", "2"]), "cancel")


def opened_records(log):
    """(target, id of the process that started the opener, its program name
    or "?" when it has already ended), one per open."""
    if not os.path.exists(log):
        return []
    with open(log, encoding="latin-1") as f:
        return [tuple(line.rstrip("\n").split("\t")) for line in f if line.strip()]


def opened_addresses(log):
    return [record[0] for record in opened_records(log)]


def redirect_opens(build, log):
    """Makes the shell's "open" of http and https addresses, of ZIP files and
    of folders run the recording stand-in instead of a browser, an archive
    program or a folder window (in this run's copy of the prefix)."""
    recorder = dgn.windows_path(os.path.join(build, "tests", "open_recorder.exe"))
    command = f'"{recorder}" "{dgn.windows_path(log)}" "%1"'
    keys = [f"HKCR\\{kind}\\shell\\open\\command" for kind in ("http", "https", "DiagnovaTestZip", "Folder", "Directory")]
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for key, value in [(key, command) for key in keys] + [("HKCR\\.zip", "DiagnovaTestZip")]:
        subprocess.run(["wine", "reg", "add", key, "/ve", "/d", value, "/f"], **quiet)
    # Wine opens folders by DDE with its own folder window after starting the
    # command; the stand-in does not answer, and the opener would wait for it.
    subprocess.run(["wine", "reg", "delete", "HKCR\\Folder\\shell\\open\\ddeexec", "/f"], **quiet)


def preview_open(build, how, target, env=None):
    """ui_preview's open command: (exit code, its process id, whether its
    token is elevated and the elevated half of a split one)."""
    # Output through a file: Wine's helpers that the open starts would hold a pipe open.
    with tempfile.TemporaryFile() as out:
        done = subprocess.run(["wine", os.path.join(build, "tests", "ui_preview.exe"), "open", how, target],
                              stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL, env=env, timeout=60)
        out.seek(0)
        m = re.search(r"pid (\d+) elevated (\d) split (\d)", out.read().decode("latin-1"))
    if not m:
        return done.returncode, None, False
    return done.returncode, m.group(1), m.group(2) == "1" and m.group(3) == "1"


def check_started_by_desktop(check, what, records, program_pid):
    """Every record was started by the desktop's Explorer, not by the program."""
    for target, parent, name in records:
        check.true(f"{what}: {target} started by the desktop (parent {parent} {name}), not by {program_pid}",
                   name.lower() == "explorer.exe" and parent != program_pid)


def wait_for_lines(log, count, tries=50):
    import time
    for _ in range(tries):
        if len(opened_addresses(log)) >= count:
            break
        time.sleep(0.1)
    return opened_addresses(log)


def main_flow(build, log, desktop_starts):
    check = Checker()
    shots = os.path.join(build, "screenshots")
    os.makedirs(shots, exist_ok=True)

    app = App(build, check, shots)
    app.start()
    r = must(app.on_main(["pause", "300"], ["dump"]), "list pane")
    app.shot("list_pane")
    check.eq("list label", r.control_text(1045), text(0))
    check.true("list pane shows no test pane", not any(c.id == 1005 and c.visible for c in r.controls))

    # A click on the empty part of the list picks no game.
    must(app.on_main(["click-at", "1003", "5", "300"], ["pause", "300"]), "blank click")
    r = must(app.on_main(["dump"]), "after blank click")
    check.true("blank click keeps the list", any(c.id == 1003 and c.visible for c in r.controls))

    # The first game from the list, the others from the selector.
    must(app.on_main(["list-click", "1003", "0"], ["pause", "500"]), "list click")
    check_test_pane(app, 0)
    app.shot("test_pane_runeveil")
    keyboard_path(app, log)
    for game, name in [(1, "runeveil2"), (2, "kharros2"), (3, "solmere")]:
        must(app.on_main(["select", "1007", str(game)], ["pause", "300"]), f"select {game}")
        check_test_pane(app, game)
        app.shot("test_pane_" + name)

    # A help link opens its address.
    must(app.on_main(["select", "1007", "0"], ["pause", "200"]), "select 0")
    must(app.on_main(["click-at", "1011", "3", "3"], ["pause", "300"]), "click help link")
    opened = wait_for_lines(log, 2)
    check.eq("help link opened", opened[-1:] if opened else [], [text(97)])

    # French on this code page 1252 system, then the privacy pages.
    must(app.on_main(["command", "32777"], ["pause", "300"]), "French")
    check_test_pane(app, 0, 3)
    app.shot("test_pane_french")
    macros = deployment_macros()
    must(app.on_main(["command", "32796"], ["pause", "300"]), "privacy fr")
    must(app.on_main(["command", "32775"], ["pause", "300"]), "English")
    must(app.on_main(["command", "32796"], ["pause", "300"]), "privacy en")
    opened = wait_for_lines(log, 4)
    check.eq("privacy pages", opened[2:4], [
        "http://" + macros["DEPLOY_WEB_PUBLISHER_EU"] + "/fr/legal/privacy-policy.html",
        "http://" + macros["DEPLOY_WEB_PUBLISHER_US"] + "/en/legal/privacy-policy.html"])
    check_test_pane(app, 0, 1)
    if desktop_starts:
        check_started_by_desktop(check, "main window", opened_records(log), app.pid)

    # The About box.
    must(app.on_main(["command", "32785"]), "About")
    r = must(app.drv.run(["attach", app.pid], ["wait-window", "--title", text(85)], ["pause", "200"], ["dump"]),
             "About box")
    app.shot("about_box")
    check.eq("About product", r.control_text(1044), text(87))
    check.eq("About notice", r.control_text(1042), text(86))
    check.true("About version", (r.control_text(1031) or "").startswith("Version: 1."))
    must(app.drv.run(["attach", app.pid], ["wait-window", "--title", text(85)], ["click", "1"]), "About OK")

    # Alt+X exits even while a control has the focus.
    must(app.on_main(["keys", "tab"], ["pause", "300"]), "tab")
    r = must(app.on_main(["focus"]), "focus")
    check.true(f"a control has the focus ({r.get('focus_class')})", r.get("focus_id") not in (None, "0"))
    r = app.drv.run(["attach", app.pid], MAIN_WINDOW, ["keys", "alt+x"],
                    ["wait-exit"])
    check.eq("Alt+X exit code", r.exit_code, 0)
    if r.returncode != 0:
        app.drv.run(["attach", app.pid], ["kill"])
    return check


def result_dialogs(build, log, desktop_starts):
    check = Checker()
    shots = os.path.join(build, "screenshots")
    drv = FileDriver(build)
    preview = dgn.windows_path(os.path.join(build, "tests", "ui_preview.exe"))
    folder = dgn.windows_path(os.path.join(build, "tests"))
    for game, button, code, name in [(1, None, 2, "runeveil2"), (3, 1040, 1, "solmere"), (0, 1040, 1, "runeveil")]:
        steps = [["start", preview, "result", str(game)], ["wait-window", "--title", text(48)], ["pause", "300"],
                 ["dump"], ["link-url", "1028"]]
        r = drv.run(*steps)
        subprocess.run(["import", "-window", "root", os.path.join(shots, f"result_{name}.png")],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        must(r, f"result dialog {game}")
        pid = r.get("pid")
        support = text({0: 61, 1: 62, 2: 60, 3: 59}[game])
        check.eq(f"result {game}: heading", r.control_text(1035), text(57))
        check.eq(f"result {game}: link address", r.get("link_url"), support)
        check.eq(f"result {game}: archive", r.control_text(1030),
                 folder + "\\" + ["Runeveil", "Runeveil 2", "Kharros II", "Solmere"][game] + " Test.zip")
        for control, text_id in [(1033, 54), (1032, 55), (1040, 56)]:
            check.eq(f"result {game}: button {control}", r.control_text(control), text(text_id))
        if game == 1:
            check.eq("result 1: instructions", r.control_text(1046), text(50))
            check.eq("result 1: link shows its address", r.control_text(1028), support)
            check.true("result 1: no general controls", r.control_text(1027) is None)
        else:
            check.eq(f"result {game}: link text", r.control_text(1028), "online-help")
            for control, text_id in [(1027, 49), (1037, 51), (1038, 52)]:
                check.eq(f"result {game}: control {control}", r.control_text(control), text(text_id))
            check.true(f"result {game}: no knowledge-base line", r.control_text(1039) is None)
        # The path starts with the focus; the support link just before it
        # is reachable with Shift+Tab and opens on Space.
        opened = len(opened_addresses(log))
        r = must(drv.run(["attach", pid], ["wait-window", "--title", text(48)], ["focus"], ["keys", "shift+tab"],
                         ["pause", "200"], ["focus"], ["keys", "space"]), f"result {game}: keyboard")
        check.eq(f"result {game}: focus at the start, then Shift+Tab", r.all("focus_id"), ["1030", "1028"])
        check.eq(f"result {game}: Space on the link", wait_for_lines(log, opened + 1)[opened:], [support])
        if game == 3:
            # The archive opens in the ZIP program, its folder in a folder window.
            archive = os.path.join(build, "tests", "Solmere Test.zip")
            open(archive, "wb").close()
            must(drv.run(["attach", pid], ["wait-window", "--title", text(48)], ["click", "1033"], ["pause", "300"],
                         ["click", "1032"]), "result 3: open buttons")
            wait_for_lines(log, opened + 3)
            os.remove(archive)
            check.eq("result 3: archive, then folder", opened_addresses(log)[opened + 1:],
                     [folder + "\\Solmere Test.zip", folder])
        if desktop_starts:
            check_started_by_desktop(check, f"result {game}", opened_records(log)[opened:], pid)
        end = ["click", str(button)] if button else ["close"]
        r = drv.run(["attach", pid], ["wait-window", "--title", text(48)], end, ["wait-exit"])
        check.eq(f"result {game}: dialog result", r.exit_code, code)
    return check


def desktop_shell(build, log):
    """The desktop-shell path itself (ui_preview calls it directly): an
    address with a query, an archive and a folder with spaces in their names
    reach the stand-in unchanged, started by the desktop's Explorer; the
    program's own ShellExecute starts them as its own children. Returns the
    checks and whether Wine gave the caller the elevated half of a split
    token (the program then takes the desktop path)."""
    check = Checker()
    folder = tempfile.mkdtemp(prefix="ui-open ")
    archive = os.path.join(folder, "Runeveil 2 Test.zip")
    open(archive, "wb").close()
    targets = ["http://open-test.example/page?a=1&b=%20", dgn.windows_path(archive), dgn.windows_path(folder)]
    elevated = False
    for how in ("desktop", "own"):
        before = len(opened_records(log))
        pids = []
        for target in targets:
            rc, pid, elevated = preview_open(build, how, target)
            check.eq(f"{how} open of {target}", rc, 0)
            pids.append(pid)
        records = wait_for_lines(log, before + 3) and opened_records(log)[before:]
        check.eq(f"{how}: what was opened", [r[0] for r in records], targets)
        if how == "desktop":
            for (target, parent, name), pid in zip(records, pids):
                check.true(f"desktop: {target} started by Explorer (parent {parent} {name}), not by {pid}",
                           name.lower() == "explorer.exe" and parent != pid)
        else:
            check.eq("own: started by the caller itself", [r[1] for r in records], pids)
    shutil.rmtree(folder, ignore_errors=True)
    print("untested: an elevated Diagnova under UAC on Windows: that the desktop's Explorer has the player's "
          "filtered token, so nothing it starts is elevated (Wine runs every process with one token)")
    print("untested: the browser, archive program or folder window started by the desktop comes to the "
          "foreground (Wine does not enforce Windows' foreground lock)")
    print("untested: a replacement shell without the desktop's automation objects (here only a missing desktop)")
    if not elevated:
        print("untested: the program's desktop route end to end (this Wine gives no elevated split token)")
    return check, elevated


def no_desktop_shell(build, log):
    """Without the desktop's Explorer (disabled for this run) the desktop
    path reports failure and opens nothing, and the program's choice falls
    back to its own ShellExecute."""
    check = Checker()
    archive = os.path.join(tempfile.mkdtemp(prefix="ui-open-"), "Kharros II Test.zip")
    open(archive, "wb").close()
    rc, _, _ = preview_open(build, "desktop", dgn.windows_path(archive))
    check.eq("desktop path without a desktop", rc, 1)
    rc, pid, elevated = preview_open(build, "program", dgn.windows_path(archive))
    check.eq("the program's open without a desktop", rc, 0)
    check.true(f"the route under test is the fallback (elevated split token: {elevated})", elevated)
    check.eq("opened once, by the program itself", [r[:2] for r in wait_for_lines(log, 1) and opened_records(log)],
             [(dgn.windows_path(archive), pid)])
    return check


def update_offer(build, log, desktop_starts):
    """Accepting the offer of a newer version opens the download page, then
    the program ends."""
    check = Checker()
    drv = FileDriver(build)
    box = ["wait-window", "--class", "#32770", "--control", "65535"]
    r = must(drv.run(["timeout", "30000"], ["start", drv.program()], box, ["text", "65535"], ["click", "1"],
                     ["wait-exit"]), "download offer")
    check.eq("the offer", r.get("text"), text(34))
    check.true("the program ended after OK", r.exit_code is not None)
    records = wait_for_lines(log, 1) and opened_records(log)
    macros = deployment_macros()
    check.eq("download page opened", [x[0] for x in records],
             ["http://" + macros["DEPLOY_UPDATE_HOST"] + "/diagnova/download/Diagnova.exe"])
    if desktop_starts:
        check_started_by_desktop(check, "download page", records, r.get("pid"))
    return check


def hide_version_resource(path):
    """Renames the program file's version resource (type 16 becomes 17, which
    keeps the resource directory's ids in order), as a damaged copy would
    lack it: the program can then not read its own version."""
    with open(path, "r+b") as f:
        image = bytearray(f.read())
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
        optional = pe + 24
        # The data directories follow a longer header in a 64-bit (PE32+) image.
        directories = optional + (112 if struct.unpack_from("<H", image, optional)[0] == 0x20B else 96)
        resource_rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
        for i in range(sections):
            header = optional + optional_size + 40 * i
            size, rva, _, raw = struct.unpack_from("<IIII", image, header + 8)
            if rva <= resource_rva < rva + size:
                root = resource_rva - rva + raw
        named, numbered = struct.unpack_from("<HH", image, root + 12)
        for entry in range(root + 16 + 8 * named, root + 16 + 8 * (named + numbered), 8):
            if struct.unpack_from("<I", image, entry)[0] == 16:
                struct.pack_into("<I", image, entry, 17)
                f.seek(0)
                f.write(image)
                return True
    return False


def own_version_unknown(build):
    """A program that cannot read its own version says so, and even when the
    update server names a newer version it offers no download: without its
    own version every version file would look newer."""
    check = Checker()
    work = tempfile.mkdtemp(prefix="ui-version-")
    program = os.path.join(work, "Diagnova.exe")
    shutil.copy(os.path.join(build, "Diagnova.exe"), program)
    check.true("the copy's version resource is renamed", hide_version_resource(program))
    app = App(build, check, os.path.join(build, "screenshots"))
    box = ["wait-window", "--class", "#32770", "--control", "65535"]
    r = must(app.drv.run(["timeout", "30000"], ["start", dgn.windows_path(program)], box, ["text", "65535"],
                         ["close"]), "start-up box")
    app.pid = r.get("pid")
    texts = [r.get("text")]
    while len(texts) < 6:  # the version check and the two version labels each ask once
        r = app.drv.run(["attach", app.pid], ["timeout", "3000"], box, ["text", "65535"], ["close"])
        if r.returncode != 0:
            break
        texts.append(r.get("text"))
    check.true(f"only version errors, no download offer: {texts}",
               all(t.startswith("version error(") for t in texts))
    r = app.on_main(["keys", "alt+x"], ["wait-exit"])
    check.eq("exit after the version errors", r.exit_code, 0)
    if r.returncode != 0:
        app.drv.run(["attach", app.pid], ["kill"])
    shutil.rmtree(work, ignore_errors=True)
    return check


def update_warning(build):
    """With the update server down, the silent check at start warns, and
    Ctrl+U warns again."""
    check = Checker()
    app = App(build, check, os.path.join(build, "screenshots"))
    r = must(app.drv.run(["timeout", "30000"], ["start", app.drv.program()], ["wait-window", "--class", "#32770"],
                         ["text", "65535"], ["close"]), "start-up warning")
    app.pid = r.get("pid")
    check.eq("start-up warning", r.get("text"), text(36))
    r = must(app.on_main(["keys", "ctrl+u"]), "ctrl+u")
    r = app.drv.run(["attach", app.pid], ["wait-window", "--class", "#32770"], ["dump"])
    check.eq("Ctrl+U warning", r.control_text(65535), text(36))
    check.eq("Ctrl+U warning caption", r.get("title"), text(10))
    app.drv.run(["attach", app.pid], ["wait-window", "--class", "#32770"], ["close"])
    r = app.on_main(["keys", "alt+x"], ["wait-exit"])
    check.eq("exit after warnings", r.exit_code, 0)
    if r.returncode != 0:
        app.drv.run(["attach", app.pid], ["kill"])
    return check


# ---- locales ---------------------------------------------------------------------

LOCALES = [
    # LANG, language, languages whose menu items are enabled
    ("fr_FR.UTF-8", 3, {1, 3, 4, 5, 6}),
    ("ko_KR.UTF-8", 2, {1, 2}),
    ("ru_RU.UTF-8", 11, {1, 11}),
    ("ja_JP.UTF-8", 9, {1, 9}),
    ("zh_HK.UTF-8", 7, {1}),
    ("zh_CN.UTF-8", 8, {1}),
]
# A folder named "Downloads" in each locale's own letters: bytes of 128 and
# above (lead and trail bytes in the double-byte code pages) in the program's
# path, which the program gets without quotes.
DOWNLOADS = {3: "T\u00e9l\u00e9chargements", 2: "\ub2e4\uc6b4\ub85c\ub4dc",
             11: "\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438",
             9: "\u30c0\u30a6\u30f3\u30ed\u30fc\u30c9", 7: "\u4e0b\u8f09", 8: "\u4e0b\u8f7d"}


def locale_flow(build, language, enabled):
    check = Checker()
    app = App(build, check, os.path.join(build, "screenshots"))
    folder = "C:\\" + DOWNLOADS[language]
    unix = os.path.join(os.environ["WINEPREFIX"], "drive_c", DOWNLOADS[language])
    os.makedirs(unix, exist_ok=True)
    shutil.copy(os.path.join(build, "Diagnova.exe"), unix)
    app.start(folder + "\\Diagnova.exe")
    r = must(app.on_main(["pause", "300"], ["dump"]), "list pane")
    shown = language if language not in (7, 8) else 1  # Chinese rows show English beyond the menu
    check.eq("list label", r.control_text(1045), text(0, shown if language != 7 else 1))
    del enabled  # the menu's state is checked inside the program's process (Wine keeps menus private)
    r = must(app.on_main(["list-click", "1003", "1"], ["pause", "300"], ["combo", "1007"]), "selector")
    check.eq("selector names", r.all("combo_item"), [text(t, shown) for t in GAME_TEXT_IDS])
    r = app.on_main(["keys", "alt+x"], ["wait-exit"])
    check.eq("exit", r.exit_code, 0)
    return check


def report(checks):
    failures = [f for c in checks for f in c.failures]
    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


def inside(build, what, extra):
    log = os.path.join(tempfile.mkdtemp(prefix="ui-shell-"), "opened.txt")
    redirect_opens(build, log)
    if what == "main":
        shell_log = log + ".shell"
        redirect_opens(build, shell_log)
        shell, desktop_starts = desktop_shell(build, shell_log)
        redirect_opens(build, log)
        return report([shell, main_flow(build, log, desktop_starts), result_dialogs(build, log, desktop_starts)])
    if what == "no_desktop":
        return report([no_desktop_shell(build, log)])
    if what == "update_down":
        return report([update_warning(build)])
    if what == "newer_version":
        _, _, desktop_starts = preview_open(build, "program", "")  # an empty target: the token only
        return report([update_offer(build, log, desktop_starts), own_version_unknown(build)])
    if what == "locale":
        return report([locale_flow(build, int(extra[0]), set(int(x) for x in extra[1].split(",")))])
    return 2


def outside(build, what):
    prefix = os.environ.get("WINEPREFIX") or os.path.join(build, "wine", "win7")
    me = [sys.executable, os.path.abspath(__file__), build]
    if what == "main":
        rc = sealed_run.run(me + ["--inside", "main"], xvfb=True, wine_prefix=prefix)
        # The desktop's Explorer disabled: the program's opens fall back.
        overrides = os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml=") + ";explorer.exe=d"
        rc |= sealed_run.run(me + ["--inside", "no_desktop"], xvfb=True, wine_prefix=prefix,
                             env=dict(os.environ, WINEDLLOVERRIDES=overrides))
        rc |= sealed_run.run(me + ["--inside", "update_down"], scenario="update_down", xvfb=True,
                             wine_prefix=prefix)
        rc |= sealed_run.run(me + ["--inside", "newer_version"], scenario="newer_version", xvfb=True,
                             wine_prefix=prefix)
        return rc
    if what == "locales":
        import wine_locale
        locale_prefix = os.path.join(build, "wine", "locale")
        env = wine_locale.prepare(locale_prefix, os.path.join(SOURCE, "scripts", "lib", "wine.sh"),
                                  os.path.join(build, "locales"), [lang for lang, _, _ in LOCALES])
        rc = 0
        for lang, language, enabled in LOCALES:
            print("==", lang)
            rc |= sealed_run.run(me + ["--inside", "locale", str(language), ",".join(map(str, sorted(enabled)))],
                                 xvfb=True, wine_prefix=locale_prefix, env=dict(env, LANG=lang))
            # The menu's check marks and grayed items under this code page,
            # read inside the program's process.
            rc |= sealed_run.run(["wine", os.path.join(build, "tests", "diagnova_ui_tests.exe")],
                                 xvfb=True, wine_prefix=locale_prefix, env=dict(env, LANG=lang))
        return rc
    return 2


if __name__ == "__main__":
    build_dir = os.path.abspath(sys.argv[1])
    if len(sys.argv) > 3 and sys.argv[2] == "--inside":
        sys.exit(inside(build_dir, sys.argv[3], sys.argv[4:]))
    sys.exit(outside(build_dir, sys.argv[2]))
