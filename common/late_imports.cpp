// The program's imports from Windows DLLs that are not KnownDLLs on every
// supported Windows, loaded on first use from the system folder.
//
// A static import of such a DLL would be searched for in the program's own
// folder first (see common/system_library.h). Instead this file defines, for
// each function the program uses, both names through which a call can reach
// it: the import slot "__imp__Name@N" (how the compiler calls a function that
// its header declares dllimport) and the function "_Name@N" itself. The
// linker takes these before the import libraries, so the program's import
// table never names these DLLs (tests/binary/check_binaries.py fails if it
// does: a new function from one of them needs its line here). Each stand-in
// loads the DLL by full path and resolves the function on first use; when
// the DLL or the function is missing it fails the way the function fails,
// and the caller's usual failure handling takes over.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <lm.h>
#include <psapi.h>
#include <shlwapi.h>
#include <wininet.h>

#include <string.h>

#include <type_traits>

#include "common/system_library.h"
#include "common/tick_count_import.h"

// N is the size of the arguments in bytes (the stdcall decoration). The
// stand-in is checked against the header's declaration of the function.
#define DGN_LATE_IMPORT(library, Result, name, bytes, parameters, arguments, failure) \
    DGN_LATE_IMPORT_FROM(GetSystemFunction, library, Result, name, bytes, parameters, arguments, failure)
#define DGN_LATE_IMPORT_FROM(resolve, library, Result, name, bytes, parameters, arguments, failure)             \
    extern "C" Result WINAPI Late_##name parameters __asm__(DGN_WINAPI_SYMBOL(name, bytes));                          \
    extern "C" Result WINAPI Late_##name parameters {                                                           \
        typedef Result(WINAPI * Function) parameters;                                                           \
        static Function function = NULL;                                                                        \
        if (function == NULL)                                                                                   \
            function = reinterpret_cast<Function>(reinterpret_cast<void*>(resolve(library, #name)));           \
        if (function == NULL) return failure;                                                                   \
        return function arguments;                                                                              \
    }                                                                                                           \
    extern "C" Result(WINAPI* Import_##name) parameters __asm__(DGN_IMPORT_SLOT_SYMBOL(name, bytes));                  \
    Result(WINAPI* Import_##name) parameters = Late_##name;                                                     \
    static_assert(std::is_same<decltype(&Late_##name), decltype(&::name)>::value, #name " as Windows declares it")

// ---- version.dll: version resources --------------------------------------------

DGN_LATE_IMPORT("version.dll", BOOL, GetFileVersionInfoA, 16, (LPCSTR a, DWORD b, DWORD c, LPVOID d), (a, b, c, d),
                FALSE);
DGN_LATE_IMPORT("version.dll", DWORD, GetFileVersionInfoSizeA, 8, (LPCSTR a, LPDWORD b), (a, b), 0);
DGN_LATE_IMPORT("version.dll", BOOL, VerQueryValueA, 16, (LPCVOID a, LPCSTR b, LPVOID* c, PUINT d), (a, b, c, d),
                FALSE);
DGN_LATE_IMPORT("version.dll", BOOL, VerQueryValueW, 16, (LPCVOID a, LPCWSTR b, LPVOID* c, PUINT d), (a, b, c, d),
                FALSE);

// ---- comctl32.dll: the common controls, version 6 through the manifest ----------
// Its DllMain loads the theme library by name, so it must not load before
// RestrictDllSearch has run (a static import would load it first of all).

DGN_LATE_IMPORT_FROM(GetSideBySideFunction, "comctl32.dll", BOOL, InitCommonControlsEx, 4,
                     (const INITCOMMONCONTROLSEX* a), (a), FALSE);
DGN_LATE_IMPORT_FROM(GetSideBySideFunction, "comctl32.dll", HIMAGELIST, ImageList_Create, 20,
                     (int a, int b, UINT c, int d, int e), (a, b, c, d, e), NULL);
DGN_LATE_IMPORT_FROM(GetSideBySideFunction, "comctl32.dll", BOOL, ImageList_Destroy, 4, (HIMAGELIST a), (a), FALSE);
DGN_LATE_IMPORT_FROM(GetSideBySideFunction, "comctl32.dll", int, ImageList_Add, 12, (HIMAGELIST a, HBITMAP b, HBITMAP c),
                     (a, b, c), -1);
DGN_LATE_IMPORT_FROM(GetSideBySideFunction, "comctl32.dll", int, ImageList_AddMasked, 12,
                     (HIMAGELIST a, HBITMAP b, COLORREF c), (a, b, c), -1);
DGN_LATE_IMPORT_FROM(GetSideBySideFunction, "comctl32.dll", BOOL, ImageList_SetOverlayImage, 12,
                     (HIMAGELIST a, int b, int c), (a, b, c), FALSE);

// ---- netapi32.dll: local groups ------------------------------------------------

DGN_LATE_IMPORT("netapi32.dll", NET_API_STATUS, NetApiBufferFree, 4, (LPVOID a), (a), ERROR_PROC_NOT_FOUND);
DGN_LATE_IMPORT("netapi32.dll", NET_API_STATUS, NetUserGetLocalGroups, 32,
                (LPCWSTR a, LPCWSTR b, DWORD c, DWORD d, LPBYTE* e, DWORD f, LPDWORD g, LPDWORD h),
                (a, b, c, d, e, f, g, h), ERROR_PROC_NOT_FOUND);

// ---- psapi.dll: the process list -----------------------------------------------

DGN_LATE_IMPORT("psapi.dll", BOOL, EnumProcesses, 12, (DWORD * a, DWORD b, DWORD* c), (a, b, c), FALSE);

// ---- shlwapi.dll: path helpers ---------------------------------------------------

DGN_LATE_IMPORT("shlwapi.dll", BOOL, PathAppendA, 8, (LPSTR a, LPCSTR b), (a, b), FALSE);
DGN_LATE_IMPORT("shlwapi.dll", BOOL, PathFileExistsA, 4, (LPCSTR a), (a), FALSE);
DGN_LATE_IMPORT("shlwapi.dll", BOOL, PathRemoveFileSpecA, 4, (LPSTR a), (a), FALSE);
DGN_LATE_IMPORT("shlwapi.dll", BOOL, PathRemoveFileSpecW, 4, (LPWSTR a), (a), FALSE);
// Without the library: no extension (the end of the text) and no folder part.
DGN_LATE_IMPORT("shlwapi.dll", LPSTR, PathFindExtensionA, 4, (LPCSTR a), (a), const_cast<LPSTR>(a + strlen(a)));
DGN_LATE_IMPORT("shlwapi.dll", LPSTR, PathFindFileNameA, 4, (LPCSTR a), (a), const_cast<LPSTR>(a));

// ---- wininet.dll: HTTP ---------------------------------------------------------

DGN_LATE_IMPORT("wininet.dll", HINTERNET, InternetOpenA, 20, (LPCSTR a, DWORD b, LPCSTR c, LPCSTR d, DWORD e),
                (a, b, c, d, e), NULL);
DGN_LATE_IMPORT("wininet.dll", HINTERNET, InternetOpenUrlA, 24,
                (HINTERNET a, LPCSTR b, LPCSTR c, DWORD d, DWORD e, DWORD_PTR f), (a, b, c, d, e, f), NULL);
DGN_LATE_IMPORT("wininet.dll", BOOL, HttpQueryInfoA, 20, (HINTERNET a, DWORD b, LPVOID c, LPDWORD d, LPDWORD e),
                (a, b, c, d, e), FALSE);
DGN_LATE_IMPORT("wininet.dll", BOOL, InternetReadFile, 16, (HINTERNET a, LPVOID b, DWORD c, LPDWORD d), (a, b, c, d),
                FALSE);
DGN_LATE_IMPORT("wininet.dll", BOOL, InternetCloseHandle, 4, (HINTERNET a), (a), FALSE);
DGN_LATE_IMPORT("wininet.dll", BOOL, InternetCrackUrlA, 16, (LPCSTR a, DWORD b, DWORD c, LPURL_COMPONENTSA d),
                (a, b, c, d), FALSE);
DGN_LATE_IMPORT("wininet.dll", HINTERNET, InternetConnectA, 32,
                (HINTERNET a, LPCSTR b, INTERNET_PORT c, LPCSTR d, LPCSTR e, DWORD f, DWORD g, DWORD_PTR h),
                (a, b, c, d, e, f, g, h), NULL);
DGN_LATE_IMPORT("wininet.dll", HINTERNET, HttpOpenRequestA, 32,
                (HINTERNET a, LPCSTR b, LPCSTR c, LPCSTR d, LPCSTR e, LPCSTR* f, DWORD g, DWORD_PTR h),
                (a, b, c, d, e, f, g, h), NULL);
DGN_LATE_IMPORT("wininet.dll", BOOL, HttpSendRequestA, 20, (HINTERNET a, LPCSTR b, DWORD c, LPVOID d, DWORD e),
                (a, b, c, d, e), FALSE);
DGN_LATE_IMPORT("wininet.dll", BOOL, InternetSetOptionA, 16, (HINTERNET a, DWORD b, LPVOID c, DWORD d), (a, b, c, d),
                FALSE);

// ---- ws2_32.dll: sockets and name resolution ---------------------------------------
// (getaddrinfo and its partners are bound by collect/network/sockets.cpp.)

DGN_LATE_IMPORT("ws2_32.dll", int, WSAStartup, 8, (WORD a, LPWSADATA b), (a, b), WSASYSNOTREADY);
DGN_LATE_IMPORT("ws2_32.dll", int, WSACleanup, 0, (void), (), SOCKET_ERROR);
DGN_LATE_IMPORT("ws2_32.dll", int, WSAGetLastError, 0, (void), (), WSASYSNOTREADY);
DGN_LATE_IMPORT("ws2_32.dll", int, __WSAFDIsSet, 8, (SOCKET a, fd_set* b), (a, b), 0);
DGN_LATE_IMPORT("ws2_32.dll", SOCKET, socket, 12, (int a, int b, int c), (a, b, c), INVALID_SOCKET);
DGN_LATE_IMPORT("ws2_32.dll", int, closesocket, 4, (SOCKET a), (a), SOCKET_ERROR);
DGN_LATE_IMPORT("ws2_32.dll", int, connect, 12, (SOCKET a, const sockaddr* b, int c), (a, b, c), SOCKET_ERROR);
DGN_LATE_IMPORT("ws2_32.dll", int, ioctlsocket, 12, (SOCKET a, long b, u_long* c), (a, b, c), SOCKET_ERROR);
DGN_LATE_IMPORT("ws2_32.dll", int, getsockopt, 20, (SOCKET a, int b, int c, char* d, int* e), (a, b, c, d, e),
                SOCKET_ERROR);
DGN_LATE_IMPORT("ws2_32.dll", int, select, 20, (int a, fd_set* b, fd_set* c, fd_set* d, const PTIMEVAL e),
                (a, b, c, d, e), SOCKET_ERROR);
DGN_LATE_IMPORT("ws2_32.dll", hostent*, gethostbyname, 4, (const char* a), (a), NULL);
DGN_LATE_IMPORT("ws2_32.dll", hostent*, gethostbyaddr, 12, (const char* a, int b, int c), (a, b, c), NULL);
DGN_LATE_IMPORT("ws2_32.dll", servent*, getservbyname, 8, (const char* a, const char* b), (a, b), NULL);
DGN_LATE_IMPORT("ws2_32.dll", servent*, getservbyport, 8, (int a, const char* b), (a, b), NULL);
DGN_LATE_IMPORT("ws2_32.dll", unsigned long, inet_addr, 4, (const char* a), (a), INADDR_NONE);
DGN_LATE_IMPORT("ws2_32.dll", char*, inet_ntoa, 4, (in_addr a), (a), NULL);
// Byte order needs no library: the processor is little-endian.
DGN_LATE_IMPORT("ws2_32.dll", u_long, htonl, 4, (u_long a), (a), __builtin_bswap32(a));
DGN_LATE_IMPORT("ws2_32.dll", u_short, htons, 4, (u_short a), (a), __builtin_bswap16(a));
DGN_LATE_IMPORT("ws2_32.dll", u_short, ntohs, 4, (u_short a), (a), __builtin_bswap16(a));
