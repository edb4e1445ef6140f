// Report writer primitives: synchronous, unbuffered appends to the report file.
//
// Every write goes straight to the file, so whatever a collector managed to
// write before a failure is in the report; write errors are returned to the
// caller, which as a rule ignores them and carries on with its next line.
#include "report/report_writer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "collect/system/windows_version.h"
#include "ui/game_catalog.h"

namespace {

bool WriteBytes(ReportSink sink, const char* bytes, DWORD count) {
    if (count == 0) return true;
    DWORD written = 0;
    if (!WriteFile(sink, bytes, count, &written, NULL)) return false;
    return written == count;
}

const char kEquals78[] =
    "==============================================================================\r\n";

}  // namespace

int FormatTruncated(char* buffer, int capacity, const char* format, va_list args) {
    if (capacity <= 0) return 0;
    int n = vsnprintf(buffer, (size_t)capacity, format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return n >= capacity ? capacity - 1 : n;
}

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

void WriteReportHeader(ReportSink sink) {
    char version[256] = "";
    GetProgramVersion(version);
    const GameRecord* game = GetGameRecord(GetSelectedGame());
    WriteFormatted(sink, "%s Test Report -- created by Diagnova v%s\r\n\r\n",
                   game ? game->name : "", version);
}

void WriteEndMarker(ReportSink sink) {
    WriteText(sink, "\r\n<EOF>\r\n");
}

bool MakeTempFileName(char path[256]) {
    char folder[256];
    DWORD length = GetTempPathA(sizeof folder, folder);
    // A return of 256 or more means the path did not fit and the buffer holds nothing usable.
    if (length == 0 || length >= sizeof folder) return false;
    return GetTempFileNameA(folder, "DGN", 0, path) != 0;
}
