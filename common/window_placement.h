// Places a dialog over the window that owns it.
#pragma once

#include <windows.h>

// Centres a window on its owner and keeps it inside the work area of the
// owner's monitor. A window without an owner, or with a minimized one, stays
// where it is (a template's DS_CENTER has already centred it on the screen).
void CentreOnOwner(HWND window);
