// The console form's lines: the rank of outcomes and the exit code of the
// worst, and lines that stay one line of valid JSON whatever a report held.
#include "report/check_output.h"

#include <gtest/gtest.h>

#include <string>

TEST(CheckOutput, AMismatchOrDamagedArchiveOutranksAFileThatCannotBeOpened) {
    const struct {
        CheckOutcome a, b;
        int exitCode;
    } cases[] = {{CheckMatched, CheckMatched, 0},         {CheckMatched, CheckCannotOpen, 2},
                 {CheckCannotOpen, CheckArchiveDamaged, -1}, {CheckMismatched, CheckCannotOpen, -1},
                 {CheckArchiveDamaged, CheckMatched, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.exitCode, CheckOutcomeExitCode(WorseOutcome(c.a, c.b))) << c.a << " " << c.b;
        EXPECT_EQ(WorseOutcome(c.a, c.b), WorseOutcome(c.b, c.a));
    }
}

TEST(CheckOutput, LinesStayOneLineAndJsonStaysValidWhateverTheReportHeld) {
    CheckRecord record;
    record.outcome = CheckMatched;
    record.path = "C:\\Tickets\\\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \"a\".zip";
    record.game = "Runeveil 2";
    record.member = "Runeveil 2 Test.txt";
    record.reason = "Checksum matched";
    // Control characters, a quote, a backslash, a byte of another code page
    // (0xE9), a cut UTF-8 sequence, an overlong form and a surrogate.
    record.findings = {"proxy\t\"x\"\\y\r\n\x01\x7F", "caf\xE9", "\xE2\x82", "\xC0\xAF",
                       "\xED\xA0\x80", "\xE2\x82\xAC ok"};
    EXPECT_EQ(
        "{\"outcome\":\"matched\",\"path\":\"C:\\\\Tickets\\\\\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \\\"a\\\".zip\","
        "\"game\":\"Runeveil 2\",\"member\":\"Runeveil 2 Test.txt\",\"reason\":\"Checksum matched\",\"findings\":["
        "\"proxy\\t\\\"x\\\"\\\\y\\r\\n\\u0001\\u007f\",\"caf\xEF\xBF\xBD\",\"\xEF\xBF\xBD\xEF\xBF\xBD\","
        "\"\xEF\xBF\xBD\xEF\xBF\xBD\",\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\",\"\xE2\x82\xAC ok\"]}\r\n",
        FormatCheckJson(record));

    record.outcome = CheckArchiveDamaged;
    record.game.clear();
    record.member.clear();
    record.findings.clear();
    record.reason = std::string(ArchiveProblemReason(ZipReadNoDirectory)) + "\r\nnext\tline";
    EXPECT_EQ("{\"outcome\":\"damaged\",\"path\":\"C:\\\\Tickets\\\\\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \\\"a\\\".zip\","
              "\"game\":null,\"member\":null,\"reason\":\"The archive is damaged: it is cut short or incomplete."
              "\\r\\nnext\\tline\",\"findings\":[]}\r\n",
              FormatCheckJson(record));
    EXPECT_EQ("damaged\tC:\\Tickets\\\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \"a\".zip\t"
              "The archive is damaged: it is cut short or incomplete.  next line\r\n",
              FormatCheckLine(record));
}
