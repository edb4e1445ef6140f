// Sealing a report with its digest trailer, and checking one.
#pragma once

#include <string>

#include "report/report_writer.h"
#include "report/zip_reader.h"

// Digests the whole open report and appends "--- DIGEST ---\r\n" and 40 digits.
bool AppendReportDigest(ReportSink report);
// True when the file's trailer matches the digest of what precedes it. A file
// that cannot be opened gets a message box with its path ("File not found").
bool VerifyReportFile(const char* path);
// The same for a report the caller has opened for reading; read from its start.
// When text is given and the report matches, it receives the report's bytes.
bool VerifyOpenReport(HANDLE report, std::string* text = NULL);

// True when the open file starts with the ZIP local-header signature, as every
// report archive does.
bool FileStartsAsArchive(HANDLE file);
// Checks the report inside an open archive file: the member named by one of
// reportNames, read and inflated chunk by chunk straight into the digest.
// The outcome of CheckArchivedReport (report/archived_report.h).
// With text, as CheckArchivedReport keeps the member's bytes.
ZipReadResult CheckReportArchive(HANDLE archive, const char* const* reportNames, size_t nameCount,
                                 ZipMemberInfo* member, bool* matched, std::string* text = NULL);
