# What this machine can run, for scripts/setup, scripts/test and scripts/run.
# Source this file.
#
# Some kernels have 32-bit emulation switched off: no 32-bit Linux program
# runs there, and no Wine can run a 32-bit Windows program. The only sure
# test is to run a tiny 32-bit program; the kernel's version or its
# configuration says nothing reliable.

# diagnova_runs_32bit: exit status 0 when a 32-bit x86 program runs here.
# Needs the assembler and linker (binutils).
diagnova_runs_32bit() {
    local dir rc=1
    command -v as >/dev/null && command -v ld >/dev/null || return 1
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/exit.s"
    if as --32 -o "$dir/exit.o" "$dir/exit.s" 2>/dev/null &&
        ld -m elf_i386 -o "$dir/exit" "$dir/exit.o" 2>/dev/null; then
        "$dir/exit" 2>/dev/null && rc=0
    fi
    rm -rf "$dir"
    return $rc
}

# diagnova_windows_mode: sets DIAGNOVA_WINDOWS_BITS (32 or 64: which build the
# Windows suite and the main job run on) and DIAGNOVA_WINDOWS_WHY (one line).
# DIAGNOVA_FORCE_64BIT=1 chooses the 64-bit build on any machine, so that
# both modes can be tested wherever one works.
diagnova_windows_mode() {
    if [ "${DIAGNOVA_FORCE_64BIT:-0}" = 1 ]; then
        DIAGNOVA_WINDOWS_BITS=64
        DIAGNOVA_WINDOWS_WHY="DIAGNOVA_FORCE_64BIT=1 chooses the 64-bit build"
    elif diagnova_runs_32bit; then
        DIAGNOVA_WINDOWS_BITS=32
        DIAGNOVA_WINDOWS_WHY="this machine executes 32-bit code"
    else
        DIAGNOVA_WINDOWS_BITS=64
        DIAGNOVA_WINDOWS_WHY="this machine cannot execute 32-bit code (its kernel's 32-bit emulation is off), so no Wine can run the 32-bit program"
    fi
}
