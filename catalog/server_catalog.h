// The servers of each game that the network steps test: connection attempts,
// address lookups and route traces all walk these compiled-in lists in order.
#pragma once

#include <stdint.h>

enum ServerCheck : uint32_t {
    CheckConnect = 1,  // the connectivity test tries a TCP connection
    CheckRoute = 2,    // route tracing traces the path
};

struct ServerEntry {
    char label[256];   // shown in route-tracing headings
    int32_t region;    // bit set: 1 US East, 2 US West, 4 Europe
    char host[256];    // host name or dotted IPv4 address
    int32_t port;      // 0 or less: never connection-tested
    uint32_t checks;   // ServerCheck bits
};

extern const ServerEntry kRuneveilServers[7];
extern const ServerEntry kRuneveil2Servers[10];
extern const ServerEntry kKharros2Servers[3];
extern const ServerEntry kSolmereServers[7];

const char* GetRegionText(int32_t region);
