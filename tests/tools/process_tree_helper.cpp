// Builds a small, known process tree for the process-listing tests. The test
// copies this program under several names; what a copy does depends on its
// name:
//   root   starts left, then right, then bridge, waits until bridge has ended,
//          then reports ready
//   left   starts leaf, then reports ready
//   bridge starts orphan and ends as soon as orphan is ready, so orphan's
//          parent is gone
//   leaf, right, orphan  report ready
// Every copy except bridge then waits for the quit event.
// Usage: <copy>.exe <event prefix> <timeout ms>
#include <windows.h>
#include <shlwapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

char g_folder[MAX_PATH];
char g_prefix[128];
DWORD g_timeout = 20000;

HANDLE NamedEvent(const char* name, bool manualReset) {
    char full[256];
    snprintf(full, sizeof full, "%s_%s", g_prefix, name);
    return CreateEventA(NULL, manualReset ? TRUE : FALSE, FALSE, full);
}

// Starts <name>.exe from this folder and waits until it reports ready.
HANDLE StartChild(const char* name) {
    HANDLE ready = NamedEvent(name, true);
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s.exe", g_folder, name);
    char commandLine[512];
    snprintf(commandLine, sizeof commandLine, "\"%s\" %s %lu", path, g_prefix, g_timeout);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    if (!CreateProcessA(path, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) exit(10);
    CloseHandle(info.hThread);
    if (WaitForSingleObject(ready, g_timeout) != WAIT_OBJECT_0) exit(11);
    CloseHandle(ready);
    return info.hProcess;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    lstrcpynA(g_prefix, argv[1], sizeof g_prefix);
    g_timeout = strtoul(argv[2], NULL, 10);
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    lstrcpynA(g_folder, self, sizeof g_folder);
    PathRemoveFileSpecA(g_folder);
    char role[MAX_PATH];
    lstrcpynA(role, PathFindFileNameA(self), sizeof role);
    PathRemoveExtensionA(role);
    CharLowerA(role);

    HANDLE quit = NamedEvent("quit", true);
    if (strcmp(role, "root") == 0) {
        CloseHandle(StartChild("left"));
        CloseHandle(StartChild("right"));
        HANDLE bridge = StartChild("bridge");
        if (WaitForSingleObject(bridge, g_timeout) != WAIT_OBJECT_0) return 12;
        CloseHandle(bridge);
    } else if (strcmp(role, "left") == 0) {
        CloseHandle(StartChild("leaf"));
    } else if (strcmp(role, "bridge") == 0) {
        CloseHandle(StartChild("orphan"));
        HANDLE ready = NamedEvent(role, true);
        SetEvent(ready);
        return 0;
    }
    HANDLE ready = NamedEvent(role, true);
    SetEvent(ready);
    WaitForSingleObject(quit, g_timeout);
    return 0;
}
