// The games Diagnova can test, and the lookups that turn a game into places on
// disk: install locations, the launcher's folder, the Runeveil 2 log folder,
// the program folder and the test archive's path.
#pragma once

#include <windows.h>

#include <list>
#include <string>
#include <vector>

struct ServerEntry;

const int kGameCount = 4;
const int kNoGame = -1;

struct GameRecord {
    char name[127];            // catalog name, used in file names and the report header
    int serverCount;
    const ServerEntry* servers;
};

// Game index 0..3 in catalog order; anything else gives NULL.
const GameRecord* GetGameRecord(int gameIndex);
// Text id of the game's display name in the text catalog.
int GetGameDisplayTextId(int gameIndex);

// The game chosen in the main window; -1 until the player picks one. Written by
// the user-interface thread, read by the test worker while the modal progress
// dialog keeps it from changing.
int GetSelectedGame();
void SetSelectedGame(int gameIndex);

struct InstallLocation {
    HKEY root;
    char subKey[260];
    char valueName[260];
};

struct InstallCatalogEntry {
    char gameName[260];
    std::vector<const InstallLocation*> locations;
};

void BuildInstallCatalog(std::list<InstallCatalogEntry>& catalog);
bool FindRuneveil2Candidates(const std::list<InstallCatalogEntry>& catalog,
                             std::list<std::string>& out);
// Reads one location; true when it holds a non-empty plain string (REG_SZ).
bool ReadInstallLocation(const InstallLocation& location, char value[260]);

// Each returns a process-wide cached buffer, or NULL for "no path".
const char* GetRuneveil2Folder();
const char* GetLauncherInstallPath();
const char* GetProgramFolder();
// "<program folder>\<game> Test.zip"; NULL for no game, and when the program
// folder is unknown or the whole path would not fit in 260 characters.
const char* GetArchivePath(int gameIndex);
// "%s Test.txt": the report's name inside the archive; false for no game.
bool GetReportMemberName(int gameIndex, char name[260]);
// "%s Test.zip": the archive's file name; false for no game.
bool GetArchiveFileName(int gameIndex, char name[260]);

// The cached paths, for callers that use a cache when it is filled and look
// the path up only while it is empty.
const char* CachedRuneveil2Folder();
const char* CachedLauncherInstallPath();
