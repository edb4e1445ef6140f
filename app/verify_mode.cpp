// The verification mode: support staff start the program with a report's
// path (or drop the report onto its icon); it checks the report's digest
// trailer, says the outcome in one message box and ends. No main window is
// created and the network is never started.
//
// This file only chooses the form. One file keeps its one message box, with
// the texts and exit codes people and scripts have always read. Several
// files, a folder, or "/list" open the list window (ui/check_list_window.h),
// which checks every file; "/check" and "/json" write a line per file for
// scripts (report/check_console.h). Both exit with the code of the worst
// outcome (report/check_output.h ranks them). Every word of the line is
// collected, not the first 64: a hundred archives may be dropped at once.
//
// Players send the archive the program made rather than the report itself,
// so a file that starts as a ZIP archive is checked by the report inside it
// ("<game> Test.txt" for one of the catalog's games), read straight from the
// archive; the outcome is the report's own. A damaged archive, or one without
// a report, says so and is never taken as matched. Every other file is
// checked as a report, as it always was.
//
// The command line is taken in wide characters and copied into a buffer as
// long as the whole line, not a fixed 256 bytes: a cut copy could end inside
// the report's path and check a different, shorter path without telling
// anyone, and an ANSI copy would turn letters outside the code page (a report
// saved under a Polish or Chinese name) into question marks that name no file.
//
// The file is opened once, for reading, sharing reading and writing: an
// editor or a mail program that holds it open must not stand in the way.
// A file that cannot be opened is named with the system's reason and exits
// with a code of its own, so that neither a person nor a script takes it for
// a match (0) or a changed report (-1).
#include "app/verify_mode.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "catalog/text_catalog.h"
#include "common/owned_handle.h"
#include "common/system_message.h"
#include "report/check_console.h"
#include "report/check_output.h"
#include "report/file_check.h"
#include "ui/check_list_window.h"

namespace {

const int kProgramTitleText = 10;
const int kCannotOpenText = 113;
// Outcome texts are cut at 255 characters, as they always were.
const int kOutcomeTextChars = 255;

const char kUsageText[] =
    "Usage:\n  Diagnova [Options] <Filename>\n\nOptions:\n  /help\t Show this help message.\n\n"
    "Filename:\n\t The report file which is gererated by the Diagnova.\n"
    "\t You can also drag and drop the report file\n\t onto this application icon to see the same result.";

// The console form's usage, on standard output.
const char kConsoleUsageText[] =
    "Usage:\r\n"
    "  Diagnova /check FILE...         one line per file: outcome, path, reason\r\n"
    "  Diagnova /check /json FILE...   one JSON object per line\r\n"
    "  Diagnova /list FILE...          the list window, for one file too\r\n"
    "A FILE may be a report, a report archive or a folder (its .zip and .txt files).\r\n"
    "Outcomes: matched, cannot-open, damaged, mismatched (worst last); the exit code is the\r\n"
    "worst file's: 0 matched, 2 cannot be opened, -1 damaged archive or mismatched.\r\n";

int ShowUsage() {
    MessageBoxA(NULL, kUsageText, GetText(kProgramTitleText), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    return 0;
}

// A message box without owner whose text is formatted and cut to 255
// characters; the caption is the program title.
void ShowOutcome(UINT style, const wchar_t* format, ...) {
    wchar_t text[kOutcomeTextChars + 1];
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, kOutcomeTextChars + 1, format, args);
    va_end(args);
    text[kOutcomeTextChars] = L'\0';
    wchar_t title[256];
    GetTextWide(kProgramTitleText, title, 256);
    MessageBoxW(NULL, text, title, style);
}

int ShowMatched() {
    ShowOutcome(MB_OK | MB_ICONINFORMATION, L"Checksum matched");
    return 0;
}

// "The report file cannot be opened:", the path and the system's reason,
// whole (the path alone may be longer than an outcome text).
int ShowCannotOpen(const wchar_t* path, DWORD error) {
    wchar_t intro[512];
    wchar_t reason[512];
    wchar_t title[256];
    GetTextWide(kCannotOpenText, intro, 512);
    GetSystemReason(error, reason, 512);
    GetTextWide(kProgramTitleText, title, 256);
    const wchar_t* const parts[] = {intro, path, reason};
    ShowParagraphs(NULL, title, MB_OK | MB_ICONERROR, parts, 3);
    return kVerifyExitCannotOpen;
}

// One file: one message box, as support staff and their scripts know it.
int VerifyOneFile(const wchar_t* path) {
    FileCheck check;
    CheckFile(path, false, &check);
    switch (check.outcome) {
    case CheckMatched: return ShowMatched();
    case CheckCannotOpen: return ShowCannotOpen(path, check.error);
    case CheckArchiveDamaged:
        ShowOutcome(MB_OK | MB_ICONERROR, L"%hs\n\n%ls", ArchiveProblemReason(check.archiveResult), path);
        return -1;
    default:
        // An archive's report is named as Explorer shows a file inside an archive.
        if (check.archive) {
            ShowOutcome(MB_OK | MB_ICONERROR, L"Checksum mismatched or missing!\n\n%ls\\%hs", path, check.member);
        } else {
            ShowOutcome(MB_OK | MB_ICONERROR, L"Checksum mismatched or missing!\n\n%ls", path);
        }
        return -1;
    }
}

}  // namespace

int RunVerifyMode() { return RunVerifyModeOn(GetCommandLineW()); }

int RunVerifyModeOn(const wchar_t* commandLine) {
    const size_t length = wcslen(commandLine);
    OwnedHeapBlock copy(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    if (!copy.Valid()) return ShowUsage();
    wchar_t* text = static_cast<wchar_t*>(copy.Get());
    memcpy(text, commandLine, (length + 1) * sizeof(wchar_t));

    std::vector<wchar_t*> words;
    SplitWideCommandLineAll(text, &words);
    // Leading options choose the form; the words after them name files.
    bool console = false, json = false, list = false;
    size_t first = 1;
    for (; first < words.size(); ++first) {
        const wchar_t* word = words[first];
        if (lstrcmpiW(word, L"/check") == 0) console = true;
        else if (lstrcmpiW(word, L"/json") == 0) console = json = true;
        else if (lstrcmpiW(word, L"/list") == 0) list = true;
        else break;
    }
    // An empty word (a line that ends in white space) names nothing.
    std::vector<const wchar_t*> names;
    for (size_t i = first; i < words.size(); ++i) {
        if (words[i][0] != L'\0') names.push_back(words[i]);
    }
    if (console) {
        if (names.empty()) {
            WriteConsoleText(kConsoleUsageText);
            return kVerifyExitCannotOpen;
        }
        std::vector<std::wstring> files;
        ListCheckFiles(names.data(), names.size(), &files);
        return RunConsoleCheck(files, json);
    }
    // No file named, or the one option there is.
    if (names.empty() || (names.size() == 1 && !list && lstrcmpiW(names[0], L"/help") == 0)) return ShowUsage();
    if (names.size() == 1 && !list && !IsFolderPath(names[0])) return VerifyOneFile(names[0]);
    std::vector<std::wstring> files;
    ListCheckFiles(names.data(), names.size(), &files);
    return ShowCheckList(files);
}

int RunVerifyModeOn(const char* commandLine) {
    const int chars = MultiByteToWideChar(CP_ACP, 0, commandLine, -1, NULL, 0);
    if (chars <= 0) return ShowUsage();
    OwnedHeapBlock wide(HeapAlloc(GetProcessHeap(), 0, chars * sizeof(wchar_t)));
    if (!wide.Valid()) return ShowUsage();
    MultiByteToWideChar(CP_ACP, 0, commandLine, -1, static_cast<wchar_t*>(wide.Get()), chars);
    return RunVerifyModeOn(static_cast<const wchar_t*>(wide.Get()));
}
