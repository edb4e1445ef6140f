// Test helper around the ZIP writer, run under Wine by the end-to-end checks
// and the benchmark, and a file holder for the unit tests.
//
//   zip_tool make ARCHIVE [options] [SOURCE NAME]...
//       --limits ARCHIVE_BYTES MEMBER_BYTES ENTRIES   lower the format limits
//       --repeat COUNT SOURCE NAME_FORMAT             add SOURCE COUNT times,
//                                                     named by NAME_FORMAT % index
//     prints "add NAME 0xCODE" per add (one summary line for --repeat),
//     "close 0xCODE" and "elapsed_seconds: S" for the writer's own time.
//   zip_tool report ARCHIVE REPORT_NAME REPORT_PATH GAME [LAUNCHER_INSTALL_PATH]
//     builds the test archive as a finished run does, for game index GAME;
//     with LAUNCHER_INSTALL_PATH the launcher's registry value is set first
//     (and the key removed afterwards), without it the key is removed.
//     Prints "built 1" or "built 0".
//   zip_tool deflate FILE...
//     zlib alone on the same bytes, for the benchmark: reads the files into
//     memory, then times raw DEFLATE at level 8 of each; prints
//     "compressed_bytes: N" and "elapsed_seconds: S".
//   zip_tool hold PATH READY_EVENT RELEASE_EVENT
//     opens PATH for writing (sharing reads and writes, as a logging program
//     would), signals READY_EVENT and keeps the file open until RELEASE_EVENT.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "catalog/game_catalog.h"
#include "common/registry_value.h"
#include "report/zip_writer.h"
#include "run/report_archive.h"

namespace {

int Hold(int argc, char** argv) {
    if (argc != 5) return 2;
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
    if (ready == NULL || release == NULL) return 4;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(file);
    return 0;
}

const char kLauncherKey[] = "Software\\Orvane\\Launcher";

// Deletes the launcher key in the view the program reads (RegDeleteKeyA knows
// only the caller's own view; RegDeleteKeyEx is missing on 32-bit XP).
void DeleteLauncherKey() {
    typedef LONG(WINAPI * DeleteKeyExFn)(HKEY, LPCSTR, REGSAM, DWORD);
    DeleteKeyExFn deleteKeyEx = reinterpret_cast<DeleteKeyExFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32"), "RegDeleteKeyExA")));
    if (kProgramRegistryView != 0 && deleteKeyEx != NULL)
        deleteKeyEx(HKEY_LOCAL_MACHINE, kLauncherKey, kProgramRegistryView, 0);
    else
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kLauncherKey);
}

int Report(int argc, char** argv) {
    if (argc != 6 && argc != 7) return 2;
    DeleteLauncherKey();
    if (argc == 7) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLauncherKey, 0, NULL, 0, KEY_SET_VALUE | kProgramRegistryView, NULL,
                            &key, NULL) != ERROR_SUCCESS)
            return 3;
        RegSetValueExA(key, "InstallPath", 0, REG_SZ, (const BYTE*)argv[6], (DWORD)strlen(argv[6]) + 1);
        RegCloseKey(key);
    }
    SetSelectedGame(atoi(argv[5]));
    const bool built = BuildReportArchive(argv[2], argv[3], argv[4]);
    DeleteLauncherKey();
    printf("built %d\n", built ? 1 : 0);
    return 0;
}

int DeflateOnly(int argc, char** argv) {
    std::vector<std::string> inputs;
    for (int i = 2; i < argc; ++i) {
        FILE* file = fopen(argv[i], "rb");
        if (file == NULL) return 3;
        std::string bytes;
        char block[65536];
        size_t got;
        while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
        fclose(file);
        inputs.push_back(bytes);
    }
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    unsigned long long compressed = 0;
    for (const std::string& input : inputs) {
        z_stream z;
        memset(&z, 0, sizeof z);
        if (deflateInit2(&z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 4;
        std::vector<unsigned char> out(deflateBound(&z, (uLong)input.size()));
        z.next_in = (Bytef*)input.data();
        z.avail_in = (uInt)input.size();
        z.next_out = out.data();
        z.avail_out = (uInt)out.size();
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) return 5;
        compressed += z.total_out;
        deflateEnd(&z);
    }
    QueryPerformanceCounter(&stop);
    printf("compressed_bytes: %llu\n", compressed);
    printf("elapsed_seconds: %.4f\n", (double)(stop.QuadPart - start.QuadPart) / (double)frequency.QuadPart);
    return 0;
}

int Make(int argc, char** argv) {
    if (argc < 3) return 2;
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    LONGLONG busy = 0;

    QueryPerformanceCounter(&start);
    ZipHandle archive = ZipCreateFile(argv[2]);
    QueryPerformanceCounter(&stop);
    busy += stop.QuadPart - start.QuadPart;
    if (archive == NULL) {
        printf("create failed\n");
        return 1;
    }
    for (int i = 3; i < argc;) {
        if (strcmp(argv[i], "--limits") == 0 && i + 3 < argc) {
            ZipSetLimitsForTesting(_strtoui64(argv[i + 1], NULL, 0), _strtoui64(argv[i + 2], NULL, 0),
                                   (uint32_t)strtoul(argv[i + 3], NULL, 0));
            i += 4;
        } else if (strcmp(argv[i], "--repeat") == 0 && i + 3 < argc) {
            const unsigned long count = strtoul(argv[i + 1], NULL, 0);
            unsigned long added = 0;
            uint32_t firstFailure = ZipOk;
            unsigned long firstFailureIndex = 0;
            for (unsigned long n = 0; n < count; ++n) {
                char name[512];
                snprintf(name, sizeof name, argv[i + 3], n);
                QueryPerformanceCounter(&start);
                const uint32_t result = ZipAddFile(argv[i + 2], name, archive);
                QueryPerformanceCounter(&stop);
                busy += stop.QuadPart - start.QuadPart;
                if (result == ZipOk) {
                    ++added;
                } else if (firstFailure == ZipOk) {
                    firstFailure = result;
                    firstFailureIndex = n;
                }
            }
            printf("repeat added %lu first_failure %lu 0x%08X\n", added, firstFailureIndex, firstFailure);
            i += 4;
        } else if (i + 1 < argc) {
            QueryPerformanceCounter(&start);
            const uint32_t result = ZipAddFile(argv[i], argv[i + 1], archive);
            QueryPerformanceCounter(&stop);
            busy += stop.QuadPart - start.QuadPart;
            printf("add %s 0x%08X\n", argv[i + 1], result);
            i += 2;
        } else {
            return 2;
        }
    }
    QueryPerformanceCounter(&start);
    const uint32_t result = ZipClose(archive);
    QueryPerformanceCounter(&stop);
    busy += stop.QuadPart - start.QuadPart;
    printf("close 0x%08X\n", result);
    printf("elapsed_seconds: %.4f\n", (double)busy / (double)frequency.QuadPart);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && strcmp(argv[1], "make") == 0) return Make(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "hold") == 0) return Hold(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "deflate") == 0) return DeflateOnly(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "report") == 0) return Report(argc, argv);
    fprintf(stderr, "usage: zip_tool make ARCHIVE [--limits A M E] [--repeat N SRC FMT] [SRC NAME]...\n"
                    "       zip_tool report ARCHIVE REPORT_NAME REPORT_PATH GAME [LAUNCHER_INSTALL_PATH]\n"
                    "       zip_tool deflate FILE...\n"
                    "       zip_tool hold PATH READY_EVENT RELEASE_EVENT\n");
    return 2;
}
