// The Windows sockets library and the name resolver shared by the
// connectivity test and route tracing.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

// True once StartSockets has started the library; never reset.
extern volatile bool socketsReady;

// WSAStartup 1.1, once at program start; sets socketsReady on success.
bool StartSockets();

// Binds the resolver functions once per process: getaddrinfo, getnameinfo and
// freeaddrinfo from ws2_32 (or wship6 on Windows 2000), loaded by full path
// from the system folder, else built-in IPv4 fallbacks. Later calls do nothing.
void LoadResolver();

// The resolver entry points; each binds the table on first use.
int ResolverGetAddrInfo(const char* node, const char* service, const struct addrinfo* hints,
                        struct addrinfo** result);
int ResolverGetNameInfo(const struct sockaddr* address, int addressBytes, char* host, DWORD hostBytes,
                        char* service, DWORD serviceBytes, int flags);
void ResolverFreeAddrInfo(struct addrinfo* list);
// The built-in IPv4-only stand-ins for systems without getaddrinfo: a host
// with three dots that parses as an address is taken literally, any other is
// looked up with gethostbyname; a service is a port number or a service name.
int WSAAPI FallbackGetAddrInfo(const char* node, const char* service, const struct addrinfo* hints,
                               struct addrinfo** result);
int WSAAPI FallbackGetNameInfo(const struct sockaddr* address, socklen_t addressBytes, char* host, DWORD hostBytes,
                               char* service, DWORD serviceBytes, int flags);
void WSAAPI FallbackFreeAddrInfo(struct addrinfo* list);

// True when the system's functions are bound, false with the fallbacks.
bool ResolverUsesSystemFunctions();
