// Packs the sealed report with the launcher's and the game's logs into the
// test archive beside the program.
#pragma once

bool BuildReportArchive(const char* archivePath, const char* reportName, const char* reportPath);
