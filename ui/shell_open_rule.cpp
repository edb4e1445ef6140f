#include "ui/shell_open_rule.h"

ShellOpenRoute ChooseShellOpenRoute(WindowsGeneration generation, bool elevated, bool uacOn) {
    if (generation >= WindowsGeneration::WinVista && elevated && uacOn) return ShellOpenRoute::DesktopShell;
    return ShellOpenRoute::OwnProcess;
}
