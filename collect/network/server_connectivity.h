// Reach to the game's servers: TCP connection attempts and address lookups,
// and the resolver shared with route tracing.
#pragma once

#include "catalog/server_catalog.h"
#include "report/report_writer.h"

// Section bodies; the run driver writes their banners and closing empty lines.
void WriteServerConnectivity(ReportSink report, int serverCount, const ServerEntry* servers);
void WriteServerAddresses(ReportSink report, int serverCount, const ServerEntry* servers);

const int kMaxResolvedAddresses = 100;
const int kAddressTextChars = 22;
// Number of IPv4 addresses stored (0 to 100), each as dotted text.
int ResolveHostAddresses(const char* host, char addresses[][kAddressTextChars]);
bool TestTcpConnect(const char* host, int port);
// How long TestTcpConnect waits for a connection to be established: 10 000 ms
// unless a test shortens it.
void SetConnectTimeLimit(unsigned long milliseconds);
bool IsDottedNumeric(const char* text);
