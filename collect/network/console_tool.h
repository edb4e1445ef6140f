// Runs the system's console tools hidden, with their standard output on an
// anonymous pipe, and copies what they print into the report.
#pragma once

#include <windows.h>

#include "report/report_writer.h"

// A started tool, handed back by the start-only form; the caller owns both
// handles and releases them.
struct StartedTool {
    HANDLE process;
    HANDLE output;  // read end of the tool's standard-output pipe
};

// With a StartedTool slot: start only (no report is written, nothing waited
// for). Without one: capture form, copies the output into the report until the
// pipe ends. False when the pipe or the process cannot be created.
bool RunConsoleTool(ReportSink report, const char* commandLine, StartedTool* started);
// The same for a tool in another Windows folder of the caller's choosing (the
// other bitness's system folder on 64-bit Windows); NULL is the system folder.
bool RunConsoleToolIn(const char* folder, ReportSink report, const char* commandLine, StartedTool* started);
// Start-only form for a caller that drains many tools at once through one I/O
// completion port: the same tool start, but the output pipe's read end (not
// inheritable) is opened for overlapped reads, so it must only be read with an
// OVERLAPPED. The tool's end is an ordinary synchronous pipe handle, as with
// the start-only form. False (slot untouched) when the pipe or the process
// cannot be created.
bool StartConsoleToolOverlapped(const char* commandLine, StartedTool* started);
// "tool" or "tool arguments", run in the capture form.
bool RunConsoleToolWithArgs(ReportSink report, const char* tool, const char* arguments);
// Copies a pipe or file into the report in 4096-byte chunks; stops 20 bytes
// before a "DirectX Components" heading found inside one chunk.
bool CopyStreamToReport(HANDLE source, ReportSink report);
// The same, for a source that may be of any size: copies at most maxBytes and
// returns false, with the first maxBytes in the report, when there was more.
bool CopyStreamToReportUpTo(HANDLE source, ReportSink report, DWORD maxBytes);
