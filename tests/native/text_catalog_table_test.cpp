// The generated window-text table: its shape, its English column, the rows
// that must be empty, and the exact bytes of strings in each code page.
#include "ui/text_catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resources/deployment.h"

namespace {

const int kEn = 0, kKo = 1, kFr = 2, kDe = 3, kIt = 4, kEs = 5, kZhTw = 6, kZhCn = 7, kJa = 8, kPl = 9, kRu = 10;

std::string Cell(int id, int column) { return TextCatalog[id].text[column]; }

}  // namespace

TEST(TextCatalogTable, RowsAreNumberedByPositionAndEveryCellIsAString) {
    for (int id = 0; id < kTextCount; ++id) {
        EXPECT_EQ(id, TextCatalog[id].id);
        for (int column = 0; column < kLanguageColumns; ++column)
            ASSERT_NE(nullptr, TextCatalog[id].text[column]) << id << "/" << column;
    }
}

TEST(TextCatalogTable, HiddenHelpLinksAreEmptyInEveryLanguage) {
    for (int id : {90, 91, 92, 94, 95, 96, 103, 104})
        for (int column = 0; column < kLanguageColumns; ++column)
            EXPECT_STREQ("", TextCatalog[id].text[column]) << id << "/" << column;
}

TEST(TextCatalogTable, EnglishColumnHoldsTheProgramsTexts) {
    EXPECT_EQ("Orvane Diagnova", Cell(10, kEn));
    EXPECT_EQ("Test", Cell(12, kEn));
    EXPECT_EQ("You can download the updated version. \n\nDo you want to download it now? \n\n"
              "(If you click on \"OK\", then it will close the application and pop up the web browser to download)",
              Cell(34, kEn));
    EXPECT_EQ("Warning: Unable to connect to update server. \n\nPlease check your Internet connection.", Cell(36, kEn));
    EXPECT_EQ("This test could take up to 20 minutes! Please wait\x85", Cell(47, kEn));
    EXPECT_EQ("Please send the report results to the Runeveil 2 Technical Support team by attaching the file "
              "below to your support ticket.  If you already have a support ticket open, simply reply to the most "
              "recent e-mail from the Support Team and attach the file below.",
              Cell(50, kEn));
    EXPECT_EQ("&German", Cell(73, kEn));
    EXPECT_EQ("Pri&vacy Policy", Cell(84, kEn));
    // Web addresses join the deployment's hosts to fixed paths.
    EXPECT_EQ("https://" DEPLOY_WEB_SOL_SUPPORT, Cell(59, kEn));
    EXPECT_EQ("https://" DEPLOY_WEB_K2_SUPPORT, Cell(60, kEn));
    EXPECT_EQ("https://" DEPLOY_WEB_RV_SUPPORT "/app/ask", Cell(61, kEn));
    EXPECT_EQ("https://" DEPLOY_WEB_RV2_SUPPORT "/hc/en-us/requests/ticket_forms/new", Cell(62, kEn));
    EXPECT_EQ(Cell(62, kEn), Cell(102, kEn));
    EXPECT_EQ("https://" DEPLOY_WEB_RV_SUPPORT "/app/ask/", Cell(98, kEn));
    EXPECT_EQ("http://" DEPLOY_WEB_RV_SITE "/support/gameupdates/", Cell(99, kEn));
    EXPECT_EQ("http://" DEPLOY_WEB_RV_SITE "/support/networknews/", Cell(100, kEn));
    EXPECT_EQ("http://" DEPLOY_WEB_RV2_SUPPORT "/", Cell(101, kEn));
    EXPECT_EQ(0u, Cell(105, kEn).find("https://" DEPLOY_WEB_PUBLISHER_ACCOUNT "/login/loginform?lang="));
}
