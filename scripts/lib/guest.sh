# The emulated PC that runs the shipped 32-bit Diagnova.exe where this
# machine's kernel cannot execute 32-bit code (so Wine cannot run it here).
# Source this file; scripts/guest is its command line.
#
# The PC is qemu's software emulation of an x86-64 PC booting Debian 12's own
# kernel (whose 32-bit emulation is on), with a Debian tree made by
# debootstrap and packed into a raw ext4 image. It has no network device.
# The source tree and a build folder reach it read-only over 9p, and one
# writable 9p folder takes the job in and the results out. The image, its
# kernel and its initrd are made once and kept in a machine-wide folder named
# after the recipe (tests/guest/ and wine.sh's wine_prefix_ensure), so a fresh clone
# reuses them and a changed recipe makes a new image. Runs boot the image as a
# snapshot: nothing a run does stays in it.

guest_cache=${DIAGNOVA_GUEST_CACHE:-/var/cache/diagnova/guest}
guest_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Raise when the way the image is made changes in this file.
guest_recipe_version=1

guest_say() { echo "guest: $*"; }

guest_recipe_hash() {
    {
        echo "$guest_recipe_version"
        cat "$guest_source/tests/guest/packages" "$guest_source/tests/guest/init.sh" \
            "$guest_source/tests/guest/prepare.sh"
        # Of wine.sh, only what makes the prefixes kept in the image.
        sed -n '/^wine_prefix_ensure()/,/^}/p' "$guest_source/scripts/lib/wine.sh"
    } | sha256sum | cut -c1-16
}

guest_dir() { echo "$guest_cache/$(guest_recipe_hash)"; }

# The Debian mirror this machine's apt uses for the release (not the
# security suite), so the guest comes from the same place.
guest_mirror() {
    if [ -n "${DIAGNOVA_GUEST_MIRROR:-}" ]; then echo "$DIAGNOVA_GUEST_MIRROR"; return; fi
    {
        grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
        grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{print $2}'
    } | grep -v -- '-security' | grep -E '/debian/?$' | head -n1
}

# guest_step SECONDS_EXPECTED LOG TEXT COMMAND...: runs a long step with its
# output in LOG, printing a line every 30 s so nobody waits on a silent
# terminal; on failure prints the end of the log.
guest_step() {
    local expect=$1 log=$2 text=$3 pid started rc
    shift 3
    started=$SECONDS
    guest_say "$text (about $expect s)"
    "$@" >>"$log" 2>&1 </dev/null &
    pid=$!
    local next=$((started + 30))
    while kill -0 "$pid" 2>/dev/null; do
        sleep 2
        if [ "$SECONDS" -ge "$next" ] && kill -0 "$pid" 2>/dev/null; then
            guest_say "  ... $text: $((SECONDS - started)) s"
            next=$((next + 30))
        fi
    done
    wait "$pid"
    rc=$?
    if [ "$rc" -ne 0 ]; then
        guest_say "$text failed (exit code $rc); the end of $log:"
        tail -n 30 "$log" | sed 's/^/  | /'
    else
        guest_say "  $text took $((SECONDS - started)) s"
    fi
    return "$rc"
}

# The packages of tests/guest/packages, without comments.
guest_packages() { grep -v '^\s*#' "$guest_source/tests/guest/packages" | grep -v '^\s*$'; }

guest_chroot_setup() {
    local tree=$1 mirror=$2 pkgs
    mapfile -t pkgs < <(guest_packages)
    mount -t proc proc "$tree/proc"
    mount --rbind /sys "$tree/sys"
    mount --rbind /dev "$tree/dev"
    printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
    chmod +x "$tree/usr/sbin/policy-rc.d"
    # Only the release's main suite: its architectures always agree, where a
    # security list may be caught mid-sync.
    echo "deb $mirror bookworm main" >"$tree/etc/apt/sources.list"
    rm -f "$tree/etc/apt/sources.list.d/"*
    chroot "$tree" dpkg --add-architecture i386
    chroot "$tree" apt-get update -q
    # Set-up scripts of some 32-bit packages run 32-bit programs, which fail
    # on this machine; they are configured again inside the emulated PC
    # (tests/guest/prepare.sh), so a failure here is tolerated when every
    # package is at least unpacked.
    DEBIAN_FRONTEND=noninteractive chroot "$tree" apt-get install -y -q --no-install-recommends "${pkgs[@]}" ||
        echo "guest: some packages are left to configure inside the guest"
    local p
    for p in "${pkgs[@]}"; do
        chroot "$tree" dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -Eq 'install ok (installed|unpacked|half-configured)' ||
            { echo "guest: package $p could not be installed"; return 1; }
    done
    chroot "$tree" apt-get clean
    rm -rf "$tree/var/lib/apt/lists/"*
}

guest_chroot_unmount() {
    local tree=$1 m
    for m in dev sys proc; do umount -R "$tree/$m" 2>/dev/null || umount -lR "$tree/$m" 2>/dev/null; done
    return 0
}

guest_configure_tree() {
    local tree=$1
    rm -f "$tree/usr/sbin/policy-rc.d"
    # debootstrap leaves no hosts file; the sealed network binds its own over
    # it, and over resolv.conf.
    printf '127.0.0.1\tlocalhost\n127.0.1.1\tdiagnova-guest\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$tree/etc/hosts"
    : >"$tree/etc/resolv.conf"
    echo diagnova-guest >"$tree/etc/hostname"
    # Wine's own fonts where Wine finds them (as scripts/setup does on a host).
    mkdir -p "$tree/usr/local/share/fonts"
    ln -sfn /usr/share/wine/fonts "$tree/usr/local/share/fonts/wine"
    install -m 0755 "$guest_source/tests/guest/init.sh" "$tree/sbin/diagnova-init"
    mkdir -p "$tree/mnt/src" "$tree/mnt/build" "$tree/mnt/out" "$tree/root/build"
}

# qemu, debootstrap and mkfs.ext4, from the release's own suite (a security
# list caught mid-sync makes a plain install fail).
guest_install_tools() {
    command -v qemu-system-x86_64 >/dev/null && command -v debootstrap >/dev/null &&
        command -v mkfs.ext4 >/dev/null && return 0
    guest_say "installing qemu-system-x86, debootstrap and e2fsprogs"
    apt-get update -qq >/dev/null 2>&1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm --no-install-recommends \
        qemu-system-x86 debootstrap e2fsprogs >/dev/null ||
        { guest_say "cannot build the emulated PC: qemu-system-x86, debootstrap or e2fsprogs cannot be installed"; return 1; }
}

# guest_build DIR: makes the image, kernel and initrd in DIR.
guest_build() {
    local dir=$1 mirror tree log started=$SECONDS base
    mirror=$(guest_mirror)
    if [ -z "$mirror" ]; then
        guest_say "cannot build the emulated PC: no Debian mirror in this machine's apt sources (set DIAGNOVA_GUEST_MIRROR)"
        return 1
    fi
    guest_install_tools || return 1
    local tool
    for tool in qemu-system-x86_64 debootstrap mkfs.ext4; do
        command -v "$tool" >/dev/null || { guest_say "cannot build the emulated PC: $tool is missing (scripts/setup installs it)"; return 1; }
    done
    mkdir -p "$dir"
    tree=$dir/tree
    log=$dir/build.log
    : >"$log"
    guest_say "building the emulated PC in $dir (about 20 minutes, once; log: $log)"
    guest_chroot_unmount "$tree"
    rm -rf "$tree" "$dir/guest.img"
    base=linux-image-amd64,initramfs-tools,kmod,udev,procps
    guest_step 240 "$log" "[1/5] Debian base tree" \
        debootstrap --variant=minbase --arch=amd64 --include="$base" bookworm "$tree" "$mirror" ||
        { guest_say "cannot build the emulated PC: debootstrap failed (is the mirror $mirror reachable?)"; return 1; }
    guest_step 300 "$log" "[2/5] Wine, Xvfb, Python and the rest" guest_chroot_setup "$tree" "$mirror"
    local rc=$?
    guest_chroot_unmount "$tree"
    [ "$rc" -eq 0 ] || { guest_say "cannot build the emulated PC: a package could not be installed (see $log)"; return 1; }
    guest_configure_tree "$tree"
    cp "$(readlink -f "$tree/vmlinuz")" "$dir/vmlinuz"
    cp "$(readlink -f "$tree/initrd.img")" "$dir/initrd.img"
    guest_step 60 "$log" "[3/5] disk image" mkfs.ext4 -q -F -L diagnova -d "$tree" "$dir/guest.img" 10G ||
        return 1
    rm -rf "$tree"
    touch "$dir/packed"
    guest_prepare "$dir" || return 1
    guest_say "[5/5] the emulated PC is ready after $((SECONDS - started)) s"
    touch "$dir/ready"
}

# guest_prepare DIR: the first boot of a packed image, which makes the Wine
# prefixes in it.
guest_prepare() {
    local dir=$1 log=$1/build.log out
    out=$(mktemp -d)
    guest_path=$dir
    echo 'exec sh /mnt/src/tests/guest/prepare.sh' >"$out/job.sh"
    guest_step 400 "$log" "[4/5] first boot: Wine prefixes (XP 32-bit, Windows 7 64-bit)" \
        guest_qemu 1500 "$out" "$guest_source" "$guest_source" write
    if [ "$(cat "$out/job.rc" 2>/dev/null)" != 0 ]; then
        guest_say "cannot build the emulated PC: making the Wine prefixes failed (see $log)"
        rm -rf "$out"
        return 1
    fi
    rm -rf "$out"
}

# guest_ensure: the image for the current recipe, built when missing; sets
# guest_path to its folder.
guest_ensure() {
    local dir
    dir=$(guest_dir)
    guest_path=$dir
    [ -f "$dir/ready" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        guest_say "building the emulated PC needs root"
        return 1
    fi
    mkdir -p "$guest_cache"
    (
        flock 9
        [ -f "$dir/ready" ] && exit 0
        # Images of older recipes are of no further use.
        local old
        for old in "$guest_cache"/*/; do
            [ "${old%/}" = "$dir" ] || { guest_chroot_unmount "${old%/}/tree"; rm -rf "${old%/}"; }
        done
        if [ -f "$dir/packed" ]; then
            # Packed before, but the first boot did not finish: only that again.
            guest_prepare "$dir" && touch "$dir/ready"
        else
            guest_build "$dir"
        fi
    ) 9>"$guest_cache/.lock"
}

# guest_qemu TIMEOUT OUT SRC BUILD [write]: boots the PC with the job in
# OUT/job.sh, serial console on standard output; the disk is a snapshot
# unless "write". Killed after TIMEOUT seconds.
guest_qemu() {
    local limit=$1 out=$2 src=$3 build=$4 mode=${5:-snapshot} dir drive
    dir=${guest_path:-$(guest_dir)}
    drive="file=$dir/guest.img,format=raw,if=virtio,cache=unsafe"
    [ "$mode" = write ] || drive+=",snapshot=on"
    local stdin=/dev/null
    [ "$mode" = shell ] && stdin=/dev/stdin
    # The 64-bit build, when a case needs it (guest_build64, set by the caller).
    local more=()
    [ -z "${guest_build64:-}" ] ||
        more=(-virtfs "local,path=$guest_build64,mount_tag=build64,security_model=none,readonly=on")
    timeout --kill-after=20 "$limit" qemu-system-x86_64 -accel tcg,thread=multi -smp 2 -m 4096 \
        -cpu max,smap=off -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 init=/sbin/diagnova-init quiet panic=-1" \
        -drive "$drive" \
        -virtfs "local,path=$src,mount_tag=src,security_model=none,readonly=on" \
        -virtfs "local,path=$build,mount_tag=build,security_model=none,readonly=on" \
        -virtfs "local,path=$out,mount_tag=out,security_model=none" "${more[@]}" \
        -display none -no-reboot -nic none -monitor none -serial stdio <"$stdin"
    local rc=$?
    [ "$rc" -eq 124 ] && guest_say "the emulated PC did not finish within $limit s and was stopped"
    return "$rc"
}

# The cases of tests/guest/cases.sh test, in its order.
guest_test_cases=(e2e.main_job e2e.game_runs.win7 e2e.main_job_64 e2e.planted_dlls)

# guest_program_line BUILD_DIR: what program the guest is given, from its
# PE header, so no summary hides which program ran where.
guest_program_line() {
    python3 - "$1/Diagnova.exe" <<'PY'
import hashlib, struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
machine = struct.unpack_from("<H", data, pe + 4)[0]
kind = {0x14C: "32-bit x86", 0x8664: "64-bit x86-64"}.get(machine, "machine 0x%x" % machine)
print("%s (%s, sha256 %s)" % (sys.argv[1], kind, hashlib.sha256(data).hexdigest()[:16]))
PY
}

# guest_boot_job LIMIT OUT BUILD_DIR JOB_LINE: boots the PC with one job; its
# console lines are shown as they come and kept in OUT/console.log.
guest_boot_job() {
    local limit=$1 out=$2 build=$3 job=$4 started=$SECONDS
    mkdir -p "$out"
    rm -rf "$out/results" "$out/job.rc" "$out/run"
    echo "$job" >"$out/job.sh"
    guest_say "booting the emulated PC (qemu, software emulation; no network device)"
    guest_qemu "$limit" "$out" "$guest_source" "$build" 2>&1 | sed -u 's/\r$//' | tee "$out/console.log" |
        grep --line-buffered -E '^(guest:|ok |FAIL )|Kernel panic|Oops' | sed -u 's/^/  [emulated PC] /'
    guest_say "the emulated PC ran $((SECONDS - started)) s"
}

# guest_run_tests BUILD_DIR OUT_DIR BUILD64_DIR: the shipped 32-bit program's
# complete runs in the PC (building the PC first when needed), and the 64-bit
# build's main job where Wine's 32-bit half is installed. Prints a line per case
# ("ok   ..." or "FAIL ..." with its log), every "untested:" line of the
# cases, and "N passed, M failed"; sets guest_passed, guest_failed and
# guest_untested (an array) for the caller; non-zero when any case failed or
# did not run.
guest_run_tests() {
    local build=$1 out=$2 name line status took
    guest_passed=0 guest_failed=0 guest_untested=()
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    build=$(cd "$build" && pwd)
    guest_build64=$(cd "$3" && pwd)
    guest_ensure || { guest_failed=${#guest_test_cases[@]}; echo "0 passed, $guest_failed failed"; return 1; }
    guest_say "program: $(guest_program_line "$build"), run in the emulated PC"
    guest_say "and for e2e.main_job_64: $(guest_program_line "$guest_build64")"
    guest_boot_job 2700 "$out" "$build" 'exec bash /mnt/src/tests/guest/cases.sh test'
    guest_build64=
    for name in "${guest_test_cases[@]}"; do
        line=$(grep -E "^(ok|FAIL) $name " "$out/results" 2>/dev/null | tail -n1)
        status=${line%% *} took=${line##* }
        if [ "$status" = ok ]; then
            echo "ok   $name in the emulated PC ($took s)"
            guest_passed=$((guest_passed + 1))
        else
            if [ -n "$status" ]; then
                echo "FAIL $name in the emulated PC ($took s); its log:"
            else
                echo "FAIL $name in the emulated PC: did not run; the console's end:"
            fi
            if [ -f "$out/$name.log" ]; then sed 's/^/  | /' "$out/$name.log"; else tail -n 40 "$out/console.log" | sed 's/^/  | /'; fi
            guest_failed=$((guest_failed + 1))
            local why=()
            [ ! -f "$out/$name.log" ] || mapfile -t why < <(grep -E '^FAIL ' "$out/$name.log" | head -n 8 | cut -c6-)
            [ "${#why[@]}" -gt 0 ] || why=("${status:+no FAIL line in its log}")
            [ -n "${why[0]}" ] || why=("did not run")
            for line in "${why[@]}"; do guest_untested+=("failed: (emulated PC) $name: $line"); done
        fi
        if [ -f "$out/$name.log" ]; then
            mapfile -t -O "${#guest_untested[@]}" guest_untested < <(grep -E '^untested: ' "$out/$name.log" |
                sed "s/^untested: /untested: (emulated PC, $name) /")
        fi
    done
    guest_untested+=("untested: the shipped 32-bit program's other complete runs (the other games, the Windows 10, Windows 2000 and locale prefixes): the emulated PC runs only ${guest_test_cases[*]}, which fit the suite's time under emulation")
    guest_untested+=("untested: the two builds' reports of one system, compared section by section: the emulated PC runs the 64-bit build's main job only, which fits the suite's time under emulation")
    printf '%s\n' "${guest_untested[@]}"
    echo "$guest_passed passed, $guest_failed failed"
    [ "$guest_failed" -eq 0 ]
}

# guest_run_main_job BUILD_DIR GAME: the main job of scripts/run with the
# shipped 32-bit program in the PC. Prints the job's lines with the run's
# folder moved to BUILD_DIR/run on this machine; exit code 0 only when the
# job went well and its report reads "processor architecture : x86".
guest_run_main_job() {
    local build game=$2 out rc
    build=$(cd "$1" && pwd)
    guest_ensure || return 1
    mkdir -p "$build/run"
    out=$(mktemp -d "$build/run/.guest-XXXXXX")
    guest_say "program: $(guest_program_line "$build"), run in the emulated PC"
    guest_boot_job 1200 "$out" "$build" "exec bash /mnt/src/tests/guest/cases.sh job '$game'"
    rc=1
    grep -q '^ok main_job ' "$out/results" 2>/dev/null && rc=0
    if [ -d "$out/run" ]; then
        cp -r "$out/run/." "$build/run/"
    fi
    if [ -f "$out/main_job.log" ]; then
        sed "s#/root/out#$build/run#g" "$out/main_job.log"
    else
        guest_say "the main job did not run; the console's end:"
        tail -n 40 "$out/console.log"
    fi
    rm -rf "$out"
    return "$rc"
}
