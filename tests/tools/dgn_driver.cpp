// dgn_driver: drives a Win32 program from the outside for end-to-end tests.
//
// It runs under Wine as a console program next to the program under test and
// works only through public window messages: it starts the program, waits for
// its windows, reads captions and control texts, presses buttons and collects
// the exit code. The commands of one invocation run in order in one process,
// separated by "+", so the started program's process handle is kept from
// "start" to "wait-exit" (a separate invocation could no longer read the exit
// code of a program that has already ended).
//
// Output is machine-readable: one "key: value" line per fact; texts are
// escaped (\\ \n \r \t) so each stays on one line. tests/e2e/driver.py parses it.
//
// Arguments are taken from the wide command line and programs are started
// with the wide functions, so paths and titles in any script arrive whole
// whatever the ANSI code page; window texts are printed as the ANSI bytes
// the program under test uses.
//
// To add a command: write a function taking the Driver state and its
// arguments, and add it to kCommands with its usage line.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "own_time_log.h"

#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: dgn_driver COMMAND [ARG...] [+ COMMAND [ARG...]]...\n"
    "Commands run in order; the first failure stops the run (exit code 2),\n"
    "prints \"error: ...\" and ends a program that this run started.\n"
    "Output: one \"key: value\" per line; texts escape \\\\ \\n \\r \\t.\n"
    "Commands:\n";

struct Driver {
    HANDLE process = NULL;    // of the started or attached program
    DWORD processId = 0;
    bool startedHere = false;
    HWND window = NULL;       // the current top-level window
    DWORD timeoutMs = 10000;  // for every wait
};

typedef std::vector<std::string> Args;

struct Command {
    const char* name;
    bool (*run)(Driver& driver, const Args& args);
    const char* usage;
};

// -- output -------------------------------------------------------------------

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

void Print(const char* key, const std::string& value) {
    printf("%s: %s\n", key, value.c_str());
    fflush(stdout);
}

void PrintNumber(const char* key, unsigned long value) { Print(key, std::to_string(value)); }

bool Fail(const std::string& why) {
    Print("error", Escape(why));
    return false;
}

std::string HandleText(HWND window) {
    char text[32];
    snprintf(text, sizeof text, "0x%08lX", (unsigned long)(ULONG_PTR)window);
    return text;
}

bool ParseNumber(const std::string& text, long* value) {
    if (text.empty()) return false;
    char* end = NULL;
    long parsed = strtol(text.c_str(), &end, 0);
    if (*end != '\0') return false;
    *value = parsed;
    return true;
}

std::wstring Widen(const std::string& utf8) {
    int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, NULL, 0);
    if (chars <= 0) return std::wstring();
    std::vector<wchar_t> wide(chars);
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), chars);
    return wide.data();
}

std::string Utf8(const wchar_t* wide) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    if (bytes <= 0) return std::string();
    std::vector<char> utf8(bytes);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), bytes, NULL, NULL);
    return utf8.data();
}

// -- window helpers -----------------------------------------------------------

// A window's text through WM_GETTEXT with a timeout, so a hung program cannot
// hang the driver.
bool ReadWindowText(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return false;
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data(), SMTO_ABORTIFHUNG, 2000,
                             &copied))
        return false;
    text->assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
    return true;
}

// The same in wide characters, for comparisons with titles given in any script.
bool ReadWindowTextW(HWND window, std::wstring* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return false;
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data(), SMTO_ABORTIFHUNG, 2000,
                             &copied))
        return false;
    text->assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
    return true;
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// The first control with the id anywhere below the window.
HWND FindControl(HWND window, long id) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChildren, (LPARAM)&children);
    for (HWND child : children)
        if (GetDlgCtrlID(child) == (int)id) return child;
    return NULL;
}

// Which top-level windows to find. A dialog is best told by one of its
// control ids: its title may be translated.
struct WindowQuery {
    DWORD processId = 0;  // 0: any process
    const char* className = NULL;
    bool byTitle = false;
    std::wstring title;
    long controlId = 0;   // 0: any
    bool hiddenToo = false;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    WindowQuery* query = reinterpret_cast<WindowQuery*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (query->processId != 0 && owner != query->processId) return TRUE;
    if (!query->hiddenToo && !IsWindowVisible(window)) return TRUE;
    if (query->className != NULL && ClassOf(window) != query->className) return TRUE;
    if (query->byTitle) {
        std::wstring title;
        if (!ReadWindowTextW(window, &title) || title != query->title) return TRUE;
    }
    if (query->controlId != 0 && FindControl(window, query->controlId) == NULL) return TRUE;
    query->found.push_back(window);
    return TRUE;
}

WindowQuery ProcessWindows(const Driver& driver);

bool NeedWindow(const Driver& driver) {
    if (driver.window != NULL && IsWindow(driver.window)) return true;
    return Fail("no current window (use wait-window first)");
}

void PrintExitCode(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    Print("exit_code", std::to_string((long)(LONG)code));
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08lX", (unsigned long)code);
    Print("exit_code_hex", hex);
}

// -- commands -----------------------------------------------------------------

std::string QuoteWord(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    return "\"" + word + "\"";
}

bool StartWithCommandLine(Driver& driver, const std::string& program, std::string commandLine) {
    if (driver.process != NULL) return Fail("a program was already started");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring wideLine = Widen(commandLine);
    std::vector<wchar_t> line(wideLine.begin(), wideLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(Widen(program).c_str(), line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return Fail("cannot start " + program + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(info.hThread);
    driver.process = info.hProcess;
    driver.processId = info.dwProcessId;
    driver.startedHere = true;
    PrintNumber("pid", info.dwProcessId);
    return true;
}

bool CmdStart(Driver& driver, const Args& args) {
    if (args.empty()) return Fail("start needs a program");
    std::string line = QuoteWord(args[0]);
    for (size_t i = 1; i < args.size(); ++i) line += " " + QuoteWord(args[i]);
    return StartWithCommandLine(driver, args[0], line);
}

bool CmdStartRaw(Driver& driver, const Args& args) {
    if (args.size() != 2) return Fail("start-raw needs a program and a command line");
    return StartWithCommandLine(driver, args[0], args[1]);
}

bool CmdAttach(Driver& driver, const Args& args) {
    long pid = 0;
    if (args.size() != 1 || !ParseNumber(args[0], &pid)) return Fail("attach needs a process id");
    if (driver.process != NULL) return Fail("a program was already started");
    driver.process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, (DWORD)pid);
    if (driver.process == NULL) return Fail("cannot open process " + args[0]);
    driver.processId = (DWORD)pid;
    return true;
}

bool CmdTimeout(Driver& driver, const Args& args) {
    long ms = 0;
    if (args.size() != 1 || !ParseNumber(args[0], &ms) || ms < 0) return Fail("timeout needs milliseconds");
    driver.timeoutMs = (DWORD)ms;
    return true;
}

bool CmdWindows(Driver& driver, const Args&);

WindowQuery ProcessWindows(const Driver& driver) {
    WindowQuery query;
    query.processId = driver.processId;
    return query;
}

// Options of wait-window and wait-gone: --class C, --title T, --control ID.
bool ParseWindowQuery(const Driver& driver, const Args& args, WindowQuery* query) {
    *query = ProcessWindows(driver);
    if (args.size() % 2 != 0) return false;
    for (size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == "--class") {
            query->className = args[i + 1].c_str();
        } else if (args[i] == "--title") {
            query->byTitle = true;
            query->title = Widen(args[i + 1]);
        } else if (args[i] != "--control" || !ParseNumber(args[i + 1], &query->controlId)) {
            return false;
        }
    }
    return true;
}

bool CmdWaitWindow(Driver& driver, const Args& args) {
    WindowQuery query;
    if (!ParseWindowQuery(driver, args, &query)) return Fail("wait-window takes --class C, --title T and --control ID");
    const DWORD start = GetTickCount();
    for (;;) {
        query.found.clear();
        EnumWindows(CollectTopLevel, (LPARAM)&query);
        if (!query.found.empty()) break;
        if (GetTickCount() - start >= driver.timeoutMs) {
            CmdWindows(driver, Args());  // what there is instead, for the test log
            return Fail("timeout waiting for a window");
        }
        // Windows have no creation event that another process can wait on;
        // poll, but wake at once when the program ends instead.
        if (driver.process != NULL && WaitForSingleObject(driver.process, 50) == WAIT_OBJECT_0) {
            PrintExitCode(driver.process);
            return Fail("the program ended before showing the window");
        }
        if (driver.process == NULL) Sleep(50);
    }
    driver.window = query.found[0];
    std::string title;
    ReadWindowText(driver.window, &title);
    Print("window", HandleText(driver.window));
    Print("class", Escape(ClassOf(driver.window)));
    Print("title", Escape(title));
    RECT rect;
    if (GetWindowRect(driver.window, &rect))
        Print("rect", std::to_string(rect.left) + " " + std::to_string(rect.top) + " " + std::to_string(rect.right) +
                          " " + std::to_string(rect.bottom));
    return true;
}

// Waits until the program has no such window, hidden ones included (or has
// ended). A modal dialog is hidden first and destroyed only when its message
// loop has ended; until then its owner is not ready for anything else.
bool CmdWaitGone(Driver& driver, const Args& args) {
    WindowQuery query;
    if (!ParseWindowQuery(driver, args, &query)) return Fail("wait-gone takes --class C, --title T and --control ID");
    query.hiddenToo = true;
    const DWORD start = GetTickCount();
    for (;;) {
        query.found.clear();
        EnumWindows(CollectTopLevel, (LPARAM)&query);
        if (query.found.empty()) return true;
        if (GetTickCount() - start >= driver.timeoutMs) return Fail("timeout waiting for the window to go");
        if (driver.process == NULL || WaitForSingleObject(driver.process, 50) == WAIT_OBJECT_0) Sleep(50);
    }
}

bool CmdWindows(Driver& driver, const Args&) {
    WindowQuery query = ProcessWindows(driver);
    EnumWindows(CollectTopLevel, (LPARAM)&query);
    for (HWND window : query.found) {
        std::string title;
        ReadWindowText(window, &title);
        Print("top_level", HandleText(window) + "\t" + Escape(ClassOf(window)) + "\t" + Escape(title));
    }
    return true;
}

bool CmdDump(Driver& driver, const Args&) {
    if (!NeedWindow(driver)) return false;
    std::string title;
    if (!ReadWindowText(driver.window, &title)) return Fail("the window does not answer");
    Print("window", HandleText(driver.window));
    Print("class", Escape(ClassOf(driver.window)));
    Print("title", Escape(title));
    std::vector<HWND> children;
    EnumChildWindows(driver.window, CollectChildren, (LPARAM)&children);
    for (HWND child : children) {
        std::string text;
        ReadWindowText(child, &text);
        // id, class, visible flag, text: tab-separated; the text is last.
        Print("control", std::to_string(GetDlgCtrlID(child)) + "\t" + Escape(ClassOf(child)) + "\t" +
                             (IsWindowVisible(child) ? "1" : "0") + "\t" + Escape(text));
    }
    return true;
}

bool CmdText(Driver& driver, const Args& args) {
    long id = 0;
    if (args.size() != 1 || !ParseNumber(args[0], &id)) return Fail("text needs a control id");
    if (!NeedWindow(driver)) return false;
    HWND control = FindControl(driver.window, id);
    if (control == NULL) return Fail("no control " + args[0]);
    std::string text;
    if (!ReadWindowText(control, &text)) return Fail("control " + args[0] + " does not answer");
    Print("text", Escape(text));
    return true;
}

bool CmdClick(Driver& driver, const Args& args) {
    long id = 0;
    if (args.size() != 1 || !ParseNumber(args[0], &id)) return Fail("click needs a control id");
    if (!NeedWindow(driver)) return false;
    HWND button = FindControl(driver.window, id);
    if (button == NULL) return Fail("no control " + args[0]);
    // A click that opens a modal dialog returns only when that dialog ends;
    // a timeout therefore still means the click is being handled.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
    Print("clicked", std::to_string(id));
    return true;
}

bool CmdClose(Driver& driver, const Args&) {
    if (!NeedWindow(driver)) return false;
    PostMessageA(driver.window, WM_CLOSE, 0, 0);
    Print("closed", HandleText(driver.window));
    return true;
}

bool CmdWaitExit(Driver& driver, const Args&) {
    if (driver.process == NULL) return Fail("no program started");
    if (WaitForSingleObject(driver.process, driver.timeoutMs) != WAIT_OBJECT_0)
        return Fail("timeout waiting for the program to end");
    PrintExitCode(driver.process);
    return true;
}

bool CmdKill(Driver& driver, const Args&) {
    if (driver.process == NULL) return Fail("no program started");
    TerminateProcess(driver.process, 0xDEAD);
    WaitForSingleObject(driver.process, driver.timeoutMs);
    Print("killed", std::to_string(driver.processId));
    return true;
}


// -- main-window commands -------------------------------------------------------

// Runs fn with a handle that may read and write the program's memory.
HANDLE OpenForMemory(const Driver& driver) {
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                       FALSE, driver.processId);
}

bool NeedControl(const Driver& driver, const std::string& idText, HWND* control) {
    long id = 0;
    if (!ParseNumber(idText, &id)) return Fail("bad control id " + idText);
    if (!NeedWindow(driver)) return false;
    *control = FindControl(driver.window, id);
    if (*control == NULL) return Fail("no control " + idText);
    return true;
}

void PostClick(HWND control, int x, int y) {
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Clicks a list-view item in the middle of its real rectangle, which the list
// itself reports (LVM_GETITEMRECT with the RECT in the program's memory).
bool CmdListClick(Driver& driver, const Args& args) {
    HWND list = NULL;
    long index = 0;
    if (args.size() != 2 || !ParseNumber(args[1], &index)) return Fail("list-click needs a control id and an item");
    if (!NeedControl(driver, args[0], &list)) return false;
    HANDLE process = OpenForMemory(driver);
    if (process == NULL) return Fail("cannot open the program's memory");
    void* remote = VirtualAllocEx(process, NULL, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT rect = {LVIR_BOUNDS, 0, 0, 0};
    SIZE_T moved = 0;
    DWORD_PTR found = 0;
    bool ok = remote != NULL && WriteProcessMemory(process, remote, &rect, sizeof rect, &moved) &&
              SendMessageTimeoutA(list, LVM_GETITEMRECT, (WPARAM)index, (LPARAM)remote, SMTO_ABORTIFHUNG, 2000,
                                  &found) &&
              found && ReadProcessMemory(process, remote, &rect, sizeof rect, &moved);
    if (remote != NULL) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!ok) return Fail("no item " + args[1]);
    int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    PostClick(list, x, y);
    Print("item_rect", std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
                           std::to_string(rect.right) + "," + std::to_string(rect.bottom));
    return true;
}

// The rows of a report-style list view, each "ROW<TAB>COLUMN 0<TAB>..."
// (escaped), read through LVM_GETITEMTEXTA with the record and the text
// buffer in the program's memory. With --until-none-reads TEXT it first
// waits until no row's first column reads TEXT (a list filled by a worker).
bool ReadListRows(HANDLE process, HWND list, std::vector<std::vector<std::string>>* rows) {
    const int kTextBytes = 1024;
    const int columns = (int)SendMessageA((HWND)SendMessageA(list, LVM_GETHEADER, 0, 0), HDM_GETITEMCOUNT, 0, 0);
    const int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    char* remote = (char*)VirtualAllocEx(process, NULL, sizeof(LVITEMA) + kTextBytes, MEM_COMMIT, PAGE_READWRITE);
    if (remote == NULL) return false;
    bool ok = true;
    rows->clear();
    for (int row = 0; row < count && ok; ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < (columns > 0 ? columns : 1) && ok; ++column) {
            LVITEMA item;
            ZeroMemory(&item, sizeof item);
            item.iSubItem = column;
            item.pszText = remote + sizeof(LVITEMA);
            item.cchTextMax = kTextBytes;
            char text[kTextBytes] = "";
            SIZE_T moved = 0;
            ok = WriteProcessMemory(process, remote, &item, sizeof item, &moved) &&
                 WriteProcessMemory(process, remote + sizeof(LVITEMA), text, 1, &moved);
            DWORD_PTR length = 0;
            ok = ok && SendMessageTimeoutA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)remote, SMTO_ABORTIFHUNG,
                                           2000, &length) &&
                 ReadProcessMemory(process, remote + sizeof(LVITEMA), text, kTextBytes, &moved);
            text[kTextBytes - 1] = '\0';
            cells.push_back(text);
        }
        rows->push_back(cells);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok;
}

bool CmdListItems(Driver& driver, const Args& args) {
    HWND list = NULL;
    if (args.size() != 1 && !(args.size() == 3 && args[1] == "--until-none-reads"))
        return Fail("list-items needs a control id [--until-none-reads TEXT]");
    if (!NeedControl(driver, args[0], &list)) return false;
    HANDLE process = OpenForMemory(driver);
    if (process == NULL) return Fail("cannot open the program's memory");
    std::vector<std::vector<std::string>> rows;
    const DWORD start = GetTickCount();
    bool ok = false;
    // How long the window took at most to answer while the list filled.
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double longestMs = 0;
    for (;;) {
        LARGE_INTEGER before, after;
        DWORD_PTR ignored = 0;
        QueryPerformanceCounter(&before);
        SendMessageTimeoutA(driver.window, WM_NULL, 0, 0, SMTO_NORMAL, driver.timeoutMs, &ignored);
        QueryPerformanceCounter(&after);
        const double ms = (double)(after.QuadPart - before.QuadPart) * 1000.0 / (double)frequency.QuadPart;
        if (ms > longestMs) longestMs = ms;
        ok = ReadListRows(process, list, &rows);
        bool settled = ok;
        for (const std::vector<std::string>& row : rows)
            if (args.size() == 3 && !row.empty() && row[0] == args[2]) settled = false;
        if (settled || !ok) break;
        if (GetTickCount() - start >= driver.timeoutMs) {
            CloseHandle(process);
            return Fail("timeout waiting for the list to settle");
        }
        Sleep(50);
    }
    CloseHandle(process);
    if (!ok) return Fail("cannot read the list");
    char longest[32];
    snprintf(longest, sizeof longest, "%.1f", longestMs);
    Print("ui_longest_reply_ms", longest);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string line = std::to_string(i);
        for (const std::string& cell : rows[i]) line += "\t" + Escape(cell);
        Print("list_item", line);
    }
    return true;
}

// A click at client coordinates of a control, e.g. the empty part of a list.
bool CmdClickAt(Driver& driver, const Args& args) {
    HWND control = NULL;
    long x = 0, y = 0;
    if (args.size() != 3 || !ParseNumber(args[1], &x) || !ParseNumber(args[2], &y))
        return Fail("click-at needs a control id, x and y");
    if (!NeedControl(driver, args[0], &control)) return false;
    PostClick(control, (int)x, (int)y);
    return true;
}

// Posts a menu or accelerator command to the current window, so a command
// that opens a modal dialog does not block the driver.
bool CmdCommand(Driver& driver, const Args& args) {
    long id = 0;
    if (args.size() != 1 || !ParseNumber(args[0], &id)) return Fail("command needs a command id");
    if (!NeedWindow(driver)) return false;
    PostMessageA(driver.window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return true;
}

// Chooses a combo box item as the user would: the selection changes and the
// parent hears CBN_SELCHANGE.
bool CmdSelect(Driver& driver, const Args& args) {
    HWND combo = NULL;
    long index = 0;
    if (args.size() != 2 || !ParseNumber(args[1], &index)) return Fail("select needs a control id and an item");
    if (!NeedControl(driver, args[0], &combo)) return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(combo, CB_SETCURSEL, (WPARAM)index, 0, SMTO_ABORTIFHUNG, 2000, &result);
    SendMessageTimeoutA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                        (LPARAM)combo, SMTO_ABORTIFHUNG, 2000, &result);
    return true;
}

// The items of a combo box and the selected one.
bool CmdCombo(Driver& driver, const Args& args) {
    HWND combo = NULL;
    if (args.size() != 1) return Fail("combo needs a control id");
    if (!NeedControl(driver, args[0], &combo)) return false;
    DWORD_PTR count = 0, selected = 0;
    SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    SendMessageTimeoutA(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &selected);
    for (DWORD_PTR i = 0; i < count; i++) {
        // Wine passes CB_GETLBTEXT between processes only in its wide form;
        // the driver shares the program's ANSI code page, so converting back
        // gives the program's own bytes.
        wchar_t wide[512] = L"";
        char text[1024] = "";
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, (LPARAM)wide, SMTO_ABORTIFHUNG, 2000, &length);
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
        Print("combo_item", Escape(text));
    }
    Print("combo_selected", std::to_string((long)(LONG)selected));
    return true;
}

// The address of a hyperlink control: its window property points to the link
// object, whose first field after the virtual table is the address pointer.
bool CmdLinkUrl(Driver& driver, const Args& args) {
    static const char kProperty[] = "_Hyperlink_Object_Pointer_\\{AFEED740-CC6D-47c5-831D-9848FD916EEF}";
    HWND control = NULL;
    if (args.size() != 1) return Fail("link-url needs a control id");
    if (!NeedControl(driver, args[0], &control)) return false;
    HANDLE object = GetPropA(control, kProperty);
    if (object == NULL) return Fail("control " + args[0] + " is no hyperlink");
    HANDLE process = OpenForMemory(driver);
    if (process == NULL) return Fail("cannot open the program's memory");
    // The link object's address field follows its table pointer; the driver
    // is built for the same processor as the program, so the widths agree.
    ULONG_PTR urlPointer = 0;
    SIZE_T moved = 0;
    std::string url;
    bool ok = ReadProcessMemory(process, (const char*)object + sizeof(void*), &urlPointer, sizeof urlPointer, &moved);
    if (ok && urlPointer != 0) {
        char buffer[1024] = "";
        // The string may end before the page does; read it in small steps.
        for (size_t at = 0; at + 1 < sizeof buffer; at++) {
            if (!ReadProcessMemory(process, (const char*)urlPointer + at, buffer + at, 1, &moved) ||
                buffer[at] == '\0')
                break;
        }
        url = buffer;
    }
    CloseHandle(process);
    if (!ok) return Fail("cannot read the link object");
    Print("link_url", Escape(url));
    Print("link_visible", IsWindowVisible(control) ? "1" : "0");
    return true;
}

// The control that has the keyboard focus in the program's interface thread.
bool CmdFocus(Driver& driver, const Args&) {
    if (!NeedWindow(driver)) return false;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(driver.window, NULL), &info)) return Fail("no thread info");
    Print("focus_id", std::to_string(info.hwndFocus != NULL ? GetDlgCtrlID(info.hwndFocus) : 0));
    Print("focus_class", Escape(info.hwndFocus != NULL ? ClassOf(info.hwndFocus) : ""));
    return true;
}

// Real keyboard input to the program's window: "alt+x", "ctrl+u", "tab".
bool CmdKeys(Driver& driver, const Args& args) {
    if (args.size() != 1) return Fail("keys needs a key such as alt+x");
    if (!NeedWindow(driver)) return false;
    std::vector<WORD> modifiers;
    std::string rest = args[0];
    for (;;) {
        size_t plus = rest.find('+');
        if (plus == std::string::npos) break;
        std::string name = rest.substr(0, plus);
        rest = rest.substr(plus + 1);
        if (name == "alt") modifiers.push_back(VK_MENU);
        else if (name == "ctrl") modifiers.push_back(VK_CONTROL);
        else if (name == "shift") modifiers.push_back(VK_SHIFT);
        else return Fail("unknown modifier " + name);
    }
    WORD key = 0;
    if (rest == "tab") key = VK_TAB;
    else if (rest == "space") key = VK_SPACE;
    else if (rest == "enter") key = VK_RETURN;
    else if (rest.size() == 1 && isalnum((unsigned char)rest[0])) key = (WORD)toupper((unsigned char)rest[0]);
    else return Fail("unknown key " + rest);
    // Input goes to the active window. Another program (a browser that a
    // link just opened) may still hold the activation: wait until the
    // program's window has it, or keys would be lost on the way.
    const DWORD start = GetTickCount();
    while (SetForegroundWindow(driver.window), GetForegroundWindow() != driver.window) {
        if (GetTickCount() - start >= driver.timeoutMs) return Fail("the window cannot be activated");
        Sleep(20);
    }
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD m : modifiers) add(m, false);
    add(key, false);
    add(key, true);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) add(*it, true);
    SendInput((UINT)inputs.size(), inputs.data(), sizeof(INPUT));
    Print("keys", Escape(args[0]));
    return true;
}

// The menu bar of the current window: one line per item with its path
// position, command id, state flags (checked, grayed) and text. Wine keeps
// menus inside the owning process, so there this fails for other programs.
void PrintMenu(HMENU menu, const std::string& path) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, (UINT)i, TRUE, &info)) continue;
        std::string position = path.empty() ? std::to_string(i) : path + "." + std::to_string(i);
        Print("menu_item", position + "\t" + std::to_string(info.wID) + "\t" +
                               ((info.fState & MFS_CHECKED) ? "1" : "0") + "\t" +
                               ((info.fState & MFS_GRAYED) ? "1" : "0") + "\t" + Escape(text));
        if (info.hSubMenu != NULL) PrintMenu(info.hSubMenu, position);
    }
}

bool CmdMenu(Driver& driver, const Args&) {
    if (!NeedWindow(driver)) return false;
    HMENU menu = GetMenu(driver.window);
    if (menu == NULL || GetMenuItemCount(menu) < 0) return Fail("the window's menu cannot be read");
    PrintMenu(menu, "");
    return true;
}

// How long the program's user-interface thread goes without handling
// messages: every PERIOD ms one WM_NULL goes to the program's first visible
// top-level window (every window of the program belongs to that one thread,
// so one window tells for all), and each round trip is timed. It ends when a
// window titled TITLE shows, the program ends, or the timeout passes. A window
// that does not answer at all counts with the whole wait for it. Also prints
// when the longest round trip began (ui_max_stall_at_us, system clock).
bool CmdStallWatch(Driver& driver, const Args& args) {
    long period = 50;
    if (args.empty() || args.size() > 2 || (args.size() == 2 && (!ParseNumber(args[1], &period) || period < 1)))
        return Fail("stall-watch needs a window title and optionally a period in milliseconds");
    if (driver.process == NULL) return Fail("no program started or attached");
    LARGE_INTEGER frequency, started, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    double longestMs = 0;
    unsigned long long longestAt = 0;
    unsigned long probes = 0;
    std::string longestTitle;
    for (;;) {
        WindowQuery done = ProcessWindows(driver);
        done.byTitle = true;
        done.title = Widen(args[0]);
        EnumWindows(CollectTopLevel, (LPARAM)&done);
        if (!done.found.empty()) break;
        QueryPerformanceCounter(&now);
        if ((now.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart >= (LONGLONG)driver.timeoutMs) {
            PrintNumber("ui_probes", probes);
            return Fail("timeout waiting for a window");
        }
        WindowQuery any = ProcessWindows(driver);
        EnumWindows(CollectTopLevel, (LPARAM)&any);
        if (!any.found.empty()) {
            LARGE_INTEGER before, after;
            DWORD_PTR ignored = 0;
            QueryPerformanceCounter(&before);
            SendMessageTimeoutA(any.found[0], WM_NULL, 0, 0, SMTO_NORMAL, driver.timeoutMs, &ignored);
            QueryPerformanceCounter(&after);
            double ms = (double)(after.QuadPart - before.QuadPart) * 1000.0 / (double)frequency.QuadPart;
            ++probes;
            if (ms > longestMs) {
                longestMs = ms;
                longestAt = SystemMicroseconds() - (unsigned long long)(ms * 1000.0);
                longestTitle.clear();
                ReadWindowText(any.found[0], &longestTitle);
            }
        }
        if (WaitForSingleObject(driver.process, (DWORD)period) == WAIT_OBJECT_0) {
            PrintExitCode(driver.process);
            return Fail("the program ended before showing the window");
        }
    }
    char longest[32];
    snprintf(longest, sizeof longest, "%.1f", longestMs);
    Print("ui_max_stall_ms", longest);
    Print("ui_max_stall_window", Escape(longestTitle));
    Print("ui_max_stall_at_us", std::to_string(longestAt));
    PrintNumber("ui_probes", probes);
    return true;
}

// Waits until each of these processes has ended (a process that no longer
// exists has ended); tells which ones are still running when the time is up.
// Used to see that a program stopped the tools it started.
bool CmdWaitEnded(Driver& driver, const Args& args) {
    if (args.empty()) return Fail("wait-ended needs process ids");
    DWORD deadline = GetTickCount() + driver.timeoutMs;
    std::string running;
    for (const std::string& text : args) {
        long pid = 0;
        if (!ParseNumber(text, &pid)) return Fail("bad process id " + text);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
        if (process == NULL) {
            Print("ended", text);
            continue;
        }
        DWORD left = (LONG)(deadline - GetTickCount()) > 0 ? deadline - GetTickCount() : 0;
        if (WaitForSingleObject(process, left) == WAIT_OBJECT_0) {
            Print("ended", text);
        } else {
            running += (running.empty() ? "" : " ") + text;
        }
        CloseHandle(process);
    }
    if (!running.empty()) return Fail("still running: " + running);
    return true;
}

// A progress bar's position.
bool CmdBar(Driver& driver, const Args& args) {
    if (args.size() != 1) return Fail("bar needs a control id");
    HWND bar = NULL;
    if (!NeedControl(driver, args[0], &bar)) return false;
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position))
        return Fail("control " + args[0] + " does not answer");
    PrintNumber("position", (unsigned long)position);
    return true;
}

// Waits a little for the program to handle what was posted.
bool CmdPause(Driver&, const Args& args) {
    long ms = 0;
    if (args.size() != 1 || !ParseNumber(args[0], &ms) || ms < 0) return Fail("pause needs milliseconds");
    Sleep((DWORD)ms);
    return true;
}

const Command kCommands[] = {
    {"start", CmdStart, "start PROGRAM [ARG...]      start a program; words with blanks are quoted"},
    {"start-raw", CmdStartRaw, "start-raw PROGRAM LINE      start with exactly this command line"},
    {"attach", CmdAttach, "attach PID                  use a running program instead"},
    {"timeout", CmdTimeout, "timeout MS                  limit for the following waits (default 10000)"},
    {"wait-window", CmdWaitWindow,
     "wait-window [--class C] [--title T] [--control ID]  wait for a visible top-level window (holding control ID);\n"
     "                            print its title and rect"},
    {"wait-gone", CmdWaitGone, "wait-gone [--class C] [--title T] [--control ID]  wait until no such window exists"},
    {"windows", CmdWindows, "windows                     list the program's visible top-level windows"},
    {"dump", CmdDump, "dump                        caption and controls (id, class, visible, text)"},
    {"text", CmdText, "text ID                     one control's text"},
    {"click", CmdClick, "click ID                    press a button (BM_CLICK)"},
    {"close", CmdClose, "close                       post WM_CLOSE to the current window"},
    {"wait-exit", CmdWaitExit, "wait-exit                   wait for the program to end; print its exit code"},
    {"kill", CmdKill, "kill                        end the program"},
    {"list-click", CmdListClick, "list-click ID ITEM          click a list-view item at its real position"},
    {"list-items", CmdListItems, "list-items ID [--until-none-reads T]  a list view's rows, columns by tabs"},
    {"click-at", CmdClickAt, "click-at ID X Y             click a control at client coordinates"},
    {"command", CmdCommand, "command ID                  post WM_COMMAND ID to the current window"},
    {"select", CmdSelect, "select ID ITEM              choose a combo box item (with CBN_SELCHANGE)"},
    {"combo", CmdCombo, "combo ID                    a combo box's items and selection"},
    {"link-url", CmdLinkUrl, "link-url ID                 a hyperlink control's address and visibility"},
    {"focus", CmdFocus, "focus                       the control that has the keyboard focus"},
    {"keys", CmdKeys, "keys [alt+|ctrl+|shift+]KEY real keyboard input to the current window"},
    {"menu", CmdMenu, "menu                        the window's menu: position, id, checked, grayed, text"},
    {"wait-ended", CmdWaitEnded, "wait-ended PID...           wait until these processes have ended"},
    {"bar", CmdBar, "bar ID                      a progress bar's position"},
    {"pause", CmdPause, "pause MS                    wait before the next command"},
    {"stall-watch", CmdStallWatch,
     "stall-watch TITLE [MS]      until window TITLE shows, time a WM_NULL round trip every MS (50)"},
};

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands)
        if (name == command.name) return &command;
    return NULL;
}

int Usage() {
    fputs(kUsage, stderr);
    for (const Command& command : kCommands) fprintf(stderr, "  %s\n", command.usage);
    return 1;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** wideArgv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (wideArgv == NULL) return Usage();
    std::vector<std::string> argv;
    for (int i = 0; i < argc; ++i) argv.push_back(Utf8(wideArgv[i]));
    LocalFree(wideArgv);
    // Split the arguments into commands at each "+"; check them all first.
    std::vector<std::pair<const Command*, Args>> script;
    for (int i = 1; i < argc;) {
        const Command* command = FindCommand(argv[i]);
        if (command == NULL) return Usage();
        Args args;
        for (++i; i < argc && argv[i] != "+"; ++i) args.push_back(argv[i]);
        if (i < argc) ++i;
        script.push_back({command, args});
    }
    if (script.empty()) return Usage();

    Driver driver;
    for (const auto& step : script) {
        if (!step.first->run(driver, step.second)) {
            if (driver.startedHere && WaitForSingleObject(driver.process, 0) == WAIT_TIMEOUT)
                TerminateProcess(driver.process, 0xDEAD);
            return 2;
        }
    }
    if (driver.process != NULL) CloseHandle(driver.process);
    return 0;
}
