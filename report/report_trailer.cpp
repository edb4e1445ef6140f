// Building and checking the digest trailer over a report held in memory.
//
// The check treats the content as NUL-terminated text, as the stored reports
// were always checked: a NUL before the marker hides the marker (or cuts the
// digested text short), so such a report never verifies. The length bound is
// kept separately, so a buffer without a NUL is never read past its end.
#include "report/report_trailer.h"

#include <string.h>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The first occurrence of the marker within text[0, length), or length.
size_t FindMarker(const char* text, size_t length) {
    if (length < kDigestMarkerBytes) return length;
    const size_t last = length - kDigestMarkerBytes;
    for (size_t at = 0; at <= last; ++at) {
        const void* hit = memchr(text + at, kDigestMarker[0], last - at + 1);
        if (hit == NULL) return length;
        at = static_cast<size_t>(static_cast<const char*>(hit) - text);
        if (memcmp(text + at, kDigestMarker, kDigestMarkerBytes) == 0) return at;
    }
    return length;
}

}  // namespace

void BuildDigestTrailer(const void* reportBytes, size_t byteCount, char trailer[kDigestTrailerBytes + 1]) {
    DigestContext context;
    DigestInit(&context);
    DigestUpdate(&context, reportBytes, byteCount);
    DigestFinal(&context);
    memcpy(trailer, kDigestMarker, kDigestMarkerBytes);
    DigestToHex(context.digest, trailer + kDigestMarkerBytes);
}

bool DigestTrailerVerifies(const char* content, size_t byteCount) {
    if (content == NULL) return false;
    const void* nul = memchr(content, '\0', byteCount);
    const size_t textLength = nul != NULL ? static_cast<size_t>(static_cast<const char*>(nul) - content) : byteCount;

    const size_t marker = FindMarker(content, textLength);
    if (marker == textLength) return false;
    const size_t digits = marker + kDigestMarkerBytes;
    if (textLength - digits < 2 * kDigestBytes) return false;

    uint8_t stated[kDigestBytes];
    for (int i = 0; i < kDigestBytes; ++i) {
        int high = HexValue(content[digits + 2 * i]);
        int low = HexValue(content[digits + 2 * i + 1]);
        if (high < 0 || low < 0) return false;
        stated[i] = static_cast<uint8_t>(high << 4 | low);
    }

    DigestContext context;
    DigestInit(&context);
    DigestUpdate(&context, content, marker);
    DigestFinal(&context);
    return memcmp(context.digest, stated, kDigestBytes) == 0;
}
