// Prints what the window-text lookup decides on the running system, for the
// locale tests: the ANSI code page, its class, the current language, the
// column GetText shows, and a few texts as hexadecimal bytes.
//
// usage: text_catalog_probe OUTPUT_FILE [LANGUAGE]
// The result goes to a file, not to standard output: Wine's helper processes
// would inherit a pipe and keep it open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "catalog/text_catalog.h"
#include "catalog/text_language.h"

namespace {

void PrintHex(FILE* out, const char* name, const char* text) {
    fprintf(out, "%s=", name);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) fprintf(out, "%02X", *p);
    fprintf(out, "\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (argc > 2) SetCurrentLanguage(atoi(argv[2]));
    FILE* out = fopen(argv[1], "w");
    if (!out) return 1;
    const int language = GetCurrentLanguage();
    fprintf(out, "acp=%u\n", GetACP());
    fprintf(out, "langid=%04X\n", GetSystemDefaultLangID());
    fprintf(out, "class=%d\n", GetCodePageClass());
    fprintf(out, "language=%d\n", language);
    fprintf(out, "column=%d\n", TextColumnFor(GetCodePageClass(), language));
    for (int menuLanguage = LanguageEnglish; menuLanguage <= LanguageRussian; ++menuLanguage)
        fprintf(out, "enabled%d=%d\n", menuLanguage, LanguageMenuItemEnabled(GetCodePageClass(), menuLanguage) ? 1 : 0);
    PrintHex(out, "text1", GetText(1));
    PrintHex(out, "text11", GetText(11));
    PrintHex(out, "text47", GetText(47));
    PrintHex(out, "text69", GetText(69));
    fclose(out);
    return 0;
}
