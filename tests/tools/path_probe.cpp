// Prints the program folder and the four archive paths as the running copy of
// this program sees them, for the tests that start it from deep folders.
//
// usage: path_probe OUTPUT_FILE
// The result goes to a file, not to standard output: Wine's helper processes
// would inherit a pipe and keep it open.
#include <cstdio>

#include "catalog/game_catalog.h"
#include "collect/system/game_folders.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    FILE* out = fopen(argv[1], "wb");
    if (!out) return 1;
    fprintf(out, "folder=%s\n", GetProgramFolder());
    for (int game = 0; game < kGameCount; ++game) {
        const char* archive = GetArchivePath(game);
        fprintf(out, "archive%d=%s\n", game, archive ? archive : "(none)");
    }
    fclose(out);
    return 0;
}
