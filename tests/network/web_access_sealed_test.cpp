// HTTP access, the external-address section and the version check against the
// stand-in update server and address page of the sealed network.
#include <string>

#include "collect/network/web_access.h"
#include "resources/deployment.h"
#include "sealed_support.h"
#include "ui/main_window.h"

namespace {

const char kBanner[] =
    "==============================================================================\r\n"
    "= Discovering external address\r\n"
    "==============================================================================\r\n";
const char kUpdateWarning[] = "Warning: Unable to connect to update server. \n\nPlease check your Internet connection.";

std::string Fetch(const char* url, DWORD capacity, bool* ok) {
    std::string buffer(capacity + 16, '#');
    DWORD bytes = capacity;
    *ok = HttpGet(url, &bytes, &buffer[0]);
    return buffer.substr(0, bytes);
}

class WebAccessAllReachable : public sealed::ScenarioTest {
protected:
    WebAccessAllReachable() : ScenarioTest("all_reachable") {}
};
class WebAccessUpdateDown : public sealed::ScenarioTest {
protected:
    WebAccessUpdateDown() : ScenarioTest("update_down") {}
};
class WebAccessVersion300 : public sealed::ScenarioTest {
protected:
    WebAccessVersion300() : ScenarioTest("version_300") {}
};
class WebAccessNewerVersion : public sealed::ScenarioTest {
protected:
    WebAccessNewerVersion() : ScenarioTest("newer_version") {}
};
class WebAccessNoAddressLabel : public sealed::ScenarioTest {
protected:
    WebAccessNoAddressLabel() : ScenarioTest("no_address_label") {}
};
class WebAccessOneSilent : public sealed::ScenarioTest {
protected:
    WebAccessOneSilent() : ScenarioTest("one_silent") {}
    void TearDown() override { SetWebTimeLimits(15000, 15000); }
};

// Milliseconds a failed fetch took.
DWORD TimedFailure(const char* url) {
    DWORD start = GetTickCount();
    bool ok = true;
    Fetch(url, 256, &ok);
    EXPECT_FALSE(ok) << url;
    return GetTickCount() - start;
}

}  // namespace

TEST_F(WebAccessAllReachable, HttpGetReadsTheAnnouncedLengthAndRefusesSmallerBuffers) {
    bool ok = false;
    EXPECT_EQ("1.0.0.0\r\n", Fetch(DEPLOY_VERSION_FILE_URL, 256, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ("1.0.0.0\r\n", Fetch(DEPLOY_VERSION_FILE_URL, 9, &ok));
    EXPECT_TRUE(ok);
    // Too small: nothing is read and the capacity stays as it was.
    EXPECT_EQ("########", Fetch(DEPLOY_VERSION_FILE_URL, 8, &ok));
    EXPECT_FALSE(ok);
    // No server at all on that address and port.
    Fetch("http://192.0.2.99/", 256, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(WebAccessAllReachable, HttpGetWaitsForABodyInPiecesAndReadsTheLengthsLeadingDigits) {
    bool ok = false;
    // Three pieces 300 ms apart: a read that returns part of the body is no failure.
    std::string split = Fetch("http://" DEPLOY_UPDATE_HOST "/test/split", 4000, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(1000, 'a') + std::string(1000, 'b') + std::string(1000, 'c'), split);
    // The stream ends before the announced 20 bytes: failure, with what came.
    EXPECT_EQ("1.0.0", Fetch("http://" DEPLOY_UPDATE_HOST "/test/short", 256, &ok));
    EXPECT_FALSE(ok);
    // A note after the length's digits does not matter.
    EXPECT_EQ("1.0.0.0\r\n", Fetch("http://" DEPLOY_UPDATE_HOST "/test/annotated", 256, &ok));
    EXPECT_TRUE(ok);
    // Lengths without leading digits or beyond 32 bits are refused before any
    // read (the capacity stays as it was); so is an answer without a length.
    const char* refused[] = {"/test/negative", "/test/text", "/test/huge", "/test/none"};
    for (const char* path : refused) {
        std::string url = std::string("http://" DEPLOY_UPDATE_HOST) + path;
        EXPECT_EQ(std::string(256, '#'), Fetch(url.c_str(), 256, &ok)) << path;
        EXPECT_FALSE(ok) << path;
    }
    // The status is not looked at: an error page with a length is a body.
    EXPECT_EQ("missing", Fetch("http://" DEPLOY_UPDATE_HOST "/test/missing", 256, &ok));
    EXPECT_TRUE(ok);
}

// A server that takes the request and never answers, or never sends the body
// it announced, and one whose connection is never accepted: each request ends
// at its limit as if the server were down, the version check included.
TEST_F(WebAccessOneSilent, RequestsToServersThatNeverAnswerEndAtTheTimeLimits) {
    SetWebTimeLimits(1000, 1000);
    const char* urls[] = {"http://192.0.2.32/", "http://" DEPLOY_UPDATE_HOST "/test/mute",
                          "http://" DEPLOY_UPDATE_HOST "/test/stall"};
    for (const char* url : urls) {
        DWORD spent = TimedFailure(url);
        EXPECT_GE(spent, 900u) << url;
        EXPECT_LT(spent, 5000u) << url;
    }
    DWORD start = GetTickCount();
    EXPECT_FALSE(UrlReachable("http://" DEPLOY_UPDATE_HOST "/test/mute"));
    EXPECT_FALSE(UrlReachable("http://192.0.2.32/"));
    EXPECT_LT(GetTickCount() - start, 10000u);
    // The limits bound waiting, not answers: the version file still comes.
    EXPECT_EQ(VersionCurrent, QueryLatestVersion());
}

TEST_F(WebAccessAllReachable, ExternalAddressSectionShowsTheAddress) {
    EXPECT_EQ(std::string(kBanner) + "Current IP Address: 198.51.100.77\r\n\r\n", sealed::Section(WriteExternalAddress));
}

TEST_F(WebAccessAllReachable, OwnVersionOnTheServerIsCurrentAndTheDownloadIsReachable) {
    EXPECT_EQ(VersionCurrent, QueryLatestVersion());
    EXPECT_TRUE(UrlReachable(DEPLOY_DOWNLOAD_URL));
    EXPECT_FALSE(UrlReachable("http://" DEPLOY_UPDATE_HOST "/diagnova/download/missing.exe"));  // 404
    EXPECT_FALSE(UrlReachable(""));
    EXPECT_FALSE(UrlReachable(NULL));
}

TEST_F(WebAccessNewerVersion, ANewerVersionFileIsReported) { EXPECT_EQ(VersionNewer, QueryLatestVersion()); }

TEST_F(WebAccessVersion300, AnOversizedVersionFileCountsAsUnreachable) {
    EXPECT_EQ(VersionUnreachable, QueryLatestVersion());
    bool ok = false;
    std::string body = Fetch(DEPLOY_VERSION_FILE_URL, 300, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(300u, body.size());
}

TEST_F(WebAccessUpdateDown, UnreachableServerGivesTheWarningAndNoDownload) {
    EXPECT_EQ(VersionUnreachable, QueryLatestVersion());
    EXPECT_FALSE(UrlReachable(DEPLOY_DOWNLOAD_URL));
    sealed::MessageBoxCatcher catcher;
    DownloadLatestVersion();
    ASSERT_EQ(1u, catcher.boxes().size());
    EXPECT_EQ("Orvane Diagnova", catcher.boxes()[0].caption);
    EXPECT_EQ(kUpdateWarning, catcher.boxes()[0].text);
    // The external-address service is another host and still answers.
    EXPECT_EQ(std::string(kBanner) + "Current IP Address: 198.51.100.77\r\n\r\n", sealed::Section(WriteExternalAddress));
}

TEST_F(WebAccessNoAddressLabel, PageWithoutTheLabelGivesFailed) {
    EXPECT_EQ(std::string(kBanner) + "\tfailed\r\n\r\n", sealed::Section(WriteExternalAddress));
    char address[256] = "untouched";
    EXPECT_FALSE(GetExternalAddress(address));
    EXPECT_STREQ("untouched", address);
}
