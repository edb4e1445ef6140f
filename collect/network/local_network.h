// Report sections on the computer's own network set-up: adapters, proxy,
// Winsock catalog, browser helper objects, connections and the hosts file.
#pragma once

#include <windows.h>

#include "common/windows_version.h"
#include "report/report_writer.h"

void WriteAdapterSettings(ReportSink report);
void WriteProxySettings(ReportSink report);
void WriteLspCatalog(ReportSink report);
void WriteBhoList(ReportSink report);
void WriteNetworkConnections(ReportSink report);
void WriteHostsFile(ReportSink report);

// The current user's browser proxy settings. Texts are NULL when the value is
// missing, not a plain string, or does not fit 256 bytes; numbers are 0 when
// missing or not a REG_DWORD. One process-wide record, overwritten by each read.
struct ProxySettings {
    const char* autoConfig;
    DWORD migrate;
    DWORD enabled;
    const char* override;
    const char* server;
};
const ProxySettings* ReadProxySettings();

// A registered COM class: its name and in-process server. serverPath and
// threadingModel are NULL when absent or not plain strings. One process-wide
// record, overwritten by each lookup; NULL when the class has no name.
struct ComClassInfo {
    const char* clsid;
    const char* name;
    const char* threadingModel;
    const char* serverPath;
};
const ComClassInfo* LookupComClass(const char* clsid);

// The hosts part of the hosts-file section; the path depends on the Windows
// generation (system folder on NT, Windows folder on 9x and unknown systems).
bool CopyHostsFile(ReportSink report);
bool CopyHostsFileFor(ReportSink report, WindowsGeneration generation);
