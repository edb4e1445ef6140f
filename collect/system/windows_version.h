// Windows version classification, WOW64 detection, version-resource readers,
// the formatted message box, and the two report steps that describe the
// Windows version and the processor.
#pragma once

#include <windows.h>

#include "report/report_writer.h"

// Ordered: callers compare against thresholds (>= WinVista means Vista or
// later). Unknown is 0, so a failed query looks like the oldest system.
// Scoped, because <winioctl.h> already has an unscoped "Unknown".
enum class WindowsGeneration : int {
    Unknown = 0,
    Win95 = 1,
    Win98 = 2,
    WinMe = 3,
    WinNT4 = 4,
    Win2000 = 5,
    WinXP = 6,
    WinServer2003 = 7,
    WinVista = 8,
    Win7 = 9,
    Win8 = 10,
};

WindowsGeneration GetWindowsGeneration();
// Pure classification of a platform id and major/minor version.
WindowsGeneration ClassifyWindowsVersion(DWORD platformId, DWORD major, DWORD minor);
bool IsWow64();

// The program's own file version as "%d.%d.%d.%d".
bool GetProgramVersion(char version[256]);
// A file's product version as "%d.%d.%d.%d\n" (the line feed is part of it).
bool GetFileProductVersion(const char* path, char version[260]);
// A string field of a file's version resource, chosen by the translation table.
bool GetVersionStringField(const char* path, const char* field, char value[256]);

int ShowFormattedMessage(HWND owner, const char* caption, UINT style, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

void WriteOsVersion(ReportSink sink);
void WriteSystemInfo(ReportSink sink);
