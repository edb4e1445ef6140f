// ui_preview: shows one of the program's modal dialogs on its own, so
// end-to-end tests can read and photograph it without a whole test run.
//   ui_preview result GAME [LANGUAGE]   the result dialog after a run of GAME
//   ui_preview about [LANGUAGE]         the About box
// It links the program's own dialog code and templates; nothing here touches
// the network. The exit code is the dialog's result.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "ui/game_catalog.h"
#include "ui/result_dialog.h"
#include "ui/text_catalog.h"

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
    return 100;
}
