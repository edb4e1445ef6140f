// Splitting the process command line into words for the verification mode.
//
// A word is either a run of characters without white space or everything
// between a pair of double quotes (white space included, quotes removed).
// There are no escape characters: a double quote inside an unquoted word is
// an ordinary character. This is simpler than the C runtime's rules on
// purpose: report paths dropped onto the icon arrive quoted, and nothing
// else is ever needed.
#pragma once

#include <wchar.h>

#include <vector>

const int kMaxCommandLineWords = 64;

struct CommandLineWords {
    char* words[kMaxCommandLineWords];  // each points into the split copy
    int count;
};

// The argument text: what follows word 0 (the program path) and the white
// space after it, by the same rules. Empty when the program was started
// without arguments. Bytes of 128 and above belong to the program path, so a
// path in any ANSI code page, quoted or not, leaves no argument text behind
// (the C runtime's own split ends an unquoted path at the first such byte).
const char* FindArgumentText(const char* commandLine);

// Splits the copy in place: each word's end is overwritten with a NUL. Word 0
// is the program path. Words beyond the 64th are not recorded.
void SplitCommandLine(char* copy, CommandLineWords* words);

// The same for the wide command line.
struct WideCommandLineWords {
    wchar_t* words[kMaxCommandLineWords];  // each points into the split copy
    int count;
};
void SplitWideCommandLine(wchar_t* copy, WideCommandLineWords* words);
// Every word of the wide command line, without the 64-word limit: a support
// engineer may drop a hundred archives onto the icon at once.
void SplitWideCommandLineAll(wchar_t* copy, std::vector<wchar_t*>* words);
