// Command-line splitting, in place, with the program's own small rules (see
// the header). White space is the six ASCII characters only; bytes of 128 and
// above belong to words, so paths in any ANSI code page stay whole.
#include "app/command_line.h"

#include <stddef.h>
#include <wchar.h>

namespace {

// The same rules for narrow and wide text: the verification mode splits the
// wide command line, so that a report named in any script is found.
template <class Char>
bool IsWhiteSpace(Char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Where the word that starts at the cursor ends: at its closing quote when
// it is quoted, else at the next white space; at the end of the text when
// neither comes.
template <class Char>
const Char* WordEnd(const Char* cursor, bool quoted) {
    if (quoted) {
        while (*cursor != '\0' && *cursor != '"') ++cursor;
    } else {
        while (*cursor != '\0' && !IsWhiteSpace(*cursor)) ++cursor;
    }
    return cursor;
}

template <class Char>
const Char* SkipWhiteSpace(const Char* cursor) {
    while (IsWhiteSpace(*cursor)) ++cursor;
    return cursor;
}

// Calls add(word) for each word until it returns false; returns the count.
template <class Char, class Add>
int SplitWords(Char* copy, Add add) {
    int count = 0;
    if (copy == NULL) return 0;
    Char* cursor = copy;
    while (*cursor != '\0') {
        cursor += SkipWhiteSpace(cursor) - cursor;
        bool quoted = *cursor == '"';
        if (quoted) ++cursor;
        // A line that ends in white space after its last word records one
        // further, empty word here; callers see it as an empty path.
        Char* word = cursor;
        ++count;
        cursor += WordEnd(cursor, quoted) - cursor;
        if (*cursor != '\0') *cursor++ = '\0';
        if (!add(word)) break;
    }
    return count;
}

// Into the fixed table: words beyond the 64th are not recorded.
template <class Char>
int SplitWords(Char* copy, Char* (&words)[kMaxCommandLineWords]) {
    int count = 0;
    SplitWords(copy, [&](Char* word) {
        words[count++] = word;
        return count < kMaxCommandLineWords;
    });
    return count;
}

}  // namespace

const char* FindArgumentText(const char* commandLine) {
    if (commandLine == NULL) return "";
    const char* cursor = SkipWhiteSpace(commandLine);
    const bool quoted = *cursor == '"';
    if (quoted) ++cursor;
    cursor = WordEnd(cursor, quoted);
    if (*cursor != '\0') ++cursor;
    return SkipWhiteSpace(cursor);
}

void SplitCommandLine(char* copy, CommandLineWords* words) { words->count = SplitWords(copy, words->words); }

void SplitWideCommandLine(wchar_t* copy, WideCommandLineWords* words) {
    words->count = SplitWords(copy, words->words);
}

void SplitWideCommandLineAll(wchar_t* copy, std::vector<wchar_t*>* words) {
    words->clear();
    SplitWords(copy, [&](wchar_t* word) {
        words->push_back(word);
        return true;
    });
}
