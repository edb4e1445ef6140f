// Report sections on the computer's own network set-up: adapters, proxy,
// Winsock catalog, browser helper objects, connections and the hosts file.
#pragma once

#include "report/report_writer.h"

void WriteAdapterSettings(ReportSink report);
void WriteProxySettings(ReportSink report);
void WriteLspCatalog(ReportSink report);
void WriteBhoList(ReportSink report);
void WriteNetworkConnections(ReportSink report);
void WriteHostsFile(ReportSink report);
