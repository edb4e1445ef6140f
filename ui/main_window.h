// The main window: a modeless dialog with the game list and test panes.
#pragma once

#include <windows.h>

// Creates and shows the main window and starts the sockets library.
bool CreateMainWindow(HINSTANCE instance, int showCommand);
