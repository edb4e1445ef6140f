#!/usr/bin/python3
"""The run benchmark (bench/run): complete Runeveil 2 runs in the sealed
network with fast stand-in tools, timed step by step.

Each run is the main job's run (tests/e2e/main_job.py, driven from the game
list to the result dialog), with the step-timing build of the program
(bench/run_step_timer.cpp), which logs every step's start and end, and the
stand-in tools logging their own running times on the same clock. It prints

  run_total_s            first step's start to the result dialog's opening
  run_step_s_<name>      each step; "finish" is the end of the archive to the
                         result dialog (the last checkpoint, the fixed pause,
                         the finished message), "other" the driver's own work
                         between the steps (banners, status texts, checkpoints)
  run_unavoidable_s      waits the steps cannot avoid: the stand-in tools' own
                         running time (of the route traces, which run side by
                         side, the slowest one), the fixed 100 ms pause
                         before the finished message, and connection waits to
                         silent hosts (none in this scenario: every server answers)
  run_overhead_s         run_total_s - run_unavoidable_s
  run_route_s_*          inside the route step: until the first and the last
                         trace's own start, and after the last trace's end
  ui_max_stall_ms        the longest WM_NULL round trip to the program's window
                         while the run goes (a probe every 50 ms from the Test
                         click to the result dialog; the start-up update check
                         is over by then)

With --runs N every value is the median of N runs; "#" lines give each run.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "network"))

import driver as dgn  # noqa: E402
import game_fixtures as fx  # noqa: E402
import main_job  # noqa: E402
import sealed_run  # noqa: E402

GAME = 1  # Runeveil 2: the most servers to connect to and trace
FINISH_PAUSE_S = 0.1  # the worker's fixed pause before the finished message
STEPS = ["uac_status", "logged_on_users", "installed_games", "installed_directx", "dxdiag", "os_version",
         "system_info", "adapter_settings", "proxy_settings", "lsp_catalog", "bho_list", "external_address",
         "server_connectivity", "server_addresses", "network_connections", "route_traces", "hosts_file",
         "process_tree", "registry_dump", "seal", "verify", "archive"]
ROUTE_TOOLS = ("tracert.exe", "pathping.exe")


def read_intervals(path):
    """[(name, start_s, end_s)] from a log of "NAME START_US END_US" lines."""
    found = []
    if not os.path.exists(path):
        return found
    with open(path, "rb") as f:
        for line in f.read().decode("latin-1").splitlines():
            words = line.split()
            if len(words) == 3:
                found.append((words[0].lower(), int(words[1]) / 1e6, int(words[2]) / 1e6))
    return found


def union_length(intervals):
    total, reach = 0.0, None
    for start, end in sorted(intervals):
        if reach is None or start > reach:
            total += end - start
            reach = end
        elif end > reach:
            total += end - reach
            reach = end
    return total


def step_at(steps, moment):
    """The step that ran at a moment, or "between steps"."""
    for name, start, end in steps:
        if start <= moment <= end:
            return name
    return "between steps"


def measure(steps, tools, stall, stall_at):
    """The values of one run from its step log, tool log and watcher output."""
    first = {}
    for name, start, end in steps:
        first.setdefault(name, (start, end))
    missing = [s for s in STEPS + ["result_dialog"] if s not in first]
    if missing:
        raise SystemExit("run_bench: steps missing from the step log: %s" % missing)
    values = {}
    begin, done = first["uac_status"][0], first["result_dialog"][0]
    values["run_total_s"] = done - begin
    for name in STEPS:
        values["run_step_s_" + name] = first[name][1] - first[name][0]
    values["run_step_s_finish"] = done - first["archive"][1]
    values["run_step_s_other"] = values["run_total_s"] - sum(values["run_step_s_" + n] for n in STEPS + ["finish"])

    def tool_time(names, step):
        start, end = first[step]
        return union_length([(max(s, start), min(e, end)) for n, s, e in tools
                             if n in names and e > start and s < end])
    # The traces run side by side: the step could not be shorter than its
    # slowest trace. How far apart they start is the step's own cost.
    route = max([e - s for n, s, e in tools if n in ROUTE_TOOLS] or [0.0])
    dxdiag = tool_time(("dxdiag.exe",), "dxdiag")
    # Where the route step's own time goes: until its tools start, and from
    # the last one's end to the step's end (copying the output).
    start, end = first["route_traces"]
    traces = [(s, e) for n, s, e in tools if n in ROUTE_TOOLS and start <= s <= end]
    if traces:
        values["run_route_s_to_first_trace"] = min(s for s, _ in traces) - start
        values["run_route_s_to_last_trace"] = max(s for s, _ in traces) - start
        values["run_route_s_after_last_trace"] = end - max(e for _, e in traces)
    values["run_unavoidable_s_route_tools"] = route
    values["run_unavoidable_s_dxdiag"] = dxdiag
    values["run_unavoidable_s_finish_pause"] = FINISH_PAUSE_S
    values["run_unavoidable_s_silent_connects"] = 0.0
    values["run_unavoidable_s"] = route + dxdiag + FINISH_PAUSE_S
    values["run_overhead_s"] = values["run_total_s"] - values["run_unavoidable_s"]
    values["ui_max_stall_ms"] = stall
    values["ui_max_stall_step"] = step_at(steps, stall_at) if stall_at else "unknown"
    return values


def one_run(build_dir, work, number):
    run_dir = os.path.join(work, "run%d" % number)
    os.makedirs(run_dir)
    step_log = os.path.join(run_dir, "steps.log")
    tool_log = os.path.join(run_dir, "tools.log")
    os.environ["DIAGNOVA_STEP_LOG"] = dgn.windows_path(step_log)
    os.environ["DGN_STANDIN_TIMES"] = dgn.windows_path(tool_log)
    d = dgn.Driver(build_dir)
    watch_out = open(os.path.join(run_dir, "watch.out"), "w+b")
    watcher = []

    def start_watcher(pid):
        # Its own driver process, started before the Test click, so it probes
        # while the click waits for the modal dialog.
        watcher.append(subprocess.Popen([d.wine, d.exe, "attach", pid, "+", "timeout", "300000", "+",
                                         "stall-watch", "Test Result", "50"], stdin=subprocess.DEVNULL,
                                        stdout=watch_out, stderr=subprocess.DEVNULL))

    job = main_job.Job(quiet=True)
    archive = main_job.run_game(build_dir, GAME, run_dir, os.path.join(build_dir, "tests", "diagnova_bench.exe"),
                                job, before_test=start_watcher, shots=False)
    stall, stall_at = None, None
    if watcher:
        watcher[0].wait(timeout=300)
        watch_out.seek(0)
        for line in watch_out.read().decode("latin-1").splitlines():
            key, _, value = line.partition(": ")
            if key == "ui_max_stall_ms":
                stall = float(value)
            elif key == "ui_max_stall_at_us":
                stall_at = int(value) / 1e6
    watch_out.close()
    if not job.ok or archive is None or stall is None:
        raise SystemExit("run_bench: run %d did not complete: %s" % (number, job.problems or "no stall figure"))
    return measure(read_intervals(step_log), read_intervals(tool_log), stall, stall_at)


def inside(args):
    build_dir = os.path.abspath(args.build)
    main_job.install_game_files()
    # Wine's own desktop window: without a window manager every window that
    # closes (the progress dialog before the result dialog opens) would wait
    # about 2 s for X, which no Windows system does.
    main_job.use_wine_desktop()
    # dxdiag is played by the stand-in too, so its own time is known.
    work = tempfile.mkdtemp(prefix="dgn-run-bench-")
    fx.install_dxdiag_stand_in(build_dir, os.environ["WINEPREFIX"], work)
    try:
        main_job.use_route_script(work, args.tool_delay_ms)
        runs = [one_run(build_dir, work, n) for n in range(args.runs)]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("# %d complete Runeveil 2 run(s), 32-bit XP prefix, sealed network (all_reachable), "
          "route traces taking %d ms" % (len(runs), args.tool_delay_ms))
    for n, values in enumerate(runs):
        print("# run %d: total %.3f s, unavoidable %.3f s, ui stall %.1f ms"
              % (n, values["run_total_s"], values["run_unavoidable_s"], values["ui_max_stall_ms"]))
    for n, values in enumerate(runs):
        print("# run %d: the longest stall came during %s" % (n, values["ui_max_stall_step"]))
    for key in runs[0]:
        if key == "ui_max_stall_step":
            continue
        value = statistics.median(v[key] for v in runs)
        print("%s: %s" % (key, ("%.1f" if key.endswith("_ms") else "%.3f") % value))
    return 0


def main(argv):
    p = argparse.ArgumentParser(description="Time complete Diagnova test runs step by step.")
    p.add_argument("build")
    p.add_argument("--runs", type=int, default=1)
    p.add_argument("--tool-delay-ms", type=int, default=1000,
                   help="how long each route trace takes after its first lines (default 1000)")
    p.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = p.parse_args(argv)
    if args.inside:
        return inside(args)
    build_dir = os.path.abspath(args.build)
    command = [sys.executable, os.path.abspath(__file__), build_dir, "--inside", "--runs", str(args.runs),
               "--tool-delay-ms", str(args.tool_delay_ms)]
    return sealed_run.run(command, scenario="all_reachable", xvfb=True, install=main_job.stand_in_tools(build_dir),
                          wine_prefix=os.path.join(build_dir, "wine", "winxp"))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
