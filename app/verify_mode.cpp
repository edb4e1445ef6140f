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
// The command line is copied into a buffer as long as the whole line, not a
// fixed 256 bytes: a cut copy could end inside the report's path and check a
// different, shorter path without telling anyone.
#include "app/verify_mode.h"

#include <windows.h>

#include <string.h>

#include "app/command_line.h"
#include "collect/system/windows_version.h"
#include "common/owned_handle.h"
#include "report/report_seal.h"
#include "ui/game_catalog.h"
#include "ui/text_catalog.h"

namespace {

const int kProgramTitleText = 10;

const char kUsageText[] =
    "Usage:\n  Diagnova [Options] <Filename>\n\nOptions:\n  /help\t Show this help message.\n\n"
    "Filename:\n\t The report file which is gererated by the Diagnova.\n"
    "\t You can also drag and drop the report file\n\t onto this application icon to see the same result.";

int ShowUsage(const char* title) {
    MessageBoxA(NULL, kUsageText, title, MB_OK | MB_ICONERROR | MB_TASKMODAL);
    return 0;
}

bool CanOpenForReading(const char* path) {
    OwnedFile file(CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    return file.Valid();
}

int ShowMatched(const char* title) {
    MessageBoxA(NULL, "Checksum matched", title, MB_OK | MB_ICONINFORMATION);
    return 0;
}

// What an archive that cannot be checked gets instead of a checksum outcome;
// each text is followed by the archive's path.
const char* ArchiveProblemText(ZipReadResult result) {
    switch (result) {
    case ZipReadNoMember: return "No report in the archive: it holds no \"<game> Test.txt\".\n\n%s";
    case ZipReadTwoMembers: return "The archive holds more than one report.\n\n%s";
    case ZipReadUnsupported: return "The archive's report is encrypted or packed in an unsupported way.\n\n%s";
    case ZipReadTooLarge: return "The archive or its report is over 4 GiB (ZIP64), which is not supported.\n\n%s";
    case ZipReadNoDirectory: return "The archive is damaged: it is cut short or incomplete.\n\n%s";
    case ZipReadBadDirectory: return "The archive is damaged: its central directory is broken.\n\n%s";
    case ZipReadBadEntry: return "The archive is damaged: the report's entry is broken.\n\n%s";
    case ZipReadBadData: return "The archive is damaged: the report's compressed data is broken.\n\n%s";
    case ZipReadBadSize: return "The archive is damaged: the report's size does not match.\n\n%s";
    case ZipReadBadCrc: return "The archive is damaged: the report's CRC-32 does not match.\n\n%s";
    default: return "The archive could not be read.\n\n%s";
    }
}

// Checks the report inside an open archive and shows the outcome.
int VerifyArchive(const char* title, const char* path, HANDLE archive) {
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
        ShowFormattedMessage(NULL, title, MB_OK | MB_ICONERROR, ArchiveProblemText(result), path);
        return -1;
    }
    if (matched) return ShowMatched(title);
    // The member's place as Explorer shows a file inside an archive.
    ShowFormattedMessage(NULL, title, MB_OK | MB_ICONERROR, "Checksum mismatched or missing!\n\n%s\\%s", path,
                         member.name);
    return -1;
}

}  // namespace

int RunVerifyMode() { return RunVerifyModeOn(GetCommandLineA()); }

int RunVerifyModeOn(const char* commandLine) {
    const char* title = GetText(kProgramTitleText);
    const size_t length = strlen(commandLine);
    OwnedHeapBlock copy(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (!copy.Valid()) return ShowUsage(title);
    char* text = static_cast<char*>(copy.Get());
    memcpy(text, commandLine, length + 1);

    CommandLineWords words;
    SplitCommandLine(text, &words);
    if (words.count < 2 || !CanOpenForReading(words.words[1])) return ShowUsage(title);

    const char* path = words.words[1];
    {
        OwnedFile file(CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
        if (file.Valid() && FileStartsAsArchive(file.Get())) return VerifyArchive(title, path, file.Get());
    }
    if (VerifyReportFile(path)) return ShowMatched(title);
    ShowFormattedMessage(NULL, title, MB_OK | MB_ICONERROR, "Checksum mismatched or missing!\n\n%s", path);
    return -1;
}
