// Checking the seal of the report inside a report archive: the member is found
// by name, inflated chunk by chunk straight into the digest and checked by the
// same rule as a report file, so no copy of the report is held whole unless
// the caller asks for its text.
// Platform-neutral, like the reader and the trailer check it joins.
#pragma once

#include <stddef.h>

#include <string>

#include "report/zip_reader.h"

// Finds the member named by one of reportNames and checks it. On ZipReadOk,
// *matched says whether its digest trailer matches; any other result means the
// archive could not be checked (and *matched is false). *member is filled
// once the member was found and its entry checks out.
// When text is given, it also receives the member's bytes, at most
// kKeptReportBytes of them (the findings read the report's text; a report
// beyond that size keeps its head).
ZipReadResult CheckArchivedReport(const ZipSource& source, const char* const* reportNames, size_t nameCount,
                                  ZipMemberInfo* member, bool* matched, std::string* text = NULL);

const size_t kKeptReportBytes = 64 * 1024 * 1024;
