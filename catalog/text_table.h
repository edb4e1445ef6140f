// The window texts' table, generated at build time from
// catalog/text_catalog_source.txt, and the languages that name its columns.
// Declarations only, with no Windows API, so the neutral language rules and
// the system's look-ups both read it.
#pragma once

const int kTextCount = 130;
const int kLanguageColumns = 11;

enum Language {
    LanguageAuto = 0,
    LanguageEnglish = 1,
    LanguageKorean = 2,
    LanguageFrench = 3,
    LanguageGerman = 4,
    LanguageItalian = 5,
    LanguageSpanish = 6,
    LanguageChineseTraditional = 7,
    LanguageChineseSimplified = 8,
    LanguageJapanese = 9,
    LanguagePolish = 10,
    LanguageRussian = 11,
};

struct TextCatalogRow {
    int id;
    const char* text[kLanguageColumns];  // bytes in each language's own ANSI code page
};

extern const TextCatalogRow TextCatalog[kTextCount];
