// Where a finished run's sealed report goes when its archive cannot be
// written beside the program (a read-only program folder on a locked-down
// computer or a read-only medium, a full disk, a path too long for the
// archive), and how the player is told.
#pragma once

#include <windows.h>

// Builds an archive as BuildReportArchive does: archive path, the report's
// name inside it, the report file's path.
typedef bool (*ArchiveBuilder)(const char* archivePath, const char* reportName, const char* reportPath);

// Puts the sealed report where the player can find it: the archive
// "<game> Test.zip" on the desktop, else in the documents folder; failing
// both, a copy of the report itself under its name "<game> Test.txt" in the
// temporary folder; failing that, the report file as it is. Writes the path
// of the file that now holds the report into delivered (always a file that
// exists and holds it).
void DeliverReportElsewhere(ArchiveBuilder build, const char* archiveName, const char* reportName,
                            const char* reportPath, char delivered[MAX_PATH]);

// Tells the player, in a warning box owned by the main window, that the
// archive could not be written at its usual place (the program's folder and
// archiveName) and why (the system's text for error), and where the report
// is instead.
void TellReportDeliveredElsewhere(const char* archiveName, DWORD error, const char* delivered);
