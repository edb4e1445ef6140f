// The system's own words for an error code, for the messages that tell a
// player or a support engineer why something could not be done.
#pragma once

#include <windows.h>

// The system's text for error (in the user's language), without the line end
// FormatMessage puts after it; "Error N" when the system has no text for it.
void GetSystemReason(DWORD error, wchar_t* out, DWORD capacity);

// Shows the parts as paragraphs (a blank line between two) in a message box.
// The text is as long as the parts: a path in it may be long.
void ShowParagraphs(HWND owner, const wchar_t* caption, UINT style, const wchar_t* const parts[], size_t count);
