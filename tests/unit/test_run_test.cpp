// The test run driver hosted in this test program: the real progress dialog
// (template 143, linked into the test's resources), the real worker and step
// order, with stand-in collectors. Each stand-in writes a mark line holding
// the bar position and the status text it finds when it is called, so one
// comparison of the whole report checks the order of the sections, the
// guards, the checkpoints and the status texts together.
//
// The slow steps (dxdiag, route tracing) are stand-ins that wait until the
// test releases them or the run's cancel event is set, like the real steps;
// a controller thread plays the user (Cancel button, close box).
//
// Wine without a window manager (Xvfb) waits up to two seconds for every
// dialog it hides to be withdrawn, so each test here takes about two seconds
// more than its work needs.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "catalog/game_catalog.h"
#include "collect/run_control.h"
#include "collect/system/game_folders.h"
#include "common/windows_version.h"
#include "report/report_seal.h"
#include "resources/resource_ids.h"
#include "run/test_run.h"
#include "test_support.h"

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::SectionBanner;

namespace {

const DWORD kWaitMs = 20000;
const char kTrailerMarker[] = "--- DIGEST ---\r\n";

// What the stand-ins do and what they saw; reset for every test.
struct StandIns {
    HANDLE gamesEntered, gamesRelease;
    HANDLE dxEntered, dxRelease;
    HANDLE routeEntered, routeRelease;
    HANDLE holdFirstRun;       // the first run's hosts step waits for it
    HANDLE connectivityEntered, connectivityRelease, connectivityLeft;
    bool gamesWaits;
    LONG connectivityWaitRun;  // the run whose connectivity step waits, or -1
    LONG noInternetRun;        // the run whose connectivity step finds no Internet, or -1
    bool forceMismatch;        // the check after sealing reports a mismatch
    bool sealVerified;         // what the real check said
    // Filled in by the stand-ins.
    LONG firstRun;             // the identifier of the test's first run
    std::string snapshot[4];   // report so far, taken by the registry step, per run of the test
    int verifyCalls;
    int archiveCalls;
    int failingArchives;       // this many archive calls fail, the first ones
    std::vector<std::string> archivePaths;  // every archive path tried, in order
    std::string archivePath, reportName, reportPath, archivedReport;
    int resultCalls;
    std::string resultPath;    // the file the result dialog was given, "" for the usual archive
    bool progressOpenAtResult;
    HWND bar;                  // the dialog's bar as the first step saw it
    int serverCount;
};
StandIns g_stand;

HANDLE NewEvent() { return CreateEventA(NULL, TRUE, FALSE, NULL); }

void WaitEither(HANDLE release) {
    HANDLE events[2] = {release, GetRunCancelEvent()};
    WaitForMultipleObjects(2, events, FALSE, kWaitMs);
}

bool Cancelled() { return WaitForSingleObject(GetRunCancelEvent(), 0) == WAIT_OBJECT_0; }

// "[name position status]" while the run's dialog is open, "[name closed]"
// once it has ended.
void Mark(ReportSink sink, const char* name) {
    HWND dialog = g_progressWindow.dialog;
    HWND bar = g_progressWindow.bar;
    HWND status = g_progressWindow.status;
    if (!IsRunCurrent(GetThreadRunId()) || dialog == NULL) {
        WriteFormatted(sink, "[%s closed]\r\n", name);
        return;
    }
    if (g_stand.bar == NULL) g_stand.bar = bar;
    int position = (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
    char text[128] = "";
    GetWindowTextA(status, text, sizeof text);
    WriteFormatted(sink, "[%s %d %s]\r\n", name, position, text);
}

void Section(ReportSink sink, const char* title, const char* name) {
    WriteSectionBanner(sink, title);
    Mark(sink, name);
}

// Which run of the test the calling worker serves: 0 for the first.
LONG RunOfTest() {
    LONG run = GetThreadRunId();
    InterlockedCompareExchange(&g_stand.firstRun, run, -1);
    return run - g_stand.firstRun;
}

void StandInUac(ReportSink s) {
    RunOfTest();
    Section(s, "information about the UAC status and user level", "uac");
}
void StandInUsers(ReportSink s) { Section(s, "list of users currently logged on", "users"); }
void StandInGames(ReportSink s) {
    Section(s, "Installed games", "games");
    if (g_stand.gamesWaits) {
        SetEvent(g_stand.gamesEntered);
        WaitForSingleObject(g_stand.gamesRelease, kWaitMs);
    }
}
void StandInDirectX(ReportSink s) { Section(s, "Installed DirectX", "directx"); }
void StandInDxDiag(ReportSink s) {
    Section(s, "Running DirectX diagnostic", "dxdiag");
    SetEvent(g_stand.dxEntered);
    WaitEither(g_stand.dxRelease);
    WriteText(s, Cancelled() ? "dxdiag stopped\r\n" : "dxdiag done\r\n");
}
void StandInOs(ReportSink s) { Mark(s, "os"); }
void StandInSystem(ReportSink s) { Section(s, "information about the current computer system", "system"); }
void StandInAdapters(ReportSink s) { Section(s, "Gathering adapter settings", "adapters"); }
void StandInProxy(ReportSink s) { Section(s, "IE proxy setting", "proxy"); }
void StandInLsp(ReportSink s) { Section(s, "Gathering LSP list", "lsp"); }
void StandInBho(ReportSink s) { Section(s, "Gathering BHO list", "bho"); }
void StandInExternal(ReportSink s) { Section(s, "Discovering external address", "external"); }
void StandInConnectivity(ReportSink s, int count, const ServerEntry* servers) {
    if (g_stand.connectivityWaitRun == RunOfTest()) {
        SetEvent(g_stand.connectivityEntered);
        WaitForSingleObject(g_stand.connectivityRelease, kWaitMs);
    }
    if (g_stand.noInternetRun == RunOfTest()) {
        // The real step shows its warning here, then cancels the run.
        CancelRunFromStep();
        SetEvent(g_stand.connectivityLeft);
        return;
    }
    Mark(s, "connectivity");
    g_stand.serverCount = count;
    WriteFormatted(s, "%d servers, first %s\r\n", count, servers != NULL ? servers[0].host : "(none)");
}
void StandInAddresses(ReportSink s, int, const ServerEntry*) { Mark(s, "addresses"); }
void StandInConnections(ReportSink s) { Section(s, "Detecting network connections", "connections"); }
void StandInRoute(ReportSink s, int, const ServerEntry*) {
    Mark(s, "route");
    SetEvent(g_stand.routeEntered);
    WaitEither(g_stand.routeRelease);
    WriteText(s, Cancelled() ? "route stopped\r\n" : "route done\r\n");
}
void StandInHosts(ReportSink s) {
    if (RunOfTest() == 0 && g_stand.holdFirstRun != NULL) WaitForSingleObject(g_stand.holdFirstRun, kWaitMs);
    Section(s, "Collecting Hosts file content", "hosts");
}
void StandInProcesses(ReportSink s) { Section(s, "Dumping Running Processes", "processes"); }
void StandInRegistry(ReportSink s) {
    Section(s, "Dumping System Registry", "registry");
    // The report so far, read through the sink itself: a cancelled run's
    // file is gone by the time the test looks.
    DWORD size = GetFileSize(s, NULL);
    std::string bytes(size, '\0');
    DWORD read = 0;
    SetFilePointer(s, 0, NULL, FILE_BEGIN);
    ReadFile(s, &bytes[0], size, &read, NULL);
    SetFilePointer(s, 0, NULL, FILE_END);
    LONG run = RunOfTest();
    if (run >= 0 && run < 4) g_stand.snapshot[run] = bytes.substr(0, read);
}
bool CheckSeal(const char* path) {
    g_stand.verifyCalls++;
    g_stand.sealVerified = VerifyReportFile(path);
    return g_stand.forceMismatch ? false : g_stand.sealVerified;
}
bool StandInArchive(const char* archivePath, const char* reportName, const char* reportPath) {
    g_stand.archivePaths.push_back(archivePath);
    if (g_stand.archiveCalls++ == 0) {
        g_stand.archivePath = archivePath;
        g_stand.reportName = reportName;
        g_stand.reportPath = reportPath;
        g_stand.archivedReport = ReadWholeFile(reportPath);
    }
    if (g_stand.archiveCalls <= g_stand.failingArchives) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}
INT_PTR StandInResult(const char* deliveredPath) {
    g_stand.resultCalls++;
    g_stand.resultPath = deliveredPath != NULL ? deliveredPath : "";
    g_stand.progressOpenAtResult = IsWindow(g_stand.bar) != FALSE;
    return 1;
}

// The last position set on the progress bar of this thread's dialogs.
int g_lastBarPosition = -1;
LRESULT CALLBACK BarPositionHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == PBM_SETPOS) g_lastBarPosition = (int)call->wParam;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

const ReportStepWriters kStandInWriters = {
    StandInUac, StandInUsers, StandInGames, StandInDirectX, StandInDxDiag, StandInOs, StandInSystem,
    StandInAdapters, StandInProxy, StandInLsp, StandInBho, StandInExternal, StandInConnectivity,
    StandInAddresses, StandInConnections, StandInRoute, StandInHosts, StandInProcesses, StandInRegistry,
    AppendReportDigest, CheckSeal, StandInArchive, StandInResult,
};

// Waits for a kernel object while handling this thread's messages: the
// worker's relay requests are carried out by this thread.
bool WaitPumping(HANDLE object, DWORD timeoutMs) {
    DWORD deadline = GetTickCount() + timeoutMs;
    for (;;) {
        DWORD now = GetTickCount();
        DWORD left = (LONG)(deadline - now) > 0 ? deadline - now : 0;
        DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

std::wstring SystemReason(DWORD error) {
    wchar_t reason[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, reason, 512, NULL);
    std::wstring text = reason;
    text.erase(text.find_last_not_of(L"\r\n ") + 1);
    return text;
}

std::wstring Wide(const std::string& text) {
    wchar_t wide[1024] = L"";
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
    return wide;
}

std::string Header(const char* game) {
    char version[256] = "";
    GetProgramVersion(version);
    return std::string(game) + " Test Report -- created by Diagnova v" + version + "\r\n\r\n";
}

// A session of runs in this process: temporary folder, stand-ins, and the
// event every worker sets when it ends.
class TestRunDriver : public ::testing::Test {
protected:
    void SetUp() override {
        oldTmp_ = Env("TMP");
        oldTemp_ = Env("TEMP");
        SetEnvironmentVariableA("TMP", temp_.path().c_str());
        SetEnvironmentVariableA("TEMP", temp_.path().c_str());
        g_stand = StandIns();
        g_stand.gamesEntered = NewEvent();
        g_stand.gamesRelease = NewEvent();
        g_stand.dxEntered = NewEvent();
        g_stand.dxRelease = NewEvent();
        g_stand.routeEntered = NewEvent();
        g_stand.routeRelease = NewEvent();
        g_stand.connectivityEntered = NewEvent();
        g_stand.connectivityRelease = NewEvent();
        g_stand.connectivityLeft = NewEvent();
        g_stand.firstRun = -1;
        g_stand.connectivityWaitRun = -1;
        g_stand.noInternetRun = -1;
        workerEnd_ = CreateSemaphoreA(NULL, 0, 100, NULL);
        SetWorkerEndSemaphore(workerEnd_);
        SetReportStepWriters(kStandInWriters);
        SetSelectedGame(0);
    }

    void TearDown() override {
        if (controller_.joinable()) controller_.join();
        SetReportStepWriters(DefaultReportStepWriters());
        SetWorkerEndSemaphore(NULL);
        CloseHandle(workerEnd_);
        HANDLE* events[] = {&g_stand.gamesEntered, &g_stand.gamesRelease, &g_stand.dxEntered,
                            &g_stand.dxRelease, &g_stand.routeEntered, &g_stand.routeRelease,
                            &g_stand.connectivityEntered, &g_stand.connectivityRelease, &g_stand.connectivityLeft,
                            &g_stand.holdFirstRun};
        for (HANDLE* event : events) {
            if (*event != NULL) CloseHandle(*event);
            *event = NULL;
        }
        SetEnvironmentVariableA("TMP", oldTmp_.empty() ? NULL : oldTmp_.c_str());
        SetEnvironmentVariableA("TEMP", oldTemp_.empty() ? NULL : oldTemp_.c_str());
    }

    static std::string Env(const char* name) {
        char value[MAX_PATH] = "";
        DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
        return length > 0 && length < sizeof value ? value : "";
    }

    // Plays the user on another thread while this one runs the dialog.
    void Control(std::function<void()> actions) { controller_ = std::thread(actions); }

    // The dialog of the run that is open now, as the controller sees it.
    static HWND Dialog() { return g_progressWindow.dialog; }
    static void ClickCancel() {
        HWND dialog = Dialog();
        if (dialog != NULL) SendMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    }
    // Answers the worker's message box with this caption: reads its text and
    // presses OK. Only this process's boxes count (other tests show theirs on
    // the same display). When none comes, Cancel ends the dialog, so a
    // missing box fails the test instead of hanging it.
    struct BoxQuery {
        const char* caption;
        HWND box;
    };
    static BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
        BoxQuery* query = reinterpret_cast<BoxQuery*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        char className[16] = "", title[64] = "";
        GetClassNameA(window, className, sizeof className);
        GetWindowTextA(window, title, sizeof title);
        if (pid != GetCurrentProcessId() || strcmp(className, "#32770") != 0 || strcmp(title, query->caption) != 0 ||
            GetDlgItem(window, 0xFFFF) == NULL)
            return TRUE;
        query->box = window;
        return FALSE;
    }
    static std::wstring AnswerMessageBox(const char* caption) {
        BoxQuery query = {caption, NULL};
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kWaitMs) {
            EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&query));
            if (query.box != NULL) {
                // The box may be found while its text is still being set.
                wchar_t text[2048] = L"";
                for (int reads = 0; reads < 80 && text[0] == L'\0'; ++reads) {
                    if (reads > 0) Sleep(25);
                    GetDlgItemTextW(query.box, 0xFFFF, text, 2048);
                }
                SendMessageA(query.box, WM_COMMAND, IDOK, 0);
                return text;
            }
            Sleep(20);  // nothing to wait on: the box belongs to the worker
        }
        ClickCancel();
        return L"(no message box)";
    }
    static void PressCloseBox() {
        HWND dialog = Dialog();
        if (dialog != NULL) SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }

    bool WaitForWorker() { return WaitPumping(workerEnd_, kWaitMs); }

    std::vector<std::string> ReportsLeft() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((temp_.path() + "\\DGN*.tmp").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do names.push_back(data.cFileName);
        while (FindNextFileA(find, &data));
        FindClose(find);
        return names;
    }

    TempDir temp_;
    HANDLE workerEnd_ = NULL;
    std::thread controller_;
    std::string oldTmp_, oldTemp_;
};

// The report of a run of Runeveil that nobody interrupts, up to and including
// the registry section.
std::string CompletedReportBody() {
    return Header("Runeveil") +
           SectionBanner("information about the UAC status and user level") + "[uac 2 Started. . .]\r\n" +
           SectionBanner("list of users currently logged on") + "[users 2 Started. . .]\r\n" +
           SectionBanner("Installed games") + "[games 2 Started. . .]\r\n" +
           SectionBanner("Installed DirectX") + "[directx 2 Testing DirectX. . .]\r\n" +
           SectionBanner("Running DirectX diagnostic") + "[dxdiag 2 Testing DirectX. . .]\r\ndxdiag done\r\n" +
           "[os 3 Testing DirectX. . .]\r\n" +
           SectionBanner("information about the current computer system") + "[system 3 Testing DirectX. . .]\r\n" +
           SectionBanner("Gathering adapter settings") + "[adapters 3 Testing DirectX. . .]\r\n" +
           SectionBanner("IE proxy setting") + "[proxy 4 Testing DirectX. . .]\r\n" +
           SectionBanner("Gathering LSP list") + "[lsp 4 Testing DirectX. . .]\r\n" +
           SectionBanner("Gathering BHO list") + "[bho 4 Testing DirectX. . .]\r\n" +
           SectionBanner("Discovering external address") + "[external 4 Testing DirectX. . .]\r\n" +
           SectionBanner("Checking server connectivity") + "[connectivity 6 Testing Server Connection. . .]\r\n" +
           "7 servers, first " + kRuneveilServers[0].host + "\r\n\r\n" +
           SectionBanner("Gathering IP addresses") + "[addresses 8 Testing Server Connection. . .]\r\n\r\n" +
           SectionBanner("Detecting network connections") + "[connections 10 Testing Server Connection. . .]\r\n" +
           SectionBanner("Tracing network paths") + "[route 50 Testing Network Route. . .]\r\nroute done\r\n\r\n" +
           SectionBanner("Collecting Hosts file content") + "[hosts 55 Testing Network Route. . .]\r\n" +
           SectionBanner("Dumping Running Processes") + "[processes 90 Testing Network Route. . .]\r\n" +
           SectionBanner("Dumping System Registry") + "[registry 94 Testing Network Route. . .]\r\n";
}

TEST_F(TestRunDriver, CompletedRunIsSealedCheckedPackedAndHandedToTheResultDialog) {
    SetEvent(g_stand.dxRelease);
    SetEvent(g_stand.routeRelease);
    g_lastBarPosition = -1;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, BarPositionHook, NULL, GetCurrentThreadId());
    EXPECT_EQ(1, RunProgressDialog(NULL));
    if (hook != NULL) UnhookWindowsHookEx(hook);
    ASSERT_TRUE(WaitForWorker());

    EXPECT_EQ(CompletedReportBody(), g_stand.snapshot[0]);
    // Sealed: end marker, trailer marker and 40 digits that the check accepts.
    EXPECT_EQ(CompletedReportBody() + "\r\n<EOF>\r\n" + kTrailerMarker, g_stand.archivedReport.substr(0, g_stand.archivedReport.size() - 40));
    EXPECT_EQ(1, g_stand.verifyCalls);
    EXPECT_TRUE(g_stand.sealVerified);
    EXPECT_EQ(1, g_stand.archiveCalls);
    EXPECT_EQ(GetArchivePath(0), g_stand.archivePath);
    EXPECT_EQ("Runeveil Test.txt", g_stand.reportName);
    EXPECT_EQ(1, g_stand.resultCalls);
    // The bar was full, and the progress dialog gone, before the result showed.
    EXPECT_EQ(100, g_lastBarPosition);
    EXPECT_FALSE(g_stand.progressOpenAtResult);
    EXPECT_EQ(7, g_stand.serverCount);
    // The report stays in the temporary folder after a completed run.
    std::vector<std::string> left = ReportsLeft();
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(temp_.File(left[0]), g_stand.reportPath);
    EXPECT_EQ(g_stand.archivedReport, ReadWholeFile(g_stand.reportPath));
    EXPECT_FALSE(Cancelled());
    EXPECT_EQ(nullptr, g_progressWindow.dialog);
}

TEST_F(TestRunDriver, EachRunUsesTheGameSelectedWhenItStarts) {
    SetSelectedGame(2);
    SetEvent(g_stand.dxRelease);
    SetEvent(g_stand.routeRelease);
    EXPECT_EQ(1, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ("Kharros II Test.txt", g_stand.reportName);
    EXPECT_EQ(GetArchivePath(2), g_stand.archivePath);
    EXPECT_EQ(3, g_stand.serverCount);
    EXPECT_EQ(0u, g_stand.snapshot[0].find(Header("Kharros II")));
}

TEST_F(TestRunDriver, CancelBeforeDirectXSkipsEveryGuardedStepAndDeletesTheReport) {
    g_stand.gamesWaits = true;
    Control([] {
        WaitForSingleObject(g_stand.gamesEntered, kWaitMs);
        ClickCancel();
        SetEvent(g_stand.gamesRelease);
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());

    EXPECT_EQ(Header("Runeveil") +
                  SectionBanner("information about the UAC status and user level") + "[uac 2 Started. . .]\r\n" +
                  SectionBanner("list of users currently logged on") + "[users 2 Started. . .]\r\n" +
                  SectionBanner("Installed games") + "[games 2 Started. . .]\r\n" +
                  "[os closed]\r\n" +
                  SectionBanner("information about the current computer system") + "[system closed]\r\n" +
                  SectionBanner("Gathering adapter settings") + "[adapters closed]\r\n" +
                  SectionBanner("IE proxy setting") + "[proxy closed]\r\n" +
                  SectionBanner("Gathering LSP list") + "[lsp closed]\r\n" +
                  SectionBanner("Gathering BHO list") + "[bho closed]\r\n" +
                  SectionBanner("Discovering external address") + "[external closed]\r\n" +
                  SectionBanner("Detecting network connections") + "[connections closed]\r\n" +
                  SectionBanner("Collecting Hosts file content") + "[hosts closed]\r\n" +
                  SectionBanner("Dumping Running Processes") + "[processes closed]\r\n" +
                  SectionBanner("Dumping System Registry") + "[registry closed]\r\n",
              g_stand.snapshot[0]);
    EXPECT_TRUE(ReportsLeft().empty());
    EXPECT_EQ(0, g_stand.verifyCalls);
    EXPECT_EQ(0, g_stand.archiveCalls);
    EXPECT_EQ(0, g_stand.resultCalls);
    EXPECT_TRUE(Cancelled());
    EXPECT_EQ(kNoRun, g_progressWindow.runId);
}

TEST_F(TestRunDriver, CancelDuringDirectXStopsItAndSkipsTheNetworkTests) {
    Control([] {
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        ClickCancel();
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());

    const std::string& report = g_stand.snapshot[0];
    EXPECT_NE(std::string::npos,
              report.find(SectionBanner("Running DirectX diagnostic") +
                          "[dxdiag 2 Testing DirectX. . .]\r\ndxdiag stopped\r\n[os closed]\r\n"));
    EXPECT_EQ(std::string::npos, report.find("Checking server connectivity"));
    EXPECT_EQ(std::string::npos, report.find("Gathering IP addresses"));
    EXPECT_EQ(std::string::npos, report.find("Tracing network paths"));
    EXPECT_NE(std::string::npos, report.find(SectionBanner("Dumping System Registry") + "[registry closed]\r\n"));
    EXPECT_TRUE(ReportsLeft().empty());
    EXPECT_EQ(0, g_stand.archiveCalls);
    EXPECT_EQ(0, g_stand.resultCalls);
}

TEST_F(TestRunDriver, CancelDuringRouteTracingStillWritesTheLastSectionsThenDeletesTheReport) {
    SetEvent(g_stand.dxRelease);
    Control([] {
        WaitForSingleObject(g_stand.routeEntered, kWaitMs);
        ClickCancel();
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());

    std::string expected = CompletedReportBody();
    size_t cut = expected.find("route done");
    ASSERT_NE(std::string::npos, cut);
    expected = expected.substr(0, cut) + "route stopped\r\n\r\n" +
               SectionBanner("Collecting Hosts file content") + "[hosts closed]\r\n" +
               SectionBanner("Dumping Running Processes") + "[processes closed]\r\n" +
               SectionBanner("Dumping System Registry") + "[registry closed]\r\n";
    EXPECT_EQ(expected, g_stand.snapshot[0]);
    EXPECT_TRUE(ReportsLeft().empty());
    EXPECT_EQ(0, g_stand.verifyCalls);
    EXPECT_EQ(0, g_stand.archiveCalls);
    EXPECT_EQ(0, g_stand.resultCalls);
}

TEST_F(TestRunDriver, NoInternetAtTheConnectivityStepEndsTheRunLikeCancel) {
    g_stand.noInternetRun = 0;
    SetEvent(g_stand.dxRelease);
    EXPECT_EQ(2, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());

    const std::string& report = g_stand.snapshot[0];
    // The driver still closes the section it opened; the step wrote nothing.
    EXPECT_NE(std::string::npos,
              report.find("[external 4 Testing DirectX. . .]\r\n" + SectionBanner("Checking server connectivity") + "\r\n" +
                          SectionBanner("Detecting network connections") + "[connections closed]\r\n" +
                          SectionBanner("Collecting Hosts file content")));
    EXPECT_EQ(std::string::npos, report.find("Gathering IP addresses"));
    EXPECT_EQ(std::string::npos, report.find("Tracing network paths"));
    EXPECT_TRUE(ReportsLeft().empty());
    EXPECT_EQ(0, g_stand.archiveCalls);
    EXPECT_EQ(0, g_stand.resultCalls);
    EXPECT_TRUE(Cancelled());
}

// Records what reaches it: a window that took over the handles of a dialog
// that has ended.
std::vector<UINT> g_recorded;
LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TEST_FINISHED || message == PBM_SETPOS || message == WM_SETTEXT ||
        message == WM_COMMAND || message == WM_TIMER)
        g_recorded.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(TestRunDriver, CloseBoxEndsOnlyTheDialogAndNothingOfTheRunReachesItsOldHandles) {
    Control([] {
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        PressCloseBox();
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    EXPECT_EQ(nullptr, g_progressWindow.dialog);
    EXPECT_EQ(g_stand.firstRun, g_progressWindow.runId) << "the run stays current";

    // A new window now holds what the run once knew as its dialog, bar and
    // status line, as if the system had reused the handles.
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecorderProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "DiagnovaTestRecorder";
    RegisterClassA(&windowClass);
    HWND recorder = CreateWindowExA(0, "DiagnovaTestRecorder", "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                                    GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, recorder);
    g_recorded.clear();
    g_progressWindow.dialog = recorder;
    g_progressWindow.bar = recorder;
    g_progressWindow.status = recorder;

    SetEvent(g_stand.dxRelease);
    SetEvent(g_stand.routeRelease);
    ASSERT_TRUE(WaitForWorker());
    g_progressWindow.dialog = g_progressWindow.bar = g_progressWindow.status = NULL;
    DestroyWindow(recorder);

    EXPECT_TRUE(g_recorded.empty()) << g_recorded.size() << " messages reached the window, first "
                                    << (g_recorded.empty() ? 0 : g_recorded[0]);
    // The run completed all the same: guarded steps ran, sealed, checked, packed.
    EXPECT_NE(std::string::npos, g_stand.archivedReport.find(SectionBanner("Tracing network paths")));
    EXPECT_NE(std::string::npos, g_stand.archivedReport.find(kTrailerMarker));
    EXPECT_TRUE(g_stand.sealVerified);
    EXPECT_EQ(1, g_stand.verifyCalls);
    EXPECT_EQ(1, g_stand.archiveCalls);
    EXPECT_EQ(0, g_stand.resultCalls);
    EXPECT_EQ(1u, ReportsLeft().size());
    EXPECT_FALSE(Cancelled());
}

TEST_F(TestRunDriver, CommandOneEndsOnlyTheDialog) {
    Control([] {
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        SendMessageA(Dialog(), WM_COMMAND, IDOK, 0);
        SetEvent(g_stand.dxRelease);
    });
    SetEvent(g_stand.routeRelease);
    EXPECT_EQ(1, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(1, g_stand.archiveCalls);
    EXPECT_EQ(0, g_stand.resultCalls);
    EXPECT_FALSE(Cancelled());
}

TEST_F(TestRunDriver, SecondRunRightAfterCancelRunsNormallyWhileTheFirstFinishesAlone) {
    g_stand.holdFirstRun = NewEvent();
    Control([] {
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        ResetEvent(g_stand.dxEntered);
        ClickCancel();
        // The second run is under way; now let the first one finish.
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        SetEvent(g_stand.holdFirstRun);
        SetEvent(g_stand.dxRelease);
        SetEvent(g_stand.routeRelease);
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    EXPECT_EQ(1, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    ASSERT_TRUE(WaitForWorker());

    EXPECT_EQ(CompletedReportBody(), g_stand.snapshot[1]);
    EXPECT_NE(std::string::npos, g_stand.snapshot[0].find("dxdiag stopped\r\n[os closed]"));
    EXPECT_EQ(1, g_stand.archiveCalls);
    EXPECT_EQ(1, g_stand.resultCalls);
    // Only the second run's report is left.
    std::vector<std::string> left = ReportsLeft();
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(temp_.File(left[0]), g_stand.reportPath);
}

TEST_F(TestRunDriver, StaleRunThatCancelsItselfLeavesTheNewerRunAlone) {
    // The first run's connectivity step is still checking the Internet when
    // its dialog is closed and a second run starts; then it finds no
    // Internet and cancels. That cancel belongs to a run that is over: the
    // second run, waiting in its DirectX step, must go on undisturbed.
    g_stand.connectivityWaitRun = 0;
    g_stand.noInternetRun = 0;
    SetEvent(g_stand.dxRelease);
    Control([] {
        WaitForSingleObject(g_stand.connectivityEntered, kWaitMs);
        PressCloseBox();
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    controller_.join();

    ResetEvent(g_stand.dxRelease);
    ResetEvent(g_stand.dxEntered);
    Control([] {
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        SetEvent(g_stand.connectivityRelease);
        WaitForSingleObject(g_stand.connectivityLeft, kWaitMs);
        SetEvent(g_stand.dxRelease);
        SetEvent(g_stand.routeRelease);
    });
    EXPECT_EQ(1, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    ASSERT_TRUE(WaitForWorker());

    EXPECT_EQ(CompletedReportBody(), g_stand.snapshot[1]);
    EXPECT_EQ(1, g_stand.resultCalls);
    EXPECT_EQ(1, g_stand.archiveCalls);
    EXPECT_FALSE(Cancelled());
    // The first run ended as cancelled: its report is gone.
    EXPECT_NE(std::string::npos, g_stand.snapshot[0].find("[connections closed]"));
    EXPECT_EQ(1u, ReportsLeft().size());
}

TEST_F(TestRunDriver, MismatchedSealIsReportedAndTheArchiveIsBuiltAllTheSame) {
    g_stand.forceMismatch = true;
    SetEvent(g_stand.dxRelease);
    SetEvent(g_stand.routeRelease);
    std::wstring boxText;
    Control([&boxText] { boxText = AnswerMessageBox("Error"); });
    EXPECT_EQ(1, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(L"Checksum mismatched", boxText);
    EXPECT_EQ(1, g_stand.archiveCalls);
    EXPECT_EQ(1, g_stand.resultCalls);
}

TEST_F(TestRunDriver, WithoutATemporaryFolderTheRunSaysWhyAndEnds) {
    // A temporary folder that is missing, named in letters the ANSI code
    // page lacks: the player reads the folder's real name and the system's
    // reason, and the run ends as after Cancel instead of waiting for ever.
    const std::wstring missing = testing_support::MakeForeignFolder(temp_.path()) + L"\\gone";
    testing_support::TempFolderOverride temp(missing);
    std::wstring boxText;
    Control([&boxText] { boxText = AnswerMessageBox("Orvane Diagnova"); });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    // The system's reason: the folder (Windows) or the file in it (Wine) is not found.
    const std::wstring intro =
        L"The test cannot run: Diagnova cannot create its report file in your temporary folder.\n\n" + missing +
        L"\\\n\n";
    bool reasonMatches = false;
    for (DWORD error : {ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND}) {
        reasonMatches = reasonMatches || boxText == intro + SystemReason(error);
    }
    EXPECT_TRUE(reasonMatches) << boxText;
    EXPECT_EQ(std::string(), g_stand.snapshot[0]);
    EXPECT_EQ(0, g_stand.archiveCalls);
    RemoveDirectoryW(missing.substr(0, missing.size() - 5).c_str());
}

TEST_F(TestRunDriver, AnArchiveThatCannotBeWrittenIsToldAndTheReportGoesWhereItCan) {
    // The program's folder refuses the archive. The player reads where and
    // why, and where the sealed report is instead: the archive on the
    // desktop, or (when the desktop and the documents folder refuse it too)
    // the report itself under its own name in the temporary folder. The
    // result dialog names that file.
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(NULL, program, MAX_PATH);
    std::wstring intended = program;
    intended = intended.substr(0, intended.rfind(L'\\')) + L"\\Runeveil Test.zip";
    char desktop[MAX_PATH], documents[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, desktop)));
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(NULL, CSIDL_PERSONAL, NULL, SHGFP_TYPE_CURRENT, documents)));
    SetEvent(g_stand.dxRelease);
    SetEvent(g_stand.routeRelease);
    for (int failing : {1, 3}) {
        SCOPED_TRACE(failing);
        g_stand.failingArchives = failing;
        g_stand.archiveCalls = 0;
        g_stand.archivePaths.clear();
        std::wstring boxText;
        Control([&boxText] { boxText = AnswerMessageBox("Orvane Diagnova"); });
        EXPECT_EQ(1, RunProgressDialog(NULL));
        ASSERT_TRUE(WaitForWorker());
        controller_.join();
        const std::string onDesktop = std::string(desktop) + "\\Runeveil Test.zip";
        const std::string inDocuments = std::string(documents) + "\\Runeveil Test.zip";
        const std::string delivered = failing == 1 ? onDesktop : temp_.File("Runeveil Test.txt");
        std::vector<std::string> tried = {GetArchivePath(0), onDesktop};
        if (failing == 3) tried.push_back(inDocuments);
        EXPECT_EQ(tried, g_stand.archivePaths);
        EXPECT_EQ(L"Diagnova could not save the report archive here:\n\n" + intended + L"\n\n" +
                      SystemReason(ERROR_ACCESS_DENIED) +
                      L"\n\nThe report has been saved here instead. Please attach this file to your support "
                      L"ticket:\n\n" + Wide(delivered),
                  boxText);
        EXPECT_EQ(delivered, g_stand.resultPath);
        if (failing == 3) {
            EXPECT_EQ(ReadWholeFile(g_stand.reportPath), ReadWholeFile(delivered));
        }
    }
    // Where the archive is written, the result dialog names the usual archive.
    g_stand.failingArchives = 0;
    EXPECT_EQ(1, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ("", g_stand.resultPath);
}

TEST_F(TestRunDriver, DialogShowsItsTextsAndLayout) {
    struct Seen {
        std::string title, note, button, label, status;
        int low = -1, high = -1;
        RECT bar = {}, expectedBar = {};
    } seen;
    Control([&seen] {
        WaitForSingleObject(g_stand.dxEntered, kWaitMs);
        HWND dialog = Dialog();
        char text[256];
        GetWindowTextA(dialog, text, sizeof text);
        seen.title = text;
        GetDlgItemTextA(dialog, IDC_PROGRESS_NOTE, text, sizeof text);
        seen.note = text;
        GetDlgItemTextA(dialog, IDCANCEL, text, sizeof text);
        seen.button = text;
        GetDlgItemTextA(dialog, IDC_PROGRESS_STATUS_LABEL, text, sizeof text);
        seen.label = text;
        GetDlgItemTextA(dialog, IDC_PROGRESS_STATUS, text, sizeof text);
        seen.status = text;
        PBRANGE range = {};
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, (LPARAM)&range);
        seen.low = range.iLow;
        seen.high = range.iHigh;
        GetWindowRect(GetDlgItem(dialog, IDC_PROGRESS_BAR), &seen.bar);
        MapWindowPoints(NULL, dialog, (POINT*)&seen.bar, 2);
        // The dialog manager converts a control's place and size each on
        // its own, so its right edge may round differently from x + width
        // converted in one piece.
        RECT place = {7, 23, 181, 14};
        MapDialogRect(dialog, &place);
        seen.expectedBar = {place.left, place.top, place.left + place.right, place.top + place.bottom};
        ClickCancel();
    });
    EXPECT_EQ(2, RunProgressDialog(NULL));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ("Test Progress", seen.title);
    EXPECT_EQ("This test could take up to 20 minutes! Please wait\x85", seen.note);
    EXPECT_EQ("Cancel", seen.button);
    EXPECT_EQ("Status:", seen.label);
    EXPECT_EQ("Testing DirectX. . .", seen.status);
    EXPECT_EQ(0, seen.low);
    EXPECT_EQ(100, seen.high);
    EXPECT_EQ(seen.expectedBar.left, seen.bar.left);
    EXPECT_EQ(seen.expectedBar.top, seen.bar.top);
    EXPECT_EQ(seen.expectedBar.right, seen.bar.right);
    EXPECT_EQ(seen.expectedBar.bottom, seen.bar.bottom);
}

TEST(ProgressAnimationTimer, MovesOnlyItsOwnTimersBar) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, bar);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    g_progressAnimation = {50, 55, 510000, 1000};
    AnimateProgress(bar, WM_TIMER, kAnimationTimerId, 1000 + 306000);
    EXPECT_EQ(53, SendMessageA(bar, PBM_GETPOS, 0, 0));
    AnimateProgress(bar, WM_TIMER, 2, 1000 + 510000);
    EXPECT_EQ(53, SendMessageA(bar, PBM_GETPOS, 0, 0)) << "other timers are ignored";
    AnimateProgress(bar, WM_TIMER, kAnimationTimerId, 1000 + 600000);
    EXPECT_EQ(53, SendMessageA(bar, PBM_GETPOS, 0, 0)) << "past the duration the bar stays";
    DestroyWindow(bar);
}

}  // namespace
