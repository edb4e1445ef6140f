// Times the report digest on a file's bytes, in memory, and prints the best
// time of several passes in seconds. Used by bench/digest.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "report/digest.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: digest_bench FILE [PASSES]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int passes = argc > 2 ? std::atoi(argv[2]) : 5;
    double best = 1e9;
    char hex[2 * kDigestBytes + 1] = "";
    for (int i = 0; i < passes; ++i) {
        auto start = std::chrono::steady_clock::now();
        DigestContext context;
        DigestInitWith(&context, kStandardSha1Words);
        DigestUpdate(&context, bytes.data(), bytes.size());
        DigestFinal(&context);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < best) best = seconds;
        DigestToHex(context.digest, hex);
    }
    std::printf("%.9f %s\n", best, hex);
    return 0;
}
