// Fuzz target for the archive reader and the check of the report inside it.
// Any bytes as the archive: every read the reader asks for must lie within
// the file, the member's bytes must come in bounded chunks and never beyond
// its stated size, and a check that did not read the whole member cleanly
// must never say "matched".
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "report/archived_report.h"
#include "report/report_trailer.h"
#include "report/zip_reader.h"

namespace {

const char* const kNames[] = {"Runeveil Test.txt", "Runeveil 2 Test.txt", "Kharros II Test.txt",
                              "Solmere Test.txt"};

struct Archive {
    const uint8_t* bytes;
    uint64_t size;
};

bool ReadAt(void* context, uint64_t offset, void* buffer, size_t count) {
    const Archive* archive = static_cast<const Archive*>(context);
    if (offset > archive->size || count > archive->size - offset) abort();
    memcpy(buffer, archive->bytes + offset, count);
    return true;
}

struct Stream {
    uint64_t total;
    uint32_t limit;
    TrailerScan scan;
};

void Take(void* context, const uint8_t* bytes, size_t count) {
    Stream* stream = static_cast<Stream*>(context);
    if (count == 0 || count > kZipReadChunkBytes) abort();
    stream->total += count;
    if (stream->total > stream->limit) abort();
    TrailerScanUpdate(&stream->scan, bytes, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size, so a read past its end is caught.
    uint8_t* exact = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (size) memcpy(exact, data, size);
    Archive archive = {exact, size};
    ZipSource source = {ReadAt, &archive, size};

    ZipMemberInfo member;
    bool matched = true;
    const ZipReadResult checked = CheckArchivedReport(source, kNames, 4, &member, &matched);
    if (checked != ZipReadOk && matched) abort();

    if (ZipFindMember(source, kNames, 4, &member) == ZipReadOk) {
        if (member.dataOffset + member.compressedSize > size) abort();
        Stream stream;
        stream.total = 0;
        stream.limit = member.size;
        TrailerScanInit(&stream.scan);
        const ZipReadResult read = ZipReadMember(source, member, Take, &stream);
        if (read != checked) abort();
        if (read == ZipReadOk && (stream.total != member.size || TrailerScanVerifies(&stream.scan) != matched))
            abort();
    }
    free(exact);
    return 0;
}
