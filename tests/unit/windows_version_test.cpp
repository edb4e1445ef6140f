#include "common/windows_version.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "collect/system/system_info.h"
#include "test_support.h"

using testing_support::BesideTestProgram;
using testing_support::ReportFile;
using testing_support::TempDir;
using testing_support::ExpectedGeneration;
using testing_support::ExpectedWindows64Bit;
using testing_support::ExpectedWow64;

namespace {

std::string Field(const std::string& file, const char* field, bool* ok) {
    char value[256] = "garbage";
    *ok = GetVersionStringField(BesideTestProgram(file).c_str(), field, value);
    return value;
}

const std::string kRule(78, '=');
// The processor as this process sees it (the OEM id is the same field of the
// system's answer): the lines that tell which build wrote the report.
#if defined(_WIN64)
const std::string kOwnOemId = "9";
const std::string kOwnArchitecture = "x64 (AMD or Intel)";
#else
const std::string kOwnOemId = "0";
const std::string kOwnArchitecture = "x86";
#endif

}  // namespace

TEST(WindowsVersion, GenerationAndWow64MatchThePrefixOnEveryPrefix) {
    EXPECT_EQ(ExpectedGeneration(), static_cast<int>(GetWindowsGeneration()));
    EXPECT_EQ(ExpectedWow64(), IsWow64());
}

TEST(WindowsVersion, OsVersionLinesOnEveryPrefix) {
    ReportFile report;
    WriteOsVersion(report.sink());
    std::string expected;
    switch (ExpectedGeneration()) {
        case 9: expected = "Windows Version: 6.1\r\nBuild 7601\r\nService Pack 1\r\n"; break;
        // Wine's Windows 10 reports 6.2 build 9200 to this program, as Windows
        // does; the lines print what RtlGetVersion says.
        case 10: expected = "Windows Version: 10.0\r\nBuild 18362\r\n\r\n"; break;
        case 6: expected = "Windows Version: 5.1\r\nBuild 2600\r\nService Pack 3\r\n"; break;
        default: FAIL() << "no expectation for generation " << ExpectedGeneration();
    }
    expected += ExpectedWindows64Bit() ? "Processor bit : 64\r\n" : "Processor bit : 32\r\n";
    EXPECT_EQ(expected, report.Contents());
}

TEST(WindowsVersion, SystemSectionSeesAn32BitProcessorOnEveryPrefix) {
    ReportFile report;
    WriteSystemInfo(report.sink());
    // Wine passes the host's processor count on in the environment.
    const char* processors = getenv("NUMBER_OF_PROCESSORS");
    ASSERT_NE(nullptr, processors);
    std::string expected = kRule + "\r\n= information about the current computer system\r\n" + kRule +
                           "\r\nOem Id : " + kOwnOemId + "\r\nprocessor architecture : " + kOwnArchitecture + "\r\nPage size : 4096\r\n"
                           "Number of processors : " +
                           processors + "\r\n\r\n\r\n";
    EXPECT_EQ(expected, report.Contents());
}

TEST(VersionResource, ProductVersionIsFourNumbersAndALineFeed) {
    char version[260] = "";
    ASSERT_TRUE(GetFileProductVersion(BesideTestProgram("version_probe_neutral.dll").c_str(), version));
    EXPECT_STREQ("9.29.952.3111\n", version);
    // Each half is an unsigned 16-bit number.
    ASSERT_TRUE(GetFileProductVersion(BesideTestProgram("version_probe_unicode.dll").c_str(), version));
    EXPECT_STREQ("65535.0.1.65534\n", version);
}

TEST(VersionResource, FilesWithoutVersionResourceFailQuietly) {
    TempDir dir;
    ASSERT_TRUE(testing_support::WriteWholeFile(dir.File("plain.txt"), "no resources here"));
    char version[260] = "kept";
    EXPECT_FALSE(GetFileProductVersion(dir.File("plain.txt").c_str(), version));
    EXPECT_FALSE(GetFileProductVersion(dir.File("missing.dll").c_str(), version));
    EXPECT_FALSE(GetFileProductVersion("", version));
    EXPECT_FALSE(GetFileProductVersion(nullptr, version));
    EXPECT_STREQ("kept", version);
    char value[256];
    EXPECT_FALSE(GetVersionStringField(dir.File("plain.txt").c_str(), "CompanyName", value));
    EXPECT_FALSE(GetVersionStringField(dir.File("missing.dll").c_str(), "CompanyName", value));
}

TEST(VersionResource, WesternTableAfterAnotherPairWins) {
    bool ok = false;
    EXPECT_EQ("Western table company", Field("version_probe_pairs.dll", "CompanyName", &ok));
    EXPECT_TRUE(ok);
    // Only the first pair has it: that value, although its code page is 850.
    EXPECT_EQ("German table description", Field("version_probe_pairs.dll", "FileDescription", &ok));
    EXPECT_TRUE(ok);
    // Two non-western pairs have it: the last one wins.
    EXPECT_EQ("Japanese comments", Field("version_probe_pairs.dll", "Comments", &ok));
    EXPECT_TRUE(ok);
    // No pair has it: false and an empty text.
    EXPECT_EQ("", Field("version_probe_pairs.dll", "LegalTrademarks", &ok));
    EXPECT_FALSE(ok);
}

TEST(VersionResource, UnicodeTableWinsAtOnce) {
    bool ok = false;
    EXPECT_EQ("Unicode table company", Field("version_probe_unicode.dll", "CompanyName", &ok));
    EXPECT_TRUE(ok);
}

TEST(VersionResource, OnlyACodePageZeroPair) {
    bool ok = false;
    EXPECT_EQ("9.29.952.3111", Field("version_probe_neutral.dll", "ProductVersion", &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ("Neutral table company", Field("version_probe_neutral.dll", "CompanyName", &ok));
    EXPECT_TRUE(ok);
}

TEST(VersionResource, NoTranslationTableMeansNoField) {
    bool ok = true;
    EXPECT_EQ("", Field("version_probe_untranslated.dll", "CompanyName", &ok));
    EXPECT_FALSE(ok);
    char version[260] = "";
    ASSERT_TRUE(GetFileProductVersion(BesideTestProgram("version_probe_untranslated.dll").c_str(), version));
    EXPECT_STREQ("4.3.2.1\n", version);
}

TEST(VersionResource, NativeViewReadsSystemFolderFilesAndOthersAlikeOnEveryPrefix) {
    // A system-folder file is read with redirection off (the native copy;
    // Wine's two copies of explorer.exe carry the same fields), any other
    // file as usual.
    char folder[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryA(folder, sizeof folder));
    const std::string explorer = std::string(folder) + "\\system32\\explorer.exe";
    char native[256] = "";
    char usual[256] = "";
    ASSERT_TRUE(GetNativeVersionStringField(explorer.c_str(), "FileDescription", native));
    ASSERT_TRUE(GetVersionStringField(explorer.c_str(), "FileDescription", usual));
    EXPECT_STREQ(usual, native);
    bool ok = false;
    EXPECT_EQ(Field("version_probe_neutral.dll", "CompanyName", &ok), [] {
        char value[256] = "";
        GetNativeVersionStringField(BesideTestProgram("version_probe_neutral.dll").c_str(), "CompanyName", value);
        return std::string(value);
    }());
    EXPECT_TRUE(ok);
}
