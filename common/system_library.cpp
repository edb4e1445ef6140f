// Windows' own DLLs from the system folder only (see the header).
#include "common/system_library.h"

#include <string.h>

namespace {

// From <libloaderapi.h> of Windows 8; XP's headers lack it.
const DWORD kLoadLibrarySearchSystem32 = 0x00000800;

// How LoadSystemLibrary has the DLL's own imports searched: from the
// system folder. LOAD_LIBRARY_SEARCH_SYSTEM32 once the system has shown it
// knows the flag (SetDefaultDllDirectories worked); before that, and where
// it does not, the altered search path, which starts in the DLL's folder.
DWORD g_systemLoadFlags = LOAD_WITH_ALTERED_SEARCH_PATH;

}  // namespace

void RestrictDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    SetDllDirectoryFunction setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDefaultDllDirectories != NULL && setDefaultDllDirectories(kLoadLibrarySearchSystem32))
        g_systemLoadFlags = kLoadLibrarySearchSystem32;
    if (setDllDirectory != NULL) setDllDirectory("");
    // Kept for the rest of the program's life (Windows 2000 has none).
    LoadSystemLibrary("uxtheme.dll");
}

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = strlen(name);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) return NULL;
    path[length] = '\\';
    memcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryExA(path, NULL, g_systemLoadFlags);
}

FARPROC GetSystemFunction(const char* library, const char* function) {
    // Loading an already loaded DLL again only counts a reference; the DLLs
    // stay loaded for the rest of the program's life.
    HMODULE module = LoadSystemLibrary(library);
    return module != NULL ? GetProcAddress(module, function) : NULL;
}

FARPROC GetSideBySideFunction(const char* library, const char* function) {
    HMODULE module = LoadLibraryA(library);
    return module != NULL ? GetProcAddress(module, function) : NULL;
}
