// The Windows sockets library and the name resolver shared by the
// connectivity test and route tracing.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

// True once StartSockets has started the library; never reset.
extern volatile bool socketsReady;

// WSAStartup 1.1, once at program start; sets socketsReady on success.
bool StartSockets();
