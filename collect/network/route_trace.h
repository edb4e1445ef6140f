// Parallel route traces to the game's servers.
#pragma once

#include "catalog/server_catalog.h"
#include "report/report_writer.h"

// Section body; the run driver writes the banner and the closing empty line.
void WriteRouteTraces(ReportSink report, int serverCount, const ServerEntry* servers);

const int kMaxRouteTraces = 128;
// How long the step waits for all traces: 500 000 ms unless a test shortens
// it. The timeout note names it in whole seconds.
void SetRouteTraceTimeLimit(unsigned long milliseconds);
