// Game catalog and install catalog: the games, their servers, their names in
// files, and the registry places their installers write.
#include "catalog/game_catalog.h"

#include <stdio.h>

#include "catalog/server_catalog.h"

namespace {

const GameRecord kGames[kGameCount] = {
    {"Runeveil", 7, kRuneveilServers},
    {"Runeveil 2", 10, kRuneveil2Servers},
    {"Kharros II", 3, kKharros2Servers},
    {"Solmere", 7, kSolmereServers},
};
const int kDisplayTextIds[kGameCount] = {1, 2, 4, 8};

volatile int g_selectedGame = kNoGame;

// Static location records, filled once per game on first use.
InstallLocation g_kharrosLocations[3];
InstallLocation g_solmereLocations[1];
InstallLocation g_runeveilLocations[2];
InstallLocation g_runeveil2Locations[1];
bool g_kharrosFilled, g_solmereFilled, g_runeveilFilled, g_runeveil2Filled;

void SetLocation(InstallLocation& location, HKEY root, const char* subKey, const char* valueName) {
    location.root = root;
    lstrcpynA(location.subKey, subKey, sizeof location.subKey);
    lstrcpynA(location.valueName, valueName, sizeof location.valueName);
}

void AppendEntry(std::list<InstallCatalogEntry>& catalog, const char* gameName,
                 const InstallLocation* locations, int count) {
    InstallCatalogEntry entry;
    lstrcpynA(entry.gameName, gameName, sizeof entry.gameName);
    for (int i = 0; i < count; ++i) entry.locations.push_back(&locations[i]);
    catalog.push_back(entry);
}

}  // namespace

const GameRecord* GetGameRecord(int gameIndex) {
    if (gameIndex < 0 || gameIndex >= kGameCount) return NULL;
    return &kGames[gameIndex];
}

int GetGameDisplayTextId(int gameIndex) {
    if (gameIndex < 0 || gameIndex >= kGameCount) return -1;
    return kDisplayTextIds[gameIndex];
}

int GetSelectedGame() { return g_selectedGame; }
void SetSelectedGame(int gameIndex) { g_selectedGame = gameIndex; }

void BuildInstallCatalog(std::list<InstallCatalogEntry>& catalog) {
    if (!g_kharrosFilled) {
        SetLocation(g_kharrosLocations[0], HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\K2Client_us", "workingdir");
        SetLocation(g_kharrosLocations[1], HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\K2Client_us", "installpath");
        SetLocation(g_kharrosLocations[2], HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\KharrosII", "InstallPath");
        g_kharrosFilled = true;
    }
    AppendEntry(catalog, "Kharros 2", g_kharrosLocations, 3);
    if (!g_solmereFilled) {
        SetLocation(g_solmereLocations[0], HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Solmere", "InstallPath");
        g_solmereFilled = true;
    }
    AppendEntry(catalog, "Solmere", g_solmereLocations, 1);
    if (!g_runeveilFilled) {
        SetLocation(g_runeveilLocations[0], HKEY_CURRENT_USER, "SOFTWARE\\Skellan\\Runeveil", "Path");
        SetLocation(g_runeveilLocations[1], HKEY_LOCAL_MACHINE, "SOFTWARE\\Skellan\\Runeveil", "Path");
        g_runeveilFilled = true;
    }
    AppendEntry(catalog, "Runeveil", g_runeveilLocations, 2);
    if (!g_runeveil2Filled) {
        SetLocation(g_runeveil2Locations[0], HKEY_LOCAL_MACHINE, "Software\\Skellan\\Runeveil 2", "Path");
        g_runeveil2Filled = true;
    }
    AppendEntry(catalog, "Runeveil 2", g_runeveil2Locations, 1);
}

namespace {

bool GameFileName(int gameIndex, const char* extension, char name[260]) {
    const GameRecord* game = GetGameRecord(gameIndex);
    if (game == NULL) {
        name[0] = '\0';
        return false;
    }
    snprintf(name, 260, "%s Test.%s", game->name, extension);
    return true;
}

}  // namespace

bool GetReportMemberName(int gameIndex, char name[260]) { return GameFileName(gameIndex, "txt", name); }
bool GetArchiveFileName(int gameIndex, char name[260]) { return GameFileName(gameIndex, "zip", name); }
