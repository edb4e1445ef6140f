// ui_preview: shows one of the program's modal dialogs on its own, so
// end-to-end tests can read and photograph it without a whole test run, and
// opens targets the program's ways.
//   ui_preview result GAME [LANGUAGE]   the result dialog after a run of GAME
//   ui_preview about [LANGUAGE]         the About box
//   ui_preview open desktop|own|program TARGET
//       opens TARGET through the desktop's shell, from this process, or as the
//       program would choose; prints this process's id and its elevation,
//       exit code 0 when the open was handed on
// It links the program's own dialog code and templates; nothing here touches
// the network. The exit code is the dialog's result.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalog/game_catalog.h"
#include "catalog/text_catalog.h"
#include "ui/result_dialog.h"
#include "ui/shell_open.h"

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "result") == 0) {
        if (argc >= 4) SetCurrentLanguage(atoi(argv[3]));
        SetSelectedGame(atoi(argv[2]));
        return (int)ShowResultDialog();
    }
    if (argc >= 2 && strcmp(argv[1], "about") == 0) {
        if (argc >= 3) SetCurrentLanguage(atoi(argv[2]));
        return (int)ShowAboutBox(NULL);
    }
    if (argc == 4 && strcmp(argv[1], "open") == 0) {
        bool elevated = false, splitToken = false;
        ReadTokenElevation(&elevated, &splitToken);
        printf("pid %lu elevated %d split %d\n", GetCurrentProcessId(), elevated, splitToken);
        fflush(stdout);
        bool opened = strcmp(argv[2], "desktop") == 0 ? OpenThroughDesktopShell(argv[3])
                      : strcmp(argv[2], "own") == 0   ? OpenFromOwnProcess(NULL, argv[3])
                                                      : ShellOpen(NULL, argv[3]);
        return opened ? 0 : 1;
    }
    return 100;
}
