// Window texts in eleven languages, looked up by text id and the current
// language. A language is shown only where the system's ANSI code page can
// display it; everywhere else the English text is used. The report file is
// always English and does not use this catalog.
#pragma once

#include "catalog/text_table.h"

const char* GetText(int id);
// The same text in wide characters, for messages that also show paths named
// outside the ANSI code page; empty when it does not fit capacity characters.
void GetTextWide(int id, wchar_t* out, int capacity);
int GetCodePageClass();
int GetCurrentLanguage();
void SetCurrentLanguage(int language);
