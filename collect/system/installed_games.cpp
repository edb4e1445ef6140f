// The "Installed games" section: every game of the install catalog, with each
// of its registry install locations that holds a path.
//
// Locations are read through ReadInstallLocation, which accepts only plain
// strings (REG_SZ). The shell's SHGetValue would expand an expandable string
// and report it as REG_SZ, so such a value would wrongly count as a location.
#include "collect/system/installed_games.h"

#include <list>

#include "catalog/game_catalog.h"
#include "collect/system/game_folders.h"
#include "common/registry_value.h"

void WriteInstalledGames(ReportSink report) {
    WriteSectionBanner(report, "Installed games");
    std::list<InstallCatalogEntry> catalog;
    BuildInstallCatalog(catalog);
    for (std::list<InstallCatalogEntry>::const_iterator entry = catalog.begin(); entry != catalog.end(); ++entry) {
        WriteFormatted(report, "< %s >\r\n", entry->gameName);
        for (size_t i = 0; i < entry->locations.size(); ++i) {
            const InstallLocation* location = entry->locations[i];
            if (location == NULL) continue;
            char value[260];
            if (!ReadInstallLocation(*location, value)) continue;
            WriteFormatted(report, "\t%s\\%s\\%s\r\n\t\t%s\r\n", RegistryRootAbbreviation(location->root),
                           location->subKey, location->valueName, value);
        }
    }
    WriteEmptyLine(report);
}
