"""Puts the publisher's launcher, the games' install locations and the
Runeveil 2 logs into a Wine prefix, so that a test run has something to
collect, and says what the run should then show.

Call install() only on a prefix that tests/network/sealed_run.py has overlaid
(that is, from a script running inside a sealed run): the files and registry
values land in the overlay and vanish with it, so the shared prefixes under
build/wine never see them.

What goes in:
  * the launcher: HKLM Software\\Orvane\\Launcher, InstallPath (the 32-bit
    view, where a 32-bit installer writes and where the 32-bit Diagnova reads)
    naming Launcher.exe in LAUNCHER_DIR, with Config\\Default\\Games.xml and
    GamesAddendum.xml and application logs beside it, plus look-alikes that
    must stay out of the archive (a name in another letter case, a folder);
  * Runeveil 2 logs in two places, told apart by their names: the documents
    folder's "Runeveil 2" (used on Vista and later; the user's Personal shell
    folder is pointed at DOCUMENTS_DIR, because Wine links every prefix's
    documents folder to the same Unix home) and the folder of the game's
    executable named by HKLM Software\\Skellan\\Runeveil 2, Path (used on XP);
  * install locations of every game for the installed-games section, among
    them values that must be ignored (an expandable string);
  * optionally a hosts file and UAC policy values (see install()).

dxdiag: Wine 8's builtin 64-bit dxdiag never ends when given /64bit under
WOW64, so a complete run in a 64-bit prefix hangs in its DirectX step.
install_dxdiag_stand_in() puts tests/tool_stand_in.exe into the native system
folder as dxdiag.exe (the program turns file-system redirection off to find
the native tool there) and adds "dxdiag.exe=n" to WINEDLLOVERRIDES of this
process, so every Wine program started from here on prefers it: without the
override Wine runs its builtin even when a file of that name is there. The
stand-in logs its command line (DGN_STANDIN_LOG) and copies DXDIAG_REPORT
(DGN_STANDIN_SOURCE) to the file named after /t; the program keeps
DXDIAG_KEPT of it.

Members of an archive are compared by name and bytes: expected_members()
returns the ordered fixed part and the unordered log groups.
"""
import os
import shutil
import subprocess
import tempfile

LAUNCHER_DIR = "C:\\Program Files\\Orvane Launcher"
DOCUMENTS_DIR = "C:\\DgnDocuments"
RUNEVEIL2_DIR = "C:\\Games\\Runeveil 2"
KHARROS_DIR = "C:\\Games\\Kharros II"
RUNEVEIL_DIR = "C:\\Games\\Runeveil"


def _pattern(seed, size):
    """size bytes of text with every byte value sprinkled in, so that a member
    that is not stored byte for byte shows."""
    out = bytearray()
    line = 0
    while len(out) < size:
        out += b"%s line %06d \xe9\xfc\x85 " % (seed, line)
        out += bytes([(line * 37 + i) % 256 for i in range(line % 5)])
        out += b"\r\n"
        line += 1
    return bytes(out[:size])


# name -> contents; names as they stand in the launcher folder.
LAUNCHER_CONFIG = [
    ("Games.xml", b"<?xml version=\"1.0\"?>\r\n<Games><Game id=\"1\" name=\"Runeveil\"/></Games>\r\n"),
    ("GamesAddendum.xml", b"<?xml version=\"1.0\"?>\r\n<Addendum>\xc3\xa9t\xc3\xa9</Addendum>\r\n"),
]
LAUNCHER_LOGS = {
    "OrvaneApplicationLog.txt": _pattern(b"launcher", 150000),
    "OrvaneApplicationLog_old.txt": b"",
}
# Beside the logs, never collected: another letter case, other names, a folder.
LAUNCHER_DECOYS = {
    "orvaneApplicationLog.txt": b"wrong case\r\n",
    "Launcher.exe": b"MZ launcher stand-in\r\n",
    "ApplicationLog.txt": b"other name\r\n",
}
LAUNCHER_DECOY_FOLDERS = ["OrvaneApplicationLogs"]

# The documents folder's "Runeveil 2" (Vista and later).
DOCUMENTS_LOGS = {
    "Client.log": _pattern(b"client", 9000),
    "Crash.LOG": b"crash dump summary\r\n\x00\x01\x02\xff\r\n",
}
DOCUMENTS_DECOYS = {"notes.txt": b"notes\r\n", "old.log.bak": b"backup\r\n"}
DOCUMENTS_DECOY_FOLDERS = ["archive.log"]

# The game's own folder (XP): the registry names its executable.
INSTALL_LOGS = {
    "Setup.log": b"setup finished\r\n",
    "Patch.Log": _pattern(b"patch", 5000),
}
INSTALL_DECOYS = {"Runeveil2.exe": b"MZ game stand-in\r\n", "readme.txt": b"readme\r\n"}

HOSTS_FILE = (b"# hosts file of the game-run fixture\r\n127.0.0.1       localhost\r\n"
              b"192.0.2.99      patch.runeveil.example\r\n")

# Registry values, as (root, key, name, type, data); HKLM ones go to the
# 32-bit view. The install locations of every game, in the catalog's order:
_INSTALLED = [
    ("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvane\\K2Client_us", "workingdir", "sz", KHARROS_DIR),
    ("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvane\\KharrosII", "InstallPath", "sz", KHARROS_DIR + "\\Kharros.exe"),
    ("HKEY_LOCAL_MACHINE", "SOFTWARE\\Orvane\\Solmere", "InstallPath", "expand", "%ProgramFiles%\\Solmere"),
    ("HKEY_CURRENT_USER", "SOFTWARE\\Skellan\\Runeveil", "Path", "sz", RUNEVEIL_DIR + "\\User"),
    ("HKEY_LOCAL_MACHINE", "SOFTWARE\\Skellan\\Runeveil", "Path", "sz", RUNEVEIL_DIR),
    ("HKEY_LOCAL_MACHINE", "Software\\Skellan\\Runeveil 2", "Path", "sz", RUNEVEIL2_DIR + "\\Runeveil2.exe"),
]

# The installed-games section these values give (banner excluded): every game
# by its install-catalog name, each location that holds a plain string.
INSTALLED_GAMES_BODY = (
    "< Kharros 2 >\r\n"
    "\tHKLM\\SOFTWARE\\Orvane\\K2Client_us\\workingdir\r\n\t\t" + KHARROS_DIR + "\r\n"
    "\tHKLM\\SOFTWARE\\Orvane\\KharrosII\\InstallPath\r\n\t\t" + KHARROS_DIR + "\\Kharros.exe\r\n"
    "< Solmere >\r\n"
    "< Runeveil >\r\n"
    "\tHKCU\\SOFTWARE\\Skellan\\Runeveil\\Path\r\n\t\t" + RUNEVEIL_DIR + "\\User\r\n"
    "\tHKLM\\SOFTWARE\\Skellan\\Runeveil\\Path\r\n\t\t" + RUNEVEIL_DIR + "\r\n"
    "< Runeveil 2 >\r\n"
    "\tHKLM\\Software\\Skellan\\Runeveil 2\\Path\r\n\t\t" + RUNEVEIL2_DIR + "\\Runeveil2.exe\r\n"
    "\r\n")

# A dxdiag text report as the stand-in leaves it: the program keeps what
# stands before the dashed rule (18 dashes and CR LF) above "DirectX
# Components".
DXDIAG_KEPT = (b"------------------\r\nSystem Information\r\n------------------\r\n"
               b"      Machine name: DGN-FIXTURE\r\n  Operating System: Fixture Windows\r\n\r\n"
               b"---------------\r\nDisplay Devices\r\n---------------\r\n"
               b"          Card name: Fixture Display Adapter\r\n\r\n")
DXDIAG_REPORT = DXDIAG_KEPT + (b"------------------\r\nDirectX Components\r\n------------------\r\n"
                               b"   ddraw.dll: 5.03.2600.5512 English Final Retail\r\n")

UAC_KEY = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"


def unix_path(prefix, windows):
    """The file behind a C: path of the prefix."""
    assert windows[:3].upper() == "C:\\", windows
    return os.path.join(prefix, "drive_c", *windows[3:].split("\\"))


def _write_files(prefix, folder, files, folders=()):
    base = unix_path(prefix, folder)
    os.makedirs(base, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(base, name), "wb") as f:
            f.write(data)
    for name in folders:
        os.makedirs(os.path.join(base, name), exist_ok=True)
        with open(os.path.join(base, name, "inside.log"), "wb") as f:
            f.write(b"inside a folder\r\n")


def _reg_text(values):
    def quote(text):
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'

    # The Unicode form of a .reg file, so values may name folders in any script.
    lines = ["Windows Registry Editor Version 5.00", ""]
    for root, key, name, kind, data in values:
        lines.append("[%s\\%s]" % (root, key))
        if kind == "sz":
            lines.append("%s=%s" % (quote(name), quote(data)))
        elif kind == "dword":
            lines.append("%s=dword:%08x" % (quote(name), data))
        elif kind == "expand":
            raw = (data + "\0").encode("utf-16-le")
            lines.append("%s=hex(2):%s" % (quote(name), ",".join("%02x" % b for b in raw)))
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def import_registry(values, view):
    """Imports (root, key, name, kind, data) values with reg.exe into the
    given view ("32" or "64"); kind is "sz", "dword" or "expand"."""
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, encoding="utf-16", newline="") as f:
        f.write(_reg_text(values))
        path = f.name
    try:
        done = subprocess.run(["wine", "reg", "import", _windows_path(path), "/reg:" + view],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if done.returncode != 0:
            raise RuntimeError("reg import failed: %r" % done.stderr)
    finally:
        os.remove(path)


def install(prefix, wow64, hosts=False, uac=None, extra_registry=()):
    """Installs the fixture into the (overlaid) prefix.

    hosts: also replace the system's hosts file with HOSTS_FILE.
    uac: a dict of UAC policy value names to numbers, written in both views.
    extra_registry: more (root, key, name, kind, data) values for the 32-bit view.
    """
    _write_files(prefix, LAUNCHER_DIR, LAUNCHER_LOGS)
    _write_files(prefix, LAUNCHER_DIR, LAUNCHER_DECOYS, LAUNCHER_DECOY_FOLDERS)
    _write_files(prefix, LAUNCHER_DIR + "\\Config\\Default", dict(LAUNCHER_CONFIG))
    _write_files(prefix, DOCUMENTS_DIR + "\\Runeveil 2", DOCUMENTS_LOGS)
    _write_files(prefix, DOCUMENTS_DIR + "\\Runeveil 2", DOCUMENTS_DECOYS, DOCUMENTS_DECOY_FOLDERS)
    _write_files(prefix, RUNEVEIL2_DIR, INSTALL_LOGS)
    _write_files(prefix, RUNEVEIL2_DIR, INSTALL_DECOYS)
    if hosts:
        with open(os.path.join(prefix, "drive_c", "windows", "system32", "drivers", "etc", "hosts"), "wb") as f:
            f.write(HOSTS_FILE)

    values = list(_INSTALLED) + list(extra_registry)
    values.append(("HKEY_LOCAL_MACHINE", "Software\\Orvane\\Launcher", "InstallPath", "sz",
                   LAUNCHER_DIR + "\\Launcher.exe"))
    values.append(("HKEY_CURRENT_USER", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                   "Personal", "sz", DOCUMENTS_DIR))
    uac_values = [("HKEY_LOCAL_MACHINE", UAC_KEY, name, "dword", number) for name, number in (uac or {}).items()]
    import_registry(values + uac_values, "32")
    if wow64 and uac_values:
        import_registry(uac_values, "64")


def run_sealed_with_stand_ins(build_dir, command, tools=("tracert.exe", "pathping.exe"), **sealed_args):
    """Runs command in a sealed session (tests/network/sealed_run.py) whose
    prefix gets tests/tool_stand_in.exe under each name in tools, in its
    32-bit system folder; returns the exit code. sealed_args go to
    sealed_run.run()."""
    import sealed_run  # tests/network, on the caller's path
    folder = tempfile.mkdtemp(prefix="dgn-tools-")
    try:
        installed = [os.path.join(folder, name) for name in tools]
        for path in installed:
            shutil.copy(os.path.join(build_dir, "tests", "tool_stand_in.exe"), path)
        return sealed_run.run(command, install=installed, **sealed_args)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def install_dxdiag_stand_in(build_dir, prefix, work):
    """Makes the (overlaid) prefix run the tool stand-in as dxdiag, 32- and
    64-bit prefixes alike; returns the Unix path of the log of command lines
    that the stand-in (dxdiag and, when installed, the route tracers) keeps.
    work: a folder of the caller's for the log and the report source."""
    shutil.copy(os.path.join(build_dir, "tests", "tool_stand_in.exe"),
                os.path.join(prefix, "drive_c", "windows", "system32", "dxdiag.exe"))
    overrides = os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml=")
    if "dxdiag.exe=n" not in overrides:
        os.environ["WINEDLLOVERRIDES"] = overrides + ";dxdiag.exe=n"
    source = os.path.join(work, "dxdiag source.txt")
    with open(source, "wb") as f:
        f.write(DXDIAG_REPORT)
    log = os.path.join(work, "tools.log")
    os.environ["DGN_STANDIN_SOURCE"] = _windows_path(source)
    os.environ["DGN_STANDIN_LOG"] = _windows_path(log)
    return log


def logged_command_lines(log):
    """The command lines the stand-ins logged, in order (each entry is the
    line and the process id)."""
    try:
        with open(log, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
    except OSError:
        return []
    return lines[0:-1:2]


def _windows_path(unix):
    return "Z:" + os.path.abspath(unix).replace("/", "\\")


def runeveil2_logs(generation):
    """The Runeveil 2 log files a run collects on this Windows generation:
    the documents folder's on Windows Server 2003 and later, else the game's
    own folder (found through the registry)."""
    return DOCUMENTS_LOGS if generation > 6 else INSTALL_LOGS


def runeveil2_folder(generation):
    """The C: path of the folder whose logs a Runeveil 2 run collects."""
    return DOCUMENTS_DIR + "\\Runeveil 2" if generation > 6 else RUNEVEIL2_DIR


def expected_members(game, generation, unreadable=()):
    """(ordered, groups): ordered is the list of (member name, bytes) that
    must open the archive after the report, in this order; groups is a list
    of {member name: bytes} dicts that follow, each group in any order (the
    file system's listing order), the groups in this order. Files named in
    unreadable (held open by another program without read sharing) are left
    out."""
    ordered = [("Launcher/" + name, data) for name, data in LAUNCHER_CONFIG if name not in unreadable]
    groups = [{"Launcher/Logs/" + name: data for name, data in LAUNCHER_LOGS.items() if name not in unreadable}]
    if game == 1:
        groups.append({"Skellan/Logs/" + name: data for name, data in runeveil2_logs(generation).items()
                       if name not in unreadable})
    return ordered, groups


def check_members(members, report_name, game, generation, unreadable=()):
    """Compares an archive's members (a list of (name, bytes) in archive
    order) with what the fixture expects after the report; returns a list of
    differences (empty when all is well)."""
    problems = []
    names = [name for name, _ in members]
    if not names or names[0] != report_name:
        return ["the report %r is not the first member: %s" % (report_name, names)]
    rest = members[1:]
    ordered, groups = expected_members(game, generation, unreadable)
    for (want_name, want_data), got in zip(ordered, rest):
        if got[0] != want_name:
            problems.append("member %r where %r belongs" % (got[0], want_name))
        elif got[1] != want_data:
            problems.append("member %r differs from its file" % want_name)
    if len(rest) < len(ordered):
        problems.append("members missing: %s" % [n for n, _ in ordered[len(rest):]])
    rest = rest[len(ordered):]
    for group in groups:
        taken, rest = rest[:len(group)], rest[len(group):]
        got = dict(taken)
        if sorted(got) != sorted(group):
            problems.append("expected the group %s, found %s" % (sorted(group), [n for n, _ in taken]))
            continue
        problems += ["member %r differs from its file" % n for n in group if got[n] != group[n]]
    if rest:
        problems.append("unexpected members: %s" % [n for n, _ in rest])
    return problems
