// Placeholder until the main window lands.
#include "ui/main_window.h"

bool CreateMainWindow(HINSTANCE, int) { return false; }
