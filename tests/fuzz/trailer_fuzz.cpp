// Fuzz target for the digest trailer check. Any bytes: the check must not
// read outside the given buffer (the sanitizers watch that). The input sealed
// must verify when it holds neither a NUL nor the marker, and must fail when
// it holds a NUL with no marker before it: the check reads text up to the
// first NUL and takes the first marker. (Input that already holds a valid
// trailer before a NUL or a marker may verify either way.) The streamed
// check, fed the same bytes in pieces whose sizes the input's first byte
// picks, must agree with the whole check.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "report/report_trailer.h"

namespace {

bool StreamedVerifies(const char* bytes, size_t size, size_t piece) {
    TrailerScan scan;
    TrailerScanInit(&scan);
    for (size_t at = 0; at < size; at += piece) TrailerScanUpdate(&scan, bytes + at, size - at < piece ? size - at : piece);
    return TrailerScanVerifies(&scan);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so a read past its end is caught.
    char* exact = static_cast<char*>(malloc(size ? size : 1));
    if (size) memcpy(exact, data, size);
    // The first byte also picks the search path (SSE2 where there is one, or
    // portable), and pieces long enough for the SSE2 search's 32-byte steps.
    const uint8_t pick = size ? data[0] : 0;
    const size_t piece = (pick % 37 + 1) * (pick & 0x40 ? 64 : 1);
    TrailerScanSelectAcceleration(pick < 128);
    if (StreamedVerifies(exact, size, piece) != DigestTrailerVerifies(exact, size)) abort();
    free(exact);

    std::string sealed(reinterpret_cast<const char*>(data), size);
    const size_t nul = sealed.find('\0');
    const size_t marker = sealed.find(kDigestMarker);
    const bool plainText = nul == std::string::npos && marker == std::string::npos;
    const bool hiddenByNul = nul != std::string::npos && (marker == std::string::npos || marker > nul);
    char trailer[kDigestTrailerBytes + 1];
    BuildDigestTrailer(data, size, trailer);
    sealed += trailer;
    char* copy = static_cast<char*>(malloc(sealed.size()));
    memcpy(copy, sealed.data(), sealed.size());
    const bool verifies = DigestTrailerVerifies(copy, sealed.size());
    if (StreamedVerifies(copy, sealed.size(), piece) != verifies) abort();
    free(copy);
    if (plainText && !verifies) abort();
    if (hiddenByNul && verifies) abort();
    return 0;
}
