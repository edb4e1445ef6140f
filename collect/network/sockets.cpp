// Starts the sockets library once per process.
#include "collect/network/sockets.h"

volatile bool socketsReady = false;

bool StartSockets() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    socketsReady = true;
    return true;
}
