// Packs the sealed report with the launcher's and the game's logs into the
// test archive beside the program.
#pragma once

#include "report/zip_writer.h"

// True when the archive was made with the report in it. On false the last
// error says why (the file system's reason, or ERROR_INVALID_PARAMETER for a
// missing argument) and no archive is left at archivePath.
bool BuildReportArchive(const char* archivePath, const char* reportName, const char* reportPath);

// Adds sourcePath as "<folderWord>\<file name>"; true when the member was added.
bool AddFileToArchive(ZipHandle archive, const char* folderWord, const char* sourcePath);
// The launcher's Games.xml, GamesAddendum.xml and application logs; returns
// how many were added.
int CollectLauncherFiles(ZipHandle archive);
// Every *.log file directly in the Runeveil 2 folder; returns how many were added.
int CollectRuneveil2Logs(ZipHandle archive);
