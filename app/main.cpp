// Program entry: any argument text selects the verification mode; without
// arguments the main window and its message loop run until the window closes.
#include <windows.h>

#include "app/command_line.h"
#include "app/verify_mode.h"
#include "collect/network/sockets.h"
#include "collect/run_control.h"
#include "common/system_library.h"
#include "resources/resource_ids.h"
#include "run/test_run.h"
#include "ui/main_window.h"
#include "ui/result_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // Before anything is loaded by name: the program may run elevated from a
    // folder where anyone can drop a DLL.
    RestrictDllSearch();
    // The mode comes from the whole command line, split by the program's own
    // rules. The runtime's argument text ends an unquoted program path at its
    // first byte of 128 or above (an accented letter of the user's name, a
    // Japanese or Cyrillic folder), and the rest of the path would start the
    // verification mode instead of the main window.
    if (FindArgumentText(GetCommandLineA())[0] != '\0') return RunVerifyMode();

    // A finished run hands its result to the result dialog.
    SetResultWindow(ShowResultDialog);
    if (!CreateMainWindow(instance, showCommand)) return -1;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

    MSG message;
    for (;;) {
        BOOL fetched = GetMessageA(&message, NULL, 0, 0);
        if (fetched == 0) break;
        if (fetched == -1) return -1;
        HWND mainWindow = GetMainWindowHandle();
        // Accelerators first, so Alt+X works whichever control has the focus;
        // then dialog navigation, because the main window is a modeless dialog.
        if (accelerators != NULL && mainWindow != NULL &&
            TranslateAcceleratorA(mainWindow, accelerators, &message))
            continue;
        if (mainWindow != NULL && IsDialogMessageA(mainWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (socketsReady) WSACleanup();
    return (int)message.wParam;
}
