// Version comparison, Content-Length parsing, the external-address page and
// host-text classification.
#include "collect/network/network_text.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

TEST(CompareVersions, ComparesPartsAsNumbersAndCountsExtraParts) {
    struct Case {
        const char* own;
        const char* fetched;
        int expected;
    } cases[] = {
        {"1.4.0.0", "1.4.0.1", 1},     {"1.4.0.0", "1.4.0.0", -1},   {"1.4.0.0", "1.4", -1},
        {"1.4.0.0", "1.4.0.0.1", 1},   {"1.9.0.0", "1.10.0.0", 1},   {"1.10.0.0", "1.9.0.0", -1},
        {"1.4.0.0", "1.5.0.0\r\n", 1}, {"1.5.0.0", "1.5.0.0\r\n", -1}, {"1.4.0.0", "1..4...0.1", 1},
        {"1.4.0.0", ".1.4.0.0.", -1},  {"1.4.0.0", "1.4.0.x", -1},   {"1.4.0.0", " 2.0", 1},
        {"", "1.0", 1},                {"", "", -1},                 {"2.0", "", -1},
        {"1.0", "1.0.0", 1},           {"1.0", "99999999999999999999999999.0", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, CompareVersions(c.own, c.fetched)) << c.own << " vs " << c.fetched;
    }
}

TEST(CompareVersions, ReadsAtMost255CharactersOfEitherText) {
    std::string longOwn = "1." + std::string(400, '0');
    EXPECT_EQ(-1, CompareVersions(longOwn.c_str(), "1.0"));
    std::string longFetched(253, '.');
    longFetched += "1.7";  // the 7 lies beyond the 255 characters read
    EXPECT_EQ(-1, CompareVersions("1", longFetched.c_str()));
    EXPECT_EQ(-1, CompareVersions(NULL, NULL));
}

TEST(ParseContentLength, ReadsTheLeadingDigitsAfterBlanksAndRefusesOverflow) {
    struct Case {
        const char* text;
        uint32_t length;
    } accepted[] = {{"0", 0},        {"300", 300},       {"4294967295", 4294967295u}, {" 12", 12},
                    {"\t 12", 12},   {"12 ", 12},        {"12abc", 12},               {"9 bytes", 9},
                    {"0x10", 0},     {"1e3", 1},         {"007", 7},                  {"12, 12", 12}};
    for (const Case& c : accepted) {
        uint32_t length = 7;
        EXPECT_TRUE(ParseContentLength(c.text, &length)) << c.text;
        EXPECT_EQ(c.length, length) << c.text;
    }
    const char* refused[] = {"", " ", "-1", "+5", "abc12", "\r\n12", "4294967296", "99999999999999999999",
                             " 4294967296abc"};
    for (const char* text : refused) {
        uint32_t length = 7;
        EXPECT_FALSE(ParseContentLength(text, &length)) << text;
        EXPECT_EQ(7u, length) << text;
    }
    uint32_t length = 7;
    EXPECT_FALSE(ParseContentLength(NULL, &length));
}

namespace {
std::string Address(const std::string& page, size_t bytes) {
    char address[256] = "untouched";
    if (!FindExternalAddress(page.data(), bytes, address)) return "(none) " + std::string(address);
    return address;
}
std::string Address(const std::string& page) { return Address(page, page.size()); }
}  // namespace

TEST(FindExternalAddress, TakesTheTextBetweenTheLabelAndTheNextTag) {
    EXPECT_EQ("203.0.113.7",
              Address("<html><head><title>x</title></head><body>Current IP Address: 203.0.113.7</body></html>"));
    // Taken as is, blanks included; only the first label after <body> counts.
    EXPECT_EQ(" 10.0.0.1 ", Address("<body>Current IP Address:  10.0.0.1 <br>Current IP Address: 2</body>"));
    EXPECT_EQ("", Address("<body>Current IP Address: </body>"));
    // A label in the head does not count; the one after <body> does.
    EXPECT_EQ("5.6.7.8", Address("<title>Current IP Address: 1.2.3.4</title><body>Current IP Address: 5.6.7.8<"));
}

TEST(FindExternalAddress, RefusesPagesWithoutTheMarkersOrWithOverlongAddresses) {
    EXPECT_EQ("(none) untouched", Address("<html><body>Service busy</body></html>"));
    EXPECT_EQ("(none) untouched", Address("Current IP Address: 1.2.3.4</body>"));
    EXPECT_EQ("(none) untouched", Address("<BODY>Current IP Address: 1.2.3.4</BODY>"));
    EXPECT_EQ("(none) untouched", Address("<body>Current IP Address:1.2.3.4</body>"));
    EXPECT_EQ("(none) untouched", Address("<body>Current IP Address: 1.2.3.4"));
    EXPECT_EQ(std::string(255, 'a'), Address("<body>Current IP Address: " + std::string(255, 'a') + "<"));
    EXPECT_EQ("(none) untouched", Address("<body>Current IP Address: " + std::string(256, 'a') + "<"));
    // Bytes past the received length are never looked at.
    std::string page = "<body>Current IP Address: 1.2.3.4</body>";
    EXPECT_EQ("(none) untouched", Address(page, page.find('<', 8)));
    EXPECT_EQ("(none) untouched", Address(page, 10));
    // An address with a NUL in it would be printed cut short: no address at all.
    static const char kNulInside[] = "<body>Current IP Address: 198.51.100\0.7</body>";
    EXPECT_EQ("(none) untouched", Address(std::string(kNulInside, sizeof kNulInside - 1)));
    static const char kNulBefore[] = "\0<body>\0Current IP Address: 1.2.3.4<";
    EXPECT_EQ("1.2.3.4", Address(std::string(kNulBefore, sizeof kNulBefore - 1)));
}

TEST(IsDottedNumeric, AcceptsOnlyDigitsAndDots) {
    EXPECT_TRUE(IsDottedNumeric("203.0.113.10"));
    EXPECT_TRUE(IsDottedNumeric(""));
    EXPECT_TRUE(IsDottedNumeric("..1"));
    EXPECT_FALSE(IsDottedNumeric("203.0.113.10 "));
    EXPECT_FALSE(IsDottedNumeric("auth.runeveil.example"));
    EXPECT_FALSE(IsDottedNumeric("1.2.3.4a"));
}

TEST(RouteCommandFormat, FollowsTheWindowsGeneration) {
    EXPECT_STREQ("tracert.exe -w 500 %s", RouteCommandFormat(0));
    EXPECT_STREQ("tracert.exe -w 500 %s", RouteCommandFormat(4));
    EXPECT_STREQ("pathping.exe -w 500 -q 100 %s", RouteCommandFormat(5));
    EXPECT_STREQ("pathping.exe -w 500 -q 100 -4 %s", RouteCommandFormat(6));
    EXPECT_STREQ("pathping.exe -w 500 -q 100 -4 %s", RouteCommandFormat(10));
}

namespace {
// A body stream that hands out its bytes in pieces of a chosen size, then
// ends, or fails after a number of calls.
struct PieceStream {
    std::string bytes;
    size_t piece;
    int failAtCall;  // -1: never
    size_t offset = 0;
    int calls = 0;
};

bool ReadPiece(void* context, char* into, uint32_t wanted, uint32_t* got) {
    PieceStream* s = static_cast<PieceStream*>(context);
    if (s->calls++ == s->failAtCall) return false;
    size_t n = std::min<size_t>({s->piece, wanted, s->bytes.size() - s->offset});
    memcpy(into, s->bytes.data() + s->offset, n);
    s->offset += n;
    *got = static_cast<uint32_t>(n);
    return true;
}

std::string Read(PieceStream stream, uint32_t length, bool* complete) {
    std::string buffer(length + 8, '#');
    uint32_t got = ReadWholeBody(ReadPiece, &stream, &buffer[0], length, complete);
    return buffer.substr(0, got) + "|" + buffer.substr(got, 1);
}
}  // namespace

TEST(ReadWholeBody, KeepsReadingUntilTheAnnouncedLengthArrives) {
    bool complete = false;
    EXPECT_EQ("1.0.0.0\r\n|#", Read(PieceStream{"1.0.0.0\r\n", 1, -1}, 9, &complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(std::string(3000, 'x') + "|#", Read(PieceStream{std::string(3000, 'x'), 1000, -1}, 3000, &complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ("|#", Read(PieceStream{"", 4, -1}, 0, &complete));
    EXPECT_TRUE(complete);
    // More bytes in the stream than announced: only the announced ones.
    EXPECT_EQ("abc|#", Read(PieceStream{"abcdef", 2, -1}, 3, &complete));
    EXPECT_TRUE(complete);
}

TEST(ReadWholeBody, ShortStreamsAndFailedReadsAreIncomplete) {
    bool complete = true;
    EXPECT_EQ("1.0.0|#", Read(PieceStream{"1.0.0", 2, -1}, 20, &complete));
    EXPECT_FALSE(complete);
    complete = true;
    EXPECT_EQ("1.0|#", Read(PieceStream{"1.0.0.0", 3, 1}, 7, &complete));
    EXPECT_FALSE(complete);
}
