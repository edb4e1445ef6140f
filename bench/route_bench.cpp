// Route-tracing overhead: runs the route step for 4, 32 and 128 traces whose
// stand-in tools each print 1 MB and report their own running time, and
// prints the step's time minus the slowest trace's own time. Runs under Wine
// inside the sealed test network (bench/route starts it).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "collect/network/route_trace.h"
#include "collect/network/sockets.h"
#include "collect/run_control.h"

namespace {

double Seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string ReadAll(const char* path) {
    std::string bytes;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    static char chunk[1 << 20];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    // Output per trace: 1 MB unless given (bench/route passes its arguments on).
    const unsigned long kOutputBytes = argc > 1 ? strtoul(argv[1], NULL, 10) : 1048576;
    StartSockets();
    PrepareRunCancelEvent();

    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string scriptPath = std::string(folder) + "route_bench_script.txt";
    FILE* script = fopen(scriptPath.c_str(), "w");
    if (script == NULL) return 1;
    for (int i = 1; i <= kMaxRouteTraces; ++i) fprintf(script, "198.18.0.%d timed %lu\n", i, kOutputBytes);
    fclose(script);
    SetEnvironmentVariableA("DIAGNOVA_ROUTE_SCRIPT", scriptPath.c_str());

    const int counts[] = {4, 32, 128};
    int failures = 0;
    for (int count : counts) {
        std::vector<ServerEntry> servers(count);
        for (int i = 0; i < count; ++i) {
            memset(&servers[i], 0, sizeof servers[i]);
            snprintf(servers[i].label, sizeof servers[i].label, "Bench %d", i + 1);
            servers[i].region = 3;
            snprintf(servers[i].host, sizeof servers[i].host, "198.18.0.%d", i + 1);
            servers[i].checks = CheckRoute;
        }
        char reportPath[MAX_PATH];
        GetTempFileNameA(folder, "rb", 0, reportPath);
        HANDLE report = CreateFileA(reportPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
        double start = Seconds();
        WriteRouteTraces(report, count, servers.data());
        double stepSeconds = Seconds() - start;
        CloseHandle(report);

        std::string text = ReadAll(reportPath);
        DeleteFileA(reportPath);
        int blocks = 0;
        unsigned long slowestMs = 0;
        for (size_t at = text.find("own time: "); at != std::string::npos; at = text.find("own time: ", at + 1)) {
            unsigned long ms = strtoul(text.c_str() + at + 10, NULL, 10);
            if (ms > slowestMs) slowestMs = ms;
            ++blocks;
        }
        bool whole = blocks == count && text.size() >= static_cast<size_t>(count) * kOutputBytes &&
                     text.find("timeout(") == std::string::npos;
        if (!whole) ++failures;
        printf("# %d traces: step %.3f s, slowest trace %.3f s, %d complete blocks, report %lu bytes%s\n", count,
               stepSeconds, slowestMs / 1000.0, blocks, static_cast<unsigned long>(text.size()),
               whole ? "" : " (INCOMPLETE)");
        printf("route_overhead_s_%d: %.3f\n", count, stepSeconds - slowestMs / 1000.0);
        fflush(stdout);
    }
    DeleteFileA(scriptPath.c_str());
    return failures == 0 ? 0 : 1;
}
