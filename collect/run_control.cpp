// Shared run state and the run relay.
//
// The relay is a message-only window owned by the user-interface thread. A
// worker asks it, by a synchronous message, to change the dialog; the relay
// compares the request's run with the current run and uses only the handles
// of the dialog that is open now, so a request from an earlier run, or one
// arriving after the dialog has ended, goes nowhere. Because the relay runs
// on the thread that owns the dialog, the check and the change cannot be
// separated by the dialog's end.
#include "collect/run_control.h"

#include <commctrl.h>

#include "catalog/game_catalog.h"

ProgressWindow g_progressWindow = {NULL, NULL, NULL, kNoRun};

namespace {

HANDLE g_cancelEvent = NULL;
HWND g_mainWindow = NULL;
HWND g_relay = NULL;

// The dialog the relay may reach; touched only on the user-interface thread.
HWND g_relayDialog = NULL;
HWND g_relayBar = NULL;
HWND g_relayStatus = NULL;

thread_local LONG t_threadRunId = kNoRun;
thread_local int t_threadRunGame = kNoGame;
thread_local bool t_threadHasRunGame = false;

const char kRelayClass[] = "DiagnovaRunRelay";

enum RelayMessage : UINT {
    RelayStatusText = WM_APP + 1,
    RelayBarPosition,
    RelayTimerStart,
    RelayTimerStop,
    RelayNotify,
    RelayCancel,
};

// The timer's identifier, period and procedure travel in one record, which
// lives on the sender's stack while the synchronous send lasts; so do a
// notification and its parameter.
struct TimerRequest {
    UINT_PTR timerId;
    UINT periodMs;
    TIMERPROC procedure;
};
struct NotifyRequest {
    UINT message;
    LPARAM lParam;
};

LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message < RelayStatusText || message > RelayCancel) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    LONG runId = (LONG)wParam;
    if (runId == kNoRun || runId != g_progressWindow.runId || g_relayDialog == NULL) return 0;
    switch (message) {
    case RelayStatusText:
        if (g_relayStatus != NULL) SetWindowTextA(g_relayStatus, (const char*)lParam);
        break;
    case RelayBarPosition:
        if (g_relayBar != NULL) SendMessageA(g_relayBar, PBM_SETPOS, (WPARAM)lParam, 0);
        break;
    case RelayTimerStart: {
        const TimerRequest* request = (const TimerRequest*)lParam;
        if (g_relayBar != NULL) SetTimer(g_relayBar, request->timerId, request->periodMs, request->procedure);
        break;
    }
    case RelayTimerStop:
        if (g_relayBar != NULL) KillTimer(g_relayBar, (UINT_PTR)lParam);
        break;
    case RelayNotify: {
        const NotifyRequest* request = (const NotifyRequest*)lParam;
        SendMessageA(g_relayDialog, request->message, 0, request->lParam);
        break;
    }
    case RelayCancel:
        SendMessageA(g_relayDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        break;
    }
    return 1;
}

bool SendToRelay(UINT message, LONG runId, LPARAM value) {
    if (g_relay == NULL) return false;
    return SendMessageA(g_relay, message, (WPARAM)runId, value) != 0;
}

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

void SetThreadRunId(LONG runId) { t_threadRunId = runId; }
LONG GetThreadRunId() { return t_threadRunId; }

void SetThreadRunGame(int gameIndex) {
    t_threadRunGame = gameIndex;
    t_threadHasRunGame = true;
}

int GetRunGame() { return t_threadHasRunGame ? t_threadRunGame : GetSelectedGame(); }

void CancelRunFromStep() {
    LONG runId = t_threadRunId;
    if (runId == kNoRun) {
        runId = g_progressWindow.runId;
    } else if (!IsRunCurrent(runId)) {
        return;
    }
    if (g_cancelEvent != NULL) SetEvent(g_cancelEvent);
    if (g_relay != NULL) {
        RelayCancelDialog(runId);
        return;
    }
    // No run was ever started through the driver: the dialog field is all
    // there is.
    HWND dialog = g_progressWindow.dialog;
    if (dialog != NULL) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

bool IsRunCurrent(LONG runId) { return runId != kNoRun && g_progressWindow.runId == runId; }

DWORD WaitWhileRunCurrent(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    HANDLE waitFor[MAXIMUM_WAIT_OBJECTS];
    if (count == 0 || count >= MAXIMUM_WAIT_OBJECTS) return WAIT_FAILED;
    for (DWORD i = 0; i < count; ++i) waitFor[i] = handles[i];
    DWORD waitCount = count;
    if (g_cancelEvent != NULL) waitFor[waitCount++] = g_cancelEvent;
    LONG runId = t_threadRunId;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD slice = timeoutMs;
        if (timeoutMs != INFINITE) {
            DWORD spent = GetTickCount() - start;
            slice = spent < timeoutMs ? timeoutMs - spent : 0;
        }
        if (runId != kNoRun && slice > kRunCheckPeriodMs) slice = kRunCheckPeriodMs;
        DWORD result = WaitForMultipleObjects(waitCount, waitFor, FALSE, slice);
        if (result < WAIT_OBJECT_0 + count) return result;
        if (result == WAIT_OBJECT_0 + count) return kWaitRunStopped;
        if (result != WAIT_TIMEOUT) return WAIT_FAILED;
        if (runId != kNoRun && !IsRunCurrent(runId)) return kWaitRunStopped;
        if (timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs) return WAIT_TIMEOUT;
    }
}

bool CreateRunRelay() {
    if (g_relay != NULL) return true;
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RelayProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kRelayClass;
    // A second registration fails harmlessly; creating the window tells.
    RegisterClassA(&windowClass);
    g_relay = CreateWindowExA(0, kRelayClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, instance, NULL);
    return g_relay != NULL;
}

void AttachRelayDialog(HWND dialog, HWND bar, HWND status) {
    g_relayDialog = dialog;
    g_relayBar = bar;
    g_relayStatus = status;
}

void DetachRelayDialog() {
    g_relayDialog = NULL;
    g_relayBar = NULL;
    g_relayStatus = NULL;
}

bool RelaySetStatusText(LONG runId, const char* text) {
    return SendToRelay(RelayStatusText, runId, (LPARAM)text);
}

bool RelaySetBarPosition(LONG runId, int position) {
    return SendToRelay(RelayBarPosition, runId, (LPARAM)position);
}

bool RelayStartBarTimer(LONG runId, UINT_PTR timerId, UINT periodMs, TIMERPROC procedure) {
    TimerRequest request = {timerId, periodMs, procedure};
    return SendToRelay(RelayTimerStart, runId, (LPARAM)&request);
}

bool RelayStopBarTimer(LONG runId, UINT_PTR timerId) {
    return SendToRelay(RelayTimerStop, runId, (LPARAM)timerId);
}

bool RelayNotifyDialog(LONG runId, UINT message, LPARAM lParam) {
    NotifyRequest request = {message, lParam};
    return SendToRelay(RelayNotify, runId, (LPARAM)&request);
}

bool RelayCancelDialog(LONG runId) { return SendToRelay(RelayCancel, runId, 0); }
