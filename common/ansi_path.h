// ANSI paths that name the folders the system gives in wide characters.
//
// The program works in the system's ANSI code page, but a user's profile,
// temporary folder or the folder the program was started from may hold
// letters that code page lacks: a Polish name on a Western European Windows,
// a Chinese one on an English Windows, an emoji. The ANSI functions
// (GetTempPathA, GetModuleFileNameA, SHGetFolderPathA) then return look-alike
// letters or question marks, a path that names no existing folder. The helper
// here starts from the wide path and gives an ANSI path that names the same
// file: the long form when it converts without loss, otherwise the short 8.3
// form, whose names are plain ASCII wherever the volume makes short names.
#pragma once

#include <windows.h>

#include <stddef.h>

// Longest wide path the callers take from the system.
const DWORD kWidePathChars = 1024;

// Writes an ANSI form of the wide path into out: the first of the long and
// the short form that converts exactly and leaves room for reserveChars
// further characters and the terminator within capacity. The short form
// exists only for a path that exists. On failure out is empty and the last
// error says why: ERROR_FILENAME_EXCED_RANGE when a form converts but is too
// long, else the reason the short form is missing (the path does not exist),
// else ERROR_NO_UNICODE_TRANSLATION.
bool ToUsableAnsiPath(const wchar_t* widePath, size_t reserveChars, char* out, size_t capacity);

// The temporary folder (ending in a backslash) and the folder that holds the
// program, as the system names them in wide characters. False when the
// system gives none (its last error) or one too long for kWidePathChars
// (ERROR_FILENAME_EXCED_RANGE); folder is empty then.
bool GetWideTempFolder(wchar_t (&folder)[kWidePathChars]);
bool GetWideProgramFolder(wchar_t (&folder)[kWidePathChars]);
