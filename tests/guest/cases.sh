#!/bin/bash
# Runs inside the emulated PC (scripts/lib/guest.sh starts it as the guest's
# job): the shipped 32-bit Diagnova.exe's complete driven runs, each with the
# same end-to-end script and arguments the test suite uses.
#   cases.sh test [NAME...]  the main job, another game under WOW64, the 64-bit
#                            build's main job, the planted DLLs (or only the
#                            cases named)
#   cases.sh job GAME    the main job only (scripts/run)
# /mnt/src is the source tree and /mnt/build the host's 32-bit build, both
# read-only; /mnt/out takes one log per case and the lines of "results":
# "ok NAME SECONDS" or "FAIL NAME SECONDS".
set -u
src=/mnt/src out=/mnt/out build=/root/build
export TZ=UTC LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= PYTHONDONTWRITEBYTECODE=1
unset DISPLAY LC_ALL
cd "$src" || exit 1

uptime_s() { cut -d' ' -f1 /proc/uptime; }

# The host's build without its own prefixes: this PC's prefixes, made when the
# image was, are already in /root/build/wine.
(cd /mnt/build && tar cf - --exclude=./wine --exclude=./CMakeFiles --exclude=./run --exclude=./locales \
    --exclude='./*.log' --exclude='*.a' --exclude=./googletest --exclude=./lib .) | (cd "$build" && tar xf -) || { echo "guest: the build cannot be copied"; exit 1; }
echo "guest: $(uname -r), $(nproc) processors, $(awk '/MemTotal/ {print int($2 / 1024)}' /proc/meminfo) MiB," \
    "$(wine --version 2>/dev/null); program $(sha256sum "$build/Diagnova.exe" | cut -c1-16)"

# case_run NAME COMMAND...: one case, its output in /mnt/out/NAME.log.
case_run() {
    local name=$1 started rc
    shift
    started=$(uptime_s)
    echo "guest: $name started at $started s"
    "$@" >"$out/$name.log" 2>&1 </dev/null
    rc=$?
    local took
    took=$(awk -v a="$started" -v b="$(uptime_s)" 'BEGIN { printf "%.0f", b - a }')
    echo "$([ "$rc" -eq 0 ] && echo ok || echo FAIL) $name $took" | tee -a "$out/results"
    return "$rc"
}

# main_job_of BUILD GAME OUT ARCHITECTURE: the main job on BUILD's program,
# its archive, screenshots and report in OUT; the report must read
# "processor architecture : ARCHITECTURE", so that no run passes on the
# wrong program.
main_job_of() {
    local build=$1 game=$2 dir=$3 arch=$4 report rc
    mkdir -p "$dir"
    python3 tests/e2e/main_job.py "$build" --game "$game" --xvfb --out "$dir"
    rc=$?
    report=$(find "$dir" -name '* Test.txt' | head -n1)
    if [ -n "$report" ] && grep -q "processor architecture : $arch" "$report"; then
        echo "architecture: the report reads \"processor architecture : $arch\""
    else
        echo "FAIL the report does not read \"processor architecture : $arch\": $(grep -a 'processor architecture' "$report" 2>/dev/null)"
        rc=1
    fi
    return "$rc"
}

# The main job as scripts/run runs it, on the XP prefix; its archive,
# screenshots and report stay in /mnt/out/run.
main_job() {
    local rc
    main_job_of "$build" "$1" /root/out x86
    rc=$?
    cp -r /root/out "$out/run"
    return "$rc"
}

# The 64-bit build's main job on the Windows 7 64-bit prefix, where Wine's
# 32-bit half is installed as on a host that runs 32-bit code: a fault that
# shows only there (a side-by-side assembly of the wrong architecture, say)
# is caught on either kind of host. The host shares its 64-bit build as
# "build64"; the build uses this PC's prefixes.
main_job_64() {
    local build64=/root/build64
    mkdir -p /mnt/build64 "$build64"
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,ro build64 /mnt/build64 ||
        { echo "FAIL the host's 64-bit build cannot be mounted"; return 1; }
    (cd /mnt/build64 && tar cf - --exclude=./wine --exclude=./CMakeFiles --exclude=./run --exclude=./locales \
        --exclude='./*.log' --exclude='*.a' --exclude=./googletest --exclude=./lib --exclude=./guest .) |
        (cd "$build64" && tar xf -) || { echo "FAIL the 64-bit build cannot be copied"; return 1; }
    ln -sfn /root/build/wine "$build64/wine"
    echo "program: $(sha256sum "$build64/Diagnova.exe" | cut -c1-16), the 64-bit build"
    main_job_of "$build64" "Runeveil 2" /root/out64 x64
}

: >"$out/results"
case "${1:-}" in
    job)
        case_run main_job main_job "${2:-Runeveil 2}" ;;
    test)
        # All cases, or those named after "test".
        shift
        chosen() { [ $# -eq 0 ] || [[ " $* " == *" $name "* ]]; }
        name=e2e.main_job; chosen "$@" && case_run "$name" main_job "Runeveil 2"
        # Solmere on Windows 7 64-bit: the 32-bit program under WOW64.
        name=e2e.game_runs.win7; chosen "$@" && case_run "$name" python3 tests/e2e/game_runs_e2e.py "$build" win7 3
        name=e2e.main_job_64; chosen "$@" && case_run "$name" main_job_64
        # One row at a time: three copies starting at once on the emulated
        # processors have failed to open their windows.
        name=e2e.planted_dlls; chosen "$@" &&
            DIAGNOVA_PLANTED_ROWS_AT_ONCE=1 case_run "$name" python3 tests/e2e/planted_dlls_test.py "$build" i686-w64-mingw32-gcc-posix
        ;;
    *) echo "usage: cases.sh test | job GAME"; exit 2 ;;
esac
true
