// What the program's windows share: the module their templates and pictures
// are loaded from, and the version label of the panes and the About box.
#pragma once

#include <windows.h>

// The program instance given to CreateMainWindow; NULL before it.
HINSTANCE GetProgramInstance();
void SetProgramInstance(HINSTANCE instance);

// Fills control 1031 of the window with "Version: <program version>".
void SetVersionLabel(HWND window);
