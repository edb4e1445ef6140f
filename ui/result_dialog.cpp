// Placeholder until the dialogs land: nothing is shown.
#include "ui/result_dialog.h"

INT_PTR ShowAboutBox(HWND) { return -1; }
INT_PTR ShowResultDialog() { return -1; }
