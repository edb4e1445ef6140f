// The verification mode: check one report's digest trailer and say the outcome.
#pragma once

#include <wchar.h>

// Exit codes: 0 the report matches (also after the usage text), -1 it does
// not match, has no trailer, or its archive cannot be checked, 2 the file
// cannot be opened. Several files exit with the code of the worst outcome:
// -1 wins over 2, and 2 over 0.
const int kVerifyExitCannotOpen = 2;

// Runs on the process command line and returns the exit code.
int RunVerifyMode();
// The same on a given command line (program path first).
int RunVerifyModeOn(const wchar_t* commandLine);
// The same on an ANSI command line, for tests.
int RunVerifyModeOn(const char* commandLine);
