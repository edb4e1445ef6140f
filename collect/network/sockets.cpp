// Starts the sockets library once per process and binds the name resolver.
//
// getaddrinfo and friends exist in ws2_32 from XP on and in wship6 on Windows
// 2000 with the IPv6 preview; older systems have neither, so the functions are
// looked up at run time and IPv4-only fallbacks built on gethostbyname stand in.
// Libraries are loaded by their full path in the system folder, never through
// the search path, so a planted ws2_32.dll beside the program is not used.
#include "collect/network/sockets.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/system_library.h"

volatile bool socketsReady = false;

bool StartSockets() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    socketsReady = true;
    return true;
}

namespace {

typedef int(WSAAPI* GetAddrInfoFunction)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
typedef int(WSAAPI* GetNameInfoFunction)(const struct sockaddr*, socklen_t, char*, DWORD, char*, DWORD, int);
typedef void(WSAAPI* FreeAddrInfoFunction)(struct addrinfo*);

// One block per result: the addrinfo followed by its address.
struct FallbackResult {
    struct addrinfo info;
    struct sockaddr_in address;
};

}  // namespace

// ---- IPv4 fallbacks ----------------------------------------------------------

void WSAAPI FallbackFreeAddrInfo(struct addrinfo* list) {
    while (list != NULL) {
        struct addrinfo* next = list->ai_next;
        HeapFree(GetProcessHeap(), 0, list);
        list = next;
    }
}

namespace {

// Port of a service text: a decimal number, or a service name looked up for
// the socket type's protocol. -1 when neither.
int ServicePort(const char* service, int socketType) {
    if (service == NULL || service[0] == '\0') return 0;
    char* end = NULL;
    long value = strtol(service, &end, 10);
    if (*end == '\0' && value >= 0 && value <= 65535) return static_cast<int>(value);
    struct servent* entry = getservbyname(service, socketType == SOCK_DGRAM ? "udp" : "tcp");
    if (entry == NULL) return -1;
    return ntohs(entry->s_port);
}

bool HasThreeDots(const char* text) {
    int dots = 0;
    for (; *text != '\0'; ++text) dots += *text == '.';
    return dots == 3;
}

}  // namespace

int WSAAPI FallbackGetAddrInfo(const char* node, const char* service, const struct addrinfo* hints,
                               struct addrinfo** result) {
    int family = hints != NULL ? hints->ai_family : AF_UNSPEC;
    int socketType = hints != NULL ? hints->ai_socktype : 0;
    int protocol = hints != NULL ? hints->ai_protocol : 0;
    if (family != AF_UNSPEC && family != AF_INET) return EAI_FAMILY;
    if (node == NULL && service == NULL) return EAI_NONAME;
    int port = ServicePort(service, socketType);
    if (port < 0) return EAI_SERVICE;

    // Addresses in network order; a literal gives one, a name up to 64.
    u_long addresses[64];
    int count = 0;
    if (node == NULL) {
        addresses[count++] = htonl(INADDR_LOOPBACK);
    } else if (HasThreeDots(node) && inet_addr(node) != INADDR_NONE) {
        addresses[count++] = inet_addr(node);
    } else {
        // gethostbyname follows the alias chain of the name itself.
        struct hostent* host = gethostbyname(node);
        if (host == NULL || host->h_addrtype != AF_INET || host->h_length != 4) return EAI_NONAME;
        for (int i = 0; host->h_addr_list[i] != NULL && count < 64; ++i) {
            memcpy(&addresses[count++], host->h_addr_list[i], 4);
        }
        if (count == 0) return EAI_NODATA;
    }

    struct addrinfo* first = NULL;
    struct addrinfo** link = &first;
    for (int i = 0; i < count; ++i) {
        FallbackResult* block =
            static_cast<FallbackResult*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FallbackResult)));
        if (block == NULL) {
            FallbackFreeAddrInfo(first);
            return EAI_MEMORY;
        }
        block->address.sin_family = AF_INET;
        block->address.sin_port = htons(static_cast<u_short>(port));
        block->address.sin_addr.s_addr = addresses[i];
        block->info.ai_family = AF_INET;
        block->info.ai_socktype = socketType;
        block->info.ai_protocol = protocol;
        block->info.ai_addrlen = sizeof block->address;
        block->info.ai_addr = reinterpret_cast<struct sockaddr*>(&block->address);
        *link = &block->info;
        link = &block->info.ai_next;
    }
    *result = first;
    return 0;
}

int WSAAPI FallbackGetNameInfo(const struct sockaddr* address, socklen_t addressBytes, char* host, DWORD hostBytes,
                               char* service, DWORD serviceBytes, int flags) {
    if (address == NULL || address->sa_family != AF_INET ||
        addressBytes < static_cast<socklen_t>(sizeof(struct sockaddr_in))) {
        return EAI_FAMILY;
    }
    const struct sockaddr_in* in = reinterpret_cast<const struct sockaddr_in*>(address);
    if (host != NULL && hostBytes > 0) {
        const char* text = NULL;
        if (!(flags & NI_NUMERICHOST)) {
            struct hostent* entry = gethostbyaddr(reinterpret_cast<const char*>(&in->sin_addr), 4, AF_INET);
            if (entry != NULL) text = entry->h_name;
        }
        if (text == NULL) text = inet_ntoa(in->sin_addr);
        if (text == NULL || strlen(text) >= hostBytes) return EAI_FAIL;
        strcpy(host, text);
    }
    if (service != NULL && serviceBytes > 0) {
        char number[8];
        const char* text = NULL;
        if (!(flags & NI_NUMERICSERV)) {
            struct servent* entry = getservbyport(in->sin_port, (flags & NI_DGRAM) ? "udp" : "tcp");
            if (entry != NULL) text = entry->s_name;
        }
        if (text == NULL) {
            snprintf(number, sizeof number, "%u", static_cast<unsigned>(ntohs(in->sin_port)));
            text = number;
        }
        if (strlen(text) >= serviceBytes) return EAI_FAIL;
        strcpy(service, text);
    }
    return 0;
}

// ---- the table ---------------------------------------------------------------

namespace {

GetAddrInfoFunction g_getAddrInfo = FallbackGetAddrInfo;
GetNameInfoFunction g_getNameInfo = FallbackGetNameInfo;
FreeAddrInfoFunction g_freeAddrInfo = FallbackFreeAddrInfo;
bool g_systemFunctions = false;
volatile LONG g_bindState = 0;  // 0 not bound, 1 binding, 2 bound

// Binds all three functions from one system library, or none of them.
bool BindFrom(const char* name) {
    HMODULE library = LoadSystemLibrary(name);
    if (library == NULL) return false;
    FARPROC getAddrInfo = GetProcAddress(library, "getaddrinfo");
    FARPROC getNameInfo = GetProcAddress(library, "getnameinfo");
    FARPROC freeAddrInfo = GetProcAddress(library, "freeaddrinfo");
    if (getAddrInfo == NULL || getNameInfo == NULL || freeAddrInfo == NULL) {
        FreeLibrary(library);
        return false;
    }
    // The library stays loaded for the rest of the program's life.
    g_getAddrInfo = reinterpret_cast<GetAddrInfoFunction>(reinterpret_cast<void*>(getAddrInfo));
    g_getNameInfo = reinterpret_cast<GetNameInfoFunction>(reinterpret_cast<void*>(getNameInfo));
    g_freeAddrInfo = reinterpret_cast<FreeAddrInfoFunction>(reinterpret_cast<void*>(freeAddrInfo));
    g_systemFunctions = true;
    return true;
}

}  // namespace

void LoadResolver() {
    if (g_bindState == 2) return;
    if (InterlockedCompareExchange(&g_bindState, 1, 0) != 0) {
        while (g_bindState != 2) Sleep(0);  // another thread is binding right now
        return;
    }
    if (!BindFrom("ws2_32.dll")) BindFrom("wship6.dll");
    InterlockedExchange(&g_bindState, 2);
}

int ResolverGetAddrInfo(const char* node, const char* service, const struct addrinfo* hints,
                        struct addrinfo** result) {
    LoadResolver();
    return g_getAddrInfo(node, service, hints, result);
}

int ResolverGetNameInfo(const struct sockaddr* address, int addressBytes, char* host, DWORD hostBytes,
                        char* service, DWORD serviceBytes, int flags) {
    LoadResolver();
    return g_getNameInfo(address, addressBytes, host, hostBytes, service, serviceBytes, flags);
}

void ResolverFreeAddrInfo(struct addrinfo* list) {
    LoadResolver();
    if (list != NULL) g_freeAddrInfo(list);
}

bool ResolverUsesSystemFunctions() {
    LoadResolver();
    return g_systemFunctions;
}
