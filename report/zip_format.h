// The byte layout of the ZIP container the report archive uses: result codes,
// the per-member record, header and end-record encoding, the store-or-deflate
// choice, DOS and Unix time conversion and the external attributes.
//
// Nothing here touches a file or the Windows API, so the layout is built and
// checked natively; the writer in zip_writer.cpp only moves bytes, and the
// reader in zip_reader.cpp reads the same records back.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Result codes of the writer (0 is success).
const uint32_t ZipOk = 0x00000000;
const uint32_t ZipErrNoFile = 0x00000200;   // a file could not be opened or read
const uint32_t ZipErrWrite = 0x00000400;    // a write or the compressor failed
const uint32_t ZipErrArgs = 0x00010000;     // no handle, no source, bad member name
// The classic format holds 32-bit sizes and offsets and a 16-bit entry count;
// a member that does not fit is refused instead of being written with wrapped
// numbers, and the members before it stay readable.
const uint32_t ZipErrTooLarge = 0x00020000;
const uint32_t ZipErrTooManyEntries = 0x00040000;

const uint32_t kZipLocalHeaderSignature = 0x04034B50;    // "PK\3\4"
const uint32_t kZipCentralHeaderSignature = 0x02014B50;  // "PK\1\2"
const uint32_t kZipEndRecordSignature = 0x06054B50;      // "PK\5\6"
const uint32_t kZip64LocatorSignature = 0x07064B50;      // "PK\6\7", just before a ZIP64 end record

const uint16_t kZipVersionMadeBy = 0x0B17;  // "2.3", host-system code 11
const uint16_t kZipVersionNeeded = 20;
const uint16_t kZipMethodStored = 0;
const uint16_t kZipMethodDeflated = 8;
const uint16_t kZipFlagSizesFollow = 0x0008;
const uint16_t kZipFlagMaximumCompression = 0x0002;
const uint16_t kZipFlagEncrypted = 0x0001;
const uint16_t kZipFlagStrongEncryption = 0x0040;

const size_t kZipMaxNameChars = 259;
const size_t kZipLocalHeaderBytes = 30;
const size_t kZipCentralHeaderBytes = 46;
const size_t kZipEndRecordBytes = 22;
const size_t kZip64LocatorBytes = 20;
const size_t kZipMaxCommentBytes = 65535;
const size_t kZipLocalExtraBytes = 17;
const size_t kZipCentralExtraBytes = 9;
// Room for the largest header with its name and extra field.
const size_t kZipMaxHeaderBytes = kZipCentralHeaderBytes + kZipMaxNameChars + kZipLocalExtraBytes;

// Largest values the classic records can carry. 0xFFFFFFFF and 0xFFFF are
// left out on purpose: readers take them as "see the ZIP64 record".
const uint64_t kZipMaxArchiveBytes = 0xFFFFFFFEull;
const uint64_t kZipMaxMemberBytes = 0xFFFFFFFEull;
const uint32_t kZipMaxEntries = 65535;

// Little-endian fields, as every integer of the container is stored.
inline uint16_t ZipGet16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t ZipGet32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

struct ZipEntry {
    uint16_t versionMadeBy;
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint32_t dosTime;  // DOS time in the low half, DOS date in the high half
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t size;
    char name[kZipMaxNameChars + 1];
    uint16_t nameLength;
    uint8_t localExtra[kZipLocalExtraBytes];
    uint8_t centralExtra[kZipCentralExtraBytes];
    uint32_t externalAttributes;
    uint32_t localHeaderOffset;
};

// Broken-down time as the system's calendar functions give it.
struct ZipCalendarTime {
    int year, month, day, hour, minute, second;
};

// Copies name into out (kZipMaxNameChars + 1 bytes) with every '\' turned
// into '/'. False for an empty or over-long name; out is then untouched.
bool ZipMakeMemberName(const char* name, char* out, uint16_t* length);

// True when the member is stored rather than deflated: its extension (from
// the last '.' anywhere in the name) names an already compressed format.
bool ZipNameIsStored(const char* memberName);

// DOS date (high half) and time (low half). The format counts years from
// 1980 to 2107; earlier times become 1 January 1980 00:00:00 and later ones
// 31 December 2107 23:59:58.
uint32_t ZipDosDateTime(const ZipCalendarTime& local);

// Seconds since 1970 UTC for a local time, where biasMinutes is UTC minus
// that local time. Years before 1970 become
// 1 January 1970 and years after 2037 become 31 December 2037, with the time
// of day kept; a result that would still fall before 1970 UTC is 0.
uint32_t ZipUnixTime(const ZipCalendarTime& local, long biasMinutes);

// Low byte: read-only, hidden, system, directory and archive bits as Windows
// numbers them; high half: a Unix mode (file or directory, owner read, owner
// write unless read-only).
uint32_t ZipExternalAttributes(uint32_t windowsAttributes);

void ZipBuildExtraFields(uint32_t modified, uint32_t accessed, uint32_t created,
                         uint8_t local[kZipLocalExtraBytes], uint8_t central[kZipCentralExtraBytes]);

// Each returns the number of bytes placed in out (at most kZipMaxHeaderBytes).
size_t ZipBuildLocalHeader(const ZipEntry& entry, uint8_t* out);
size_t ZipBuildCentralHeader(const ZipEntry& entry, uint8_t* out);
void ZipBuildEndRecord(uint16_t entryCount, uint32_t centralBytes, uint32_t centralOffset,
                       uint8_t out[kZipEndRecordBytes]);

// Bytes the central directory record of this member will take.
inline uint64_t ZipCentralRecordBytes(size_t nameLength) {
    return kZipCentralHeaderBytes + nameLength + kZipCentralExtraBytes;
}
