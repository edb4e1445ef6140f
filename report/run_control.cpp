// Shared run state: one cancel event per process, never closed, reset at each
// run start; the current run identifier; the main window handle.
#include "report/run_control.h"

ProgressWindow g_progressWindow = {NULL, NULL, NULL, -1};

namespace {
HANDLE g_cancelEvent = NULL;
HWND g_mainWindow = NULL;
}  // namespace

HANDLE GetRunCancelEvent() { return g_cancelEvent; }

void PrepareRunCancelEvent() {
    if (g_cancelEvent == NULL) {
        g_cancelEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    } else {
        ResetEvent(g_cancelEvent);
    }
}

HWND GetMainWindowHandle() { return g_mainWindow; }
void SetMainWindowHandle(HWND window) { g_mainWindow = window; }

void CancelRunFromStep() {
    if (g_cancelEvent != NULL) SetEvent(g_cancelEvent);
    HWND dialog = g_progressWindow.dialog;
    if (dialog != NULL) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

bool IsRunCurrent(LONG runId) { return g_progressWindow.runId == runId; }
