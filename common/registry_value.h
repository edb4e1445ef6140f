// Reads one registry value the way the shell's SHGetValue does (open, query,
// close), except that an expandable string is reported as REG_EXPAND_SZ and
// left unexpanded. SHGetValue expands such values and reports them as REG_SZ,
// which would let "%ProgramFiles%"-style locations pass as plain strings.
#pragma once

#include <windows.h>

// The registry view the program reads its keys in: the shipped 32-bit
// program sees the 32-bit view of 64-bit Windows (Wow6432Node) without
// asking, and the 64-bit build asks for the same view, so that both find the
// publisher's keys, the browser add-ons and the program lists alike.
#if defined(_WIN64)
const REGSAM kProgramRegistryView = KEY_WOW64_32KEY;
#else
const REGSAM kProgramRegistryView = 0;
#endif

// Returns the registry error code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND,
// ERROR_MORE_DATA when the value does not fit in *size bytes, ...).
LONG GetRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD* type,
                      void* data, DWORD* size);

// A plain string (REG_SZ) that fits in capacity bytes with its terminator,
// always terminated on success.
bool GetRegistryString(HKEY root, const char* subKey, const char* valueName, char* text,
                       DWORD capacity);
// A 32-bit number (REG_DWORD).
bool GetRegistryDword(HKEY root, const char* subKey, const char* valueName, DWORD* value);

// "HKLM", "HKCU" or "HKCR" for the three roots the report names, "N/A" for any other.
const char* RegistryRootAbbreviation(HKEY root);
