// A stand-in for the system's console tools in tests. Copied into the system
// folder under a test's chosen name, it does what its arguments (or, when it
// plays dxdiag and the arguments are fixed, its environment) tell it:
//   out TEXT        prints TEXT and CR LF on standard output
//   both OUT ERR    prints ERR on standard error, then OUT and CR LF on standard output
//   bytes N         prints N bytes of a repeating pattern
//   silent          prints nothing
//   hang            never ends
//   ... /t FILE     plays dxdiag (FILE read from the wide command line): DGN_STANDIN_DXDIAG = "copy" (default) copies
//                   the file named by DGN_STANDIN_SOURCE to FILE, "hang" never
//                   ends, "partial" writes the start of a report to FILE and
//                   never ends, holding FILE open without sharing (a dxdiag
//                   stopped while it writes), "nofile" ends without writing
//                   FILE, "gate" waits until the file named by DGN_STANDIN_GATE
//                   exists, then copies
//   anything else   prints "stand-in ran: " and its command line; copied as
//                   netsh.exe, "netsh stand-in, N-bit, in FOLDER: " and its
//                   command line instead (N its own bitness, FOLDER the name
//                   of the folder it was started from, in lower case), so that
//                   a test tells the two system folders' catalogs apart
// With DGN_STANDIN_LOG set, it first appends its command line and its process
// id, each followed by CR LF, to that file.
// When it does not play dxdiag (a tool whose command line the program under
// test fixes, such as a route tracer), DGN_STANDIN_HANG=1 makes it never end,
// and DGN_STANDIN_DELAY_MS=N makes it take N milliseconds before it prints.
// With DGN_STANDIN_TIMES set, it appends "NAME START_US END_US" and CR LF to
// that file when it ends: its program file's name and its own running time
// from entering main to leaving it, in microseconds of the system clock since
// 1970, so a benchmark can tell the tool's own time from the time around it.
//
// A program under test passes its own environment on to every tool it starts,
// so the environment is fixed for the life of that program. To let one
// program instance meet differently behaving tools run after run, the file
// named by DGN_STANDIN_CONTROL, read anew by every start, may hold lines
// NAME=VALUE (for example DGN_STANDIN_DXDIAG=hang); a name found there wins
// over the environment, and an empty value there counts as unset.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "own_time_log.h"

namespace {

// The value of a DGN_STANDIN_... setting from the control file, else from the
// environment; false when it is unset (or empty in the control file).
bool GetSetting(const char* name, char* value, DWORD size) {
    char control[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("DGN_STANDIN_CONTROL", control, sizeof control);
    if (length > 0 && length < sizeof control) {
        HANDLE file = CreateFileA(control, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            static char text[8192];
            DWORD read = 0;
            if (!ReadFile(file, text, sizeof text - 1, &read, NULL)) read = 0;
            CloseHandle(file);
            text[read] = '\0';
            size_t nameLength = strlen(name);
            for (char* line = text; *line != '\0';) {
                char* end = line + strcspn(line, "\r\n");
                char next = *end;
                *end = '\0';
                if (strncmp(line, name, nameLength) == 0 && line[nameLength] == '=') {
                    const char* found = line + nameLength + 1;
                    if (strlen(found) >= size) return false;
                    strcpy(value, found);
                    return *value != '\0';
                }
                line = next == '\0' ? end : end + 1;
            }
        }
    }
    length = GetEnvironmentVariableA(name, value, size);
    return length > 0 && length < size;
}

void WriteAll(HANDLE handle, const char* bytes, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, count, &written, NULL) || written == 0) return;
        bytes += written;
        count -= written;
    }
}

void Print(const char* text) { WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)strlen(text)); }

void LogCommandLine() {
    char log[MAX_PATH];
    if (!GetSetting("DGN_STANDIN_LOG", log, sizeof log)) return;
    char entry[4096];
    int entryLength = wsprintfA(entry, "%.3900s\r\n%lu\r\n", GetCommandLineA(), GetCurrentProcessId());
    AppendToSharedLog(log, entry, (DWORD)entryLength);
}

unsigned long long g_startedUs = 0;

void LogOwnTimeAtExit() { LogOwnTime(g_startedUs); }

// The target comes from the wide command line, so a file named in any script
// is the one written.
int PlayDxDiag(const wchar_t* target) {
    char mode[32];
    if (!GetSetting("DGN_STANDIN_DXDIAG", mode, sizeof mode)) strcpy(mode, "copy");
    if (strcmp(mode, "hang") == 0) Sleep(INFINITE);
    if (strcmp(mode, "partial") == 0) {
        HANDLE file = CreateFileW(target, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) return 5;
        const char start[] = "------------------\r\nSystem Information\r\n------------------\r\n";
        WriteAll(file, start, sizeof start - 1);
        Sleep(INFINITE);
    }
    if (strcmp(mode, "nofile") == 0) return 0;
    if (strcmp(mode, "gate") == 0) {
        char gate[MAX_PATH];
        if (!GetSetting("DGN_STANDIN_GATE", gate, sizeof gate)) return 4;
        // The test opens the gate by creating the file; there is nothing else to wait on.
        while (GetFileAttributesA(gate) == INVALID_FILE_ATTRIBUTES) Sleep(20);
    }
    char source[MAX_PATH];
    if (!GetSetting("DGN_STANDIN_SOURCE", source, sizeof source)) return 2;
    wchar_t wideSource[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, source, -1, wideSource, MAX_PATH) == 0) return 2;
    return CopyFileW(wideSource, target, FALSE) ? 0 : 3;
}

// The name of the folder this program file lies in, in lower case.
const char* OwnFolderName(char folder[MAX_PATH]) {
    DWORD length = GetModuleFileNameA(NULL, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    char* slash = strrchr(folder, '\\');
    if (slash == NULL) return "";
    *slash = '\0';
    slash = strrchr(folder, '\\');
    return CharLowerA(slash != NULL ? slash + 1 : folder);
}

bool PlaysNetsh() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const char* slash = strrchr(path, '\\');
    return lstrcmpiA(slash != NULL ? slash + 1 : path, "netsh.exe") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    g_startedUs = SystemMicroseconds();
    atexit(LogOwnTimeAtExit);
    LogCommandLine();
    int wideCount = 0;
    wchar_t** wideArgv = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    for (int i = 1; wideArgv != NULL && i + 1 < wideCount; ++i) {
        if (wcscmp(wideArgv[i], L"/t") == 0) return PlayDxDiag(wideArgv[i + 1]);
    }
    char hang[8];
    if (GetSetting("DGN_STANDIN_HANG", hang, sizeof hang) && strcmp(hang, "1") == 0) Sleep(INFINITE);
    char delay[16];
    if (GetSetting("DGN_STANDIN_DELAY_MS", delay, sizeof delay)) Sleep((DWORD)atol(delay));
    const char* command = argc > 1 ? argv[1] : "";
    if (strcmp(command, "out") == 0 && argc > 2) {
        Print(argv[2]);
        Print("\r\n");
    } else if (strcmp(command, "both") == 0 && argc > 3) {
        WriteAll(GetStdHandle(STD_ERROR_HANDLE), argv[3], (DWORD)strlen(argv[3]));
        Print(argv[2]);
        Print("\r\n");
    } else if (strcmp(command, "bytes") == 0 && argc > 2) {
        long total = atol(argv[2]);
        char block[1000];
        for (int i = 0; i < (int)sizeof block; ++i) block[i] = (char)('a' + i % 26);
        for (long sent = 0; sent < total; sent += (long)sizeof block) {
            long count = total - sent < (long)sizeof block ? total - sent : (long)sizeof block;
            WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), block, (DWORD)count);
        }
    } else if (strcmp(command, "silent") == 0) {
    } else if (strcmp(command, "hang") == 0) {
        Sleep(INFINITE);
    } else if (PlaysNetsh()) {
        char folder[MAX_PATH];
        char said[MAX_PATH + 64];
        wsprintfA(said, "netsh stand-in, %d-bit, in %s: ", (int)sizeof(void*) * 8, OwnFolderName(folder));
        Print(said);
        Print(GetCommandLineA());
        Print("\r\n");
    } else {
        Print("stand-in ran: ");
        Print(GetCommandLineA());
        Print("\r\n");
    }
    return 0;
}
