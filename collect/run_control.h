// Process-wide state of the current test run that the steps need besides the
// report sink: the run's cancel event, the progress dialog that a step may
// cancel, and the main window that owns the steps' message boxes.
//
// The collectors reach the user interface only through these values and
// window messages, never through the window code itself. A worker thread
// reaches the progress dialog only through the run relay: a message-only
// window on the user-interface thread that passes a request on only while the
// requesting run is current and its dialog is still open. The dialog's own
// handle could name an unrelated window once the dialog has ended.
#pragma once

#include <windows.h>

struct ProgressWindow {
    HWND dialog;   // NULL once the dialog has ended
    HWND bar;      // control 1024
    HWND status;   // control 1046
    volatile LONG runId;  // -1 when no run is current
};

extern ProgressWindow g_progressWindow;

const LONG kNoRun = -1;

// The manual-reset cancel event; NULL until the first run starts.
HANDLE GetRunCancelEvent();
// Creates the event at the first run, resets it at every later one.
void PrepareRunCancelEvent();

HWND GetMainWindowHandle();
void SetMainWindowHandle(HWND window);

// What a step does when it finds it cannot go on (no Internet): set the cancel
// event and send the progress dialog the Cancel command, exactly as if the
// player had pressed Cancel. Called on a worker of a run that is no longer
// current, it does nothing: the shared event and the dialog belong to a newer
// run by then.
void CancelRunFromStep();

// True while the run with this identifier is the current one.
bool IsRunCurrent(LONG runId);

// What WaitWhileRunCurrent returns when the run stopped: the cancel event was
// set, or the calling worker's run is no longer current.
const DWORD kWaitRunStopped = 0x00010000;

// The wait of a step that waits for its tools: like WaitForMultipleObjects
// for any one of up to 63 handles (the result is WAIT_OBJECT_0 + index,
// WAIT_TIMEOUT or WAIT_FAILED), and also ends with kWaitRunStopped when the
// cancel event is set. On a test worker thread it ends that way too once the
// worker's run is no longer current, which it looks at every
// kRunCheckPeriodMs: a newer run resets the shared cancel event, so a run
// that the player left by the close box, or one cancelled a moment before
// its wait began, would otherwise never see its cancel and keep its tools
// running for the time limit or for ever, for a report that is deleted. A
// handle that is signalled wins over the cancel event.
DWORD WaitWhileRunCurrent(DWORD count, const HANDLE* handles, DWORD timeoutMs);
const DWORD kRunCheckPeriodMs = 200;

// The run a test worker thread works for; threads that never set it read
// kNoRun.
void SetThreadRunId(LONG runId);
LONG GetThreadRunId();

// The game that the run on this worker thread tests. The modal progress
// dialog keeps the player's selection fixed, but after its close box the run
// goes on unseen while the player may pick another game: the run's own steps
// must keep to the game it started with. On a thread that runs no test this
// is the selected game.
void SetThreadRunGame(int gameIndex);
int GetRunGame();

// Run relay, created on the user-interface thread; lives as long as the program.
bool CreateRunRelay();
// The open progress dialog of the current run and its two controls; the
// relay forgets them when the dialog ends (DetachRelayDialog).
void AttachRelayDialog(HWND dialog, HWND bar, HWND status);
void DetachRelayDialog();

// Requests a worker makes for its run; each is carried out on the
// user-interface thread (the caller waits) when that run is current and its
// dialog open, and dropped otherwise. The result is false when dropped.
bool RelaySetStatusText(LONG runId, const char* text);
bool RelaySetBarPosition(LONG runId, int position);
bool RelayStartBarTimer(LONG runId, UINT_PTR timerId, UINT periodMs, TIMERPROC procedure);
bool RelayStopBarTimer(LONG runId, UINT_PTR timerId);
// Sends the dialog this message (wParam 0).
bool RelayNotifyDialog(LONG runId, UINT message, LPARAM lParam = 0);
// Sends the dialog the Cancel command.
bool RelayCancelDialog(LONG runId);
