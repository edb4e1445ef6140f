// The verification mode: support staff start the program with a report's
// path (or drop the report onto its icon); it checks the report's digest
// trailer, says the outcome in one message box and ends. No window is
// created and the network is never started.
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

#include "app/command_line.h"
#include "catalog/game_catalog.h"
#include "catalog/text_catalog.h"
#include "common/owned_handle.h"
#include "common/system_message.h"
#include "report/report_seal.h"

namespace {

const int kProgramTitleText = 10;
const int kCannotOpenText = 113;
// Outcome texts are cut at 255 characters, as they always were.
const int kOutcomeTextChars = 255;

const char kUsageText[] =
    "Usage:\n  Diagnova [Options] <Filename>\n\nOptions:\n  /help\t Show this help message.\n\n"
    "Filename:\n\t The report file which is gererated by the Diagnova.\n"
    "\t You can also drag and drop the report file\n\t onto this application icon to see the same result.";

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

// What an archive that cannot be checked gets instead of a checksum outcome;
// each text is followed by the archive's path.
const wchar_t* ArchiveProblemText(ZipReadResult result) {
    switch (result) {
    case ZipReadNoMember: return L"No report in the archive: it holds no \"<game> Test.txt\".\n\n%ls";
    case ZipReadTwoMembers: return L"The archive holds more than one report.\n\n%ls";
    case ZipReadUnsupported: return L"The archive's report is encrypted or packed in an unsupported way.\n\n%ls";
    case ZipReadTooLarge: return L"The archive or its report is over 4 GiB (ZIP64), which is not supported.\n\n%ls";
    case ZipReadNoDirectory: return L"The archive is damaged: it is cut short or incomplete.\n\n%ls";
    case ZipReadBadDirectory: return L"The archive is damaged: its central directory is broken.\n\n%ls";
    case ZipReadBadEntry: return L"The archive is damaged: the report's entry is broken.\n\n%ls";
    case ZipReadBadData: return L"The archive is damaged: the report's compressed data is broken.\n\n%ls";
    case ZipReadBadSize: return L"The archive is damaged: the report's size does not match.\n\n%ls";
    case ZipReadBadCrc: return L"The archive is damaged: the report's CRC-32 does not match.\n\n%ls";
    default: return L"The archive could not be read.\n\n%ls";
    }
}

// Checks the report inside an open archive and shows the outcome.
int VerifyArchive(const wchar_t* path, HANDLE archive) {
    char names[kGameCount][260];
    const char* nameList[kGameCount];
    size_t nameCount = 0;
    for (int game = 0; game < kGameCount; ++game) {
        if (GetReportMemberName(game, names[nameCount])) nameList[nameCount] = names[nameCount], ++nameCount;
    }
    ZipMemberInfo member;
    bool matched = false;
    const ZipReadResult result = CheckReportArchive(archive, nameList, nameCount, &member, &matched);
    if (result != ZipReadOk) {
        ShowOutcome(MB_OK | MB_ICONERROR, ArchiveProblemText(result), path);
        return -1;
    }
    if (matched) return ShowMatched();
    // The member's place as Explorer shows a file inside an archive.
    ShowOutcome(MB_OK | MB_ICONERROR, L"Checksum mismatched or missing!\n\n%ls\\%hs", path, member.name);
    return -1;
}

// Opens the file for reading. A path of MAX_PATH characters or more is
// opened by its full form behind the "\\?\" prefix, with which the wide
// functions take paths of up to 32 767 characters.
HANDLE OpenForCheck(const wchar_t* path) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (wcslen(path) < MAX_PATH || wcsncmp(path, L"\\\\?\\", 4) == 0) {
        return CreateFileW(path, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    const DWORD kLongPathChars = 32768;
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), 0, 2 * kLongPathChars * sizeof(wchar_t)));
    if (!block.Valid()) return INVALID_HANDLE_VALUE;
    wchar_t* full = static_cast<wchar_t*>(block.Get());
    wchar_t* prefixed = full + kLongPathChars;
    DWORD length = GetFullPathNameW(path, kLongPathChars, full, NULL);
    if (length == 0 || length >= kLongPathChars) return INVALID_HANDLE_VALUE;
    // "\\server\share\..." becomes "\\?\UNC\server\share\...".
    const bool unc = full[0] == L'\\' && full[1] == L'\\';
    int written = _snwprintf(prefixed, kLongPathChars, unc ? L"\\\\?\\UNC%ls" : L"\\\\?\\%ls", unc ? full + 1 : full);
    if (written < 0 || written >= static_cast<int>(kLongPathChars)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(prefixed, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
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

}  // namespace

int RunVerifyMode() { return RunVerifyModeOn(GetCommandLineW()); }

int RunVerifyModeOn(const wchar_t* commandLine) {
    const size_t length = wcslen(commandLine);
    OwnedHeapBlock copy(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    if (!copy.Valid()) return ShowUsage();
    wchar_t* text = static_cast<wchar_t*>(copy.Get());
    memcpy(text, commandLine, (length + 1) * sizeof(wchar_t));

    WideCommandLineWords words;
    SplitWideCommandLine(text, &words);
    // No file named, or the one option there is.
    if (words.count < 2 || words.words[1][0] == L'\0' || lstrcmpiW(words.words[1], L"/help") == 0) {
        return ShowUsage();
    }
    const wchar_t* path = words.words[1];
    OwnedFile file(OpenForCheck(path));
    if (!file.Valid()) return ShowCannotOpen(path, GetLastError());
    if (FileStartsAsArchive(file.Get())) return VerifyArchive(path, file.Get());
    if (VerifyOpenReport(file.Get())) return ShowMatched();
    ShowOutcome(MB_OK | MB_ICONERROR, L"Checksum mismatched or missing!\n\n%ls", path);
    return -1;
}

int RunVerifyModeOn(const char* commandLine) {
    const int chars = MultiByteToWideChar(CP_ACP, 0, commandLine, -1, NULL, 0);
    if (chars <= 0) return ShowUsage();
    OwnedHeapBlock wide(HeapAlloc(GetProcessHeap(), 0, chars * sizeof(wchar_t)));
    if (!wide.Valid()) return ShowUsage();
    MultiByteToWideChar(CP_ACP, 0, commandLine, -1, static_cast<wchar_t*>(wide.Get()), chars);
    return RunVerifyModeOn(static_cast<const wchar_t*>(wide.Get()));
}
