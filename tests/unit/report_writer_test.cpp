#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "ui/game_catalog.h"

using testing_support::ReportFile;

namespace {
const std::string kRule(78, '=');
}

TEST(ReportWriter, FormattedWriteKeepsAtMost255CharactersAndDropsTheLineEnd) {
    ReportFile report;
    std::string long300(300, 'x');
    EXPECT_TRUE(WriteFormatted(report.sink(), "%s\r\n", long300.c_str()));
    WriteText(report.sink(), "next");
    EXPECT_EQ(std::string(255, 'x') + "next", report.Contents());
}

TEST(ReportWriter, FormattedWriteOfExactly255CharactersIsWhole) {
    ReportFile report;
    std::string text(253, 'y');
    WriteFormatted(report.sink(), "%s\r\n", text.c_str());
    EXPECT_EQ(text + "\r\n", report.Contents());
}

TEST(ReportWriter, LinesAndEmptyLines) {
    ReportFile report;
    EXPECT_TRUE(WriteLine(report.sink(), ""));
    EXPECT_TRUE(WriteLine(report.sink(), "abc"));
    EXPECT_TRUE(WriteEmptyLine(report.sink()));
    EXPECT_EQ("\r\nabc\r\n\r\n", report.Contents());
}

TEST(ReportWriter, WritesToAClosedSinkReportFailureWithoutCrashing) {
    ReportFile report;
    HANDLE readOnly = CreateFileA(report.path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    EXPECT_FALSE(WriteText(readOnly, "x"));
    EXPECT_FALSE(WriteLine(readOnly, "x"));
    EXPECT_FALSE(WriteFormatted(readOnly, "%d", 5));
    CloseHandle(readOnly);
    EXPECT_EQ("", report.Contents());
}

TEST(ReportWriter, BannerFramesTheTitleWith78EqualsSigns) {
    ReportFile report;
    WriteSectionBanner(report.sink(), "information about the current computer system");
    EXPECT_EQ(kRule + "\r\n= information about the current computer system\r\n" + kRule + "\r\n",
              report.Contents());
}

TEST(ReportWriter, OverlongBannerTitleRunsIntoTheClosingRule) {
    ReportFile report;
    std::string title(260, 't');
    WriteSectionBanner(report.sink(), title.c_str());
    std::string middle = "= " + std::string(253, 't');
    EXPECT_EQ(kRule + "\r\n" + middle + kRule + "\r\n", report.Contents());
}

TEST(ReportWriter, HeaderNamesTheSelectedGameAndProgramVersion) {
    ReportFile report;
    SetSelectedGame(0);
    WriteReportHeader(report.sink());
    WriteSectionBanner(report.sink(), "x");
    SetSelectedGame(kNoGame);
    std::string text = report.Contents();
    const std::string expected = "Runeveil Test Report -- created by Diagnova v1.0.0.0\r\n\r\n=";
    EXPECT_EQ(expected, text.substr(0, expected.size()));
}

TEST(ReportWriter, EndMarkerIsNineBytes) {
    ReportFile report;
    WriteEndMarker(report.sink());
    EXPECT_EQ(std::string("\r\n<EOF>\r\n"), report.Contents());
}

TEST(ReportWriter, TempFileNamesAreUniqueEmptyDgnFilesInTheTempFolder) {
    char first[256];
    char second[256];
    ASSERT_TRUE(MakeTempFileName(first));
    ASSERT_TRUE(MakeTempFileName(second));
    EXPECT_STRNE(first, second);
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string name(first);
    EXPECT_EQ(0u, name.find(folder));
    EXPECT_EQ(0, _strnicmp(name.c_str() + strlen(folder), "DGN", 3));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(first, GetFileExInfoStandard, &data));
    EXPECT_EQ(0u, data.nFileSizeLow);
    DeleteFileA(first);
    DeleteFileA(second);
}

TEST(ReportWriter, TempFileNameFailsWhenTheTempFolderIsMissing) {
    char saved[4096];
    DWORD savedLength = GetEnvironmentVariableA("TMP", saved, sizeof saved);
    char savedTemp[4096];
    DWORD savedTempLength = GetEnvironmentVariableA("TEMP", savedTemp, sizeof savedTemp);
    SetEnvironmentVariableA("TMP", "C:\\no\\such\\folder\\dgn");
    SetEnvironmentVariableA("TEMP", "C:\\no\\such\\folder\\dgn");
    char path[256];
    bool made = MakeTempFileName(path);
    SetEnvironmentVariableA("TMP", savedLength ? saved : NULL);
    SetEnvironmentVariableA("TEMP", savedTempLength ? savedTemp : NULL);
    EXPECT_FALSE(made);
}

TEST(ReportWriter, TempFileNameFailsWhenTheTempFolderPathIsTooLong) {
    char saved[4096];
    DWORD savedLength = GetEnvironmentVariableA("TMP", saved, sizeof saved);
    std::string longFolder = "C:\\" + std::string(300, 'd');
    SetEnvironmentVariableA("TMP", longFolder.c_str());
    char path[256];
    bool made = MakeTempFileName(path);
    SetEnvironmentVariableA("TMP", savedLength ? saved : NULL);
    EXPECT_FALSE(made);
}
