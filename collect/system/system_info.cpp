// The OS version lines and the computer-system section, read from the
// system's own records and worded by the neutral composers.
#include "collect/system/system_info.h"

#include <windows.h>

#include "common/windows_version.h"

namespace {

// The version the system really has: RtlGetVersion answers regardless of the
// manifest. ntdll is in every process, so it is only looked up, never loaded.
bool GetTrueVersion(OSVERSIONINFOW* info) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == NULL) return false;
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
    RtlGetVersionFn rtlGetVersion =
        reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion == NULL) return false;
    ZeroMemory(info, sizeof *info);
    info->dwOSVersionInfoSize = sizeof *info;
    return rtlGetVersion(info) == 0;
}

}  // namespace

bool FormatOsVersion(char text[256]) {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return false;
    DWORD major = info.dwMajorVersion;
    DWORD minor = info.dwMinorVersion;
    DWORD build = info.dwBuildNumber;
    // Windows 8.1 and later report 6.2 build 9200 to this program; the lines
    // print the real version and build (the service-pack text stays as reported).
    OSVERSIONINFOW trueInfo;
    if (GetTrueVersion(&trueInfo) &&
        UseTrueOsVersion(info.dwPlatformId, major, minor, trueInfo.dwMajorVersion, trueInfo.dwMinorVersion)) {
        major = trueInfo.dwMajorVersion;
        minor = trueInfo.dwMinorVersion;
        build = trueInfo.dwBuildNumber;
    }
    return ComposeOsVersion(info.dwPlatformId, major, minor, build, info.szCSDVersion, IsWindows64Bit(), text);
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
