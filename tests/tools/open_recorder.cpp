// open_recorder: stands in for the browser, the ZIP program and the folder
// window in a test prefix. Registered as the command that opens them, it
// appends what it was asked to open and which process started it to a log:
//   open_recorder LOG TARGET   ->  "TARGET<TAB>PARENT-PID<TAB>PARENT-PROGRAM"
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace {

bool FindProcess(DWORD id, PROCESSENTRY32* found) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    bool ok = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !ok; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == id) {
            *found = entry;
            ok = true;
        }
    CloseHandle(snapshot);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    PROCESSENTRY32 self, parent;
    DWORD parentId = FindProcess(GetCurrentProcessId(), &self) ? self.th32ParentProcessID : 0;
    const char* parentName = parentId != 0 && FindProcess(parentId, &parent) ? parent.szExeFile : "?";
    FILE* log = fopen(argv[1], "a");
    if (log == NULL) return 1;
    fprintf(log, "%s\t%lu\t%s\n", argv[2], (unsigned long)parentId, parentName);
    fclose(log);
    return 0;
}
