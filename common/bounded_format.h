// printf-style formatting into a fixed buffer that can never overflow.
#pragma once

#include <stdarg.h>

// Formats into a fixed buffer: never overflows, keeps at most capacity-1
// characters, always terminates. Returns the length kept.
int FormatTruncated(char* buffer, int capacity, const char* format, va_list args);
