// Window texts in the current language. The table itself is generated at
// build time from catalog/text_catalog_source.txt; the rules live in
// text_language.cpp. This file adds the system's answers: the ANSI code page
// and the system default language.
#include "catalog/text_catalog.h"

#include <windows.h>

#include "catalog/text_language.h"

namespace {

// Written only by the user-interface thread; the test worker reads it for its
// status texts. An aligned LONG is read and written whole.
volatile LONG g_currentLanguage = LanguageAuto;

}  // namespace

int GetCodePageClass() {
    return CodePageClassFromCodePage(GetACP());
}

int GetCurrentLanguage() {
    const int stored = g_currentLanguage;
    if (stored != LanguageAuto) return stored;
    return LanguageFromLangId(GetSystemDefaultLangID());
}

void SetCurrentLanguage(int language) {
    InterlockedExchange(&g_currentLanguage, language);
}

const char* GetText(int id) {
    return TextAt(id, TextColumnFor(GetCodePageClass(), GetCurrentLanguage()));
}

void GetTextWide(int id, wchar_t* out, int capacity) {
    if (capacity <= 0) return;
    if (MultiByteToWideChar(CP_ACP, 0, GetText(id), -1, out, capacity) == 0) out[0] = L'\0';
}
