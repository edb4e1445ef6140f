// Runs a fuzz target once on each file named on the command line (or in the
// folders named there), so the seed corpus works as a regression test in the
// ordinary sanitizer build, without libFuzzer.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0, runs = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat info;
        if (stat(argv[i], &info) == 0 && S_ISDIR(info.st_mode)) {
            DIR* dir = opendir(argv[i]);
            while (dirent* entry = dir ? readdir(dir) : NULL) {
                if (entry->d_name[0] == '.') continue;
                failures += RunFile(std::string(argv[i]) + "/" + entry->d_name);
                ++runs;
            }
            if (dir) closedir(dir);
        } else {
            failures += RunFile(argv[i]);
            ++runs;
        }
    }
    printf("%d inputs\n", runs);
    return failures != 0 || runs == 0;
}
