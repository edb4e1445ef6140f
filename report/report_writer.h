// The report sink and the primitives every collector writes through.
//
// A report is one plain-text file (ANSI code page, CR LF line ends) that the
// test worker creates and hands to each collector as an open file handle.
// Collectors only append through these functions and never close the handle,
// so every report has the same frame: header, banner-framed sections, end
// marker and digest trailer.
#pragma once

#include <windows.h>

typedef HANDLE ReportSink;

// Longest text one formatted write produces; the rest is dropped silently.
const int kReportLineChars = 255;

bool WriteText(ReportSink sink, const char* text);
// The line end is written only when the text itself was written whole.
bool WriteLine(ReportSink sink, const char* text);
bool WriteEmptyLine(ReportSink sink);
// printf-style; the result is cut to 255 characters, a "\r\n" at the end of the
// format included, so an over-long line runs on into the next write.
bool WriteFormatted(ReportSink sink, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void WriteSectionBanner(ReportSink sink, const char* title);
// "%s Test Report -- created by Diagnova v%s\r\n\r\n" for the run's game
// (its index in the game catalog; an empty name for none).
void WriteReportHeader(ReportSink sink, int gameIndex);
void WriteEndMarker(ReportSink sink);

// Creates an empty unique "DGN" file in the user's temporary folder and
// returns its full path in a 256-character buffer: an ANSI path that names the
// file whatever letters the folder's name holds (the short form where needed).
// Fails, leaving no file behind and the reason in the last error, when the
// folder is missing or unwritable or no ANSI form of it fits.
bool MakeTempFileName(char path[256]);

// Write failures on report sinks, counted for the calling thread. A report is
// written by its test worker alone, so the worker resets the count before the
// first section and reads it after the end marker: a report that lost any
// write (a full disk) has a hole or a cut end, and is not sealed. Code that
// writes to a sink without the primitives calls NoteReportWriteFailure itself.
void ResetReportWriteFailures();
void NoteReportWriteFailure();
unsigned GetReportWriteFailures();
