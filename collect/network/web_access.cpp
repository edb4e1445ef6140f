// Plain HTTP through WinINet: the external-address section, the latest-version
// check (also the Internet reachability test of the network steps), and the
// download of a newer Diagnova.
//
// Every call opens and closes its own Internet handles; nothing is cached
// between callers. The body is read in a loop until the announced length has
// arrived: a single InternetReadFile may legitimately deliver only part of a
// body (slow servers, chunk boundaries), and that is not a failure.
//
// Every request is bounded: a proxy or middlebox that accepts the connection
// and never answers, or a server whose connection is never accepted, would
// otherwise hold the request for as long as the system allows, and the
// start-up check runs on the user-interface thread. WinINet's own connect and
// receive limits are set on each request handle before it is sent (Windows
// also takes them from the Internet handle; Wine 8 ignores receive limits
// there, and InternetOpenUrl sends before anything can be set on its request,
// so the request is made in the three steps InternetOpenUrl takes). Those
// limits do not cover everything: Wine 8 connects without any limit (the
// system's SYN retries, over two minutes), Windows applies the connect limit
// to each of its connect retries, and name resolution has none. So each
// request runs on a thread of its own, and the caller waits for it at most
// the connect limit plus the receive limit; a request still running then
// counts as failed, like one to a server that is down, and finishes on its
// own later with its own copy of everything it touches.
#include "collect/network/web_access.h"

#include <stdio.h>
#include <string.h>
#include <wininet.h>

#include "collect/network/network_text.h"
#include "common/owned_handle.h"
#include "common/windows_version.h"
#include "resources/deployment.h"

namespace {

DWORD g_connectTimeLimitMs = 15000;
DWORD g_receiveTimeLimitMs = 15000;

void SetTimeLimits(HINTERNET handle) {
    DWORD connect = g_connectTimeLimitMs;
    DWORD receive = g_receiveTimeLimitMs;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

HINTERNET OpenInternet(const char* agent, const char* proxy, const char* bypass) {
    HINTERNET session = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, proxy, bypass, 0);
    if (session != NULL) SetTimeLimits(session);
    return session;
}

// Sends a GET for url through session; on success the connection and the
// request handle (whose answer's headers have arrived) are in the two slots.
bool SendGetRequest(HINTERNET session, const char* url, DWORD flags, OwnedInternet* connection,
                    OwnedInternet* request) {
    char host[INTERNET_MAX_HOST_NAME_LENGTH];
    char path[INTERNET_MAX_PATH_LENGTH];
    char extra[INTERNET_MAX_PATH_LENGTH];
    URL_COMPONENTSA parts;
    ZeroMemory(&parts, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url, 0, 0, &parts)) return false;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
        return false;
    }
    if (host[0] == '\0') return false;
    // The object requested is the path and the query after it.
    char object[INTERNET_MAX_PATH_LENGTH];
    int objectLength = snprintf(object, sizeof object, "%s%s", path[0] != '\0' ? path : "/", extra);
    if (objectLength < 0 || objectLength >= static_cast<int>(sizeof object)) return false;
    connection->Reset(InternetConnectA(session, host, parts.nPort, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection->Valid()) return false;
    const char* acceptTypes[] = {"*/*", NULL};
    request->Reset(HttpOpenRequestA(connection->Get(), "GET", object, NULL, NULL, acceptTypes, flags, 0));
    if (!request->Valid()) return false;
    SetTimeLimits(request->Get());
    return HttpSendRequestA(request->Get(), NULL, 0, NULL, 0) != FALSE;
}

// Wine's InternetReadFile on a synchronous request waits until the whole
// request is filled; Windows may return what has arrived so far.
bool ReadFromInternet(void* request, char* into, uint32_t wanted, uint32_t* got) {
    DWORD bytes = 0;
    if (!InternetReadFile(static_cast<HINTERNET>(request), into, wanted, &bytes)) return false;
    *got = bytes;
    return true;
}

// One request, shared by the caller and the thread that carries it out; the
// last of the two to let go frees it. The body buffer follows the record.
struct WebRequest {
    volatile LONG references;
    HANDLE finished;  // manual-reset; set when the thread is done with everything but the record
    bool statusOnly;  // UrlReachable: only the status code is wanted
    char url[INTERNET_MAX_URL_LENGTH];
    DWORD capacity;
    bool bodyRead;    // the body's read began: received counts what came
    DWORD received;
    bool complete;
    DWORD status;
    char body[1];
};

void ReleaseWebRequest(WebRequest* request) {
    if (InterlockedDecrement(&request->references) != 0) return;
    CloseHandle(request->finished);
    HeapFree(GetProcessHeap(), 0, request);
}

// The body of a GET: the announced length, read whole. No Content-Length, a
// length that is no number, or one beyond the buffer: nothing is read.
void FetchBody(WebRequest* request) {
    OwnedInternet session(OpenInternet("orvane-diagnova", "", ""));
    if (!session.Valid()) return;
    OwnedInternet connection;
    OwnedInternet answer;
    if (!SendGetRequest(session.Get(), request->url, 0, &connection, &answer)) return;
    char lengthText[32] = "";
    DWORD lengthBytes = sizeof lengthText - 1;
    if (!HttpQueryInfoA(answer.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthBytes, NULL)) return;
    lengthText[lengthBytes < sizeof lengthText ? lengthBytes : sizeof lengthText - 1] = '\0';
    uint32_t length = 0;
    if (!ParseContentLength(lengthText, &length) || length > request->capacity) return;
    request->bodyRead = true;
    request->received = ReadWholeBody(ReadFromInternet, answer.Get(), request->body, length, &request->complete);
}

// The status code of a fresh (uncached) GET.
void FetchStatus(WebRequest* request) {
    OwnedInternet session(OpenInternet("Diagnova", NULL, NULL));
    if (!session.Valid()) return;
    OwnedInternet connection;
    OwnedInternet answer;
    if (!SendGetRequest(session.Get(), request->url, INTERNET_FLAG_RELOAD, &connection, &answer)) return;
    DWORD status = 0;
    DWORD statusBytes = sizeof status;
    if (HttpQueryInfoA(answer.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusBytes, NULL)) {
        request->status = status;
        request->complete = true;
    }
}

void CarryOut(WebRequest* request) {
    if (request->statusOnly) {
        FetchStatus(request);
    } else {
        FetchBody(request);
    }
}

DWORD WINAPI CarryOutOnThread(LPVOID parameter) {
    WebRequest* request = static_cast<WebRequest*>(parameter);
    CarryOut(request);
    SetEvent(request->finished);
    ReleaseWebRequest(request);
    return 0;
}

// Carries out the request on its own thread and waits for it at most the two
// limits together. True when it finished in time; the caller then reads the
// outcome from the record and releases it. False when it could not be made or
// ran out of time: the record is then already let go of.
bool RunBoundedRequest(WebRequest* request) {
    request->references = 2;
    HANDLE thread = CreateThread(NULL, 0, CarryOutOnThread, request, 0, NULL);
    if (thread == NULL) {
        // No thread: the request runs here, with WinINet's limits only.
        request->references = 1;
        CarryOut(request);
        return true;
    }
    CloseHandle(thread);
    DWORD limit = g_connectTimeLimitMs + g_receiveTimeLimitMs;
    if (WaitForSingleObject(request->finished, limit) == WAIT_OBJECT_0) return true;
    ReleaseWebRequest(request);
    return false;
}

WebRequest* NewWebRequest(const char* url, bool statusOnly, DWORD capacity) {
    size_t urlLength = strlen(url);
    if (urlLength >= INTERNET_MAX_URL_LENGTH) return NULL;
    WebRequest* request =
        static_cast<WebRequest*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WebRequest) + capacity));
    if (request == NULL) return NULL;
    request->finished = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (request->finished == NULL) {
        HeapFree(GetProcessHeap(), 0, request);
        return NULL;
    }
    request->statusOnly = statusOnly;
    memcpy(request->url, url, urlLength + 1);
    request->capacity = capacity;
    return request;
}

}  // namespace

bool HttpGet(const char* url, DWORD* capacity, char* buffer) {
    if (url == NULL) return false;
    WebRequest* request = NewWebRequest(url, false, *capacity);
    if (request == NULL || !RunBoundedRequest(request)) return false;
    // Once the body's read began, what arrived is handed over even when it
    // is short, and the count says how much.
    bool complete = request->complete;
    if (request->bodyRead) {
        memcpy(buffer, request->body, request->received);
        *capacity = request->received;
    }
    ReleaseWebRequest(request);
    return complete;
}

bool GetExternalAddress(char address[256]) {
    char page[1024];
    DWORD pageBytes = sizeof page;
    if (!HttpGet(DEPLOY_EXTERNAL_ADDRESS_URL, &pageBytes, page)) return false;
    return FindExternalAddress(page, pageBytes, address);
}

void WriteExternalAddress(ReportSink report) {
    WriteSectionBanner(report, "Discovering external address");
    char address[256];
    if (GetExternalAddress(address)) {
        WriteFormatted(report, "Current IP Address: %s\r\n", address);
    } else {
        WriteLine(report, "\tfailed");
    }
    WriteEmptyLine(report);
}

int QueryLatestVersion() {
    char own[256] = "";
    if (!GetProgramVersion(own)) own[0] = '\0';
    // One byte of the 256 stays free for the terminator, so a version file of
    // 256 bytes or more is refused like any other oversized file.
    char fetched[256];
    DWORD fetchedBytes = sizeof fetched - 1;
    if (!HttpGet(DEPLOY_VERSION_FILE_URL, &fetchedBytes, fetched)) return VersionUnreachable;
    fetched[fetchedBytes] = '\0';
    // An own version that could not be read is no reason to offer a download:
    // every version file would look newer. The fetch above still tells
    // whether the update server can be reached.
    if (own[0] == '\0') return VersionCurrent;
    return CompareVersions(own, fetched) == 1 ? VersionNewer : VersionCurrent;
}

bool UrlReachable(const char* url) {
    if (url == NULL || url[0] == '\0') return false;
    WebRequest* request = NewWebRequest(url, true, 0);
    if (request == NULL || !RunBoundedRequest(request)) return false;
    bool reachable = request->complete && (request->status == 200 || request->status == 302);
    ReleaseWebRequest(request);
    return reachable;
}

void SetWebTimeLimits(unsigned long connectMs, unsigned long receiveMs) {
    g_connectTimeLimitMs = connectMs;
    g_receiveTimeLimitMs = receiveMs;
}
