#include "catalog/game_catalog.h"
#include "collect/system/game_folders.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "catalog/server_catalog.h"
#include "common/windows_version.h"
#include "test_support.h"

using testing_support::RegistryKey;
using testing_support::TempDir;

TEST(GameCatalog, RecordsInGameIndexOrder) {
    const char* names[] = {"Runeveil", "Runeveil 2", "Kharros II", "Solmere"};
    const int counts[] = {7, 10, 3, 7};
    const int textIds[] = {1, 2, 4, 8};
    for (int i = 0; i < kGameCount; ++i) {
        ASSERT_NE(nullptr, GetGameRecord(i));
        EXPECT_STREQ(names[i], GetGameRecord(i)->name);
        EXPECT_EQ(counts[i], GetGameRecord(i)->serverCount);
        EXPECT_EQ(textIds[i], GetGameDisplayTextId(i));
    }
    EXPECT_EQ(kRuneveil2Servers, GetGameRecord(1)->servers);
    EXPECT_EQ(nullptr, GetGameRecord(-1));
    EXPECT_EQ(nullptr, GetGameRecord(4));
}

TEST(GameCatalog, ArchivePathIsTheProgramFolderAndTheGameName) {
    EXPECT_EQ(nullptr, GetArchivePath(kNoGame));
    char module[MAX_PATH];
    GetModuleFileNameA(NULL, module, sizeof module);
    PathRemoveFileSpecA(module);
    EXPECT_STREQ(module, GetProgramFolder());
    EXPECT_EQ(std::string(module) + "\\Kharros II Test.zip", GetArchivePath(2));
    EXPECT_EQ(std::string(module) + "\\Runeveil Test.zip", GetArchivePath(0));
    char member[260];
    ASSERT_TRUE(GetReportMemberName(0, member));
    EXPECT_STREQ("Runeveil Test.txt", member);
    EXPECT_FALSE(GetReportMemberName(kNoGame, member));
    EXPECT_STREQ("", member);
}

namespace {

// Copies path_probe into folder, runs it there and returns what it printed.
std::string ProbePathsFrom(const std::string& folder, const std::string& output) {
    const std::string probe = folder + "\\path_probe.exe";
    if (!CopyFileA(testing_support::BesideTestProgram("path_probe.exe").c_str(), probe.c_str(), FALSE))
        return "copy failed";
    std::string commandLine = "\"" + probe + "\" \"" + output + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(probe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return "start failed " + std::to_string(GetLastError());
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileA(probe.c_str());
    return testing_support::ReadWholeFile(output);
}

}  // namespace

TEST(GameCatalog, ArchivePathsOfDeepProgramFoldersFitTheRunThroughTheShortForm) {
    // A run's record holds archive paths of up to 255 characters, and the
    // longest name adds 20 ("\Runeveil 2 Test.zip"). A program folder of
    // 235 characters is used as it is; from 236 on its short form stands in,
    // which names the same folder, so every game's archive still has a path.
    TempDir dir;
    for (size_t length : {235u, 236u}) {
        const std::string deep = testing_support::MakeDeepFolder(dir.path(), length);
        ASSERT_EQ(length, deep.size());
        char folder[MAX_PATH] = "";
        if (length == 235) {
            lstrcpynA(folder, deep.c_str(), sizeof folder);
        } else {
            ASSERT_NE(0u, GetShortPathNameA(deep.c_str(), folder, sizeof folder));
            ASSERT_LT(strlen(folder), length);
        }
        std::string want = "folder=" + std::string(folder) + "\n";
        for (int game = 0; game < kGameCount; ++game)
            want += "archive" + std::to_string(game) + "=" + folder + "\\" + GetGameRecord(game)->name + " Test.zip\n";
        EXPECT_EQ(want, ProbePathsFrom(deep, dir.File("probe.txt"))) << length;
    }
}

TEST(GameCatalog, InstallCatalogOrderAndSpelling) {
    std::list<InstallCatalogEntry> catalog;
    BuildInstallCatalog(catalog);
    ASSERT_EQ(4u, catalog.size());
    std::list<InstallCatalogEntry>::const_iterator it = catalog.begin();
    EXPECT_STREQ("Kharros 2", it->gameName);
    ASSERT_EQ(3u, it->locations.size());
    EXPECT_STREQ("workingdir", it->locations[0]->valueName);
    EXPECT_STREQ("installpath", it->locations[1]->valueName);
    EXPECT_STREQ("SOFTWARE\\Orvane\\KharrosII", it->locations[2]->subKey);
    ++it;
    EXPECT_STREQ("Solmere", it->gameName);
    ++it;
    EXPECT_STREQ("Runeveil", it->gameName);
    ASSERT_EQ(2u, it->locations.size());
    EXPECT_EQ(HKEY_CURRENT_USER, it->locations[0]->root);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, it->locations[1]->root);
    ++it;
    EXPECT_STREQ("Runeveil 2", it->gameName);
    EXPECT_STREQ("Software\\Skellan\\Runeveil 2", it->locations[0]->subKey);

    // A second build appends a fresh copy that refers to the same static records.
    std::list<InstallCatalogEntry> again;
    BuildInstallCatalog(again);
    EXPECT_EQ(catalog.back().locations[0], again.back().locations[0]);
}

TEST(GameCatalog, InstallLocationsCountOnlyNonEmptyPlainStrings) {
    RegistryKey key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Solmere");
    InstallLocation location = {HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Solmere", "InstallPath"};
    char value[260];
    EXPECT_FALSE(ReadInstallLocation(location, value));
    key.SetString("InstallPath", "C:\\Games\\Solmere");
    ASSERT_TRUE(ReadInstallLocation(location, value));
    EXPECT_STREQ("C:\\Games\\Solmere", value);
    key.SetString("InstallPath", "%ProgramFiles%\\Solmere", REG_EXPAND_SZ);
    EXPECT_FALSE(ReadInstallLocation(location, value));
    key.SetDword("InstallPath", 7);
    EXPECT_FALSE(ReadInstallLocation(location, value));
    key.SetString("InstallPath", "");
    EXPECT_FALSE(ReadInstallLocation(location, value));
    key.SetString("InstallPath", std::string(300, 'p'));
    EXPECT_FALSE(ReadInstallLocation(location, value));
}

TEST(GameCatalog, RuneveilTwoCandidatesComeFromItsOwnEntryOnly) {
    RegistryKey runeveil(HKEY_CURRENT_USER, "SOFTWARE\\Skellan\\Runeveil");
    runeveil.SetString("Path", "C:\\Games\\Runeveil\\rv.exe");
    std::list<InstallCatalogEntry> catalog;
    BuildInstallCatalog(catalog);
    std::list<std::string> out;
    out.push_back("stale");
    EXPECT_FALSE(FindRuneveil2Candidates(catalog, out));
    EXPECT_TRUE(out.empty());

    RegistryKey runeveil2(HKEY_LOCAL_MACHINE, "Software\\Skellan\\Runeveil 2");
    runeveil2.SetString("Path", "C:\\Games\\Runeveil 2\\rv2.exe");
    ASSERT_TRUE(FindRuneveil2Candidates(catalog, out));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ("C:\\Games\\Runeveil 2\\rv2.exe", out.front());

    std::list<InstallCatalogEntry> withoutRuneveil2(catalog.begin(), --catalog.end());
    EXPECT_FALSE(FindRuneveil2Candidates(withoutRuneveil2, out));
}

TEST(GameCatalog, LauncherInstallPathIsReadAgainWhileMissingSharedRegistry) {
    {
        RegistryKey launcher(HKEY_LOCAL_MACHINE, "Software\\Orvane\\Launcher");
        EXPECT_EQ(nullptr, GetLauncherInstallPath());
        launcher.SetString("InstallPath", "C:\\Orvane\\Launcher\\Launcher.exe");
        const char* path = GetLauncherInstallPath();
        ASSERT_NE(nullptr, path);
        EXPECT_STREQ("C:\\Orvane\\Launcher\\Launcher.exe", path);
        EXPECT_STREQ(path, CachedLauncherInstallPath());
        launcher.SetString("InstallPath", "%X%\\Launcher.exe", REG_EXPAND_SZ);
        EXPECT_EQ(nullptr, GetLauncherInstallPath());
        EXPECT_EQ(nullptr, CachedLauncherInstallPath());
    }
    EXPECT_EQ(nullptr, GetLauncherInstallPath());
}

TEST(GameCatalog, RuneveilTwoFolderFollowsTheWindowsGenerationSharedRegistryOnEveryPrefix) {
    if (GetWindowsGeneration() > WindowsGeneration::WinXP) {
        char documents[MAX_PATH];
        ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, SHGFP_TYPE_CURRENT, documents)));
        const char* folder = GetRuneveil2Folder();
        ASSERT_NE(nullptr, folder);
        EXPECT_EQ(std::string(documents) + "\\Runeveil 2", folder);
        return;
    }
    // XP and older: the folder of the first existing registry candidate.
    EXPECT_EQ(nullptr, GetRuneveil2Folder());
    TempDir games;
    std::string exe = games.File("rv2.exe");
    testing_support::WriteWholeFile(exe, "MZ");
    RegistryKey runeveil2(HKEY_LOCAL_MACHINE, "Software\\Skellan\\Runeveil 2");
    runeveil2.SetString("Path", games.File("missing.exe"));
    EXPECT_EQ(nullptr, GetRuneveil2Folder());
    runeveil2.SetString("Path", exe);
    const char* folder = GetRuneveil2Folder();
    ASSERT_NE(nullptr, folder);
    EXPECT_EQ(games.path(), folder);
    EXPECT_STREQ(folder, CachedRuneveil2Folder());
}
