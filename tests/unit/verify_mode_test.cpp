// The verification mode in-process: each command line's message box (text,
// caption, icon) and exit code. tests/e2e/verify_mode_test.py runs the same
// through the real program.
#include "app/verify_mode.h"

#include <gtest/gtest.h>

#include <string>

#include "catalog/text_catalog.h"
#include "message_box_watcher.h"
#include "report/report_seal.h"
#include "test_support.h"

using testing_support::MessageBoxWatcher;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

const char kUsage[] =
    "Usage:\n  Diagnova [Options] <Filename>\n\nOptions:\n  /help\t Show this help message.\n\n"
    "Filename:\n\t The report file which is gererated by the Diagnova.\n"
    "\t You can also drag and drop the report file\n"
    "\t onto this application icon to see the same result.";
const char kReport[] = "Solmere Test Report -- created by Diagnova v2.0.0.1\r\n\r\n\r\n<EOF>\r\n";

struct Outcome {
    int exitCode = 1234;
    bool shown = false;
    std::string caption, text;
    HICON icon = NULL;
};

Outcome RunLine(const std::string& commandLine) {
    Outcome outcome;
    // Wine under a busy X server now and then fails to create a box at all;
    // a box that never appears still fails all three attempts.
    for (int attempt = 0; attempt < 3 && !outcome.shown; ++attempt) {
        MessageBoxWatcher watcher;
        wchar_t wide[1024];
        MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, wide, 1024);
        outcome.exitCode = RunVerifyModeOn(wide);
        watcher.Join();
        outcome.shown = watcher.seen;
        outcome.caption = watcher.caption;
        outcome.text = watcher.text;
        outcome.icon = watcher.icon;
    }
    return outcome;
}

std::string Sealed(const TempDir& dir, const std::string& name) {
    const std::string path = dir.File(name);
    WriteWholeFile(path, kReport);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_TRUE(AppendReportDigest(file));
    CloseHandle(file);
    return path;
}

HICON SystemIcon(LPCSTR id) { return LoadIconA(NULL, id); }

}  // namespace

TEST(VerifyMode, MatchMismatchUsageAndUnopenableFilesEachShowTheirTextIconAndExitCode) {
    TempDir dir;
    const std::string good = Sealed(dir, "good report.txt");
    const std::string bad = Sealed(dir, "bad.txt");
    WriteWholeFile(bad, std::string(kReport) + "--- DIGEST ---\r\n" + std::string(40, '0'));
    ASSERT_STREQ("Orvane Diagnova", GetText(10));

    Outcome matched = RunLine("C:\\Diagnova.exe \"" + good + "\"");
    ASSERT_TRUE(matched.shown);
    EXPECT_EQ(0, matched.exitCode);
    EXPECT_EQ("Checksum matched", matched.text);
    EXPECT_EQ("Orvane Diagnova", matched.caption);
    EXPECT_EQ(SystemIcon(IDI_INFORMATION), matched.icon);

    Outcome mismatched = RunLine("C:\\Diagnova.exe " + bad + " ");
    ASSERT_TRUE(mismatched.shown);
    EXPECT_EQ(-1, mismatched.exitCode);
    EXPECT_EQ("Checksum mismatched or missing!\n\n" + bad, mismatched.text);
    EXPECT_EQ("Orvane Diagnova", mismatched.caption);
    EXPECT_EQ(SystemIcon(IDI_ERROR), mismatched.icon);

    for (const std::string& line : {std::string("C:\\Diagnova.exe /help"), std::string("C:\\Diagnova.exe /HELP"),
                                    std::string("C:\\Diagnova.exe"), std::string("C:\\Diagnova.exe \"\"")}) {
        Outcome usage = RunLine(line);
        ASSERT_TRUE(usage.shown) << line;
        EXPECT_EQ(0, usage.exitCode) << line;
        EXPECT_EQ(kUsage, usage.text) << line;
        EXPECT_EQ("Orvane Diagnova", usage.caption) << line;
        EXPECT_EQ(SystemIcon(IDI_ERROR), usage.icon) << line;
    }

}

TEST(VerifyMode, FilesThatCannotBeOpenedAreNamedWithTheSystemsReasonAndExitTwo) {
    TempDir dir;
    const std::string good = Sealed(dir, "good.txt");
    const std::string held = Sealed(dir, "held.txt");
    // Another program holds this one open without sharing.
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    const struct {
        std::string path;
        DWORD error;
    } cases[] = {{dir.File("missing.txt"), ERROR_FILE_NOT_FOUND}, {held, ERROR_SHARING_VIOLATION}};
    for (const auto& c : cases) {
        Outcome unopened = RunLine("C:\\Diagnova.exe \"" + c.path + "\"");
        ASSERT_TRUE(unopened.shown) << c.path;
        EXPECT_EQ(2, unopened.exitCode) << c.path;
        char reason[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, c.error, 0, reason,
                       sizeof reason, NULL);
        std::string reasonText = reason;
        reasonText.erase(reasonText.find_last_not_of("\r\n ") + 1);
        EXPECT_EQ("The report file cannot be opened:\n\n" + c.path + "\n\n" + reasonText, unopened.text);
        EXPECT_EQ("Orvane Diagnova", unopened.caption);
        EXPECT_EQ(SystemIcon(IDI_ERROR), unopened.icon);
    }
    CloseHandle(holder);
    // An editor or mail program that has the report open, even for writing,
    // shares it: the check goes ahead.
    HANDLE editor = CreateFileA(good.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, editor);
    Outcome matched = RunLine("C:\\Diagnova.exe \"" + good + "\"");
    CloseHandle(editor);
    EXPECT_EQ(0, matched.exitCode);
    EXPECT_EQ("Checksum matched", matched.text);
}

TEST(VerifyMode, LongLinesAreCheckedWholeAndTheMismatchTextIsCutTo255) {
    TempDir dir;
    const std::string program = "\"C:\\Program Files\\Orvane\\Diagnova\\Diagnova.exe\" \"";
    // Name the report so that the line's 255th character falls inside it.
    const std::string folder = dir.path() + "\\";
    const std::string name = std::string(255 - program.size() - folder.size(), 'n') + "-report.txt";
    const std::string good = Sealed(dir, name);
    ASSERT_GT(program.size() + good.size(), 255u);
    Outcome matched = RunLine(program + good + "\"");
    ASSERT_TRUE(matched.shown);
    EXPECT_EQ("Checksum matched", matched.text);

    // The same path, now unsealed: the text is cut to 255 characters.
    WriteWholeFile(good, kReport);
    Outcome mismatched = RunLine(program + good + "\"");
    ASSERT_TRUE(mismatched.shown);
    EXPECT_EQ(-1, mismatched.exitCode);
    EXPECT_EQ(("Checksum mismatched or missing!\n\n" + good).substr(0, 255), mismatched.text);
}
