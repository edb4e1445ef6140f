// The main window's tables and small rules: help rows, pictures, language
// commands, privacy pages, the list grid, the enlarged font and the result
// dialog per game.
#include <gtest/gtest.h>

#include <string>

#include "resources/deployment.h"
#include "ui/main_window_rules.h"

TEST(MainWindowRules, HelpRowsFollowTheGameOrder) {
    // Address ids per game; the third row's link text differs between the
    // Runeveil games (27) and the others (26), the fourth between 29 and 31.
    const int expected[4][4][3] = {
        {{97, 16, 23}, {98, 24, 25}, {99, 27, 28}, {100, 29, 30}},
        {{101, 16, 23}, {102, 24, 25}, {103, 27, 28}, {104, 29, 30}},
        {{93, 16, 23}, {94, 24, 25}, {95, 26, 28}, {96, 31, 32}},
        {{89, 16, 23}, {90, 24, 25}, {91, 26, 28}, {92, 31, 32}},
    };
    for (int game = 0; game < 4; game++) {
        const HelpRow* rows = GetHelpRows(game);
        ASSERT_NE(rows, nullptr);
        for (int row = 0; row < 4; row++) {
            EXPECT_EQ(rows[row].addressTextId, expected[game][row][0]) << game << "/" << row;
            EXPECT_EQ(rows[row].linkTextId, expected[game][row][1]) << game << "/" << row;
            EXPECT_EQ(rows[row].descriptionTextId, expected[game][row][2]) << game << "/" << row;
        }
    }
    EXPECT_EQ(GetHelpRows(-1), nullptr);
    EXPECT_EQ(GetHelpRows(4), nullptr);
}

TEST(MainWindowRules, PicturesAndListBitmapsPerGame) {
    const unsigned short left[4] = {168, 222, 170, 189};
    const unsigned short top[4] = {175, 223, 177, 190};
    const unsigned short bitmaps[4] = {133, 211, 140, 188};
    for (int game = 0; game < 4; game++) {
        unsigned short l = 0, t = 0;
        ASSERT_TRUE(GetGamePictures(game, &l, &t));
        EXPECT_EQ(l, left[game]);
        EXPECT_EQ(t, top[game]);
        EXPECT_EQ(GetGameListBitmap(game), bitmaps[game]);
    }
    unsigned short l = 7, t = 7;
    EXPECT_FALSE(GetGamePictures(-1, &l, &t));
    EXPECT_FALSE(GetGamePictures(4, &l, &t));
    EXPECT_EQ(l, 7);  // untouched on failure
    EXPECT_EQ(GetGameListBitmap(-1), 0);
}

TEST(MainWindowRules, LanguageCommandsMapBothWays) {
    const int pairs[][2] = {{32775, 1}, {32776, 2}, {32777, 3}, {32778, 4}, {32779, 5}, {32780, 6},
                            {32781, 7}, {32782, 9}, {32783, 10}, {32784, 11}, {32788, 0}, {32789, 8}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(LanguageForCommand(pair[0]), pair[1]) << pair[0];
        EXPECT_EQ(CommandForLanguage(pair[1]), pair[0]) << pair[1];
    }
    // Neighbouring commands are no language choice.
    for (int command : {32771, 32785, 32786, 32787, 32796, 0})
        EXPECT_EQ(LanguageForCommand(command), -1) << command;
    EXPECT_EQ(CommandForLanguage(12), 0);
}

TEST(MainWindowRules, PrivacyPageFollowsTheStoredLanguage) {
    const std::string us = "http://" DEPLOY_WEB_PUBLISHER_US "/en/legal/privacy-policy.html";
    EXPECT_STREQ(GetPrivacyPolicyUrl(2), "http://" DEPLOY_WEB_PUBLISHER_KR "/rule/agreement/quenta");
    EXPECT_STREQ(GetPrivacyPolicyUrl(3), "http://" DEPLOY_WEB_PUBLISHER_EU "/fr/legal/privacy-policy.html");
    EXPECT_STREQ(GetPrivacyPolicyUrl(4), "http://" DEPLOY_WEB_PUBLISHER_EU "/de/legal/privacy-policy.html");
    EXPECT_STREQ(GetPrivacyPolicyUrl(6), "http://" DEPLOY_WEB_PUBLISHER_EU "/es/legal/privacy-policy.html");
    // Italian and every other value, automatic included, lead to the US page.
    for (int language : {0, 1, 5, 7, 8, 9, 10, 11, -1, 99}) EXPECT_EQ(std::string(GetPrivacyPolicyUrl(language)), us) << language;
}

TEST(MainWindowRules, LabelFontGrowsInMagnitude) {
    EXPECT_EQ(GrowFontHeight(-11), -13);
    EXPECT_EQ(GrowFontHeight(13), 15);
    EXPECT_EQ(GrowFontHeight(0), 0);
    EXPECT_EQ(GrowFontWidth(0), 0);
    EXPECT_EQ(GrowFontWidth(5), 7);
}

std::string Grid(int width, int count) {
    ListPoint points[8];
    PlaceListItems(width, count, points);
    std::string text;
    for (int i = 0; i < count; i++) text += std::to_string(points[i].x) + "," + std::to_string(points[i].y) + " ";
    return text;
}

TEST(MainWindowRules, ListItemsWrapWhenTheNextTileWouldCrossTheEdge) {
    // The list at 96 DPI with the dialog font is about 485 pixels wide: three
    // tiles fit in the first row.
    EXPECT_EQ(Grid(485, 4), "48,20 192,20 336,20 48,164 ");
    // Exactly fitting is no overflow: 336 + 96 = 432.
    EXPECT_EQ(Grid(432, 4), "48,20 192,20 336,20 48,164 ");
    EXPECT_EQ(Grid(431, 4), "48,20 192,20 48,164 192,164 ");
    EXPECT_EQ(Grid(700, 4), "48,20 192,20 336,20 480,20 ");
    // A list narrower than one tile puts every item on its own row.
    EXPECT_EQ(Grid(100, 3), "48,20 48,164 48,308 ");
}

TEST(MainWindowRules, ResultDialogPerGame) {
    EXPECT_EQ(GetResultSupportTextId(0), 61);
    EXPECT_EQ(GetResultSupportTextId(1), 62);
    EXPECT_EQ(GetResultSupportTextId(2), 60);
    EXPECT_EQ(GetResultSupportTextId(3), 59);
    EXPECT_EQ(GetResultSupportTextId(-1), 0);
    EXPECT_EQ(GetResultTemplateId(1), 172);
    for (int game : {-1, 0, 2, 3}) EXPECT_EQ(GetResultTemplateId(game), 173) << game;
}
