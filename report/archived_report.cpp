// See archived_report.h.
#include "report/archived_report.h"

#include "report/report_trailer.h"

namespace {

struct ScanTarget {
    TrailerScan scan;
    std::string* text;
};

void ScanChunk(void* context, const uint8_t* bytes, size_t byteCount) {
    ScanTarget* target = static_cast<ScanTarget*>(context);
    TrailerScanUpdate(&target->scan, bytes, byteCount);
    if (target->text != NULL && target->text->size() < kKeptReportBytes) {
        const size_t room = kKeptReportBytes - target->text->size();
        target->text->append(reinterpret_cast<const char*>(bytes), byteCount < room ? byteCount : room);
    }
}

}  // namespace

ZipReadResult CheckArchivedReport(const ZipSource& source, const char* const* reportNames, size_t nameCount,
                                  ZipMemberInfo* member, bool* matched, std::string* text) {
    *matched = false;
    ZipReadResult result = ZipFindMember(source, reportNames, nameCount, member);
    if (result != ZipReadOk) return result;
    ScanTarget target;
    TrailerScanInit(&target.scan);
    target.text = text;
    result = ZipReadMember(source, *member, ScanChunk, &target);
    if (result == ZipReadOk) *matched = TrailerScanVerifies(&target.scan);
    return result;
}
