// Plain HTTP through WinINet: the external-address section, the latest-version
// check (also the Internet reachability test of the network steps), and the
// download of a newer Diagnova.
//
// Every call opens and closes its own Internet handle; nothing is cached
// between callers. The body is read in a loop until the announced length has
// arrived: a single InternetReadFile may legitimately deliver only part of a
// body (slow servers, chunk boundaries), and that is not a failure.
#include "collect/network/web_access.h"

#include <shellapi.h>
#include <wininet.h>

#include "collect/network/network_text.h"
#include "collect/system/windows_version.h"
#include "common/owned_handle.h"
#include "resources/deployment.h"
#include "ui/text_catalog.h"

namespace {

// Wine's InternetReadFile on a synchronous request waits until the whole
// request is filled; Windows may return what has arrived so far.
bool ReadFromInternet(void* request, char* into, uint32_t wanted, uint32_t* got) {
    DWORD bytes = 0;
    if (!InternetReadFile(static_cast<HINTERNET>(request), into, wanted, &bytes)) return false;
    *got = bytes;
    return true;
}

}  // namespace

bool HttpGet(const char* url, DWORD* capacity, char* buffer) {
    OwnedInternet session(InternetOpenA("orvane-diagnova", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
    if (!session.Valid()) return false;
    OwnedInternet request(InternetOpenUrlA(session.Get(), url, NULL, 0, 0, 0));
    if (!request.Valid()) return false;

    char lengthText[32] = "";
    DWORD lengthBytes = sizeof lengthText - 1;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthBytes, NULL)) {
        return false;
    }
    lengthText[lengthBytes < sizeof lengthText ? lengthBytes : sizeof lengthText - 1] = '\0';
    uint32_t length = 0;
    if (!ParseContentLength(lengthText, &length)) return false;
    if (length > *capacity) return false;

    bool complete = false;
    *capacity = ReadWholeBody(ReadFromInternet, request.Get(), buffer, length, &complete);
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
    OwnedInternet session(InternetOpenA("Diagnova", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0));
    if (!session.Valid()) return false;
    OwnedInternet request(InternetOpenUrlA(session.Get(), url, NULL, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request.Valid()) return false;
    DWORD status = 0;
    DWORD statusBytes = sizeof status;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusBytes,
                        NULL)) {
        return false;
    }
    return status == 200 || status == 302;
}

void DownloadLatestVersion() {
    if (UrlReachable(DEPLOY_DOWNLOAD_URL)) {
        SHELLEXECUTEINFOA info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.lpVerb = "open";
        info.lpFile = DEPLOY_DOWNLOAD_URL;
        info.nShow = SW_SHOWNORMAL;
        ShellExecuteExA(&info);
        return;
    }
    MessageBoxA(NULL, GetText(36), GetText(10), MB_OK);
}
