// Checking the seal of one file named by a support engineer, whatever it is:
// a report, a report archive, or something that cannot be opened. The
// verification mode's message box, its list window and its console form all
// take their outcome from here, so the three never disagree.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "report/check_output.h"
#include "report/zip_format.h"
#include "report/zip_reader.h"

struct FileCheck {
    CheckOutcome outcome;
    ZipReadResult archiveResult;        // why an archive could not be checked
    DWORD error;                        // why the file could not be opened
    bool archive;                       // the file starts as a ZIP archive
    char member[kZipMaxNameChars + 1];  // the report's name in an archive, once found; else ""
    std::string reportText;             // a matched report's bytes, when asked for
};

// Opens the file for reading, sharing reading and writing (an editor or a
// mail program that holds it open must not stand in the way). A path of
// MAX_PATH characters or more is opened by its full form behind "\\?\".
HANDLE OpenFileForCheck(const wchar_t* path);

// Checks one file; keepText asks for a matched report's bytes (the findings
// read them).
void CheckFile(const wchar_t* path, bool keepText, FileCheck* check);

// True when the path names a folder.
bool IsFolderPath(const wchar_t* path);

// The files a check of several names covers, in order: a file stays itself,
// a folder gives the archives (.zip) and reports (.txt) directly in it,
// sorted by name. A folder that holds none gives itself, so that it shows as
// a file that cannot be opened rather than vanishing from the list.
void ListCheckFiles(const wchar_t* const* names, size_t count, std::vector<std::wstring>* files);
