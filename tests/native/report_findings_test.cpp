// The findings a support engineer reads first: report fragments as the
// program writes them and the lines they must give, the two reports of the
// archive corpus, and reports cut, stretched and filled with odd bytes that
// must still give a short, clean list without reads outside the text.
#include "report/report_findings.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "report/report_trailer.h"
#include "report/zip_reader.h"

namespace {

std::string Banner(const std::string& title) {
    const std::string rule(78, '=');
    return rule + "\r\n= " + title + "\r\n" + rule + "\r\n";
}

std::string Sealed(const std::string& game, const std::string& sections) {
    const std::string report =
        game + " Test Report -- created by Diagnova v1.0.0.0\r\n\r\n" + sections + "\r\n<EOF>\r\n";
    char trailer[kDigestTrailerBytes + 1];
    BuildDigestTrailer(report.data(), report.size(), trailer);
    return report + trailer;
}

// Runs on a heap copy of exactly the text's size, so a read past it is caught.
ReportFindings Find(const std::string& text) {
    std::unique_ptr<char[]> exact(new char[text.size() ? text.size() : 1]);
    memcpy(exact.get(), text.data(), text.size());
    return FindReportFindings(exact.get(), text.size());
}

std::string RouteBlock(const std::string& heading, const std::string& output) {
    const std::string rule(heading.size(), '-');
    return "\r\n" + rule + "\r\n" + heading + "\r\n" + rule + "\r\n" + output;
}

const std::string kInstalled = Banner("Installed games") +
    "< Kharros 2 >\r\n"
    "\tHKLM\\SOFTWARE\\Orvane\\K2Client_us\\workingdir\r\n\t\tC:\\Games\\Kharros II\r\n"
    "\tHKLM\\SOFTWARE\\Orvane\\KharrosII\\InstallPath\r\n\t\tC:\\Games\\Kharros II\\Kharros.exe\r\n"
    "< Solmere >\r\n"
    "< Runeveil >\r\n"
    "\tHKCU\\SOFTWARE\\Skellan\\Runeveil\\Path\r\n\t\tD:\\Old\\Runeveil\r\n"
    "\tHKLM\\SOFTWARE\\Skellan\\Runeveil\\Path\r\n\t\tC:\\Games\\Runeveil\r\n"
    "< Runeveil 2 >\r\n"
    "\tHKLM\\Software\\Skellan\\Runeveil 2\\Path\r\n\t\tC:\\Games\\Runeveil 2\r\n\r\n";

const std::string kWindows7 = Banner("Running DirectX diagnostic") +
    "*--> dxdiag /dontskip /whql:off /64bit /t C:\\Temp\\DGN1.tmp <--*\r\n\r\n"
    "------------------\r\nSystem Information\r\n------------------\r\n"
    "   Operating System: Windows 7 Home Premium 64-bit (6.1, Build 7601)\r\n"
    "    DirectX Version: DirectX 11\r\n\r\n"
    "Windows Version: 6.1\r\nBuild 7601\r\nService Pack 1\r\nProcessor bit : 64\r\n";

const std::string kWindows7Line = "Windows 7 SP1 (6.1 build 7601), 64-bit; DirectX 11";

const std::string kWinsock = Banner("Gathering LSP list") +
    "*--> Netsh winsock show catalog <--*\r\n\r\n\r\n"
    "Winsock Catalog Provider Entry\r\n------------------------------------------------------\r\n"
    "Entry Type:                         Base Service Provider\r\n"
    "Description:                        MSAFD Tcpip [TCP/IP]\r\n"
    "Provider Path:                      %SystemRoot%\\system32\\mswsock.dll\r\n\r\n"
    "Winsock Catalog Provider Entry\r\n------------------------------------------------------\r\n"
    "Entry Type:                         Layered Chain Provider (32)\r\n"
    "Description:                        SpeedBoost LSP\r\n"
    "Provider Path:                      C:\\Program Files\\SpeedBoost\\sbwsp.dll\r\n\r\n"
    "Winsock Catalog Provider Entry\r\n------------------------------------------------------\r\n"
    "Entry Type:                         Layered Chain Provider (32)\r\n"
    "Description:                        SpeedBoost LSP\r\n"
    "Provider Path:                      C:\\Program Files\\SpeedBoost\\sbwsp.dll\r\n\r\n"
    "Name Space Provider Entry\r\n------------------------------------------------------\r\n"
    "Description:                        Network Location Awareness Legacy (NLAv1) Namespace\r\n\r\n";

const std::string kRoutes = Banner("Tracing network paths") +
    "failed to get ip address for patch.runeveil2.example\r\n" +
    RouteBlock("Route for [RV2 Auth Gate:US/EU] (192.0.2.21)",
               "Tracing route to auth1.runeveil2.example [192.0.2.21]\r\nover a maximum of 30 hops:\r\n"
               "  0  player-pc [192.168.1.10]\r\n  1  home.gateway [192.168.1.1]\r\n  2  10.20.0.1\r\n"
               "  3     *        *        *\r\nComputing statistics for 50 seconds...\r\n"
               "            Source to Here   This Node/Link\r\n"
               "Hop  RTT    Lost/Sent = Pct  Lost/Sent = Pct  Address\r\n"
               "  0                                           player-pc [192.168.1.10]\r\n"
               "                                0/ 100 =  0%   |\r\n"
               "  1    1ms     0/ 100 =  0%     0/ 100 =  0%  home.gateway [192.168.1.1]\r\n"
               "                                7/ 100 =  7%   |\r\n"
               "  2   14ms     7/ 100 =  7%     0/ 100 =  0%  10.20.0.1\r\n\r\nTrace complete.\r\n") +
    RouteBlock("Route for [RV2 Diag Server:US/EU] (192.0.2.24)",
               "Tracing route to 192.0.2.24 over a maximum of 30 hops\r\n\r\n"
               "  1    <1 ms    <1 ms    <1 ms  192.168.1.1\r\n  2    12 ms     *       13 ms  10.20.0.1\r\n"
               "  3    20 ms    21 ms    20 ms  diag.runeveil2.example [192.0.2.24]\r\n\r\nTrace complete.\r\n") +
    RouteBlock("Route for [RV2 File Server:US/EU] (192.0.2.23)",
               "Tracing route to 192.0.2.23 over a maximum of 30 hops\r\n\r\n"
               "  1    <1 ms    <1 ms    <1 ms  192.168.1.1\r\n  2    20 ms    21 ms    20 ms  192.0.2.23\r\n") +
    RouteBlock("Route for [RV2 Patcher:US/EU] (192.0.2.25)",
               "  1  192.168.1.1\r\n\r\n-> canceled by Diagnova due to timeout(500 sec)\r\n") +
    RouteBlock("Route for [RV2 Patcher:US/EU] (192.0.2.26)", "") + "\r\n";

struct Case {
    const char* name;
    std::string game;
    std::string sections;
    std::vector<std::string> expected;
};

}  // namespace

TEST(ReportFindings, FragmentsGiveTheirFindings) {
    const std::vector<Case> cases = {
        {"nothing wrong: one place per game (folder and program, user folder below it), servers and routes fine",
         "Kharros II",
         kInstalled + Banner("Checking server connectivity") +
             "\r\nauth.kharros2.example\r\n      192.0.2.31:2106 - connect succeeded\r\n\r\n" +
             Banner("IE proxy setting") +
             "Auto Config : (null)\r\nMigrate     : OFF\r\nEnabled     : OFF\r\nOverride    : (null)\r\nServer      : "
             "proxy.corp.example:8080\r\n\r\n" +
             Banner("Gathering BHO list") + "There is no installed BHO\r\n\r\n" +
             Banner("Discovering external address") + "Current IP Address: 198.51.100.77\r\n\r\n" +
             Banner("information about the UAC status and user level") +
             "An user \"PC\\Ann\" is an Administrator, and UAC is Enabled\r\n" + kWindows7,
         {kWindows7Line}},
        {"game not installed; Windows XP in the report's own form", "Solmere",
         kInstalled + Banner("Running DirectX diagnostic") +
             "    DirectX Version: = \"DirectX 9.0c (4.09.0000.0904)\r\n"
             "Windows Version: 5.1\nBuild 2600\r\n\r\nProcessor bit : 32\r\n",
         {"Solmere is not installed: no install path in the registry",
          "Windows XP (5.1 build 2600), 32-bit; DirectX 9.0c (4.09.0000.0904)"}},
        {"game in two places; DirectX diagnostic failed; later Windows", "Runeveil",
         kInstalled + Banner("Running DirectX diagnostic") + "  DirectX Diagnostics failed\r\n"
             "Windows Version: 6.2\r\nBuild 9200\r\n\r\nProcessor bit : 64\r\n",
         {"Runeveil is installed in 2 places: D:\\Old\\Runeveil | C:\\Games\\Runeveil",
          "Windows 8 or later (6.2 build 9200), 64-bit; DirectX version unknown"}},
        {"servers: one refusing two ports, a name that does not resolve, a literal address", "Runeveil 2",
         Banner("Checking server connectivity") +
             "\r\nauth1.runeveil2.example\r\n      192.0.2.21:6112 - connect failed\r\n\r\n"
             "auth2.runeveil2.example\r\n        192.0.2.22:80 - connect succeeded\r\n\r\n"
             "auth1.runeveil2.example\r\n        192.0.2.21:80 - connect failed\r\n\r\n"
             "files.runeveil2.example\r\nip address failed\r\n\r\n    203.0.113.10:7777 - connect failed\r\n"
             "203.255.255.255:65535 - connect succeeded\r\n\r\n",
         {"Game server name not resolved: files.runeveil2.example",
          "No connection to auth1.runeveil2.example at 192.0.2.21:6112, 192.0.2.21:80",
          "No connection to 203.0.113.10:7777"}},
        {"no server accepts", "Solmere",
         Banner("Checking server connectivity") + "\r\n    203.0.113.10:7777 - connect failed\r\n\r\n"
             "patch.solmere.example\r\n        192.0.2.41:80 - connect failed\r\n\r\n",
         {"No game server accepted a connection (2 attempts failed)", "No connection to 203.0.113.10:7777",
          "No connection to patch.solmere.example at 192.0.2.41:80"}},
        {"routes: a trace that stops, loss, the time limit, a tracer without output", "Runeveil 2", kRoutes,
         {"Game server name not resolved: patch.runeveil2.example",
          "Route to 192.0.2.21 (RV2 Auth Gate): no answer after hop 2 (10.20.0.1); loss at hop 2 (10.20.0.1) 7%",
          "Route to 192.0.2.24 (RV2 Diag Server): loss at hop 2 (10.20.0.1) 33%",
          "Route to 192.0.2.25 (RV2 Patcher): ends at hop 1 (192.168.1.1) short of the server; stopped at the time "
          "limit",
          "... and 1 more route with problems"}},
        {"hosts file: game, publisher and report-listed hosts; comments and other names are not", "Runeveil 2",
         Banner("Checking server connectivity") +
             "\r\nlogin.newgame.example\r\n  192.0.2.90:80 - connect succeeded\r\n\r\n" +
             Banner("Collecting Hosts file content") +
             "*--> C:\\Windows\\system32\\drivers\\etc\\hosts <--*\r\n\r\n"
             "127.0.0.1 localhost\n# 10.0.0.9 auth.runeveil.example\n10.0.0.9\tAUTH1.runeveil2.example # moved\n"
             "1.2.3.4 www.unrelated.example runeveil2.example.evil.example\n0.0.0.0 update.orvane.example\n"
             "127.0.0.1 login.newgame.example\n0.0.0.0 support.kharros2.example\n\r\n\r\n",
         {"Hosts file sends AUTH1.runeveil2.example to 10.0.0.9", "Hosts file sends update.orvane.example to 0.0.0.0",
          "Hosts file sends login.newgame.example to 127.0.0.1",
          "... and 1 more hosts file entry for the game's or publisher's hosts"}},
        {"proxy, foreign Winsock provider (listed once), browser helpers, no external address, UAC", "Runeveil 2",
         Banner("IE proxy setting") +
             "Auto Config : http://wpad.corp.example/proxy.pac\r\nMigrate     : OFF\r\nEnabled     : ON\r\n"
             "Override    : <local>\r\nServer      : proxy.corp.example:8080\r\n\r\n" +
             kWinsock + Banner("Gathering BHO list") +
             "- Shop Helper\r\n\tClass Id     : {1}\r\n\tInstall Path : C:\\Shop\\helper.dll\r\n"
             "\tThread Model : Apartment\r\n"
             "- B\r\n\tClass Id     : {2}\r\n\tInstall Path : \r\n\tThread Model : \r\n"
             "- C\r\n- D\r\n- E\r\n\r\n" +
             Banner("Discovering external address") + "\tfailed\r\n\r\n" +
             Banner("information about the UAC status and user level") +
             "An user \"PC\\Bob \"is an\" x\" is an User, and UAC is Disabled\r\n",
         {"Proxy is on: proxy.corp.example:8080", "Proxy auto-configuration script: http://wpad.corp.example/proxy.pac",
          "Winsock provider not from Windows: SpeedBoost LSP (C:\\Program Files\\SpeedBoost\\sbwsp.dll)",
          "Browser helper object: Shop Helper (C:\\Shop\\helper.dll)", "Browser helper object: B",
          "Browser helper object: C", "... and 2 more browser helper objects",
          "No external address: the address page could not be read",
          "Not an administrator: the test ran as PC\\Bob \"is an\" x", "UAC is off"}},
    };
    for (const Case& c : cases) {
        const ReportFindings found = Find(Sealed(c.game, c.sections));
        EXPECT_EQ(c.game, found.game) << c.name;
        EXPECT_EQ(c.expected, found.lines) << c.name;
    }
}

TEST(ReportFindings, AnUnsealedReportSaysSoFirstAndTheOrderIsByImportance) {
    std::string report = Sealed("Runeveil", kWindows7 + kInstalled + kWinsock);
    const ReportFindings sealed = Find(report);
    EXPECT_EQ(std::vector<std::string>({"Runeveil is installed in 2 places: D:\\Old\\Runeveil | C:\\Games\\Runeveil",
                                        "Winsock provider not from Windows: SpeedBoost LSP "
                                        "(C:\\Program Files\\SpeedBoost\\sbwsp.dll)",
                                        kWindows7Line}),
              sealed.lines);
    const std::string unsealed = "Report not sealed: the test was cancelled, or the report was cut or changed";
    for (size_t cut : {report.size() - 1, report.size() - 40, report.size() - 56, report.size() / 2, size_t(0)}) {
        const ReportFindings found = Find(report.substr(0, cut));
        ASSERT_FALSE(found.lines.empty());
        EXPECT_EQ(unsealed, found.lines[0]) << cut;
    }
    EXPECT_EQ("", Find("").game);
    EXPECT_EQ(std::vector<std::string>({unsealed}), FindReportFindings(NULL, 0).lines);
    EXPECT_EQ("", Find("Runeveil Test Report\r\n").game);
}

TEST(ReportFindings, TheCorpusReportsOfRealRuns) {
    // Where the archives of two real runs lie, from this file's own path.
    std::string corpus = __FILE__;
    corpus = corpus.substr(0, corpus.rfind('/')) + "/../fuzz/corpus/zip_reader/";
    struct Run {
        const char* archive;
        const char* member;
        std::vector<std::string> expected;
    } runs[] = {
        {"run_runeveil2.zip", "Runeveil 2 Test.txt", {}},
        {"run_solmere.zip", "Solmere Test.txt", {"Solmere is not installed: no install path in the registry"}},
    };
    for (Run& run : runs) {
        std::ifstream in(corpus + run.archive, std::ios::binary);
        ASSERT_TRUE(in.good()) << corpus + run.archive;
        const std::string archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ZipSource source = {[](void* context, uint64_t offset, void* buffer, size_t count) {
                                const std::string& bytes = *static_cast<const std::string*>(context);
                                if (offset + count > bytes.size()) return false;
                                memcpy(buffer, bytes.data() + offset, count);
                                return true;
                            },
                            const_cast<std::string*>(&archive), archive.size()};
        ZipMemberInfo member;
        ASSERT_EQ(ZipReadOk, ZipFindMember(source, &run.member, 1, &member)) << run.archive;
        std::string report;
        ASSERT_EQ(ZipReadOk, ZipReadMember(
                                 source, member,
                                 [](void* context, const uint8_t* bytes, size_t count) {
                                     static_cast<std::string*>(context)->append((const char*)bytes, count);
                                 },
                                 &report));
        ASSERT_TRUE(DigestTrailerVerifies(report.data(), report.size())) << run.archive;
        const ReportFindings found = Find(report);
        EXPECT_EQ(std::string(run.member).substr(0, strlen(run.member) - strlen(" Test.txt")), found.game);
        run.expected.push_back("Windows XP SP3 (5.1 build 2600), 32-bit; DirectX 9.0c (4.09.0000.0904)");
        EXPECT_EQ(run.expected, found.lines) << run.archive;
    }
}

// Whatever the report holds, the list stays short and clean: no line over the
// limit, no control bytes, no double-byte character cut in half.
TEST(ReportFindings, CutStretchedAndOddReportsGiveABoundedCleanList) {
    auto expectBounded = [](const ReportFindings& found, const std::string& what) {
        ASSERT_LE(found.lines.size(), 24u) << what;
        ASSERT_LE(found.game.size(), 126u) << what;
        for (const std::string& line : found.lines) {
            ASSERT_LE(line.size(), 120u) << what;
            for (char c : line) ASSERT_FALSE((unsigned char)c < 0x20 || c == 0x7F) << what << ": " << line;
        }
    };
    const std::string rich = Sealed("Runeveil 2", kInstalled + kRoutes + kWinsock + kWindows7);
    const std::vector<std::string> whole = Find(rich).lines;
    for (size_t cut = 0; cut < rich.size(); ++cut) expectBounded(Find(rich.substr(0, cut)), "cut");

    // The same report with LF or CR alone as line ends (the digest no longer
    // matters here: only the unsealed line may differ).
    for (const char* end : {"\n", "\r"}) {
        std::string changed;
        for (size_t i = 0; i < rich.size(); ++i) {
            if (rich.compare(i, 2, "\r\n") == 0) {
                changed += end;
                ++i;
            } else {
                changed += rich[i];
            }
        }
        std::vector<std::string> lines = Find(changed).lines;
        if (!lines.empty() && lines[0].compare(0, 18, "Report not sealed:") == 0) lines.erase(lines.begin());
        EXPECT_EQ(whole, lines) << (end[0] == '\n' ? "LF" : "CR");
    }

    // Huge sections, a 100,000-character line, NUL and every other byte.
    std::string odd(256, '\0');
    for (int i = 0; i < 256; ++i) odd[i] = (char)i;
    const std::string longLine(100000, 'x');
    std::string helpers, servers, hosts;
    for (int i = 0; i < 2000; ++i) {
        helpers += "- " + odd + longLine.substr(0, i % 200) + "\r\n\tInstall Path : " + odd + "\r\n";
        servers += "\r\nhost" + std::to_string(i) + ".example\r\n  192.0.2.1:" + std::to_string(i) +
                   " - connect failed\r\n";
        hosts += "0.0.0.0 a" + std::to_string(i) + ".runeveil2.example\r\n";
    }
    const std::string doubleByte = std::string(61, '\x82') + "\xA0";  // cut inside a run of lead and trail bytes
    const std::string hostile = Sealed(
        longLine + odd, Banner("Gathering BHO list") + "- " + doubleByte + doubleByte + "\r\n" + helpers +
                            Banner("Checking server connectivity") + servers + Banner("Collecting Hosts file content") +
                            hosts + longLine + "\r\n" + Banner("Tracing network paths") +
                            RouteBlock("Route for [" + longLine + ":US] (" + odd + ")", "  1    *    *    *\r\n") +
                            Banner("Installed games") + "< " + longLine + odd + " >\r\n" + Banner("IE proxy setting") +
                            "Enabled     : ON\r\nServer      : " + odd + longLine + "\r\n" + longLine + "\r\n");
    const ReportFindings found = Find(hostile);
    expectBounded(found, "hostile");
    // The first helper's name: 44 of its 64 double-byte bytes, then "...".
    const std::string helper = "Browser helper object: " + std::string(44, '\x82') + "...";
    EXPECT_NE(std::find(found.lines.begin(), found.lines.end(), helper), found.lines.end());
    for (size_t cut = 0; cut < hostile.size(); cut += hostile.size() / 12 + 1)
        expectBounded(Find(hostile.substr(0, cut)), "hostile cut");
}
