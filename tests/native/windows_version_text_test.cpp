#include "common/windows_version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
int Classify(unsigned long platform, unsigned long major, unsigned long minor) {
    return static_cast<int>(ClassifyWindowsVersion(platform, major, minor));
}
}  // namespace

TEST(WindowsGenerationTable, NtReleasesByMajorAndMinor) {
    EXPECT_EQ(4, Classify(kPlatformNt, 3, 51));
    EXPECT_EQ(4, Classify(kPlatformNt, 4, 0));
    EXPECT_EQ(5, Classify(kPlatformNt, 5, 0));
    EXPECT_EQ(6, Classify(kPlatformNt, 5, 1));
    EXPECT_EQ(7, Classify(kPlatformNt, 5, 2));
    EXPECT_EQ(8, Classify(kPlatformNt, 6, 0));
    EXPECT_EQ(9, Classify(kPlatformNt, 6, 1));
    // Windows 8.1 and 10 report 6.2 to a program whose manifest stops at 8.
    EXPECT_EQ(10, Classify(kPlatformNt, 6, 2));
}

TEST(WindowsGenerationTable, UnlistedCombinationsAreUnknown) {
    EXPECT_EQ(0, Classify(kPlatformNt, 5, 3));
    EXPECT_EQ(0, Classify(kPlatformNt, 6, 3));
    EXPECT_EQ(0, Classify(kPlatformNt, 10, 0));
    EXPECT_EQ(0, Classify(kPlatformNt, 7, 0));
    EXPECT_EQ(0, Classify(kPlatformWin9x, 3, 95));
    EXPECT_EQ(0, Classify(kPlatformWin9x, 5, 0));
    EXPECT_EQ(0, Classify(kPlatformWin9x, 4, 50));
    EXPECT_EQ(0, Classify(kPlatformWin32s, 4, 0));
    EXPECT_EQ(0, Classify(3, 6, 1));
}

TEST(WindowsGenerationTable, Windows9xFamily) {
    EXPECT_EQ(1, Classify(kPlatformWin9x, 4, 0));
    EXPECT_EQ(1, Classify(kPlatformWin9x, 4, 3));
    EXPECT_EQ(2, Classify(kPlatformWin9x, 4, 10));
    EXPECT_EQ(3, Classify(kPlatformWin9x, 4, 90));
}

TEST(OsVersionText, SixtyFourBitWindows7WithServicePack) {
    char text[256];
    ASSERT_TRUE(ComposeOsVersion(kPlatformNt, 6, 1, 7601, "Service Pack 1", true, text));
    EXPECT_EQ(std::string("Windows Version: 6.1\r\nBuild 7601\r\nService Pack 1\r\nProcessor bit : 64"), text);
}

TEST(OsVersionText, XpWithoutServicePackLeavesTheThirdLineEmpty) {
    char text[256];
    ASSERT_TRUE(ComposeOsVersion(kPlatformNt, 5, 1, 2600, "", false, text));
    EXPECT_EQ(std::string("Windows Version: 5.1\r\nBuild 2600\r\n\r\nProcessor bit : 32"), text);
}

TEST(OsVersionText, Windows9xBuildIsTheLowHalfOfTheBuildField) {
    char text[256];
    ASSERT_TRUE(ComposeOsVersion(kPlatformWin9x, 4, 10, (4ul << 24) | (10ul << 16) | 1998, " A ", false, text));
    EXPECT_EQ(std::string("Windows Version: 4.10\r\nBuild 1998\r\n A \r\nProcessor bit : 32"), text);
    // On NT the whole field is the build number.
    ASSERT_TRUE(ComposeOsVersion(kPlatformNt, 6, 2, 0x00020000ul | 9200, "", true, text));
    EXPECT_EQ(std::string("Windows Version: 6.2\r\nBuild 140272\r\n\r\nProcessor bit : 64"), text);
}

TEST(OsVersionText, OnlyAReported62IsReplacedByTheTrueVersion) {
    // Windows 10 and 8.1 behind the manifest's 6.2; Windows 8 itself.
    EXPECT_TRUE(UseTrueOsVersion(kPlatformNt, 6, 2, 10, 0));
    EXPECT_TRUE(UseTrueOsVersion(kPlatformNt, 6, 2, 6, 3));
    EXPECT_TRUE(UseTrueOsVersion(kPlatformNt, 6, 2, 6, 2));
    // Every other reported version stays, and a lower "true" one is ignored.
    EXPECT_FALSE(UseTrueOsVersion(kPlatformNt, 6, 1, 10, 0));
    EXPECT_FALSE(UseTrueOsVersion(kPlatformNt, 5, 1, 5, 1));
    EXPECT_FALSE(UseTrueOsVersion(kPlatformNt, 6, 2, 6, 1));
    EXPECT_FALSE(UseTrueOsVersion(kPlatformNt, 6, 2, 0, 0));
    EXPECT_FALSE(UseTrueOsVersion(kPlatformWin9x, 6, 2, 10, 0));
}

TEST(OsVersionText, TextThatWouldNotFitIsRefusedAndTheBufferKept) {
    char text[256] = "untouched";
    std::string servicePack(220, 's');
    EXPECT_FALSE(ComposeOsVersion(kPlatformNt, 6, 1, 7601, servicePack.c_str(), true, text));
    EXPECT_STREQ("untouched", text);
}

TEST(SystemInfoText, ArchitectureLinesAndOrder) {
    char text[1024];
    ASSERT_TRUE(ComposeSystemInfo(0, 0, 4096, 2, text, sizeof text));
    EXPECT_EQ(std::string("Oem Id : 0\r\nprocessor architecture : x86\r\nPage size : 4096\r\n"
                          "Number of processors : 2\r\n"),
              text);
    ASSERT_TRUE(ComposeSystemInfo(9, 9, 8192, 16, text, sizeof text));
    EXPECT_EQ(std::string("Oem Id : 9\r\nprocessor architecture : x64 (AMD or Intel)\r\nPage size : 8192\r\n"
                          "Number of processors : 16\r\n"),
              text);
    ASSERT_TRUE(ComposeSystemInfo(6, 6, 8192, 1, text, sizeof text));
    EXPECT_NE(std::string::npos, std::string(text).find("processor architecture : Intel Itanium-based\r\n"));
    for (unsigned short other : {1, 5, 12, 0xFFFF}) {
        ASSERT_TRUE(ComposeSystemInfo(other, other, 4096, 1, text, sizeof text));
        EXPECT_NE(std::string::npos, std::string(text).find("processor architecture : Unknown architecture\r\n"))
            << other;
    }
}

TEST(SystemInfoText, OemIdIsTheWholeWordNotOnlyTheArchitecture) {
    char text[1024];
    ASSERT_TRUE(ComposeSystemInfo(0x00010000ul, 0, 4096, 1, text, sizeof text));
    EXPECT_EQ(0u, std::string(text).find("Oem Id : 65536\r\nprocessor architecture : x86\r\n"));
}

TEST(SystemInfoText, TooSmallOrMissingBufferFails) {
    char small[40] = "kept";
    EXPECT_FALSE(ComposeSystemInfo(0, 0, 4096, 1, small, sizeof small));
    EXPECT_STREQ("kept", small);
    EXPECT_FALSE(ComposeSystemInfo(0, 0, 4096, 1, nullptr, 1024));
}
