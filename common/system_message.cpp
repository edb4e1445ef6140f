// The system's text for an error code, trimmed for a message box.
#include "common/system_message.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "common/owned_handle.h"

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

void ShowParagraphs(HWND owner, const wchar_t* caption, UINT style, const wchar_t* const parts[], size_t count) {
    size_t chars = 1;
    for (size_t i = 0; i < count; ++i) chars += wcslen(parts[i]) + 2;
    OwnedHeapBlock block(HeapAlloc(GetProcessHeap(), 0, chars * sizeof(wchar_t)));
    if (!block.Valid()) return;
    wchar_t* text = static_cast<wchar_t*>(block.Get());
    wchar_t* end = text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) *end++ = L'\n', *end++ = L'\n';
        const size_t length = wcslen(parts[i]);
        memcpy(end, parts[i], length * sizeof(wchar_t));
        end += length;
    }
    *end = L'\0';
    MessageBoxW(owner, text, caption, style);
}
