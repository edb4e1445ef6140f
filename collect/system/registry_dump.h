// Autostart keys, the publisher's key and the installed-program lists.
#pragma once

#include <windows.h>

#include "report/report_writer.h"

// One dumped key: its root, its path, and its path in the 32-bit view.
struct RegistryDumpEntry {
    HKEY root;
    char path[260];
    char path32[260];
};

const int kRegistryDumpEntryCount = 7;
// The fixed table: the four machine autostart keys, the two user autostart
// keys and the publisher's key.
extern const RegistryDumpEntry kRegistryDumpTable[kRegistryDumpEntryCount];

void WriteRegistryDump(ReportSink report);
// Dumps each entry under its bracketed name; view32 selects the 32-bit paths
// (and, under WOW64, the 32-bit registry view).
void DumpKeyTable(ReportSink report, const RegistryDumpEntry* table, int count, bool view32);
// A key's subkeys (recursively, each followed by its contents), then its
// values, indented by depth tabs.
void DumpKey(ReportSink report, HKEY key, int depth);
// One installed-program list: "Software\Microsoft\Windows\CurrentVersion\Uninstall" under root.
void DumpUninstallList(ReportSink report, HKEY root);
// The same listing for any key path (the list's own key, or a test's).
void DumpUninstallKey(ReportSink report, HKEY root, const char* path);
// The listing from the 64-bit registry view, headed "[root\path] (64-bit
// view)"; on 64-bit Windows it follows the user's list.
void DumpNativeUninstallKey(ReportSink report, HKEY root, const char* path);
