// Times the check of a report inside its archive against the work it cannot
// avoid, in the same 32-bit build under the same Wine (bench/verify runs it):
//
//   verify_bench ARCHIVE PASSES
//
// Each pass opens the archive and runs the check the verification mode runs
// (CheckReportArchive: read, inflate in chunks, CRC-32, digest, trailer); the
// reference is zlib inflating the whole member from memory into memory in one
// call plus our digest of the inflated bytes in one call, measured right
// after it in the same pass. Prints the best time of each, and as the ratio
// the median over the passes of each pass's check time over its reference
// time: on a machine shared with other work, a pass's three times see much
// the same load, while the best times of different passes may not.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "report/digest.h"
#include "report/report_seal.h"

namespace {

const char* const kNames[] = {"Runeveil Test.txt", "Runeveil 2 Test.txt", "Kharros II Test.txt",
                              "Solmere Test.txt"};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

HANDLE OpenArchive(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || atoi(argv[2]) < 1) {
        fprintf(stderr, "usage: verify_bench ARCHIVE PASSES\n");
        return 2;
    }
    const int passes = atoi(argv[2]);
    HANDLE file = OpenArchive(argv[1]);
    if (file == INVALID_HANDLE_VALUE) return 3;
    ZipMemberInfo member;
    bool matched = false;
    if (CheckReportArchive(file, kNames, 4, &member, &matched) != ZipReadOk || !matched ||
        member.method != kZipMethodDeflated) {
        fprintf(stderr, "the archive's report does not check out\n");
        return 4;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    std::vector<unsigned char> archive((size_t)size.QuadPart);
    DWORD got = 0;
    SetFilePointer(file, 0, NULL, FILE_BEGIN);
    if (!ReadFile(file, archive.data(), (DWORD)archive.size(), &got, NULL) || got != archive.size()) return 5;
    CloseHandle(file);
    std::vector<unsigned char> inflated(member.size);

    double bestCheck = 1e9, bestInflate = 1e9, bestDigest = 1e9;
    std::vector<double> ratios;
    for (int pass = 0; pass < passes; ++pass) {
        LARGE_INTEGER t0, t1, t2, t3;
        QueryPerformanceCounter(&t0);
        file = OpenArchive(argv[1]);
        const ZipReadResult result = CheckReportArchive(file, kNames, 4, &member, &matched);
        CloseHandle(file);
        QueryPerformanceCounter(&t1);
        if (result != ZipReadOk || !matched) return 6;

        z_stream z;
        memset(&z, 0, sizeof z);
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = archive.data() + member.dataOffset;
        z.avail_in = member.compressedSize;
        z.next_out = inflated.data();
        z.avail_out = (uInt)inflated.size();
        const int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        QueryPerformanceCounter(&t2);
        if (rc != Z_STREAM_END || z.total_out != member.size) return 7;

        DigestContext context;
        DigestInit(&context);
        DigestUpdate(&context, inflated.data(), inflated.size());
        DigestFinal(&context);
        QueryPerformanceCounter(&t3);

        if (Seconds(t0, t1) < bestCheck) bestCheck = Seconds(t0, t1);
        if (Seconds(t1, t2) < bestInflate) bestInflate = Seconds(t1, t2);
        if (Seconds(t2, t3) < bestDigest) bestDigest = Seconds(t2, t3);
        ratios.push_back(Seconds(t0, t1) / Seconds(t1, t3));
    }
    std::sort(ratios.begin(), ratios.end());
    printf("report_bytes: %lu\n", (unsigned long)member.size);
    printf("member_compressed_bytes: %lu\n", (unsigned long)member.compressedSize);
    printf("verify_archive_seconds: %.4f\n", bestCheck);
    printf("zlib_inflate_seconds: %.4f\n", bestInflate);
    printf("digest_seconds: %.4f\n", bestDigest);
    printf("verify_archive_overhead_ratio_of_best_times: %.3f\n", bestCheck / (bestInflate + bestDigest));
    printf("verify_archive_overhead_ratio: %.3f\n", ratios[ratios.size() / 2]);
    return 0;
}
