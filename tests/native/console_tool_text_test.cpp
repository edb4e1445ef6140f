#include "collect/network/console_tool_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string Name(const char* commandLine) {
    char name[16] = "untouched";
    if (!ToolExecutableName(commandLine, name, sizeof name)) return std::string("fail:") + name;
    return name;
}
size_t Cut(const std::string& chunk) {
    size_t keep = 99999;
    return FindStopMarkerCut(chunk.data(), chunk.size(), &keep) ? keep : std::string::npos;
}
}  // namespace

TEST(ToolExecutableName, TakesTheFirstWordAndAddsExeOnlyWithoutExtension) {
    EXPECT_EQ("ipconfig.exe", Name("ipconfig /all"));
    EXPECT_EQ("Netsh.exe", Name("Netsh winsock show catalog"));
    EXPECT_EQ("dxdiag.exe", Name("dxdiag  /whql:off  /t C:\\x.txt"));
    EXPECT_EQ("tracert.exe", Name("tracert.exe -d host"));
    EXPECT_EQ("netstat.exe", Name("  netstat\t-n"));
    EXPECT_EQ("my tool.exe", Name("\"my tool\" /x"));
    EXPECT_EQ("abcdefghijk.exe", Name("abcdefghijk"));  // 15 characters and the terminator fit
}

TEST(ToolExecutableName, RefusesPathsEmptyWordsAndNamesThatDoNotFit) {
    EXPECT_EQ("fail:untouched", Name("C:\\temp\\ipconfig.exe /all"));
    EXPECT_EQ("fail:untouched", Name("..\\ipconfig /all"));
    EXPECT_EQ("fail:untouched", Name("sub/ipconfig"));
    EXPECT_EQ("fail:untouched", Name("\"C:\\Program Files\\x.exe\""));
    EXPECT_EQ("fail:untouched", Name(""));
    EXPECT_EQ("fail:untouched", Name("   "));
    EXPECT_EQ("fail:untouched", Name("\"\" x"));
    EXPECT_EQ("fail:untouched", Name("abcdefghijkl"));  // 12 + ".exe" + terminator = 17 > 16
    EXPECT_FALSE(ToolExecutableName(NULL, NULL, 0));
}

TEST(FindStopMarkerCut, KeepsTheBytesUpToTwentyBeforeTheMarker) {
    EXPECT_EQ(980u, Cut(std::string(1000, '-') + "DirectX Components" + "tail"));
    EXPECT_EQ(0u, Cut(std::string(20, '-') + "DirectX Components"));
    EXPECT_EQ(0u, Cut(std::string(7, '-') + "DirectX Components"));
    EXPECT_EQ(0u, Cut("DirectX Components"));
    // The first occurrence counts.
    EXPECT_EQ(10u, Cut(std::string(30, '-') + "DirectX Components" + std::string(50, '+') + "DirectX Components"));
    // Bytes may hold NULs before the marker.
    EXPECT_EQ(30u, Cut(std::string(50, '\0') + "DirectX Components"));
}

TEST(FindStopMarkerCut, OnlyTheWholeCaseSensitiveMarkerCounts) {
    EXPECT_EQ(std::string::npos, Cut(std::string(100, '-') + "DirectX Component"));
    EXPECT_EQ(std::string::npos, Cut(std::string(100, '-') + "directx components"));
    EXPECT_EQ(std::string::npos, Cut(""));
    EXPECT_EQ(std::string::npos, Cut("DirectX"));
    // Only the bytes given are searched, even when more follow in memory.
    std::string chunk = std::string(40, '-') + "DirectX Components";
    size_t keep = 7;
    EXPECT_FALSE(FindStopMarkerCut(chunk.data(), chunk.size() - 1, &keep));
    EXPECT_EQ(7u, keep);
}
