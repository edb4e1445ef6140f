// The connectivity and address sections against the stand-in game servers of
// the sealed network, compared as whole section bodies.
#include <string>

#include "collect/network/server_connectivity.h"
#include "collect/network/sockets.h"
#include "report/run_control.h"
#include "sealed_support.h"

namespace {

const char kNoInternet[] =
    "Diagnova will be unable to continue the network test as you are not connected to the Internet.\n\n"
    "Please check your Internet connection and run Diagnova again.";

std::string Connectivity(int count, const ServerEntry* servers) {
    return sealed::Section([&](ReportSink sink) { WriteServerConnectivity(sink, count, servers); });
}
std::string Addresses(int count, const ServerEntry* servers) {
    return sealed::Section([&](ReportSink sink) { WriteServerAddresses(sink, count, servers); });
}

class ConnectivityAllReachable : public sealed::ScenarioTest {
protected:
    ConnectivityAllReachable() : ScenarioTest("all_reachable") {}
};
class ConnectivitySomeRefusing : public sealed::ScenarioTest {
protected:
    ConnectivitySomeRefusing() : ScenarioTest("some_refusing") {}
};
class ConnectivityOneSilent : public sealed::ScenarioTest {
protected:
    ConnectivityOneSilent() : ScenarioTest("one_silent") {}
    void TearDown() override { SetConnectTimeLimit(10000); }
};
class ConnectivityUpdateDown : public sealed::ScenarioTest {
protected:
    ConnectivityUpdateDown() : ScenarioTest("update_down") {}
};

}  // namespace

TEST_F(ConnectivityAllReachable, RuneveilConnectivityListsEveryAddressUnderOneHeadingPerHost) {
    EXPECT_EQ(
        "\r\nauth.runeveil.example\r\n"
        "      192.0.2.11:6112 - connect succeeded\r\n"
        "      192.0.2.12:6112 - connect succeeded\r\n"
        "      192.0.2.13:6112 - connect succeeded\r\n"
        "        192.0.2.11:80 - connect succeeded\r\n"
        "        192.0.2.12:80 - connect succeeded\r\n"
        "        192.0.2.13:80 - connect succeeded\r\n"
        "\r\nfiles.runeveil.example\r\n"
        "      192.0.2.14:6112 - connect succeeded\r\n"
        "        192.0.2.14:80 - connect succeeded\r\n"
        "\r\ndiag.runeveil.example\r\n"
        "      192.0.2.15:6112 - connect succeeded\r\n"
        "        192.0.2.15:80 - connect succeeded\r\n",
        Connectivity(7, kRuneveilServers));
}

TEST_F(ConnectivityAllReachable, SolmereLiteralsGetAnEmptyLineInsteadOfAHeading) {
    EXPECT_EQ(
        "\r\n    203.0.113.10:7777 - connect succeeded\r\n"
        "\r\n    203.0.113.11:7777 - connect succeeded\r\n"
        "\r\n    203.0.113.12:7777 - connect succeeded\r\n"
        "\r\n    203.0.113.13:7777 - connect succeeded\r\n"
        "\r\npatch.solmere.example\r\n"
        "        192.0.2.41:80 - connect succeeded\r\n"
        "\r\n   198.51.100.20:2106 - connect succeeded\r\n"
        "\r\n  198.51.100.21:10241 - connect succeeded\r\n",
        Connectivity(7, kSolmereServers));
    EXPECT_EQ("\r\nIP Address Information:  patch.solmere.example\r\n\t192.0.2.41\r\n", Addresses(7, kSolmereServers));
}

TEST_F(ConnectivityAllReachable, AddressSectionRepeatsAHostOnlyWhenAnotherCameBetween) {
    EXPECT_EQ(
        "\r\nIP Address Information:  auth1.runeveil2.example\r\n\t192.0.2.21\r\n"
        "\r\nIP Address Information:  auth2.runeveil2.example\r\n\t192.0.2.22\r\n"
        "\r\nIP Address Information:  auth1.runeveil2.example\r\n\t192.0.2.21\r\n"
        "\r\nIP Address Information:  files.runeveil2.example\r\n\t192.0.2.23\r\n"
        "\r\nIP Address Information:  diag.runeveil2.example\r\n\t192.0.2.24\r\n"
        "\r\nIP Address Information:  cdn.runeveil2.example\r\n\t192.0.2.25\r\n"
        "\r\nIP Address Information:  patch.runeveil2.example\r\n\t192.0.2.26\r\n",
        Addresses(10, kRuneveil2Servers));
}

TEST_F(ConnectivityAllReachable, HeadingRulesForMadeUpLists) {
    EXPECT_EQ("no servers to test\r\n", Connectivity(0, kRuneveilServers));
    ServerEntry noConnect[] = {
        sealed::Entry("A", 7, "auth.runeveil.example", 80, CheckRoute),
        sealed::Entry("B", 7, "files.runeveil.example", 0, CheckConnect | CheckRoute),
        sealed::Entry("C", 7, "diag.runeveil.example", -5, CheckConnect),
    };
    EXPECT_EQ("no servers to test\r\n", Connectivity(3, noConnect));
    EXPECT_EQ(
        "\r\nIP Address Information:  auth.runeveil.example\r\n\t192.0.2.11\r\n\t192.0.2.12\r\n\t192.0.2.13\r\n"
        "\r\nIP Address Information:  files.runeveil.example\r\n\t192.0.2.14\r\n"
        "\r\nIP Address Information:  diag.runeveil.example\r\n\t192.0.2.15\r\n",
        Addresses(3, noConnect));

    // Same host in another letter case: one heading. A literal between two
    // entries of one host does not reset the last host. An unknown name still
    // gets its heading. The longest address-and-port text has no blanks.
    ServerEntry mixed[] = {
        sealed::Entry("A", 3, "patch.solmere.example", 80, CheckConnect),
        sealed::Entry("A", 3, "PATCH.Solmere.example", 7777, CheckConnect),
        sealed::Entry("B", 3, "198.51.100.20", 2106, CheckConnect),
        sealed::Entry("A", 3, "patch.solmere.example", 2106, CheckConnect),
        sealed::Entry("C", 3, "nowhere.orvane.example", 80, CheckConnect),
        sealed::Entry("D", 3, "255.255.255.255", 65535, CheckConnect),
    };
    EXPECT_EQ(
        "\r\npatch.solmere.example\r\n"
        "        192.0.2.41:80 - connect succeeded\r\n"
        "      192.0.2.41:7777 - connect succeeded\r\n"
        "\r\n   198.51.100.20:2106 - connect succeeded\r\n"
        "      192.0.2.41:2106 - connect succeeded\r\n"
        "\r\nnowhere.orvane.example\r\n"
        "ip address failed\r\n"
        "\r\n255.255.255.255:65535 - connect failed\r\n",
        Connectivity(6, mixed));
    EXPECT_EQ(
        "\r\nIP Address Information:  patch.solmere.example\r\n\t192.0.2.41\r\n"
        "\r\nIP Address Information:  nowhere.orvane.example\r\n\tfailed\r\n",
        Addresses(6, mixed));
}

TEST_F(ConnectivityAllReachable, ResolverBindsTheSystemFunctions) {
    char addresses[kMaxResolvedAddresses][kAddressTextChars];
    ASSERT_EQ(3, ResolveHostAddresses("auth.runeveil.example", addresses));
    EXPECT_STREQ("192.0.2.13", addresses[2]);
    EXPECT_EQ(0, ResolveHostAddresses("", addresses));
    EXPECT_EQ(0, ResolveHostAddresses(NULL, addresses));
    EXPECT_TRUE(ResolverUsesSystemFunctions());
}

TEST_F(ConnectivitySomeRefusing, RefusedAddressesFailQuicklyAndTheRestSucceed) {
    DWORD start = GetTickCount();
    EXPECT_EQ(
        "\r\nauth.runeveil.example\r\n"
        "      192.0.2.11:6112 - connect succeeded\r\n"
        "      192.0.2.12:6112 - connect failed\r\n"
        "      192.0.2.13:6112 - connect succeeded\r\n"
        "        192.0.2.11:80 - connect succeeded\r\n"
        "        192.0.2.12:80 - connect failed\r\n"
        "        192.0.2.13:80 - connect succeeded\r\n"
        "\r\nfiles.runeveil.example\r\n"
        "      192.0.2.14:6112 - connect failed\r\n"
        "        192.0.2.14:80 - connect failed\r\n"
        "\r\ndiag.runeveil.example\r\n"
        "      192.0.2.15:6112 - connect succeeded\r\n"
        "        192.0.2.15:80 - connect succeeded\r\n",
        Connectivity(7, kRuneveilServers));
    EXPECT_EQ(
        "\r\n    203.0.113.10:7777 - connect succeeded\r\n"
        "\r\n    203.0.113.11:7777 - connect failed\r\n"
        "\r\n    203.0.113.12:7777 - connect succeeded\r\n"
        "\r\n    203.0.113.13:7777 - connect succeeded\r\n"
        "\r\npatch.solmere.example\r\n"
        "        192.0.2.41:80 - connect succeeded\r\n"
        "\r\n   198.51.100.20:2106 - connect succeeded\r\n"
        "\r\n  198.51.100.21:10241 - connect failed\r\n",
        Connectivity(7, kSolmereServers));
    // Seven refusals under the 10-second limit: each shows at once.
    EXPECT_LT(GetTickCount() - start, 5000u);
}

TEST_F(ConnectivityOneSilent, SilentServerFailsAtTheTimeLimit) {
    SetConnectTimeLimit(1500);
    DWORD start = GetTickCount();
    EXPECT_EQ(
        "\r\nauth.kharros2.example\r\n"
        "      192.0.2.31:2106 - connect succeeded\r\n"
        "\r\nnprotect.kharros2.example\r\n"
        "        192.0.2.32:80 - connect failed\r\n"
        "\r\npatch.kharros2.example\r\n"
        "        192.0.2.33:80 - connect succeeded\r\n",
        Connectivity(3, kKharros2Servers));
    DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 1400u);
    EXPECT_LT(spent, 6000u);
}

TEST_F(ConnectivityUpdateDown, NoInternetShowsTheWarningOnceAndCancelsTheRun) {
    PrepareRunCancelEvent();
    sealed::MessageBoxCatcher catcher;
    EXPECT_EQ("", Connectivity(7, kRuneveilServers));
    ASSERT_EQ(1u, catcher.boxes().size());
    EXPECT_EQ("Orvane Diagnova", catcher.boxes()[0].caption);
    EXPECT_EQ(kNoInternet, catcher.boxes()[0].text);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(GetRunCancelEvent(), 0));
    // The address section has no Internet check.
    EXPECT_EQ("\r\nIP Address Information:  patch.solmere.example\r\n\t192.0.2.41\r\n", Addresses(7, kSolmereServers));
}
