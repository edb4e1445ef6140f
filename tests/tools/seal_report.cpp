// seal_report: appends the program's digest trailer to report files in place,
// through the program's own AppendReportDigest, so end-to-end tests can make
// sealed reports without a full test run.
#include <windows.h>

#include <stdio.h>

#include "common/owned_handle.h"
#include "report/report_seal.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: seal_report FILE...\n", stderr);
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        OwnedFile file(CreateFileA(argv[i], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL));
        if (!file.Valid() || !AppendReportDigest(file.Get())) {
            fprintf(stderr, "cannot seal %s\n", argv[i]);
            return 2;
        }
    }
    return 0;
}
