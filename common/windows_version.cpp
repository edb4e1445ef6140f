// Windows generation, WOW64 detection, the program's own version and the
// formatted message box: small platform queries the whole program leans on.
//
// The generation is asked of the system on every call (the basic, non-extended
// OSVERSIONINFOA). Because the manifest declares compatibility only up to
// Windows 8, Windows 8.1 and later report 6.2 to this program and classify as
// Win8; Wine's "win10" prefix behaves the same. (The OS lines of the report
// print the real version instead; see collect/system/system_info.cpp.)
#include "common/windows_version.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/bounded_format.h"
#include "common/fs_redirection.h"
#include "common/owned_handle.h"

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

bool IsWindows64Bit() {
#if defined(_WIN64)
    return true;
#else
    return IsWow64();
#endif
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
    // Read from the loaded program's own resources rather than through its
    // file name: that name may not fit 256 characters or the ANSI code page,
    // and the file on disk is the same one that is loaded. VerQueryValue
    // wants a writable copy of the block, as GetFileVersionInfo would give.
    HMODULE program = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found != NULL ? LoadResource(program, found) : NULL;
    const void* resource = loaded != NULL ? LockResource(loaded) : NULL;
    const DWORD size = found != NULL ? SizeofResource(program, found) : 0;
    if (resource == NULL || size == 0) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error(%d)", (int)GetLastError());
        return false;
    }
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block.Valid()) {
        ShowFormattedMessage(NULL, "Error", MB_OK, "version error(%d)", (int)GetLastError());
        return false;
    }
    memcpy(block.Get(), resource, size);
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixedLength = 0;
    if (!VerQueryValueW(block.Get(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength) ||
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

namespace {

// A file's whole version resource in a zeroed heap block; false when the file
// has none or it cannot be read.
bool LoadVersionResource(const char* path, OwnedHeapBlock& block) {
    if (path == NULL || path[0] == '\0') return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return false;
    block.Reset(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!block.Valid()) return false;
    return GetFileVersionInfoA(path, 0, size, block.Get()) != FALSE;
}

// Whether path lies in the system folder or below it.
bool IsUnderSystemFolder(const char* path) {
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder || strlen(path) <= length || path[length] != '\\') return false;
    char start[MAX_PATH];
    memcpy(start, path, length);
    start[length] = '\0';
    return lstrcmpiA(start, folder) == 0;
}

// The version resource of a file named in the native view: redirection is
// off only around the two file reads. The version library is bound before
// that (both calls fail at once on the empty name), because while
// redirection is off the system folder would offer its 64-bit copy.
bool LoadNativeVersionResource(const char* path, OwnedHeapBlock& block) {
    if (path == NULL || path[0] == '\0') return false;
    if (!IsUnderSystemFolder(path)) return LoadVersionResource(path, block);
    DWORD ignored = 0;
    char unused[4];
    GetFileVersionInfoSizeA("", &ignored);
    GetFileVersionInfoA("", 0, sizeof unused, unused);
    FsRedirectionGuard native;
    return LoadVersionResource(path, block);
}

}  // namespace

bool GetFileProductVersion(const char* path, char version[260]) {
    OwnedHeapBlock block;
    if (!LoadVersionResource(path, block)) return false;
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixedLength = 0;
    if (!VerQueryValueA(block.Get(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) ||
        fixed == NULL || fixedLength < sizeof(VS_FIXEDFILEINFO))
        return false;
    snprintf(version, 260, "%d.%d.%d.%d\n", (int)HIWORD(fixed->dwProductVersionMS),
             (int)LOWORD(fixed->dwProductVersionMS), (int)HIWORD(fixed->dwProductVersionLS),
             (int)LOWORD(fixed->dwProductVersionLS));
    return true;
}

namespace {

// The translation table lists the language/code-page pairs whose string tables
// the file carries. The first pair in Unicode (1200) or Western European
// (1252) that has the field wins; without one, the last pair that has it.
bool QueryVersionStringField(const OwnedHeapBlock& block, const char* field, char value[256]) {
    const WORD* pairs = NULL;
    UINT tableBytes = 4;
    BOOL found = VerQueryValueA(block.Get(), "\\VarFileInfo\\Translation",
                                reinterpret_cast<void**>(const_cast<WORD**>(&pairs)), &tableBytes);
    value[0] = '\0';
    // A file without a translation table leaves the length untouched on some
    // systems; the pointer is only valid when the query succeeded.
    if (!found || pairs == NULL || tableBytes < 4) return false;
    UINT pairCount = tableBytes / 4;
    for (UINT i = 0; i < pairCount; ++i) {
        WORD language = pairs[2 * i];
        WORD codePage = pairs[2 * i + 1];
        char subBlock[256];
        snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s", language, codePage, field);
        const char* text = NULL;
        UINT textLength = 0;
        if (!VerQueryValueA(block.Get(), subBlock, reinterpret_cast<void**>(const_cast<char**>(&text)),
                            &textLength) ||
            text == NULL)
            continue;
        if (textLength > 0 && textLength < 256) {
            lstrcpynA(value, text, 256);
            if (codePage == 1200 || codePage == 1252) return true;
        }
    }
    return value[0] != '\0';
}

}  // namespace

bool GetVersionStringField(const char* path, const char* field, char value[256]) {
    OwnedHeapBlock block;
    if (!LoadVersionResource(path, block)) return false;
    return QueryVersionStringField(block, field, value);
}

bool GetNativeVersionStringField(const char* path, const char* field, char value[256]) {
    OwnedHeapBlock block;
    if (!LoadNativeVersionResource(path, block)) return false;
    return QueryVersionStringField(block, field, value);
}
