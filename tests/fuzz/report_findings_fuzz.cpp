// Fuzz target for the findings read from a report. Any bytes: nothing may be
// read outside the input (the sanitizers watch that), and the list must stay
// short and clean whatever the report holds: at most 24 lines of at most 120
// bytes without control bytes, and a game name of at most 126 bytes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "report/report_findings.h"

namespace {

bool Clean(const std::string& text, size_t limit) {
    if (text.size() > limit) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) < 0x20 || text[i] == 0x7F) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so a read past its end is caught.
    char* exact = static_cast<char*>(malloc(size ? size : 1));
    if (size) memcpy(exact, data, size);
    const ReportFindings found = FindReportFindings(exact, size);
    free(exact);
    if (!Clean(found.game, 126) || found.lines.size() > 24) abort();
    for (size_t i = 0; i < found.lines.size(); ++i)
        if (found.lines[i].empty() || !Clean(found.lines[i], 120)) abort();
    return 0;
}
