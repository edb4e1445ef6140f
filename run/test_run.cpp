// The test run: run start on the user-interface thread, the worker thread,
// and the fixed order of the report's steps with their guards, status texts
// and progress checkpoints.
//
// Guarded steps look at the run once, at their start, and are skipped whole
// when the run is no longer current; every other step always runs, so a
// cancelled report is still finished (then deleted). Everything the worker
// shows goes through the run relay (collect/run_control.h), which drops it
// once the run is not current or its dialog has ended.
#include "run/test_run.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "catalog/game_catalog.h"
#include "catalog/text_catalog.h"
#include "collect/network/local_network.h"
#include "collect/network/route_trace.h"
#include "collect/network/server_connectivity.h"
#include "collect/network/web_access.h"
#include "collect/run_control.h"
#include "collect/system/directx.h"
#include "collect/system/game_folders.h"
#include "collect/system/installed_games.h"
#include "collect/system/process_tree.h"
#include "collect/system/registry_dump.h"
#include "collect/system/system_info.h"
#include "collect/system/user_account.h"
#include "common/ansi_path.h"
#include "common/owned_handle.h"
#include "common/system_message.h"
#include "common/windows_version.h"
#include "report/report_seal.h"
#include "run/report_archive.h"
#include "run/report_delivery.h"

ProgressAnimation g_progressAnimation = {0, 0, 0, 0};

namespace {

// Run counter: -1 at program start, so the first run is run 0. Only the
// user-interface thread touches it.
LONG g_runCounter = -1;
const int kNoReportFileText = 112;
HANDLE g_workerEndSemaphore = NULL;
ResultWindow g_resultWindow = NULL;

// The run's default last step: whatever window the user interface has set.
INT_PTR ShowRunResult(const char* deliveredPath) {
    return g_resultWindow != NULL ? g_resultWindow(deliveredPath) : -1;
}

const ReportStepWriters kDefaultWriters = {
    WriteUacStatus,
    WriteLoggedOnUsers,
    WriteInstalledGames,
    WriteInstalledDirectX,
    WriteDxDiag,
    WriteOsVersion,
    WriteSystemInfo,
    WriteAdapterSettings,
    WriteProxySettings,
    WriteLspCatalog,
    WriteBhoList,
    WriteExternalAddress,
    WriteServerConnectivity,
    WriteServerAddresses,
    WriteNetworkConnections,
    WriteRouteTraces,
    WriteHostsFile,
    WriteProcessTree,
    WriteRegistryDump,
    AppendReportDigest,
    VerifyReportFile,
    BuildReportArchive,
    ShowRunResult,
};

ReportStepWriters g_writers = kDefaultWriters;

void ServersOf(const TestRunParams* params, int* count, const ServerEntry** servers) {
    const GameRecord* game = GetGameRecord(params->gameIndex);
    *count = game != NULL ? game->serverCount : 0;
    *servers = game != NULL ? game->servers : NULL;
}

void StartAnimation(const TestRunParams* params, int32_t start, int32_t end, uint32_t durationMs) {
    g_progressAnimation.start = start;
    g_progressAnimation.end = end;
    g_progressAnimation.durationMs = durationMs;
    g_progressAnimation.startTick = GetTickCount();
    RelayStartBarTimer(params->runId, kAnimationTimerId, kAnimationTimerPeriodMs, AnimateProgress);
}

void SetStatusText(const TestRunParams* params, int textId) {
    RelaySetStatusText(params->runId, GetText(textId));
}

// A run that cannot create its report tells the player why, with the
// temporary folder's real (wide) name and the system's reason, and then ends
// as after Cancel; without this the progress dialog would wait at its first
// state for ever. A run that is no longer current says nothing.
void EndRunWithoutReport(const TestRunParams* params, DWORD error) {
    if (!IsRunCurrent(params->runId)) return;
    wchar_t folder[kWidePathChars];
    GetWideTempFolder(folder);
    wchar_t reason[512];
    GetSystemReason(error, reason, sizeof reason / sizeof reason[0]);
    wchar_t intro[512];
    wchar_t caption[256];
    GetTextWide(kNoReportFileText, intro, sizeof intro / sizeof intro[0]);
    GetTextWide(10, caption, sizeof caption / sizeof caption[0]);
    const wchar_t* const parts[] = {intro, folder, reason};
    ShowParagraphs(GetMainWindowHandle(), caption, MB_OK | MB_ICONERROR, parts, 3);
    CancelRunFromStep();
}

// The worker's part between creating and freeing the record.
void RunWorker(const TestRunParams* params) {
    char reportPath[256];
    if (!MakeTempFileName(reportPath)) {
        EndRunWithoutReport(params, GetLastError());
        return;
    }
    {
        OwnedFile report(CreateFileA(reportPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, NULL));
        if (!report.Valid()) {
            const DWORD error = GetLastError();
            DeleteFileA(reportPath);
            EndRunWithoutReport(params, error);
            return;
        }
        ResetReportWriteFailures();
        WriteReport(report.Get(), params);
        // A report that lost a write (a full disk) has a hole or a cut end;
        // sealed, it would verify as if whole. Left unsealed, the check right
        // after fails and says so, and its copy in the archive never verifies.
        if (IsRunCurrent(params->runId) && GetReportWriteFailures() == 0) g_writers.appendDigest(report.Get());
    }
    if (!IsRunCurrent(params->runId)) {
        DeleteFileA(reportPath);
        return;
    }
    if (!g_writers.verifyReport(reportPath)) {
        MessageBoxA(NULL, "Checksum mismatched", "Error", MB_OK | MB_ICONERROR);
    }
    // Where the archive cannot be written, the player learns why and gets a
    // file that exists and holds the sealed report; the result dialog then
    // names that file.
    char delivered[MAX_PATH] = "";
    if (!g_writers.buildArchive(params->archivePath, params->reportName, reportPath) &&
        params->reportName[0] != '\0') {
        // An empty archive path is one that did not fit the run's record.
        DWORD error = params->archivePath[0] == '\0' ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
        char archiveName[260];
        GetArchiveFileName(params->gameIndex, archiveName);
        DeliverReportElsewhere(g_writers.buildArchive, archiveName, params->reportName, reportPath, delivered);
        TellReportDeliveredElsewhere(archiveName, error, delivered);
    }
    SetCheckpoint(params, kCheckpoints[kCheckpointCount - 1]);
    Sleep(kFinishedDelayMs);
    if (IsRunCurrent(params->runId)) {
        RelayNotifyDialog(params->runId, WM_TEST_FINISHED, delivered[0] != '\0' ? (LPARAM)delivered : 0);
    }
}

}  // namespace

const ReportStepWriters& DefaultReportStepWriters() { return kDefaultWriters; }
void SetReportStepWriters(const ReportStepWriters& writers) { g_writers = writers; }
const ReportStepWriters& CurrentReportStepWriters() { return g_writers; }
void SetWorkerEndSemaphore(HANDLE semaphore) { g_workerEndSemaphore = semaphore; }
void SetResultWindow(ResultWindow show) { g_resultWindow = show; }

void StartTestRun() {
    CreateRunRelay();
    g_runCounter++;
    g_progressWindow.runId = g_runCounter;

    int game = GetSelectedGame();
    TestRunParams* params = (TestRunParams*)calloc(1, sizeof(TestRunParams));
    if (params != NULL) {
        params->runId = g_runCounter;
        params->gameIndex = game;
        const GameRecord* record = GetGameRecord(game);
        if (record != NULL) snprintf(params->reportName, sizeof params->reportName, "%s Test.%s", record->name, "txt");
        // A path that does not fit is left out rather than cut: a cut path
        // would put the archive somewhere else under a wrong name.
        const char* archivePath = GetArchivePath(game);
        if (archivePath != NULL && strlen(archivePath) < sizeof params->archivePath) {
            strcpy(params->archivePath, archivePath);
        }
    }
    HANDLE thread = CreateThread(NULL, 0, TestWorker, params, 0, NULL);
    if (thread == NULL) {
        free(params);
        return;
    }
    CloseHandle(thread);
}

DWORD WINAPI TestWorker(LPVOID argument) {
    TestRunParams* params = (TestRunParams*)argument;
    if (params != NULL) {
        SetThreadRunId(params->runId);
        SetThreadRunGame(params->gameIndex);
        RunWorker(params);
        free(params);
    }
    if (g_workerEndSemaphore != NULL) ReleaseSemaphore(g_workerEndSemaphore, 1, NULL);
    return 0;
}

void SetCheckpoint(const TestRunParams* params, int position) {
    if (!IsRunCurrent(params->runId)) return;
    RelaySetBarPosition(params->runId, position);
}

void WriteReport(ReportSink sink, const TestRunParams* params) {
    WriteReportHeader(sink, params->gameIndex);
    SetCheckpoint(params, 2);
    g_writers.uacStatus(sink);
    g_writers.loggedOnUsers(sink);
    g_writers.installedGames(sink);
    RunDirectXStep(sink, params);
    g_writers.osVersion(sink);
    g_writers.systemInfo(sink);
    RunNetworkSteps(sink, params);
    g_writers.processTree(sink);
    SetCheckpoint(params, 94);
    g_writers.registryDump(sink);
    SetCheckpoint(params, 96);
    WriteEndMarker(sink);
}

void RunDirectXStep(ReportSink sink, const TestRunParams* params) {
    if (!IsRunCurrent(params->runId)) return;
    StartAnimation(params, 2, 3, 40000);
    SetStatusText(params, 46);
    g_writers.installedDirectX(sink);
    g_writers.dxDiag(sink);
    RelayStopBarTimer(params->runId, kAnimationTimerId);
    SetCheckpoint(params, 3);
}

void RunNetworkSteps(ReportSink sink, const TestRunParams* params) {
    g_writers.adapterSettings(sink);
    SetCheckpoint(params, 4);
    g_writers.proxySettings(sink);
    g_writers.lspCatalog(sink);
    g_writers.bhoList(sink);
    g_writers.externalAddress(sink);
    SetCheckpoint(params, 6);
    RunConnectivityStep(sink, params);
    RunIpAddressStep(sink, params);
    g_writers.networkConnections(sink);
    SetCheckpoint(params, 50);
    RunRouteStep(sink, params);
    g_writers.hostsFile(sink);
    SetCheckpoint(params, 90);
}

void RunConnectivityStep(ReportSink sink, const TestRunParams* params) {
    if (!IsRunCurrent(params->runId)) return;
    SetStatusText(params, 44);
    WriteSectionBanner(sink, "Checking server connectivity");
    int count;
    const ServerEntry* servers;
    ServersOf(params, &count, &servers);
    g_writers.serverConnectivity(sink, count, servers);
    WriteEmptyLine(sink);
    SetCheckpoint(params, 8);
}

void RunIpAddressStep(ReportSink sink, const TestRunParams* params) {
    if (!IsRunCurrent(params->runId)) return;
    WriteSectionBanner(sink, "Gathering IP addresses");
    int count;
    const ServerEntry* servers;
    ServersOf(params, &count, &servers);
    g_writers.serverAddresses(sink, count, servers);
    WriteEmptyLine(sink);
    SetCheckpoint(params, 10);
}

void RunRouteStep(ReportSink sink, const TestRunParams* params) {
    if (!IsRunCurrent(params->runId)) return;
    SetStatusText(params, 45);
    StartAnimation(params, 50, 55, 510000);
    WriteSectionBanner(sink, "Tracing network paths");
    int count;
    const ServerEntry* servers;
    ServersOf(params, &count, &servers);
    g_writers.routeTraces(sink, count, servers);
    WriteEmptyLine(sink);
    RelayStopBarTimer(params->runId, kAnimationTimerId);
    SetCheckpoint(params, 55);
}

void CALLBACK AnimateProgress(HWND window, UINT, UINT_PTR timerId, DWORD tick) {
    if (timerId != (UINT_PTR)kAnimationTimerId) return;
    ProgressAnimation animation = g_progressAnimation;
    int32_t position;
    if (AnimatedPosition(animation, tick, &position)) SendMessageA(window, PBM_SETPOS, (WPARAM)position, 0);
}
