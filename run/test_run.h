// The test run driver: the progress dialog, one worker thread per run, the
// fixed order of the report's steps, progress and status, cancel, and at the
// end sealing, checking and packing the report.
//
// The worker never touches the progress dialog's windows. It sends its
// updates (status text, bar position, animation timer, the finished message)
// to a message-only relay window on the user-interface thread, which applies
// them only while the update's run is current and its dialog is still open.
// A dialog that has ended may see its handle reused by an unrelated window;
// nothing of a worker can reach that window.
#pragma once

#include <windows.h>

#include "catalog/server_catalog.h"
#include "report/report_writer.h"
#include "run/progress_animation.h"

// Sent to the progress dialog when the current run has finished. wParam 0;
// lParam 0 when the archive is at its usual place, else the path (const
// char*, valid while the message is handled) of the file that holds the
// report instead.
const UINT WM_TEST_FINISHED = WM_USER + 1;

const int kAnimationTimerId = 1;
const UINT kAnimationTimerPeriodMs = 1;
const DWORD kFinishedDelayMs = 100;

struct TestRunParams {
    LONG runId;
    LONG gameIndex;
    char reportName[256];   // "<game> Test.txt" inside the archive; empty without a game
    char archivePath[256];  // the archive beside the program; empty when it does not fit
};

// The writers the run calls, in one place so that tests can run the driver
// with stand-in collectors. The program always uses DefaultReportStepWriters.
struct ReportStepWriters {
    void (*uacStatus)(ReportSink);
    void (*loggedOnUsers)(ReportSink);
    void (*installedGames)(ReportSink);
    void (*installedDirectX)(ReportSink);
    void (*dxDiag)(ReportSink);
    void (*osVersion)(ReportSink);
    void (*systemInfo)(ReportSink);
    void (*adapterSettings)(ReportSink);
    void (*proxySettings)(ReportSink);
    void (*lspCatalog)(ReportSink);
    void (*bhoList)(ReportSink);
    void (*externalAddress)(ReportSink);
    void (*serverConnectivity)(ReportSink, int, const ServerEntry*);
    void (*serverAddresses)(ReportSink, int, const ServerEntry*);
    void (*networkConnections)(ReportSink);
    void (*routeTraces)(ReportSink, int, const ServerEntry*);
    void (*hostsFile)(ReportSink);
    void (*processTree)(ReportSink);
    void (*registryDump)(ReportSink);
    bool (*appendDigest)(ReportSink);
    bool (*verifyReport)(const char* path);
    bool (*buildArchive)(const char* archivePath, const char* reportName, const char* reportPath);
    // Opens the result window (SetResultWindow) once the progress dialog has
    // ended; the path of the file that holds the report when it is not the
    // usual archive, else NULL.
    INT_PTR (*showResult)(const char* deliveredPath);
};

// The window that shows a finished run's result, which the default last step
// opens. The run knows no window of its own: the program sets the result
// dialog here before the first run. Until then a finished run shows nothing
// and its last step returns -1, as for a dialog that could not be shown.
typedef INT_PTR (*ResultWindow)(const char* deliveredPath);
void SetResultWindow(ResultWindow show);

const ReportStepWriters& DefaultReportStepWriters();
void SetReportStepWriters(const ReportStepWriters& writers);
const ReportStepWriters& CurrentReportStepWriters();

// Every worker releases this semaphore by one as its very last action; NULL
// for none. Lets tests wait for runs that no dialog shows any more.
void SetWorkerEndSemaphore(HANDLE semaphore);

// The progress animation of the long step that is running.
extern ProgressAnimation g_progressAnimation;

// Opens the progress dialog (template 143) modally; its opening starts a run.
// When the run finished while the dialog was open, opens the result window
// (showResult) once the dialog has ended. Returns the dialog's result: 1
// finished or command 1, 2 cancelled or closed.
INT_PTR RunProgressDialog(HWND owner);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// User-interface thread: a new run identifier and one worker thread.
void StartTestRun();
DWORD WINAPI TestWorker(LPVOID params);

void WriteReport(ReportSink sink, const TestRunParams* params);
void RunDirectXStep(ReportSink sink, const TestRunParams* params);
void RunNetworkSteps(ReportSink sink, const TestRunParams* params);
void RunConnectivityStep(ReportSink sink, const TestRunParams* params);
void RunIpAddressStep(ReportSink sink, const TestRunParams* params);
void RunRouteStep(ReportSink sink, const TestRunParams* params);
// Moves the bar when the run is current; otherwise does nothing.
void SetCheckpoint(const TestRunParams* params, int position);
void CALLBACK AnimateProgress(HWND window, UINT message, UINT_PTR timerId, DWORD tick);
