// Windows version classification, WOW64 detection, version-resource readers
// and the formatted message box: small platform facts every part of the
// program may ask for.
#pragma once

#include <windows.h>

#include "common/windows_version_text.h"

WindowsGeneration GetWindowsGeneration();
bool IsWow64();
// Whether Windows itself is 64-bit: under WOW64 for the shipped 32-bit
// program, always for the 64-bit build. Every "is this 64-bit Windows"
// question asks this, so both builds write the same report there.
bool IsWindows64Bit();

// The program's own file version as "%d.%d.%d.%d".
bool GetProgramVersion(char version[256]);
// A file's product version as "%d.%d.%d.%d\n" (the line feed is part of it).
bool GetFileProductVersion(const char* path, char version[260]);
// A string field of a file's version resource, chosen by the translation table.
bool GetVersionStringField(const char* path, const char* field, char value[256]);
// The same for a path the system gave in its own, native view (another
// process's image path): under WOW64 a file under the system folder is read
// with file-system redirection off, so that the 64-bit file is read and not
// its 32-bit namesake in SysWOW64.
bool GetNativeVersionStringField(const char* path, const char* field, char value[256]);

int ShowFormattedMessage(HWND owner, const char* caption, UINT style, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
