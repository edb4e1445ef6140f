// Which process asks the system to open what the player chose, kept free of
// the Windows API so the rule is tested natively on a table of cases.
#pragma once

#include "common/windows_version_text.h"

enum class ShellOpenRoute {
    OwnProcess,    // the program's own ShellExecute: what it starts inherits its token
    DesktopShell,  // the desktop's shell, which runs with the player's normal rights
};

// On Vista and later with UAC, an elevated program hands its administrator
// token to everything it starts; only then is the desktop's shell asked to
// open instead. Without UAC (or before Vista) the desktop runs with the same
// rights as the program, and a program that is not elevated already has the
// player's rights, so its own ShellExecute is the simpler and older path.
ShellOpenRoute ChooseShellOpenRoute(WindowsGeneration generation, bool elevated, bool uacOn);
