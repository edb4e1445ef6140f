// Fuzz target for the external-address page: arbitrary bytes, NULs included.
// The parser must look only at the given bytes, and a found address must be a
// terminated text of fewer than 256 characters that stands in the page right
// after the label, without a "<" in it.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "collect/network/network_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exactly sized copy, so reading past the page trips the address sanitizer.
    std::vector<char> page(data, data + size);
    char address[256];
    memset(address, 'Z', sizeof address);
    if (!FindExternalAddress(page.data(), page.size(), address)) {
        for (size_t i = 0; i < sizeof address; ++i)
            if (address[i] != 'Z') abort();  // a failure leaves the output alone
        return 0;
    }
    size_t length = strnlen(address, sizeof address);
    if (length >= sizeof address) abort();
    if (memchr(address, '<', length) != NULL) abort();
    static const char kLabel[] = "Current IP Address: ";
    std::vector<char> needle(kLabel, kLabel + sizeof kLabel - 1);
    needle.insert(needle.end(), address, address + length);
    needle.push_back('<');
    bool found = false;
    for (size_t i = 0; i + needle.size() <= page.size() && !found; ++i)
        found = memcmp(page.data() + i, needle.data(), needle.size()) == 0;
    if (!found) abort();
    return 0;
}
