// The About box and the result dialog that follows a finished test run.
// Both are modal dialogs from templates; the result dialog names the archive
// to send to support and links to the selected game's support site.
#pragma once

#include <windows.h>

// Modal About box (dialog 171) owned by the given window.
INT_PTR ShowAboutBox(HWND owner);

// Modal result dialog owned by the main window: template 172 when the selected
// game is Runeveil 2 (index 1), template 173 for every other game. Called by the
// progress dialog when a run has finished. deliveredPath: NULL when the run's
// archive is at its usual place beside the program; else the file that holds
// the report instead, which the dialog then names and whose folder it opens.
// Returns the dialog's result (1 for Close, 2 when the window was closed, -1
// when it could not be shown).
INT_PTR ShowResultDialog(const char* deliveredPath = NULL);
