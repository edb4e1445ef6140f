// Report writer primitives: synchronous, unbuffered appends to the report file.
//
// Every write goes straight to the file, so whatever a collector managed to
// write before a failure is in the report; write errors are returned to the
// caller, which as a rule ignores them and carries on with its next line.
// Each failure is also counted for the writing thread, so the test worker can
// tell a whole report from one with a hole before it seals it.
#include "report/report_writer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "catalog/game_catalog.h"
#include "common/ansi_path.h"
#include "common/bounded_format.h"
#include "common/windows_version.h"

namespace {

// Per worker thread; see ResetReportWriteFailures.
thread_local unsigned t_reportWriteFailures = 0;

bool WriteBytes(ReportSink sink, const char* bytes, DWORD count) {
    if (count == 0) return true;
    DWORD written = 0;
    if (!WriteFile(sink, bytes, count, &written, NULL) || written != count) {
        NoteReportWriteFailure();
        return false;
    }
    return true;
}

const char kEquals78[] =
    "==============================================================================\r\n";

}  // namespace

bool WriteText(ReportSink sink, const char* text) {
    if (text == NULL) return false;
    return WriteBytes(sink, text, (DWORD)strlen(text));
}

bool WriteLine(ReportSink sink, const char* text) {
    if (!WriteText(sink, text)) return false;
    return WriteBytes(sink, "\r\n", 2);
}

bool WriteEmptyLine(ReportSink sink) {
    return WriteLine(sink, "");
}

bool WriteFormatted(ReportSink sink, const char* format, ...) {
    char buffer[kReportLineChars + 1];
    va_list args;
    va_start(args, format);
    int length = FormatTruncated(buffer, sizeof buffer, format, args);
    va_end(args);
    return WriteBytes(sink, buffer, (DWORD)length);
}

void WriteSectionBanner(ReportSink sink, const char* title) {
    WriteText(sink, kEquals78);
    WriteFormatted(sink, "= %s\r\n", title);
    WriteText(sink, kEquals78);
}

void WriteReportHeader(ReportSink sink, int gameIndex) {
    char version[256] = "";
    GetProgramVersion(version);
    const GameRecord* game = GetGameRecord(gameIndex);
    WriteFormatted(sink, "%s Test Report -- created by Diagnova v%s\r\n\r\n",
                   game ? game->name : "", version);
}

void WriteEndMarker(ReportSink sink) {
    WriteText(sink, "\r\n<EOF>\r\n");
}

void ResetReportWriteFailures() { t_reportWriteFailures = 0; }
void NoteReportWriteFailure() { ++t_reportWriteFailures; }
unsigned GetReportWriteFailures() { return t_reportWriteFailures; }

bool MakeTempFileName(char path[256]) {
    // The folder is asked for in wide characters: its ANSI form names no
    // folder when the user's name has letters outside the code page.
    wchar_t wideFolder[kWidePathChars];
    if (!GetWideTempFolder(wideFolder)) return false;
    // The name adds "DGN", up to four hexadecimal digits and ".tmp" to the
    // folder. From a folder of 245 characters on it may not fit the caller's
    // 256, and beyond MAX_PATH Wine creates the file under a cut name it
    // cannot report back. A folder whose ANSI forms, long and short, are all
    // too long or lossy is refused before anything is made; the name is
    // taken into a buffer of the system's size all the same.
    const size_t kLongestNameChars = 3 + 4 + 4;
    char folder[256];
    if (!ToUsableAnsiPath(wideFolder, kLongestNameChars, folder, sizeof folder)) return false;
    char name[MAX_PATH + 1];
    if (GetTempFileNameA(folder, "DGN", 0, name) == 0) return false;
    name[MAX_PATH] = '\0';
    const size_t nameLength = strlen(name);
    if (nameLength >= 256) {
        DeleteFileA(name);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    memcpy(path, name, nameLength + 1);
    return true;
}
