// Read throughput over a folder tree of drawings and figures: every file is
// parsed from memory many times (store allocated, read, released), as one
// conversion does; reports MB/s over all files and the slowest file.
//
//   bench_read [CORPUS_DIR] [SECONDS_PER_FILE]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/corpus_files.h"
#include "bench/store_reads.h"
#include "pipeline/detection.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"

int main(int argc, char **argv)
{
    const std::string root = argc > 1 ? argv[1] : "../shared/corpus/raw";
    const double secondsPerFile = argc > 2 ? std::atof(argv[2]) : 0.05;
    std::vector<std::string> paths;
    CollectDrawings(root, &paths);
    using Clock = std::chrono::steady_clock;
    double totalBytes = 0, totalSeconds = 0, worstRate = 1e30;
    std::string worst;
    size_t files = 0;
    for (const std::string &path : paths) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 8 || !DetectFormat(path.c_str(), bytes.data())) continue;
        const bool figure = Request().source.isFigure == 1;
        size_t runs = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        do {
            ReadOnceIntoStore(bytes, figure);
            ++runs;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < secondsPerFile);
        const double rate = bytes.size() * runs / elapsed / 1e6;
        if (rate < worstRate) {
            worstRate = rate;
            worst = path;
        }
        totalBytes += static_cast<double>(bytes.size()) * runs;
        totalSeconds += elapsed;
        ++files;
    }
    if (files == 0) {
        std::fprintf(stderr, "bench_read: no drawings under %s\n", root.c_str());
        return 1;
    }
    std::printf("%zu files, %.1f MB parsed in %.2f s: %.0f MB/s; slowest %.0f MB/s (%s)\n", files, totalBytes / 1e6,
                totalSeconds, totalBytes / 1e6 / totalSeconds, worstRate, worst.c_str());
    return 0;
}
