// The GetTickCount64 import of the C++ threads runtime, provided by the program.
//
// The POSIX threads runtime behind the C++ library (winpthread, linked
// statically) calls GetTickCount64, which Windows XP lacks: imported from
// kernel32, it would stop every program that uses threads or thread-safe
// statics from starting there. This file defines the import slot itself, so
// the linker takes it instead of kernel32's. The slot points at TickCount64,
// which calls the system's GetTickCount64 where there is one (Vista and later)
// and otherwise extends GetTickCount to 64 bits.
//
// The slot only wins when this object is linked directly into an executable
// (the top-level CMakeLists.txt adds it to every one): from an archive it
// would be searched too early, before the threads runtime asks for it.
#include "common/tick_count_import.h"

namespace {

typedef ULONGLONG(WINAPI* TickCount64Function)();

volatile ULONGLONG g_extendedTicks = 0;

ULONGLONG WINAPI ExtendedTickCount() { return ExtendTickCount(&g_extendedTicks, GetTickCount()); }

TickCount64Function ResolveTickCount64() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC function = kernel != NULL ? GetProcAddress(kernel, "GetTickCount64") : NULL;
    if (function == NULL) return ExtendedTickCount;
    return reinterpret_cast<TickCount64Function>(reinterpret_cast<void*>(function));
}

// Filled on first use; two threads resolving at once store the same value.
TickCount64Function g_tickCount64 = NULL;

}  // namespace

ULONGLONG ExtendTickCount(volatile ULONGLONG* state, DWORD now) {
    for (;;) {
        const ULONGLONG seen = __sync_val_compare_and_swap(state, 0, 0);  // an atomic 64-bit read
        // The step from the latest reading, taken as signed: a reading behind
        // it comes from a thread that read the clock before another stored a
        // newer one, and is extended but not stored. Callers read the clock
        // far more often than every 24 days, so every real step is forward
        // and shorter than half the range.
        const LONG step = static_cast<LONG>(now - static_cast<DWORD>(seen));
        const ULONGLONG value = seen == 0 ? now : seen + static_cast<LONGLONG>(step);
        if (seen != 0 && step <= 0) return value;
        if (__sync_bool_compare_and_swap(state, seen, value)) return value;
    }
}

ULONGLONG WINAPI TickCount64() {
    if (g_tickCount64 == NULL) g_tickCount64 = ResolveTickCount64();
    return g_tickCount64();
}

// The import slot, under the name the compiler gives a dllimport of the
// function GetTickCount64 without arguments.
extern "C" {
TickCount64Function g_tickCount64Import __asm__(DGN_IMPORT_SLOT_SYMBOL(GetTickCount64, 0)) = TickCount64;
}
