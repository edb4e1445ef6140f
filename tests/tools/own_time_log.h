// Timestamps that the benchmark's programs share: the stand-in tools log when
// they started and ended, the step timer logs each step, the driver names the
// moment of the UI's longest stall. All use the system clock in microseconds
// since 1970, so lines from different processes can be compared.
#pragma once

#include <windows.h>
#include <stdio.h>
#include <string.h>

inline unsigned long long SystemMicroseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    // The file time counts 100 ns units since 1601.
    return (ticks.QuadPart - 116444736000000000ULL) / 10;
}

// Appends an entry to a log that several tools may write at once. Wine
// emulates appending by writing at the size it last saw, so two processes
// appending together can write over each other; a named mutex lets them take
// turns. Without the mutex the entry is still written.
inline void AppendToSharedLog(const char* path, const char* entry, DWORD length) {
    HANDLE turn = CreateMutexA(NULL, FALSE, "DgnStandInLogAppend");
    DWORD waited = turn != NULL ? WaitForSingleObject(turn, 10000) : WAIT_FAILED;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        // One write, so a reader never sees half an entry.
        DWORD written = 0;
        WriteFile(file, entry, length, &written, NULL);
        CloseHandle(file);
    }
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(turn);
    if (turn != NULL) CloseHandle(turn);
}

// Appends "<program> <started> <now>" to the file named by DGN_STANDIN_TIMES,
// if set.
inline void LogOwnTime(unsigned long long startedUs) {
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("DGN_STANDIN_TIMES", log, sizeof log);
    if (length == 0 || length >= sizeof log) return;
    char program[MAX_PATH] = "";
    GetModuleFileNameA(NULL, program, sizeof program);
    const char* name = strrchr(program, '\\');
    name = name != NULL ? name + 1 : program;
    char entry[MAX_PATH + 64];
    int entryLength = snprintf(entry, sizeof entry, "%s %llu %llu\r\n", name, startedUs, SystemMicroseconds());
    if (entryLength > 0) AppendToSharedLog(log, entry, (DWORD)entryLength);
}
