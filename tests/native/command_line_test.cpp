// Splitting the command line: quoting, white space, the empty trailing word,
// and the word table's limit.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    CommandLineWords words;
    SplitCommandLine(copy.data(), &words);
    std::vector<std::string> result;
    for (int i = 0; i < words.count; ++i) {
        // Every word must point into the copy, which is split in place.
        EXPECT_GE(words.words[i], copy.data());
        EXPECT_LT(words.words[i], copy.data() + copy.size());
        result.push_back(words.words[i]);
    }
    return result;
}

typedef std::vector<std::string> Words;

}  // namespace

TEST(CommandLine, SplitsPlainAndQuotedWords) {
    EXPECT_EQ(Words({"C:\\Games\\Diagnova.exe", "report.txt"}), Split("C:\\Games\\Diagnova.exe report.txt"));
    EXPECT_EQ(Words({"C:\\Program Files\\Diagnova.exe", "C:\\My Reports\\a b.txt"}),
              Split("\"C:\\Program Files\\Diagnova.exe\" \"C:\\My Reports\\a b.txt\""));
    EXPECT_EQ(Words({"prog", "first.txt", "second.txt"}), Split("prog first.txt second.txt"));
    EXPECT_EQ(Words({"prog", "/help"}), Split("prog /help"));
    // All six white-space characters separate words, and runs count as one.
    EXPECT_EQ(Words({"a", "b", "c", "d", "e", "f", "g"}), Split("a b\tc\nd\ve\ff\r \t g"));
    EXPECT_EQ(Words({"prog", "x"}), Split("   prog   x"));
}

TEST(CommandLine, QuotesHaveNoEscapesAndNoMeaningInsideWords) {
    EXPECT_EQ(Words({"prog", "a\"b", "c"}), Split("prog a\"b c"));
    EXPECT_EQ(Words({"prog", "C:\\dir\\", "x"}), Split("prog \"C:\\dir\\\" x"));
    // A closing quote ends the word even with text right behind it.
    EXPECT_EQ(Words({"prog", "ab", "cd"}), Split("prog \"ab\"cd"));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(Words({"prog", "a b  c"}), Split("prog \"a b  c"));
    EXPECT_EQ(Words({"prog", ""}), Split("prog \"\""));
}

TEST(CommandLine, TrailingWhiteSpaceMayAddOneEmptyWord) {
    EXPECT_EQ(Words({"prog", "x"}), Split("prog x "));
    EXPECT_EQ(Words({"prog", "x", ""}), Split("prog x  "));
    EXPECT_EQ(Words({"prog", "x", ""}), Split("prog \"x\" "));
    EXPECT_EQ(Words({""}), Split("  "));
    EXPECT_EQ(Words(), Split(""));
}

TEST(CommandLine, BytesAboveAsciiBelongToWords) {
    // 0xA0 is a no-break space in code page 1252 and a lead byte elsewhere;
    // 0x85 is NEL in Latin-1. Neither separates words.
    EXPECT_EQ(Words({"prog", "r\xA0" "e\x85p.txt"}), Split("prog r\xA0" "e\x85p.txt"));
}

TEST(CommandLine, KeepsTheFirstSixtyFourWordsAndNeverWritesPastTheTable) {
    std::string line = "prog";
    for (int i = 1; i < 100; ++i) line += " w" + std::to_string(i);
    Words words = Split(line);
    ASSERT_EQ(64u, words.size());
    EXPECT_EQ("prog", words[0]);
    EXPECT_EQ("w63", words[63]);
}

TEST(CommandLine, LongLinesAreSplitWhole) {
    // The verification mode splits a copy as long as the whole command line,
    // so a path past the 255th character arrives uncut.
    const std::string path = "C:\\" + std::string(300, 'r') + ".txt";
    EXPECT_EQ(Words({"prog", path}), Split("prog \"" + path + "\""));
}

TEST(CommandLine, ArgumentTextFollowsTheProgramPathWhateverItsBytes) {
    // Program paths in code pages 1252, 1251 and 932, unquoted and quoted:
    // bytes of 128 and above never end the path, so none leaves argument
    // text behind; white space after the path is no argument either.
    const char* const withoutArguments[] = {
        "C:\\Users\\J\xF6ns\\Downloads\\Diagnova.exe",
        "C:\\Users\\\xC8\xE2\xE0\xED\\Diagnova.exe   ",
        "C:\\\x83\x5C\x83\x74\x83\x67\\Diagnova.exe",
        "\"C:\\Program Files\\J\xF6ns\\Diagnova.exe\"",
        "\"C:\\Program Files\\Diagnova.exe\" \t",
        "",
    };
    for (const char* line : withoutArguments) EXPECT_STREQ("", FindArgumentText(line)) << line;
    EXPECT_STREQ("r\xE9port.txt", FindArgumentText("C:\\J\xF6ns\\Diagnova.exe r\xE9port.txt"));
    EXPECT_STREQ("\"C:\\a b.txt\" x", FindArgumentText("\"C:\\J\xF6ns\\Diagnova.exe\"  \"C:\\a b.txt\" x"));
    EXPECT_STREQ("/help", FindArgumentText("  prog\t/help"));
    EXPECT_STREQ("\"\"", FindArgumentText("prog \"\""));
}

TEST(CommandLine, TheWideSplitForFileListsKeepsEveryWord) {
    // A hundred archives dropped onto the icon: none may be left unchecked.
    std::wstring line = L"prog";
    for (int i = 1; i < 100; ++i) line += L" \"w " + std::to_wstring(i) + L"\"";
    std::vector<wchar_t> copy(line.begin(), line.end());
    copy.push_back(L'\0');
    std::vector<wchar_t*> words;
    SplitWideCommandLineAll(copy.data(), &words);
    ASSERT_EQ(100u, words.size());
    EXPECT_EQ(std::wstring(L"w 64"), words[64]);
    EXPECT_EQ(std::wstring(L"w 99"), words[99]);
}
