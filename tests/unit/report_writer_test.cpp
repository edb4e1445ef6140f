#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <string.h>

#include <string>
#include <vector>

#include "catalog/game_catalog.h"
#include "test_support.h"

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

TEST(ReportWriter, HeaderNamesTheRunsGameAndProgramVersion) {
    ReportFile report;
    WriteReportHeader(report.sink(), 0);
    WriteSectionBanner(report.sink(), "x");
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

namespace {

// The DGN files in a folder.
std::vector<std::string> TempFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\DGN*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

}  // namespace

TEST(ReportWriter, TempFileNamesInDeepFoldersFitTheBufferWithTheFolderShortenedWhereNeeded) {
    // The system makes names of up to 259 characters, the buffer holds 255:
    // from a folder of 244 characters on, the name may no longer fit, and
    // the folder's short form is used instead (beyond MAX_PATH Wine would
    // create the file under a cut name it cannot report back). Every folder
    // length around that edge gives a whole name of the one file made in the
    // folder; the bytes after the buffer are never touched.
    testing_support::TempDir dir;
    for (size_t length = 238; length <= 250; ++length) {
        const std::string folder = testing_support::MakeDeepFolder(dir.path(), length);
        ASSERT_EQ(length, folder.size());
        struct {
            char path[256];
            char after[16];
        } buffer;
        memset(&buffer, 0x5A, sizeof buffer);
        bool ok;
        {
            testing_support::TempFolderOverride temp(folder);
            ok = MakeTempFileName(buffer.path);
        }
        EXPECT_EQ(std::string(16, 0x5A), std::string(buffer.after, 16)) << "written past the buffer at " << length;
        const std::vector<std::string> left = TempFilesIn(folder);
        ASSERT_TRUE(ok) << length;
        ASSERT_EQ(1u, left.size()) << length;
        const std::string path(buffer.path);
        // Names have up to 11 characters after the folder and its backslash.
        if (length + 1 + 11 <= 255) {
            EXPECT_EQ(folder + "\\" + left[0], path);
        }
        EXPECT_EQ(left[0], PathFindFileNameA(path.c_str()));
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
        DeleteFileA(path.c_str());
    }
}

TEST(ReportWriter, TempFileNamesInFoldersNamedOutsideTheCodePageNameTheFileMadeThere) {
    // A user's temporary folder named in letters the ANSI code page lacks:
    // its ANSI name holds look-alikes or question marks and names no folder,
    // so the file is made through the folder's short form, and the path
    // names it. A missing folder of that kind fails and says so.
    testing_support::TempDir dir;
    const std::wstring folder = testing_support::MakeForeignFolder(dir.path());
    ASSERT_FALSE(folder.empty());
    char path[256];
    bool made;
    {
        testing_support::TempFolderOverride temp(folder);
        made = MakeTempFileName(path);
    }
    ASSERT_TRUE(made);
    EXPECT_EQ(nullptr, strchr(path, '?')) << path;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\DGN*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    char foundName[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, foundName, sizeof foundName, NULL, NULL);
    EXPECT_STRCASEEQ(foundName, PathFindFileNameA(path));
    EXPECT_TRUE(DeleteFileA(path)) << path;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW((folder + L"\\DGN*").c_str(), &found));

    bool madeInMissing;
    DWORD error;
    {
        testing_support::TempFolderOverride temp(folder + L"\\\u0141\u00F3d\u017A");
        madeInMissing = MakeTempFileName(path);
        error = GetLastError();
    }
    EXPECT_FALSE(madeInMissing);
    EXPECT_NE(DWORD(ERROR_SUCCESS), error);
    RemoveDirectoryW(folder.c_str());
}
