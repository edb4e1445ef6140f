// A stand-in for the route tools (pathping.exe, tracert.exe), which Wine does
// not have. Tests copy it into the prefix's system folder under both names.
//
// The traced address is the last word of the command line. What the tool does
// for an address comes from the script file named by DIAGNOVA_ROUTE_SCRIPT,
// one line per address: "<address> <action> [number]":
//   lines N    N hop lines, then "Trace complete."
//   bytes N    N bytes of hop-like lines (more than a pipe holds, if wanted)
//   sleep MS   the first line, a pause of MS milliseconds, then "Trace complete."
//   hang       the first line, then never ends
//   hold       the first line, then it waits for the named event
//              DIAGNOVA_ROUTE_LINGER_EVENT (at most a minute), then
//              "Trace complete."
//   linger     the first line, then it starts a copy of itself that inherits
//              its standard output and holds it open until the named event
//              DIAGNOVA_ROUTE_LINGER_EVENT is set (at most a minute), and ends
//              with "Trace complete." while that copy still holds the pipe
//   marker N   like bytes N, then a 20-character rule line, the heading
//              "DirectX Components" and one more line
//   console    "shared console" when other processes are attached to its
//              console, else "own console"; then it releases the named
//              semaphore DIAGNOVA_ROUTE_REPORTED once, when there is one
//   timed N    like bytes N, then a line "own time: <ms> ms": the time since
//              this process was created, so the system's start-up work inside
//              the new process counts as the trace's own time
// An address without a line gets "lines 1". Every output starts with
// "stand-in: <command line>" so tests see exactly what was run.
// With DGN_STANDIN_TIMES set, it appends "NAME START_US END_US" and CR LF to
// that file when it ends, as tests/tools/tool_stand_in.cpp does: its program
// file's name and its own running time from entering main to leaving it, in
// microseconds of the system clock since 1970.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "own_time_log.h"

namespace {

void WriteAll(const char* bytes, DWORD count) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(out, bytes, count, &written, NULL) || written == 0) return;
        bytes += written;
        count -= written;
    }
}

void Print(const char* text) { WriteAll(text, (DWORD)strlen(text)); }

void PrintBytes(const char* address, unsigned long total) {
    static char block[65536];
    unsigned long filled = 0;
    int hop = 0;
    while (filled + 64 <= sizeof block) {
        char line[65];
        snprintf(line, sizeof line, "%3d  %-20s %36s\r\n", hop++ % 100, address, "0 ms  0/ 100 =  0%");
        memcpy(block + filled, line, 64);
        filled += 64;
    }
    while (total > 0) {
        DWORD n = total < filled ? (DWORD)total : (DWORD)filled;
        WriteAll(block, n);
        total -= n;
    }
}

// The script's action for the address, or "lines 1".
void FindAction(const char* address, char action[32], unsigned long* number) {
    strcpy(action, "lines");
    *number = 1;
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("DIAGNOVA_ROUTE_SCRIPT", path, sizeof path);
    if (n == 0 || n >= sizeof path) return;
    FILE* script = fopen(path, "r");
    if (script == NULL) return;
    char line[256];
    while (fgets(line, sizeof line, script) != NULL) {
        char lineAddress[64];
        char lineAction[32];
        unsigned long lineNumber = 0;
        int fields = sscanf(line, "%63s %31s %lu", lineAddress, lineAction, &lineNumber);
        if (fields >= 2 && strcmp(lineAddress, address) == 0) {
            strcpy(action, lineAction);
            *number = fields == 3 ? lineNumber : 0;
            break;
        }
    }
    fclose(script);
}

// Milliseconds since this process was created, from the same clock the
// system stamps the creation with; since main began when that is unknown.
unsigned long OwnMilliseconds(DWORD mainStart) {
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return GetTickCount() - mainStart;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER from, to;
    from.LowPart = created.dwLowDateTime;
    from.HighPart = created.dwHighDateTime;
    to.LowPart = now.dwLowDateTime;
    to.HighPart = now.dwHighDateTime;
    if (to.QuadPart < from.QuadPart) return GetTickCount() - mainStart;
    return (unsigned long)((to.QuadPart - from.QuadPart) / 10000);
}

// Starts "<this program> --hold" with inherited handles; it waits for the
// linger event and keeps the inherited output pipe open until then.
void StartHolder() {
    char self[MAX_PATH];
    if (GetModuleFileNameA(NULL, self, sizeof self) == 0) return;
    char line[MAX_PATH + 16];
    snprintf(line, sizeof line, "\"%s\" --hold", self);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    PROCESS_INFORMATION process;
    if (CreateProcessA(self, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// Opens the named object that the environment variable names, or NULL.
HANDLE OpenNamed(const char* variable, bool semaphore) {
    char name[128];
    DWORD n = GetEnvironmentVariableA(variable, name, sizeof name);
    if (n == 0 || n >= sizeof name) return NULL;
    return semaphore ? OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, name) : OpenEventA(SYNCHRONIZE, FALSE, name);
}

int Hold() {
    HANDLE event = OpenNamed("DIAGNOVA_ROUTE_LINGER_EVENT", false);
    if (event == NULL) return 1;
    WaitForSingleObject(event, 60000);
    return 0;
}

unsigned long long g_startedUs = 0;

void LogOwnTimeAtExit() { LogOwnTime(g_startedUs); }

}  // namespace

int main() {
    if (strstr(GetCommandLineA(), " --hold") != NULL) return Hold();
    g_startedUs = SystemMicroseconds();
    atexit(LogOwnTimeAtExit);
    DWORD start = GetTickCount();
    const char* commandLine = GetCommandLineA();
    const char* address = strrchr(commandLine, ' ');
    address = address != NULL ? address + 1 : commandLine;

    char action[32];
    unsigned long number = 0;
    FindAction(address, action, &number);

    char text[512];
    snprintf(text, sizeof text, "stand-in: %s\r\nTracing route to %s\r\n", commandLine, address);
    Print(text);
    if (strcmp(action, "hang") == 0) {
        Sleep(INFINITE);
    } else if (strcmp(action, "hold") == 0) {
        Hold();
    } else if (strcmp(action, "console") == 0) {
        DWORD processes[8];
        Print(GetConsoleProcessList(processes, 8) > 1 ? "shared console\r\n" : "own console\r\n");
        HANDLE reported = OpenNamed("DIAGNOVA_ROUTE_REPORTED", true);
        if (reported != NULL) ReleaseSemaphore(reported, 1, NULL);
    } else if (strcmp(action, "linger") == 0) {
        StartHolder();
    } else if (strcmp(action, "sleep") == 0) {
        Sleep(number);
    } else if (strcmp(action, "marker") == 0) {
        PrintBytes(address, number);
        Print("------------------\r\nDirectX Components\r\nafter the heading\r\n");
    } else if (strcmp(action, "bytes") == 0 || strcmp(action, "timed") == 0) {
        PrintBytes(address, number);
        if (strcmp(action, "timed") == 0) {
            snprintf(text, sizeof text, "own time: %lu ms\r\n", OwnMilliseconds(start));
            Print(text);
        }
    } else {
        for (unsigned long hop = 1; hop <= number; ++hop) {
            snprintf(text, sizeof text, "  %lu  %s\r\n", hop, address);
            Print(text);
        }
    }
    Print("Trace complete.\r\n");
    return 0;
}
