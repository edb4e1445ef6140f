// Window texts in eleven languages, looked up by text id and the current
// language. A language is shown only where the system's ANSI code page can
// display it; everywhere else the English text is used. The report file is
// always English and does not use this catalog.
#pragma once

const int kTextCount = 116;
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

const char* GetText(int id);
// The same text in wide characters, for messages that also show paths named
// outside the ANSI code page; empty when it does not fit capacity characters.
void GetTextWide(int id, wchar_t* out, int capacity);
int GetCodePageClass();
int GetCurrentLanguage();
void SetCurrentLanguage(int language);
