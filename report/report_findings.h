// What a support engineer looks at first in a sealed report: the program wrote
// every section, so their form is known and a few short lines can say what
// the report shows is wrong (game not installed, servers that refused, a
// route that stops, a proxy, foreign Winsock providers, ...). Platform-neutral
// and bounded: a player's report may hold anything, so the text is read only
// within its length, and the list and each line have a fixed limit.
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
