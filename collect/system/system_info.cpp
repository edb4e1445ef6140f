// The OS version lines and the computer-system section, read from the
// system's own records and worded by the neutral composers.
#include "collect/system/system_info.h"

#include <windows.h>

#include "common/windows_version.h"

bool FormatOsVersion(char text[256]) {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return false;
    return ComposeOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                            info.dwBuildNumber, info.szCSDVersion, IsWindows64Bit(), text);
}

void WriteOsVersion(ReportSink sink) {
    char text[256];
    if (FormatOsVersion(text)) WriteFormatted(sink, "%s\r\n", text);
}

bool FormatSystemInfo(char* text, size_t capacity) {
    if (text == NULL) return false;
    // The plain call, not GetNativeSystemInfo: under WOW64 the architecture
    // reads as x86, which is what this 32-bit program runs as.
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof info);
    GetSystemInfo(&info);
    return ComposeSystemInfo(info.dwOemId, info.wProcessorArchitecture, info.dwPageSize,
                             info.dwNumberOfProcessors, text, capacity);
}

void WriteSystemInfo(ReportSink sink) {
    WriteSectionBanner(sink, "information about the current computer system");
    char text[1024];
    if (FormatSystemInfo(text, sizeof text))
        WriteFormatted(sink, "%s\r\n", text);
    else
        WriteFormatted(sink, "Fail to load system information\r\n");
    WriteEmptyLine(sink);
}
