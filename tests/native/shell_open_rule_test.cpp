// Which process opens what the player chose: the desktop's shell only for an
// elevated program under UAC on Vista and later, the program itself otherwise.
#include <gtest/gtest.h>

#include "ui/shell_open_rule.h"

TEST(ShellOpenRule, OnlyAnElevatedProgramUnderUacAsksTheDesktop) {
    typedef WindowsGeneration G;
    const ShellOpenRoute own = ShellOpenRoute::OwnProcess;
    const ShellOpenRoute desktop = ShellOpenRoute::DesktopShell;
    struct Case {
        G generation;
        bool elevated;
        bool uacOn;
        ShellOpenRoute route;
    } cases[] = {
        {G::WinVista, true, true, desktop},
        {G::Win7, true, true, desktop},
        {G::Win8, true, true, desktop},  // 8, 10 and 11
        // An administrator without UAC: the desktop has the same token.
        {G::Win7, true, false, own},
        {G::Win8, true, false, own},
        // Not elevated (a standard user, or started without the manifest's
        // request): the program already has the player's rights.
        {G::WinVista, false, true, own},
        {G::Win8, false, true, own},
        {G::Win8, false, false, own},
        // Before Vista there is no elevation, whatever the inputs claim.
        {G::WinServer2003, true, true, own},
        {G::WinXP, true, true, own},
        {G::Win2000, true, true, own},
        {G::WinNT4, true, true, own},
        {G::Win98, true, true, own},
        {G::Unknown, true, true, own},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.route, ChooseShellOpenRoute(c.generation, c.elevated, c.uacOn))
            << "generation " << static_cast<int>(c.generation) << ", elevated " << c.elevated << ", UAC " << c.uacOn;
}
