// Where a game's files are on this computer: the install locations its
// installer wrote, the launcher's folder, the Runeveil 2 log folder, the
// program's own folder and the test archive beside it.
//
// The caches are plain process-wide buffers without locks: the worker fills
// the launcher and Runeveil 2 caches while the user-interface thread sits in
// the modal progress dialog, and both threads write the same text into the
// program-folder cache.
#include "collect/system/game_folders.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

#include "common/ansi_path.h"
#include "common/registry_value.h"
#include "common/windows_version.h"

namespace {

char g_programFolder[260];
char g_launcherInstallPath[260];
char g_runeveil2Folder[260];
char g_archivePath[260];

// "\\<game> Test.zip" for the game with the longest catalog name.
size_t LongestArchiveNameChars() {
    size_t longest = 0;
    for (int i = 0; i < kGameCount; ++i) {
        const size_t length = strlen(GetGameRecord(i)->name);
        if (length > longest) longest = length;
    }
    return 1 + longest + sizeof " Test.zip" - 1;
}

}  // namespace

bool ReadInstallLocation(const InstallLocation& location, char value[260]) {
    char data[260];
    if (!GetRegistryString(location.root, location.subKey, location.valueName, data, sizeof data))
        return false;
    if (data[0] == '\0') return false;
    lstrcpynA(value, data, 260);
    return true;
}

bool FindRuneveil2Candidates(const std::list<InstallCatalogEntry>& catalog,
                             std::list<std::string>& out) {
    out.clear();
    const char kPrefix[] = "Runeveil 2";
    for (std::list<InstallCatalogEntry>::const_iterator it = catalog.begin(); it != catalog.end(); ++it) {
        if (strncmp(it->gameName, kPrefix, sizeof kPrefix - 1) != 0) continue;
        for (size_t i = 0; i < it->locations.size(); ++i) {
            char value[260];
            if (it->locations[i] && ReadInstallLocation(*it->locations[i], value)) out.push_back(value);
        }
        return !out.empty();
    }
    return false;
}

const char* GetRuneveil2Folder() {
    if (GetWindowsGeneration() > WindowsGeneration::WinXP) {
        // Asked in wide characters: the documents folder lies in the user's
        // profile, whose name may hold letters outside the ANSI code page.
        wchar_t documents[MAX_PATH];
        const size_t kSubfolderChars = sizeof "\\Runeveil 2" - 1;
        if (FAILED(SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, SHGFP_TYPE_CURRENT, documents)) ||
            !ToUsableAnsiPath(documents, kSubfolderChars, g_runeveil2Folder, sizeof g_runeveil2Folder) ||
            !PathAppendA(g_runeveil2Folder, "Runeveil 2")) {
            g_runeveil2Folder[0] = '\0';
            return NULL;
        }
        return g_runeveil2Folder;
    }
    std::list<InstallCatalogEntry> catalog;
    BuildInstallCatalog(catalog);
    std::list<std::string> candidates;
    g_runeveil2Folder[0] = '\0';
    if (FindRuneveil2Candidates(catalog, candidates)) {
        for (std::list<std::string>::const_iterator it = candidates.begin(); it != candidates.end(); ++it) {
            if (!PathFileExistsA(it->c_str())) continue;
            lstrcpynA(g_runeveil2Folder, it->c_str(), sizeof g_runeveil2Folder);
            // The registry value names the game's executable; its folder holds the logs.
            PathRemoveFileSpecA(g_runeveil2Folder);
            break;
        }
    }
    return g_runeveil2Folder[0] ? g_runeveil2Folder : NULL;
}

const char* CachedRuneveil2Folder() { return g_runeveil2Folder[0] ? g_runeveil2Folder : NULL; }

const char* GetLauncherInstallPath() {
    if (!GetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Orvane\\Launcher", "InstallPath",
                           g_launcherInstallPath, sizeof g_launcherInstallPath)) {
        g_launcherInstallPath[0] = '\0';
        return NULL;
    }
    return g_launcherInstallPath;
}

const char* CachedLauncherInstallPath() {
    return g_launcherInstallPath[0] ? g_launcherInstallPath : NULL;
}

const char* GetProgramFolder() {
    if (g_programFolder[0] == '\0') {
        // The wide name, because the folder a player starts the program from
        // (Downloads, in a profile named in any script) may hold letters
        // outside the ANSI code page, and the ANSI name of such a folder
        // names none.
        wchar_t path[kWidePathChars];
        // The form chosen leaves room for every game's archive name, so the
        // archive path fits a run's 256-character record.
        if (!GetWideProgramFolder(path) || !ToUsableAnsiPath(path, LongestArchiveNameChars(), g_programFolder, 256)) {
            g_programFolder[0] = '\0';
        }
    }
    return g_programFolder;
}

const char* GetArchivePath(int gameIndex) {
    const GameRecord* game = GetGameRecord(gameIndex);
    if (game == NULL) return NULL;
    // Without the program's folder the path would begin with a backslash and
    // name the root of the current drive; a folder and name that do not fit
    // would be cut and name another file. Either way there is no archive path.
    const char* folder = GetProgramFolder();
    g_archivePath[0] = '\0';
    if (folder[0] == '\0') return NULL;
    char fileName[260];
    GetArchiveFileName(gameIndex, fileName);
    const int length = snprintf(g_archivePath, sizeof g_archivePath, "%s\\%s", folder, fileName);
    if (length < 0 || length >= (int)sizeof g_archivePath) {
        g_archivePath[0] = '\0';
        return NULL;
    }
    return g_archivePath;
}
