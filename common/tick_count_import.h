// GetTickCount64 for the C++ threads runtime on every Windows the program
// supports (see tick_count_import.cpp).
#pragma once

#include <windows.h>

// Extends a 32-bit GetTickCount reading to 64 bits. *state holds the latest
// extended reading (zero before the first); all threads share it.
ULONGLONG ExtendTickCount(volatile ULONGLONG* state, DWORD now);

// What the program's GetTickCount64 import resolves to.
ULONGLONG WINAPI TickCount64();

// The assembler names of a dllimport'ed Windows function and of its import
// slot: i386 decorates stdcall names with an underscore and the size of the
// arguments in bytes (N); x86-64 has one calling convention and no decoration.
#if defined(__i386__)
#define DGN_WINAPI_SYMBOL(name, bytes) "_" #name "@" #bytes
#define DGN_IMPORT_SLOT_SYMBOL(name, bytes) "__imp__" #name "@" #bytes
#else
#define DGN_WINAPI_SYMBOL(name, bytes) #name
#define DGN_IMPORT_SLOT_SYMBOL(name, bytes) "__imp_" #name
#endif
