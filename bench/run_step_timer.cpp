// The run benchmark's build of Diagnova: the program's own entry point and
// resources, with every report step of a test run wrapped by a timer first.
//
// The steps are reached through the run's step table (ReportStepWriters), so
// the wrappers sit around the very functions the program calls, on the very
// thread that calls them, and the program itself carries no timing code.
// This build's entry point installs the wrappers and then calls the
// program's own one, which the build renames to DiagnovaWinMain.
//
// Each step appends one line "NAME START_US END_US" to the file named by
// DIAGNOVA_STEP_LOG, in microseconds of the system clock since 1970 (the same
// clock the stand-in tools log with, so the two logs can be laid side by
// side). "result_dialog" marks the moment the result dialog opens.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "run/test_run.h"
#include "tests/tools/own_time_log.h"

#undef WinMain

namespace {

ReportStepWriters g_programWriters;
HANDLE g_stepLog = INVALID_HANDLE_VALUE;

void LogStep(const char* name, unsigned long long start, unsigned long long end) {
    if (g_stepLog == INVALID_HANDLE_VALUE) return;
    char line[128];
    int length = snprintf(line, sizeof line, "%s %llu %llu\r\n", name, start, end);
    DWORD written = 0;
    if (length > 0) WriteFile(g_stepLog, line, (DWORD)length, &written, NULL);
}

// Times one call of a step: from construction to the end of the scope.
class StepTimer {
public:
    explicit StepTimer(const char* name) : name_(name), start_(SystemMicroseconds()) {}
    ~StepTimer() { LogStep(name_, start_, SystemMicroseconds()); }
    StepTimer(const StepTimer&) = delete;
    StepTimer& operator=(const StepTimer&) = delete;

private:
    const char* name_;
    unsigned long long start_;
};

#define TIMED_SINK_STEP(field, name)                      \
    void Timed_##field(ReportSink sink) {                 \
        StepTimer timer(name);                            \
        g_programWriters.field(sink);                     \
    }
#define TIMED_SERVER_STEP(field, name)                                       \
    void Timed_##field(ReportSink sink, int count, const ServerEntry* list) { \
        StepTimer timer(name);                                               \
        g_programWriters.field(sink, count, list);                           \
    }

TIMED_SINK_STEP(uacStatus, "uac_status")
TIMED_SINK_STEP(loggedOnUsers, "logged_on_users")
TIMED_SINK_STEP(installedGames, "installed_games")
TIMED_SINK_STEP(installedDirectX, "installed_directx")
TIMED_SINK_STEP(dxDiag, "dxdiag")
TIMED_SINK_STEP(osVersion, "os_version")
TIMED_SINK_STEP(systemInfo, "system_info")
TIMED_SINK_STEP(adapterSettings, "adapter_settings")
TIMED_SINK_STEP(proxySettings, "proxy_settings")
TIMED_SINK_STEP(lspCatalog, "lsp_catalog")
TIMED_SINK_STEP(bhoList, "bho_list")
TIMED_SINK_STEP(externalAddress, "external_address")
TIMED_SERVER_STEP(serverConnectivity, "server_connectivity")
TIMED_SERVER_STEP(serverAddresses, "server_addresses")
TIMED_SINK_STEP(networkConnections, "network_connections")
TIMED_SERVER_STEP(routeTraces, "route_traces")
TIMED_SINK_STEP(hostsFile, "hosts_file")
TIMED_SINK_STEP(processTree, "process_tree")
TIMED_SINK_STEP(registryDump, "registry_dump")

bool Timed_appendDigest(ReportSink sink) {
    StepTimer timer("seal");
    return g_programWriters.appendDigest(sink);
}

bool Timed_verifyReport(const char* path) {
    StepTimer timer("verify");
    return g_programWriters.verifyReport(path);
}

bool Timed_buildArchive(const char* archivePath, const char* reportName, const char* reportPath) {
    StepTimer timer("archive");
    return g_programWriters.buildArchive(archivePath, reportName, reportPath);
}

INT_PTR Timed_showResult(const char* deliveredPath) {
    unsigned long long now = SystemMicroseconds();
    LogStep("result_dialog", now, now);
    return g_programWriters.showResult(deliveredPath);
}

void InstallStepTimers() {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("DIAGNOVA_STEP_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    g_stepLog = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    if (g_stepLog == INVALID_HANDLE_VALUE) return;
    g_programWriters = CurrentReportStepWriters();
    ReportStepWriters timed = g_programWriters;
    timed.uacStatus = Timed_uacStatus;
    timed.loggedOnUsers = Timed_loggedOnUsers;
    timed.installedGames = Timed_installedGames;
    timed.installedDirectX = Timed_installedDirectX;
    timed.dxDiag = Timed_dxDiag;
    timed.osVersion = Timed_osVersion;
    timed.systemInfo = Timed_systemInfo;
    timed.adapterSettings = Timed_adapterSettings;
    timed.proxySettings = Timed_proxySettings;
    timed.lspCatalog = Timed_lspCatalog;
    timed.bhoList = Timed_bhoList;
    timed.externalAddress = Timed_externalAddress;
    timed.serverConnectivity = Timed_serverConnectivity;
    timed.serverAddresses = Timed_serverAddresses;
    timed.networkConnections = Timed_networkConnections;
    timed.routeTraces = Timed_routeTraces;
    timed.hostsFile = Timed_hostsFile;
    timed.processTree = Timed_processTree;
    timed.registryDump = Timed_registryDump;
    timed.appendDigest = Timed_appendDigest;
    timed.verifyReport = Timed_verifyReport;
    timed.buildArchive = Timed_buildArchive;
    timed.showResult = Timed_showResult;
    SetReportStepWriters(timed);
}

}  // namespace

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int showCommand) {
    InstallStepTimers();
    return DiagnovaWinMain(instance, previous, arguments, showCommand);
}
