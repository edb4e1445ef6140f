// Builds the test archive: the sealed report first (without it there is no
// archive), then the launcher's configuration and logs, then for Runeveil 2
// the game's own logs. Anything that cannot be read is left out quietly; the
// ZIP writer keeps the archive valid for the members that made it in.
//
// Every path and member name is built in a 260-character buffer; a file whose
// path or name would not fit is skipped rather than cut or overflowed.
#include "run/report_archive.h"

#include <windows.h>
#include <shlwapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "catalog/game_catalog.h"
#include "collect/run_control.h"
#include "collect/system/game_folders.h"
#include "common/owned_handle.h"

namespace {

const int kRuneveil2Game = 1;
const char kLauncherLogPrefix[] = "OrvaneApplicationLog";

// Formats into a path buffer of MAX_PATH characters; false when the text
// would not fit.
__attribute__((format(printf, 2, 3))) bool FormatPath(char (&out)[MAX_PATH], const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(out, MAX_PATH, format, args);
    va_end(args);
    return length > 0 && length < MAX_PATH;
}

// Joins folder and name the way PathAppend does, after checking that the
// result fits: PathAppend itself only promises a MAX_PATH buffer.
bool JoinPath(char (&out)[MAX_PATH], const char* folder, const char* name) {
    if (strlen(folder) + 1 + strlen(name) >= MAX_PATH) return false;
    lstrcpynA(out, folder, MAX_PATH);
    return PathAppendA(out, name) != FALSE;
}

// Closes and deletes an archive that failed, keeping the error that made it
// fail as the last error, for the message that tells the player why.
void DiscardArchive(const char* archivePath, ZipHandle archive) {
    DWORD error = GetLastError();
    if (archive != NULL) ZipClose(archive);
    DeleteFileA(archivePath);
    SetLastError(error);
}

}  // namespace

bool AddFileToArchive(ZipHandle archive, const char* folderWord, const char* sourcePath) {
    if (archive == NULL || sourcePath == NULL) return false;
    const char* fileName = PathFindFileNameA(sourcePath);
    if (fileName == NULL || fileName[0] == '\0') return false;
    char memberName[MAX_PATH];
    if (!FormatPath(memberName, "%s\\%s", folderWord, fileName)) return false;
    return ZipAddFile(sourcePath, memberName, archive) == ZipOk;
}

int CollectLauncherFiles(ZipHandle archive) {
    if (archive == NULL) return 0;
    const char* installPath = CachedLauncherInstallPath();
    if (installPath == NULL) installPath = GetLauncherInstallPath();
    if (installPath == NULL || installPath[0] == '\0' || strlen(installPath) >= MAX_PATH) return 0;

    char folder[MAX_PATH];
    lstrcpynA(folder, installPath, sizeof folder);
    if (!PathRemoveFileSpecA(folder)) return 0;
    const size_t folderLength = strlen(folder);
    if (folderLength + 1 >= sizeof folder) return 0;
    folder[folderLength] = '\\';
    folder[folderLength + 1] = '\0';
    if (!PathFileExistsA(folder)) return 0;

    int added = 0;
    // The folder already ends in a backslash, so these paths hold two before
    // "Config"; the file system reads them as one.
    static const char* const kConfigFiles[] = {"Games.xml", "GamesAddendum.xml"};
    for (size_t i = 0; i < sizeof kConfigFiles / sizeof kConfigFiles[0]; ++i) {
        char path[MAX_PATH];
        if (FormatPath(path, "%s\\Config\\Default\\%s", folder, kConfigFiles[i]) &&
            AddFileToArchive(archive, "Launcher", path)) {
            ++added;
        }
    }

    char pattern[MAX_PATH];
    if (!FormatPath(pattern, "%s*", folder)) return added;
    WIN32_FIND_DATAA found;
    OwnedFind find(FindFirstFileA(pattern, &found));
    if (!find.Valid()) return added;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (strncmp(found.cFileName, kLauncherLogPrefix, sizeof kLauncherLogPrefix - 1) != 0) continue;
        char path[MAX_PATH];
        if (FormatPath(path, "%s%s", folder, found.cFileName) &&
            AddFileToArchive(archive, "Launcher\\Logs", path)) {
            ++added;
        }
    } while (FindNextFileA(find.Get(), &found));
    return added;
}

int CollectRuneveil2Logs(ZipHandle archive) {
    if (archive == NULL) return 0;
    const char* folder = CachedRuneveil2Folder();
    if (folder == NULL) folder = GetRuneveil2Folder();
    if (folder == NULL || folder[0] == '\0' || !PathFileExistsA(folder)) return 0;

    char pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, "*")) return 0;
    int added = 0;
    WIN32_FIND_DATAA found;
    OwnedFind find(FindFirstFileA(pattern, &found));
    if (!find.Valid()) return 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (lstrcmpiA(PathFindExtensionA(found.cFileName), ".log") != 0) continue;
        char path[MAX_PATH];
        if (JoinPath(path, folder, found.cFileName) && AddFileToArchive(archive, "Skellan\\Logs", path)) ++added;
    } while (FindNextFileA(find.Get(), &found));
    return added;
}

bool BuildReportArchive(const char* archivePath, const char* reportName, const char* reportPath) {
    if (archivePath == NULL || archivePath[0] == '\0' || reportName == NULL || reportName[0] == '\0' ||
        reportPath == NULL || reportPath[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    {
        OwnedFile previous(CreateFileA(archivePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, NULL));
        if (previous.Valid()) {
            previous.Reset();
            DeleteFileA(archivePath);
        }
    }
    ZipHandle archive = ZipCreateFile(archivePath);
    if (archive == NULL) {
        DiscardArchive(archivePath, NULL);
        return false;
    }
    if (ZipAddFile(reportPath, reportName, archive) != ZipOk) {
        DiscardArchive(archivePath, archive);
        return false;
    }
    CollectLauncherFiles(archive);
    if (GetRunGame() == kRuneveil2Game) CollectRuneveil2Logs(archive);
    // Without its central directory (a full disk) the file is no archive at
    // all; it goes, like one whose report could not be added.
    if (ZipClose(archive) != ZipOk) {
        DiscardArchive(archivePath, NULL);
        return false;
    }
    return true;
}
