// Fuzz target for command-line splitting: any text up to its first NUL. The
// split must stay inside the copy, record at most 64 words, and give words
// that an unquoted split cannot contain (white space) only when quoted.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* copy = static_cast<char*>(malloc(size + 1));
    if (size) memcpy(copy, data, size);
    copy[size] = '\0';
    const size_t length = strlen(copy);
    // A copy of the text to tell quoted words from unquoted ones.
    char* original = static_cast<char*>(malloc(length + 1));
    memcpy(original, copy, length + 1);

    CommandLineWords words;
    SplitCommandLine(copy, &words);
    if (words.count < 0 || words.count > kMaxCommandLineWords) abort();
    if (length > 0 && words.count == 0) abort();
    const char* previousEnd = copy;
    long terminator = -1;  // where the previous word's end was overwritten
    for (int i = 0; i < words.count; ++i) {
        const char* word = words.words[i];
        if (word < previousEnd || word > copy + length) abort();
        const size_t offset = static_cast<size_t>(word - copy);
        const size_t wordLength = strlen(word);
        if (offset + wordLength > length) abort();
        // A word right behind the previous word's terminator is unquoted;
        // elsewhere a double quote in front of it opened it.
        const bool quoted = offset > 0 && (long)offset - 1 != terminator && original[offset - 1] == '"';
        if (!quoted && strpbrk(word, " \t\n\v\f\r") != NULL) abort();
        if (quoted && strchr(word, '"') != NULL) abort();
        previousEnd = word + wordLength;
        terminator = (long)(offset + wordLength);
    }
    free(original);
    free(copy);
    return 0;
}
