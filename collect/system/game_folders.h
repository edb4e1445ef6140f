// Where a game's files are on this computer: the install locations its
// installer wrote, the launcher's folder, the Runeveil 2 log folder, the
// program's own folder and the test archive beside it.
#pragma once

#include <list>
#include <string>

#include "catalog/game_catalog.h"

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

// The cached paths, for callers that use a cache when it is filled and look
// the path up only while it is empty.
const char* CachedRuneveil2Folder();
const char* CachedLauncherInstallPath();
