// Windows' own DLLs, loaded from the system folder only.
//
// Diagnova runs elevated from folders where anyone may drop files (a
// browser's Downloads folder). A DLL looked up by name is searched for in
// the program's folder first, so every DLL that is not one of the system's
// KnownDLLs on every supported Windows is loaded here, by full path, at run
// time: statically the program imports only KnownDLLs (tests/binary checks
// it; tests/binary/windows_dlls.txt lists which DLL is which).
#pragma once

#include <windows.h>

// At the very start of the program: restricts the DLL search of everything
// loaded later by name (also by the system's own DLLs) to the system folder
// where the system offers it (SetDefaultDllDirectories: Windows 8, Vista and
// 7 with KB2533623), and takes the current folder out of the search on every
// system (SetDllDirectory with an empty string, XP SP1 and later). Then loads
// the theme library from the system folder, which the common controls load
// by name: where the search cannot be restricted, a load by name finds it
// already loaded instead of searching the program's folder.
void RestrictDllSearch();

// The DLL `name` (for example "version.dll") from the system folder, or NULL
// when it is missing. Its own dependencies are searched from the system
// folder too. The caller may free it; most callers keep it for good.
HMODULE LoadSystemLibrary(const char* name);

// A function of a system DLL loaded by LoadSystemLibrary (and kept loaded);
// NULL when the DLL or the function is missing.
FARPROC GetSystemFunction(const char* library, const char* function);

// The same for a DLL that the program's manifest binds to a side-by-side
// assembly (comctl32.dll, version 6 of the common controls, which lives in
// the WinSxS store, not in the system folder). It is loaded by name: the
// manifest's redirection decides before any folder is searched.
FARPROC GetSideBySideFunction(const char* library, const char* function);
