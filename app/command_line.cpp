// Command-line splitting, in place, with the program's own small rules (see
// the header). White space is the six ASCII characters only; bytes of 128 and
// above belong to words, so paths in any ANSI code page stay whole.
#include "app/command_line.h"

#include <stddef.h>

namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void SplitCommandLine(char* copy, CommandLineWords* words) {
    words->count = 0;
    if (copy == NULL) return;
    char* cursor = copy;
    while (*cursor != '\0' && words->count < kMaxCommandLineWords) {
        while (IsWhiteSpace(*cursor)) ++cursor;
        bool quoted = *cursor == '"';
        if (quoted) ++cursor;
        // A line that ends in white space after its last word records one
        // further, empty word here; callers see it as an empty path.
        words->words[words->count++] = cursor;
        if (quoted) {
            while (*cursor != '\0' && *cursor != '"') ++cursor;
        } else {
            while (*cursor != '\0' && !IsWhiteSpace(*cursor)) ++cursor;
        }
        if (*cursor != '\0') *cursor++ = '\0';
    }
}
