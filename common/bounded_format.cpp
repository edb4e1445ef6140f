#include "common/bounded_format.h"

#include <stdio.h>

int FormatTruncated(char* buffer, int capacity, const char* format, va_list args) {
    if (capacity <= 0) return 0;
    int n = vsnprintf(buffer, (size_t)capacity, format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return n >= capacity ? capacity - 1 : n;
}
