# Wine prefixes and servers for Diagnova's tests. Source this file.
#
# Each prefix is made once (about 20 s) and reused; a marker file says it is
# complete, and a lock keeps two callers from making the same one at once.
# Wine's helper processes inherit the standard output of the first Wine
# program, so every start-up here sends all output to /dev/null: otherwise a
# caller that reads a pipe (ctest, "| tail") would wait for ever.

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# wine_prefix_ensure DIR ARCH VERSION   (ARCH win64|win32, VERSION win7|win10|winxp|win2k)
# Fails, leaving no marker, when Wine cannot make the prefix.
wine_prefix_ensure() {
    local dir=$1 arch=$2 version=$3
    mkdir -p "$(dirname "$dir")"
    (
        flock 9
        if [ ! -f "$dir/.diagnova-ready" ]; then
            rm -rf "$dir"
            export WINEPREFIX=$dir WINEARCH=$arch
            wineboot -i </dev/null >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\winedbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
            if [ "$version" != win7 ]; then
                wine winecfg -v "$version" </dev/null >/dev/null 2>&1
            fi
            wineserver -w
            # The server writes the registry files when it ends.
            [ -f "$dir/system.reg" ] || exit 1
            touch "$dir/.diagnova-ready"
        fi
    ) 9>"$dir.lock"
}

# wine_check DIR: exit status 0 when Wine starts a Windows program in the
# prefix; otherwise prints why in one line.
wine_check() {
    local dir=$1 out
    if [ ! -f "$dir/.diagnova-ready" ]; then
        echo "the prefix $dir could not be made (wineboot failed)"
        return 1
    fi
    # Wine's services inherit the output: a file, never a pipe that they would hold open.
    out=$(mktemp)
    WINEPREFIX=$dir timeout 120 wine cmd /c exit </dev/null >/dev/null 2>"$out"
    local rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "wine cmd /c exit ended with $rc: $(grep -v '^\s*$' "$out" | tail -n1 | cut -c1-200)"
    fi
    rm -f "$out"
    return $rc
}

# wine_server_start DIR: a persistent server with Wine's services already running.
wine_server_start() {
    WINEPREFIX=$1 wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX=$1 wine cmd /c exit </dev/null >/dev/null 2>&1
}

wine_server_stop() {
    WINEPREFIX=$1 wineserver -k </dev/null >/dev/null 2>&1 || true
}

# wine_desktop_start DIR: Wine's desktop process, with its output detached.
# The first program that opens a window starts it on demand, and it inherits
# that program's standard output; under ctest the pipe then stays open until
# the desktop ends, so that one test would last as long as all window tests
# together. Needs DISPLAY. Ended by wine_server_stop.
wine_desktop_start() {
    local dir=$1 pid
    WINEPREFIX=$dir wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do
        for pid in $(pgrep -f 'explorer.exe /desktop'); do
            tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$dir" && return 0
        done
        sleep 0.1
    done
    return 1
}
