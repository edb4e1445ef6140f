// The test archive: which files go in under which names, what a missing
// launcher or game folder, a locked log and a failed report member do.
// These tests create the launcher's registry key and the Runeveil 2 folder,
// which other tests touch too; "SharedRegistry" in their names gives them
// ctest's resource lock for such fixtures.
#include "collect/run_control.h"
#include "run/report_archive.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "catalog/game_catalog.h"
#include "collect/system/game_folders.h"
#include "test_support.h"
#include "zip_test_support.h"

using testing_support::FileHolder;
using testing_support::ReadWholeFile;
using testing_support::ReadZipMembers;
using testing_support::RegistryKey;
using testing_support::RemoveTree;
using testing_support::TempDir;
using testing_support::WriteWholeFile;
using testing_support::ZipMember;
using testing_support::ExpectedGeneration;

namespace {

const char kLauncherKey[] = "Software\\Orvane\\Launcher";

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> MemberNames(const std::string& archive) {
    std::vector<ZipMember> members;
    EXPECT_TRUE(ReadZipMembers(ReadWholeFile(archive), &members)) << archive;
    std::vector<std::string> names;
    for (const ZipMember& m : members) names.push_back(m.name);
    return names;
}

// The members after the first `fixed` ones, which come in listing order, sorted.
std::vector<std::string> SortedTail(std::vector<std::string> names, size_t fixed) {
    names.erase(names.begin(), names.begin() + std::min(fixed, names.size()));
    std::sort(names.begin(), names.end());
    return names;
}

// The launcher's registry value pointing into a folder with its
// configuration files; the launcher key is gone again afterwards.
class Launcher {
public:
    explicit Launcher(const std::string& folder) : key_(HKEY_LOCAL_MACHINE, kLauncherKey), folder_(folder) {
        CreateDirectoryA(folder_.c_str(), NULL);
        CreateDirectoryA((folder_ + "\\Config").c_str(), NULL);
        CreateDirectoryA((folder_ + "\\Config\\Default").c_str(), NULL);
        key_.SetString("InstallPath", folder_ + "\\Launcher.exe");
        GetLauncherInstallPath();  // refresh the process-wide cache
    }
    std::string File(const std::string& name) const { return folder_ + "\\" + name; }

private:
    RegistryKey key_;
    std::string folder_;
};

// No launcher value at all (the key exists but is empty).
class NoLauncher {
public:
    NoLauncher() : key_(HKEY_LOCAL_MACHINE, kLauncherKey) { GetLauncherInstallPath(); }

private:
    RegistryKey key_;
};

class SelectedGame {
public:
    explicit SelectedGame(int game) { SetSelectedGame(game); }
    ~SelectedGame() { SetSelectedGame(kNoGame); }
};

std::string WriteReport(const TempDir& dir, const std::string& text) {
    const std::string path = dir.File("DGN1A2B.tmp");
    EXPECT_TRUE(WriteWholeFile(path, text));
    return path;
}

// Points the user's documents folder at a folder of this test while it runs.
// Wine links the documents folder of every prefix to the same Unix home
// folder, so a test that made "Runeveil 2" there would meet the same test
// running in the other prefixes, and anyone else's.
class DocumentsFolder {
public:
    explicit DocumentsFolder(const std::string& folder) {
        RegCreateKeyExA(HKEY_CURRENT_USER, kUserShellFolders, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL,
                        &key_, NULL);
        oldSize_ = sizeof old_;
        hadOld_ = RegQueryValueExA(key_, "Personal", NULL, &oldType_, old_, &oldSize_) == ERROR_SUCCESS;
        RegSetValueExA(key_, "Personal", 0, REG_SZ, (const BYTE*)folder.c_str(), (DWORD)folder.size() + 1);
    }
    ~DocumentsFolder() {
        if (hadOld_) {
            RegSetValueExA(key_, "Personal", 0, oldType_, old_, oldSize_);
        } else {
            RegDeleteValueA(key_, "Personal");
        }
        RegCloseKey(key_);
    }

private:
    static constexpr const char* kUserShellFolders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    HKEY key_ = NULL;
    bool hadOld_ = false;
    DWORD oldType_ = 0, oldSize_ = 0;
    BYTE old_[1024];
};

// The Runeveil 2 log folder where this Windows version looks for it: the
// documents folder from Vista on, the installed game's folder (found through
// the registry) on XP.
class Runeveil2Folder {
public:
    Runeveil2Folder() {
        if (ExpectedGeneration() > 6) {
            documents_ = new DocumentsFolder(games_.path());
            char documents[MAX_PATH] = "";
            SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, SHGFP_TYPE_CURRENT, documents);
            EXPECT_EQ(games_.path(), documents);
            folder_ = std::string(documents) + "\\Runeveil 2";
            CreateDirectoryA(folder_.c_str(), NULL);
        } else {
            folder_ = games_.File("Runeveil 2");
            CreateDirectoryA(folder_.c_str(), NULL);
            WriteWholeFile(folder_ + "\\Runeveil2.exe", "MZ");
            key_ = new RegistryKey(HKEY_LOCAL_MACHINE, "Software\\Skellan\\Runeveil 2");
            key_->SetString("Path", folder_ + "\\Runeveil2.exe");
        }
        GetRuneveil2Folder();  // refresh the process-wide cache
    }
    ~Runeveil2Folder() {
        delete documents_;
        delete key_;
    }
    std::string File(const std::string& name) const { return folder_ + "\\" + name; }

private:
    TempDir games_;
    std::string folder_;
    RegistryKey* key_ = nullptr;
    DocumentsFolder* documents_ = nullptr;
};

}  // namespace

TEST(ReportArchiveSharedRegistry, AGameWithoutLauncherGetsTheReportAloneAndReplacesTheOldArchive) {
    TempDir dir;
    NoLauncher noLauncher;
    SelectedGame game(2);
    const std::string report = WriteReport(dir, "Kharros II report\r\n<EOF>\r\n");
    ASSERT_TRUE(WriteWholeFile(dir.File("Kharros II Test.zip"), "an archive of an earlier run"));
    ASSERT_TRUE(BuildReportArchive(dir.File("Kharros II Test.zip").c_str(), "Kharros II Test.txt", report.c_str()));
    std::vector<ZipMember> members;
    ASSERT_TRUE(ReadZipMembers(ReadWholeFile(dir.File("Kharros II Test.zip")), &members));
    ASSERT_EQ(1u, members.size());
    EXPECT_EQ("Kharros II Test.txt", members[0].name);
    EXPECT_EQ("Kharros II report\r\n<EOF>\r\n", members[0].data);
    EXPECT_TRUE(FileExists(report));  // the report itself stays where it is
}

TEST(ReportArchiveSharedRegistry, LauncherConfigurationAndApplicationLogsFollowTheReport) {
    TempDir dir;
    Launcher launcher(dir.File("Orvane Launcher"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("Config\\Default\\Games.xml"), "<Games/>"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("Config\\Default\\GamesAddendum.xml"), "<Addendum/>"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("OrvaneApplicationLog.txt"), "log"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("OrvaneApplicationLog_old.txt"), "old log"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("orvaneApplicationLog2.txt"), "other case"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("Launcher.log"), "not an application log"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("OrvaneApplicationLog_locked.txt"), "held by the launcher"));
    ASSERT_TRUE(CreateDirectoryA(launcher.File("OrvaneApplicationLogs").c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(launcher.File("OrvaneApplicationLogs\\OrvaneApplicationLog.txt"), "nested"));
    // Runeveil never collects the Runeveil 2 logs, even when they are there.
    Runeveil2Folder runeveil2;
    ASSERT_TRUE(WriteWholeFile(runeveil2.File("Client.log"), "client"));
    SelectedGame game(0);
    FileHolder holder(launcher.File("OrvaneApplicationLog_locked.txt"));
    ASSERT_TRUE(holder.Ready());

    const std::string report = WriteReport(dir, "Runeveil report\r\n");
    ASSERT_TRUE(BuildReportArchive(dir.File("Runeveil Test.zip").c_str(), "Runeveil Test.txt", report.c_str()));
    const std::vector<std::string> names = MemberNames(dir.File("Runeveil Test.zip"));
    ASSERT_EQ(5u, names.size());
    EXPECT_EQ((std::vector<std::string>{"Runeveil Test.txt", "Launcher/Games.xml", "Launcher/GamesAddendum.xml"}),
              std::vector<std::string>(names.begin(), names.begin() + 3));
    EXPECT_EQ((std::vector<std::string>{"Launcher/Logs/OrvaneApplicationLog.txt",
                                        "Launcher/Logs/OrvaneApplicationLog_old.txt"}),
              SortedTail(names, 3));
}

TEST(ReportArchiveSharedRegistry, MissingLauncherFilesAndFoldersAreLeftOut) {
    TempDir dir;
    SelectedGame game(3);
    const std::string report = WriteReport(dir, "Solmere report\r\n");
    {
        // The value names a folder that is not there.
        RegistryKey key(HKEY_LOCAL_MACHINE, kLauncherKey);
        key.SetString("InstallPath", dir.File("gone\\Launcher.exe"));
        GetLauncherInstallPath();
        ASSERT_TRUE(BuildReportArchive(dir.File("a.zip").c_str(), "Solmere Test.txt", report.c_str()));
        EXPECT_EQ((std::vector<std::string>{"Solmere Test.txt"}), MemberNames(dir.File("a.zip")));
    }
    {
        // Only the addendum exists.
        Launcher launcher(dir.File("L"));
        ASSERT_TRUE(WriteWholeFile(launcher.File("Config\\Default\\GamesAddendum.xml"), "<Addendum/>"));
        ASSERT_TRUE(BuildReportArchive(dir.File("b.zip").c_str(), "Solmere Test.txt", report.c_str()));
        EXPECT_EQ((std::vector<std::string>{"Solmere Test.txt", "Launcher/GamesAddendum.xml"}),
                  MemberNames(dir.File("b.zip")));
    }
}

TEST(ReportArchiveSharedRegistry, RuneveilTwoAddsItsLogFilesOnEveryPrefix) {
    TempDir dir;
    NoLauncher noLauncher;
    Runeveil2Folder folder;
    ASSERT_TRUE(WriteWholeFile(folder.File("Client.log"), "client log\r\n"));
    ASSERT_TRUE(WriteWholeFile(folder.File("Crash.LOG"), "crash log\r\n"));
    ASSERT_TRUE(WriteWholeFile(folder.File("notes.txt"), "notes"));
    ASSERT_TRUE(WriteWholeFile(folder.File("old.log.bak"), "backup"));
    ASSERT_TRUE(WriteWholeFile(folder.File("Patch.log"), "held open by the game"));
    ASSERT_TRUE(CreateDirectoryA(folder.File("archive.log").c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(folder.File("archive.log\\inner.log"), "nested"));
    FileHolder holder(folder.File("Patch.log"));
    ASSERT_TRUE(holder.Ready());
    SelectedGame game(1);

    const std::string report = WriteReport(dir, "Runeveil 2 report\r\n");
    ASSERT_TRUE(BuildReportArchive(dir.File("Runeveil 2 Test.zip").c_str(), "Runeveil 2 Test.txt", report.c_str()));
    std::vector<ZipMember> members;
    ASSERT_TRUE(ReadZipMembers(ReadWholeFile(dir.File("Runeveil 2 Test.zip")), &members));
    std::vector<std::string> names;
    for (const ZipMember& m : members) names.push_back(m.name + "=" + m.data);
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ("Runeveil 2 Test.txt=Runeveil 2 report\r\n", names[0]);
    EXPECT_EQ((std::vector<std::string>{"Skellan/Logs/Client.log=client log\r\n",
                                        "Skellan/Logs/Crash.LOG=crash log\r\n"}),
              SortedTail(names, 1));
}

TEST(ReportArchiveSharedRegistry, LogsOfFourGibibytesAreLeftOutAndTheArchiveStaysValid) {
    // Sparse logs of exactly 4 GiB and of 4 GiB and a few bytes: their sizes
    // do not fit the archive's 32-bit fields, and read as their low 32 bits
    // they would pass for tiny files. Both are left out before a byte of them
    // is read; the members around them are whole.
    TempDir dir;
    Launcher launcher(dir.File("Orvane Launcher"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("Config\\Default\\Games.xml"), "<Games/>"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("OrvaneApplicationLog.txt"), "log"));
    ASSERT_TRUE(WriteWholeFile(launcher.File("OrvaneApplicationLog_huge.txt"), "huge"));
    ASSERT_TRUE(testing_support::SetFileSize(launcher.File("OrvaneApplicationLog_huge.txt"), (1ULL << 32) + 4));
    Runeveil2Folder runeveil2;
    ASSERT_TRUE(WriteWholeFile(runeveil2.File("Client.log"), "client"));
    ASSERT_TRUE(WriteWholeFile(runeveil2.File("Huge.log"), ""));
    ASSERT_TRUE(testing_support::SetFileSize(runeveil2.File("Huge.log"), 1ULL << 32));
    SelectedGame game(1);

    const std::string report = WriteReport(dir, "Runeveil 2 report\r\n");
    const DWORD start = GetTickCount();
    ASSERT_TRUE(BuildReportArchive(dir.File("Runeveil 2 Test.zip").c_str(), "Runeveil 2 Test.txt", report.c_str()));
    EXPECT_LT(GetTickCount() - start, 10000u) << "the huge files were read";
    std::vector<ZipMember> members;
    ASSERT_TRUE(ReadZipMembers(ReadWholeFile(dir.File("Runeveil 2 Test.zip")), &members));
    std::vector<std::string> names;
    for (const ZipMember& m : members) names.push_back(m.name + "=" + m.data);
    ASSERT_EQ(4u, names.size());
    EXPECT_EQ((std::vector<std::string>{"Runeveil 2 Test.txt=Runeveil 2 report\r\n", "Launcher/Games.xml=<Games/>",
                                        "Launcher/Logs/OrvaneApplicationLog.txt=log"}),
              std::vector<std::string>(names.begin(), names.begin() + 3));
    EXPECT_EQ("Skellan/Logs/Client.log=client", names[3]);
}

TEST(ReportArchiveSharedRegistry, ALauncherPathLongerThanItsBufferIsNoLauncher) {
    // An InstallPath of 300 characters does not fit the 260-character buffer;
    // cut, it would name some other folder. The launcher counts as absent.
    TempDir dir;
    SelectedGame game(2);
    const std::string report = WriteReport(dir, "Kharros II report\r\n");
    RegistryKey key(HKEY_LOCAL_MACHINE, kLauncherKey);
    key.SetString("InstallPath", "C:\\" + std::string(290, 'x') + "\\Launcher.exe");
    EXPECT_EQ(nullptr, GetLauncherInstallPath());
    ASSERT_TRUE(BuildReportArchive(dir.File("a.zip").c_str(), "Kharros II Test.txt", report.c_str()));
    EXPECT_EQ((std::vector<std::string>{"Kharros II Test.txt"}), MemberNames(dir.File("a.zip")));
}

TEST(ReportArchiveSharedRegistry, LogsWhosePathsWouldPassTheLimitAreSkippedInADeepDocumentsFolder) {
    // From Vista on the logs are in "<documents>\Runeveil 2". With documents
    // 240 characters deep the folder is 251 characters: "a.log" still fits
    // in 259, "Client.log" does not and is left out rather than cut.
    if (ExpectedGeneration() <= 6) GTEST_SKIP() << "the Runeveil 2 folder comes from the registry on XP";
    TempDir dir;
    NoLauncher noLauncher;
    const std::string documents = testing_support::MakeDeepFolder(dir.path(), 240);
    ASSERT_EQ(240u, documents.size());
    DocumentsFolder personal(documents);
    const std::string folder = documents + "\\Runeveil 2";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(WriteWholeFile(folder + "\\a.log", "short name"));
    // The long name is made through the short path of its folder.
    char shortFolder[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(folder.c_str(), shortFolder, sizeof shortFolder));
    ASSERT_TRUE(WriteWholeFile(std::string(shortFolder) + "\\Client.log", "long name"));
    ASSERT_EQ(folder, GetRuneveil2Folder());
    SelectedGame game(1);

    const std::string report = WriteReport(dir, "Runeveil 2 report\r\n");
    ASSERT_TRUE(BuildReportArchive(dir.File("a.zip").c_str(), "Runeveil 2 Test.txt", report.c_str()));
    EXPECT_EQ((std::vector<std::string>{"Runeveil 2 Test.txt", "Skellan/Logs/a.log"}), MemberNames(dir.File("a.zip")));
}

TEST(ReportArchiveSharedRegistry, AReportThatCannotBeAddedLeavesNoArchiveAtAll) {
    TempDir dir;
    NoLauncher noLauncher;
    SelectedGame game(0);
    const std::string archive = dir.File("Runeveil Test.zip");
    ASSERT_TRUE(WriteWholeFile(archive, "an archive of an earlier run"));
    EXPECT_FALSE(BuildReportArchive(archive.c_str(), "Runeveil Test.txt", dir.File("missing.tmp").c_str()));
    EXPECT_FALSE(FileExists(archive));

    // A member name the format cannot hold is a failed report member too.
    const std::string report = WriteReport(dir, "report");
    ASSERT_TRUE(WriteWholeFile(archive, "an archive of an earlier run"));
    EXPECT_FALSE(BuildReportArchive(archive.c_str(), std::string(260, 'r').c_str(), report.c_str()));
    EXPECT_FALSE(FileExists(archive));

    // Missing arguments touch nothing.
    ASSERT_TRUE(WriteWholeFile(archive, "an archive of an earlier run"));
    EXPECT_FALSE(BuildReportArchive(archive.c_str(), "", report.c_str()));
    EXPECT_FALSE(BuildReportArchive(archive.c_str(), "Runeveil Test.txt", ""));
    EXPECT_FALSE(BuildReportArchive(archive.c_str(), NULL, report.c_str()));
    EXPECT_FALSE(BuildReportArchive("", "Runeveil Test.txt", report.c_str()));
    EXPECT_EQ("an archive of an earlier run", ReadWholeFile(archive));
}

TEST(ReportArchiveSharedRegistry, NamesLongerThan259CharactersAreSkippedNotCut) {
    // A short launcher folder, so that the file paths fit in 259 characters
    // while the member names, under "Launcher\Logs\", reach the limit.
    const std::string folder = "C:\\dgnL";
    RemoveTree(folder);
    {
        Launcher launcher(folder);
        const std::string fits = "OrvaneApplicationLog" + std::string(259 - 14 - 20 - 4, 'f') + ".txt";
        const std::string tooLong = "OrvaneApplicationLog" + std::string(259 - 14 - 20 - 4 + 2, 't') + ".txt";
        ASSERT_EQ(245u, fits.size());
        ASSERT_TRUE(WriteWholeFile(launcher.File(fits), "fits"));
        ASSERT_TRUE(WriteWholeFile(launcher.File(tooLong), "too long"));
        ZipHandle zip = ZipCreateFile((folder + "\\a.zip").c_str());
        ASSERT_NE(nullptr, zip);
        EXPECT_EQ(1, CollectLauncherFiles(zip));
        EXPECT_FALSE(AddFileToArchive(zip, "Launcher\\Logs", launcher.File(tooLong).c_str()));
        EXPECT_TRUE(AddFileToArchive(zip, "L", launcher.File(tooLong).c_str()));
        EXPECT_EQ(ZipOk, ZipClose(zip));
        const std::vector<std::string> names = MemberNames(folder + "\\a.zip");
        ASSERT_EQ(2u, names.size());
        EXPECT_EQ("Launcher/Logs/" + fits, names[0]);
        EXPECT_EQ(259u, names[0].size());
        EXPECT_EQ("L/" + tooLong, names[1]);
    }
    RemoveTree(folder);
    // A folder word and name beyond any buffer, and calls without an archive.
    EXPECT_FALSE(AddFileToArchive(NULL, "Launcher", "C:\\x.txt"));
    EXPECT_EQ(0, CollectLauncherFiles(NULL));
    EXPECT_EQ(0, CollectRuneveil2Logs(NULL));
}

// After the progress dialog's close box the run goes on unseen and the player
// may pick another game: the archive still follows the game the run tests.
TEST(ReportArchiveSharedRegistry, TheRunsGameDecidesOnTheLogsNotTheSelectionMadeSince) {
    TempDir dir;
    NoLauncher noLauncher;
    Runeveil2Folder folder;
    ASSERT_TRUE(WriteWholeFile(folder.File("Client.log"), "client log\r\n"));
    const std::string report = WriteReport(dir, "report\r\n");

    struct Case {
        int runGame;
        int selectedNow;
        const char* archive;
        size_t members;
    };
    const Case cases[] = {{1, 0, "two.zip", 2u}, {3, 1, "solmere.zip", 1u}};
    for (const Case& c : cases) {
        SelectedGame game(c.selectedNow);
        const std::string archive = dir.File(c.archive);
        bool built = false;
        std::thread worker([&] {
            SetThreadRunGame(c.runGame);
            built = BuildReportArchive(archive.c_str(), "Test.txt", report.c_str());
        });
        worker.join();
        ASSERT_TRUE(built);
        std::vector<ZipMember> members;
        ASSERT_TRUE(ReadZipMembers(ReadWholeFile(archive), &members));
        EXPECT_EQ(c.members, members.size()) << "run game " << c.runGame;
    }
    // A thread that runs no test follows the selection.
    EXPECT_EQ(kNoGame, GetRunGame());
}
