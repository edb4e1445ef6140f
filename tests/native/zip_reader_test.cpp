// Reading the report member back out of an archive: the layouts Diagnova and
// common tools write, and a damaged archive of every kind, each with its own
// result and never a read outside the archive.
#include "report/archived_report.h"
#include "report/report_trailer.h"
#include "report/zip_reader.h"

#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const char* const kReportNames[] = {"Runeveil Test.txt", "Runeveil 2 Test.txt", "Kharros II Test.txt",
                                    "Solmere Test.txt"};

struct Member {
    std::string name;
    std::string data;
    bool deflated;
    bool descriptor;  // sizes and CRC after the data, zeros in the local header
};

struct Built {
    std::string bytes;
    std::vector<size_t> local;  // each member's local header
    std::vector<size_t> central;
    size_t end;
};

std::string Deflate(const std::string& data) {
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = (char)v;
    s[at + 1] = (char)(v >> 8);
}

void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = (char)(v >> (8 * i));
}

// An archive with the writer's own record builders; the descriptor form is
// what streaming tools such as Info-ZIP zip writing to a pipe produce.
Built Build(const std::vector<Member>& members, const std::string& comment = "") {
    Built b;
    std::vector<ZipEntry> entries;
    for (const Member& m : members) {
        ZipEntry e;
        memset(&e, 0, sizeof e);
        e.versionMadeBy = kZipVersionMadeBy;
        e.versionNeeded = kZipVersionNeeded;
        e.method = m.deflated ? kZipMethodDeflated : kZipMethodStored;
        e.flags = m.deflated ? kZipFlagMaximumCompression : 0;
        e.crc = (uint32_t)crc32(0, (const Bytef*)m.data.data(), (uInt)m.data.size());
        const std::string body = m.deflated ? Deflate(m.data) : m.data;
        e.compressedSize = (uint32_t)body.size();
        e.size = (uint32_t)m.data.size();
        ZipMakeMemberName(m.name.c_str(), e.name, &e.nameLength);
        e.localHeaderOffset = (uint32_t)b.bytes.size();
        ZipEntry local = e;
        if (m.descriptor) {
            local.flags = e.flags = e.flags | kZipFlagSizesFollow;
            local.crc = local.compressedSize = local.size = 0;
        }
        uint8_t header[kZipMaxHeaderBytes];
        b.local.push_back(b.bytes.size());
        b.bytes.append((const char*)header, ZipBuildLocalHeader(local, header));
        b.bytes += body;
        if (m.descriptor) {
            std::string descriptor(16, '\0');
            Put32(descriptor, 0, 0x08074B50);
            Put32(descriptor, 4, e.crc);
            Put32(descriptor, 8, e.compressedSize);
            Put32(descriptor, 12, e.size);
            b.bytes += descriptor;
        }
        entries.push_back(e);
    }
    const size_t centralStart = b.bytes.size();
    for (const ZipEntry& e : entries) {
        uint8_t header[kZipMaxHeaderBytes];
        b.central.push_back(b.bytes.size());
        b.bytes.append((const char*)header, ZipBuildCentralHeader(e, header));
    }
    uint8_t end[kZipEndRecordBytes];
    ZipBuildEndRecord((uint16_t)entries.size(), (uint32_t)(b.bytes.size() - centralStart), (uint32_t)centralStart,
                      end);
    b.end = b.bytes.size();
    b.bytes.append((const char*)end, sizeof end);
    Put16(b.bytes, b.end + 20, (uint16_t)comment.size());
    b.bytes += comment;
    return b;
}

// Reads only within the archive; a read past its end fails the test.
bool ReadArchive(void* context, uint64_t offset, void* buffer, size_t count) {
    const std::string& bytes = *static_cast<const std::string*>(context);
    EXPECT_LE(offset + count, bytes.size());
    if (offset + count > bytes.size()) return false;
    memcpy(buffer, bytes.data() + offset, count);
    return true;
}

struct Collected {
    std::string data;
    size_t chunks = 0;
    size_t largestChunk = 0;
};

void Collect(void* context, const uint8_t* bytes, size_t count) {
    Collected* c = static_cast<Collected*>(context);
    c->data.append((const char*)bytes, count);
    ++c->chunks;
    if (count > c->largestChunk) c->largestChunk = count;
}

ZipReadResult ReadReport(const std::string& archive, Collected* out, ZipMemberInfo* member = nullptr) {
    ZipSource source = {ReadArchive, const_cast<std::string*>(&archive), archive.size()};
    ZipMemberInfo found;
    ZipReadResult result = ZipFindMember(source, kReportNames, 4, &found);
    if (member) *member = found;
    return result == ZipReadOk ? ZipReadMember(source, found, Collect, out) : result;
}

std::string Text(size_t bytes) {
    std::string text;
    for (unsigned i = 0; text.size() < bytes; ++i) text += "line " + std::to_string(i * 2654435761u % 1000003) + "\r\n";
    text.resize(bytes);
    return text;
}

const std::string kReport = Text(3000);
const std::string kGamesXml = "<Games><Game name=\"Runeveil 2\"/></Games>\r\n";

Built Standard() {
    return Build({{"Runeveil 2 Test.txt", kReport, true, false}, {"Launcher/Games.xml", kGamesXml, true, false}});
}

}  // namespace

TEST(ZipReader, FindsTheReportStoredOrDeflatedWithOrWithoutDataDescriptors) {
    const std::string big = Text(3 * kZipReadChunkBytes + 12345);
    struct Case {
        const char* what;
        Built archive;
        std::string want;
    } cases[] = {
        {"as Diagnova writes it", Standard(), kReport},
        {"stored, after another member, behind a comment",
         Build({{"Launcher/Games.xml", kGamesXml, true, false}, {"Solmere Test.txt", kReport, false, false}},
               "archive comment with PK\x05\x06 inside"),
         kReport},
        {"with data descriptors", Build({{"Kharros II Test.txt", kReport, true, true}}), kReport},
        {"name in other letter case", Build({{"runeveil TEST.TXT", kReport, true, false}}), kReport},
        {"empty", Build({{"Runeveil Test.txt", "", true, false}}), ""},
        {"larger than one chunk, deflated", Build({{"Runeveil Test.txt", big, true, false}}), big},
        {"larger than one chunk, stored", Build({{"Runeveil Test.txt", big, false, true}}), big},
    };
    for (Case& c : cases) {
        Collected got;
        ZipMemberInfo member;
        ASSERT_EQ(ZipReadOk, ReadReport(c.archive.bytes, &got, &member)) << c.what;
        EXPECT_TRUE(got.data == c.want) << c.what;
        EXPECT_LE(got.largestChunk, kZipReadChunkBytes) << c.what;
        EXPECT_GE(got.chunks, c.want.size() / kZipReadChunkBytes) << c.what;
    }
}

TEST(ZipReader, DamagedOrUnreadableArchivesGiveTheirOwnResultAndNoReport) {
    const Built s = Standard();
    const size_t local = s.local[0], central = s.central[0], end = s.end;
    const size_t compressed = Deflate(kReport).size();
    // Sets a field of the report's local header (at lo) and central record (at ce).
    auto both16 = [&](std::string& b, size_t lo, size_t ce, uint16_t v) { Put16(b, local + lo, v), Put16(b, central + ce, v); };
    auto both32 = [&](std::string& b, size_t lo, size_t ce, uint32_t v) { Put32(b, local + lo, v), Put32(b, central + ce, v); };
    const uint32_t crc = (uint32_t)crc32(0, (const Bytef*)kReport.data(), (uInt)kReport.size());
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        ZipReadResult want;
    } cases[] = {
        {"cut in half", [&](std::string& b) { b.resize(b.size() / 2); }, ZipReadNoDirectory},
        {"last byte cut", [&](std::string& b) { b.pop_back(); }, ZipReadNoDirectory},
        {"only a local header", [&](std::string& b) { b.resize(30); }, ZipReadNoDirectory},
        {"comment longer than the file", [&](std::string& b) { Put16(b, end + 20, 1); }, ZipReadNoDirectory},
        {"central signature", [&](std::string& b) { b[central] = 'X'; }, ZipReadBadDirectory},
        {"directory past the end record", [&](std::string& b) { Put32(b, end + 16, (uint32_t)central + 1); }, ZipReadBadDirectory},
        {"more entries than records", [&](std::string& b) { Put16(b, end + 8, 3), Put16(b, end + 10, 3); }, ZipReadBadDirectory},
        {"name runs past the directory", [&](std::string& b) { Put16(b, s.central[1] + 28, 300); }, ZipReadBadDirectory},
        {"split over disks", [&](std::string& b) { Put16(b, end + 4, 1); }, ZipReadUnsupported},
        {"ZIP64 end locator", [&](std::string& b) {
             std::string locator(20, '\0');
             Put32(locator, 0, kZip64LocatorSignature);
             b.insert(end, locator);
         }, ZipReadTooLarge},
        {"no report", [&](std::string& b) { b[local + 30 + 9] = b[central + 46 + 9] = '3'; }, ZipReadNoMember},
        {"two reports", [&](std::string& b) {
             b.replace(s.local[1] + 30, 18, "Solmere Test.txt\0\0", 18);
             b.replace(s.central[1] + 46, 18, "Solmere Test.txt\0\0", 18);
             Put16(b, s.local[1] + 26, 16), Put16(b, s.local[1] + 28, 19);
             Put16(b, s.central[1] + 28, 16), Put16(b, s.central[1] + 30, 11);
         }, ZipReadTwoMembers},
        {"encrypted", [&](std::string& b) { both16(b, 6, 8, 3); }, ZipReadUnsupported},
        {"method 12", [&](std::string& b) { both16(b, 8, 10, 12); }, ZipReadUnsupported},
        {"ZIP64 size", [&](std::string& b) { both32(b, 22, 24, 0xFFFFFFFF); }, ZipReadTooLarge},
        {"local signature", [&](std::string& b) { b[local] = 'X'; }, ZipReadBadEntry},
        {"local name differs", [&](std::string& b) { b[local + 30 + 9] = '3'; }, ZipReadBadEntry},
        {"local sizes differ", [&](std::string& b) { Put32(b, local + 22, 7); }, ZipReadBadEntry},
        {"local header beyond the members", [&](std::string& b) { Put32(b, central + 42, (uint32_t)central - 40); }, ZipReadBadEntry},
        {"data reaches into the directory", [&](std::string& b) { both32(b, 18, 20, (uint32_t)central); }, ZipReadBadEntry},
        {"stored sizes differ", [&](std::string& b) { both16(b, 8, 10, 0); }, ZipReadBadEntry},
        {"reserved block type", [&](std::string& b) { b[local + 30 + 19 + 17] = (char)0xFF; }, ZipReadBadData},
        {"data cut inside", [&](std::string& b) { both32(b, 18, 20, (uint32_t)compressed - 1); }, ZipReadBadData},
        {"bytes after the stream", [&](std::string& b) { both32(b, 18, 20, (uint32_t)compressed + 1); }, ZipReadBadData},
        {"inflates beyond its size", [&](std::string& b) { both32(b, 22, 24, (uint32_t)kReport.size() - 1); }, ZipReadBadSize},
        {"inflates short of its size", [&](std::string& b) { both32(b, 22, 24, (uint32_t)kReport.size() + 1); }, ZipReadBadSize},
        {"CRC", [&](std::string& b) { both32(b, 14, 16, crc ^ 1); }, ZipReadBadCrc},
    };
    for (Case& c : cases) {
        std::string damaged = s.bytes;
        c.damage(damaged);
        Collected got;
        EXPECT_EQ(c.want, ReadReport(damaged, &got)) << c.what;
    }
}

TEST(ZipReader, AMemberThatInflatesFarBeyondItsSizeStopsAfterOneChunk) {
    Built bomb = Build({{"Runeveil Test.txt", std::string(16 << 20, 'A'), true, false}});
    Put32(bomb.bytes, bomb.local[0] + 22, 100);
    Put32(bomb.bytes, bomb.central[0] + 24, 100);
    Collected got;
    EXPECT_EQ(ZipReadBadSize, ReadReport(bomb.bytes, &got));
    EXPECT_LE(got.data.size(), kZipReadChunkBytes);
}

TEST(ArchivedReport, TheSealedReportMatchesAndAChangeWithItsCrcFixedDoesNot) {
    char trailer[kDigestTrailerBytes + 1];
    BuildDigestTrailer(kReport.data(), kReport.size(), trailer);
    const std::string sealed = kReport + trailer;
    std::string changed = sealed;
    changed[100] ^= 1;
    for (const auto& c : {std::make_pair(sealed, true), std::make_pair(changed, false)}) {
        const std::string archive = Build({{"Runeveil 2 Test.txt", c.first, true, false}}).bytes;
        ZipSource source = {ReadArchive, const_cast<std::string*>(&archive), archive.size()};
        ZipMemberInfo member;
        bool matched = !c.second;
        EXPECT_EQ(ZipReadOk, CheckArchivedReport(source, kReportNames, 4, &member, &matched));
        EXPECT_EQ(c.second, matched);
        EXPECT_STREQ("Runeveil 2 Test.txt", member.name);
    }
    const std::string none = Build({{"Launcher/Games.xml", sealed, true, false}}).bytes;
    ZipSource source = {ReadArchive, const_cast<std::string*>(&none), none.size()};
    ZipMemberInfo member;
    bool matched = true;
    EXPECT_EQ(ZipReadNoMember, CheckArchivedReport(source, kReportNames, 4, &member, &matched));
    EXPECT_FALSE(matched);
}
