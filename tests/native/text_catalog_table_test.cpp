// The generated window-text table: its shape, its English column, the rows
// that must be empty, and the exact bytes of strings in each code page.
#include "catalog/text_catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

TEST(TextCatalogTable, LanguageMenuNamesEachLanguageInTheColumnsOwnLanguage) {
    EXPECT_EQ("Deutsch(&German)", Cell(73, kDe));
    EXPECT_EQ("Fran\xE7" "ais(&French)", Cell(72, kFr));
    EXPECT_EQ("Sprache(&Language)", Cell(69, kDe));
    EXPECT_EQ("Allemand(&German)", Cell(73, kFr));
    EXPECT_EQ("Espa\xF1ol(&Spanish)", Cell(75, kEs));
    EXPECT_EQ("Italiano(&Italian)", Cell(74, kIt));
    EXPECT_EQ("J\xEAzyk(&Language)", Cell(69, kPl));                       // "Język" in 1250
    EXPECT_EQ("\xDF\xE7\xFB\xEA(&Language)", Cell(69, kRu));               // "Язык" in 1251
    EXPECT_EQ("\xD0\xF3\xF1\xF1\xEA\xE8\xE9(&Russian)", Cell(80, kRu));     // "Русский"
    EXPECT_EQ("\x93\xFA\x96{\x8C\xEA(&Japanese)", Cell(78, kJa));          // "日本語" in 932
    EXPECT_EQ("\xC7\xD1\xB1\xB9\xBE\xEE(&Korean)", Cell(71, kKo));         // "한국어" in 949
    // Every menu row of every non-English column ends in "(&" + English name + ")".
    for (int id = 69; id <= 80; ++id) {
        std::string english = Cell(id, kEn);
        ASSERT_EQ('&', english[0]);
        const std::string suffix = "(" + english + ")";
        for (int column = 1; column < kLanguageColumns; ++column) {
            const std::string text = Cell(id, column);
            ASSERT_GT(text.size(), suffix.size()) << id << "/" << column;
            EXPECT_EQ(suffix, text.substr(text.size() - suffix.size())) << id << "/" << column;
        }
    }
}

TEST(TextCatalogTable, ChineseColumnsHaveOwnTextOnlyInTheirRows) {
    for (int id = 0; id < kTextCount; ++id) {
        const bool own = id == 47 || (id >= 69 && id <= 80) || id == 88;
        for (int column : {kZhTw, kZhCn}) {
            if (own)
                EXPECT_NE(TextCatalog[id].text[kEn], TextCatalog[id].text[column]) << id << "/" << column;
            else
                EXPECT_EQ(TextCatalog[id].text[kEn], TextCatalog[id].text[column]) << id << "/" << column;
        }
    }
    // The menu rows: the English name, then the English name with its mnemonic.
    EXPECT_EQ("Language(&Language)", Cell(69, kZhTw));
    EXPECT_EQ("Chinese Simplified(&Chinese Simplified)", Cell(76, kZhCn));
    EXPECT_EQ("Chinese Traditional(&Chinese Traditional)", Cell(77, kZhTw));
    EXPECT_EQ("http://" DEPLOY_WEB_PUBLISHER_NEWS "/zh-tw/news/", Cell(88, kZhTw));
    EXPECT_EQ("http://" DEPLOY_WEB_PUBLISHER_NEWS "/zh-cn/news/", Cell(88, kZhCn));
}

TEST(TextCatalogTable, ProgressHeadingEndsInEachLanguagesEllipsis) {
    // The ellipsis is one character: 0x85 in the single-byte code pages, a
    // double-byte character in the East Asian ones.
    const struct { int column; const char* ending; } endings[] = {
        {kEn, "wait\x85"}, {kFr, "patienter\x85"}, {kDe, "warten\x85"}, {kIt, "Attendere\x85"},
        {kEs, "Espera\x85"}, {kPl, "czeka\xE6\x85"}, {kRu, "\x85"}, {kKo, "\xA1\xA6"},
        {kZhTw, "\xA1\x4B"}, {kZhCn, "\xA1\xAD"}, {kJa, "\x81\x63"},
    };
    for (const auto& e : endings) {
        const std::string text = Cell(47, e.column);
        const std::string ending = e.ending;
        ASSERT_GT(text.size(), ending.size()) << e.column;
        EXPECT_EQ(ending, text.substr(text.size() - ending.size())) << e.column;
        EXPECT_EQ(std::string::npos, text.find("...")) << e.column;
    }
    EXPECT_EQ("\xCF\xF0\xEE\xE2\xE5\xF0\xEA\xE0", Cell(47, kRu).substr(0, 8));  // "Проверка"
}

TEST(TextCatalogTable, TellingRowsOfTheOtherColumns) {
    EXPECT_EQ("", Cell(50, kKo));
    EXPECT_FALSE(Cell(50, kJa).empty());
    EXPECT_EQ("Comprobar", Cell(12, kEs));
    for (int column : {kFr, kDe, kIt, kPl}) EXPECT_EQ("Test", Cell(12, column)) << column;
    EXPECT_EQ("Voir le fichier de rapport", Cell(54, kFr));
    EXPECT_EQ("Ouvrir le dossier contenant le fichier de rapport", Cell(55, kFr));
    EXPECT_EQ("Fermer", Cell(56, kFr));
    EXPECT_EQ("Seleziona un gioco:", Cell(11, kIt));
    // Japanese shows its own names for three games; Solmere keeps its name.
    EXPECT_EQ("\x83\x8B\x81[\x83\x93\x83\x94\x83\x46\x83\x43\x83\x8B", Cell(1, kJa));  // "ルーンヴェイル"
    EXPECT_EQ(Cell(1, kJa) + " 2", Cell(2, kJa));
    EXPECT_NE(Cell(4, kEn), Cell(4, kJa));
    EXPECT_EQ("Solmere", Cell(8, kJa));
    // Korean "게임을 선택하세요:" in 949.
    EXPECT_EQ("\xB0\xD4\xC0\xD3\xC0\xBB \xBC\xB1\xC5\xC3\xC7\xCF\xBC\xBC\xBF\xE4:", Cell(11, kKo));
    // Russian "Выберите игру:" in 1251.
    EXPECT_EQ("\xC2\xFB\xE1\xE5\xF0\xE8\xF2\xE5 \xE8\xE3\xF0\xF3:", Cell(11, kRu));
    // Polish "Wybierz grę:" in 1250.
    EXPECT_EQ("Wybierz gr\xEA:", Cell(11, kPl));
    // German "Schließen" in 1252.
    EXPECT_EQ("Schlie\xDF" "en", Cell(56, kDe));
}

TEST(TextCatalogTable, WebAddressesFollowTheLanguage) {
    struct Western { int column; const char* lang; const char* rv; const char* site; const char* rv2; };
    const Western western[] = {
        {kFr, "fr", DEPLOY_WEB_RV_SUPPORT_FR, DEPLOY_WEB_RV_SITE_FR, DEPLOY_WEB_RV2_SUPPORT_FR},
        {kDe, "de", DEPLOY_WEB_RV_SUPPORT_DE, DEPLOY_WEB_RV_SITE_DE, DEPLOY_WEB_RV2_SUPPORT_DE},
        {kIt, "it", DEPLOY_WEB_RV_SUPPORT_IT, DEPLOY_WEB_RV_SITE_IT, nullptr},
        {kEs, "es", DEPLOY_WEB_RV_SUPPORT_ES, DEPLOY_WEB_RV_SITE_ES, DEPLOY_WEB_RV2_SUPPORT_ES},
    };
    for (const Western& w : western) {
        const std::string rv = w.rv, site = w.site;
        EXPECT_EQ("https://" + rv + "/app/ask", Cell(61, w.column));
        EXPECT_EQ("https://" + rv + "/", Cell(97, w.column));
        EXPECT_EQ("https://" + rv + "/app/ask/", Cell(98, w.column));
        EXPECT_EQ("http://" + site + "/support/category/listing/game_updates/", Cell(99, w.column));
        EXPECT_EQ("http://" + site + "/support/category/listing/network_updates/", Cell(100, w.column));
        if (w.rv2) {
            const std::string form =
                "https://" DEPLOY_WEB_RV2_SUPPORT "/hc/" + std::string(w.lang) + "/requests/ticket_forms/new";
            EXPECT_EQ(form, Cell(62, w.column));
            EXPECT_EQ(form, Cell(102, w.column));
            EXPECT_EQ("http://" + std::string(w.rv2) + "/", Cell(101, w.column));
        } else {
            // Italian keeps the English ticket form and support site.
            EXPECT_EQ(Cell(62, kEn), Cell(62, w.column));
            EXPECT_EQ(Cell(102, kEn), Cell(102, w.column));
            EXPECT_EQ(Cell(101, kEn), Cell(101, w.column));
        }
    }
    for (int column : {kKo, kZhTw, kZhCn, kJa, kPl, kRu})
        for (int id : {39, 58, 59, 60, 61, 62, 89, 93, 97, 98, 99, 100, 101, 102, 106, 107})
            EXPECT_EQ(Cell(id, kEn), Cell(id, column)) << id << "/" << column;
}

TEST(TextCatalogTable, EveryShownTextIsTranslatedInTheMenuLanguages) {
    // Rows that are words rather than names or addresses; Korean id 50 is
    // deliberately empty but still its own string.
    std::vector<int> words = {0};
    for (int id = 11; id <= 38; ++id) words.push_back(id);
    for (int id = 40; id <= 57; ++id) words.push_back(id);
    for (int id = 63; id <= 86; ++id) words.push_back(id);
    for (int id : words)
        for (int column : {kKo, kFr, kDe, kIt, kEs, kJa, kPl, kRu})
            EXPECT_NE(TextCatalog[id].text[kEn], TextCatalog[id].text[column]) << id << "/" << column;
    // Proper names stay as they are in the Western, Polish and Russian columns.
    for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 87})
        for (int column : {kFr, kDe, kIt, kEs, kPl, kRu}) EXPECT_EQ(Cell(id, kEn), Cell(id, column)) << id;
}
