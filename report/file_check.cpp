// See file_check.h.
#include "report/file_check.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>

#include "catalog/game_catalog.h"
#include "common/owned_handle.h"
#include "report/report_seal.h"

namespace {

const DWORD kLongPathChars = 32768;

// The "\\?\" form of a long path ("\\server\share\..." becomes
// "\\?\UNC\server\share\..."), with which the wide functions take paths of
// up to 32 767 characters; false when it does not fit.
bool PrefixLongPath(const wchar_t* path, std::wstring* prefixed) {
    std::vector<wchar_t> full(kLongPathChars);
    const DWORD length = GetFullPathNameW(path, kLongPathChars, full.data(), NULL);
    if (length == 0 || length >= kLongPathChars) return false;
    const bool unc = full[0] == L'\\' && full[1] == L'\\';
    *prefixed = unc ? std::wstring(L"\\\\?\\UNC") + (full.data() + 1) : std::wstring(L"\\\\?\\") + full.data();
    if (prefixed->size() >= kLongPathChars) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

// The path as the wide functions take it: itself when short or already
// prefixed, else its "\\?\" form.
bool UsablePath(const wchar_t* path, std::wstring* usable) {
    if (wcslen(path) < MAX_PATH || wcsncmp(path, L"\\\\?\\", 4) == 0) {
        *usable = path;
        return true;
    }
    return PrefixLongPath(path, usable);
}

void CheckArchive(HANDLE file, bool keepText, FileCheck* check) {
    char names[kGameCount][260];
    const char* nameList[kGameCount];
    size_t nameCount = 0;
    for (int game = 0; game < kGameCount; ++game) {
        if (GetReportMemberName(game, names[nameCount])) nameList[nameCount] = names[nameCount], ++nameCount;
    }
    ZipMemberInfo member;
    member.name[0] = '\0';
    bool matched = false;
    check->archiveResult =
        CheckReportArchive(file, nameList, nameCount, &member, &matched, keepText ? &check->reportText : NULL);
    if (check->archiveResult != ZipReadOk) {
        check->outcome = CheckArchiveDamaged;
        check->reportText.clear();
        return;
    }
    memcpy(check->member, member.name, sizeof check->member);
    check->outcome = matched ? CheckMatched : CheckMismatched;
    // Nothing of a report that does not match is handed on.
    if (!matched) check->reportText.clear();
}

bool HasCheckedExtension(const wchar_t* name) {
    const wchar_t* dot = wcsrchr(name, L'.');
    return dot != NULL && (lstrcmpiW(dot, L".zip") == 0 || lstrcmpiW(dot, L".txt") == 0);
}

// The checked files directly in the folder, sorted; false when it holds none
// or cannot be listed.
bool ListFolder(const wchar_t* folder, std::vector<std::wstring>* files) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    std::wstring pattern;
    if (!UsablePath((base + L"*").c_str(), &pattern)) return false;
    WIN32_FIND_DATAW found;
    OwnedFind find(FindFirstFileW(pattern.c_str(), &found));
    if (!find.Valid()) return false;
    std::vector<std::wstring> names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && HasCheckedExtension(found.cFileName))
            names.push_back(found.cFileName);
    } while (FindNextFileW(find.Get(), &found));
    if (names.empty()) return false;
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
    for (const std::wstring& name : names) files->push_back(base + name);
    return true;
}

}  // namespace

HANDLE OpenFileForCheck(const wchar_t* path) {
    std::wstring usable;
    if (!UsablePath(path, &usable)) return INVALID_HANDLE_VALUE;
    return CreateFileW(usable.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

void CheckFile(const wchar_t* path, bool keepText, FileCheck* check) {
    check->outcome = CheckCannotOpen;
    check->archiveResult = ZipReadOk;
    check->error = ERROR_SUCCESS;
    check->archive = false;
    check->member[0] = '\0';
    check->reportText.clear();
    OwnedFile file(OpenFileForCheck(path));
    if (!file.Valid()) {
        check->error = GetLastError();
        // A folder stands here only when it holds no archive or report: say
        // that nothing was found rather than that access was denied.
        if (IsFolderPath(path)) check->error = ERROR_FILE_NOT_FOUND;
        return;
    }
    if (FileStartsAsArchive(file.Get())) {
        check->archive = true;
        CheckArchive(file.Get(), keepText, check);
        return;
    }
    const bool matched = VerifyOpenReport(file.Get(), keepText ? &check->reportText : NULL);
    check->outcome = matched ? CheckMatched : CheckMismatched;
}

bool IsFolderPath(const wchar_t* path) {
    std::wstring usable;
    if (!UsablePath(path, &usable)) return false;
    const DWORD attributes = GetFileAttributesW(usable.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ListCheckFiles(const wchar_t* const* names, size_t count, std::vector<std::wstring>* files) {
    for (size_t i = 0; i < count; ++i) {
        if (IsFolderPath(names[i]) && ListFolder(names[i], files)) continue;
        files->push_back(names[i]);
    }
}
