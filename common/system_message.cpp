// The system's text for an error code, trimmed for a message box.
#include "common/system_message.h"

#include <stdio.h>

void GetSystemReason(DWORD error, wchar_t* out, DWORD capacity) {
    if (capacity == 0) return;
    DWORD chars = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, out,
                                 capacity, NULL);
    while (chars > 0 && (out[chars - 1] == L'\n' || out[chars - 1] == L'\r' || out[chars - 1] == L' ')) --chars;
    out[chars < capacity ? chars : capacity - 1] = L'\0';
    if (chars == 0) {
        _snwprintf(out, capacity, L"Error %lu", error);
        out[capacity - 1] = L'\0';
    }
}
