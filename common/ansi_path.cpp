// ANSI forms of wide paths; see the header for why.
//
// A conversion counts only when it converts back to the same wide text: the
// system replaces a missing letter by a best-fit look-alike (the Polish l
// with stroke becomes a plain l) or by a question mark, and either names
// another file.
#include "common/ansi_path.h"

#include <shlwapi.h>
#include <string.h>

namespace {

enum FormResult { FormFits, FormTooLong, FormLossy };

FormResult ConvertExactly(const wchar_t* wide, size_t reserveChars, char* out, size_t capacity) {
    char converted[kWidePathChars * 2];
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, converted, sizeof converted, NULL, NULL);
    if (bytes <= 0) return FormLossy;
    wchar_t back[kWidePathChars];
    int chars = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, converted, -1, back, kWidePathChars);
    if (chars <= 0 || wcscmp(back, wide) != 0) return FormLossy;
    const size_t length = (size_t)bytes - 1;
    if (length + reserveChars >= capacity) return FormTooLong;
    memcpy(out, converted, length + 1);
    return FormFits;
}

}  // namespace

bool ToUsableAnsiPath(const wchar_t* widePath, size_t reserveChars, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = '\0';
    if (widePath == NULL || widePath[0] == L'\0' || wcslen(widePath) >= kWidePathChars) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    FormResult longForm = ConvertExactly(widePath, reserveChars, out, capacity);
    if (longForm == FormFits) return true;
    wchar_t shortPath[kWidePathChars];
    DWORD shortChars = GetShortPathNameW(widePath, shortPath, kWidePathChars);
    DWORD error = ERROR_NO_UNICODE_TRANSLATION;
    FormResult shortForm = FormLossy;
    if (shortChars == 0) {
        // A path that does not exist has no short form; that is the reason
        // worth telling.
        error = GetLastError();
    } else if (shortChars < kWidePathChars) {
        shortForm = ConvertExactly(shortPath, reserveChars, out, capacity);
        if (shortForm == FormFits) return true;
    }
    out[0] = '\0';
    if (longForm == FormTooLong || shortForm == FormTooLong) error = ERROR_FILENAME_EXCED_RANGE;
    SetLastError(error);
    return false;
}

bool GetWideTempFolder(wchar_t (&folder)[kWidePathChars]) {
    const DWORD length = GetTempPathW(kWidePathChars, folder);
    if (length > 0 && length < kWidePathChars) return true;
    if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    folder[0] = L'\0';
    return false;
}

bool GetWideProgramFolder(wchar_t (&folder)[kWidePathChars]) {
    // A name that fills the buffer was cut (XP sets no error for it).
    const DWORD length = GetModuleFileNameW(NULL, folder, kWidePathChars);
    if (length > 0 && length < kWidePathChars && PathRemoveFileSpecW(folder)) return true;
    if (length >= kWidePathChars) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    folder[0] = L'\0';
    return false;
}
