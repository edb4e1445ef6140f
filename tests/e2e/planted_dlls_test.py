#!/usr/bin/python3
"""DLLs planted beside Diagnova.exe never run, in verification mode or in a
complete test run.

Diagnova runs elevated, usually from a browser's Downloads folder, where any
web page can drop a file. For every DLL the program uses that is not one of
the system's KnownDLLs on every supported Windows (tests/binary/windows_dlls.txt),
a marker DLL of that name goes beside a fresh copy of the program, one name
per copy (a few copies run at once). It exports every name the program imports from that DLL (so a loader
would accept it), and its DllMain, should it ever run, leaves a file beside
itself and ends the process. Wine is told to prefer a native DLL of that name
(WINEDLLOVERRIDES="<name>=n,b"), which is what Windows does for these names.
In the sealed network the program then

  1. checks a sealed report in verification mode: "Checksum matched", exit
     code 0;
  2. runs a complete Runeveil test from the main window to the result dialog
     and ends;

and the marker must never have run.

These rows cannot be tested under Wine and print an "untested:" line instead:
  - msvcrt.dll, the C runtime, which every program of this toolchain imports
    before any of its code runs (windows_dlls.txt says on which Windows it
    is a KnownDLL);
  - DLLs that Wine's own start-up DLLs import (its user32.dll imports
    version.dll, its shell32.dll shlwapi.dll): Wine has no KnownDLLs, so it
    loads a planted copy of those for any program that starts, whatever the
    program does. On Windows those importers are KnownDLLs with their
    dependents. binary.check proves that the program itself never imports
    them statically, and it loads them only by full path.

Usage: planted_dlls_test.py BUILD_DIR C_COMPILER   (as root)
"""
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "network"))
sys.path.insert(0, os.path.join(HERE, "..", "binary"))

import check_binaries  # noqa: E402
import driver as dgn  # noqa: E402
import game_fixtures as fx  # noqa: E402
import sealed_run  # noqa: E402
from run_helpers import (MAIN_WINDOW, MESSAGE_BOX, PROGRESS_DIALOG, RESULT_DIALOG, attach, run_to_file,  # noqa: E402
                         wait_until_gone)

MARKER_SOURCE = r"""
#include <windows.h>
/* Leaves NAME.ran beside itself and ends the process at once. */
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char path[MAX_PATH + 8];
    DWORD length;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        HANDLE file;
        lstrcatA(path, ".ran");
        file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    TerminateProcess(GetCurrentProcess(), 0x4D41524B);
    return TRUE;
}
int MarkerExport(void) { return 0; }
"""
REPORT = ("Runeveil Test Report -- created by Diagnova v1.0.0.0\r\n\r\n"
          "==============================================================================\r\n"
          "= hosts file\r\n"
          "==============================================================================\r\n"
          "127.0.0.1 localhost\r\n\r\n\r\n<EOF>\r\n")

failures = []


def loaded_at_start_by_the_system(system_folder, program):
    """DLL name -> the system DLL that imports it, for the DLLs that the
    system DLLs loaded at the program's start import (all of them, through
    their imports in turn)."""
    importers = {}
    pending = [dll.lower() for dll, _ in check_binaries.Image(program).imports()]
    seen = set(pending)
    while pending:
        name = pending.pop()
        path = os.path.join(system_folder, name)
        if not os.path.isfile(path):
            continue
        for dll, _ in check_binaries.Image(path).imports():
            dll = dll.lower()
            importers.setdefault(dll, name)
            if dll not in seen:
                seen.add(dll)
                pending.append(dll)
    return importers


def table(program, system_folder):
    """(name, exports, reason not to plant or None) for every DLL the program
    uses that is not a KnownDLL on every supported Windows."""
    imports = {dll.lower(): names for dll, names in check_binaries.Image(program).imports()}
    by_system = loaded_at_start_by_the_system(system_folder, program)
    rows = []
    for name, (known, static) in sorted(check_binaries.read_dlls().items()):
        if known == set(check_binaries.SUPPORTED):
            continue
        reason = None
        if static == "runtime":
            reason = ("the C runtime, imported before any of the program's code runs; KnownDLL on %s "
                      "(tests/binary/windows_dlls.txt)" % ", ".join(s for s in check_binaries.SUPPORTED if s in known))
        elif name in by_system and name not in imports:
            reason = ("Wine's own %s imports it and Wine has no KnownDLLs, so Wine loads a planted copy at "
                      "the start of every program that uses %s; on Windows that importer is a KnownDLL. "
                      "binary.check shows the program does not import it; its run-time loads go by full path"
                      % (by_system[name], by_system[name]))
        rows.append((name, imports.get(name, []), reason))
    return rows


def build_marker(cc, name, exports, folder):
    source = os.path.join(folder, "marker.c")
    definitions = os.path.join(folder, "marker.def")
    with open(source, "w") as f:
        f.write(MARKER_SOURCE)
    with open(definitions, "w") as f:
        f.write("EXPORTS\n" + "".join("%s=MarkerExport\n" % e for e in exports))
    out = os.path.join(folder, name)
    subprocess.run([cc, "-O2", "-shared", "-static-libgcc", "-o", out, source, definitions], check=True)
    os.remove(source)
    os.remove(definitions)
    return out


def verify(d, program, report, env):
    """Verification mode on the sealed report: message box text, exit code."""
    r = run_to_file(d, ["start", program, dgn.windows_path(report)], ["timeout", "30000"], MESSAGE_BOX,
                    ["text", "65535"], ["click", "1"], ["wait-exit"], timeout=90, env=env)
    return r.get("text"), r.exit_code


def complete_run(d, program, env):
    """A complete Runeveil test from the main window; (true when the result
    dialog came and the program then ended, what the driver said)."""
    # Three copies start at once: under emulation a main window may take
    # more than 30 s, so it gets the main job's 60 s.
    r = run_to_file(d, ["start", program], ["timeout", "60000"], MAIN_WINDOW, ["select", "1007", "0"],
                    ["click", "1005"], timeout=120, env=env)
    pid = r.get("pid")
    if r.returncode != 0 or pid is None:
        return False, r
    r = run_to_file(d, attach(pid), ["timeout", "240000"], RESULT_DIALOG, ["click", "1040"], timeout=300)
    # The result dialog runs inside the ended progress dialog's modal loop,
    # which under Wine drops a message posted before that loop has ended too.
    if (r.returncode != 0 or not wait_until_gone(d, pid, RESULT_DIALOG)
            or not wait_until_gone(d, pid, PROGRESS_DIALOG)):
        run_to_file(d, attach(pid), ["kill"], timeout=60)
        return False, r
    r = run_to_file(d, attach(pid), MAIN_WINDOW, ["close"], ["timeout", "60000"], ["wait-exit"], timeout=90)
    return r.returncode == 0, r


def marker_ran(folder, name):
    """Whether the marker left its file: named after the module as the
    loader was asked for it, in any letter case."""
    return (name + ".ran").lower() in (f.lower() for f in os.listdir(folder))


def plant_and_run(d, cc, work, shipped, report, overrides, name, exports):
    """One row: the marker beside a fresh copy, verification mode, a complete
    run. Returns the lines to print and whether all went well."""
    started = time.time()
    folder = os.path.join(work, name.replace(".", "_"))
    os.makedirs(folder)
    shutil.copy(shipped, folder)
    program = dgn.windows_path(os.path.join(folder, "Diagnova.exe"))
    build_marker(cc, name, exports, folder)
    # A copy each: the verification mode opens its report without sharing.
    shutil.copy(report, folder)
    report = os.path.join(folder, os.path.basename(report))
    env = dict(os.environ, WINEDLLOVERRIDES="%s;%s=n,b" % (overrides, name[:-len(".dll")]))

    text, code = verify(d, program, report, env)
    verified = text == "Checksum matched" and code == 0 and not marker_ran(folder, name)
    lines = ["%s %s planted: verification mode says %r, exit code %s, marker %s"
             % ("ok  " if verified else "FAIL", name, text, code, "RAN" if marker_ran(folder, name) else "never ran")]
    completed, r = complete_run(d, program, env)
    ran = completed and os.path.isfile(os.path.join(folder, "Runeveil Test.zip")) and not marker_ran(folder, name)
    lines.append("%s %s planted: a complete run %s, marker %s (%.0f s)"
                 % ("ok  " if ran else "FAIL", name, "made its archive" if completed else "failed\n%s" % r,
                    "RAN" if marker_ran(folder, name) else "never ran", time.time() - started))
    return lines, verified and ran


def inside(build_dir, cc):
    prefix = os.environ["WINEPREFIX"]
    work = tempfile.mkdtemp(prefix="dgn-planted-")
    fx.install_dxdiag_stand_in(build_dir, prefix, work)
    d = dgn.Driver(build_dir)
    shipped = os.path.join(build_dir, "Diagnova.exe")
    report = os.path.join(work, "Runeveil Test.txt")
    with open(report, "wb") as f:
        f.write(REPORT.encode("latin-1"))
    subprocess.run(["wine", os.path.join(build_dir, "tests", "seal_report.exe"), dgn.windows_path(report)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    rows = table(shipped, sealed_run.system32_view(prefix))
    for name, _, reason in rows:
        if reason:
            print("untested: %s planted beside the program: %s" % (name, reason))
    # The rows are independent programs in folders of their own, so a few run
    # at once: each spends most of its time waiting on its tools and windows.
    # Under software emulation nothing waits, and DIAGNOVA_PLANTED_ROWS_AT_ONCE=1
    # runs them one by one.
    at_once = int(os.environ.get("DIAGNOVA_PLANTED_ROWS_AT_ONCE", "3"))
    with concurrent.futures.ThreadPoolExecutor(max_workers=at_once) as pool:
        results = pool.map(lambda row: plant_and_run(d, cc, work, shipped, report, os.environ["WINEDLLOVERRIDES"],
                                                     row[0], row[1]),
                           [row for row in rows if not row[2]])
        for lines, passed in results:
            print("\n".join(lines))
            if not passed:
                failures.append(lines[0])
    shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--inside":
        return inside(sys.argv[2], sys.argv[3])
    build_dir = os.path.abspath(sys.argv[1])
    return fx.run_sealed_with_stand_ins(build_dir, [sys.executable, os.path.abspath(__file__), "--inside", build_dir,
                                                    sys.argv[2]],
                                        scenario="all_reachable", xvfb=True,
                                        wine_prefix=os.path.join(build_dir, "wine", "win7"))

if __name__ == "__main__":
    sys.exit(main())
