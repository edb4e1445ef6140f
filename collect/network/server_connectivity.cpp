// The connectivity and address sections of the report: TCP connection
// attempts to every address of the game's servers, and the addresses each
// server name resolves to.
//
// Connections are non-blocking with one readiness wait of at most 10 seconds.
// The wait also watches the socket's exception set: Windows reports a refused
// non-blocking connect there, not in the write set, so without it every
// refused address would cost the whole 10 seconds before showing as failed.
#include "collect/network/server_connectivity.h"

#include <stdio.h>
#include <string.h>

#include "catalog/text_catalog.h"
#include "collect/network/sockets.h"
#include "collect/network/web_access.h"
#include "collect/run_control.h"
#include "common/owned_handle.h"

namespace {

unsigned long g_connectTimeLimitMs = 10000;

// Frees a resolver result list when it goes out of scope.
class ResolvedList {
public:
    ResolvedList() : list_(NULL) {}
    ~ResolvedList() {
        if (list_ != NULL) ResolverFreeAddrInfo(list_);
    }
    ResolvedList(const ResolvedList&) = delete;
    ResolvedList& operator=(const ResolvedList&) = delete;
    struct addrinfo** Receive() { return &list_; }
    struct addrinfo* Get() const { return list_; }

private:
    struct addrinfo* list_;
};

void Ipv4StreamHints(struct addrinfo* hints) {
    memset(hints, 0, sizeof *hints);
    hints->ai_family = AF_INET;
    hints->ai_socktype = SOCK_STREAM;
}

}  // namespace

void SetConnectTimeLimit(unsigned long milliseconds) { g_connectTimeLimitMs = milliseconds; }

int ResolveHostAddresses(const char* host, char addresses[][kAddressTextChars]) {
    if (!socketsReady || host == NULL || host[0] == '\0') return 0;
    struct addrinfo hints;
    Ipv4StreamHints(&hints);
    ResolvedList results;
    if (ResolverGetAddrInfo(host, NULL, &hints, results.Receive()) != 0) return 0;
    int count = 0;
    for (struct addrinfo* r = results.Get(); r != NULL && count < kMaxResolvedAddresses; r = r->ai_next) {
        if (ResolverGetNameInfo(r->ai_addr, static_cast<int>(r->ai_addrlen), addresses[count], kAddressTextChars,
                                NULL, 0, NI_NUMERICHOST) != 0) {
            return 0;
        }
        ++count;
    }
    return count;
}

bool TestTcpConnect(const char* host, int port) {
    if (!socketsReady) return false;
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    struct addrinfo hints;
    Ipv4StreamHints(&hints);
    ResolvedList results;
    if (ResolverGetAddrInfo(host, service, &hints, results.Receive()) != 0 || results.Get() == NULL) return false;
    const struct addrinfo* first = results.Get();

    OwnedSocket s(socket(first->ai_family, first->ai_socktype, first->ai_protocol));
    if (!s.Valid()) return false;
    u_long nonBlocking = 1;
    if (ioctlsocket(s.Get(), FIONBIO, &nonBlocking) != 0) return false;

    if (connect(s.Get(), first->ai_addr, static_cast<int>(first->ai_addrlen)) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;

    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s.Get(), &writable);
    FD_SET(s.Get(), &failed);
    struct timeval limit;
    limit.tv_sec = static_cast<long>(g_connectTimeLimitMs / 1000);
    limit.tv_usec = static_cast<long>((g_connectTimeLimitMs % 1000) * 1000);
    if (select(0, NULL, &writable, &failed, &limit) <= 0) return false;
    if (FD_ISSET(s.Get(), &failed) || !FD_ISSET(s.Get(), &writable)) return false;
    // Wine has reported a failed connect as writable; the pending error tells.
    int error = 0;
    int errorBytes = sizeof error;
    if (getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &errorBytes) != 0) return false;
    return error == 0;
}

void WriteServerConnectivity(ReportSink report, int serverCount, const ServerEntry* servers) {
    if (QueryLatestVersion() == VersionUnreachable) {
        MessageBoxA(GetMainWindowHandle(), GetText(37), GetText(10), MB_OK | MB_ICONWARNING);
        CancelRunFromStep();
        return;
    }
    if (serverCount <= 0 || servers == NULL) {
        WriteText(report, "no servers to test\r\n");
        return;
    }
    char lastHost[256] = "";
    char addresses[kMaxResolvedAddresses][kAddressTextChars];
    bool anyTaken = false;
    for (int i = 0; i < serverCount; ++i) {
        const ServerEntry& entry = servers[i];
        if (!(entry.checks & CheckConnect) || entry.port <= 0) continue;
        anyTaken = true;
        int count = 0;
        if (IsDottedNumeric(entry.host)) {
            lstrcpynA(addresses[0], entry.host, kAddressTextChars);
            count = 1;
            WriteEmptyLine(report);
        } else {
            count = ResolveHostAddresses(entry.host, addresses);
            if (lstrcmpiA(entry.host, lastHost) != 0) {
                WriteFormatted(report, "\r\n%s\r\n", entry.host);
                lstrcpynA(lastHost, entry.host, sizeof lastHost);
            }
            if (count == 0) WriteLine(report, "ip address failed");
        }
        for (int a = 0; a < count; ++a) {
            char target[256];
            snprintf(target, sizeof target, "%s:%d", addresses[a], entry.port);
            WriteFormatted(report, "%21s - ", target);
            bool connected = TestTcpConnect(addresses[a], entry.port);
            WriteText(report, connected ? "connect succeeded" : "connect failed");
            WriteText(report, "\r\n");
        }
    }
    if (!anyTaken) WriteText(report, "no servers to test\r\n");
}

void WriteServerAddresses(ReportSink report, int serverCount, const ServerEntry* servers) {
    char lastHost[256] = "";
    char addresses[kMaxResolvedAddresses][kAddressTextChars];
    for (int i = 0; i < serverCount && servers != NULL; ++i) {
        const char* host = servers[i].host;
        if (host[0] == '\0' || IsDottedNumeric(host)) continue;
        if (lstrcmpiA(host, lastHost) == 0) continue;
        lstrcpynA(lastHost, host, sizeof lastHost);
        WriteFormatted(report, "\r\nIP Address Information:  %s\r\n", host);
        int count = ResolveHostAddresses(host, addresses);
        for (int a = 0; a < count; ++a) WriteFormatted(report, "\t%s\r\n", addresses[a]);
        if (count == 0) WriteLine(report, "\tfailed");
    }
}
