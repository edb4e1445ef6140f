// A small reader for ZIP archives as Diagnova writes them and as common tools
// make them: the classic layout (no ZIP64, no encryption, one disk), stored or
// deflated members, with or without data descriptors. It goes by the central
// directory and checks every size and offset against the file before it uses
// it; a member's bytes come out in bounded chunks, so a member of several GiB
// needs no more memory than a small one.
//
// Platform-neutral: the bytes come through a read-at-offset callback, so the
// program reads a file through the Windows API while the native tests and the
// fuzzer read from memory.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "report/zip_format.h"

struct ZipSource {
    // Reads exactly byteCount bytes at offset into buffer; false on any
    // failure, a short read included. Offsets and counts stay within sizeBytes.
    bool (*readAt)(void* context, uint64_t offset, void* buffer, size_t byteCount);
    void* context;
    uint64_t sizeBytes;
};

enum ZipReadResult {
    ZipReadOk = 0,
    ZipReadFailed,        // the source could not be read, or no memory for the buffers
    ZipReadNoDirectory,   // no end record: the archive is cut short or is no archive
    ZipReadBadDirectory,  // the central directory does not hold together
    ZipReadNoMember,      // no member has any of the wanted names
    ZipReadTwoMembers,    // more than one member has a wanted name
    ZipReadUnsupported,   // encrypted, split over disks, or neither stored nor deflated
    ZipReadTooLarge,      // ZIP64 records: a member or archive beyond the classic 4 GiB
    ZipReadBadEntry,      // the member's local header or position disagrees with the directory
    ZipReadBadData,       // the compressed data is broken, ends early or has bytes after its end
    ZipReadBadSize,       // the data gives more or fewer bytes than the directory states
    ZipReadBadCrc,        // the data's CRC-32 differs from the directory's
};

struct ZipMemberInfo {
    char name[kZipMaxNameChars + 1];  // as stored in the central directory
    uint16_t nameLength;
    uint16_t flags;
    uint16_t method;
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t size;
    uint64_t dataOffset;  // first byte of the member's data in the source
};

// Finds the one member whose name equals one of names (ASCII letters match in
// either case, as Windows would extract them to the same file) and checks its
// local header. Two such members are refused rather than one chosen: a
// tool that extracts both would leave the other one on disk.
ZipReadResult ZipFindMember(const ZipSource& source, const char* const* names, size_t nameCount,
                            ZipMemberInfo* member);

// Receives a member's uncompressed bytes in order, in chunks of 1 to
// kZipReadChunkBytes bytes.
typedef void (*ZipMemberSink)(void* context, const uint8_t* bytes, size_t byteCount);
const size_t kZipReadChunkBytes = 256 * 1024;

// Streams the member found by ZipFindMember into sink and checks its size and
// CRC-32. A member that would give more bytes than its stated size stops as
// soon as it does; the bytes sunk before a failure are not to be trusted.
ZipReadResult ZipReadMember(const ZipSource& source, const ZipMemberInfo& member, ZipMemberSink sink,
                            void* context);
