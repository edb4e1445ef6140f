// The report digest against standard SHA-1 (FIPS 180 vectors and every length
// around the padding boundaries, expected values from sha1sum/hashlib), how it
// takes input in pieces, and that the program's own words change the result.
#include "report/digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string HexOf(const DigestContext& context) {
    char hex[2 * kDigestBytes + 1];
    DigestToHex(context.digest, hex);
    return hex;
}

std::string Digest(const void* bytes, size_t count, const uint32_t words[5]) {
    DigestContext context;
    DigestInitWith(&context, words);
    DigestUpdate(&context, bytes, count);
    DigestFinal(&context);
    return HexOf(context);
}

std::string Sha1(const std::string& text) { return Digest(text.data(), text.size(), kStandardSha1Words); }

std::vector<uint8_t> Pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

// Runs the checks with the portable code and, where the processor has them,
// with the SHA extensions; leaves the automatic choice in place afterwards.
template <class Checks>
void ForEachImplementation(Checks checks) {
    DigestSelectAcceleration(false);
    {
        SCOPED_TRACE("portable");
        checks();
    }
    if (DigestSelectAcceleration(true)) {
        SCOPED_TRACE("SHA extensions");
        checks();
    }
}

}  // namespace

TEST(Digest, StandardWordsGiveSha1OnTheFips180Vectors) {
    ForEachImplementation([] {
    EXPECT_EQ("DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", Sha1(""));
    EXPECT_EQ("A9993E364706816ABA3E25717850C26C9CD0D89D", Sha1("abc"));
    EXPECT_EQ("84983E441C3BD26EBAAE4AA1F95129E5E54670F1",
              Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("34AA973CD4C4DAA4F61EEB2BDBAD27316534016F", Sha1(std::string(1000000, 'a')));
    });
}

TEST(Digest, StandardWordsGiveSha1AtEveryLengthAroundThePaddingBoundaries) {
    // Pattern byte i is (7i+3) mod 256. Lengths 52..69 cover one block (length
    // field fits or spills into a second block); 116..131 the same after two.
    const struct {
        size_t length;
        const char* sha1;
    } kExpected[] = {
        {52, "937BECA28580F3FF31D4EF88653801349179AC7A"}, {53, "F163C6B4B97324D118ED451C94625AEF0D0A6FB6"},
        {54, "0617D0E2DB51B03D5D09C217B3FE0643ED6D152F"}, {55, "DDF57317EF34BFEE3B6DF83D359098930EB278BC"},
        {56, "A0D492BB0FC889D0ECA3BC137066AB6F4F74F369"}, {57, "11A02DCF95859677A62E75024067C22B165D890F"},
        {58, "3D6024B3F7B1C01A5C62497022EA6E33B89D2CF3"}, {59, "5850F256241B06D25BC20B9DC85D7944CE96FA1A"},
        {60, "4A72DC48088734D6EE17CCCBB158DE29744E9733"}, {61, "92B2DB0C849997E88B21B8A509EECAA46F00C6B8"},
        {62, "363C4D8B28918EACFB4B945BAFD31CB62997A5CD"}, {63, "C55856749BEF509BDFE6BFEBFC7BF4E793E82132"},
        {64, "BEDE92BE29C3874E1B54DDC77988D606FC857A8E"}, {65, "B05A80522B053D6DC7E0A517D0E70212C7DAD11F"},
        {66, "13E53BEC6F6EE5A157A4F62AD14F702BF9F6D167"}, {67, "8D39D341DA28ED21BE3CA08EC2CFB6C4A4BE99ED"},
        {68, "3EFEC55489106FCDE5552290BB4BC2BCDA30F9BA"}, {69, "831E22C83FEF344E627B1D20181D77D0984FAFEA"},
        {116, "11EE9DE3CA106EDCFCECC00F160D97E6B0CC33F7"}, {117, "90B79E0BC3EB8D92AF29B371E44E16D91A98CFA1"},
        {118, "55BFBDE27C9ACB13670A70E765A687B2DA3435FC"}, {119, "504E27376A6E0F0DBA8295B85CB25DC4DFA17D23"},
        {120, "82134B02FB3F702491BE9BED581EEAB59334ACB2"}, {121, "F004A54C50AA3705CCC2F03F21016CA6A25755CB"},
        {122, "CFCA83C0711FD2164E886C60EC33B69A7E9A68F0"}, {123, "4753B07E7C0E0D418BED1370ADCA81D099A41E88"},
        {124, "3132EB444ED5EA62A86FB0A5A1159550E16EE30E"}, {125, "A46F230AAF987F4DB2BB3501116392E684D29B76"},
        {126, "35F63E21348461EF967E9F37207A56E62701218E"}, {127, "34D5E582029E9B9B85B2FEBE31DA3DB7CDABAAEA"},
        {128, "A09133E6730FFE899EFB70204CB5646CD5DC24EE"}, {129, "808AEA332CE367541D37ADAE7F94E59C5C1A934E"},
        {130, "6E95F38FBDD38454AB4370CA87D628B526515950"}, {131, "CC643B473E831C4BEBB157527F69F90C50DE211E"},
    };
    ForEachImplementation([&] {
        for (const auto& expected : kExpected) {
            std::vector<uint8_t> bytes = Pattern(expected.length);
            EXPECT_EQ(expected.sha1, Digest(bytes.data(), bytes.size(), kStandardSha1Words)) << expected.length;
        }
    });
}

TEST(Digest, ProcessorExtensionsAndPortableCodeAgreeOnLongInputs) {
    std::vector<uint8_t> bytes(1 << 20);
    uint32_t x = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    DigestSelectAcceleration(false);
    const std::string portable = Digest(bytes.data(), bytes.size(), kReportDigestWords);
    if (!DigestSelectAcceleration(true)) GTEST_SKIP() << "no SHA extensions on this processor";
    EXPECT_EQ(portable, Digest(bytes.data(), bytes.size(), kReportDigestWords));
}

TEST(Digest, InputInAnyPiecesGivesTheSameDigestAsInOne) {
    std::vector<uint8_t> bytes = Pattern(300);
    const std::string whole = Digest(bytes.data(), bytes.size(), kReportDigestWords);
    // Every single split point, and runs of small uneven pieces that cross
    // the block boundary at every offset.
    for (size_t split = 0; split <= bytes.size(); ++split) {
        DigestContext context;
        DigestInit(&context);
        DigestUpdate(&context, bytes.data(), split);
        DigestUpdate(&context, bytes.data() + split, bytes.size() - split);
        DigestFinal(&context);
        ASSERT_EQ(whole, HexOf(context)) << "split at " << split;
    }
    for (size_t piece = 1; piece <= 70; ++piece) {
        DigestContext context;
        DigestInit(&context);
        for (size_t at = 0; at < bytes.size(); at += piece)
            DigestUpdate(&context, bytes.data() + at, std::min(piece, bytes.size() - at));
        DigestFinal(&context);
        ASSERT_EQ(whole, HexOf(context)) << "pieces of " << piece;
    }
}

TEST(Digest, ProgramWordsDifferFromSha1AndStayFixedForStoredReports) {
    for (int i = 0; i < 5; ++i) EXPECT_NE(kStandardSha1Words[i], kReportDigestWords[i]) << i;
    EXPECT_NE(Sha1("abc"), Digest("abc", 3, kReportDigestWords));
    // Values computed once with an independent SHA-1 started from the
    // program's words. Reports already sent to support were sealed with these
    // words, so a change here would make every one of them fail its check.
    EXPECT_EQ("EEE828B6DF1F14CCD74E8AEF6CA8939D876952D9", Digest("", 0, kReportDigestWords));
    DigestContext context;
    DigestInit(&context);
    DigestUpdate(&context, "abc", 3);
    DigestFinal(&context);
    EXPECT_EQ("B626E370D207257F097216911796002D82E93B88", HexOf(context));
}

TEST(Digest, FinalClearsTheWorkingStateAndLengthsPastFourGigabitsAreCounted) {
    DigestContext context;
    DigestInit(&context);
    DigestUpdate(&context, "some secret report text", 23);
    DigestFinal(&context);
    const DigestContext zero = {};
    EXPECT_EQ(0, memcmp(zero.state, context.state, sizeof zero.state));
    EXPECT_EQ(0, memcmp(zero.block, context.block, sizeof zero.block));
    EXPECT_EQ(0u, context.bitCountLow);
    EXPECT_EQ(0u, context.bitCountHigh);

    // 2^29 bytes is 2^32 bits: the low half of the count wraps into the high one.
    DigestInit(&context);
    context.bitCountLow = 0xFFFFFE00u;
    DigestUpdate(&context, Pattern(128).data(), 128);
    EXPECT_EQ(1u, context.bitCountHigh);
    EXPECT_EQ(0x200u, context.bitCountLow);
}
