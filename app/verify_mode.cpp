// The verification mode: support staff start the program with a report's
// path (or drop the report onto its icon); it checks the report's digest
// trailer, says the outcome in one message box and ends. No window is
// created and the network is never started.
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
    if (VerifyReportFile(path)) {
        MessageBoxA(NULL, "Checksum matched", title, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    ShowFormattedMessage(NULL, title, MB_OK | MB_ICONERROR, "Checksum mismatched or missing!\n\n%s", path);
    return -1;
}
