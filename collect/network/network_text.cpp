// Parsers and comparisons of the network steps, free of Windows headers.
//
// Everything here reads bounded input: the page parser looks only at the bytes
// received, the version comparison copies its inputs into fixed buffers first
// and converts parts without overflowing.
#include "collect/network/network_text.h"

#include <string.h>

namespace {

const char* FindBytes(const char* from, const char* end, const char* needle) {
    size_t needleBytes = strlen(needle);
    for (const char* p = from; p + needleBytes <= end; ++p) {
        if (memcmp(p, needle, needleBytes) == 0) return p;
    }
    return NULL;
}

// The next dot-separated token of text starting at *cursor; consecutive dots
// count as one separator. False when no token is left.
bool NextToken(char** cursor, char** token) {
    char* p = *cursor;
    while (*p == '.') ++p;
    if (*p == '\0') return false;
    *token = p;
    while (*p != '\0' && *p != '.') ++p;
    if (*p == '.') *p++ = '\0';
    *cursor = p;
    return true;
}

// Leading blanks skipped, then decimal digits up to the first non-digit; no
// digits give 0. Saturates instead of overflowing.
unsigned long long PartValue(const char* token) {
    while (*token == ' ' || *token == '\t' || *token == '\r' || *token == '\n' || *token == '\v' ||
           *token == '\f') {
        ++token;
    }
    unsigned long long value = 0;
    for (; *token >= '0' && *token <= '9'; ++token) {
        if (value > 100000000000000000ULL) continue;  // already larger than any real part
        value = value * 10 + static_cast<unsigned>(*token - '0');
    }
    return value;
}

void CopyBounded(char (&out)[256], const char* text) {
    size_t n = text != NULL ? strnlen(text, sizeof out - 1) : 0;
    if (n > 0) memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

bool ParseContentLength(const char* text, uint32_t* length) {
    if (text == NULL) return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p < '0' || *p > '9') return false;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 0xFFFFFFFFULL) return false;
    }
    *length = static_cast<uint32_t>(value);
    return true;
}

uint32_t ReadWholeBody(BodyReadFunction read, void* context, char* buffer, uint32_t length, bool* complete) {
    uint32_t received = 0;
    bool failed = false;
    while (received < length) {
        uint32_t got = 0;
        if (!read(context, buffer + received, length - received, &got)) {
            failed = true;
            break;
        }
        if (got == 0) break;                    // the stream ended before the announced length
        if (got > length - received) got = length - received;  // never trust a reader past the buffer
        received += got;
    }
    *complete = !failed && received == length;
    return received;
}

bool FindExternalAddress(const char* page, size_t pageBytes, char address[256]) {
    static const char kLabel[] = "Current IP Address: ";
    if (page == NULL) return false;
    const char* end = page + pageBytes;
    const char* body = FindBytes(page, end, "<body>");
    if (body == NULL) return false;
    const char* label = FindBytes(body + 6, end, kLabel);
    if (label == NULL) return false;
    const char* start = label + sizeof kLabel - 1;
    const char* stop = static_cast<const char*>(memchr(start, '<', static_cast<size_t>(end - start)));
    if (stop == NULL) return false;
    size_t n = static_cast<size_t>(stop - start);
    if (n >= 256) return false;
    // A NUL inside the address would cut it short when the report prints it,
    // so a page like that has no readable address.
    if (memchr(start, '\0', n) != NULL) return false;
    memcpy(address, start, n);
    address[n] = '\0';
    return true;
}

int CompareVersions(const char* own, const char* fetched) {
    char ownText[256];
    char fetchedText[256];
    CopyBounded(ownText, own);
    CopyBounded(fetchedText, fetched);
    char* ownCursor = ownText;
    char* fetchedCursor = fetchedText;
    for (;;) {
        char* ownToken = NULL;
        char* fetchedToken = NULL;
        bool ownHas = NextToken(&ownCursor, &ownToken);
        bool fetchedHas = NextToken(&fetchedCursor, &fetchedToken);
        if (!ownHas || !fetchedHas) return fetchedHas ? 1 : -1;
        unsigned long long ownValue = PartValue(ownToken);
        unsigned long long fetchedValue = PartValue(fetchedToken);
        if (ownValue != fetchedValue) return fetchedValue > ownValue ? 1 : -1;
    }
}

bool IsDottedNumeric(const char* text) {
    if (text == NULL) return true;
    for (; *text != '\0'; ++text) {
        if (*text != '.' && (*text < '0' || *text > '9')) return false;
    }
    return true;
}

const char* RouteCommandFormat(int generation) {
    if (generation >= 6) return "pathping.exe -w 500 -q 100 -4 %s";
    if (generation == 5) return "pathping.exe -w 500 -q 100 %s";
    return "tracert.exe -w 500 %s";
}
