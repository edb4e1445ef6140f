// The program's own GetTickCount64 for the threads runtime: the system's
// function where there is one, and GetTickCount extended to 64 bits on XP.
#include "common/tick_count_import.h"

#include <gtest/gtest.h>

typedef ULONGLONG(WINAPI* TickCount64Function)();
// The import slot through which the threads runtime calls GetTickCount64.
extern "C" TickCount64Function importedTickCount64 __asm__(DGN_IMPORT_SLOT_SYMBOL(GetTickCount64, 0));

TEST(TickCountImport, ExtendedTicksCountWrapsButNotReadingsOfThreadsThatFellBehind) {
    volatile ULONGLONG state = 0;
    EXPECT_EQ(0xFFFFFFF0ULL, ExtendTickCount(&state, 0xFFFFFFF0UL));
    // A reading taken before the one above, stored late by a slow thread.
    EXPECT_EQ(0xFFFFFF00ULL, ExtendTickCount(&state, 0xFFFFFF00UL));
    EXPECT_EQ(0x100000010ULL, ExtendTickCount(&state, 0x10UL));
    EXPECT_EQ(0x0FFFFFFF8ULL, ExtendTickCount(&state, 0xFFFFFFF8UL));  // late again, from before the wrap
    EXPECT_EQ(0x100000020ULL, ExtendTickCount(&state, 0x20UL));
    EXPECT_EQ(0x170000021ULL, ExtendTickCount(&state, 0x70000021UL));
    EXPECT_EQ(0x1E0000021ULL, ExtendTickCount(&state, 0xE0000021UL));
    EXPECT_EQ(0x200000005ULL, ExtendTickCount(&state, 0x5UL));
}

TEST(TickCountImport, ThreadsRuntimeGetsTheSystemsTickCountWhereItExists) {
    EXPECT_EQ(&TickCount64, importedTickCount64);
    // Wine's kernel32 has GetTickCount64 in every prefix, XP's included, so
    // here it must lead to the system's; the XP path is the function above.
    TickCount64Function system = reinterpret_cast<TickCount64Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
    ASSERT_NE(nullptr, system);
    const ULONGLONG before = system();
    const ULONGLONG ours = importedTickCount64();
    const ULONGLONG after = system();
    EXPECT_LE(before, ours);
    EXPECT_LE(ours, after);
}
