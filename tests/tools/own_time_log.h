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

// Appends "<program> <started> <now>" to the file named by DGN_STANDIN_TIMES,
// if set, in one write so that tools ending together never mix their lines.
inline void LogOwnTime(unsigned long long startedUs) {
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("DGN_STANDIN_TIMES", log, sizeof log);
    if (length == 0 || length >= sizeof log) return;
    char program[MAX_PATH] = "";
    GetModuleFileNameA(NULL, program, sizeof program);
    const char* name = strrchr(program, '\\');
    name = name != NULL ? name + 1 : program;
    HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    char entry[MAX_PATH + 64];
    int entryLength = snprintf(entry, sizeof entry, "%s %llu %llu\r\n", name, startedUs, SystemMicroseconds());
    DWORD written = 0;
    if (entryLength > 0) WriteFile(file, entry, (DWORD)entryLength, &written, NULL);
    CloseHandle(file);
}
