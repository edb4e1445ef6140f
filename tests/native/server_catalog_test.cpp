#include "catalog/server_catalog.h"

#include <gtest/gtest.h>
#include <string.h>
#include <strings.h>

TEST(ServerCatalog, RegionTextsNameOnlyTheKnownCombinations) {
    EXPECT_STREQ("N/A", GetRegionText(0));
    EXPECT_STREQ("US East", GetRegionText(1));
    EXPECT_STREQ("US West", GetRegionText(2));
    EXPECT_STREQ("US", GetRegionText(3));
    EXPECT_STREQ("EU", GetRegionText(4));
    EXPECT_STREQ("US/EU", GetRegionText(7));
    for (int code : {5, 6, 8, -1, 1 << 30}) EXPECT_STREQ("Region Error", GetRegionText(code)) << code;
}

namespace {
bool IsDotted(const char* host) { return strspn(host, "0123456789.") == strlen(host); }
}  // namespace

TEST(ServerCatalog, RuneveilTwoAlternatesBetweenTwoAuthGatesWithIdenticalHostTexts) {
    // The sections print a heading each time the host changes, so the two
    // gates must carry exactly the same text wherever they repeat.
    EXPECT_STREQ(kRuneveil2Servers[0].host, kRuneveil2Servers[3].host);
    EXPECT_STREQ(kRuneveil2Servers[1].host, kRuneveil2Servers[2].host);
    EXPECT_NE(0, strcasecmp(kRuneveil2Servers[0].host, kRuneveil2Servers[1].host));
}

TEST(ServerCatalog, EveryEntryHasAPortAndOnlyKnownChecks) {
    const ServerEntry* lists[] = {kRuneveilServers, kRuneveil2Servers, kKharros2Servers, kSolmereServers};
    const int counts[] = {7, 10, 3, 7};
    int routeOnly = 0;
    for (int g = 0; g < 4; ++g) {
        for (int i = 0; i < counts[g]; ++i) {
            const ServerEntry& e = lists[g][i];
            EXPECT_GT(e.port, 0) << e.label;
            EXPECT_EQ(0u, e.checks & ~3u) << e.label;
            EXPECT_NE(0u, e.checks & CheckRoute) << e.label;
            if (e.checks == CheckRoute) ++routeOnly;
            EXPECT_GT(strlen(e.host), 0u);
        }
    }
    EXPECT_EQ(2, routeOnly);
}

TEST(ServerCatalog, SolmereUsesLiteralAddressesExceptForItsPatcher) {
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(i != 4, IsDotted(kSolmereServers[i].host)) << kSolmereServers[i].label;
        EXPECT_STREQ("US", GetRegionText(kSolmereServers[i].region));
    }
}
