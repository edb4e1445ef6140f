// The report digest: SHA-1 (FIPS 180-1) whose five initial chaining words are
// the program's own, so a standard SHA-1 tool cannot forge a report's trailer.
// The five words are a parameter of DigestInitWith; with the standard words
// the digest is plain SHA-1, which is how the implementation is tested.
//
// Platform-neutral: no Windows headers, so it also builds natively for the
// sanitizer tests, the fuzzers and the benchmark.
#pragma once

#include <stddef.h>
#include <stdint.h>

const int kDigestBytes = 20;

struct DigestContext {
    uint32_t state[5];       // chaining value
    uint32_t bitCountLow;    // message bits taken in so far, low half
    uint32_t bitCountHigh;   // and high half
    uint8_t block[64];       // partial input block
    uint8_t digest[kDigestBytes];  // filled by DigestFinal
};

// The program's own initial chaining words. Every stored report was sealed
// with these: changing them makes all earlier reports fail their check.
extern const uint32_t kReportDigestWords[5];
// The standard SHA-1 initial values H0..H4.
extern const uint32_t kStandardSha1Words[5];

void DigestInit(DigestContext* context);
void DigestInitWith(DigestContext* context, const uint32_t words[5]);
void DigestUpdate(DigestContext* context, const void* bytes, size_t byteCount);
// Pads, takes in the length, writes context->digest and zeroes the state, the
// count and the block.
void DigestFinal(DigestContext* context);

// Chooses between the processor's SHA extensions (when it has them) and the
// portable code; returns whether the extensions are now in use. The choice is
// made automatically on first use; tests and the benchmark call this to run
// both.
bool DigestSelectAcceleration(bool enable);

// The 20 digest bytes as 40 upper-case hexadecimal digits and a NUL.
void DigestToHex(const uint8_t digest[kDigestBytes], char hex[2 * kDigestBytes + 1]);
