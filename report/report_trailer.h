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
