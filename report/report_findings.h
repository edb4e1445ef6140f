// report/report_findings.h
#pragma once
#include <stddef.h>
#include <string>
#include <vector>
struct ReportFindings {
    std::string game;                  // the game named in the report's header line; "" when none
    std::vector<std::string> lines;    // short one-line findings, most important first; English, bytes of the report's code page
};
// Reads a sealed report's text (any bytes; need not be NUL-terminated) and lists what a support engineer looks at first.
ReportFindings FindReportFindings(const char* text, size_t length);
