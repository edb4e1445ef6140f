"""Helpers shared by the end-to-end scripts that drive whole test runs of the
real Diagnova.exe: starting a test, waiting on another process's windows and
files, reading the sealed report and its archive.

Diagnova runs in another (Wine) process, so windows and files are all there is
to watch: the waits below poll them with short sleeps.
"""
import glob
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import driver as dgn  # noqa: E402

# The program's windows, found by a control of their own: their titles are
# translated (only the main window's template caption stays), and a message
# box shares the main window's caption. Each is a wait-window command for
# dgn_driver; wait_until_gone takes them too.
MAIN_WINDOW = ["wait-window", "--control", "1003"]        # the game list
PROGRESS_DIALOG = ["wait-window", "--control", "1024"]    # the progress bar
RESULT_DIALOG = ["wait-window", "--control", "1030"]      # the archive's path
MESSAGE_BOX = ["wait-window", "--class", "#32770", "--control", "65535"]

def program_bits(program):
    """32 or 64: the machine a Windows program was built for, from its PE
    header (None when the file is no Windows program)."""
    try:
        with open(program, "rb") as f:
            head = f.read(4096)
        at = int.from_bytes(head[0x3C:0x40], "little")
        if head[:2] != b"MZ" or head[at:at + 4] != b"PE\0\0":
            return None
        machine = int.from_bytes(head[at + 4:at + 6], "little")
    except (OSError, ValueError):
        return None
    return {0x14C: 32, 0x8664: 64}.get(machine)


# The prefix of complete driven runs: the 32-bit Windows XP prefix for the
# shipped program (under WOW64 Wine's own 64-bit dxdiag never ends), the
# 64-bit Windows 7 one for the 64-bit build, with dxdiag played by a stand-in.
RUN_PREFIXES = {32: ("winxp", 6), 64: ("win7", 9)}


# Banners of a completed run, in run order.
BANNERS_IN_ORDER = [
    "information about the UAC status and user level",
    "list of users currently logged on",
    "Installed games",
    "Installed DirectX",
    "Running DirectX diagnostic",
    "information about the current computer system",
    "Gathering adapter settings",
    "IE proxy setting",
    "Gathering LSP list",
    "Gathering BHO list",
    "Discovering external address",
    "Checking server connectivity",
    "Gathering IP addresses",
    "Detecting network connections",
    "Tracing network paths",
    "Collecting Hosts file content",
    "Dumping Running Processes",
    "Dumping System Registry",
]
RULE = "=" * 78
TRAILER = re.compile(rb"\r\n<EOF>\r\n--- DIGEST ---\r\n[0-9A-F]{40}\Z")
BANNER = re.compile("%s\r\n= ([^\r\n]*)\r\n%s\r\n" % (RULE, RULE))


def split_sections(text):
    """The sections of a report (decoded text) as a list of (title, body):
    each body runs from its banner to the next banner, the last one to the
    end marker. The header before the first banner is left out."""
    end = text.rfind("\r\n<EOF>\r\n")
    if end < 0:
        end = len(text)
    banners = list(BANNER.finditer(text, 0, end))
    return [(m.group(1), text[m.end():(banners[i + 1].start() if i + 1 < len(banners) else end)])
            for i, m in enumerate(banners)]

def temp_folder():
    """The Unix path of the temporary folder Windows programs get here."""
    out = subprocess.run(["wine", "cmd", "/c", "echo %TEMP%"], stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode("latin-1").strip()
    unix = subprocess.run(["winepath", "-u", out], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL).stdout.decode("latin-1").strip()
    return unix


def reports_in(folder):
    return set(glob.glob(os.path.join(folder, "DGN*.tmp")))


def run_to_file(d, *commands, timeout=60, env=None):
    """Driver.run with the driver's output in a file instead of a pipe: the
    program started here (and Wine's desktop process, which the first window
    starts) inherit the driver's output and outlive it, so a pipe would not
    end when the driver does. env: the driver's (and so the started
    program's) environment, if not this process's."""
    argv = [d.wine, d.exe]
    for i, command in enumerate(commands):
        if i:
            argv.append("+")
        argv.extend(command)
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                              env=env).returncode
        out.seek(0)
        err.seek(0)
        result = dgn.Result(code, stderr=err.read().decode("latin-1"))
        for line in out.read().decode("latin-1").splitlines():
            key, sep, value = line.partition(": ")
            if sep:
                result.lines.append((key, value))
    if result.get("error") == "timeout waiting for the program to end":
        pids = [c[1] for c in commands if c[:1] == ["attach"]] or [result.get("pid")]
        print_stacks(d, pids[0])
    return result


def print_stacks(d, pid):
    """Prints where each thread of a Wine process that will not end is, so
    that a log shows why (winedbg attaches, walks every stack, detaches)."""
    try:
        r = subprocess.run([d.wine, "winedbg", "0x%x" % int(pid)], input=b"bt all\ndetach\nquit\n",
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    except (OSError, ValueError, TypeError, subprocess.TimeoutExpired) as e:
        print("stacks of process %s: none (%s)" % (pid, e))
        return
    # "bt all" walks every process of the session: keep the one asked about.
    keep = False
    for line in r.stdout.decode("latin-1").splitlines():
        if line.startswith("Backtracing for thread"):
            owner = re.search(r" in process ([0-9a-fA-F]+) ", line)
            keep = owner is not None and int(owner.group(1), 16) == int(pid)
        if keep and line.strip():
            print("stack| " + line)
    sys.stdout.flush()


def start_test(d, program, game):
    """Starts the program, picks the game and presses Test."""
    return run_to_file(d, ["start", program], ["timeout", "30000"], MAIN_WINDOW,
                       ["select", "1007", str(game)], ["click", "1005"], timeout=90)


def attach(pid):
    return ["attach", pid]


def screenshot(build_dir, name):
    shots = os.path.join(build_dir, "screenshots")
    os.makedirs(shots, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(shots, name + ".png")],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for_tracer(log, seconds=120):
    """Waits until a route tracer has logged its start (dxdiag, played by the
    same stand-in, logs too, so the tracer's own name is looked for)."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            with open(log, "rb") as f:
                data = f.read()
            if b"pathping.exe" in data or b"tracert.exe" in data:
                return True
        except OSError:
            pass
        time.sleep(0.2)  # the tracer is another program; its log is all there is to watch
    return False


def wait_until_gone(d, pid, window, seconds=60):
    """Waits until the program has no such window (one of MAIN_WINDOW,
    PROGRESS_DIALOG, RESULT_DIALOG, MESSAGE_BOX) any more. A modal dialog is
    hidden before its loop ends and destroyed after; until then the main
    window is not ready for a close, so hidden ones count too."""
    r = run_to_file(d, attach(pid), ["timeout", str(int(seconds * 1000))], ["wait-gone"] + window[1:],
                    timeout=seconds + 60)
    return r.returncode == 0


def complete_archive(path):
    """True once the archive at path is whole: it opens and every member
    checks out. The worker writes it in another process, so its file is all
    there is to watch."""
    try:
        with zipfile.ZipFile(path) as z:
            return z.testzip() is None and len(z.namelist()) > 0
    except (OSError, zipfile.BadZipFile):
        return False


def find_message_box(d, pid, seconds):
    """The text of a message box of the program, closed once read; None when
    none appears in time."""
    r = run_to_file(d, attach(pid), ["timeout", str(int(seconds * 1000))], MESSAGE_BOX, ["text", "65535"],
                    ["close"], timeout=seconds + 60)
    return r.get("text") if r.returncode == 0 else None


def tool_starts(log):
    """The tools that the stand-in tool logged as they started, in start order:
    (command line, process id) pairs. Each start appends both lines at once."""
    try:
        with open(log, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
    except OSError:
        return []
    return [(lines[i], lines[i + 1]) for i in range(0, len(lines) - 1, 2) if lines[i + 1].isdigit()]


def dxdiag_file(command, temp):
    """The Unix path of the file that a logged dxdiag command line asks for
    (its /t argument, in the temporary folder)."""
    name = command.rsplit("/t ", 1)[-1].strip().strip('"')
    return os.path.join(temp, name.replace("\\", "/").rsplit("/", 1)[-1])


def wait_for(condition, seconds, step=0.2):
    """Polls condition() until it holds; for what another process does to
    its files, where there is nothing else to wait on."""
    deadline = time.time() + seconds
    while True:
        if condition():
            return True
        if time.time() >= deadline:
            return False
        time.sleep(step)


def press_test(d, pid, game):
    """Picks a game in the running program's main window and presses Test."""
    return run_to_file(d, attach(pid), ["timeout", "30000"], MAIN_WINDOW,
                       ["select", "1007", str(game)], ["click", "1005"], timeout=90)


def wait_for_status(d, pid, status, seconds=120):
    """Waits until the progress dialog's status line reads status."""
    def shows():
        r = run_to_file(d, attach(pid), ["timeout", "2000"], PROGRESS_DIALOG, ["text", "1046"], timeout=60)
        return r.returncode == 0 and r.get("text") == status
    return wait_for(shows, seconds)


def processes_ended(d, pids, seconds=5):
    """True when every one of these Windows processes has ended within the time."""
    if not pids:
        return True
    r = run_to_file(d, ["timeout", str(int(seconds * 1000))], ["wait-ended"] + list(pids), timeout=seconds + 60)
    return r.returncode == 0


def file_digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()
