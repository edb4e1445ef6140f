// The rules that pick the language of the window texts: which code-page class
// the system's ANSI code page belongs to, which language the system default
// language id means, and which table column a (class, language) pair shows.
// They need no Windows API, so they are tested natively for every pair.
#pragma once

#include <cstdint>

// Code-page classes: 0 other, 1 = 949, 2 = 1252, 3 = 950, 4 = 936, 5 = 932,
// 6 = 1250, 7 = 1251.
int CodePageClassFromCodePage(unsigned codePage);

// Language number (see Language in text_table.h) for a system language id:
// low 10 bits primary language, high 6 bits sublanguage.
int LanguageFromLangId(std::uint16_t langId);

// Table column of a language's own text, or -1 for numbers that name none.
int LanguageColumn(int language);

// The column shown for a language on a system of the given code-page class:
// the language's own column where that code page can show it, else English (0).
int TextColumnFor(int codePageClass, int language);

// Whether the Language menu item of a language is enabled on a system of the
// given code-page class. English is always enabled.
bool LanguageMenuItemEnabled(int codePageClass, int language);

// The text of a row in a column. An id outside the table gives "", so a stray
// id can never read past the table.
const char* TextAt(int id, int column);
