// See check_list_window.h.
//
// The window is a modal dialog from a template (no owner: the verification
// mode has no main window). Its state is one object on ShowCheckList's
// stack, found through the dialog's user data; the worker thread gets a
// pointer to it and writes only the row it is checking, then posts the
// row's index. The dialog reads a row only after that message, and closing
// waits for the worker before the object goes away, so no row is read while
// it is written and no message outlives its data.
#include "ui/check_list_window.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "catalog/text_catalog.h"
#include "common/ansi_path.h"
#include "common/owned_handle.h"
#include "common/system_message.h"
#include "report/check_output.h"
#include "report/file_check.h"
#include "report/report_findings.h"
#include "resources/resource_ids.h"
#include "ui/shell_open.h"

namespace {

const UINT kRowChecked = WM_APP + 1;

const int kProgramTitleText = 10;
const int kCannotOpenText = 113;
const int kCloseText = 56;
const int kCaptionText = 116;
const int kOutcomeColumnText = 117;
const int kFileColumnText = 118;
const int kDetailsColumnText = 119;
const int kOutcomeTexts[] = {120, 123, 122, 121};  // by CheckOutcome
const int kCheckingText = 124;
const int kOpenReportText = 125;
const int kOpenFolderText = 126;
const int kFindingsLabelText = 127;
const int kNothingFoundText = 128;
const int kUntrustedText = 129;

struct Row {
    FileCheck check;
    ReportFindings findings;
    bool checked;  // set by the dialog when the worker's message arrives
};

// How a control follows the window's size: by how much of the change its
// left, top, right and bottom edges move.
struct Anchor {
    int id;
    bool left, top, right, bottom;
    RECT rect;  // in the client area at the template's size
};

struct CheckListWindow {
    const std::vector<std::wstring>* files;
    std::vector<Row> rows;
    HWND dialog;
    HWND list;
    OwnedHandle worker;
    volatile LONG stop;
    SIZE templateClient;
    SIZE minimumWindow;
    Anchor anchors[6];
    bool anchored;  // the template's layout is recorded; sizing follows it
};

std::wstring Text(int id) {
    wchar_t text[1024];
    GetTextWide(id, text, 1024);
    return text;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), NULL, 0);
    if (chars <= 0) return std::wstring();
    std::wstring wide(chars, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], chars);
    return wide;
}

DWORD WINAPI CheckFiles(void* parameter) {
    CheckListWindow* window = static_cast<CheckListWindow*>(parameter);
    for (size_t i = 0; i < window->rows.size() && window->stop == 0; ++i) {
        Row& row = window->rows[i];
        CheckFile((*window->files)[i].c_str(), true, &row.check);
        // Only a matched report is read for findings: nothing in any other
        // can be trusted.
        if (row.check.outcome == CheckMatched)
            row.findings = FindReportFindings(row.check.reportText.data(), row.check.reportText.size());
        std::string().swap(row.check.reportText);
        PostMessageW(window->dialog, kRowChecked, (WPARAM)i, 0);
    }
    return 0;
}

void SetCell(HWND list, int item, int column, const std::wstring& text) {
    LVITEMW cell;
    ZeroMemory(&cell, sizeof cell);
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, (WPARAM)item, (LPARAM)&cell);
}

std::wstring Details(const Row& row) {
    switch (row.check.outcome) {
    case CheckMatched: return FromAnsi(row.findings.game);
    case CheckMismatched: return FromAnsi(row.check.member);
    case CheckArchiveDamaged: return FromAnsi(ArchiveProblemReason(row.check.archiveResult));
    default: {
        wchar_t reason[512];
        GetSystemReason(row.check.error, reason, 512);
        return reason;
    }
    }
}

int SelectedRow(const CheckListWindow& window) {
    return (int)SendMessageW(window.list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

// The findings pane and the buttons follow the selected row.
void ShowSelected(CheckListWindow* window) {
    const int item = SelectedRow(*window);
    const bool valid = item >= 0 && item < (int)window->rows.size();
    const Row* row = valid ? &window->rows[item] : NULL;
    std::wstring text;
    if (row != NULL) {
        text = (*window->files)[item] + L"\r\n\r\n";
        if (!row->checked) {
            text += Text(kCheckingText);
        } else if (row->check.outcome == CheckMatched) {
            if (row->findings.lines.empty()) text += Text(kNothingFoundText);
            for (const std::string& line : row->findings.lines) text += FromAnsi(line) + L"\r\n";
        } else if (row->check.outcome == CheckMismatched) {
            text += Text(kUntrustedText);
        } else if (row->check.outcome == CheckArchiveDamaged) {
            text += Details(*row);
        } else {
            text += Text(kCannotOpenText) + L"\r\n" + Details(*row);
        }
    }
    SetDlgItemTextW(window->dialog, IDC_CHECK_FINDINGS, text.c_str());
    const bool openable = row != NULL && row->checked && row->check.outcome != CheckCannotOpen;
    EnableWindow(GetDlgItem(window->dialog, IDC_CHECK_OPEN_REPORT), openable);
    EnableWindow(GetDlgItem(window->dialog, IDC_CHECK_OPEN_FOLDER), row != NULL);
}

// Opens the selected file, or its folder, through the shell as the program
// opens everything (ui/shell_open.h), by a path the ANSI shell call can take.
void OpenSelected(CheckListWindow* window, bool folder) {
    const int item = SelectedRow(*window);
    if (item < 0 || item >= (int)window->rows.size()) return;
    std::wstring path = (*window->files)[item];
    if (folder) {
        const size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return;
        path.resize(slash == 2 && path[1] == L':' ? 3 : slash);
    } else if (!window->rows[item].checked || window->rows[item].check.outcome == CheckCannotOpen) {
        return;
    }
    char ansi[MAX_PATH];
    if (ToUsableAnsiPath(path.c_str(), 0, ansi, sizeof ansi)) ShellOpen(window->dialog, ansi);
}

void AddColumn(HWND list, int index, int textId, int width) {
    std::wstring text = Text(textId);
    LVCOLUMNW column;
    ZeroMemory(&column, sizeof column);
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    column.cx = width;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, (WPARAM)index, (LPARAM)&column);
}

void RecordAnchors(CheckListWindow* window) {
    const Anchor anchors[6] = {
        {IDC_CHECK_LIST, false, false, true, true, {}},
        {IDC_CHECK_FINDINGS_LABEL, false, true, false, true, {}},
        {IDC_CHECK_FINDINGS, false, true, true, true, {}},
        {IDC_CHECK_OPEN_REPORT, false, true, false, true, {}},
        {IDC_CHECK_OPEN_FOLDER, false, true, false, true, {}},
        {IDCANCEL, true, true, true, true, {}},
    };
    RECT client;
    GetClientRect(window->dialog, &client);
    window->templateClient.cx = client.right;
    window->templateClient.cy = client.bottom;
    RECT frame;
    GetWindowRect(window->dialog, &frame);
    window->minimumWindow.cx = frame.right - frame.left;
    window->minimumWindow.cy = frame.bottom - frame.top;
    for (int i = 0; i < 6; ++i) {
        window->anchors[i] = anchors[i];
        HWND control = GetDlgItem(window->dialog, anchors[i].id);
        GetWindowRect(control, &window->anchors[i].rect);
        MapWindowPoints(NULL, window->dialog, reinterpret_cast<POINT*>(&window->anchors[i].rect), 2);
    }
    window->anchored = true;
}

// The list takes what the window grows by, the pane and buttons below it
// keep their height and move down.
void Layout(CheckListWindow* window, int width, int height) {
    if (!window->anchored) return;
    const int dx = width - window->templateClient.cx;
    const int dy = height - window->templateClient.cy;
    for (const Anchor& anchor : window->anchors) {
        const RECT& r = anchor.rect;
        const int left = r.left + (anchor.left ? dx : 0), top = r.top + (anchor.top ? dy : 0);
        const int right = r.right + (anchor.right ? dx : 0), bottom = r.bottom + (anchor.bottom ? dy : 0);
        MoveWindow(GetDlgItem(window->dialog, anchor.id), left, top, right - left, bottom - top, TRUE);
    }
}

void InitWindow(HWND dialog, CheckListWindow* window) {
    window->dialog = dialog;
    window->list = GetDlgItem(dialog, IDC_CHECK_LIST);
    SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)window);
    SetWindowTextW(dialog, (Text(kProgramTitleText) + L" - " + Text(kCaptionText)).c_str());
    SetDlgItemTextW(dialog, IDC_CHECK_FINDINGS_LABEL, Text(kFindingsLabelText).c_str());
    SetDlgItemTextW(dialog, IDC_CHECK_OPEN_REPORT, Text(kOpenReportText).c_str());
    SetDlgItemTextW(dialog, IDC_CHECK_OPEN_FOLDER, Text(kOpenFolderText).c_str());
    SetDlgItemTextW(dialog, IDCANCEL, Text(kCloseText).c_str());
    HICON icon = LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_DIAGNOVA));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);

    SendMessageW(window->list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    RECT listRect;
    GetClientRect(window->list, &listRect);
    const int width = listRect.right - GetSystemMetrics(SM_CXVSCROLL);
    AddColumn(window->list, 0, kOutcomeColumnText, width * 27 / 100);
    AddColumn(window->list, 1, kFileColumnText, width * 45 / 100);
    AddColumn(window->list, 2, kDetailsColumnText, width - width * 27 / 100 - width * 45 / 100);
    const std::wstring checking = Text(kCheckingText);
    for (size_t i = 0; i < window->rows.size(); ++i) {
        LVITEMW item;
        ZeroMemory(&item, sizeof item);
        item.mask = LVIF_TEXT;
        item.iItem = (int)i;
        item.pszText = const_cast<wchar_t*>(checking.c_str());
        SendMessageW(window->list, LVM_INSERTITEMW, 0, (LPARAM)&item);
        SetCell(window->list, (int)i, 1, (*window->files)[i]);
    }
    LVITEMW state;
    ZeroMemory(&state, sizeof state);
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(window->list, LVM_SETITEMSTATE, 0, (LPARAM)&state);
    RecordAnchors(window);
    ShowSelected(window);
    SetFocus(window->list);

    window->worker.Reset(CreateThread(NULL, 0, CheckFiles, window, 0, NULL));
    // Without a thread the files are still checked, here and now.
    if (!window->worker.Valid()) CheckFiles(window);
}

void RowChecked(CheckListWindow* window, size_t index) {
    if (index >= window->rows.size()) return;
    Row& row = window->rows[index];
    row.checked = true;
    SetCell(window->list, (int)index, 0, Text(kOutcomeTexts[row.check.outcome]));
    SetCell(window->list, (int)index, 2, Details(row));
    if ((int)index == SelectedRow(*window)) ShowSelected(window);
}

void Close(CheckListWindow* window) {
    InterlockedExchange(&window->stop, 1);
    if (window->worker.Valid()) WaitForSingleObject(window->worker.Get(), INFINITE);
    EndDialog(window->dialog, 0);
}

INT_PTR CALLBACK CheckListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    CheckListWindow* window = reinterpret_cast<CheckListWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        InitWindow(dialog, reinterpret_cast<CheckListWindow*>(lParam));
        return FALSE;
    }
    if (window == NULL) return FALSE;
    switch (message) {
    case kRowChecked:
        RowChecked(window, (size_t)wParam);
        return TRUE;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) Layout(window, LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_GETMINMAXINFO: {
        if (!window->anchored) return FALSE;
        MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize.x = window->minimumWindow.cx;
        limits->ptMinTrackSize.y = window->minimumWindow.cy;
        return TRUE;
    }
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_CHECK_LIST) return FALSE;
        if (header->code == LVN_ITEMCHANGED &&
            (reinterpret_cast<const NMLISTVIEW*>(lParam)->uChanged & LVIF_STATE) != 0) {
            ShowSelected(window);
        } else if (header->code == LVN_ITEMACTIVATE) {
            OpenSelected(window, false);
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        // Enter in the list (the dialog has no default button) opens the file.
        case IDOK:
            if (GetFocus() == window->list) OpenSelected(window, false);
            return TRUE;
        case IDC_CHECK_OPEN_REPORT:
            OpenSelected(window, false);
            return TRUE;
        case IDC_CHECK_OPEN_FOLDER:
            OpenSelected(window, true);
            return TRUE;
        case IDCANCEL:
            Close(window);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        Close(window);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int ShowCheckList(const std::vector<std::wstring>& files) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Opening through the desktop's shell goes through COM.
    const HRESULT com = CoInitialize(NULL);
    CheckListWindow window;
    window.files = &files;
    window.rows.resize(files.size());
    for (Row& row : window.rows) row.checked = false;
    window.dialog = window.list = NULL;
    window.stop = 0;
    window.anchored = false;
    HINSTANCE instance = GetModuleHandleA(NULL);
    INT_PTR shown = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CHECK_LIST), NULL, CheckListProc, (LPARAM)&window);
    // A dialog that never showed still ends its worker before the rows go.
    InterlockedExchange(&window.stop, 1);
    if (window.worker.Valid()) WaitForSingleObject(window.worker.Get(), INFINITE);
    if (SUCCEEDED(com)) CoUninitialize();
    CheckOutcome worst = CheckMatched;
    for (const Row& row : window.rows) worst = WorseOutcome(worst, row.checked ? row.check.outcome : CheckCannotOpen);
    if (shown == -1) worst = CheckCannotOpen;
    return CheckOutcomeExitCode(worst);
}
