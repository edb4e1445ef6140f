#include "collect/network/console_tool.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "tool_stand_in.h"

using testing_support::ReportFile;
using testing_support::StandInTool;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

std::string Title(const std::string& commandLine) { return "*--> " + commandLine + " <--*\r\n\r\n"; }

std::string Pattern(size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) bytes += (char)('a' + i % 1000 % 26);
    return bytes;
}

bool CopyFileToReport(const std::string& path, HANDLE report) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    bool copied = CopyStreamToReport(file, report);
    CloseHandle(file);
    return copied;
}

}  // namespace

TEST(ConsoleTool, CaptureFormWritesTitleLineThenTheToolsOutput) {
    StandInTool tool("dgnrun");
    ReportFile report;
    std::string line = tool.name() + " out hello";
    EXPECT_TRUE(RunConsoleTool(report.sink(), line.c_str(), NULL));
    EXPECT_EQ(Title(line) + "hello\r\n", report.Contents());
}

TEST(ConsoleTool, ToolPrintingNothingLeavesOnlyTheTitle) {
    StandInTool tool("dgnrun");
    ReportFile report;
    EXPECT_TRUE(RunConsoleToolWithArgs(report.sink(), tool.name().c_str(), "silent"));
    EXPECT_EQ(Title(tool.name() + " silent"), report.Contents());
}

TEST(ConsoleTool, StandardErrorNeverReachesTheReport) {
    StandInTool tool("dgnrun");
    ReportFile report;
    EXPECT_TRUE(RunConsoleToolWithArgs(report.sink(), tool.name().c_str(), "both visible hidden-text"));
    EXPECT_EQ(Title(tool.name() + " both visible hidden-text") + "visible\r\n", report.Contents());
}

TEST(ConsoleTool, ToolWithoutArgumentsAndWithExeSuffixAreFoundInTheSystemFolder) {
    StandInTool tool("dgnrun");
    ReportFile report;
    EXPECT_TRUE(RunConsoleToolWithArgs(report.sink(), (tool.name() + ".exe").c_str(), NULL));
    std::string contents = report.Contents();
    EXPECT_EQ(0u, contents.find(Title(tool.name() + ".exe") + "stand-in ran: ")) << contents;
}

TEST(ConsoleTool, MissingToolGivesTitleAndCreateProcessLine) {
    ReportFile report;
    EXPECT_FALSE(RunConsoleToolWithArgs(report.sink(), "dgn_no_such_tool", "/all"));
    EXPECT_EQ(Title("dgn_no_such_tool /all") + "CreateProcess\r\n", report.Contents());
}

TEST(ConsoleTool, CommandLineNamingAPathIsRefused) {
    // Only tools of the system folder run; a path in the first word would
    // leave it, even when that path names a real program.
    TempDir dir;
    StandInTool tool("dgnrun");
    std::string elsewhere = dir.File("tool.exe");
    ASSERT_TRUE(CopyFileA(tool.path().c_str(), elsewhere.c_str(), FALSE));
    ReportFile report;
    std::string line = elsewhere + " out hello";
    EXPECT_FALSE(RunConsoleTool(report.sink(), line.c_str(), NULL));
    EXPECT_EQ(Title(line) + "CreateProcess\r\n", report.Contents());
}

TEST(ConsoleTool, OverlongCommandLineCutsTheTitleButReachesTheToolWhole) {
    StandInTool tool("dgnrun");
    ReportFile report;
    std::string text(300, 'x');
    std::string line = tool.name() + " out " + text;
    EXPECT_TRUE(RunConsoleTool(report.sink(), line.c_str(), NULL));
    EXPECT_EQ(Title(line).substr(0, 255) + text + "\r\n", report.Contents());
}

TEST(ConsoleTool, LargeOutputIsCopiedWhole) {
    // Far more than a pipe buffer: the copy must keep reading while the tool writes.
    StandInTool tool("dgnrun");
    ReportFile report;
    EXPECT_TRUE(RunConsoleToolWithArgs(report.sink(), tool.name().c_str(), "bytes 100000"));
    EXPECT_EQ(Title(tool.name() + " bytes 100000") + Pattern(100000), report.Contents());
}

TEST(ConsoleTool, StartOnlyFormWritesNothingAndHandsBackProcessAndPipe) {
    StandInTool tool("dgnrun");
    ReportFile report;
    StartedTool started = {NULL, NULL};
    std::string line = tool.name() + " out later";
    ASSERT_TRUE(RunConsoleTool(report.sink(), line.c_str(), &started));
    ASSERT_NE((HANDLE)NULL, started.process);
    ASSERT_NE((HANDLE)NULL, started.output);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started.process, 10000));
    EXPECT_EQ("", report.Contents());
    // The tool has ended and nobody else holds the write end: the copy ends
    // with the pipe's end, which counts as success.
    EXPECT_TRUE(CopyStreamToReport(started.output, report.sink()));
    EXPECT_EQ("later\r\n", report.Contents());
    CloseHandle(started.process);
    CloseHandle(started.output);
}

TEST(ConsoleTool, FailedStartOnlyFormIsSilentAndLeavesTheSlotAlone) {
    ReportFile report;
    StartedTool started = {(HANDLE)0x1234, (HANDLE)0x5678};
    EXPECT_FALSE(RunConsoleTool(report.sink(), "dgn_no_such_tool", &started));
    EXPECT_EQ((HANDLE)0x1234, started.process);
    EXPECT_EQ((HANDLE)0x5678, started.output);
    EXPECT_EQ("", report.Contents());
}

TEST(ConsoleTool, OverlappedStartHandsBackAPipeReadThroughACompletionPort) {
    StandInTool tool("dgnrun");
    std::string line = tool.name() + " bytes 100000";
    StartedTool started = {NULL, NULL};
    ASSERT_TRUE(StartConsoleToolOverlapped(line.c_str(), &started));
    HANDLE port = CreateIoCompletionPort(started.output, NULL, 7, 1);
    ASSERT_NE((HANDLE)NULL, port);
    std::string received;
    char buffer[8192];
    OVERLAPPED overlapped;
    for (;;) {
        ZeroMemory(&overlapped, sizeof overlapped);
        if (!ReadFile(started.output, buffer, sizeof buffer, NULL, &overlapped)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;
            ASSERT_EQ((DWORD)ERROR_IO_PENDING, GetLastError());
        }
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* done = NULL;
        BOOL ok = GetQueuedCompletionStatus(port, &bytes, &key, &done, 10000);
        ASSERT_EQ(&overlapped, done);
        EXPECT_EQ(7u, key);
        if (!ok) {
            EXPECT_EQ((DWORD)ERROR_BROKEN_PIPE, GetLastError());
            break;
        }
        received.append(buffer, bytes);
    }
    EXPECT_EQ(Pattern(100000), received);
    // The tool's end is not inherited by this process's later children.
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(started.output, &flags));
    EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started.process, 10000));
    CloseHandle(port);
    CloseHandle(started.process);
    CloseHandle(started.output);
}

TEST(ConsoleTool, FailedOverlappedStartLeavesTheSlotAlone) {
    StartedTool started = {(HANDLE)0x1234, (HANDLE)0x5678};
    EXPECT_FALSE(StartConsoleToolOverlapped("dgn_no_such_tool /x", &started));
    EXPECT_EQ((HANDLE)0x1234, started.process);
    EXPECT_EQ((HANDLE)0x5678, started.output);
}

TEST(ConsoleTool, PlantedIpconfigInProgramAndCurrentFolderIsNotRun) {
    // The program runs elevated from the player's download folder; a program
    // named like a system tool in that folder or the current one must not run.
    StandInTool source("dgnplant");
    char exePath[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(NULL, exePath, sizeof exePath));
    std::string exeFolder(exePath);
    exeFolder.erase(exeFolder.rfind('\\'));
    std::string plantedInProgramFolder = exeFolder + "\\ipconfig.exe";
    TempDir current;
    std::string plantedInCurrentFolder = current.File("ipconfig.exe");
    ASSERT_TRUE(CopyFileA(source.path().c_str(), plantedInProgramFolder.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(source.path().c_str(), plantedInCurrentFolder.c_str(), FALSE));
    char previousFolder[MAX_PATH];
    GetCurrentDirectoryA(sizeof previousFolder, previousFolder);
    SetCurrentDirectoryA(current.path().c_str());

    // Control: the system's usual search does pick the planted program up.
    ReportFile control;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE controlRead = NULL, controlWrite = NULL;
    ASSERT_TRUE(CreatePipe(&controlRead, &controlWrite, &inheritable, 0));
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = controlWrite;
    PROCESS_INFORMATION process;
    char controlLine[] = "ipconfig /all";
    BOOL controlStarted = CreateProcessA(NULL, controlLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    CloseHandle(controlWrite);
    if (controlStarted) {
        CopyStreamToReport(controlRead, control.sink());
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(controlRead);

    ReportFile report;
    bool ran = RunConsoleToolWithArgs(report.sink(), "ipconfig", "/all");

    SetCurrentDirectoryA(previousFolder);
    DeleteFileA(plantedInProgramFolder.c_str());
    DeleteFileA(plantedInCurrentFolder.c_str());

    ASSERT_TRUE(controlStarted);
    EXPECT_NE(std::string::npos, control.Contents().find("stand-in ran")) << control.Contents();
    EXPECT_TRUE(ran);
    std::string contents = report.Contents();
    EXPECT_EQ(0u, contents.find(Title("ipconfig /all"))) << contents;
    EXPECT_EQ(std::string::npos, contents.find("stand-in ran")) << contents;
    EXPECT_GT(contents.size(), Title("ipconfig /all").size()) << "the system's ipconfig printed nothing";
}

TEST(CopyStreamToReport, StopsTwentyBytesBeforeTheHeading) {
    TempDir dir;
    std::string bytes = Pattern(1000) + "DirectX Components" + Pattern(3000);
    ASSERT_TRUE(WriteWholeFile(dir.File("dx.txt"), bytes));
    ReportFile report;
    EXPECT_TRUE(CopyFileToReport(dir.File("dx.txt"), report.sink()));
    EXPECT_EQ(bytes.substr(0, 980), report.Contents());
}

TEST(CopyStreamToReport, HeadingInALaterChunkKeepsTheEarlierChunksWhole) {
    TempDir dir;
    std::string bytes = Pattern(4096 + 500) + "DirectX Components\r\nrest";
    ASSERT_TRUE(WriteWholeFile(dir.File("dx.txt"), bytes));
    ReportFile report;
    EXPECT_TRUE(CopyFileToReport(dir.File("dx.txt"), report.sink()));
    EXPECT_EQ(bytes.substr(0, 4096 + 480), report.Contents());
}

TEST(CopyStreamToReport, HeadingFewerThanTwentyBytesIntoItsChunkDropsThatWholeChunk) {
    TempDir dir;
    std::string bytes = Pattern(4096) + "---------\r\nDirectX Components\r\nrest";
    ASSERT_TRUE(WriteWholeFile(dir.File("dx.txt"), bytes));
    ReportFile report;
    EXPECT_TRUE(CopyFileToReport(dir.File("dx.txt"), report.sink()));
    EXPECT_EQ(bytes.substr(0, 4096), report.Contents());
}

TEST(CopyStreamToReport, HeadingAcrossTwoChunksIsNotSeen) {
    TempDir dir;
    std::string bytes = Pattern(4090) + "DirectX Components" + Pattern(100);
    ASSERT_TRUE(WriteWholeFile(dir.File("dx.txt"), bytes));
    ReportFile report;
    EXPECT_TRUE(CopyFileToReport(dir.File("dx.txt"), report.sink()));
    EXPECT_EQ(bytes, report.Contents());
}

TEST(CopyStreamToReport, FileWithoutHeadingIsCopiedWholeAndEmptyFileWritesNothing) {
    TempDir dir;
    std::string bytes = Pattern(10000);
    bytes[5000] = '\0';
    ASSERT_TRUE(WriteWholeFile(dir.File("plain.txt"), bytes));
    ASSERT_TRUE(WriteWholeFile(dir.File("empty.txt"), ""));
    ReportFile report;
    EXPECT_TRUE(CopyFileToReport(dir.File("plain.txt"), report.sink()));
    EXPECT_TRUE(CopyFileToReport(dir.File("empty.txt"), report.sink()));
    EXPECT_EQ(bytes, report.Contents());
}

TEST(CopyStreamToReport, UnreadableSourceOrUnwritableReportFails) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("src.txt"), "some text"));
    ReportFile report;
    HANDLE writeOnly = CreateFileA(dir.File("src.txt").c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
    EXPECT_FALSE(CopyStreamToReport(writeOnly, report.sink()));
    CloseHandle(writeOnly);

    HANDLE readOnlyReport = CreateFileA(report.path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnlyReport);
    EXPECT_FALSE(CopyFileToReport(dir.File("src.txt"), readOnlyReport));
    CloseHandle(readOnlyReport);
    EXPECT_EQ("", report.Contents());
}
