// The window-text lookup under Wine: the current language, its resolution
// from the system default, and the column that GetText shows on this system.
// The test prefixes run with the ANSI code page 1252 (scripts/test sets the C
// locale); other locales are covered by the e2e locale test.
#include "catalog/text_catalog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "catalog/text_language.h"

TEST(TextCatalog, StoredZeroFollowsTheSystemDefaultLanguage) {
    SetCurrentLanguage(LanguageAuto);
    EXPECT_EQ(LanguageFromLangId(GetSystemDefaultLangID()), GetCurrentLanguage());
    SetCurrentLanguage(LanguagePolish);
    EXPECT_EQ(LanguagePolish, GetCurrentLanguage());
    SetCurrentLanguage(LanguageAuto);
    EXPECT_EQ(LanguageFromLangId(GetSystemDefaultLangID()), GetCurrentLanguage());
}

TEST(TextCatalog, WesternSystemShowsWesternLanguagesAndEnglishForTheRestOnEveryPrefix) {
    ASSERT_EQ(1252u, GetACP()) << "run with LANG=C.UTF-8";
    EXPECT_EQ(2, GetCodePageClass());

    SetCurrentLanguage(LanguageItalian);
    EXPECT_STREQ("Seleziona un gioco:", GetText(11));
    SetCurrentLanguage(LanguageSpanish);
    EXPECT_STREQ("Comprobar", GetText(12));
    SetCurrentLanguage(LanguageFrench);
    EXPECT_STREQ("Fermer", GetText(56));
    EXPECT_STREQ("Fran\xE7" "ais(&French)", GetText(72));
    SetCurrentLanguage(LanguageGerman);
    EXPECT_STREQ("Sprache(&Language)", GetText(69));

    // Languages whose code page is not active fall back to English.
    for (int language : {LanguageKorean, LanguageChineseTraditional, LanguageChineseSimplified, LanguageJapanese,
                         LanguagePolish, LanguageRussian, LanguageEnglish}) {
        SetCurrentLanguage(language);
        EXPECT_STREQ("Select a game:", GetText(11)) << language;
        EXPECT_STREQ("&German", GetText(73)) << language;
    }
    SetCurrentLanguage(LanguageAuto);
}

TEST(TextCatalog, StrayIdsGiveAnEmptyText) {
    SetCurrentLanguage(LanguageEnglish);
    EXPECT_STREQ("", GetText(-1));
    EXPECT_STREQ("", GetText(kTextCount));
    EXPECT_STREQ("", GetText(100000));
    EXPECT_STREQ("Orvane Diagnova", GetText(10));
}
