// Reading one member of a ZIP archive; see zip_reader.h.
//
// The end record is looked for from the end of the file backwards, through the
// longest comment the format allows; the one whose comment ends exactly at the
// end of the file counts. The central directory is read through one window of
// a fixed size, and only a record's fixed part and (when its length could be
// one of the wanted names) its name are looked at, so an archive of 65,535
// members costs a few dozen reads.
#include "report/zip_reader.h"

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

namespace {

const size_t kWindowBytes = kZipEndRecordBytes + kZipMaxCommentBytes;
const size_t kInputChunkBytes = 256 * 1024;
const uint32_t kZip64Marker32 = 0xFFFFFFFFu;

// A heap block freed on every path.
struct OwnedBlock {
    explicit OwnedBlock(size_t bytes) : bytes(static_cast<uint8_t*>(malloc(bytes))) {}
    ~OwnedBlock() { free(bytes); }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;
    uint8_t* bytes;
};

// A part of the source held in memory: [start, start + length).
struct Window {
    const ZipSource* source;
    uint8_t* buffer;
    uint64_t start;
    size_t length;
    uint64_t limit;  // nothing at or beyond this offset belongs to the region read
};

// Points *at to count bytes at offset, refilling the window when they are not
// in it. BadDirectory when they reach past the region's limit.
ZipReadResult WindowAt(Window& w, uint64_t offset, size_t count, const uint8_t** at) {
    if (count > kWindowBytes || offset > w.limit || count > w.limit - offset) return ZipReadBadDirectory;
    if (offset < w.start || offset + count > w.start + w.length) {
        const uint64_t left = w.limit - offset;
        const size_t length = left < kWindowBytes ? static_cast<size_t>(left) : kWindowBytes;
        if (!w.source->readAt(w.source->context, offset, w.buffer, length)) return ZipReadFailed;
        w.start = offset;
        w.length = length;
    }
    *at = w.buffer + (offset - w.start);
    return ZipReadOk;
}

bool SameNameIgnoringAsciiCase(const uint8_t* stored, const char* wanted, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        unsigned char a = stored[i], b = static_cast<unsigned char>(wanted[i]);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

bool IsWantedName(const uint8_t* stored, size_t length, const char* const* names, size_t nameCount) {
    for (size_t i = 0; i < nameCount; ++i) {
        if (strlen(names[i]) == length && SameNameIgnoringAsciiCase(stored, names[i], length)) return true;
    }
    return false;
}

struct Directory {
    uint64_t offset;
    uint64_t bytes;
    uint32_t entries;
};

// Finds the end record and checks that the central directory lies between
// the members and it.
ZipReadResult FindDirectory(Window& w, Directory* directory) {
    const uint64_t size = w.source->sizeBytes;
    if (size < kZipEndRecordBytes) return ZipReadNoDirectory;
    const uint8_t* tail = NULL;
    const size_t tailBytes = size < kWindowBytes ? static_cast<size_t>(size) : kWindowBytes;
    w.limit = size;
    ZipReadResult result = WindowAt(w, size - tailBytes, tailBytes, &tail);
    if (result != ZipReadOk) return result;

    size_t at = tailBytes - kZipEndRecordBytes;
    for (;;) {
        if (ZipGet32(tail + at) == kZipEndRecordSignature &&
            ZipGet16(tail + at + 20) == tailBytes - at - kZipEndRecordBytes)
            break;
        if (at == 0) return ZipReadNoDirectory;
        --at;
    }
    const uint8_t* end = tail + at;
    const uint64_t endOffset = size - tailBytes + at;
    if (at >= kZip64LocatorBytes && ZipGet32(end - kZip64LocatorBytes) == kZip64LocatorSignature)
        return ZipReadTooLarge;
    if (ZipGet16(end + 4) != 0 || ZipGet16(end + 6) != 0 || ZipGet16(end + 8) != ZipGet16(end + 10))
        return ZipReadUnsupported;
    directory->entries = ZipGet16(end + 10);
    directory->bytes = ZipGet32(end + 12);
    directory->offset = ZipGet32(end + 16);
    if (directory->bytes == kZip64Marker32 || directory->offset == kZip64Marker32) return ZipReadTooLarge;
    if (directory->offset + directory->bytes > endOffset) return ZipReadBadDirectory;
    return ZipReadOk;
}

// Checks the member's local header against its central record and places its
// data, which must end before the central directory starts.
ZipReadResult CheckLocalHeader(Window& w, uint32_t localOffset, uint64_t directoryOffset, ZipMemberInfo* m) {
    w.limit = directoryOffset;
    const uint8_t* local = NULL;
    ZipReadResult result = WindowAt(w, localOffset, kZipLocalHeaderBytes + m->nameLength, &local);
    if (result != ZipReadOk) return result == ZipReadBadDirectory ? ZipReadBadEntry : result;
    if (ZipGet32(local) != kZipLocalHeaderSignature || ZipGet16(local + 8) != m->method ||
        ZipGet16(local + 26) != m->nameLength || memcmp(local + kZipLocalHeaderBytes, m->name, m->nameLength) != 0)
        return ZipReadBadEntry;
    const uint16_t localFlags = ZipGet16(local + 6);
    if (localFlags & (kZipFlagEncrypted | kZipFlagStrongEncryption)) return ZipReadUnsupported;
    // Without a data descriptor the local header carries the final values.
    if (!(localFlags & kZipFlagSizesFollow) &&
        (ZipGet32(local + 14) != m->crc || ZipGet32(local + 18) != m->compressedSize ||
         ZipGet32(local + 22) != m->size))
        return ZipReadBadEntry;
    m->dataOffset = static_cast<uint64_t>(localOffset) + kZipLocalHeaderBytes + m->nameLength + ZipGet16(local + 28);
    if (m->dataOffset > directoryOffset || m->compressedSize > directoryOffset - m->dataOffset)
        return ZipReadBadEntry;
    return ZipReadOk;
}

// Inflate state released on every path.
struct Inflater {
    Inflater() : ready(false) { memset(&stream, 0, sizeof stream); }
    ~Inflater() {
        if (ready) inflateEnd(&stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream stream;
    bool ready;
};

ZipReadResult ReadStored(const ZipSource& source, const ZipMemberInfo& m, uint8_t* chunk, ZipMemberSink sink,
                         void* context, uLong* crc) {
    uint64_t at = m.dataOffset;
    uint32_t left = m.compressedSize;
    while (left > 0) {
        const size_t count = left < kZipReadChunkBytes ? left : kZipReadChunkBytes;
        if (!source.readAt(source.context, at, chunk, count)) return ZipReadFailed;
        *crc = crc32(*crc, chunk, static_cast<uInt>(count));
        sink(context, chunk, count);
        at += count;
        left -= static_cast<uint32_t>(count);
    }
    return ZipReadOk;
}

ZipReadResult ReadDeflated(const ZipSource& source, const ZipMemberInfo& m, uint8_t* input, uint8_t* output,
                           ZipMemberSink sink, void* context, uLong* crc) {
    Inflater inflater;
    z_stream& z = inflater.stream;
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return ZipReadFailed;
    inflater.ready = true;
    uint64_t at = m.dataOffset;
    uint32_t left = m.compressedSize;
    uint64_t produced = 0;
    for (;;) {
        if (z.avail_in == 0) {
            if (left == 0) return ZipReadBadData;  // the stream needs more than the member holds
            const size_t count = left < kInputChunkBytes ? left : kInputChunkBytes;
            if (!source.readAt(source.context, at, input, count)) return ZipReadFailed;
            at += count;
            left -= static_cast<uint32_t>(count);
            z.next_in = input;
            z.avail_in = static_cast<uInt>(count);
        }
        const uInt inBefore = z.avail_in;
        z.next_out = output;
        z.avail_out = static_cast<uInt>(kZipReadChunkBytes);
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_MEM_ERROR) return ZipReadFailed;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return ZipReadBadData;
        const size_t got = kZipReadChunkBytes - z.avail_out;
        // Neither input taken nor output given: the stream cannot go on.
        if (got == 0 && z.avail_in == inBefore && rc != Z_STREAM_END) return ZipReadBadData;
        produced += got;
        if (produced > m.size) return ZipReadBadSize;
        if (got > 0) {
            *crc = crc32(*crc, output, static_cast<uInt>(got));
            sink(context, output, got);
        }
        if (rc == Z_STREAM_END) break;
    }
    if (z.avail_in != 0 || left != 0) return ZipReadBadData;
    return produced == m.size ? ZipReadOk : ZipReadBadSize;
}

}  // namespace

ZipReadResult ZipFindMember(const ZipSource& source, const char* const* names, size_t nameCount,
                            ZipMemberInfo* member) {
    OwnedBlock buffer(kWindowBytes);
    if (buffer.bytes == NULL) return ZipReadFailed;
    Window w = {&source, buffer.bytes, 0, 0, 0};
    Directory directory;
    ZipReadResult result = FindDirectory(w, &directory);
    if (result != ZipReadOk) return result;

    size_t longestName = 0;
    for (size_t i = 0; i < nameCount; ++i) {
        const size_t length = strlen(names[i]);
        if (length > longestName) longestName = length;
    }
    if (longestName > kZipMaxNameChars) longestName = kZipMaxNameChars;

    ZipMemberInfo found;
    uint32_t localOffset = 0;
    bool haveOne = false;
    w.limit = directory.offset + directory.bytes;
    uint64_t at = directory.offset;
    for (uint32_t i = 0; i < directory.entries; ++i) {
        const uint8_t* record = NULL;
        result = WindowAt(w, at, kZipCentralHeaderBytes, &record);
        if (result != ZipReadOk) return result;
        if (ZipGet32(record) != kZipCentralHeaderSignature) return ZipReadBadDirectory;
        const uint16_t nameLength = ZipGet16(record + 28);
        const uint64_t recordBytes =
            kZipCentralHeaderBytes + nameLength + ZipGet16(record + 30) + ZipGet16(record + 32);
        if (recordBytes > w.limit - at) return ZipReadBadDirectory;
        if (nameLength <= longestName) {
            // Copy the fixed part first: reading the name may move the window.
            uint8_t fixed[kZipCentralHeaderBytes];
            memcpy(fixed, record, sizeof fixed);
            const uint8_t* name = NULL;
            result = WindowAt(w, at + kZipCentralHeaderBytes, nameLength, &name);
            if (result != ZipReadOk) return result;
            if (IsWantedName(name, nameLength, names, nameCount)) {
                if (haveOne) return ZipReadTwoMembers;
                haveOne = true;
                memcpy(found.name, name, nameLength);
                found.name[nameLength] = '\0';
                found.nameLength = nameLength;
                found.flags = ZipGet16(fixed + 8);
                found.method = ZipGet16(fixed + 10);
                found.crc = ZipGet32(fixed + 16);
                found.compressedSize = ZipGet32(fixed + 20);
                found.size = ZipGet32(fixed + 24);
                found.dataOffset = 0;
                localOffset = ZipGet32(fixed + 42);
            }
        }
        at += recordBytes;
    }
    if (!haveOne) return ZipReadNoMember;

    if (found.flags & (kZipFlagEncrypted | kZipFlagStrongEncryption)) return ZipReadUnsupported;
    if (found.method != kZipMethodStored && found.method != kZipMethodDeflated) return ZipReadUnsupported;
    if (found.compressedSize == kZip64Marker32 || found.size == kZip64Marker32 || localOffset == kZip64Marker32)
        return ZipReadTooLarge;
    if (found.method == kZipMethodStored && found.compressedSize != found.size) return ZipReadBadEntry;
    result = CheckLocalHeader(w, localOffset, directory.offset, &found);
    if (result != ZipReadOk) return result;
    *member = found;
    return ZipReadOk;
}

ZipReadResult ZipReadMember(const ZipSource& source, const ZipMemberInfo& member, ZipMemberSink sink,
                            void* context) {
    if (member.dataOffset > source.sizeBytes || member.compressedSize > source.sizeBytes - member.dataOffset)
        return ZipReadBadEntry;
    const bool stored = member.method == kZipMethodStored;
    if (stored && member.compressedSize != member.size) return ZipReadBadEntry;
    OwnedBlock buffers(kZipReadChunkBytes + (stored ? 0 : kInputChunkBytes));
    if (buffers.bytes == NULL) return ZipReadFailed;
    uLong crc = crc32(0, NULL, 0);
    const ZipReadResult result =
        stored ? ReadStored(source, member, buffers.bytes, sink, context, &crc)
               : ReadDeflated(source, member, buffers.bytes + kZipReadChunkBytes, buffers.bytes, sink, context, &crc);
    if (result != ZipReadOk) return result;
    return crc == member.crc ? ZipReadOk : ZipReadBadCrc;
}
