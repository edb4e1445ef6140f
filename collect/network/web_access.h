// Plain HTTP through WinINet: the external-address section and the
// latest-version check, which also serves as the Internet reachability test.
#pragma once

#include <windows.h>

#include "report/report_writer.h"

enum VersionCheckResult {
    VersionUnreachable = -1,
    VersionNewer = 0,
    VersionCurrent = 1,
};

// capacity: in, the buffer's size; out, the bytes received.
bool HttpGet(const char* url, DWORD* capacity, char* buffer);
bool GetExternalAddress(char address[256]);
void WriteExternalAddress(ReportSink report);
int QueryLatestVersion();
// 1 when fetched names a newer version than own, else -1.
int CompareVersions(const char* own, const char* fetched);
bool UrlReachable(const char* url);

// How long one request may wait for its connection, and once connected for
// each piece of the answer: 15 000 ms each unless a test shortens them. A
// request that runs out of either fails like one to a server that is down.
void SetWebTimeLimits(unsigned long connectMs, unsigned long receiveMs);
