// Language selection rules of the text catalog, free of Windows calls.
#include "catalog/text_language.h"

#include "catalog/text_table.h"

namespace {

struct CodePageLanguage {
    unsigned codePage;
    int language;  // the one language number shown in this code page, 0 = several
};

// Index is the code-page class.
const CodePageLanguage kClasses[] = {
    {0, -1},
    {949, LanguageKorean},
    {1252, 0},  // French, German, Italian and Spanish
    {950, LanguageChineseTraditional},
    {936, LanguageChineseSimplified},
    {932, LanguageJapanese},
    {1250, LanguagePolish},
    {1251, LanguageRussian},
};
const int kClassCount = sizeof(kClasses) / sizeof(kClasses[0]);

bool IsWesternLanguage(int language) {
    return language == LanguageFrench || language == LanguageGerman || language == LanguageItalian ||
           language == LanguageSpanish;
}

}  // namespace

int CodePageClassFromCodePage(unsigned codePage) {
    for (int cls = 1; cls < kClassCount; ++cls) {
        if (kClasses[cls].codePage == codePage) return cls;
    }
    return 0;
}

int LanguageFromLangId(std::uint16_t langId) {
    const int primary = langId & 0x3FF;
    const int sublanguage = langId >> 10;
    switch (primary) {
    case 0x04:  // Chinese
        if (sublanguage == 2) return LanguageChineseSimplified;
        if (sublanguage == 1) return LanguageChineseTraditional;
        return LanguageEnglish;
    case 0x07: return LanguageGerman;
    case 0x0A: return LanguageSpanish;
    case 0x0C: return LanguageFrench;
    case 0x10: return LanguageItalian;
    case 0x11: return LanguageJapanese;
    case 0x12: return LanguageKorean;
    case 0x15: return LanguagePolish;
    case 0x19: return LanguageRussian;
    default: return LanguageEnglish;
    }
}

int LanguageColumn(int language) {
    if (language < LanguageEnglish || language > LanguageRussian) return -1;
    return language - 1;
}

bool LanguageMenuItemEnabled(int codePageClass, int language) {
    if (language == LanguageEnglish) return true;
    if (codePageClass <= 0 || codePageClass >= kClassCount) return false;
    if (kClasses[codePageClass].language == 0) return IsWesternLanguage(language);
    return kClasses[codePageClass].language == language;
}

int TextColumnFor(int codePageClass, int language) {
    if (language == LanguageEnglish || !LanguageMenuItemEnabled(codePageClass, language)) return 0;
    return LanguageColumn(language);
}

const char* TextAt(int id, int column) {
    if (id < 0 || id >= kTextCount || column < 0 || column >= kLanguageColumns) return "";
    return TextCatalog[id].text[column];
}
