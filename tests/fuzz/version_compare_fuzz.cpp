// Fuzz target for version comparison: the input, split at its first line
// feed, is the own and the fetched version text (each up to its first NUL, as
// the program's buffers hold them). The result is always 1 or -1, a text is
// never newer than itself, and two different texts are never both newer than
// each other.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "collect/network/network_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\n');
    std::string own = input.substr(0, split);
    std::string fetched = split == std::string::npos ? std::string() : input.substr(split + 1);
    own = own.c_str();  // up to the first NUL
    fetched = fetched.c_str();
    // The program keeps version texts in 256-byte buffers.
    if (own.size() > 255) own.resize(255);
    if (fetched.size() > 255) fetched.resize(255);

    int forward = CompareVersions(own.c_str(), fetched.c_str());
    int backward = CompareVersions(fetched.c_str(), own.c_str());
    if (forward != 1 && forward != -1) abort();
    if (backward != 1 && backward != -1) abort();
    if (forward == 1 && backward == 1) abort();
    if (CompareVersions(own.c_str(), own.c_str()) != -1) abort();
    return 0;
}
