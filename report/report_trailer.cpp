// Building and checking the digest trailer over a report held in memory, and
// checking it over a report that arrives in pieces.
//
// The check treats the content as NUL-terminated text, as the stored reports
// were always checked: a NUL before the marker hides the marker (or cuts the
// digested text short), so such a report never verifies. The length bound is
// kept separately, so a buffer without a NUL is never read past its end.
#include "report/report_trailer.h"

#include <string.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#endif

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

enum ScanState { kSearching, kDigits, kDone };

bool DigitsMatch(const char digits[2 * kDigestBytes], const uint8_t digest[kDigestBytes]) {
    for (int i = 0; i < kDigestBytes; ++i) {
        const int high = HexValue(digits[2 * i]);
        const int low = HexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0 || digest[i] != (high << 4 | low)) return false;
    }
    return true;
}

// The marker found: the held bytes before it and text[0, textBefore) are the
// last of the digested text.
void MarkerFound(TrailerScan* scan, size_t heldBefore, const char* text, size_t textBefore) {
    DigestUpdate(&scan->context, scan->held, heldBefore);
    DigestUpdate(&scan->context, text, textBefore);
    DigestFinal(&scan->context);
    memcpy(scan->digest, scan->context.digest, kDigestBytes);
    scan->state = kDigits;
}

// The first NUL or '-' in p[0, n), or n: the only bytes where the text can
// end or the marker begin. This search runs over every byte of the report
// beside the digest, so it must cost well below the digest itself: the C
// library's memchr (once for the NUL, once for the dash) or a byte loop costs
// more than the digest with the SHA extensions. The portable form tests
// eight bytes a step with the classic zero-byte test on words (on the word
// and on the word XOR dashes); where the processor has SSE2 (every x86 since
// the Pentium 4 and the Athlon 64, but not all that run XP), 32 bytes a step.
size_t FindNulOrDashPortable(const char* p, size_t n) {
    const uint32_t kOnes = 0x01010101u, kHighs = 0x80808080u, kDashes = 0x2D2D2D2Du;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint32_t a, b;
        memcpy(&a, p + i, 4);
        memcpy(&b, p + i + 4, 4);
        const uint32_t da = a ^ kDashes, db = b ^ kDashes;
        if ((((a - kOnes) & ~a) | ((da - kOnes) & ~da) | ((b - kOnes) & ~b) | ((db - kOnes) & ~db)) & kHighs) break;
    }
    for (; i < n; ++i) {
        if (p[i] == '\0' || p[i] == '-') return i;
    }
    return n;
}

#if defined(__i386__) || defined(__x86_64__)
#define DGN_HAVE_SSE2_SEARCH

__attribute__((target("sse2"))) size_t FindNulOrDashSse2(const char* p, size_t n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i dashes = _mm_set1_epi8('-');
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
        const __m128i hitsA = _mm_or_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(a, dashes));
        const __m128i hitsB = _mm_or_si128(_mm_cmpeq_epi8(b, zero), _mm_cmpeq_epi8(b, dashes));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hitsA)) |
                              static_cast<unsigned>(_mm_movemask_epi8(hitsB)) << 16;
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    return i + FindNulOrDashPortable(p + i, n - i);
}

bool ProcessorHasSse2() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & (1u << 26)) != 0;
}
#endif

// -1 until the processor has been asked; then 1 or 0. Two threads asking at
// once both get the same answer.
int useSse2Search = -1;

size_t FindNulOrDash(const char* p, size_t n) {
#ifdef DGN_HAVE_SSE2_SEARCH
    if (useSse2Search < 0) useSse2Search = ProcessorHasSse2() ? 1 : 0;
    if (useSse2Search > 0) return FindNulOrDashSse2(p, n);
#endif
    return FindNulOrDashPortable(p, n);
}

// Looks for the first marker in the held bytes followed by p[0, n), within
// the text, which ends at the first NUL. Returns how many bytes of p the
// marker's end lies at, or 0 when there is none yet: then only the last text
// bytes that may begin a marker stay held, the rest is digested, and *ended
// tells whether a NUL ended the text.
size_t SearchMarker(TrailerScan* scan, const char* p, size_t n, bool* ended) {
    *ended = false;
    const size_t held = scan->heldBytes;
    // A marker that starts among the held bytes and ends in p (the marker
    // holds no NUL, so the comparison also stops at the end of the text).
    for (size_t start = 0; start < held; ++start) {
        const size_t fromHeld = held - start;
        const size_t fromText = kDigestMarkerBytes - fromHeld;
        if (fromText <= n && memcmp(scan->held + start, kDigestMarker, fromHeld) == 0 &&
            memcmp(p, kDigestMarker + fromHeld, fromText) == 0) {
            MarkerFound(scan, start, p, 0);
            return fromText;
        }
    }
    size_t length = n;
    for (size_t at = 0;; ++at) {
        at += FindNulOrDash(p + at, n - at);
        if (at == n) break;
        if (p[at] == '\0') {
            length = at;
            *ended = true;
            break;
        }
        if (n - at >= kDigestMarkerBytes && memcmp(p + at, kDigestMarker, kDigestMarkerBytes) == 0) {
            MarkerFound(scan, held, p, at);
            return at + kDigestMarkerBytes;
        }
    }
    const size_t keep = sizeof scan->held;
    if (length >= keep) {
        DigestUpdate(&scan->context, scan->held, held);
        DigestUpdate(&scan->context, p, length - keep);
        memcpy(scan->held, p + length - keep, keep);
        scan->heldBytes = keep;
    } else {
        const size_t drop = held + length > keep ? held + length - keep : 0;
        DigestUpdate(&scan->context, scan->held, drop);
        memmove(scan->held, scan->held + drop, held - drop);
        memcpy(scan->held + held - drop, p, length);
        scan->heldBytes = held - drop + length;
    }
    return 0;
}

}  // namespace

void TrailerScanInit(TrailerScan* scan) {
    memset(scan, 0, sizeof *scan);
    DigestInit(&scan->context);
    scan->state = kSearching;
}

void TrailerScanUpdate(TrailerScan* scan, const void* bytes, size_t byteCount) {
    const char* p = static_cast<const char*>(bytes);
    while (byteCount > 0 && scan->state == kSearching) {
        bool ended = false;
        const size_t taken = SearchMarker(scan, p, byteCount, &ended);
        if (taken == 0) {
            if (ended) scan->state = kDone;
            return;
        }
        p += taken;
        byteCount -= taken;
    }
    if (byteCount == 0 || scan->state != kDigits) return;
    size_t count = sizeof scan->digits - scan->digitCount;
    if (count > byteCount) count = byteCount;
    // A NUL among them ends the text before the 40th digit.
    if (memchr(p, '\0', count) != NULL) {
        scan->state = kDone;
        return;
    }
    memcpy(scan->digits + scan->digitCount, p, count);
    scan->digitCount += count;
    if (scan->digitCount == sizeof scan->digits) {
        scan->matched = DigitsMatch(scan->digits, scan->digest);
        scan->state = kDone;
    }
}

bool TrailerScanSelectAcceleration(bool enable) {
#ifdef DGN_HAVE_SSE2_SEARCH
    const bool available = ProcessorHasSse2();
#else
    const bool available = false;
#endif
    useSse2Search = enable && available ? 1 : 0;
    return useSse2Search == 1;
}

bool TrailerScanVerifies(const TrailerScan* scan) { return scan->state == kDone && scan->matched; }

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
