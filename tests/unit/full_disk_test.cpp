// What a full disk does to a run: the report that lost writes and the archive
// whose central directory no longer fits. These tests need a small file
// system of their own and run only when tests/e2e/full_disk.py starts them
// inside a private mount namespace with a tmpfs of a few hundred kilobytes;
// DIAGNOVA_FULL_DISK_FOLDER names that tmpfs as a Windows path. Elsewhere they
// skip, and the unit test discovery leaves them out.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "catalog/game_catalog.h"
#include "collect/run_control.h"
#include "collect/system/game_folders.h"
#include "message_box_watcher.h"
#include "report/report_seal.h"
#include "run/report_archive.h"
#include "run/test_run.h"
#include "test_support.h"

using testing_support::MessageBoxWatcher;
using testing_support::ReadWholeFile;
using testing_support::RegistryKey;
using testing_support::SetFileSize;
using testing_support::TempDir;
using testing_support::TempFolderOverride;
using testing_support::WriteWholeFile;

namespace {

const unsigned kPageBytes = 4096;

std::string FullDiskFolder() {
    const char* folder = getenv("DIAGNOVA_FULL_DISK_FOLDER");
    return folder != NULL ? folder : "";
}

// A file that takes every free page of the small file system; Free gives
// pages back, at the end of the file system's space.
class Filler {
public:
    explicit Filler(const std::string& folder) : path_(folder + "\\filler.bin") {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_NE(INVALID_HANDLE_VALUE, file);
        std::string page(kPageBytes, 'f');
        DWORD written = 0;
        while (WriteFile(file, page.data(), kPageBytes, &written, NULL) && written == kPageBytes) bytes_ += kPageBytes;
        CloseHandle(file);
        EXPECT_GT(bytes_, 16u * kPageBytes);
    }
    ~Filler() { DeleteFileA(path_.c_str()); }
    void Free(unsigned pages) {
        bytes_ -= pages * kPageBytes;
        EXPECT_TRUE(SetFileSize(path_, bytes_));
    }

private:
    std::string path_;
    unsigned long long bytes_ = 0;
};

Filler* g_filler = NULL;
std::string g_archivedReport;
bool g_archiveCalled = false;

// Writes 16 KB of lines into a file system with 8 KB free: the writes fail
// part of the way. Then space comes free again (another program deletes a
// file) and the later lines and sections are written as if nothing happened.
void WriteThroughAFullDisk(ReportSink sink) {
    WriteSectionBanner(sink, "first section");
    for (int line = 0; line < 256; ++line) WriteFormatted(sink, "line %03d of the first section .........\r\n", line);
    g_filler->Free(16);
    WriteEmptyLine(sink);
}

void WriteSecondSection(ReportSink sink) {
    WriteSectionBanner(sink, "second section");
    WriteLine(sink, "written after the disk had room again");
    WriteEmptyLine(sink);
}

void Nothing(ReportSink) {}
void NoServers(ReportSink, int, const ServerEntry*) {}

bool RecordArchive(const char*, const char*, const char* reportPath) {
    g_archiveCalled = true;
    g_archivedReport = ReadWholeFile(reportPath);
    return true;
}

}  // namespace

TEST(FullDisk, AReportThatLostWritesIsNotSealedAndTheCheckSaysSo) {
    const std::string folder = FullDiskFolder();
    if (folder.empty()) GTEST_SKIP() << "needs the small file system of tests/e2e/full_disk.py";

    Filler filler(folder);
    filler.Free(2);
    g_filler = &filler;
    ReportStepWriters writers = DefaultReportStepWriters();
    writers.uacStatus = WriteThroughAFullDisk;
    writers.loggedOnUsers = WriteSecondSection;
    writers.installedGames = writers.installedDirectX = writers.dxDiag = writers.osVersion = writers.systemInfo =
        writers.adapterSettings = writers.proxySettings = writers.lspCatalog = writers.bhoList =
            writers.externalAddress = writers.networkConnections = writers.hostsFile = writers.processTree =
                writers.registryDump = Nothing;
    writers.serverConnectivity = writers.serverAddresses = writers.routeTraces = NoServers;
    writers.buildArchive = RecordArchive;
    SetReportStepWriters(writers);
    SetSelectedGame(2);

    TestRunParams* params = static_cast<TestRunParams*>(calloc(1, sizeof(TestRunParams)));
    params->runId = 41;
    params->gameIndex = 2;
    strcpy(params->reportName, "Kharros II Test.txt");
    strcpy(params->archivePath, "C:\\unused.zip");
    g_progressWindow.runId = 41;
    MessageBoxWatcher watcher;
    {
        TempFolderOverride temp(folder);
        TestWorker(params);  // frees params
    }
    watcher.Join();
    SetReportStepWriters(DefaultReportStepWriters());
    g_filler = NULL;

    // The report has its hole and its later sections, but no trailer; the
    // check right after the run fails and says so, and the archive is still
    // made, with the report that support staff will find unsealed.
    ASSERT_TRUE(g_archiveCalled);
    EXPECT_NE(std::string::npos, g_archivedReport.find("written after the disk had room again"));
    EXPECT_EQ(std::string::npos, g_archivedReport.find("line 255 of the first section"));
    EXPECT_EQ(std::string::npos, g_archivedReport.find("--- DIGEST ---")) << "a report with a hole was sealed";
    EXPECT_TRUE(watcher.seen);
    EXPECT_EQ("Error", watcher.caption);
    EXPECT_EQ("Checksum mismatched", watcher.text);
}

TEST(FullDisk, AnArchiveWhoseCentralDirectoryDoesNotFitIsDeleted) {
    const std::string folder = FullDiskFolder();
    if (folder.empty()) GTEST_SKIP() << "needs the small file system of tests/e2e/full_disk.py";

    // The report is stored (its member name ends in .zip), so header and
    // data take exactly three pages; the central directory would need a
    // fourth, which the file system does not have.
    TempDir dir;
    const std::string name = "Report.zip";
    const std::string report = dir.File("report.txt");
    ASSERT_TRUE(WriteWholeFile(report, std::string(3 * kPageBytes - 30 - name.size() - 17, 'r')));
    RegistryKey noLauncher(HKEY_LOCAL_MACHINE, "Software\\Orvane\\Launcher");
    GetLauncherInstallPath();
    SetSelectedGame(2);
    const std::string archive = folder + "\\Kharros II Test.zip";
    {
        Filler filler(folder);
        filler.Free(3);
        EXPECT_FALSE(BuildReportArchive(archive.c_str(), name.c_str(), report.c_str()));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(archive.c_str())) << "a broken archive was left";
    }
    // With room for it, the same archive is made whole.
    EXPECT_TRUE(BuildReportArchive(archive.c_str(), name.c_str(), report.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(archive.c_str()));
    DeleteFileA(archive.c_str());
}
