// The two report steps that describe the Windows version and the processor.
#pragma once

#include <stddef.h>

#include "report/report_writer.h"

// "Windows Version: ...\r\nBuild ...\r\n<service pack>\r\nProcessor bit : 32|64".
bool FormatOsVersion(char text[256]);
// The system section's lines, as the 32-bit process sees the processor.
bool FormatSystemInfo(char* text, size_t capacity);

void WriteOsVersion(ReportSink sink);
void WriteSystemInfo(ReportSink sink);
