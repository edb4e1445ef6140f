// Process-wide state of the current test run that the steps need besides the
// report sink: the run's cancel event, the progress dialog that a step may
// cancel, and the main window that owns the steps' message boxes.
//
// The collectors reach the user interface only through these values and
// window messages, never through the window code itself.
#pragma once

#include <windows.h>

struct ProgressWindow {
    HWND dialog;
    HWND bar;      // control 1024
    HWND status;   // control 1046
    volatile LONG runId;  // -1 when no run is current
};

extern ProgressWindow g_progressWindow;

// The manual-reset cancel event; NULL until the first run starts.
HANDLE GetRunCancelEvent();
// Creates the event at the first run, resets it at every later one.
void PrepareRunCancelEvent();

HWND GetMainWindowHandle();
void SetMainWindowHandle(HWND window);

// What a step does when it finds it cannot go on (no Internet): set the cancel
// event and send the progress dialog the Cancel command, exactly as if the
// player had pressed Cancel.
void CancelRunFromStep();

// True while the run with this identifier is the current one.
bool IsRunCurrent(LONG runId);
