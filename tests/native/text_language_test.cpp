// Language selection rules: code page to class, system language id to
// language, and which column each (class, language) pair shows.
#include "catalog/text_language.h"

#include <gtest/gtest.h>

#include <string>

#include "catalog/text_catalog.h"

namespace {

std::uint16_t LangId(int primary, int sublanguage) {
    return static_cast<std::uint16_t>((sublanguage << 10) | primary);
}

// The one language (or, for 1252, the four) each class may show.
bool ShownInOwnColumn(int cls, int language) {
    switch (cls) {
    case 1: return language == LanguageKorean;
    case 2:
        return language == LanguageFrench || language == LanguageGerman || language == LanguageItalian ||
               language == LanguageSpanish;
    case 3: return language == LanguageChineseTraditional;
    case 4: return language == LanguageChineseSimplified;
    case 5: return language == LanguageJapanese;
    case 6: return language == LanguagePolish;
    case 7: return language == LanguageRussian;
    default: return false;
    }
}

}  // namespace

TEST(TextLanguage, CodePagesMapToTheirClassesAndEverythingElseToZero) {
    EXPECT_EQ(1, CodePageClassFromCodePage(949));
    EXPECT_EQ(2, CodePageClassFromCodePage(1252));
    EXPECT_EQ(3, CodePageClassFromCodePage(950));
    EXPECT_EQ(4, CodePageClassFromCodePage(936));
    EXPECT_EQ(5, CodePageClassFromCodePage(932));
    EXPECT_EQ(6, CodePageClassFromCodePage(1250));
    EXPECT_EQ(7, CodePageClassFromCodePage(1251));
    for (unsigned cp : {0u, 437u, 850u, 874u, 1200u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 65001u, 20127u})
        EXPECT_EQ(0, CodePageClassFromCodePage(cp)) << cp;
}

TEST(TextLanguage, SystemLanguageIdsMapByPrimaryLanguageWithChineseBySublanguage) {
    // Every sublanguage of the mapped primary languages gives the same answer.
    const struct { int primary; int language; } mapped[] = {
        {0x07, LanguageGerman}, {0x0A, LanguageSpanish}, {0x0C, LanguageFrench},  {0x10, LanguageItalian},
        {0x11, LanguageJapanese}, {0x12, LanguageKorean}, {0x15, LanguagePolish}, {0x19, LanguageRussian},
    };
    for (const auto& m : mapped)
        for (int sub = 0; sub < 64; ++sub) EXPECT_EQ(m.language, LanguageFromLangId(LangId(m.primary, sub)));

    EXPECT_EQ(LanguageChineseSimplified, LanguageFromLangId(0x0804));   // PRC
    EXPECT_EQ(LanguageChineseTraditional, LanguageFromLangId(0x0404));  // Taiwan
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x0C04));             // Hong Kong
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x1004));             // Singapore
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x1404));             // Macao
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x0004));

    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x0409));  // English (US)
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x0816));  // Portuguese
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x0413));  // Dutch
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0x0000));
    EXPECT_EQ(LanguageEnglish, LanguageFromLangId(0xFFFF));
    // Only the low ten bits name the language: 0x0407 with a high sublanguage
    // is still German, 0x0411 is Japanese, 0x0419 Russian.
    EXPECT_EQ(LanguageGerman, LanguageFromLangId(0xFC07));
    EXPECT_EQ(LanguageJapanese, LanguageFromLangId(0x0411));
    EXPECT_EQ(LanguageRussian, LanguageFromLangId(0x0419));
}

TEST(TextLanguage, EveryClassAndLanguagePairPicksOwnColumnOnlyWhereTheCodePageFits) {
    for (int cls = -1; cls <= 8; ++cls) {
        for (int language = -1; language <= 13; ++language) {
            const int column = TextColumnFor(cls, language);
            if (ShownInOwnColumn(cls, language))
                EXPECT_EQ(language - 1, column) << "class " << cls << " language " << language;
            else
                EXPECT_EQ(0, column) << "class " << cls << " language " << language;

            const bool enabled = LanguageMenuItemEnabled(cls, language);
            EXPECT_EQ(language == LanguageEnglish || ShownInOwnColumn(cls, language), enabled)
                << "class " << cls << " language " << language;
        }
    }
}

TEST(TextLanguage, LookupStaysInsideTheTable) {
    EXPECT_STREQ("", TextAt(-1, 0));
    EXPECT_STREQ("", TextAt(kTextCount, 0));
    EXPECT_STREQ("", TextAt(0, -1));
    EXPECT_STREQ("", TextAt(0, kLanguageColumns));
    EXPECT_STREQ("Select a game to test:", TextAt(0, 0));
    EXPECT_STREQ("http://www.brightspire.example/serverstatus/", TextAt(111, 0));
    EXPECT_EQ(-1, LanguageColumn(LanguageAuto));
    EXPECT_EQ(-1, LanguageColumn(12));
    EXPECT_EQ(10, LanguageColumn(LanguageRussian));
}
