#include "collect/system/registry_dump.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "common/windows_version.h"
#include "test_support.h"

using testing_support::RegistryKey;
using testing_support::RegistryLock;
using testing_support::ReportFile;

namespace {

std::string UniqueName(const char* base) {
    char name[64];
    snprintf(name, sizeof name, "%s_%lu", base, GetCurrentProcessId());
    return name;
}

std::string DumpOf(HKEY root, const std::string& path, int depth) {
    ReportFile report;
    HKEY key = NULL;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "(cannot open)";
    DumpKey(report.sink(), key, depth);
    RegCloseKey(key);
    return report.Contents();
}

// The lines of a text that begin with "[": the dumped keys' names.
std::vector<std::string> BracketLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (text[start] == '[') lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The text between a line and the next empty line.
std::string BlockAfter(const std::string& text, const std::string& line) {
    size_t at = text.find(line);
    if (at == std::string::npos) return "(missing " + line + ")";
    at += line.size();
    size_t end = text.find("\r\n\r\n", at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
}

}  // namespace

TEST(RegistryDump, SubkeysBeforeValuesWithOneTabPerLevel) {
    const std::string base = "Software\\DiagnovaTest\\" + UniqueName("Dump");
    RegistryKey top(HKEY_CURRENT_USER, base);
    RegistryKey alpha(HKEY_CURRENT_USER, base + "\\Alpha");
    RegistryKey inner(HKEY_CURRENT_USER, base + "\\Alpha\\Inner");
    RegistryKey beta(HKEY_CURRENT_USER, base + "\\Beta");
    // Created in name order: Windows lists values in creation order, Wine by name.
    top.SetString("", "default text");
    top.SetBinary("Blob", std::string("\x01\x02", 2));
    top.SetDword("Count", 7);
    top.SetString("Path", "C:\\Games\\Runeveil\\rv.exe");
    top.SetString("Temp", "%TEMP%\\x", REG_EXPAND_SZ);
    alpha.SetString("Name", "alpha");
    inner.SetDword("Level", 3);

    EXPECT_EQ("\t[Alpha]\r\n"
              "\t\t[Inner]\r\n"
              "\t\t\tLevel\r\n"
              "\t\tName, alpha\r\n"
              "\t[Beta]\r\n"
              "\t\t(value not set)\r\n"
              "\t, default text\r\n"
              "\tBlob\r\n"
              "\tCount\r\n"
              "\tPath, C:\\Games\\Runeveil\\rv.exe\r\n"
              "\tTemp, %TEMP%\\x\r\n",
              DumpOf(HKEY_CURRENT_USER, base, 1));
}

TEST(RegistryDump, OverlongValueLineIsCutAndRunsOnAndHugeDataIsSkipped) {
    const std::string base = "Software\\DiagnovaTest\\" + UniqueName("Long");
    RegistryKey top(HKEY_CURRENT_USER, base);
    top.SetString("A", std::string(300, 'a'));
    top.SetString("Huge", std::string(20000, 'h'));
    top.SetString("B", "b");
    // A string stored without its terminating NUL.
    HKEY raw = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_SET_VALUE, &raw));
    RegSetValueExA(raw, "C", 0, REG_SZ, reinterpret_cast<const BYTE*>("cc"), 2);
    RegCloseKey(raw);
    // "A, " and the first 252 data characters make 255; the line end is lost.
    EXPECT_EQ("\tA, " + std::string(252, 'a') + "\tB, b\r\n\tC, cc\r\n", DumpOf(HKEY_CURRENT_USER, base, 1));
}

TEST(RegistryDump, HugeValueNamesAreCutOrLeftOutNeverOverflowed) {
    // A value name of 16382 characters (the longest the 16383-byte buffer
    // holds) is cut at 255 characters with its line end; a name one longer
    // does not fit and is left out without a trace.
    const std::string base = "Software\\DiagnovaTest\\" + UniqueName("Names");
    RegistryKey top(HKEY_CURRENT_USER, base);
    top.SetString("B", "b");
    top.SetString(std::string(16382, 'n'), "x");
    top.SetString(std::string(16383, 'm'), "y");
    EXPECT_EQ("\tB, b\r\n\t" + std::string(255, 'n'), DumpOf(HKEY_CURRENT_USER, base, 1));
}

TEST(RegistryDump, KeyTableNamesEachKeyAndReportsMissingOnes) {
    const std::string base = "Software\\DiagnovaTest\\" + UniqueName("Table");
    RegistryKey top(HKEY_CURRENT_USER, base);
    RegistryKey empty(HKEY_CURRENT_USER, base + "\\Empty");
    RegistryKey full(HKEY_CURRENT_USER, base + "\\Full");
    RegistryKey full32(HKEY_CURRENT_USER, base + "\\Full32");
    full.SetDword("Flags", 1);
    full.SetString("Updater", "C:\\u.exe /quiet");
    full32.SetString("Updater", "C:\\u32.exe");

    RegistryDumpEntry table[4] = {};
    table[0].root = HKEY_CURRENT_USER;
    snprintf(table[0].path, sizeof table[0].path, "%s\\Empty", base.c_str());
    snprintf(table[0].path32, sizeof table[0].path32, "%s\\Empty", base.c_str());
    table[1].root = HKEY_CURRENT_USER;
    snprintf(table[1].path, sizeof table[1].path, "%s\\Full", base.c_str());
    snprintf(table[1].path32, sizeof table[1].path32, "%s\\Full32", base.c_str());
    table[2].root = HKEY_CURRENT_USER;
    snprintf(table[2].path, sizeof table[2].path, "%s\\Missing", base.c_str());
    snprintf(table[2].path32, sizeof table[2].path32, "%s\\Missing32", base.c_str());
    table[3].root = HKEY_USERS;
    snprintf(table[3].path, sizeof table[3].path, "NoSuchUser\\Software");
    snprintf(table[3].path32, sizeof table[3].path32, "NoSuchUser\\Software32");

    ReportFile native;
    DumpKeyTable(native.sink(), table, 4, false);
    EXPECT_EQ("\r\n[HKCU\\" + base + "\\Empty]\r\n\t(value not set)\r\n" +
                  "\r\n[HKCU\\" + base + "\\Full]\r\n\tFlags\r\n\tUpdater, C:\\u.exe /quiet\r\n" +
                  "\r\n[HKCU\\" + base + "\\Missing]\r\n\t(key not found)\r\n" +
                  "\r\n[N/A\\NoSuchUser\\Software]\r\n\t(key not found)\r\n",
              native.Contents());

    ReportFile view32;
    DumpKeyTable(view32.sink(), table, 4, true);
    EXPECT_EQ("\r\n[HKCU\\" + base + "\\Empty]\r\n\t(value not set)\r\n" +
                  "\r\n[HKCU\\" + base + "\\Full32]\r\n\tUpdater, C:\\u32.exe\r\n" +
                  "\r\n[HKCU\\" + base + "\\Missing32]\r\n\t(key not found)\r\n" +
                  "\r\n[N/A\\NoSuchUser\\Software32]\r\n\t(key not found)\r\n",
              view32.Contents());
}

namespace {

struct DeepDump {
    HKEY key;
    ReportSink sink;
};

DWORD WINAPI DumpOnSmallStack(void* parameter) {
    DeepDump* dump = static_cast<DeepDump*>(parameter);
    DumpKey(dump->sink, dump->key, 1);
    return 0;
}

}  // namespace

TEST(RegistryDump, DeepKeyTreeFitsASmallWorkerStack) {
    const int kLevels = 200;
    const std::string base = "Software\\DiagnovaTest\\" + UniqueName("Deep");
    RegistryKey top(HKEY_CURRENT_USER, base);
    HKEY parent = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_ALL_ACCESS, &parent));
    for (int level = 0; level < kLevels; ++level) {
        HKEY child = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, "k", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL))
            << level;
        RegCloseKey(parent);
        parent = child;
    }
    const char bottom[] = "bottom";
    RegSetValueExA(parent, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(bottom), sizeof bottom);
    RegCloseKey(parent);

    std::string expected;
    for (int level = 1; level <= kLevels; ++level) expected += std::string(level, '\t') + "[k]\r\n";
    expected += std::string(kLevels + 1, '\t') + "v, bottom\r\n";
    for (int level = kLevels; level >= 1; --level) expected += std::string(level, '\t') + "(value not set)\r\n";

    ReportFile report;
    DeepDump dump = {NULL, report.sink()};
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_READ, &dump.key));
    HANDLE thread = CreateThread(NULL, 256 * 1024, DumpOnSmallStack, &dump, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
    DWORD exitCode = 1;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    RegCloseKey(dump.key);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(expected, report.Contents());
}

TEST(RegistryDump, UninstallListPrintsPublisherNameAndVersion) {
    const std::string base = "Software\\DiagnovaTest\\" + UniqueName("Uninstall");
    RegistryKey list(HKEY_CURRENT_USER, base);
    RegistryKey full(HKEY_CURRENT_USER, base + "\\AFull");
    RegistryKey bare(HKEY_CURRENT_USER, base + "\\BBare");
    RegistryKey version(HKEY_CURRENT_USER, base + "\\CVersionOnly");
    RegistryKey numeric(HKEY_CURRENT_USER, base + "\\DNumericName");
    full.SetString("DisplayName", "Runeveil 2");
    full.SetString("DisplayVersion", "2.4.1");
    full.SetString("Publisher", "Skellan");
    version.SetString("DisplayVersion", "9.0", REG_EXPAND_SZ);
    numeric.SetDword("DisplayName", 0x00434241);  // "ABC" as little-endian bytes
    numeric.SetBinary("Publisher", "Skel");         // no terminating NUL
    ReportFile report;
    DumpUninstallKey(report.sink(), HKEY_CURRENT_USER, base.c_str());
    EXPECT_EQ("\r\n[HKCU\\" + base + "]\r\n" +
                  "\tAFull, Skellan, Runeveil 2 v2.4.1\r\n"
                  "\tBBare\r\n"
                  "\tCVersionOnly v9.0\r\n"
                  "\tDNumericName, Skel, ABC\r\n",
              report.Contents());

    ReportFile missing;
    DumpUninstallKey(missing.sink(), HKEY_LOCAL_MACHINE, (base + "\\Nothing").c_str());
    EXPECT_EQ("\r\n[HKLM\\" + base + "\\Nothing]\r\n\t(key not found)\r\n", missing.Contents());
}

TEST(RegistryDump, SectionCoversBothViewsAndUninstallListsSharedRegistryOnEveryPrefix) {
    const bool wow64 = IsWindows64Bit();
    // The publisher's key, distinct in the two views. The test's own writes
    // to HKLM\SOFTWARE land in the 32-bit view, as the program reads them.
    RegistryKey native(HKEY_LOCAL_MACHINE, "SOFTWARE\\OrvaneWest", wow64 ? KEY_WOW64_64KEY : 0);
    native.SetString("Edition", "native");
    std::unique_ptr<RegistryKey> wow, wowLauncher;
    if (wow64) {
        wow.reset(new RegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\OrvaneWest", KEY_WOW64_32KEY));
        wowLauncher.reset(new RegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\OrvaneWest\\Launcher", KEY_WOW64_32KEY));
        wow->SetString("Edition", "wow32");
    }
    const std::string entry = UniqueName("DiagnovaTestEntry");
    RegistryKey uninstall(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry);
    uninstall.SetString("DisplayName", "Solmere");
    uninstall.SetString("Publisher", "Orvane");
    // One machine-wide program per view: on 64-bit Windows each list shows its own.
    const std::string machineKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + entry;
    RegistryKey machine32(HKEY_LOCAL_MACHINE, machineKey + "32", wow64 ? KEY_WOW64_32KEY : 0);
    machine32.SetString("DisplayName", "Program32");
    std::unique_ptr<RegistryKey> machine64;
    if (wow64) {
        machine64.reset(new RegistryKey(HKEY_LOCAL_MACHINE, machineKey + "64", KEY_WOW64_64KEY));
        machine64->SetString("DisplayName", "Program64");
    }

    ReportFile report;
    WriteRegistryDump(report.sink());
    const std::string text = report.Contents();

    const std::string rule(78, '=');
    EXPECT_EQ(0u, text.find(rule + "\r\n= Dumping System Registry\r\n" + rule + "\r\n\r\n["));
    EXPECT_EQ("\r\n\r\n", text.substr(text.size() - 4)) << "ends with the last line and the empty line";

    std::vector<std::string> expectedKeys;
    for (int pass = 0; pass < (wow64 ? 2 : 1); ++pass) {
        for (int i = 0; i < kRegistryDumpEntryCount; ++i) {
            const RegistryDumpEntry& e = kRegistryDumpTable[i];
            expectedKeys.push_back(std::string("[") + (e.root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU") + "\\" +
                                   (pass == 0 ? e.path : e.path32) + "]");
        }
    }
    expectedKeys.push_back("[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]");
    expectedKeys.push_back("[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]");
    if (wow64) expectedKeys.push_back("[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall] (64-bit view)");
    EXPECT_EQ(expectedKeys, BracketLines(text));
    EXPECT_EQ(wow64 ? 17u : 9u, expectedKeys.size());
    EXPECT_EQ("[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce]", expectedKeys[0]);
    EXPECT_EQ("[HKLM\\SOFTWARE\\OrvaneWest]", expectedKeys[6]);

    EXPECT_EQ("\tEdition, native\r\n", BlockAfter(text, "[HKLM\\SOFTWARE\\OrvaneWest]\r\n"));
    if (wow64) {
        EXPECT_EQ("\t[Launcher]\r\n\t\t(value not set)\r\n\tEdition, wow32\r\n",
                  BlockAfter(text, "[HKLM\\SOFTWARE\\Wow6432Node\\OrvaneWest]\r\n"));
    } else {
        EXPECT_EQ(std::string::npos, text.find("Wow6432Node"));
    }
    std::string userList = BlockAfter(text, "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n");
    EXPECT_NE(std::string::npos, userList.find("\t" + entry + ", Orvane, Solmere\r\n")) << userList;
    std::string machineList = BlockAfter(text, "[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n");
    EXPECT_NE(std::string::npos, machineList.find("\t" + entry + "32, Program32\r\n")) << machineList;
    EXPECT_EQ(std::string::npos, machineList.find(entry + "64")) << machineList;
    if (wow64) {
        std::string nativeList =
            BlockAfter(text, "[HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall] (64-bit view)\r\n");
        EXPECT_NE(std::string::npos, nativeList.find("\t" + entry + "64, Program64\r\n")) << nativeList;
        EXPECT_EQ(std::string::npos, nativeList.find(entry + "32")) << nativeList;
    }
}
