// The console form of the verification mode, for scripts and ticket systems:
// every file checked, one line each on standard output ("/check") or one
// JSON object each ("/json"), no window.
//
// A GUI program started from a command prompt has no standard output of its
// own unless it was redirected; then the lines go to the console of the
// process that started it (AttachConsole, looked up at run time as Windows
// 2000 lacks it). An interactive cmd does not wait for a GUI program, so the
// README tells support staff to use "start /wait".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "report/check_output.h"
#include "report/file_check.h"
#include "report/report_findings.h"

// The English record of one checked file, paths and findings in UTF-8
// (findings are taken as text of this system's ANSI code page).
void DescribeFileCheck(const wchar_t* path, const FileCheck& check, const ReportFindings* findings,
                       CheckRecord* record);

// Checks the files in order, writes a line each and returns the exit code of
// the worst outcome.
int RunConsoleCheck(const std::vector<std::wstring>& files, bool json);

// Writes UTF-8 text where the console form writes; false when there is no
// such place or the write fails.
bool WriteConsoleText(const std::string& text);
