#include "collect/system/directx.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "collect/run_control.h"
#include "common/fs_redirection.h"
#include "common/windows_version.h"
#include "test_support.h"
#include "tool_stand_in.h"

using testing_support::ReadWholeFile;
using testing_support::ReportFile;
using testing_support::StandInToolSource;
using testing_support::TempDir;
using testing_support::WriteWholeFile;
using testing_support::SectionBanner;
using testing_support::ExpectedGeneration;
using testing_support::ExpectedWindows64Bit;
using testing_support::ExpectedWow64;

namespace {

std::string TestFile(const std::string& name) {
    std::string source = StandInToolSource();
    return source.substr(0, source.rfind('\\') + 1) + name;
}

// The system folder as the shipped 32-bit program names it; the 64-bit
// build reaches the 32-bit one as SysWOW64.
std::string SystemFolder(bool native) {
    char folder[MAX_PATH];
#if defined(_WIN64)
    if (!native && ExpectedWindows64Bit()) {
        GetSystemWow64DirectoryA(folder, sizeof folder);
        return folder;
    }
#else
    (void)native;
#endif
    GetSystemDirectoryA(folder, sizeof folder);
    return folder;
}

// A file of ours in a system folder for one test: the 32-bit one, or the
// native one (the same path, reached with redirection switched off). A file
// already there under that name is set aside and put back afterwards.
class SystemFolderFile {
public:
    SystemFolderFile(const std::string& source, const std::string& name, bool native)
        : native_(native), path_(SystemFolder(native) + "\\" + name), saved_(path_ + ".dgnsaved") {
        Redirection off(native_);
        // A saved original left by an earlier run that was killed goes back
        // first, so the original is never overwritten.
        if (GetFileAttributesA(saved_.c_str()) != INVALID_FILE_ATTRIBUTES) {
            MoveFileExA(saved_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
        setAside_ = MoveFileExA(path_.c_str(), saved_.c_str(), 0) != FALSE;
        placed_ = CopyFileA(source.c_str(), path_.c_str(), FALSE) != FALSE;
        EXPECT_TRUE(placed_) << path_ << " " << GetLastError();
    }
    ~SystemFolderFile() {
        Redirection off(native_);
        DeleteFileA(path_.c_str());
        if (setAside_) MoveFileExA(saved_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
    }

private:
    struct Redirection {
        explicit Redirection(bool native) : guard(native ? new FsRedirectionGuard : nullptr) {}
        ~Redirection() { delete guard; }
        FsRedirectionGuard* guard;
    };
    bool native_;
    std::string path_;
    std::string saved_;
    bool setAside_ = false;
    bool placed_ = false;
};

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines = testing_support::SplitCrLfLines(text);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST(D3dxScan, ListsVersionedD3dxFilesOfAnyCaseAndSkipsTheRest) {
    TempDir dir;
    ASSERT_TRUE(CopyFileA(TestFile("d3dx_fixture_a.dll").c_str(), dir.File("d3dx9_43.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(TestFile("d3dx_fixture_b.dll").c_str(), dir.File("D3DX10_dgn.DLL").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(TestFile("d3dx_fixture_a.dll").c_str(), dir.File("xd3dx9_43.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(TestFile("d3dx_fixture_a.dll").c_str(), dir.File("d3d9.dll").c_str(), FALSE));
    // No version resource: left out silently.
    ASSERT_TRUE(CopyFileA(StandInToolSource().c_str(), dir.File("d3dx_noversion.dll").c_str(), FALSE));
    ASSERT_TRUE(CreateDirectoryA(dir.File("d3dx_folder").c_str(), NULL));

    ReportFile report;
    ScanD3dxFolder(report.sink(), " - x86\r\n", dir.path().c_str());
    std::string contents = report.Contents();
    ASSERT_EQ(0u, contents.find(" - x86\r\n")) << contents;
    // The version text ends with its own line feed before the line's CR LF.
    std::vector<std::string> expected = {"D3DX10_dgn.DLL - 10.0.17763.132\n", "d3dx9_43.dll - 9.29.952.3111\n"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, SortedLines(contents.substr(8))) << contents;
}

TEST(D3dxScan, MissingOrEmptyFolderGivesOnlyTheLabel) {
    TempDir dir;
    ReportFile report;
    ScanD3dxFolder(report.sink(), " - x64\r\n", dir.path().c_str());
    ScanD3dxFolder(report.sink(), " - x86\r\n", dir.File("missing").c_str());
    EXPECT_EQ(" - x64\r\n - x86\r\n", report.Contents());
}

TEST(InstalledDirectXPrefixSystemFiles, ListsThe32BitAndUnderWow64TheNativeSystemFolderOnEveryPrefix) {
    ASSERT_EQ(ExpectedWow64(), IsWow64());
    SystemFolderFile x86(TestFile("d3dx_fixture_a.dll"), "d3dx_dgnfixture_x86.dll", false);
    // Under WOW64 this lands in the native folder; on a 32-bit system it is
    // the only system folder and the x86 listing shows it.
    SystemFolderFile x64(TestFile("d3dx_fixture_b.dll"), "d3dx_dgnfixture_x64.dll", true);

    ReportFile report;
    WriteInstalledDirectX(report.sink());
    std::string contents = report.Contents();
    std::string head = SectionBanner("Installed DirectX") + " - x86\r\n";
    ASSERT_EQ(0u, contents.find(head)) << contents;
    ASSERT_GE(contents.size(), head.size() + 2);
    EXPECT_EQ("\r\n", contents.substr(contents.size() - 2));
    const std::string x86Line = "d3dx_dgnfixture_x86.dll - 9.29.952.3111\n\r\n";
    const std::string x64Line = "d3dx_dgnfixture_x64.dll - 10.0.17763.132\n\r\n";
    size_t x64Label = contents.find(" - x64\r\n");
    std::string x86Part = contents.substr(head.size(), x64Label == std::string::npos ? std::string::npos
                                                                                      : x64Label - head.size());
    EXPECT_NE(std::string::npos, x86Part.find(x86Line)) << contents;
    if (ExpectedWindows64Bit()) {
        ASSERT_NE(std::string::npos, x64Label) << contents;
        std::string x64Part = contents.substr(x64Label);
        EXPECT_EQ(std::string::npos, x86Part.find(x64Line)) << contents;
        EXPECT_NE(std::string::npos, x64Part.find(x64Line)) << contents;
        EXPECT_EQ(std::string::npos, x64Part.find(x86Line)) << contents;
    } else {
        EXPECT_EQ(std::string::npos, x64Label) << contents;
        EXPECT_NE(std::string::npos, x86Part.find(x64Line)) << contents;
    }
    // Every other line is a library with its version, then the section's empty line.
    for (const std::string& line : SortedLines(contents.substr(head.size()))) {
        if (line.empty() || line == " - x64") continue;
        EXPECT_EQ(0, _strnicmp(line.c_str(), "d3dx", 4)) << line;
        EXPECT_NE(std::string::npos, line.find(" - ")) << line;
        EXPECT_EQ('\n', line.back()) << line;
    }
}

namespace {

// Plays dxdiag for one test: our stand-in in place of the system's tool in
// the folder dxdiag is started from (the native one under WOW64), told what
// to do through the environment it inherits.
class StandInDxDiag {
public:
    explicit StandInDxDiag(const char* mode)
        : tool_(StandInToolSource(), Name() + ".exe", true), log_(dir_.File("log.txt")) {
        SetEnvironmentVariableA("DGN_STANDIN_DXDIAG", mode);
        SetEnvironmentVariableA("DGN_STANDIN_LOG", log_.c_str());
        SetEnvironmentVariableA("DGN_STANDIN_SOURCE", dir_.File("source.txt").c_str());
    }
    ~StandInDxDiag() {
        SetEnvironmentVariableA("DGN_STANDIN_DXDIAG", NULL);
        SetEnvironmentVariableA("DGN_STANDIN_LOG", NULL);
        SetEnvironmentVariableA("DGN_STANDIN_SOURCE", NULL);
    }
    // Wine always starts its built-in dxdiag for a system folder file of that
    // name, so the stand-in plays it under a name of its own.
    static std::string Name() { return "dgndxdiag" + std::to_string(GetCurrentProcessId()); }
    void SetReport(const std::string& bytes) { ASSERT_TRUE(WriteWholeFile(dir_.File("source.txt"), bytes)); }
    const std::string& folder() const { return dir_.path(); }
    const std::string& logPath() const { return log_; }
    // The command line the stand-in was started with ("" when it never ran).
    std::string CommandLine() const {
        std::string log = ReadWholeFile(log_);
        size_t end = log.find("\r\n");
        return end == std::string::npos ? std::string() : log.substr(0, end);
    }
    DWORD ProcessId() const {
        std::string log = ReadWholeFile(log_);
        size_t start = log.find("\r\n");
        return start == std::string::npos ? 0 : strtoul(log.c_str() + start + 2, NULL, 10);
    }

private:
    TempDir dir_;
    SystemFolderFile tool_;
    std::string log_;
};

std::string ExpectedSwitches(const std::string& tool = StandInDxDiag::Name()) {
    std::string line = tool + " ";
    line += ExpectedGeneration() >= 9 ? "/dontskip" : "";
    line += " /whql:off ";
    line += ExpectedWindows64Bit() ? "/64bit" : "";
    line += " /t ";
    return line;
}

std::string TemporaryFolder() {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return folder;
}

}  // namespace

TEST(DxDiagPrefixSystemFiles, CopiesTheReportUpToTheComponentsHeadingOnEveryPrefix) {
    StandInDxDiag dxdiag("copy");
    std::string before;
    while (before.size() < 1500) before += "   Display Memory: " + std::to_string(before.size()) + " MB\r\n";
    dxdiag.SetReport("------------------\r\nSystem Information\r\n------------------\r\n" + before +
                     "------------------\r\nDirectX Components\r\n------------------\r\n   ddraw.dll: 6.1\r\n");

    ReportFile report;
    WriteDxDiagWithTool(report.sink(), StandInDxDiag::Name().c_str());

    std::string commandLine = dxdiag.CommandLine();
    ASSERT_EQ(0u, commandLine.find(ExpectedSwitches())) << commandLine;
    std::string temporary = commandLine.substr(ExpectedSwitches().size());
    EXPECT_EQ(0u, temporary.find(TemporaryFolder() + "DGN")) << temporary;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temporary.c_str())) << "temporary report left behind";
    EXPECT_EQ(SectionBanner("Running DirectX diagnostic") + "*--> " + commandLine + " <--*\r\n\r\n" +
                  "------------------\r\nSystem Information\r\n------------------\r\n" + before + "\r\n",
              report.Contents());
}

TEST(DxDiagPrefixSystemFiles, MissingReportFileGivesTheFailureTextWithoutEmptyLineOnEveryPrefix) {
    StandInDxDiag dxdiag("nofile");
    ReportFile report;
    WriteDxDiagWithTool(report.sink(), StandInDxDiag::Name().c_str());
    std::string commandLine = dxdiag.CommandLine();
    ASSERT_EQ(0u, commandLine.find(ExpectedSwitches())) << commandLine;
    EXPECT_EQ(SectionBanner("Running DirectX diagnostic") + "*--> " + commandLine + " <--*\r\n\r\n" +
                  "  DirectX Diagnostics failed\r\n",
              report.Contents());
}

TEST(DxDiagPrefixSystemFiles, ADeepTemporaryFolderStillGetsTheWholeReportOnEveryPrefix) {
    // A temporary folder of 230 characters: the report's name fits in 255,
    // the command line with dxdiag's switches in front of it does not. The
    // tool still runs with the whole name; only the heading is cut at 255.
    StandInDxDiag dxdiag("copy");
    dxdiag.SetReport("------------------\r\nSystem Information\r\n------------------\r\n");
    ReportFile report;
    TempDir dir;
    const std::string deep = testing_support::MakeDeepFolder(dir.path(), 230);
    ASSERT_EQ(230u, deep.size());
    {
        testing_support::TempFolderOverride temp(deep);
        WriteDxDiagWithTool(report.sink(), StandInDxDiag::Name().c_str());
    }
    std::string commandLine = dxdiag.CommandLine();
    ASSERT_EQ(0u, commandLine.find(ExpectedSwitches() + deep + "\\DGN")) << commandLine;
    EXPECT_GT(commandLine.size(), 255u);
    EXPECT_EQ(SectionBanner("Running DirectX diagnostic") + ("*--> " + commandLine + " <--*").substr(0, 255) +
                  "------------------\r\nSystem Information\r\n------------------\r\n\r\n",
              report.Contents());
}

namespace {

struct CancelWhenStarted {
    std::string folder;
    std::string log;
    HANDLE cancel;
};

// Sets the cancel event once the stand-in has written its log line, woken by
// change notifications on the log's folder rather than by polling.
DWORD WINAPI CancelWhenStartedThread(void* parameter) {
    CancelWhenStarted* job = static_cast<CancelWhenStarted*>(parameter);
    HANDLE change = FindFirstChangeNotificationA(job->folder.c_str(), FALSE,
                                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                     FILE_NOTIFY_CHANGE_LAST_WRITE);
    DWORD deadline = GetTickCount() + 20000;
    auto complete = [job] {
        std::string log = ReadWholeFile(job->log);
        return log.size() >= 4 && log.compare(log.size() - 2, 2, "\r\n") == 0 && log.find("\r\n") < log.size() - 2;
    };
    while (!complete() && GetTickCount() < deadline) {
        if (change == INVALID_HANDLE_VALUE) {
            Sleep(50);
            continue;
        }
        WaitForSingleObject(change, 500);
        FindNextChangeNotification(change);
    }
    if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
    SetEvent(job->cancel);
    return 0;
}

}  // namespace

TEST(DxDiagPrefixSystemFiles, CancelEndsAHangingDxDiagAtOnceOnEveryPrefix) {
    // The stand-in has begun its file and holds it open, as dxdiag does while
    // it writes; the step must still leave no file behind.
    StandInDxDiag dxdiag("partial");
    PrepareRunCancelEvent();
    HANDLE cancel = GetRunCancelEvent();
    ASSERT_NE((HANDLE)NULL, cancel);
    CancelWhenStarted job = {dxdiag.folder(), dxdiag.logPath(), cancel};
    HANDLE thread = CreateThread(NULL, 0, CancelWhenStartedThread, &job, 0, NULL);
    ASSERT_NE((HANDLE)NULL, thread);

    ReportFile report;
    DWORD started = GetTickCount();
    WriteDxDiagWithTool(report.sink(), StandInDxDiag::Name().c_str());
    DWORD elapsed = GetTickCount() - started;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ResetEvent(cancel);

    std::string commandLine = dxdiag.CommandLine();
    ASSERT_EQ(0u, commandLine.find(ExpectedSwitches())) << commandLine;
    EXPECT_EQ(SectionBanner("Running DirectX diagnostic") + "*--> " + commandLine + " <--*\r\n\r\n\r\n", report.Contents());
    EXPECT_LT(elapsed, 15000u);
    // The hanging tool is gone: nothing can still hold its temporary file.
    std::string temporary = commandLine.substr(ExpectedSwitches().size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temporary.c_str())) << temporary;
    DWORD pid = dxdiag.ProcessId();
    ASSERT_NE(0u, pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process != NULL) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 0)) << "dxdiag still runs";
        CloseHandle(process);
    }
}

TEST(DxDiagPrefixSystemFiles, PrefixsOwnDxDiagReportLandsInTheSectionOnEveryPrefix) {
    if (ExpectedWindows64Bit()) {
        // Wine 8's dxdiag does not know "/64bit" and never ends with it (on
        // Windows the switch selects the native report); the 32-bit prefix runs it.
        GTEST_SKIP() << "Wine's dxdiag hangs on /64bit";
    }
    ReportFile report;
    WriteDxDiag(report.sink());
    std::string contents = report.Contents();
    std::string head = SectionBanner("Running DirectX diagnostic") + "*--> " + ExpectedSwitches("dxdiag") + TemporaryFolder() + "DGN";
    EXPECT_EQ(0u, contents.find(head)) << contents;
    // Wine's short report has no components part, so it is copied whole.
    EXPECT_NE(std::string::npos, contents.find("System Information")) << contents;
    EXPECT_EQ(std::string::npos, contents.find("failed")) << contents;
    EXPECT_EQ("\r\n", contents.substr(contents.size() - 2));
}
