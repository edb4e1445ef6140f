// Generation table and the texts of the OS version lines and the system
// section, apart from the system calls that feed them.
#include "common/windows_version_text.h"

#include <stdio.h>
#include <string.h>

WindowsGeneration ClassifyWindowsVersion(unsigned long platformId, unsigned long major,
                                         unsigned long minor) {
    if (platformId == kPlatformWin9x) {
        if (major != 4) return WindowsGeneration::Unknown;
        if (minor < 10) return WindowsGeneration::Win95;
        if (minor == 10) return WindowsGeneration::Win98;
        if (minor == 90) return WindowsGeneration::WinMe;
        return WindowsGeneration::Unknown;
    }
    if (platformId == kPlatformNt) {
        if (major < 5) return WindowsGeneration::WinNT4;
        if (major == 5) {
            if (minor == 0) return WindowsGeneration::Win2000;
            if (minor == 1) return WindowsGeneration::WinXP;
            if (minor == 2) return WindowsGeneration::WinServer2003;
            return WindowsGeneration::Unknown;
        }
        if (major == 6) {
            if (minor == 0) return WindowsGeneration::WinVista;
            if (minor == 1) return WindowsGeneration::Win7;
            if (minor == 2) return WindowsGeneration::Win8;
            return WindowsGeneration::Unknown;
        }
        return WindowsGeneration::Unknown;
    }
    return WindowsGeneration::Unknown;
}

bool ComposeOsVersion(unsigned long platformId, unsigned long major, unsigned long minor,
                      unsigned long buildField, const char* servicePack, bool wow64, char text[256]) {
    // Windows 9x keeps the major and minor version in the high half of the
    // build field; only the low half is the build number.
    unsigned long build = platformId == kPlatformWin9x ? (buildField & 0xFFFFu) : buildField;
    char composed[512];
    int n = snprintf(composed, sizeof composed,
                     "Windows Version: %u.%u\r\nBuild %d\r\n%s\r\nProcessor bit : %s",
                     (unsigned)major, (unsigned)minor, (int)build, servicePack ? servicePack : "",
                     wow64 ? "64" : "32");
    if (n < 0 || n >= 256) return false;
    memcpy(text, composed, (size_t)n + 1);
    return true;
}

bool UseTrueOsVersion(unsigned long platformId, unsigned long major, unsigned long minor,
                      unsigned long trueMajor, unsigned long trueMinor) {
    if (platformId != kPlatformNt || major != 6 || minor != 2) return false;
    return trueMajor > 6 || (trueMajor == 6 && trueMinor >= 2);
}

bool ComposeSystemInfo(unsigned long oemId, unsigned short architecture, unsigned long pageSize,
                       unsigned long processors, char* text, size_t capacity) {
    if (text == NULL || capacity == 0) return false;
    char oemLine[128];
    char pageLine[128];
    char processorLine[128];
    snprintf(oemLine, sizeof oemLine, "Oem Id : %d\r\n", (int)oemId);
    const char* architectureLine;
    switch (architecture) {
        case 0: architectureLine = "processor architecture : x86\r\n"; break;
        case 6: architectureLine = "processor architecture : Intel Itanium-based\r\n"; break;
        case 9: architectureLine = "processor architecture : x64 (AMD or Intel)\r\n"; break;
        default: architectureLine = "processor architecture : Unknown architecture\r\n"; break;
    }
    snprintf(pageLine, sizeof pageLine, "Page size : %d\r\n", (int)pageSize);
    snprintf(processorLine, sizeof processorLine, "Number of processors : %d\r\n", (int)processors);
    char joined[1204];
    int n = snprintf(joined, sizeof joined, "%s%s%s%s", oemLine, architectureLine, pageLine,
                     processorLine);
    if (n < 0 || (size_t)n >= capacity) return false;
    memcpy(text, joined, (size_t)n + 1);
    return true;
}
