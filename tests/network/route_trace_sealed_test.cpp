// Route tracing with the stand-in route tools in the prefix's system folder:
// blocks in start order, long output, the time limit, cancel, more than 64
// traces and the 128-trace cap.
#include <process.h>

#include <string>
#include <thread>
#include <vector>

#include "collect/network/route_trace.h"
#include "collect/run_control.h"
#include "sealed_support.h"

namespace {

using sealed::RouteBlock;
using sealed::StandInOutput;

std::string Traces(int count, const ServerEntry* servers) {
    return sealed::Section([&](ReportSink sink) { WriteRouteTraces(sink, count, servers); });
}

class RouteAllReachable : public sealed::ScenarioTest {
protected:
    RouteAllReachable() : ScenarioTest("all_reachable") {}
    void SetUp() override {
        ScenarioTest::SetUp();
        PrepareRunCancelEvent();
    }
    void TearDown() override { SetRouteTraceTimeLimit(500000); }
};
class RouteUpdateDown : public sealed::ScenarioTest {
protected:
    RouteUpdateDown() : ScenarioTest("update_down") {}
};

std::string HopBytes(const std::string& address, size_t total) {
    std::string block;
    char line[65];
    for (int hop = 0; block.size() + 64 <= 65536; ++hop) {
        snprintf(line, sizeof line, "%3d  %-20s %36s\r\n", hop % 100, address.c_str(), "0 ms  0/ 100 =  0%");
        block.append(line, 64);
    }
    std::string out;
    while (out.size() < total) out.append(block, 0, std::min(block.size(), total - out.size()));
    return out;
}

// Keeps the "hold" tools running until `count` "console" tools have
// reported, then lets them end; a thread of its own does that, since the
// step waits for every tool.
class HoldUntilReported {
public:
    explicit HoldUntilReported(int count)
        : release_(CreateEventA(NULL, TRUE, FALSE, "DiagnovaRouteHoldTest")),
          reported_(CreateSemaphoreA(NULL, 0, 1000, "DiagnovaRouteReportedTest")) {
        SetEnvironmentVariableA("DIAGNOVA_ROUTE_LINGER_EVENT", "DiagnovaRouteHoldTest");
        SetEnvironmentVariableA("DIAGNOVA_ROUTE_REPORTED", "DiagnovaRouteReportedTest");
        releaser_ = std::thread([this, count] {
            // The tools give up holding after a minute; so does this thread.
            const DWORD start = GetTickCount();
            for (int i = 0; i < count; ++i) {
                DWORD spent = GetTickCount() - start;
                if (spent >= 60000 || WaitForSingleObject(reported_, 60000 - spent) != WAIT_OBJECT_0) break;
            }
            SetEvent(release_);
        });
    }
    ~HoldUntilReported() {
        releaser_.join();
        SetEnvironmentVariableA("DIAGNOVA_ROUTE_LINGER_EVENT", NULL);
        SetEnvironmentVariableA("DIAGNOVA_ROUTE_REPORTED", NULL);
        CloseHandle(release_);
        CloseHandle(reported_);
    }

private:
    HANDLE release_, reported_;
    std::thread releaser_;
};

unsigned __stdcall SetCancelLater(void*) {
    Sleep(700);
    SetEvent(GetRunCancelEvent());
    return 0;
}

}  // namespace

TEST_F(RouteAllReachable, RuneveilTracesEveryAddressInStartOrder) {
    sealed::RouteScript script("192.0.2.11 sleep 400\r\n192.0.2.16 lines 3\r\n");
    std::string expected;
    const char* auth[] = {"192.0.2.11", "192.0.2.12", "192.0.2.13"};
    for (int round = 0; round < 2; ++round) {
        for (const char* a : auth) {
            std::string output = StandInOutput(a);
            if (std::string(a) == "192.0.2.11") {
                output = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.11\r\nTracing route to 192.0.2.11\r\n"
                         "Trace complete.\r\n";
            }
            expected += RouteBlock("RV Auth Gate", "US/EU", a, output);
        }
    }
    expected += RouteBlock("RV File Server", "US/EU", "192.0.2.14", StandInOutput("192.0.2.14"));
    expected += RouteBlock("RV File Server", "US/EU", "192.0.2.14", StandInOutput("192.0.2.14"));
    expected += RouteBlock("RV Diag Server", "US/EU", "192.0.2.15", StandInOutput("192.0.2.15"));
    expected += RouteBlock("RV Diag Server", "US/EU", "192.0.2.15", StandInOutput("192.0.2.15"));
    expected += RouteBlock("RV Patcher", "US/EU", "192.0.2.16",
                           "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.16\r\nTracing route to 192.0.2.16\r\n"
                           "  1  192.0.2.16\r\n  2  192.0.2.16\r\n  3  192.0.2.16\r\nTrace complete.\r\n");
    EXPECT_EQ(expected, Traces(7, kRuneveilServers));
}

TEST_F(RouteAllReachable, HeadingRuleMatchesTheHeadingAndUnresolvedHostsComeFirst) {
    sealed::RouteScript script("");
    ServerEntry servers[] = {
        sealed::Entry("K2 Auth Gate", 3, "auth.kharros2.example", 2106, CheckConnect | CheckRoute),
        sealed::Entry("Nowhere", 3, "nowhere.orvane.example", 80, CheckRoute),
        sealed::Entry("Not traced", 3, "patch.kharros2.example", 80, CheckConnect),
        sealed::Entry("Odd region", 6, "203.0.113.12", 7777, CheckRoute),
    };
    std::string body = Traces(4, servers);
    std::string rule(40, '-');  // 16 + 12 + 2 + 10 characters
    EXPECT_EQ("failed to get ip address for nowhere.orvane.example\r\n"
              "\r\n" + rule + "\r\nRoute for [K2 Auth Gate:US] (192.0.2.31)\r\n" + rule + "\r\n" +
                  StandInOutput("192.0.2.31") +
                  RouteBlock("Odd region", "Region Error", "203.0.113.12", StandInOutput("203.0.113.12")),
              body);
}

TEST_F(RouteAllReachable, OutputLongerThanAPipeHoldsArrivesWholeWithoutTimeout) {
    sealed::RouteScript script("192.0.2.31 bytes 600000\r\n192.0.2.33 bytes 300000\r\n");
    SetRouteTraceTimeLimit(30000);
    DWORD start = GetTickCount();
    std::string body = Traces(3, kKharros2Servers);
    EXPECT_LT(GetTickCount() - start, 15000u);
    std::string head31 = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.31\r\nTracing route to 192.0.2.31\r\n";
    std::string head33 = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.33\r\nTracing route to 192.0.2.33\r\n";
    std::string expected =
        RouteBlock("K2 Auth Gate", "US", "192.0.2.31", head31 + HopBytes("192.0.2.31", 600000) + "Trace complete.\r\n") +
        RouteBlock("K2 nprotect", "US", "192.0.2.32", StandInOutput("192.0.2.32")) +
        RouteBlock("K2 Patcher", "US", "192.0.2.33", head33 + HopBytes("192.0.2.33", 300000) + "Trace complete.\r\n");
    EXPECT_EQ(expected.size(), body.size());
    EXPECT_TRUE(expected == body) << "the report differs from the tools' output";
}

TEST_F(RouteAllReachable, KeptOutputStopsBeforeTheDirectXHeadingLikeACopiedFile) {
    // The copy rule of every tool output: a "DirectX Components" heading that
    // lies whole inside one 4096-byte chunk ends the copy 20 bytes before it.
    // The heading lies in the 11th chunk for .31 (output kept in memory) and
    // in the 81st for .33 (beyond what memory keeps, continued from a file).
    std::string head31 = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.31\r\nTracing route to 192.0.2.31\r\n";
    std::string head33 = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.33\r\nTracing route to 192.0.2.33\r\n";
    size_t bytes31 = 4096 * 10 + 1000 - 20 - head31.size();
    size_t bytes33 = 4096 * 80 + 2000 - 20 - head33.size();
    sealed::RouteScript script("192.0.2.31 marker " + std::to_string(bytes31) + "\r\n192.0.2.33 marker " +
                               std::to_string(bytes33) + "\r\n");
    std::string expected = RouteBlock("K2 Auth Gate", "US", "192.0.2.31", head31 + HopBytes("192.0.2.31", bytes31)) +
                           RouteBlock("K2 nprotect", "US", "192.0.2.32", StandInOutput("192.0.2.32")) +
                           RouteBlock("K2 Patcher", "US", "192.0.2.33", head33 + HopBytes("192.0.2.33", bytes33));
    std::string body = Traces(3, kKharros2Servers);
    EXPECT_EQ(expected.size(), body.size());
    EXPECT_TRUE(expected == body) << "the report differs from the tools' output";
}

TEST_F(RouteAllReachable, OutputIsWholeOnceTheToolsEndWhileAnotherProcessStillHoldsThePipe) {
    // A tool's pipe can outlive the tool: a process started at the same
    // moment inherits its write end, and under Wine so does the conhost.exe
    // of a console tool. The .31 tool leaves such a process behind for a
    // minute; the step must neither wait for it nor lose output.
    const char* eventName = "DiagnovaRouteLingerTest";
    HANDLE release = CreateEventA(NULL, TRUE, FALSE, eventName);
    ASSERT_NE((HANDLE)NULL, release);
    SetEnvironmentVariableA("DIAGNOVA_ROUTE_LINGER_EVENT", eventName);
    sealed::RouteScript script("192.0.2.31 linger\r\n192.0.2.33 bytes 300000\r\n");
    SetRouteTraceTimeLimit(120000);
    DWORD start = GetTickCount();
    std::string body = Traces(3, kKharros2Servers);
    DWORD spent = GetTickCount() - start;
    SetEvent(release);
    CloseHandle(release);
    SetEnvironmentVariableA("DIAGNOVA_ROUTE_LINGER_EVENT", NULL);
    EXPECT_LT(spent, 20000u);
    std::string head33 = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.33\r\nTracing route to 192.0.2.33\r\n";
    std::string expected =
        RouteBlock("K2 Auth Gate", "US", "192.0.2.31",
                   "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.31\r\nTracing route to 192.0.2.31\r\n"
                   "Trace complete.\r\n") +
        RouteBlock("K2 nprotect", "US", "192.0.2.32", StandInOutput("192.0.2.32")) +
        RouteBlock("K2 Patcher", "US", "192.0.2.33", head33 + HopBytes("192.0.2.33", 300000) + "Trace complete.\r\n");
    EXPECT_TRUE(expected == body) << "the report differs from the tools' output";
}

TEST_F(RouteAllReachable, ManyToolsStartedFromAProgramWithoutAConsoleShareTheFirstToolsConsole) {
    // Diagnova has no console, so each console tool would get one (and a
    // conhost.exe) of its own; with more traces than starter threads, the
    // later tools share the first one's. Ten traces: three entries of the
    // host with three addresses, then one more. The .11 tools hold until
    // the seven others have looked, so the first tool is still running then.
    FreeConsole();
    sealed::RouteScript script(
        "192.0.2.11 hold\r\n192.0.2.12 console\r\n192.0.2.13 console\r\n192.0.2.14 console\r\n");
    HoldUntilReported hold(7);
    ServerEntry servers[] = {
        sealed::Entry("Gate", 3, "auth.runeveil.example", 80, CheckRoute),
        sealed::Entry("Gate", 3, "auth.runeveil.example", 80, CheckRoute),
        sealed::Entry("Gate", 3, "auth.runeveil.example", 80, CheckRoute),
        sealed::Entry("Files", 3, "files.runeveil.example", 80, CheckRoute),
    };
    std::string expected;
    const char* addresses[] = {"192.0.2.11", "192.0.2.12", "192.0.2.13", "192.0.2.11", "192.0.2.12",
                               "192.0.2.13", "192.0.2.11", "192.0.2.12", "192.0.2.13", "192.0.2.14"};
    for (const char* a : addresses) {
        std::string head = std::string("stand-in: pathping.exe -w 500 -q 100 -4 ") + a + "\r\nTracing route to " + a + "\r\n";
        bool holder = std::string(a) == "192.0.2.11";
        const char* label = std::string(a) == "192.0.2.14" ? "Files" : "Gate";
        expected += RouteBlock(label, "US", a, head + (holder ? "" : "shared console\r\n") + "Trace complete.\r\n");
    }
    EXPECT_EQ(expected, Traces(4, servers));
    // The step leaves again: this process has no console afterwards.
    EXPECT_EQ((HWND)NULL, GetConsoleWindow());
    DWORD processes[4];
    EXPECT_EQ(0u, GetConsoleProcessList(processes, 4));
}

TEST_F(RouteAllReachable, TimeLimitStopsOnlyTheTraceStillRunning) {
    // The limit leaves the two other tools time to start and end on a busy machine.
    sealed::RouteScript script("192.0.2.32 hang\r\n");
    SetRouteTraceTimeLimit(6000);
    DWORD start = GetTickCount();
    std::string body = Traces(3, kKharros2Servers);
    DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 5900u);
    EXPECT_LT(spent, 20000u);
    EXPECT_EQ(RouteBlock("K2 Auth Gate", "US", "192.0.2.31", StandInOutput("192.0.2.31")) +
                  RouteBlock("K2 nprotect", "US", "192.0.2.32",
                             "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.32\r\nTracing route to 192.0.2.32\r\n"
                             "\r\n-> canceled by Diagnova due to timeout(6 sec)\r\n") +
                  RouteBlock("K2 Patcher", "US", "192.0.2.33", StandInOutput("192.0.2.33")),
              body);
}

TEST_F(RouteAllReachable, CancelEndsTheWaitAtOnceAndWritesOnlyStartFailures) {
    sealed::RouteScript script("192.0.2.31 hang\r\n192.0.2.32 hang\r\n");
    ServerEntry servers[] = {
        sealed::Entry("Nowhere", 3, "nowhere.orvane.example", 80, CheckRoute),
        kKharros2Servers[0],
        kKharros2Servers[1],
        kKharros2Servers[2],
    };
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, SetCancelLater, NULL, 0, NULL));
    DWORD start = GetTickCount();
    std::string body = Traces(4, servers);
    EXPECT_LT(GetTickCount() - start, 10000u);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ("failed to get ip address for nowhere.orvane.example\r\n", body);
}

TEST_F(RouteAllReachable, MoreThan64TracesAreAllWaitedForAndTheCapIs128) {
    // 50 entries of a host with three addresses would make 150 traces; only
    // the first 128 run (42 entries whole, then two addresses of the 43rd).
    // The .12 traces run for 3 seconds, longer than the output phase waits
    // for drains, so a watcher that stopped waiting early would cut them short.
    sealed::RouteScript script("192.0.2.12 sleep 3000\r\n");
    std::vector<ServerEntry> servers(50, sealed::Entry("Many", 7, "auth.runeveil.example", 80, CheckRoute));
    std::string slow = "stand-in: pathping.exe -w 500 -q 100 -4 192.0.2.12\r\nTracing route to 192.0.2.12\r\n"
                       "Trace complete.\r\n";
    std::string expected;
    for (int i = 0; i < 43; ++i) {
        expected += RouteBlock("Many", "US/EU", "192.0.2.11", StandInOutput("192.0.2.11"));
        expected += RouteBlock("Many", "US/EU", "192.0.2.12", slow);
        if (i < 42) expected += RouteBlock("Many", "US/EU", "192.0.2.13", StandInOutput("192.0.2.13"));
    }
    EXPECT_EQ(expected, Traces(50, servers.data()));
}

TEST_F(RouteAllReachable, NoRouteEntriesGiveAnEmptyBody) {
    ServerEntry servers[] = {sealed::Entry("A", 3, "auth.kharros2.example", 2106, CheckConnect)};
    EXPECT_EQ("", Traces(1, servers));
}

TEST_F(RouteUpdateDown, NoInternetShowsTheUpdateWarningAndCancels) {
    PrepareRunCancelEvent();
    sealed::MessageBoxCatcher catcher;
    EXPECT_EQ("", Traces(3, kKharros2Servers));
    ASSERT_EQ(1u, catcher.boxes().size());
    EXPECT_EQ("Orvane Diagnova", catcher.boxes()[0].caption);
    EXPECT_EQ("Warning: Unable to connect to update server. \n\nPlease check your Internet connection.",
              catcher.boxes()[0].text);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(GetRunCancelEvent(), 0));
}
