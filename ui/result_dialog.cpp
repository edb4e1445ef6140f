// The About box and the result dialog. Both are modal dialogs from templates
// whose texts are replaced in the current language when they open. The
// result dialog comes in two layouts (172 for Runeveil 2, 173 for the other
// games) that share the heading, the support link, the archive path and the
// three buttons; texts for controls a layout lacks are simply not applied.
#include "ui/result_dialog.h"

#include <shlwapi.h>

#include <cstring>

#include "catalog/game_catalog.h"
#include "catalog/text_catalog.h"
#include "collect/run_control.h"
#include "collect/system/game_folders.h"
#include "common/window_placement.h"
#include "resources/resource_ids.h"
#include "ui/hyperlink.h"
#include "ui/main_window_rules.h"
#include "ui/shell_open.h"
#include "ui/window_basics.h"

namespace {

struct ResultDialogState {
    HWND dialog;
    char programFolder[256];
    char archivePath[256];
    CHyperLink link;
};

ResultDialogState g_result;

const char kLinkText[] = "online-help";

// Copies at most 255 characters; a longer path is left empty rather than
// cut, so no button can open a different file or folder.
void CopyPath(char (&target)[256], const char* source) {
    target[0] = '\0';
    if (source == NULL) return;
    size_t length = strlen(source);
    if (length < sizeof target) memcpy(target, source, length + 1);
}

HMODULE ResourceModule() {
    HINSTANCE instance = GetProgramInstance();
    return instance != NULL ? instance : GetModuleHandleA(NULL);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CentreOnOwner(dialog);
        SetWindowTextA(dialog, GetText(85));
        SetVersionLabel(dialog);
        SetDlgItemTextA(dialog, IDC_ABOUT_PRODUCT, GetText(87));
        SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, GetText(86));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 2);
        return TRUE;
    default:
        return FALSE;
    }
}

void InitResultDialog(HWND dialog, const char* deliveredPath) {
    g_result.dialog = dialog;
    int game = GetSelectedGame();
    if (deliveredPath != NULL && deliveredPath[0] != '\0') {
        CopyPath(g_result.archivePath, deliveredPath);
        CopyPath(g_result.programFolder, deliveredPath);
        if (!PathRemoveFileSpecA(g_result.programFolder)) g_result.programFolder[0] = '\0';
    } else {
        CopyPath(g_result.programFolder, GetProgramFolder());
        CopyPath(g_result.archivePath, GetArchivePath(game));
    }

    SetWindowTextA(dialog, GetText(48));
    int supportTextId = GetResultSupportTextId(game);
    const char* support = supportTextId != 0 ? GetText(supportTextId) : "";
    HWND linkControl = GetDlgItem(dialog, IDC_RESULT_LINK);
    if (g_result.link.SetUrl(support) && linkControl != NULL) g_result.link.Attach(linkControl);
    SetDlgItemTextA(dialog, IDC_RESULT_LINK, kLinkText);

    SetDlgItemTextA(dialog, IDC_RESULT_HEADING, GetText(57));
    SetDlgItemTextA(dialog, IDC_RESULT_VIEW, GetText(54));
    SetDlgItemTextA(dialog, IDC_RESULT_OPEN_FOLDER, GetText(55));
    SetDlgItemTextA(dialog, IDC_RESULT_CLOSE, GetText(56));

    if (supportTextId == 62) {
        SetDlgItemTextA(dialog, IDC_RESULT_HEADING, GetText(57));
        SetDlgItemTextA(dialog, IDC_RESULT_INSTRUCTIONS, GetText(50));
        SetDlgItemTextA(dialog, IDC_RESULT_LINK, GetText(62));
    } else {
        SetDlgItemTextA(dialog, IDC_RESULT_INSTRUCTION, GetText(49));
        SetDlgItemTextA(dialog, IDC_RESULT_STEP1, GetText(51));
        SetDlgItemTextA(dialog, IDC_RESULT_STEP2, GetText(52));
        SetDlgItemTextA(dialog, IDC_RESULT_KB_NOTE, GetText(53));
    }
    SetDlgItemTextA(dialog, IDC_RESULT_ARCHIVE_PATH, g_result.archivePath);
}

INT_PTR CALLBACK ResultProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        CentreOnOwner(dialog);
        InitResultDialog(dialog, reinterpret_cast<const char*>(lParam));
        // The path starts with the focus, selected for copying; the support
        // link before it is a tab stop too, but a link that gets the focus
        // before the dialog is visible would draw its XOR focus frame once
        // unseen and leave it behind when the focus moves on.
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDC_RESULT_ARCHIVE_PATH), TRUE);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RESULT_VIEW:
            ShellOpen(dialog, g_result.archivePath);
            return TRUE;
        case IDC_RESULT_OPEN_FOLDER:
            ShellOpen(dialog, g_result.programFolder);
            return TRUE;
        case IDC_RESULT_CLOSE:
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(dialog, 2);
        return TRUE;
    case WM_DESTROY:
        g_result.dialog = NULL;
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR ShowAboutBox(HWND owner) {
    return DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutProc, 0);
}

INT_PTR ShowResultDialog(const char* deliveredPath) {
    int templateId = GetResultTemplateId(GetSelectedGame());
    return DialogBoxParamA(ResourceModule(), MAKEINTRESOURCEA(templateId), GetMainWindowHandle(),
                           ResultProc, reinterpret_cast<LPARAM>(deliveredPath));
}
