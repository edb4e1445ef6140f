// The ZIP writer: moves the bytes of each member from its source file into the
// archive, through zlib's raw DEFLATE where the member is compressed, and
// patches the member's local header once its CRC and sizes are known. The
// record layout lives in zip_format.cpp.
//
// Every member is checked against the limits of the classic format before and
// while it is written; a member that fails for any reason is cut off again
// (the file is truncated back to its local header) so the archive never holds
// dead bytes that strict readers warn about.
#include "report/zip_writer.h"

#include <windows.h>
#include <string.h>
#include <zlib.h>

#include <new>
#include <vector>

#include "common/owned_handle.h"

struct ZipWriter {
    OwnedFile file;
    uint64_t position;      // offset of the next byte
    uint64_t centralBytes;  // size of the central directory for the entries so far
    std::vector<ZipEntry> entries;
};

namespace {

const DWORD kBlockBytes = 16384;
const int kDeflateLevel = 8;
const int kWindowBits = 15;
const int kMemLevel = 8;

uint64_t g_maxArchiveBytes = kZipMaxArchiveBytes;
uint64_t g_maxMemberBytes = kZipMaxMemberBytes;
uint32_t g_maxEntries = kZipMaxEntries;

bool WriteAll(HANDLE file, const void* data, DWORD bytes) {
    DWORD written = 0;
    return WriteFile(file, data, bytes, &written, NULL) && written == bytes;
}

bool SeekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx(file, to, NULL, FILE_BEGIN) != 0;
}

// Where a member's data goes: the archive, within the room its limits leave.
struct DataSink {
    ZipWriter* writer;
    uint64_t limit;  // the position this member's data must not pass
    uint64_t written;

    uint32_t Put(const void* data, DWORD bytes) {
        if (writer->position + bytes > limit) return ZipErrTooLarge;
        if (!WriteAll(writer->file.Get(), data, bytes)) return ZipErrWrite;
        writer->position += bytes;
        written += bytes;
        return ZipOk;
    }
};

// Reads the next block of the source, keeping the CRC and byte count.
uint32_t ReadBlock(HANDLE source, uint8_t* block, DWORD* got, ZipEntry& entry, uint64_t* readBytes) {
    if (!ReadFile(source, block, kBlockBytes, got, NULL)) return ZipErrNoFile;
    *readBytes += *got;
    if (*readBytes > g_maxMemberBytes) return ZipErrTooLarge;
    entry.crc = crc32(entry.crc, block, *got);
    return ZipOk;
}

uint32_t CopyStored(HANDLE source, DataSink& sink, ZipEntry& entry, uint64_t* readBytes) {
    uint8_t block[kBlockBytes];
    for (;;) {
        DWORD got = 0;
        uint32_t result = ReadBlock(source, block, &got, entry, readBytes);
        if (result != ZipOk) return result;
        if (got == 0) return ZipOk;
        result = sink.Put(block, got);
        if (result != ZipOk) return result;
    }
}

struct DeflateStream {
    z_stream stream;
    bool ready;
    DeflateStream() : ready(false) {
        memset(&stream, 0, sizeof stream);
        // Raw DEFLATE (negative window bits: no zlib header), 32 KB window,
        // 15-bit hash; level 8 brings the lazy-match parameters 32/128/258/1024.
        ready = deflateInit2(&stream, kDeflateLevel, Z_DEFLATED, -kWindowBits, kMemLevel,
                             Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~DeflateStream() {
        if (ready) deflateEnd(&stream);
    }
};

uint32_t CopyDeflated(HANDLE source, DataSink& sink, ZipEntry& entry, uint64_t* readBytes) {
    DeflateStream deflater;
    if (!deflater.ready) return ZipErrWrite;
    z_stream& z = deflater.stream;
    uint8_t in[kBlockBytes];
    uint8_t out[kBlockBytes];
    z.next_out = out;
    z.avail_out = kBlockBytes;
    for (;;) {
        DWORD got = 0;
        uint32_t result = ReadBlock(source, in, &got, entry, readBytes);
        if (result != ZipOk) return result;
        const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = in;
        z.avail_in = got;
        int rc;
        for (;;) {
            rc = deflate(&z, flush);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return ZipErrWrite;
            if (z.avail_out != 0) break;  // all input taken, or the stream ended
            result = sink.Put(out, kBlockBytes);
            if (result != ZipOk) return result;
            z.next_out = out;
            z.avail_out = kBlockBytes;
            if (rc == Z_STREAM_END) break;  // it ended exactly at a block's end
        }
        if (flush == Z_FINISH) {
            if (rc != Z_STREAM_END) return ZipErrWrite;
            DWORD pending = kBlockBytes - z.avail_out;
            return pending ? sink.Put(out, pending) : ZipOk;
        }
    }
}

// The three file times, shifted to local time by the current difference
// between local time and UTC, broken down into calendar fields.
void ShiftedCalendarTime(const FILETIME& utc, int64_t shift, ZipCalendarTime* out) {
    ULARGE_INTEGER value;
    value.LowPart = utc.dwLowDateTime;
    value.HighPart = utc.dwHighDateTime;
    int64_t shifted = (int64_t)value.QuadPart + shift;
    if (shifted < 0) shifted = 0;
    value.QuadPart = (ULONGLONG)shifted;
    FILETIME local;
    local.dwLowDateTime = value.LowPart;
    local.dwHighDateTime = value.HighPart;
    SYSTEMTIME fields;
    if (!FileTimeToSystemTime(&local, &fields)) {
        // Out of the system's range: the year 0 is clamped by both conversions.
        *out = ZipCalendarTime{0, 1, 1, 0, 0, 0};
        return;
    }
    *out = ZipCalendarTime{fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

int64_t CurrentLocalShift() {
    // Both readings come from one instant: two separate clock reads could
    // straddle a tick and shift every time stamp by a fraction of a second.
    FILETIME utcNow, localNow;
    GetSystemTimeAsFileTime(&utcNow);
    if (!FileTimeToLocalFileTime(&utcNow, &localNow)) return 0;
    ULARGE_INTEGER u, l;
    u.LowPart = utcNow.dwLowDateTime;
    u.HighPart = utcNow.dwHighDateTime;
    l.LowPart = localNow.dwLowDateTime;
    l.HighPart = localNow.dwHighDateTime;
    return (int64_t)l.QuadPart - (int64_t)u.QuadPart;
}

void FillTimesAndAttributes(const BY_HANDLE_FILE_INFORMATION& info, ZipEntry& entry) {
    const int64_t shift = CurrentLocalShift();
    // The extended timestamps are UTC. The local fields go back with the same
    // shift that made them, daylight saving included: reading them as local
    // standard time instead would put every time an hour late whenever the
    // archive is made in summer time.
    const long bias = (long)(-shift / (60 * 10000000LL));
    ZipCalendarTime modified, accessed, created;
    ShiftedCalendarTime(info.ftLastWriteTime, shift, &modified);
    ShiftedCalendarTime(info.ftLastAccessTime, shift, &accessed);
    ShiftedCalendarTime(info.ftCreationTime, shift, &created);
    entry.dosTime = ZipDosDateTime(modified);
    ZipBuildExtraFields(ZipUnixTime(modified, bias), ZipUnixTime(accessed, bias), ZipUnixTime(created, bias),
                        entry.localExtra, entry.centralExtra);
    entry.externalAttributes = ZipExternalAttributes(info.dwFileAttributes);
}

bool WriteLocalHeader(ZipWriter* writer, const ZipEntry& entry) {
    uint8_t header[kZipMaxHeaderBytes];
    const size_t bytes = ZipBuildLocalHeader(entry, header);
    return WriteAll(writer->file.Get(), header, (DWORD)bytes);
}

uint32_t WriteMember(ZipWriter* writer, HANDLE source, ZipEntry& entry, bool stored, uint64_t dataLimit) {
    if (!WriteLocalHeader(writer, entry)) return ZipErrWrite;
    writer->position += kZipLocalHeaderBytes + entry.nameLength + kZipLocalExtraBytes;

    DataSink sink = {writer, dataLimit, 0};
    uint64_t readBytes = 0;
    uint32_t result = stored ? CopyStored(source, sink, entry, &readBytes)
                             : CopyDeflated(source, sink, entry, &readBytes);
    if (result != ZipOk) return result;
    if (sink.written > g_maxMemberBytes) return ZipErrTooLarge;

    entry.flags = (uint16_t)(entry.flags & ~kZipFlagSizesFollow);
    entry.compressedSize = (uint32_t)sink.written;
    entry.size = (uint32_t)readBytes;
    if (!SeekTo(writer->file.Get(), entry.localHeaderOffset)) return ZipErrWrite;
    const bool patched = WriteLocalHeader(writer, entry);
    if (!SeekTo(writer->file.Get(), writer->position) || !patched) return ZipErrWrite;
    return ZipOk;
}

// Cuts a failed member off the end of the archive.
void DropTail(ZipWriter* writer, uint64_t offset) {
    if (SeekTo(writer->file.Get(), offset) && SetEndOfFile(writer->file.Get())) writer->position = offset;
}

}  // namespace

ZipHandle ZipCreateFile(const char* archivePath) {
    if (archivePath == NULL || archivePath[0] == '\0') return NULL;
    ZipWriter* writer = new (std::nothrow) ZipWriter;
    if (writer == NULL) return NULL;
    writer->file.Reset(CreateFileA(archivePath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!writer->file.Valid()) {
        delete writer;
        return NULL;
    }
    writer->position = 0;
    writer->centralBytes = 0;
    return writer;
}

uint32_t ZipAddFile(const char* sourcePath, const char* nameInArchive, ZipHandle writer) {
    if (writer == NULL || sourcePath == NULL || sourcePath[0] == '\0') return ZipErrArgs;
    ZipEntry entry;
    memset(&entry, 0, sizeof entry);
    if (!ZipMakeMemberName(nameInArchive, entry.name, &entry.nameLength)) return ZipErrArgs;
    if (writer->entries.size() >= g_maxEntries) return ZipErrTooManyEntries;

    OwnedFile source(CreateFileA(sourcePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL));
    if (!source.Valid()) return ZipErrNoFile;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(source.Get(), &info)) return ZipErrNoFile;
    const uint64_t fileBytes = ((uint64_t)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    if (fileBytes > g_maxMemberBytes) return ZipErrTooLarge;

    const bool stored = ZipNameIsStored(entry.name);
    entry.versionMadeBy = kZipVersionMadeBy;
    entry.versionNeeded = kZipVersionNeeded;
    entry.flags = kZipFlagSizesFollow;
    entry.method = stored ? kZipMethodStored : kZipMethodDeflated;
    if (!stored) entry.flags |= kZipFlagMaximumCompression;
    entry.crc = 0;
    entry.compressedSize = stored ? (uint32_t)fileBytes : 0;
    entry.size = (uint32_t)fileBytes;
    entry.localHeaderOffset = (uint32_t)writer->position;
    FillTimesAndAttributes(info, entry);

    // The member's data may grow up to where the central directory, with this
    // member's record, and the end record still fit below the archive limit.
    const uint64_t reserve = writer->centralBytes + ZipCentralRecordBytes(entry.nameLength) + kZipEndRecordBytes;
    const uint64_t headerBytes = kZipLocalHeaderBytes + entry.nameLength + kZipLocalExtraBytes;
    if (reserve > g_maxArchiveBytes ||
        writer->position + headerBytes + (stored ? fileBytes : 0) > g_maxArchiveBytes - reserve) {
        return ZipErrTooLarge;
    }

    const uint32_t result = WriteMember(writer, source.Get(), entry, stored, g_maxArchiveBytes - reserve);
    if (result != ZipOk) {
        DropTail(writer, entry.localHeaderOffset);
        return result;
    }
    writer->entries.push_back(entry);
    writer->centralBytes += ZipCentralRecordBytes(entry.nameLength);
    return ZipOk;
}

uint32_t ZipClose(ZipHandle writer) {
    if (writer == NULL) return ZipErrArgs;
    uint32_t result = ZipOk;
    const uint64_t centralStart = writer->position;
    uint8_t record[kZipMaxHeaderBytes];
    for (size_t i = 0; i < writer->entries.size() && result == ZipOk; ++i) {
        const size_t bytes = ZipBuildCentralHeader(writer->entries[i], record);
        if (WriteAll(writer->file.Get(), record, (DWORD)bytes)) {
            writer->position += bytes;
        } else {
            result = ZipErrWrite;
        }
    }
    if (result == ZipOk) {
        uint8_t end[kZipEndRecordBytes];
        ZipBuildEndRecord((uint16_t)writer->entries.size(), (uint32_t)(writer->position - centralStart),
                          (uint32_t)centralStart, end);
        if (WriteAll(writer->file.Get(), end, sizeof end)) {
            writer->position += sizeof end;
        } else {
            result = ZipErrWrite;
        }
    }
    if (!CloseHandle(writer->file.Release()) && result == ZipOk) result = ZipErrWrite;
    delete writer;
    return result;
}

void ZipSetLimitsForTesting(uint64_t maxArchiveBytes, uint64_t maxMemberBytes, uint32_t maxEntries) {
    g_maxArchiveBytes = maxArchiveBytes ? maxArchiveBytes : kZipMaxArchiveBytes;
    g_maxMemberBytes = maxMemberBytes ? maxMemberBytes : kZipMaxMemberBytes;
    g_maxEntries = maxEntries ? maxEntries : kZipMaxEntries;
}
