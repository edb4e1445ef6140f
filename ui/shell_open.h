// Everything the program opens for the player (web pages, the archive, its
// folder) goes through here.
//
// The program asks for administrator rights when it starts. On Vista and later
// with UAC, whatever its own ShellExecute starts inherits that elevated token:
// a browser started for a help link would run every page, download and add-on
// as administrator, and the archive would open elevated in whatever program
// handles ZIP files. So an elevated program asks the desktop's shell (the
// process that owns the taskbar and desktop, running with the player's normal
// rights) to open instead, through the shell's own automation interfaces. Where
// that is not needed or not possible it opens as it always did.
#pragma once

#include <windows.h>

// Opens an address, a file or a folder with the verb "open" in a normal
// window, the way the player's shell would. False when nothing could be
// asked to open it (an empty target included).
bool ShellOpen(HWND owner, const char* target);

// The parts of ShellOpen, for tests.

// Whether the program's token is elevated, and whether it is the elevated
// half of a split (UAC) token. Both false where the system has no such token
// information (before Vista).
void ReadTokenElevation(bool* elevated, bool* splitToken);
// Asks the desktop's shell window to open the target: the desktop found
// through the shell's window list, its view's automation object, and that
// object's ShellExecute. False when any step fails, and then nothing opened.
bool OpenThroughDesktopShell(const char* target);
// The program's own ShellExecuteEx with the verb "open" and a normal window.
bool OpenFromOwnProcess(HWND owner, const char* target);
