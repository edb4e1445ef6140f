// The main window inside the test process: Wine keeps a program's menus
// private to its process, so the menu's texts, check marks and grayed items
// are checked here, on the real main window, with the program's own
// templates linked into this test program. It starts the sockets library and
// the silent version check, so it runs only inside the sealed test network
// (registered as e2e.ui_shell_menu).
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "catalog/game_catalog.h"
#include "catalog/text_catalog.h"
#include "collect/run_control.h"
#include "resources/deployment.h"
#include "resources/resource_ids.h"
#include "ui/hyperlink.h"
#include "ui/main_window.h"

namespace {

std::vector<std::string> g_opened;
bool RecordOpen(const char* address) {
    g_opened.push_back(address);
    return true;
}

std::string ItemText(HMENU menu, UINT item, UINT flags) {
    char text[256] = "";
    GetMenuStringA(menu, item, text, sizeof text, flags);
    return text;
}

// Languages whose menu items are enabled on a system with this ANSI code page.
std::set<int> EnabledLanguages(UINT acp) {
    switch (acp) {
    case 1252: return {1, 3, 4, 5, 6};
    case 949: return {1, 2};
    case 950: return {1, 7};
    case 936: return {1, 8};
    case 932: return {1, 9};
    case 1250: return {1, 10};
    case 1251: return {1, 11};
    default: return {1};
    }
}

const struct {
    int language;
    UINT command;
    int textId;
} kLanguageItems[] = {{1, 32775, 70}, {2, 32776, 71}, {3, 32777, 72}, {4, 32778, 73}, {5, 32779, 74},
                      {6, 32780, 75}, {9, 32782, 78}, {10, 32783, 79}, {11, 32784, 80}};
// The Chinese languages have commands but no menu items.
const UINT kChineseTraditional = 32781, kChineseSimplified = 32789;

// Checks every language item: its label, check mark (only `checked`) and
// whether it is grayed.
void ExpectLanguageItems(HMENU menu, int checked, const char* when) {
    std::set<int> enabled = EnabledLanguages(GetACP());
    for (const auto& item : kLanguageItems) {
        UINT state = GetMenuState(menu, item.command, MF_BYCOMMAND);
        ASSERT_NE(state, (UINT)-1) << when << ": item " << item.command;
        EXPECT_EQ((state & MF_CHECKED) != 0, item.language == checked) << when << ": language " << item.language;
        EXPECT_EQ((state & MF_GRAYED) != 0, enabled.count(item.language) == 0) << when << ": language " << item.language;
        EXPECT_EQ(ItemText(menu, item.command, MF_BYCOMMAND), GetText(item.textId)) << when;
    }
    EXPECT_EQ(GetMenuState(menu, kChineseTraditional, MF_BYCOMMAND), (UINT)-1) << when;
    EXPECT_EQ(GetMenuState(menu, kChineseSimplified, MF_BYCOMMAND), (UINT)-1) << when;
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam);
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

TEST(MainWindowMenu, RelabelsChecksAndGraysPerLanguageAndCodePage) {
    SetUrlOpener(RecordOpen);
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(NULL), SW_SHOW));
    HWND window = GetMainWindowHandle();
    ASSERT_NE(window, nullptr);
    Pump();
    HMENU menu = GetMenu(window);
    ASSERT_NE(menu, nullptr);

    // The Edit menu is gone; File, Language and Help remain, re-labelled.
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(ItemText(menu, 0, MF_BYPOSITION), GetText(63));
    EXPECT_EQ(ItemText(menu, 1, MF_BYPOSITION), GetText(69));
    EXPECT_EQ(ItemText(menu, 2, MF_BYPOSITION), GetText(81));
    EXPECT_EQ(GetMenuState(menu, IDM_CUT, MF_BYCOMMAND), (UINT)-1);
    EXPECT_EQ(ItemText(menu, IDM_EXIT, MF_BYCOMMAND), std::string(GetText(64)) + "\t(Alt+X)");
    EXPECT_EQ(ItemText(menu, IDM_CHECK_VERSION, MF_BYCOMMAND), std::string(GetText(82)) + "\t(Ctrl+U)");
    EXPECT_EQ(ItemText(menu, IDM_PRIVACY, MF_BYCOMMAND), GetText(84));
    EXPECT_EQ(ItemText(menu, IDM_ABOUT, MF_BYCOMMAND), GetText(83));
    // The system default language is stored at start, so its item is checked.
    int startLanguage = GetCurrentLanguage();
    ExpectLanguageItems(menu, startLanguage, "start");

    // French: on a code page 1252 system the menu turns French.
    SendMessageA(window, WM_COMMAND, IDM_LANG_FRENCH, 0);
    ExpectLanguageItems(menu, 3, "French");
    if (GetACP() == 1252) {
        EXPECT_EQ(ItemText(menu, 1, MF_BYPOSITION), "Langue(&Language)");
    }
    SendMessageA(window, WM_COMMAND, IDM_PRIVACY, 0);

    // Korean chosen where the code page cannot show it: checked, grayed, and
    // English texts; the privacy page still follows the stored choice.
    SendMessageA(window, WM_COMMAND, IDM_LANG_KOREAN, 0);
    ExpectLanguageItems(menu, 2, "Korean");
    if (GetACP() != 949) {
        EXPECT_EQ(ItemText(menu, 0, MF_BYPOSITION), "&File");
    }
    SendMessageA(window, WM_COMMAND, IDM_PRIVACY, 0);

    // The Chinese commands: no item to check, and the menu turns Chinese
    // only where the system's code page is the language's own.
    const struct {
        UINT command;
        int language;
        UINT acp;
    } chinese[] = {{kChineseTraditional, 7, 950}, {kChineseSimplified, 8, 936}};
    for (const auto& c : chinese) {
        SendMessageA(window, WM_COMMAND, c.command, 0);
        EXPECT_EQ(GetCurrentLanguage(), c.language);
        ExpectLanguageItems(menu, c.language, "Chinese");
        EXPECT_EQ(ItemText(menu, 1, MF_BYPOSITION), GetACP() == c.acp ? "Language(&Language)" : "&Language")
            << c.language;
    }

    // Automatic (no menu item) leaves every item unchecked.
    SendMessageA(window, WM_COMMAND, IDM_LANG_AUTO, 0);
    ExpectLanguageItems(menu, -1, "automatic");
    SendMessageA(window, WM_COMMAND, IDM_PRIVACY, 0);

    ASSERT_EQ(g_opened.size(), 3u);
    EXPECT_EQ(g_opened[0], "http://" DEPLOY_WEB_PUBLISHER_EU "/fr/legal/privacy-policy.html");
    EXPECT_EQ(g_opened[1], "http://" DEPLOY_WEB_PUBLISHER_KR "/rule/agreement/quenta");
    EXPECT_EQ(g_opened[2], "http://" DEPLOY_WEB_PUBLISHER_US "/en/legal/privacy-policy.html");

    // Selecting games through the selector's owner keeps the choice.
    SelectGame(3);
    EXPECT_EQ(GetSelectedGame(), 3);
    SelectGame(-1);
    EXPECT_EQ(GetSelectedGame(), -1);

    // Exit destroys the window and asks the loop to quit with code 0.
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetMainWindowHandle(), nullptr);
    MSG message;
    bool quit = false;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(message.wParam, 0u);
            break;
        }
        DispatchMessageA(&message);
    }
    EXPECT_TRUE(quit);
    SetUrlOpener(NULL);
}
