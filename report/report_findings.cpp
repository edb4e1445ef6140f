// Stand-in until the findings are merged: no game, no findings.
#include "report/report_findings.h"

ReportFindings FindReportFindings(const char*, size_t) { return ReportFindings(); }
