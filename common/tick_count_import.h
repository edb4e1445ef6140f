// GetTickCount64 for the C++ threads runtime on every Windows the program
// supports (see tick_count_import.cpp).
#pragma once

#include <windows.h>

// Extends a 32-bit GetTickCount reading to 64 bits. *state holds the latest
// extended reading (zero before the first); all threads share it.
ULONGLONG ExtendTickCount(volatile ULONGLONG* state, DWORD now);

// What the program's GetTickCount64 import resolves to.
ULONGLONG WINAPI TickCount64();
