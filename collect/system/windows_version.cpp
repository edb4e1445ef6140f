// Windows generation, WOW64 detection, the program's own version and the
// formatted message box: small platform queries the whole program leans on.
//
// The generation is asked of the system on every call (the basic, non-extended
// OSVERSIONINFOA). Because the manifest declares compatibility only up to
// Windows 8, Windows 8.1 and later report 6.2 to this program and classify as
// Win8; Wine's "win10" prefix behaves the same.
#include "collect/system/windows_version.h"

#include <stdarg.h>
#include <stdio.h>

#include "common/owned_handle.h"

WindowsGeneration ClassifyWindowsVersion(DWORD platformId, DWORD major, DWORD minor) {
    if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (major != 4) return WindowsGeneration::Unknown;
        if (minor < 10) return WindowsGeneration::Win95;
        if (minor == 10) return WindowsGeneration::Win98;
        if (minor == 90) return WindowsGeneration::WinMe;
        return WindowsGeneration::Unknown;
    }
    if (platformId == VER_PLATFORM_WIN32_NT) {
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

WindowsGeneration GetWindowsGeneration() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return WindowsGeneration::Unknown;
    return ClassifyWindowsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

bool IsWow64() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == NULL) return false;
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    IsWow64ProcessFn isWow64Process =
        reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    if (isWow64Process == NULL) return false;
    BOOL wow64 = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) return false;
    return wow64 != FALSE;
}

int ShowFormattedMessage(HWND owner, const char* caption, UINT style, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    FormatTruncated(text, sizeof text, format, args);
    va_end(args);
    return MessageBoxA(owner, text, caption, style);
}

bool GetProgramVersion(char version[256]) {
    char path[256];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error(%d)", (int)GetLastError());
        return false;
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error(%d)", (int)GetLastError());
        return false;
    }
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block.Valid() || !GetFileVersionInfoA(path, 0, size, block.Get())) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error(%d)", (int)GetLastError());
        return false;
    }
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixedLength = 0;
    if (!VerQueryValueA(block.Get(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) ||
        fixed == NULL || fixedLength < sizeof(VS_FIXEDFILEINFO)) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error(%d)", (int)GetLastError());
        return false;
    }
    int n = snprintf(version, 256, "%d.%d.%d.%d", (int)HIWORD(fixed->dwFileVersionMS),
                     (int)LOWORD(fixed->dwFileVersionMS), (int)HIWORD(fixed->dwFileVersionLS),
                     (int)LOWORD(fixed->dwFileVersionLS));
    if (n < 0) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error. size too small");
        return false;
    }
    return true;
}
