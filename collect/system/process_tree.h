// The running processes as a tree by parent process.
#pragma once

#include "report/report_writer.h"

void WriteProcessTree(ReportSink report);
