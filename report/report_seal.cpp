// Sealing a report with its digest trailer, and checking a report file or the
// report inside an archive.
//
// Sealing and checking a report file read the whole file into memory at once
// and digest it in one pass; an archive is read in bounded chunks.
// The file size is taken with its high half: a file of 4 GiB or more cannot
// be held by this 32-bit program and fails plainly, instead of being read as
// its size modulo 4 GiB (which would seal or check only the file's head).
#include "report/report_seal.h"

#include <windows.h>

#include "common/owned_handle.h"
#include "report/archived_report.h"
#include "report/report_trailer.h"

namespace {

// The largest file either operation takes: its size plus one NUL must fit a
// 32-bit size, and anything near that size cannot be allocated anyway.
const DWORD kLargestReportBytes = 0x7FFFFFFFU;

// The file's size when it is below kLargestReportBytes.
bool GetReportSize(HANDLE file, DWORD* size) {
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    if (high != 0 || low > kLargestReportBytes) return false;
    *size = low;
    return true;
}

// Reads exactly size bytes from the current position. ReadFile may return
// fewer bytes than asked for (pipes, network files); the loop takes them all
// and fails only on an error or an early end of file.
bool ReadExactly(HANDLE file, char* buffer, DWORD size) {
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + done, size - done, &got, NULL) || got == 0) return false;
        done += got;
    }
    return true;
}

// Reads the whole file from its start into a new heap block with a NUL after
// the content.
bool ReadWholeReport(HANDLE file, OwnedHeapBlock* content, DWORD* size) {
    DWORD bytes = 0;
    if (!GetReportSize(file, &bytes)) return false;
    content->Reset(HeapAlloc(GetProcessHeap(), 0, bytes + 1));
    if (!content->Valid()) return false;
    if (SetFilePointer(file, 0, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    char* text = static_cast<char*>(content->Get());
    if (!ReadExactly(file, text, bytes)) return false;
    text[bytes] = '\0';
    *size = bytes;
    return true;
}

// Reads at an offset without moving a shared file position: ReadFile with
// the offset in an OVERLAPPED record reads there synchronously on a handle
// opened without FILE_FLAG_OVERLAPPED (every NT system; the program does
// not run on Windows 9x). Saves a seek per read.
bool ReadArchiveAt(void* context, uint64_t offset, void* buffer, size_t byteCount) {
    HANDLE file = static_cast<HANDLE>(context);
    char* bytes = static_cast<char*>(buffer);
    while (byteCount > 0) {
        OVERLAPPED at;
        ZeroMemory(&at, sizeof at);
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(file, bytes, static_cast<DWORD>(byteCount), &got, &at) || got == 0) return false;
        bytes += got;
        offset += got;
        byteCount -= got;
    }
    return true;
}

bool WriteAll(HANDLE file, const char* bytes, DWORD count) {
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, NULL) && written == count;
}

}  // namespace

bool AppendReportDigest(ReportSink report) {
    OwnedHeapBlock content;
    DWORD size = 0;
    if (!ReadWholeReport(report, &content, &size)) return false;

    char trailer[kDigestTrailerBytes + 1];
    BuildDigestTrailer(content.Get(), size, trailer);

    if (SetFilePointer(report, 0, NULL, FILE_END) == INVALID_SET_FILE_POINTER) return false;
    // Marker and digits as two writes: a report cut between them keeps a
    // marker without digits, which fails every check.
    if (!WriteAll(report, trailer, kDigestMarkerBytes)) return false;
    return WriteAll(report, trailer + kDigestMarkerBytes, 2 * kDigestBytes);
}

bool VerifyReportFile(const char* path) {
    OwnedFile file(CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.Valid()) {
        MessageBoxA(NULL, path, "File not found", MB_OK);
        return false;
    }
    return VerifyOpenReport(file.Get());
}

bool VerifyOpenReport(HANDLE report, std::string* text) {
    OwnedHeapBlock content;
    DWORD size = 0;
    if (!ReadWholeReport(report, &content, &size)) return false;
    const char* bytes = static_cast<const char*>(content.Get());
    if (!DigestTrailerVerifies(bytes, size)) return false;
    if (text != NULL) text->assign(bytes, size);
    return true;
}

bool FileStartsAsArchive(HANDLE file) {
    uint8_t head[4];
    return ReadArchiveAt(file, 0, head, sizeof head) && ZipGet32(head) == kZipLocalHeaderSignature;
}

ZipReadResult CheckReportArchive(HANDLE archive, const char* const* reportNames, size_t nameCount,
                                 ZipMemberInfo* member, bool* matched, std::string* text) {
    *matched = false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(archive, &size)) return ZipReadFailed;
    const ZipSource source = {ReadArchiveAt, archive, static_cast<uint64_t>(size.QuadPart)};
    return CheckArchivedReport(source, reportNames, nameCount, member, matched, text);
}
