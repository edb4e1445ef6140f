// The parts of the Windows-version and system facts that need no Windows API:
// the generation table and the texts of the OS version lines and the system
// section. Kept free of <windows.h> so they build natively for sanitizer runs.
#pragma once

#include <stddef.h>

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

// The platform identifiers of the OS version record (VER_PLATFORM_WIN32_...).
const unsigned long kPlatformWin32s = 0;
const unsigned long kPlatformWin9x = 1;
const unsigned long kPlatformNt = 2;

// Pure classification of a platform id and major/minor version.
WindowsGeneration ClassifyWindowsVersion(unsigned long platformId, unsigned long major,
                                         unsigned long minor);

// The four OS version lines (without the final line end) from the fields of
// the OS version record. On the 9x platform only the low 16 bits of the build
// field are the build number. False when the text would not fit in 255
// characters.
bool ComposeOsVersion(unsigned long platformId, unsigned long major, unsigned long minor,
                      unsigned long buildField, const char* servicePack, bool wow64, char text[256]);

// Whether the OS lines print the version the system really has (from
// RtlGetVersion) in place of the one it reports to this program. Windows 8.1
// and later report 6.2 to a program whose manifest ends at Windows 8, so only
// a reported NT 6.2 is replaced, and only by a version at least as high; every
// other system keeps what it reports. The generation is never affected.
bool UseTrueOsVersion(unsigned long platformId, unsigned long major, unsigned long minor,
                      unsigned long trueMajor, unsigned long trueMinor);

// The system section's four lines from the system information record: the
// 32-bit OEM identifier word, the 16-bit processor architecture that overlays
// its low half, the page size and the processor count. False when the joined
// text is longer than capacity - 1 characters or there is no buffer.
bool ComposeSystemInfo(unsigned long oemId, unsigned short architecture, unsigned long pageSize,
                       unsigned long processors, char* text, size_t capacity);
