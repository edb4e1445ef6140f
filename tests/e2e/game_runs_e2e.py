#!/usr/bin/python3
"""Complete test runs of the real Diagnova.exe for every game and on every
Windows generation the test prefixes offer, in the sealed network.

One sealed session per prefix; inside it the program starts once and runs the
given games one after another, each from the main window's Test button to the
result dialog. game_fixtures puts the launcher, the games' install locations
and the Runeveil 2 logs into the overlaid prefix first. For every run:

  * the result dialog: the Runeveil 2 form (its instructions control, the
    ticket form's address as the link's text) or the general form (three
    instruction lines, "online-help"), the game's support address behind the
    link, the archive's path;
  * the report: header with the game's name and the program's version, every
    section banner in run order, end marker, digest trailer; it equals its
    copy in the archive, and the program's own verification mode says
    "Checksum matched" for that copy and for the archive itself, and the
    mismatch (with the archive's path and the member's name) for the first
    game's archive rebuilt with one byte of the report changed;
  * the archive beside the program: the report first, then the launcher's
    configuration files and logs and, for Runeveil 2, the game's logs (from
    the documents folder on Vista and later, from the game's own folder on
    XP), byte for byte, and nothing else;
  * the lines that depend on the Windows generation and on WOW64: dxdiag's
    command line (as the report shows it and as the tool received it), the
    D3DX scan's x86/x64 lists, the Windows version lines (the real version,
    10.0 on Windows 10), the UAC line, the route tracers' command lines, the
    Winsock catalogs of both system folders' netsh (stand-ins), the hosts
    file's path, every process's full image path, and the registry dump's
    32- and 64-bit views with the native view's uninstall list.

dxdiag is played by the tool stand-in in every prefix (Wine's own 64-bit
dxdiag never ends under WOW64; see game_fixtures.install_dxdiag_stand_in): it
logs the command line it received and leaves a dxdiag-like report, whose
component list the program must cut off.

With --held NAME, another program holds the Runeveil 2 log NAME open without
read sharing (as a running game may) for the whole session: a Runeveil 2 run
leaves that member out and the archive stays whole.

With --foreign the session is a Russian Windows (code page 1251, Russian
window texts) whose user's temporary and documents folders lie in a profile
named in letters that code page lacks, and the program lies in that profile's
"Загрузки" (Downloads) folder, in a folder of 244 characters: its archive's
path does not fit 256 characters, and its ANSI name is lossy. The program is
started once without quotes (the Cyrillic letters are bytes of 128 and above
in the ANSI command line) and must open its main window, then with quotes for
the runs; the archive must be made in that folder.

With --compare OTHER_BUILD (a 64-bit prefix, the shipped program's build
first) the 64-bit build of OTHER_BUILD then tests the first game in the same
session, and the two reports must agree section by section, but for the
lines that tell how each program was built (BUILD_LINES) and what differs
between any two runs (the temporary file names, the process list).

Windows are found by their own controls, not by their titles, which the
program translates.

Usage: game_runs_e2e.py BUILD_DIR PREFIX [--held NAME] [--foreign] [--compare OTHER_BUILD] GAME...
(as root; PREFIX is win7, win10, winxp or win2k under BUILD_DIR/wine)
"""
import collections
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "network"))

import driver as dgn  # noqa: E402
import game_fixtures as fx  # noqa: E402
import sealed_run  # noqa: E402
import wine_locale  # noqa: E402
from run_helpers import (BANNERS_IN_ORDER, MAIN_WINDOW, MESSAGE_BOX, RESULT_DIALOG, TRAILER, attach,  # noqa: E402
                         reports_in, run_to_file, split_sections, temp_folder, wait_until_gone)
from ui_shell_test import text  # noqa: E402

SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
GAMES = ["Runeveil", "Runeveil 2", "Kharros II", "Solmere"]

# What each test prefix is: Windows generation, WOW64, and the version the OS
# lines print (Windows 10 reports 6.2 to a program whose manifest ends at
# Windows 8, which decides the generation; the lines print the real version).
PREFIXES = {
    "win7": {"generation": 9, "wow64": True, "version": "6.1", "bits": "64"},
    "win10": {"generation": 10, "wow64": True, "version": "10.0", "bits": "64"},
    "winxp": {"generation": 6, "wow64": False, "version": "5.1", "bits": "32"},
    "win2k": {"generation": 5, "wow64": False, "version": "5.0", "bits": "32"},
}

# The same UAC policy values everywhere: Windows 7 looks at EnableLUA (0) and
# finds UAC off; Windows 8 and later look at PromptOnSecureDesktop (1) instead
# and find it on; XP does not look at all.
UAC_VALUES = {"ConsentPromptBehaviorAdmin": 0, "EnableLUA": 0, "PromptOnSecureDesktop": 1}

# Values that tell the registry views apart. The publisher's key is dumped
# from both views under WOW64, each showing its own value; the installed-games
# section and the uninstall lists read the 32-bit view, and on 64-bit Windows
# the machine's uninstall list follows once more from the native view.
PUBLISHER_KEY = "SOFTWARE\\OrvaneWest"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def _uninstall_entry(name):
    key = UNINSTALL_KEY + "Orvane" + name
    return [("HKEY_LOCAL_MACHINE", key, "Publisher", "sz", "Orvane"),
            ("HKEY_LOCAL_MACHINE", key, "DisplayName", "sz", "Fixture " + name),
            ("HKEY_LOCAL_MACHINE", key, "DisplayVersion", "sz", "1.2")]


VIEW_32_VALUES = [("HKEY_LOCAL_MACHINE", PUBLISHER_KEY, "View", "sz", "32-bit")] + _uninstall_entry("View32")
VIEW_64_VALUES = ([("HKEY_LOCAL_MACHINE", PUBLISHER_KEY, "View", "sz", "native"),
                   ("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvane\\Solmere", "InstallPath", "sz", "C:\\Native\\Solmere")]
                  + _uninstall_entry("View64"))
ONLY_VIEW_VALUES = [("HKEY_LOCAL_MACHINE", PUBLISHER_KEY, "View", "sz", "native")] + _uninstall_entry("View32")
UNINSTALL_LINE = "\tOrvane%s, Orvane, Fixture %s v1.2\r\n"

# The native Winsock catalog's heading, and the bitness of the netsh stand-in
# in the native system folder (the other build's stand-in, when there is one).
NATIVE_LSP_HEADING = "64-bit Winsock catalog (native netsh):"
NATIVE_STAND_IN = {"bits": "32"}

# (file name, product version) of the D3DX look-alikes (tests/tools/d3dx_fixture.rc).
D3DX_32 = ("d3dx9_77.dll", "9.29.952.3111")
D3DX_64 = ("d3dx10_77.dll", "10.0.17763.132")

# The --foreign session: its locale and interface language (text column of
# ui_shell_test.text), and a profile named in letters outside code page 1251.
FOREIGN_LANG = "ru_RU.UTF-8"
FOREIGN_LANGUAGE = 11
FOREIGN_PROFILE = "C:\\users\\J\u00f6ns-\u0141ukasz-\u674e"
FOREIGN_PROGRAM_FOLDER_CHARS = 244

# The result dialog's support text by game index.
SUPPORT_TEXT_IDS = {0: 61, 1: 62, 2: 60, 3: 59}

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    sys.stdout.flush()
    if not condition:
        failures.append(what)


def program_version():
    text = open(os.path.join(SOURCE_DIR, "resources", "version.h"), encoding="utf-8").read()
    return re.search(r'#define\s+DIAGNOVA_VERSION_TEXT\s+"([^"]+)"', text).group(1)


# ---- one run ---------------------------------------------------------------

def run_game(d, pid, game, temp):
    """Runs one game's test from the main window to the result dialog and
    back; returns (result dialog dump, link address, the run's report path)."""
    before = reports_in(temp)
    r = run_to_file(d, attach(pid), ["timeout", "30000"], MAIN_WINDOW, ["select", "1007", str(game)],
                    ["click", "1005"], timeout=90)
    check(r.returncode == 0, "%s: test started\n%s" % (GAMES[game], r))
    started = time.time()
    r = run_to_file(d, attach(pid), ["timeout", "240000"], RESULT_DIALOG, ["dump"], ["link-url", "1028"],
                    timeout=300)
    check(r.returncode == 0, "%s: the result dialog follows the progress dialog\n%s" % (GAMES[game], r))
    print("     %s: run took %.1f s" % (GAMES[game], time.time() - started))
    link = r.get("link_url")
    closed = run_to_file(d, attach(pid), RESULT_DIALOG, ["click", "1040"], timeout=60)
    check(closed.returncode == 0 and wait_until_gone(d, pid, RESULT_DIALOG),
          "%s: Close ends the result dialog\n%s" % (GAMES[game], closed))
    new = sorted(reports_in(temp) - before)
    check(len(new) == 1, "%s: the run leaves one report in the temporary folder: %s" % (GAMES[game], new))
    return r, link, (new[0] if len(new) == 1 else None)


def same_file(windows_path, unix_path):
    """Whether a path the program shows names this file (Wine resolves the
    short form the program may use)."""
    done = subprocess.run(["winepath", "-u", windows_path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    found = done.stdout.decode("utf-8", "replace").strip()
    return bool(found) and os.path.exists(found) and os.path.samefile(found, unix_path)


def check_result_dialog(game, r, link, archive, language):
    name = GAMES[game]
    ids = {c.id for c in r.controls}
    if game == 1:
        form_ok = 1046 in ids and not ({1027, 1037, 1038} & ids)
    else:
        form_ok = {1027, 1037, 1038} <= ids and 1046 not in ids
    check(form_ok, "%s: result dialog %d (controls %s)" % (name, 172 if game == 1 else 173, sorted(ids)))
    check(r.get("title") == text(48, language) and r.control_text(1035) == text(57, language),
          "%s: the result dialog's title and heading" % name)
    address = text(SUPPORT_TEXT_IDS[game], language)
    want_text = address if game == 1 else "online-help"
    check(r.control_text(1028) == want_text, "%s: link text %r (want %r)" % (name, r.control_text(1028), want_text))
    check(link == address, "%s: link address %r (want %r)" % (name, link, address))
    shown = r.control_text(1030) or ""
    check(shown.endswith("\\%s Test.zip" % name) and same_file(shown, archive),
          "%s: the archive path %r names %s" % (name, shown, archive))


def check_frame(game, report):
    name = GAMES[game]
    text = report.decode("latin-1")
    header = "%s Test Report -- created by Diagnova v%s\r\n\r\n" % (name, program_version())
    check(text.startswith(header + "=" * 78 + "\r\n"), "%s: the header line, then the first banner" % name)
    check(TRAILER.search(report) is not None, "%s: end marker and digest trailer close the report" % name)
    titles = [title for title, _ in split_sections(text)]
    check(titles == BANNERS_IN_ORDER, "%s: every section once, in run order: %s" % (name, titles))


def verify_with_program(d, program, path):
    """Diagnova's verification mode on a report, the program's path without
    quotes (as a command prompt gives it) where it has no blanks: the
    message box text and the exit code."""
    line = '%s "%s"' % (program if " " not in program else '"%s"' % program, dgn.windows_path(path))
    for _ in range(2):
        r = run_to_file(d, ["start-raw", program, line], ["timeout", "30000"], MESSAGE_BOX, ["text", "65535"],
                        ["click", "1"], ["wait-exit"], timeout=90)
        # Under a busy X server Wine now and then fails to create a message
        # box at all; one more try tells that from a real fault.
        if r.get("error") != "the program ended before showing the window":
            break
    return r.get("text"), r.exit_code


# ---- the generation-dependent lines ------------------------------------------

def check_generation(prefix_name, report, log_lines):
    p = PREFIXES[prefix_name]
    generation, wow64 = p["generation"], p["wow64"]
    text = report.decode("latin-1")
    sections = dict(split_sections(text))
    tag = prefix_name + ": "

    # UAC (generation 8 and later only; the policy pair depends on it).
    uac = sections.get("information about the UAC status and user level")
    if generation < 8:
        want = "* ERROR * - Reporting UAC does not work on XP and below.\r\n"
    else:
        user = os.environ.get("USER") or pwd.getpwuid(os.getuid()).pw_name
        state = "Enabled" if generation >= 10 else "Disabled"
        want = 'An user "%s" is an Administrator, and UAC is %s\r\n' % (user, state)
    check(uac == want, tag + "the UAC line %r (want %r)" % (uac, want))

    # The D3DX scan: the 64-bit system folder only under WOW64.
    scan = sections.get("Installed DirectX", "")
    labels = re.findall(r"(?m)^ - x(?:86|64)\r$", scan)
    want_labels = [" - x86\r", " - x64\r"] if wow64 else [" - x86\r"]
    check(labels == want_labels, tag + "D3DX lists %s" % labels)
    x86, _, x64 = scan.partition(" - x64\r\n")
    line32, line64 = ("%s - %s\n\r\n" % D3DX_32), ("%s - %s\n\r\n" % D3DX_64)
    check(line32 in x86 and D3DX_64[0] not in x86, tag + "the x86 list holds the 32-bit system folder's D3DX")
    if wow64:
        check(line64 in x64 and D3DX_32[0] not in x64, tag + "the x64 list holds the native system folder's D3DX")

    # dxdiag: switches by generation and WOW64, the tool's report cut before
    # its component list, then the Windows version lines.
    dx = sections.get("Running DirectX diagnostic", "")
    m = re.match(r"\*--> (dxdiag .*) <--\*\r\n\r\n", dx)
    command = m.group(1) if m else ""
    switches = "dxdiag %s /whql:off %s /t " % ("/dontskip" if generation > 8 else "", "/64bit" if wow64 else "")
    check(command.startswith(switches) and re.search(r"\\DGN[0-9A-Fa-f]+\.tmp$", command) is not None,
          tag + "dxdiag command line %r (want %r and a DGN temporary file)" % (command, switches))
    check(command in log_lines, tag + "dxdiag received that command line: %s" % log_lines)
    version = "Windows Version: %s\r\nBuild \\d+\r\n[^\r\n]*\r\nProcessor bit : %s\r\n" % (
        re.escape(p["version"]), p["bits"])
    want_dx = re.escape("*--> %s <--*\r\n\r\n" % command + fx.DXDIAG_KEPT.decode("latin-1") + "\r\n") + version + "\\Z"
    check(re.match(want_dx, dx) is not None, tag + "dxdiag section and version lines:\n%r" % dx)

    # Route tracers: pathping, with -4 from XP on.
    route = sections.get("Tracing network paths", "")
    outputs = re.findall(r"stand-in ran: (.*)\r\n", route)
    tracer_lines = [line for line in log_lines if not line.startswith(("dxdiag", "Netsh"))]
    tracer = "pathping.exe -w 500 -q 100 " + ("-4 " if generation >= 6 else "")
    check(outputs and all(re.fullmatch(re.escape(tracer) + r"\d+\.\d+\.\d+\.\d+", o) for o in outputs),
          tag + "route tracer command lines %s (want %r and an address)" % (outputs, tracer))
    # Tracers start together; the stand-ins take turns appending to the log.
    check(collections.Counter(tracer_lines) == collections.Counter(outputs),
          tag + "the tracers that ran are the ones in the report: ran %s" % tracer_lines)

    # Console tools of the local network sections.
    for title, command in (("Gathering adapter settings", "ipconfig /all"),
                           ("Gathering LSP list", "Netsh winsock show catalog"),
                           ("Detecting network connections", "netstat -n")):
        check(sections.get(title, "").startswith("*--> %s <--*\r\n\r\n" % command), tag + "%s: %s" % (title, command))

    # Winsock catalogs: the 32-bit netsh's, then on 64-bit Windows the native
    # one's under its heading (the stand-ins say their bitness and folder).
    lsp = sections.get("Gathering LSP list", "")
    said = r"netsh stand-in, (\d+)-bit, in ([^:\r\n]+): Netsh winsock show catalog\r\n"
    title = re.escape("*--> Netsh winsock show catalog <--*\r\n\r\n")
    want = title + said + (r"\r\n" + re.escape(NATIVE_LSP_HEADING) + r"\r\n" + title + said if wow64 else "") + r"\r\n\Z"
    m = re.match(want, lsp)
    check(m is not None, tag + "the Winsock catalogs %r" % lsp)
    if m and wow64 and sealed_run.program_bits() == 64:
        check(m.group(2) == "syswow64" and m.group(4) == "system32",
              tag + "the 32-bit system folder's netsh first, then the native one: %s" % (m.groups(),))
    elif m and wow64:
        check(m.group(1) == "32" and m.group(3) == NATIVE_STAND_IN["bits"],
              tag + "the 32-bit netsh first, then the native one (a %s-bit stand-in): %s"
              % (NATIVE_STAND_IN["bits"], m.groups()))
    elif m:
        check(m.group(1) == "32", tag + "the system's own (32-bit) netsh: %s" % (m.groups(),))

    # Processes: every line ends with its image's full path, also for the
    # processes of the other bitness, whose module lists the program cannot
    # read (on 64-bit Windows Wine's services and explorer are 64-bit, the
    # shipped program 32-bit); explorer's fields are those of Wine's own file.
    procs = sections.get("Dumping Running Processes", "")
    lines = [re.sub(r"^(?:\|   |    )*[+\\] ", "", line) for line in procs.split("\r\n") if line]
    def full_path(line):
        # (A path of more than 255 characters is cut there, as every piece of a line is.)
        m = re.search(r", ([A-Za-z]:\\.*)$", line)
        return m and (len(", " + m.group(1)) == 255 or m.group(1).lower().endswith("\\" + line.split(",")[0].lower()))
    pathless = [line for line in lines if not full_path(line)]
    check(lines and not pathless, tag + "every process line ends with its full image path: %s"
          % (pathless or "%d lines" % len(lines)))
    if wow64 and sealed_run.program_bits() == 32:
        print("untested: that a 64-bit process's version fields come from its native file, not from its namesake "
              "in SysWOW64 (Wine's two copies carry the same fields)")
    elif wow64:
        print("untested: the 64-bit build's lines for 32-bit processes (only 64-bit processes run in this session)")
    explorer = [line for line in lines if line.lower().startswith("explorer.exe,")]
    check(explorer and all(", Wine Explorer v" in line and line.lower().endswith("\\system32\\explorer.exe")
                           for line in explorer), tag + "explorer's line: %s" % explorer)

    # Hosts file: the system folder's drivers\etc\hosts, copied whole.
    hosts = sections.get("Collecting Hosts file content")
    want = "*--> C:\\windows\\system32\\drivers\\etc\\hosts <--*\r\n\r\n" + fx.HOSTS_FILE.decode() + "\r\n\r\n"
    check(hosts == want, tag + "hosts section %r" % hosts)

    # Installed games, read through the 32-bit view (the 64-bit view's plain
    # Solmere path stays out).
    check(sections.get("Installed games") == fx.INSTALLED_GAMES_BODY,
          tag + "installed games section %r" % sections.get("Installed games"))

    # Registry dump: seven keys per view, both views under WOW64, each view
    # showing its own value of the publisher's key.
    dump = sections.get("Dumping System Registry", "")
    keys = re.findall(r"\r\n\[([^\]\r\n]+)\]\r\n", dump)
    wow = [k for k in keys if "Wow6432Node" in k]
    check(len(keys) == (16 if wow64 else 9) and len(wow) == (7 if wow64 else 0),
          tag + "registry keys %s" % keys)
    native = re.search(r"\[HKLM\\SOFTWARE\\OrvaneWest\]\r\n(.*?)\r\n\r\n", dump, re.S)
    check(native is not None and native.group(1) == "\tView, native",
          tag + "the native view's publisher key %r" % (native and native.group(1)))
    machine_uninstall = dump[dump.find("[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]"):
                             dump.find("[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]")]
    check(UNINSTALL_LINE % ("View32", "View32") in machine_uninstall and "OrvaneView64" not in machine_uninstall,
          tag + "the machine's uninstall list is read from the 32-bit view")
    native_heading = "\r\n[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall] (64-bit view)\r\n"
    native_uninstall = dump.partition(native_heading)[2]
    if wow64:
        check(dump.endswith("\r\n\r\n") and UNINSTALL_LINE % ("View64", "View64") in native_uninstall
              and "OrvaneView32" not in native_uninstall,
              tag + "the native view's uninstall list follows the user's, under its own heading: %r" % native_uninstall)
    else:
        check(native_heading not in dump, tag + "one uninstall list of the machine on 32-bit Windows")
    if wow64:
        view32 = re.search(r"\[HKLM\\SOFTWARE\\Wow6432Node\\OrvaneWest\]\r\n(.*?)\r\n\r\n", dump, re.S)
        check(view32 is not None and view32.group(1) == "\tView, 32-bit",
              tag + "the 32-bit view's publisher key %r" % (view32 and view32.group(1)))


# ---- inside the sealed network -------------------------------------------------

def hold_without_sharing(build_dir, path):
    """Starts a program that opens the file at the C: path for writing
    without any sharing and keeps it open (the tool stand-in playing a dxdiag
    stopped while it writes); returns once the file is held. wineserver -k at
    the end of the sealed session ends it."""
    env = dict(os.environ, DGN_STANDIN_DXDIAG="partial")
    env.pop("DGN_STANDIN_LOG", None)
    subprocess.Popen(["wine", os.path.join(build_dir, "tests", "tool_stand_in.exe"), "hold", "/t", path],
                     env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    unix = fx.unix_path(os.environ["WINEPREFIX"], path)
    deadline = time.time() + 60
    while time.time() < deadline:
        with open(unix, "rb") as f:
            if f.read().startswith(b"------------------\r\nSystem Information"):
                return True
        time.sleep(0.1)  # another process: the file it writes is all there is to watch
    return False


def install_netsh_stand_ins(build_dir, prefix, wow64, other_build):
    """Makes the overlaid prefix run the tool stand-in as netsh from each
    system folder: the build's own in the 32-bit one, and in the native one of
    a 64-bit prefix the 64-bit build's where it can run (the other build's
    for the shipped program), else the same one."""
    own = os.path.join(build_dir, "tests", "tool_stand_in.exe")
    shutil.copy(own, os.path.join(sealed_run.wow_system_folder(prefix), "netsh.exe"))
    if wow64:
        native = own
        if sealed_run.program_bits() == 64:
            NATIVE_STAND_IN["bits"] = "64"
        elif other_build and os.path.exists(os.path.join(other_build, "tests", "tool_stand_in.exe")):
            native = os.path.join(other_build, "tests", "tool_stand_in.exe")
            NATIVE_STAND_IN["bits"] = "64"
        shutil.copy(native, os.path.join(prefix, "drive_c", "windows", "system32", "netsh.exe"))
    overrides = os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml=")
    if "netsh.exe=n" not in overrides:
        os.environ["WINEDLLOVERRIDES"] = overrides + ";netsh.exe=n"


def use_foreign_profile(prefix):
    """Points the user's temporary and documents folders into a profile named
    in letters outside the ANSI code page, and makes the program's folder
    there; returns the program folder's C: path and Unix path and the
    temporary folder's Unix path. Every program started from here on reads
    TEMP and TMP from the overlay's registry."""
    temp = FOREIGN_PROFILE + "\\AppData\\Local\\Temp"
    fx.DOCUMENTS_DIR = FOREIGN_PROFILE + "\\Documents"
    downloads = FOREIGN_PROFILE + "\\\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438"
    tail = FOREIGN_PROGRAM_FOLDER_CHARS - len(downloads) - 1
    folder = downloads + "\\" + ("Diagnova-" + "x" * tail)[:tail]
    assert len(folder) == FOREIGN_PROGRAM_FOLDER_CHARS and " " not in folder
    for path in (temp, fx.DOCUMENTS_DIR, folder):
        os.makedirs(fx.unix_path(prefix, path), exist_ok=True)
    for name in ("TEMP", "TMP"):
        subprocess.run(["wine", "reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_SZ", "/d", temp, "/f"],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return folder, fx.unix_path(prefix, folder), fx.unix_path(prefix, temp)


def start_unquoted(d, program):
    """Starts the program by its path without quotes, as a command prompt or a
    launcher may; true when its main window opens and it ends normally."""
    r = run_to_file(d, ["start-raw", program, program], ["timeout", "30000"], MAIN_WINDOW, ["close"],
                    ["wait-exit"], timeout=90)
    if r.returncode != 0:
        run_to_file(d, ["timeout", "1000"], MESSAGE_BOX, ["dump"], timeout=60)
    return r.returncode == 0 and r.exit_code == 0, r


# ---- the two builds' reports ---------------------------------------------------

# Lines in which the 64-bit build's report may differ from the shipped
# program's on the same 64-bit system: each program describes the processor as
# it sees it itself.
BUILD_LINES = {"processor architecture : x86", "processor architecture : x64 (AMD or Intel)",
               "Oem Id : 0", "Oem Id : 9"}
# Sections that differ between any two runs (process ids, start order).
RUN_SECTIONS = {"Dumping Running Processes"}


def comparable_sections(report):
    sections = []
    for title, body in split_sections(report.decode("latin-1")):
        if title in RUN_SECTIONS:
            body = "(differs between runs)"
        body = re.sub(r"\\DGN[0-9A-Fa-f]+\.tmp", r"\\DGN(temporary).tmp", body)
        # Which name a folder goes by depends on who started the stand-in.
        body = re.sub(r"(netsh stand-in, \d+-bit), in [^:\r\n]+:", r"\1:", body)
        sections.append((title, [line for line in body.split("\r\n") if line not in BUILD_LINES]))
    return sections


def compare_builds(d, other_build, prefix, game, temp, work, report):
    """Runs the other build's program on the same system for one game and
    compares its report with `report`, section by section."""
    program_dir = os.path.join(work, "Diagnova Program 64")
    os.makedirs(program_dir)
    shutil.copy(os.path.join(other_build, "Diagnova.exe"), program_dir)
    # The 64-bit build starts the tool stand-ins from the native system folder.
    for name in ("tracert.exe", "pathping.exe"):
        shutil.copy(os.path.join(sealed_run.wow_system_folder(prefix), name),
                    os.path.join(prefix, "drive_c", "windows", "system32", name))
    program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    r = run_to_file(d, ["start", program], ["timeout", "30000"], MAIN_WINDOW, timeout=90)
    check(r.returncode == 0, "the 64-bit build starts\n" + str(r))
    pid = r.get("pid")
    _, _, report_path = run_game(d, pid, game, temp)
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the 64-bit build ends after its run\n" + str(r))
    other = b""
    if report_path:
        with open(report_path, "rb") as f:
            other = f.read()
    ours, theirs = comparable_sections(report), comparable_sections(other)
    check([t for t, _ in ours] == [t for t, _ in theirs],
          "both builds write the same sections: %s and %s" % ([t for t, _ in ours], [t for t, _ in theirs]))
    for (title, lines), (_, other_lines) in zip(ours, theirs):
        check(lines == other_lines, "both builds: the section %r is the same\n  32-bit: %r\n  64-bit: %r"
              % (title, lines, other_lines))


def inside(build_dir, prefix_name, games, held, foreign, compare=None):
    p = PREFIXES[prefix_name]
    prefix = os.environ["WINEPREFIX"]
    work = tempfile.mkdtemp(prefix="dgn-games-")
    language = FOREIGN_LANGUAGE if foreign else 1
    if foreign:
        folder, program_dir, temp = use_foreign_profile(prefix)
        program = folder + "\\Diagnova.exe"
    else:
        program_dir, temp = os.path.join(work, "Diagnova Program"), temp_folder()
        os.makedirs(program_dir)
        program = dgn.windows_path(os.path.join(program_dir, "Diagnova.exe"))
    shutil.copy(os.path.join(build_dir, "Diagnova.exe"), program_dir)

    fx.install(prefix, p["wow64"], hosts=True, uac=UAC_VALUES)
    if p["wow64"]:
        fx.import_registry(VIEW_32_VALUES, "32")
        fx.import_registry(VIEW_64_VALUES, "64")
    else:
        fx.import_registry(ONLY_VIEW_VALUES, "32")

    log = fx.install_dxdiag_stand_in(build_dir, prefix, work)
    install_netsh_stand_ins(build_dir, prefix, p["wow64"], compare)
    # D3DX look-alikes with known product versions: one in the folder a
    # 32-bit program sees as its system folder, one in the native 64-bit one.
    shutil.copy(os.path.join(build_dir, "tests", "d3dx_fixture_a.dll"),
                os.path.join(sealed_run.wow_system_folder(prefix), D3DX_32[0]))
    if p["wow64"]:
        shutil.copy(os.path.join(build_dir, "tests", "d3dx_fixture_b.dll"),
                    os.path.join(prefix, "drive_c", "windows", "system32", D3DX_64[0]))

    if held:
        check(hold_without_sharing(build_dir, fx.runeveil2_folder(p["generation"]) + "\\" + held),
              "another program holds %s open without sharing" % held)
    d = dgn.Driver(build_dir)
    if foreign:
        opened, r = start_unquoted(d, program)
        check(opened, "started without quotes from %s, the program opens its main window\n%s" % (program, r))
    r = run_to_file(d, ["start", program], ["timeout", "30000"], MAIN_WINDOW, timeout=90)
    check(r.returncode == 0, "the program starts\n" + str(r))
    pid = r.get("pid")
    runs = []
    for game in games:
        if os.path.exists(log):
            os.remove(log)
        dump, link, report_path = run_game(d, pid, game, temp)
        runs.append((game, dump, link, report_path, fx.logged_command_lines(log)))
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    check(r.returncode == 0, "the program ends after its runs\n" + str(r))

    for game, dump, link, report_path, log_lines in runs:
        name = GAMES[game]
        archive = os.path.join(program_dir, name + " Test.zip")
        check_result_dialog(game, dump, link, archive, language)
        members = []
        try:
            with zipfile.ZipFile(archive) as z:
                check(z.testzip() is None, name + ": every member of the archive checks out")
                members = [(i.filename, z.read(i)) for i in z.infolist()]
        except (OSError, zipfile.BadZipFile) as e:
            check(False, "%s: the archive opens: %s" % (name, e))
        problems = fx.check_members(members, name + " Test.txt", game, p["generation"], [held] if held else [])
        check(not problems, "%s: archive members %s: %s" % (name, [m for m, _ in members], problems))
        report = members[0][1] if members else b""
        if report_path:
            with open(report_path, "rb") as f:
                check(f.read() == report, name + ": the archived report equals the report file")
        check_frame(game, report)
        copy = os.path.join(work, name + " Test.txt")
        with open(copy, "wb") as f:
            f.write(report)
        text_shown, code = verify_with_program(d, program, copy)
        check(text_shown == "Checksum matched" and code == 0,
              "%s: the verification mode says %r, exit code %s" % (name, text_shown, code))
        # The archive itself, as support staff receive it (a copy outside the
        # program's folder, which may be named outside the ANSI code page);
        # and, for the first game, the same archive with one letter of the
        # report's header changed and its CRC made to fit, so only the seal
        # can tell.
        received = os.path.join(work, name + " Test.zip")
        shutil.copy(archive, received)
        checks = [(received, "Checksum matched", 0)]
        if game == games[0] and members:
            changed = os.path.join(work, name + " changed.zip")
            report = members[0][1]
            at = report.index(b"Report")
            with zipfile.ZipFile(changed, "w", zipfile.ZIP_DEFLATED) as z:
                for member, data in members:
                    z.writestr(member, report[:at] + b"r" + report[at + 1:] if member == members[0][0] else data)
            checks.append((changed, "Checksum mismatched or missing!\n\n%s\\%s" % (dgn.windows_path(changed), members[0][0]), -1))
        for path, want_text, want_code in checks:
            text_shown, code = verify_with_program(d, program, path)
            check(text_shown == want_text and code == want_code,
                  "%s: the verification mode on %s says %r, exit code %s" % (name, os.path.basename(path), text_shown, code))
        check_generation(prefix_name, report, log_lines)

    if compare and runs:
        game, _, _, report_path, _ = runs[0]
        with open(report_path, "rb") as f:
            compare_builds(d, compare, prefix, game, temp, work, f.read())
    shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


def main():
    if len(sys.argv) >= 5 and sys.argv[1] == "--inside":
        rest = sys.argv[4:]
        held = None
        if rest[:1] == ["--held"]:
            held, rest = rest[1], rest[2:]
        foreign = rest[:1] == ["--foreign"]
        if foreign:
            rest = rest[1:]
        compare = None
        if rest[:1] == ["--compare"]:
            compare, rest = rest[1], rest[2:]
        return inside(sys.argv[2], sys.argv[3], [int(g) for g in rest], held, foreign, compare)
    build_dir = os.path.abspath(sys.argv[1])
    prefix_name = sys.argv[2]
    env = None
    if "--foreign" in sys.argv[3:]:
        # Wine takes the code page from LANG through the C library's compiled
        # locales (tests/e2e/wine_locale.py); the sealed session starts its own
        # wineserver with it.
        cache = os.path.join(build_dir, "locales")
        error = wine_locale.compile_locales(cache, [FOREIGN_LANG])
        if error:
            print("FAIL " + error)
            return 1
        env = dict(os.environ, LANG=FOREIGN_LANG, LOCPATH=cache)
    return fx.run_sealed_with_stand_ins(build_dir, [sys.executable, os.path.abspath(__file__), "--inside", build_dir,
                                                    prefix_name] + sys.argv[3:],
                                        scenario="all_reachable", xvfb=True,
                                        wine_prefix=os.path.join(build_dir, "wine", prefix_name), env=env)


if __name__ == "__main__":
    sys.exit(main())
