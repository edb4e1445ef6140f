// Parallel route traces to the game's servers.
#pragma once

#include "collect/network/server_catalog.h"
#include "report/report_writer.h"

// Section body; the run driver writes the banner and the closing empty line.
void WriteRouteTraces(ReportSink report, int serverCount, const ServerEntry* servers);
