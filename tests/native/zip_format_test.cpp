// Layout, name, time and attribute encoding of the ZIP records.
#include "report/zip_format.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

ZipEntry SampleEntry() {
    ZipEntry e;
    memset(&e, 0, sizeof e);
    e.versionMadeBy = kZipVersionMadeBy;
    e.versionNeeded = kZipVersionNeeded;
    e.flags = 2;
    e.method = kZipMethodDeflated;
    e.dosTime = 0x598A5B26;  // 2024-12-10 11:25:12
    e.crc = 0xCAFEBABE;
    e.compressedSize = 0x00012345;
    e.size = 0x00ABCDEF;
    EXPECT_TRUE(ZipMakeMemberName("L\\a.txt", e.name, &e.nameLength));
    ZipBuildExtraFields(0x11223344, 0x55667788, 0x99AABBCC, e.localExtra, e.centralExtra);
    e.externalAttributes = 0x81800020;
    e.localHeaderOffset = 0x01020304;
    return e;
}

}  // namespace

TEST(ZipFormat, LocalAndCentralHeadersFollowTheClassicLayout) {
    const ZipEntry e = SampleEntry();
    uint8_t out[kZipMaxHeaderBytes];
    ASSERT_EQ(30u + 7 + 17, ZipBuildLocalHeader(e, out));
    EXPECT_EQ("50 4B 03 04 14 00 02 00 08 00 26 5B 8A 59 BE BA FE CA 45 23 01 00 EF CD AB 00 07 00 11 00 "
              "4C 2F 61 2E 74 78 74 "
              "55 54 0D 00 07 44 33 22 11 88 77 66 55 CC BB AA 99",
              Hex(out, 54));

    ASSERT_EQ(46u + 7 + 9, ZipBuildCentralHeader(e, out));
    EXPECT_EQ("50 4B 01 02 17 0B 14 00 02 00 08 00 26 5B 8A 59 BE BA FE CA 45 23 01 00 EF CD AB 00 "
              "07 00 09 00 00 00 00 00 00 00 20 00 80 81 04 03 02 01 "
              "4C 2F 61 2E 74 78 74 "
              "55 54 05 00 07 44 33 22 11",
              Hex(out, 62));

    uint8_t end[kZipEndRecordBytes];
    ZipBuildEndRecord(3, 0x1BC, 0x000A0B0C, end);
    EXPECT_EQ("50 4B 05 06 00 00 00 00 03 00 03 00 BC 01 00 00 0C 0B 0A 00 00 00", Hex(end, sizeof end));
    ZipBuildEndRecord(0, 0, 0, end);
    EXPECT_EQ("50 4B 05 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", Hex(end, sizeof end));
}

TEST(ZipFormat, MemberNamesUseForwardSlashesAndHoldAtMost259Characters) {
    char out[kZipMaxNameChars + 1];
    uint16_t length = 0;
    ASSERT_TRUE(ZipMakeMemberName("Launcher\\Logs\\OrvaneApplicationLog.txt", out, &length));
    EXPECT_STREQ("Launcher/Logs/OrvaneApplicationLog.txt", out);
    EXPECT_EQ(38, length);

    const std::string longest(259, 'n');
    ASSERT_TRUE(ZipMakeMemberName(longest.c_str(), out, &length));
    EXPECT_EQ(longest, out);
    EXPECT_EQ(259, length);

    strcpy(out, "untouched");
    EXPECT_FALSE(ZipMakeMemberName((longest + "n").c_str(), out, &length));
    EXPECT_FALSE(ZipMakeMemberName(std::string(4000, 'n').c_str(), out, &length));
    EXPECT_FALSE(ZipMakeMemberName("", out, &length));
    EXPECT_FALSE(ZipMakeMemberName(NULL, out, &length));
    EXPECT_STREQ("untouched", out);
}

TEST(ZipFormat, OnlyNamesOfCompressedFormatsAreStored) {
    for (const char* name : {"a.Z", "a.z", "Backup.ZIP", "x.zip", "x.Zoo", "x.arc", "x.LZH", "x.arj", "log.gz",
                             "a.b.TGZ", "Logs/old.log.gz", ".gz"}) {
        EXPECT_TRUE(ZipNameIsStored(name)) << name;
    }
    // The extension runs from the last dot of the whole name, across slashes.
    for (const char* name : {"report.txt", "README", "x.zip.txt", "x.gzip", "x.g", "dir.gz/readme", "x.zip/",
                             "x.", "archive.7z", "x.tar", "x.zi"}) {
        EXPECT_FALSE(ZipNameIsStored(name)) << name;
    }
}

TEST(ZipFormat, DosTimesHoldTheYears1980To2107Only) {
    EXPECT_EQ(0x598A5B26u, ZipDosDateTime({2024, 12, 10, 11, 25, 13}));  // odd seconds round down
    EXPECT_EQ(0x00210000u, ZipDosDateTime({1980, 1, 1, 0, 0, 0}));
    // Before 1980 the date fields would go negative and wrap into a far future.
    EXPECT_EQ(0x00210000u, ZipDosDateTime({1979, 12, 31, 23, 59, 59}));
    EXPECT_EQ(0x00210000u, ZipDosDateTime({1965, 3, 4, 12, 34, 56}));
    EXPECT_EQ(0x00210000u, ZipDosDateTime({1601, 1, 1, 0, 0, 0}));
    EXPECT_EQ(0x00210000u, ZipDosDateTime({0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(0xFF9FBF7Du, ZipDosDateTime({2107, 12, 31, 23, 59, 58}));
    EXPECT_EQ(0xFF9FBF7Du, ZipDosDateTime({2108, 1, 1, 0, 0, 0}));
    EXPECT_EQ(0xFF9FBF7Du, ZipDosDateTime({30827, 12, 31, 23, 59, 59}));
}

TEST(ZipFormat, UnixTimesAreClampedTo1970And2037WithTheTimeOfDayKept) {
    EXPECT_EQ(0u, ZipUnixTime({1970, 1, 1, 0, 0, 0}, 0));
    EXPECT_EQ(1733829913u, ZipUnixTime({2024, 12, 10, 11, 25, 13}, 0));
    EXPECT_EQ(951782400u, ZipUnixTime({2000, 2, 29, 0, 0, 0}, 0));
    EXPECT_EQ(45296u, ZipUnixTime({1965, 3, 4, 12, 34, 56}, 0));
    EXPECT_EQ(45296u, ZipUnixTime({1601, 1, 1, 12, 34, 56}, 0));
    EXPECT_EQ(2145859750u, ZipUnixTime({2050, 6, 7, 8, 9, 10}, 0));   // 2037-12-31 08:09:10
    EXPECT_EQ(2145830400u, ZipUnixTime({2038, 1, 19, 0, 0, 0}, 0));   // 2037-12-31 00:00:00
    // Local time west of UTC (bias +300 minutes) lies later in UTC.
    EXPECT_EQ(1733829913u + 18000, ZipUnixTime({2024, 12, 10, 11, 25, 13}, 300));
    EXPECT_EQ(1733829913u - 3600, ZipUnixTime({2024, 12, 10, 11, 25, 13}, -60));
    // East of UTC the clamped first hours of 1970 would fall before the epoch.
    EXPECT_EQ(0u, ZipUnixTime({1969, 7, 1, 0, 30, 0}, -120));
    EXPECT_EQ(3600u, ZipUnixTime({1969, 7, 1, 3, 0, 0}, -120));
}

TEST(ZipFormat, ExternalAttributesCarryTheDosBitsAndAUnixMode) {
    EXPECT_EQ(0x81800020u, ZipExternalAttributes(0x20));   // writable file, archive bit
    EXPECT_EQ(0x81800000u, ZipExternalAttributes(0x80));   // FILE_ATTRIBUTE_NORMAL has no DOS bit
    EXPECT_EQ(0x81000021u, ZipExternalAttributes(0x21));   // read-only
    EXPECT_EQ(0x81800026u, ZipExternalAttributes(0x26));   // hidden, system
    EXPECT_EQ(0x41800010u, ZipExternalAttributes(0x10));   // directory
    // Bits outside read-only, hidden, system, directory and archive are dropped.
    EXPECT_EQ(0x81800020u, ZipExternalAttributes(0x20 | 0x08 | 0x40 | 0x100 | 0x800 | 0x2000));
}

TEST(ZipFormat, ExtraFieldsAreTheExtendedTimestampInBothForms) {
    uint8_t local[kZipLocalExtraBytes];
    uint8_t central[kZipCentralExtraBytes];
    ZipBuildExtraFields(0x675825D9, 0, 0xFFFFFFFF, local, central);
    EXPECT_EQ("55 54 0D 00 07 D9 25 58 67 00 00 00 00 FF FF FF FF", Hex(local, sizeof local));
    EXPECT_EQ("55 54 05 00 07 D9 25 58 67", Hex(central, sizeof central));
}
