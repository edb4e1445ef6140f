// See archived_report.h.
#include "report/archived_report.h"

#include "report/report_trailer.h"

namespace {

void ScanChunk(void* context, const uint8_t* bytes, size_t byteCount) {
    TrailerScanUpdate(static_cast<TrailerScan*>(context), bytes, byteCount);
}

}  // namespace

ZipReadResult CheckArchivedReport(const ZipSource& source, const char* const* reportNames, size_t nameCount,
                                  ZipMemberInfo* member, bool* matched) {
    *matched = false;
    ZipReadResult result = ZipFindMember(source, reportNames, nameCount, member);
    if (result != ZipReadOk) return result;
    TrailerScan scan;
    TrailerScanInit(&scan);
    result = ZipReadMember(source, *member, ScanChunk, &scan);
    if (result == ZipReadOk) *matched = TrailerScanVerifies(&scan);
    return result;
}
