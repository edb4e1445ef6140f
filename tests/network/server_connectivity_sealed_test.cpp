// The connectivity and address sections against the stand-in game servers of
// the sealed network, compared as whole section bodies.
#include <string.h>

#include <string>

#include "collect/network/server_connectivity.h"
#include "collect/network/sockets.h"
#include "collect/run_control.h"
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

namespace {
// "address:port" of every result, joined by blanks, or "error N".
std::string FallbackLookup(const char* node, const char* service, int family = AF_INET) {
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* results = NULL;
    int error = FallbackGetAddrInfo(node, service, &hints, &results);
    if (error != 0) return "error " + std::to_string(error);
    std::string text;
    for (struct addrinfo* r = results; r != NULL; r = r->ai_next) {
        char host[kAddressTextChars];
        char port[8];
        int e = FallbackGetNameInfo(r->ai_addr, static_cast<socklen_t>(r->ai_addrlen), host, sizeof host, port,
                                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
        text += (text.empty() ? "" : " ") + (e == 0 ? std::string(host) + ":" + port : "name error");
        if (r->ai_socktype != SOCK_STREAM || r->ai_family != AF_INET) text += "(wrong kind)";
    }
    FallbackFreeAddrInfo(results);
    return text;
}
}  // namespace

TEST_F(ConnectivityAllReachable, FallbackResolverHandlesLiteralsNamesAndServices) {
    EXPECT_EQ("192.0.2.11:80 192.0.2.12:80 192.0.2.13:80", FallbackLookup("auth.runeveil.example", "80"));
    EXPECT_EQ("203.0.113.10:7777", FallbackLookup("203.0.113.10", "7777"));
    EXPECT_EQ("192.0.2.41:0", FallbackLookup("patch.solmere.example", NULL));
    EXPECT_EQ("192.0.2.41:80", FallbackLookup("patch.solmere.example", "http"));
    EXPECT_EQ("error " + std::to_string(EAI_NONAME), FallbackLookup("nowhere.orvane.example", "80"));
    EXPECT_EQ("error " + std::to_string(EAI_SERVICE), FallbackLookup("203.0.113.10", "no-such-service"));
    EXPECT_EQ("error " + std::to_string(EAI_FAMILY), FallbackLookup("203.0.113.10", "80", AF_INET6));

    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(6112);
    address.sin_addr.s_addr = inet_addr("198.51.100.21");
    char host[kAddressTextChars];
    char small[8];
    EXPECT_EQ(0, FallbackGetNameInfo(reinterpret_cast<sockaddr*>(&address), sizeof address, host, sizeof host, NULL,
                                     0, NI_NUMERICHOST));
    EXPECT_STREQ("198.51.100.21", host);
    // A slot too small for the address is an error, never an overrun.
    EXPECT_NE(0, FallbackGetNameInfo(reinterpret_cast<sockaddr*>(&address), sizeof address, small, sizeof small,
                                     NULL, 0, NI_NUMERICHOST));
}
