// The ZIP writer on the Windows side: sharing with other processes, file
// attributes and file times as the system reports them, and that refused or
// failed members leave the archive exactly as if they had never been tried.
#include "report/zip_writer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "zip_test_support.h"

using testing_support::FileHolder;
using testing_support::ReadWholeFile;
using testing_support::ReadZipMembers;
using testing_support::TempDir;
using testing_support::WriteWholeFile;
using testing_support::ZipMember;

namespace {

struct Add {
    std::string source;
    std::string name;
};

// Builds an archive from the adds; returns each add's result code.
std::vector<uint32_t> MakeArchive(const std::string& archive, const std::vector<Add>& adds) {
    std::vector<uint32_t> results;
    ZipHandle zip = ZipCreateFile(archive.c_str());
    EXPECT_NE(nullptr, zip);
    if (zip == NULL) return results;
    for (const Add& add : adds) results.push_back(ZipAddFile(add.source.c_str(), add.name.c_str(), zip));
    EXPECT_EQ(ZipOk, ZipClose(zip));
    return results;
}

std::vector<ZipMember> Members(const std::string& archive) {
    std::vector<ZipMember> members;
    EXPECT_TRUE(ReadZipMembers(ReadWholeFile(archive), &members));
    return members;
}

FILETIME UtcFileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    FILETIME f;
    SystemTimeToFileTime(&t, &f);
    return f;
}

// Seconds since 1970 the archive should carry for a file time, in UTC.
uint32_t ExpectedUnixTime(const FILETIME& f) {
    SYSTEMTIME t;
    FileTimeToSystemTime(&f, &t);
    if (t.wYear < 1970) t.wYear = 1970, t.wMonth = 1, t.wDay = 1;
    if (t.wYear > 2037) t.wYear = 2037, t.wMonth = 12, t.wDay = 31;
    FILETIME clamped;
    SystemTimeToFileTime(&t, &clamped);
    ULARGE_INTEGER v;
    v.LowPart = clamped.dwLowDateTime;
    v.HighPart = clamped.dwHighDateTime;
    return (uint32_t)((v.QuadPart - 116444736000000000ull) / 10000000ull);
}

// Local time is UTC now.
bool ZoneIsUtc() {
    FILETIME now, local;
    GetSystemTimeAsFileTime(&now);
    return FileTimeToLocalFileTime(&now, &local) && CompareFileTime(&now, &local) == 0;
}

class LimitsForTest {
public:
    LimitsForTest(uint64_t archive, uint64_t member, uint32_t entries) {
        ZipSetLimitsForTesting(archive, member, entries);
    }
    ~LimitsForTest() { ZipSetLimitsForTesting(0, 0, 0); }
};

}  // namespace

TEST(ZipWriter, SourceHeldOpenForWritingByAnotherProcessIsSkippedWithoutATrace) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("first.txt"), "first member\r\n"));
    ASSERT_TRUE(WriteWholeFile(dir.File("game.log"), std::string(50000, 'g')));
    ASSERT_TRUE(WriteWholeFile(dir.File("last.txt"), "last member\r\n"));
    const std::vector<Add> plain = {{dir.File("first.txt"), "first.txt"}, {dir.File("last.txt"), "last.txt"}};
    MakeArchive(dir.File("plain.zip"), plain);

    FileHolder holder(dir.File("game.log"));
    ASSERT_TRUE(holder.Ready());
    const std::vector<uint32_t> results = MakeArchive(
        dir.File("held.zip"), {plain[0], {dir.File("game.log"), "Skellan\\Logs\\game.log"}, plain[1]});
    EXPECT_EQ((std::vector<uint32_t>{ZipOk, ZipErrNoFile, ZipOk}), results);
    EXPECT_EQ(ReadWholeFile(dir.File("plain.zip")), ReadWholeFile(dir.File("held.zip")));
}

TEST(ZipWriter, MembersThatFailPartWayAreCutOffAgain) {
    TempDir dir;
    std::string noise(400000, '\0');
    uint32_t seed = 12345;
    for (char& c : noise) c = (char)((seed = seed * 1103515245u + 12345u) >> 24);
    ASSERT_TRUE(WriteWholeFile(dir.File("noise.bin"), noise));
    ASSERT_TRUE(WriteWholeFile(dir.File("small.txt"), std::string(3000, 's')));
    const Add small = {dir.File("small.txt"), "small.txt"};
    const Add again = {dir.File("small.txt"), "again.txt"};
    MakeArchive(dir.File("plain.zip"), {small, again});
    {
        // Room for the small members, not for the incompressible one: it fails
        // after its local header and part of its data have been written.
        LimitsForTest limits(100000, 0, 0);
        const std::vector<uint32_t> results =
            MakeArchive(dir.File("failed.zip"), {small, {dir.File("noise.bin"), "noise.bin"}, again});
        EXPECT_EQ((std::vector<uint32_t>{ZipOk, ZipErrTooLarge, ZipOk}), results);
    }
    EXPECT_EQ(ReadWholeFile(dir.File("plain.zip")), ReadWholeFile(dir.File("failed.zip")));
    {
        LimitsForTest limits(0, 0, 1);
        EXPECT_EQ((std::vector<uint32_t>{ZipOk, ZipErrTooManyEntries}),
                  MakeArchive(dir.File("one.zip"), {small, again}));
    }
    const std::vector<ZipMember> members = Members(dir.File("one.zip"));
    ASSERT_EQ(1u, members.size());
    EXPECT_EQ("small.txt", members[0].name);
}

TEST(ZipWriter, BadArgumentsAreRefusedAndWriteNothing) {
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("a.txt"), "a"));
    EXPECT_EQ(ZipErrArgs, ZipAddFile(dir.File("a.txt").c_str(), "a.txt", NULL));
    EXPECT_EQ(ZipErrArgs, ZipClose(NULL));
    EXPECT_EQ(nullptr, ZipCreateFile(dir.File("no such folder\\x.zip").c_str()));

    ASSERT_TRUE(WriteWholeFile(dir.File("old.zip"), std::string(1000, 'o')));
    ZipHandle zip = ZipCreateFile(dir.File("old.zip").c_str());
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(ZipErrArgs, ZipAddFile(dir.File("a.txt").c_str(), "", zip));
    EXPECT_EQ(ZipErrArgs, ZipAddFile(dir.File("a.txt").c_str(), NULL, zip));
    EXPECT_EQ(ZipErrArgs, ZipAddFile(NULL, "a.txt", zip));
    EXPECT_EQ(ZipErrArgs, ZipAddFile("", "a.txt", zip));
    EXPECT_EQ(ZipErrArgs, ZipAddFile(dir.File("a.txt").c_str(), std::string(260, 'n').c_str(), zip));
    EXPECT_EQ(ZipErrNoFile, ZipAddFile(dir.File("missing.txt").c_str(), "missing.txt", zip));
    EXPECT_EQ(ZipErrNoFile, ZipAddFile(dir.path().c_str(), "folder", zip));
    EXPECT_EQ(ZipOk, ZipClose(zip));
    // The earlier file is replaced, and nothing of the refused adds remains.
    EXPECT_EQ(std::string("PK\x05\x06", 4) + std::string(18, '\0'), ReadWholeFile(dir.File("old.zip")));
}

TEST(ZipWriter, AttributesAndTimesComeFromTheSourceFile) {
    // The expected times are worked out for UTC, which scripts/test sets.
    ASSERT_TRUE(ZoneIsUtc()) << "run with TZ=UTC";
    TempDir dir;
    const std::string plain = dir.File("plain.txt"), flagged = dir.File("flagged.txt"), dated = dir.File("dated.txt");
    ASSERT_TRUE(WriteWholeFile(plain, "plain"));
    ASSERT_TRUE(WriteWholeFile(flagged, "flagged"));
    ASSERT_TRUE(WriteWholeFile(dated, "dated"));
    ASSERT_TRUE(SetFileAttributesA(plain.c_str(), FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesA(flagged.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                         FILE_ATTRIBUTE_ARCHIVE));
    {
        HANDLE file = CreateFileA(dated.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        const FILETIME created = UtcFileTime(2001, 9, 8, 7, 6, 5);
        const FILETIME accessed = UtcFileTime(2040, 2, 3, 4, 5, 6);
        const FILETIME written = UtcFileTime(1965, 3, 4, 12, 34, 57);
        EXPECT_TRUE(SetFileTime(file, &created, &accessed, &written));
        CloseHandle(file);
    }
    // What the system keeps may differ from what was set (Wine on Linux has
    // no separate creation time), so the expectation follows its report.
    FILETIME created, accessed, written;
    {
        HANDLE file = CreateFileA(dated.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_TRUE(GetFileTime(file, &created, &accessed, &written));
        CloseHandle(file);
    }
    MakeArchive(dir.File("a.zip"), {{plain, "plain.txt"}, {flagged, "flagged.txt"}, {dated, "dated.txt"}});
    SetFileAttributesA(flagged.c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::vector<ZipMember> m = Members(dir.File("a.zip"));
    ASSERT_EQ(3u, m.size());
    EXPECT_EQ(0x81800020u, m[0].external);
    EXPECT_EQ(0x81000023u, m[1].external);
    EXPECT_EQ(0x0B17, m[2].madeBy);
    EXPECT_EQ(0x00210000u, m[2].dosDateTime);  // 1965 is before DOS dates begin
    EXPECT_EQ(45297u, m[2].modified);          // 1970-01-01 12:34:57
    EXPECT_EQ(ExpectedUnixTime(accessed), m[2].accessed);
    EXPECT_EQ(ExpectedUnixTime(created), m[2].created);
    EXPECT_EQ("dated", m[2].data);
}
