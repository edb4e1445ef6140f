// Sealing a report with its digest trailer, and checking one.
#pragma once

#include "report/report_writer.h"

// Digests the whole open report and appends "--- DIGEST ---\r\n" and 40 digits.
bool AppendReportDigest(ReportSink report);
// True when the file's trailer matches the digest of what precedes it.
bool VerifyReportFile(const char* path);
