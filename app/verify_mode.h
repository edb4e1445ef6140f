// The verification mode: check one report's digest trailer and say the outcome.
#pragma once

// Runs on the process command line; returns the exit code, 0 or -1.
int RunVerifyMode();
// The same on a given command line (program path first); for tests.
int RunVerifyModeOn(const char* commandLine);
