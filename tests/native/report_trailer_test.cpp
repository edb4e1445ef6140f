// Checking a report's digest trailer in memory: what verifies, what never
// does, and that a check never reads past the content it was given.
#include "report/report_trailer.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kReport =
    "Runeveil Test Report -- created by Diagnova v1.0.0.0\r\n\r\n"
    "==============================================================================\r\n"
    "= information about the current computer system\r\n"
    "==============================================================================\r\n"
    "Windows 7 Service Pack 1\r\n\r\n"
    "\r\n<EOF>\r\n";

std::string Seal(const std::string& report) {
    char trailer[kDigestTrailerBytes + 1];
    BuildDigestTrailer(report.data(), report.size(), trailer);
    return report + std::string(trailer);
}

// Copies the content into a heap block of exactly its size, so AddressSanitizer
// reports any read past its end.
bool Verifies(const std::string& content) {
    std::unique_ptr<char[]> exact(new char[content.size() ? content.size() : 1]);
    memcpy(exact.get(), content.data(), content.size());
    return DigestTrailerVerifies(exact.get(), content.size());
}

}  // namespace

TEST(ReportTrailer, SealedReportVerifiesAndTheTrailerHasTheFixedShape) {
    const std::string sealed = Seal(kReport);
    ASSERT_EQ(kReport.size() + 56, sealed.size());
    EXPECT_EQ("--- DIGEST ---\r\n", sealed.substr(kReport.size(), 16));
    EXPECT_EQ(std::string::npos, sealed.find_first_not_of("0123456789ABCDEF", kReport.size() + 16));
    EXPECT_TRUE(Verifies(sealed));

    // A fixed report, sealed once with an independent implementation: catches
    // a change of the program's words or of the trailer format.
    const std::string tiny = "Runeveil Test Report -- created by Diagnova v1.0.0.0\r\n\r\n\r\n<EOF>\r\n";
    EXPECT_EQ(tiny + "--- DIGEST ---\r\nA5EA8706A798AF37160C15B396C4B41CBE09AC2F", Seal(tiny));
}

TEST(ReportTrailer, AnyChangeBeforeTheMarkerOrToADigitFails) {
    const std::string sealed = Seal(kReport);
    for (size_t at = 0; at < kReport.size(); ++at) {
        std::string changed = sealed;
        changed[at] ^= 0x20;
        ASSERT_FALSE(Verifies(changed)) << "changed byte " << at;
        std::string removed = sealed;
        removed.erase(at, 1);
        ASSERT_FALSE(Verifies(removed)) << "removed byte " << at;
        std::string added = sealed;
        added.insert(at, "x");
        ASSERT_FALSE(Verifies(added)) << "added byte at " << at;
    }
    for (size_t digit = 0; digit < 40; ++digit) {
        std::string changed = sealed;
        char& c = changed[kReport.size() + 16 + digit];
        c = c == '0' ? '1' : '0';
        ASSERT_FALSE(Verifies(changed)) << "digit " << digit;
    }
}

TEST(ReportTrailer, LowerCaseDigitsAndTextAfterThemDoNotMatter) {
    std::string sealed = Seal(kReport);
    for (size_t i = kReport.size() + 16; i < sealed.size(); ++i) sealed[i] = static_cast<char>(tolower(sealed[i]));
    EXPECT_TRUE(Verifies(sealed));
    EXPECT_TRUE(Verifies(sealed + "\r\n"));
    EXPECT_TRUE(Verifies(sealed + "anything at all, even --- DIGEST ---\r\n0000"));
    EXPECT_TRUE(Verifies(sealed + std::string("\0tail", 5)));
}

TEST(ReportTrailer, MissingCutOrMalformedTrailersFail) {
    const std::string sealed = Seal(kReport);
    EXPECT_FALSE(Verifies(""));
    EXPECT_FALSE(Verifies(kReport));
    EXPECT_FALSE(Verifies(kReport + "--- DIGEST ---\r\n"));
    // Cut at every length of the trailer, down to a part of the marker.
    for (size_t cut = kReport.size(); cut < sealed.size(); ++cut)
        ASSERT_FALSE(Verifies(sealed.substr(0, cut))) << "cut to " << cut;
    // The marker must be whole, with CR LF.
    std::string noCr = sealed;
    noCr.erase(kReport.size() + 14, 1);
    EXPECT_FALSE(Verifies(noCr));
    // A pair that is not two hexadecimal digits.
    for (const char* bad : {"G", " ", "-", "+", "x"}) {
        std::string changed = sealed;
        changed[kReport.size() + 16 + 7] = bad[0];
        EXPECT_FALSE(Verifies(changed)) << bad;
    }
    EXPECT_FALSE(DigestTrailerVerifies(nullptr, 0));
}

TEST(ReportTrailer, ANulBeforeTheMarkerNeverVerifies) {
    // Sealing digests every byte; the check reads text up to the first NUL.
    std::string withNul = kReport;
    withNul[10] = '\0';
    EXPECT_FALSE(Verifies(Seal(withNul)));
    // Not even when the trailer was made for the text in front of the NUL.
    const std::string head = kReport.substr(0, 10);
    EXPECT_FALSE(Verifies(head + std::string(1, '\0') + Seal(head).substr(10)));
    // A NUL inside the digits cuts them short.
    std::string sealed = Seal(kReport);
    sealed[kReport.size() + 16 + 39] = '\0';
    EXPECT_FALSE(Verifies(sealed));
}

TEST(ReportTrailer, TheFirstMarkerWinsEvenInsideASection) {
    // A section that quotes a marker (say, a copied file) makes the report
    // unverifiable, because the check takes the first occurrence.
    const std::string quoting = kReport + "--- DIGEST ---\r\nnot a digest at all, just quoted text\r\n";
    EXPECT_FALSE(Verifies(Seal(quoting)));
    // And a marker whose digits do match the text before it verifies whatever follows.
    const std::string first = Seal(kReport);
    EXPECT_TRUE(Verifies(first + "\r\nmore text\r\n--- DIGEST ---\r\n" + std::string(40, '0')));
}

TEST(ReportTrailer, BoundedContentWithoutNulIsNeverReadPastItsEnd) {
    // The sealed text followed, in the same buffer, by a trailer that lies
    // outside the given length: only the given bytes count.
    const std::string sealed = Seal(kReport);
    EXPECT_FALSE(DigestTrailerVerifies(sealed.data(), sealed.size() - 1));
    EXPECT_FALSE(DigestTrailerVerifies(sealed.data(), kReport.size() + 10));
    EXPECT_TRUE(DigestTrailerVerifies(sealed.data(), sealed.size()));
}

TEST(ReportTrailer, TheStreamedCheckAgreesWithTheWholeCheckHoweverTheReportIsSplit) {
    const std::string sealed = Seal(kReport);
    std::string lower = sealed, nulInDigits = sealed;
    for (size_t i = kReport.size() + 16; i < lower.size(); ++i) lower[i] = static_cast<char>(tolower(lower[i]));
    nulInDigits[kReport.size() + 16 + 39] = '\0';
    const std::string head = kReport.substr(0, 10);
    std::vector<std::string> contents = {
        sealed, lower, nulInDigits, sealed + std::string("\0tail", 5), "", "--- DIGEST ---\r\n",
        head + std::string(1, '\0') + Seal(head).substr(10),
        Seal(kReport + "--- DIGEST ---\r\nquoted\r\n"),
        // Beginnings of the marker just before the real one.
        Seal("--- DIGEST --- DIGEST ---\r-\r\n--- DIGES"), Seal("--- DIGEST ---\r") + "\n",
    };
    for (size_t cut = kReport.size(); cut < sealed.size(); cut += 5) contents.push_back(sealed.substr(0, cut));
    // Long runs of text between the places where the search stops, on both
    // search paths: the 32-byte steps of the SSE2 one and the 8-byte steps of
    // the portable one, with NULs and dashes at every offset within a step.
    const std::string line = "a line of the report without the two bytes the search looks for\r\n";
    for (size_t at = 0; at < 70; at += 3) {
        std::string text = line + line + line;
        text[at] = '-';
        contents.push_back(Seal(text));
        text[at + 1] = '\0';
        contents.push_back(Seal(text));
    }
    for (bool sse2 : {false, true}) {
        if (TrailerScanSelectAcceleration(sse2) != sse2) {
            printf("untested: the SSE2 search of the streamed check (this processor lacks SSE2)\n");
            continue;
        }
        for (const std::string& content : contents) {
            const bool whole = Verifies(content);
            for (size_t piece : {1, 7, 16}) {
                TrailerScan scan;
                TrailerScanInit(&scan);
                for (size_t at = 0; at < content.size(); at += piece)
                    TrailerScanUpdate(&scan, content.data() + at, std::min(piece, content.size() - at));
                ASSERT_EQ(whole, TrailerScanVerifies(&scan)) << "pieces of " << piece << ": " << content;
            }
            for (size_t split = 0; split <= content.size(); ++split) {
                TrailerScan scan;
                TrailerScanInit(&scan);
                TrailerScanUpdate(&scan, content.data(), split);
                TrailerScanUpdate(&scan, content.data() + split, content.size() - split);
                ASSERT_EQ(whole, TrailerScanVerifies(&scan)) << "split at " << split << ": " << content;
            }
        }
    }
    TrailerScanSelectAcceleration(true);
}
