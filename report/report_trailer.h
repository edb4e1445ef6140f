// The digest trailer that ends every sealed report: the marker
// "--- DIGEST ---\r\n" and the 20 digest bytes as 40 upper-case hexadecimal
// digits, with nothing after them. Building and checking it needs no Windows
// API, so it lives here and is tested and fuzzed natively; report_seal.cpp
// does the file handling around it.
#pragma once

#include <stddef.h>

#include "report/digest.h"

const char kDigestMarker[] = "--- DIGEST ---\r\n";
const size_t kDigestMarkerBytes = sizeof kDigestMarker - 1;
const size_t kDigestTrailerBytes = kDigestMarkerBytes + 2 * kDigestBytes;

// Digests reportBytes (every byte, NULs included) and writes marker, digits
// and a terminating NUL into trailer.
void BuildDigestTrailer(const void* reportBytes, size_t byteCount, char trailer[kDigestTrailerBytes + 1]);

// True when the content's trailer matches the digest of what precedes it.
// The content is read as text: it ends at its first NUL byte or after
// byteCount bytes, whichever comes first, and nothing beyond that is read.
// The first occurrence of the marker counts; the 40 digits may be in either
// case and anything after them is ignored.
bool DigestTrailerVerifies(const char* content, size_t byteCount);

// The same check on a report that arrives in pieces (an archive member as it
// is inflated), with the same outcome for every split of the same bytes: text
// up to the first NUL, the first marker, 40 digits in either case. Only the
// bytes that may still begin the marker are held back; everything before them
// goes into the digest at once.
struct TrailerScan {
    DigestContext context;
    int state;                          // searching, reading digits, or done
    bool matched;                       // the outcome once done
    char held[kDigestMarkerBytes - 1];  // text not digested yet: it may begin the marker
    size_t heldBytes;
    uint8_t digest[kDigestBytes];       // of the text before the marker, once found
    char digits[2 * kDigestBytes];
    size_t digitCount;
};

void TrailerScanInit(TrailerScan* scan);
void TrailerScanUpdate(TrailerScan* scan, const void* bytes, size_t byteCount);
// True when the bytes taken in so far, as a whole, pass DigestTrailerVerifies.
bool TrailerScanVerifies(const TrailerScan* scan);
// Chooses between the processor's SSE2 (when it has it) and portable code for
// the search through the text; returns whether SSE2 is now in use. The choice
// is made automatically on first use; tests and benchmarks call this to run
// both.
bool TrailerScanSelectAcceleration(bool enable);
