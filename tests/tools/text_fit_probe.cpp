// text_fit_probe: measures every window text that sits in a fixed-size
// control, for the languages named on the command line, on the running
// system (its ANSI code page and its fonts), and writes one line per text:
//
//   LANGUAGE<TAB>TEXT_ID<TAB>PLACE<TAB>FILL_PERCENT<TAB>LINES_NEEDED<TAB>LINES_ROOM
//
// FILL is the narrowest width at which the text fits into the lines its
// control has room for, as a share of the control's text width; it is over
// 100 when even the full width is not enough. The caller decides the margin.
//
// usage: text_fit_probe OUTPUT_FILE LANGUAGE...
//
// The dialogs are created hidden from the program's own templates, so every
// control has the dialog's own font and size as the system lays them out; each
// text is set the way the program sets it and read back as the control holds
// it. Static controls are measured as they draw (word-wrapped unless they are
// SS_LEFTNOWORDWRAP); buttons, group boxes and combo boxes on one line. A
// static's room ends where the next control below it begins (less a small
// gap), so a wrapped line that would touch the next control does not count
// as room.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalog/text_catalog.h"
#include "catalog/text_language.h"
#include "resources/resource_ids.h"
#include "ui/main_window.h"
#include "ui/window_basics.h"
#include "ui/main_window_rules.h"

namespace {

// A line that ends less than this many dialog units above the next control
// reads as part of that control.
const int kGapDlu = 2;

const int kVersionLabel = -1;    // SetVersionLabel's text
const int kOnlineHelpLabel = -2;  // the general result form's fixed link text
const int kCaption = 0;          // the dialog's own title instead of a control

struct FitItem {
    int dialog;
    int control;  // kCaption for the title
    const char* place;
    int textIds[4];  // text 0 only first; a later 0 ends the list
};

const FitItem kItems[] = {
    {IDD_GAME_LIST, IDC_LIST_LABEL, "game list label", {0}},
    {IDD_GAME_LIST, IDC_VERSION_LABEL, "game list version", {kVersionLabel}},
    {IDD_TEST_PANE, IDC_SELECTOR_LABEL, "test pane selector label", {11}},
    {IDD_TEST_PANE, IDC_GAME_SELECTOR, "test pane selector", {1, 2, 4, 8}},
    {IDD_TEST_PANE, IDC_TEST_GROUP, "test group box", {12}},
    {IDD_TEST_PANE, IDC_TEST_BUTTON, "Test button", {13}},
    {IDD_TEST_PANE, IDC_TEST_DESCRIPTION, "test description", {14}},
    {IDD_TEST_PANE, IDC_HELP_GROUP, "help group box", {15}},
    {IDD_TEST_PANE, IDC_HELP_LINK1, "help link 1", {16}},
    {IDD_TEST_PANE, IDC_HELP_LINK2, "help link 2", {24}},
    {IDD_TEST_PANE, IDC_HELP_LINK3, "help link 3", {26, 27}},
    {IDD_TEST_PANE, IDC_HELP_LINK4, "help link 4", {29, 31}},
    {IDD_TEST_PANE, IDC_HELP_TEXT1, "help description 1", {23}},
    {IDD_TEST_PANE, IDC_HELP_TEXT2, "help description 2", {25}},
    {IDD_TEST_PANE, IDC_HELP_TEXT3, "help description 3", {28}},
    {IDD_TEST_PANE, IDC_HELP_TEXT4, "help description 4", {30, 32}},
    {IDD_TEST_PANE, IDC_VERSION_LABEL, "test pane version", {kVersionLabel}},
    {IDD_PROGRESS, kCaption, "progress title", {41}},
    {IDD_PROGRESS, IDC_PROGRESS_NOTE, "progress heading", {47}},
    {IDD_PROGRESS, IDCANCEL, "progress Cancel", {40}},
    {IDD_PROGRESS, IDC_PROGRESS_STATUS_LABEL, "progress status label", {42}},
    {IDD_PROGRESS, IDC_PROGRESS_STATUS, "progress status", {43, 44, 45, 46}},
    {IDD_ABOUT, kCaption, "About title", {85}},
    {IDD_ABOUT, IDC_ABOUT_PRODUCT, "About product", {87}},
    {IDD_ABOUT, IDC_VERSION_LABEL, "About version", {kVersionLabel}},
    {IDD_ABOUT, IDC_ABOUT_NOTICE, "About notice", {86}},
    {IDD_RESULT_RUNEVEIL2, kCaption, "result title", {48}},
    {IDD_RESULT_RUNEVEIL2, IDC_RESULT_HEADING, "result heading", {57}},
    {IDD_RESULT_RUNEVEIL2, IDC_RESULT_INSTRUCTIONS, "result instructions", {50}},
    {IDD_RESULT_RUNEVEIL2, IDC_RESULT_LINK, "result link (Runeveil 2)", {62}},
    {IDD_RESULT_RUNEVEIL2, IDC_RESULT_VIEW, "result View button", {54}},
    {IDD_RESULT_RUNEVEIL2, IDC_RESULT_OPEN_FOLDER, "result Open Folder button", {55}},
    {IDD_RESULT_RUNEVEIL2, IDC_RESULT_CLOSE, "result Close button", {56}},
    {IDD_RESULT_GENERAL, IDC_RESULT_HEADING, "result heading (general)", {57}},
    {IDD_RESULT_GENERAL, IDC_RESULT_INSTRUCTION, "result instruction", {49}},
    {IDD_RESULT_GENERAL, IDC_RESULT_STEP1, "result step 1", {51}},
    {IDD_RESULT_GENERAL, IDC_RESULT_LINK, "result link", {kOnlineHelpLabel}},
    {IDD_RESULT_GENERAL, IDC_RESULT_STEP2, "result step 2", {52}},
};

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

bool IsChildTemplate(int dialog) { return dialog == IDD_GAME_LIST || dialog == IDD_TEST_PANE; }

// The game list label gets the program's enlarged font.
void EnlargeLabelFont(HWND pane) {
    HWND label = GetDlgItem(pane, IDC_LIST_LABEL);
    LOGFONTA description;
    HFONT font = (HFONT)SendMessageA(label, WM_GETFONT, 0, 0);
    if (font == NULL || GetObjectA(font, sizeof description, &description) != sizeof description) return;
    description.lfHeight = GrowFontHeight(description.lfHeight);
    description.lfWidth = GrowFontWidth(description.lfWidth);
    SendMessageA(label, WM_SETFONT, (WPARAM)CreateFontIndirectA(&description), FALSE);
}

std::wstring WindowTextW(HWND window) {
    wchar_t buffer[2048] = L"";
    GetWindowTextW(window, buffer, 2048);
    return buffer;
}

RECT RectIn(HWND window, HWND dialog) {
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool IsGroupBox(HWND window) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    return lstrcmpiA(className, "Button") == 0 &&
           (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The lowest y a static's text may reach: its own bottom, or the top of the
// nearest visible control below it that shares some of its width, less the gap.
int RoomBottom(HWND control, HWND dialog) {
    RECT own = RectIn(control, dialog);
    RECT gap = {0, 0, 0, kGapDlu};
    MapDialogRect(dialog, &gap);
    int bottom = own.bottom;
    for (HWND sibling = GetWindow(dialog, GW_CHILD); sibling != NULL; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == control || IsGroupBox(sibling)) continue;
        if ((GetWindowLongA(sibling, GWL_STYLE) & WS_VISIBLE) == 0) continue;
        RECT other = RectIn(sibling, dialog);
        if (other.top <= own.top || other.left >= own.right || other.right <= own.left) continue;
        if (other.top - gap.bottom < bottom) bottom = other.top - gap.bottom;
    }
    return bottom;
}

struct Measure {
    HDC dc;
    UINT format;
    int lineHeight;
};

// The size DrawText gives the text at a width.
SIZE TextSize(const Measure& m, const std::wstring& text, int width) {
    RECT rect = {0, 0, width, 0};
    DrawTextW(m.dc, text.c_str(), -1, &rect, m.format | DT_CALCRECT);
    SIZE size = {rect.right, rect.bottom};
    return size;
}

// The narrowest width at which the text takes at most `lines` lines, and the
// lines it takes at `width`.
int NarrowestWidth(const Measure& m, const std::wstring& text, int lines, int width, int* linesAtWidth) {
    SIZE full = TextSize(m, text, width);
    *linesAtWidth = m.lineHeight > 0 ? (full.cy + m.lineHeight - 1) / m.lineHeight : 1;
    int low = 1, high = 8 * width + 4096;
    while (low < high) {
        int middle = (low + high) / 2;
        SIZE size = TextSize(m, text, middle);
        if (size.cy <= lines * m.lineHeight && size.cx <= middle)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

void MeasureText(FILE* out, int language, int textId, const FitItem& item, HWND dialog, const char* text) {
    HWND control = item.control == kCaption ? dialog : GetDlgItem(dialog, item.control);
    if (control == NULL) {
        fprintf(out, "error\tno control %d in dialog %d\n", item.control, item.dialog);
        return;
    }
    std::wstring wide;
    HFONT font = NULL;
    RECT room;
    UINT format = DT_EXPANDTABS;
    bool wraps = false;
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    LONG style = GetWindowLongA(control, GWL_STYLE);

    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    HFONT captionFont = NULL;
    if (item.control == kCaption) {
        // The caption bar: the window's width less its frame, the close box
        // and a small edge on each side.
        SetWindowTextA(dialog, text);
        wide = WindowTextW(dialog);
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        captionFont = CreateFontIndirectA(&metrics.lfCaptionFont);
        font = captionFont;
        RECT window;
        GetWindowRect(dialog, &window);
        int frame = GetSystemMetrics(SM_CXDLGFRAME);
        int edge = GetSystemMetrics(SM_CXEDGE);
        SetRect(&room, 0, 0, window.right - window.left - 2 * frame - GetSystemMetrics(SM_CXSIZE) - 4 * edge,
                GetSystemMetrics(SM_CYCAPTION));
        format |= DT_SINGLELINE | DT_NOPREFIX;
    } else if (lstrcmpiA(className, "ComboBox") == 0) {
        // An item shows beside the drop-down arrow.
        SendMessageA(control, CB_RESETCONTENT, 0, 0);
        SendMessageA(control, CB_ADDSTRING, 0, (LPARAM)text);
        wchar_t item[512] = L"";
        SendMessageW(control, CB_GETLBTEXT, 0, (LPARAM)item);
        wide = item;
        font = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);
        GetClientRect(control, &room);
        room.right -= GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXEDGE) + 2;
        format |= DT_SINGLELINE | DT_NOPREFIX;
    } else {
        SetWindowTextA(control, text);
        wide = WindowTextW(control);
        font = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);
        GetClientRect(control, &room);
        if (lstrcmpiA(className, "Button") == 0) {
            // Push buttons draw their text inside their 3-D edge; a group
            // box's caption is indented from its line.
            int edge = GetSystemMetrics(SM_CXEDGE);
            bool group = (style & BS_TYPEMASK) == BS_GROUPBOX;
            room.right -= group ? 8 * edge : 2 * edge;
            if (style & BS_MULTILINE) {
                wraps = true;
                room.bottom -= 2 * edge;
            } else {
                format |= DT_SINGLELINE;
            }
        } else {
            int type = style & SS_TYPEMASK;
            wraps = type != SS_LEFTNOWORDWRAP;
            if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
            if (wraps) room.bottom = RoomBottom(control, dialog) - RectIn(control, dialog).top;
        }
    }
    if (wraps) format |= DT_WORDBREAK;

    HDC dc = GetDC(control);
    HGDIOBJ previousFont = SelectObject(dc, font != NULL ? (HGDIOBJ)font : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW textMetrics;
    GetTextMetricsW(dc, &textMetrics);
    Measure m = {dc, format, textMetrics.tmHeight};
    int width = room.right - room.left;
    int linesRoom = wraps ? (room.bottom - room.top) / textMetrics.tmHeight : 1;
    if (linesRoom < 1) linesRoom = 1;
    int linesNeeded = 1;
    int narrowest = wide.empty() ? 0 : NarrowestWidth(m, wide, linesRoom, width, &linesNeeded);
    SelectObject(dc, previousFont);
    ReleaseDC(control, dc);
    if (captionFont != NULL) DeleteObject(captionFont);

    int fill = width > 0 ? (int)((narrowest * 100LL + width - 1) / width) : 999;
    fprintf(out, "%d\t%d\t%s (%d)\t%d\t%d\t%d\n", language, textId, item.place, item.control, fill, linesNeeded,
            linesRoom);
}

// Whether a language's column holds its own text for a row (a column without
// a translation points at the English string itself).
bool OwnText(int language, int textId) {
    if (textId < 0 || language == LanguageEnglish) return true;
    int column = LanguageColumn(language);
    return TextAt(textId, column) != TextAt(textId, 0);
}

HWND CreateTemplate(int dialog, HWND host) {
    return CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(dialog),
                              IsChildTemplate(dialog) ? host : NULL, QuietDialogProc, 0);
}

void MeasureLanguage(FILE* out, int language, HWND host) {
    SetCurrentLanguage(language);
    if (TextColumnFor(GetCodePageClass(), language) != LanguageColumn(language)) {
        fprintf(out, "error\tlanguage %d is not shown on code page %u\n", language, GetACP());
        return;
    }
    int current = 0;
    HWND dialog = NULL;
    for (const FitItem& item : kItems) {
        if (item.dialog != current) {
            if (dialog != NULL) DestroyWindow(dialog);
            dialog = CreateTemplate(item.dialog, host);
            current = item.dialog;
            if (dialog == NULL) {
                fprintf(out, "error\tcannot create dialog %d\n", item.dialog);
                continue;
            }
            if (item.dialog == IDD_GAME_LIST) EnlargeLabelFont(dialog);
        }
        if (dialog == NULL) continue;
        for (int i = 0; i < 4; i++) {
            int textId = item.textIds[i];
            if (i > 0 && textId == 0) break;
            if (!OwnText(language, textId)) continue;
            if (textId == kVersionLabel) {
                SetVersionLabel(dialog);
                char label[256] = "";
                GetDlgItemTextA(dialog, IDC_VERSION_LABEL, label, sizeof label);
                MeasureText(out, language, 33, item, dialog, label);
            } else if (textId == kOnlineHelpLabel) {
                MeasureText(out, language, -1, item, dialog, "online-help");
            } else {
                MeasureText(out, language, textId, item, dialog, GetText(textId));
            }
        }
    }
    if (dialog != NULL) DestroyWindow(dialog);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    FILE* out = fopen(argv[1], "w");
    if (out == NULL) return 1;
    fprintf(out, "acp\t%u\n", GetACP());
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    HWND host = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL, QuietDialogProc, 0);
    if (host == NULL) {
        fprintf(out, "error\tcannot create the main window\n");
        fclose(out);
        return 1;
    }
    for (int i = 2; i < argc; i++) MeasureLanguage(out, atoi(argv[i]), host);
    DestroyWindow(host);
    fclose(out);
    return 0;
}
