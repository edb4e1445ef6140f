// The main window and its two panes. The main window is a modeless dialog
// (template 129) whose client area holds two child dialogs of the same size:
// the game list pane (101), shown first, and the test pane (130), which
// replaces it for good once a game is clicked.
//
// Every text comes from the text catalog in the current language and is
// applied again after a language change (RelabelAll). Pictures are JPEG
// resources painted by picture_pane; help links are CHyperLink objects.
#include "ui/main_window.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>

#include "catalog/game_catalog.h"
#include "catalog/text_catalog.h"
#include "catalog/text_language.h"
#include "collect/network/sockets.h"
#include "collect/network/web_access.h"
#include "collect/run_control.h"
#include "common/system_library.h"
#include "common/windows_version.h"
#include "resources/deployment.h"
#include "resources/resource_ids.h"
#include "run/test_run.h"
#include "ui/hyperlink.h"
#include "ui/main_window_rules.h"
#include "ui/picture_pane.h"
#include "ui/result_dialog.h"
#include "ui/shell_open.h"
#include "ui/window_basics.h"


namespace {

const int kLeftPictureX = 10;
const int kTopPictureX = 160;
const char kUnknownGame[] = "Unknown";

typedef HRESULT(WINAPI* SetWindowThemeFunction)(HWND, LPCWSTR, LPCWSTR);

struct GameSelection {
    HWND pane;
    HWND selector;
    CHyperLink links[kHelpRowCount];
};

struct GameListPane {
    HWND pane;
    HIMAGELIST images;
    HBITMAP gameBitmaps[kGameCount];
    HBITMAP overlay;
    HBITMAP mask;
    HWND list;
    HFONT labelFont;     // as the template gave it; not owned
    HFONT enlargedFont;  // owned
};

// The theme library is loaded once when the program starts and released when
// it ends; both it and SetWindowTheme may be missing (before XP).
struct ThemeLibrary {
    HMODULE module;
    SetWindowThemeFunction setWindowTheme;
    ThemeLibrary() : module(LoadSystemLibrary("uxtheme.dll")), setWindowTheme(NULL) {
        if (module != NULL)
            setWindowTheme = (SetWindowThemeFunction)(void*)GetProcAddress(module, "SetWindowTheme");
    }
    ~ThemeLibrary() {
        if (module != NULL) FreeLibrary(module);
    }
};

GameSelection g_selection;
GameListPane g_listPane;
ThemeLibrary* g_themeLibrary = NULL;
// The language value last stored with SetCurrentLanguage; 0 means automatic.
int g_storedLanguage = LanguageAuto;
// Set when the start-up check ended in a download: the window is gone on
// purpose and the program ends normally.
bool g_closedForDownload = false;

const int kLanguageMenuOrder[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

const char* GameDisplayName(int gameIndex) {
    int textId = GetGameDisplayTextId(gameIndex);
    return textId >= 0 ? GetText(textId) : kUnknownGame;
}

void StoreLanguage(int language) {
    g_storedLanguage = language;
    SetCurrentLanguage(language);
}

// ---- menu ------------------------------------------------------------------

void SetPopupCaption(HMENU menu, int position, int textId) {
    HMENU popup = GetSubMenu(menu, position);
    if (popup == NULL) return;
    ModifyMenuA(menu, position, MF_BYPOSITION | MF_POPUP | MF_STRING, (UINT_PTR)popup, GetText(textId));
}

// Items that the menu does not hold (the Edit items, the Chinese languages)
// are skipped by ModifyMenu itself.
void SetItemText(HMENU menu, UINT command, const char* text) {
    ModifyMenuA(menu, command, MF_BYCOMMAND | MF_STRING, command, text);
}

void SetItemTextWithKey(HMENU menu, UINT command, int textId, const char* key) {
    char text[256];
    snprintf(text, sizeof text, "%s\t(%s)", GetText(textId), key);
    SetItemText(menu, command, text);
}

void RelabelMenu(HWND window) {
    HMENU menu = GetMenu(window);
    if (menu == NULL) return;
    SetPopupCaption(menu, 0, 63);
    SetPopupCaption(menu, 1, 69);
    SetPopupCaption(menu, 2, 81);

    SetItemTextWithKey(menu, IDM_EXIT, 64, "Alt+X");
    SetItemTextWithKey(menu, IDM_CUT, 66, "Ctrl+X");
    SetItemTextWithKey(menu, IDM_COPY, 67, "Ctrl+C");
    SetItemTextWithKey(menu, IDM_PASTE, 68, "Ctrl+V");

    for (int i = 0; i < 6; i++) SetItemText(menu, IDM_LANG_ENGLISH + i, GetText(70 + i));
    SetItemText(menu, IDM_LANG_CHINESE_SIMPLIFIED, GetText(76));
    for (int i = 0; i < 4; i++) SetItemText(menu, IDM_LANG_CHINESE_TRADITIONAL + i, GetText(77 + i));

    SetItemTextWithKey(menu, IDM_CHECK_VERSION, 82, "Ctrl+U");
    SetItemText(menu, IDM_PRIVACY, GetText(84));
    SetItemText(menu, IDM_ABOUT, GetText(83));

    int codePageClass = GetCodePageClass();
    for (int language : kLanguageMenuOrder) {
        UINT command = (UINT)CommandForLanguage(language);
        CheckMenuItem(menu, command, MF_BYCOMMAND | (language == g_storedLanguage ? MF_CHECKED : MF_UNCHECKED));
        EnableMenuItem(menu, command,
                       MF_BYCOMMAND | (LanguageMenuItemEnabled(codePageClass, language) ? MF_ENABLED : MF_GRAYED));
    }
    for (UINT command = IDM_CUT; command <= IDM_PASTE; command++)
        EnableMenuItem(menu, command, MF_BYCOMMAND | MF_GRAYED);
    DrawMenuBar(window);
}

// ---- game list pane --------------------------------------------------------

void RelabelListPane() {
    HWND pane = g_listPane.pane;
    if (pane == NULL) return;
    SetDlgItemTextA(pane, IDC_LIST_LABEL, GetText(0));
    int count = (int)SendMessageA(g_listPane.list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = const_cast<char*>(GameDisplayName(i));
        SendMessageA(g_listPane.list, LVM_SETITEMTEXTA, i, (LPARAM)&item);
    }
    SetVersionLabel(pane);
}

void ShowTestPane(int gameIndex) {
    SelectGame(gameIndex);
    ShowWindow(g_selection.pane, SW_SHOW);
    ShowWindow(g_listPane.pane, SW_HIDE);
    // The hidden list would keep the keyboard focus; the keyboard goes on
    // from the Test button, which the dialog manager also makes the default
    // button, so Enter starts a test.
    HWND mainWindow = GetMainWindowHandle();
    if (mainWindow != NULL)
        SendMessageA(mainWindow, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(g_selection.pane, IDC_TEST_BUTTON), TRUE);
}

INT_PTR CALLBACK ListPaneProc(HWND, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_GAME_LIST && header->code == NM_CLICK) {
            // The clicked item, not merely the focused one: a click on the
            // empty part of the list must not pick the game that last had
            // the focus.
            const NMITEMACTIVATE* click = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
            if (click->iItem >= 0) ShowTestPane(click->iItem);
            return TRUE;
        }
    }
    return FALSE;
}

bool CreateListPane(HWND mainWindow) {
    GameListPane& state = g_listPane;
    state.pane = CreateDialogParamA(GetProgramInstance(), MAKEINTRESOURCEA(IDD_GAME_LIST), mainWindow, ListPaneProc, 0);
    if (state.pane == NULL) return false;
    state.list = GetDlgItem(state.pane, IDC_GAME_LIST);

    bool withMask = GetWindowsGeneration() >= WindowsGeneration::WinXP;
    state.images = ImageList_Create(96, 96, ILC_COLOR32 | (withMask ? ILC_MASK : 0), 5, 5);
    for (int game = 0; game < kGameCount; game++)
        state.gameBitmaps[game] = LoadBitmapA(GetProgramInstance(), MAKEINTRESOURCEA(GetGameListBitmap(game)));
    state.overlay = LoadBitmapA(GetProgramInstance(), MAKEINTRESOURCEA(IDB_LIST_OVERLAY));
    state.mask = LoadBitmapA(GetProgramInstance(), MAKEINTRESOURCEA(IDB_LIST_MASK));
    if (state.images != NULL) {
        for (int game = 0; game < kGameCount; game++)
            ImageList_Add(state.images, state.gameBitmaps[game], withMask ? state.mask : NULL);
        if (withMask) {
            // The badge covers only a corner: its magenta background is the
            // transparent part.
            ImageList_AddMasked(state.images, state.overlay, RGB(255, 0, 255));
            ImageList_SetOverlayImage(state.images, kGameCount, 1);
        }
        SendMessageA(state.list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)state.images);
    }

    RECT bounds;
    GetWindowRect(state.list, &bounds);
    ListPoint points[kGameCount];
    PlaceListItems(bounds.right - bounds.left, kGameCount, points);
    for (int game = 0; game < kGameCount; game++) {
        const GameRecord* record = GetGameRecord(game);
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = game;
        item.pszText = const_cast<char*>(record != NULL ? record->name : kUnknownGame);
        item.iImage = game;
        if (withMask) {
            item.mask |= LVIF_STATE;
            item.state = INDEXTOOVERLAYMASK(1);
            item.stateMask = LVIS_OVERLAYMASK;
        }
        int index = (int)SendMessageA(state.list, LVM_INSERTITEMA, 0, (LPARAM)&item);
        if (index >= 0)
            SendMessageA(state.list, LVM_SETITEMPOSITION, index, MAKELPARAM(points[game].x, points[game].y));
    }

    HWND label = GetDlgItem(state.pane, IDC_LIST_LABEL);
    state.labelFont = (HFONT)SendMessageA(label, WM_GETFONT, 0, 0);
    LOGFONTA description;
    HGDIOBJ source = state.labelFont != NULL ? (HGDIOBJ)state.labelFont : GetStockObject(DEFAULT_GUI_FONT);
    if (GetObjectA(source, sizeof description, &description) == sizeof description) {
        description.lfHeight = GrowFontHeight(description.lfHeight);
        description.lfWidth = GrowFontWidth(description.lfWidth);
        state.enlargedFont = CreateFontIndirectA(&description);
        if (state.enlargedFont != NULL) SendMessageA(label, WM_SETFONT, (WPARAM)state.enlargedFont, TRUE);
    }

    if (GetWindowsGeneration() >= WindowsGeneration::WinVista && g_themeLibrary != NULL &&
        g_themeLibrary->setWindowTheme != NULL)
        g_themeLibrary->setWindowTheme(state.list, L"Explorer", NULL);

    RelabelListPane();
    return true;
}

void FreeListPaneResources() {
    GameListPane& state = g_listPane;
    // The list shares the image list (LVS_SHAREIMAGELISTS), so it is ours to
    // destroy, once.
    if (state.images != NULL) ImageList_Destroy(state.images);
    for (HBITMAP& bitmap : state.gameBitmaps) {
        if (bitmap != NULL) DeleteObject(bitmap);
        bitmap = NULL;
    }
    if (state.overlay != NULL) DeleteObject(state.overlay);
    if (state.mask != NULL) DeleteObject(state.mask);
    if (state.enlargedFont != NULL) DeleteObject(state.enlargedFont);
    state = GameListPane();
}

// ---- test pane -------------------------------------------------------------

void FillSelector() {
    HWND selector = g_selection.selector;
    SendMessageA(selector, CB_RESETCONTENT, 0, 0);
    for (int game = 0; game < kGameCount; game++)
        SendMessageA(selector, CB_ADDSTRING, 0, (LPARAM)GameDisplayName(game));
}

void RelabelTestPane() {
    HWND pane = g_selection.pane;
    if (pane == NULL) return;
    static const struct {
        int control;
        int textId;
    } kTexts[] = {
        {IDC_SELECTOR_LABEL, 11}, {IDC_TEST_GROUP, 12}, {IDC_TEST_BUTTON, 13},
        {IDC_TEST_DESCRIPTION, 14}, {IDC_HELP_GROUP, 15}, {IDC_HELP_LINK1, 16},
        {IDC_HELP_LINK2, 24},     {IDC_HELP_LINK3, 26}, {IDC_HELP_TEXT1, 23},
        {IDC_HELP_TEXT2, 25},     {IDC_HELP_TEXT3, 28},
    };
    for (const auto& entry : kTexts) SetDlgItemTextA(pane, entry.control, GetText(entry.textId));
    SetVersionLabel(pane);
    FillSelector();
    SelectGame(GetSelectedGame());
}

INT_PTR CALLBACK TestPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_GAME_SELECTOR && HIWORD(wParam) == CBN_SELCHANGE) {
            SelectGame((int)SendMessageA(g_selection.selector, CB_GETCURSEL, 0, 0));
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_TEST_BUTTON && HIWORD(wParam) == BN_CLICKED) {
            RunProgressDialog(GetMainWindowHandle());
            return TRUE;
        }
        return FALSE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(pane, &paint);
        if (dc != NULL) PaintPictures(pane, dc);
        EndPaint(pane, &paint);
        return TRUE;
    }
    case WM_DESTROY:
        ReleasePictures(pane);
        return FALSE;
    default:
        return FALSE;
    }
}

bool CreateTestPane(HWND mainWindow) {
    g_selection.pane = CreateDialogParamA(GetProgramInstance(), MAKEINTRESOURCEA(IDD_TEST_PANE), mainWindow, TestPaneProc, 0);
    if (g_selection.pane == NULL) return false;
    g_selection.selector = GetDlgItem(g_selection.pane, IDC_GAME_SELECTOR);
    FillSelector();
    for (int row = 0; row < kHelpRowCount; row++) {
        if (g_selection.links[row].SetUrl(""))
            g_selection.links[row].Attach(GetDlgItem(g_selection.pane, IDC_HELP_LINK1 + row));
    }
    RelabelTestPane();
    return true;
}

// ---- main window -----------------------------------------------------------

void OpenPrivacyPolicy() { OpenUrl(GetPrivacyPolicyUrl(g_storedLanguage)); }

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetMainWindowHandle(window);
        if (!CheckForLatestVersion(NULL, true)) {
            g_closedForDownload = true;
            DestroyWindow(window);
        }
        return TRUE;
    case WM_COMMAND: {
        // The dialog manager sends the commands of keys (Enter on a focused
        // button) to the main window, though the button lives in a pane:
        // hand them to the pane, as a click would have.
        HWND control = (HWND)lParam;
        if (control != NULL && GetParent(control) != window) {
            SendMessageA(GetParent(control), WM_COMMAND, wParam, lParam);
            return TRUE;
        }
        UINT command = LOWORD(wParam);
        int language = LanguageForCommand((int)command);
        if (language >= 0) {
            StoreLanguage(language);
            RelabelAll();
            return TRUE;
        }
        switch (command) {
        case IDM_EXIT:
            DestroyWindow(window);
            return TRUE;
        case IDM_ABOUT:
            ShowAboutBox(window);
            return TRUE;
        case IDM_CHECK_VERSION:
            if (!CheckForLatestVersion(window, false)) DestroyWindow(window);
            return TRUE;
        case IDM_PRIVACY:
            OpenPrivacyPolicy();
            return TRUE;
        default:
            return FALSE;
        }
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        FreeListPaneResources();
        g_selection.pane = NULL;
        g_selection.selector = NULL;
        SetMainWindowHandle(NULL);
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void SelectGame(int gameIndex) {
    SetSelectedGame(gameIndex);
    HWND pane = g_selection.pane;
    if (pane == NULL) return;
    const char* name = gameIndex >= 0 && gameIndex < kGameCount ? GameDisplayName(gameIndex) : kUnknownGame;
    SendMessageA(g_selection.selector, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)name);

    ReleasePictures(pane);
    InvalidateRect(pane, NULL, TRUE);
    unsigned short left = 0, top = 0;
    if (!GetGamePictures(gameIndex, &left, &top)) return;
    LoadPicture(pane, left, kLeftPictureX);
    LoadPicture(pane, top, kTopPictureX);

    const HelpRow* rows = GetHelpRows(gameIndex);
    for (int row = 0; row < kHelpRowCount; row++) {
        const char* address = GetText(rows[row].addressTextId);
        bool present = address[0] != '\0';
        SetDlgItemTextA(pane, IDC_HELP_LINK1 + row, present ? GetText(rows[row].linkTextId) : "");
        SetDlgItemTextA(pane, IDC_HELP_TEXT1 + row, present ? GetText(rows[row].descriptionTextId) : "");
        g_selection.links[row].SetUrl(address);
        ShowWindow(GetDlgItem(pane, IDC_HELP_LINK1 + row), present ? SW_SHOW : SW_HIDE);
    }
}

void RelabelAll() {
    HWND window = GetMainWindowHandle();
    if (window != NULL) RelabelMenu(window);
    RelabelListPane();
    RelabelTestPane();
}

void DownloadLatestVersion() {
    if (UrlReachable(DEPLOY_DOWNLOAD_URL)) {
        ShellOpen(NULL, DEPLOY_DOWNLOAD_URL);
        return;
    }
    MessageBoxA(NULL, GetText(36), GetText(10), MB_OK);
}

bool CheckForLatestVersion(HWND owner, bool silent) {
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    int result = QueryLatestVersion();
    SetCursor(previous);
    switch (result) {
    case VersionUnreachable:
        MessageBoxA(owner, GetText(36), GetText(10), MB_OK | MB_ICONWARNING);
        return true;
    case VersionNewer:
        if (MessageBoxA(owner, GetText(34), GetText(10), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) return true;
        DownloadLatestVersion();
        return false;
    default:
        if (!silent) MessageBoxA(owner, GetText(35), GetText(10), MB_OK | MB_ICONINFORMATION);
        return true;
    }
}

bool CreateMainWindow(HINSTANCE instance, int showCommand) {
    SetProgramInstance(instance);
    StartSockets();
    static ThemeLibrary themeLibrary;
    g_themeLibrary = &themeLibrary;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The picture loader decodes JPEG through COM objects (under Wine it
    // fails without an initialised apartment).
    CoInitialize(NULL);

    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainWindowProc, 0);
    if (window == NULL || !IsWindow(window)) return g_closedForDownload;

    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_DIAGNOVA));
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)icon);

    if (!CreateListPane(window) || !CreateTestPane(window)) {
        DestroyWindow(window);
        return false;
    }

    HMENU menu = GetMenu(window);
    if (menu != NULL) DeleteMenu(menu, 1, MF_BYPOSITION);

    StoreLanguage(GetCurrentLanguage());
    RelabelAll();

    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return true;
}
