// The games Diagnova can test: their names, servers and display texts, the
// player's choice, the registry places their installers write, and the names
// of a game's report and archive.
#pragma once

#include <windows.h>

#include <list>
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

// "%s Test.txt": the report's name inside the archive; false for no game.
bool GetReportMemberName(int gameIndex, char name[260]);
// "%s Test.zip": the archive's file name; false for no game.
bool GetArchiveFileName(int gameIndex, char name[260]);
