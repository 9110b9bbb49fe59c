// Conversion time per corpus file through GetPicture at 1920 pixels and
// through GetPreview, with the peak memory of each file's conversions
// (every file is converted in a child process of its own).
//
//   bench_render [CORPUS_DIR | FILE] [REPEATS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/corpus_files.h"
#include "plugin/plugin_api.h"

namespace {

// Best of several conversions, in milliseconds.
double TimeConversion(const std::string &path, bool preview, int repeats)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        HLOCAL info = nullptr, bits = nullptr;
        const int result = preview ? GetPreview(path.c_str(), 0, 0, &info, &bits, nullptr, 0)
                                   : GetPicture(path.c_str(), 0, 0, &info, &bits, nullptr, 0);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (result == 0) {
            LocalFree(info);
            LocalFree(bits);
        }
        best = std::min(best, ms);
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    const int repeats = CorpusBenchArguments(argc, argv, 5, &files);
    std::vector<double> full, preview, peaks;
    std::printf("%9s %9s %9s  %s\n", "full ms", "prev ms", "peak MB", "file");
    for (const std::string &path : files) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return 1;
        const pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            double times[3];
            times[0] = TimeConversion(path, false, repeats);
            times[1] = TimeConversion(path, true, repeats);
            struct rusage usage;
            getrusage(RUSAGE_SELF, &usage);
            times[2] = usage.ru_maxrss / 1024.0;
            const ssize_t written = write(pipeEnds[1], times, sizeof times);
            _exit(written == sizeof times ? 0 : 1);
        }
        close(pipeEnds[1]);
        double times[3] = {0, 0, 0};
        const ssize_t got = read(pipeEnds[0], times, sizeof times);
        close(pipeEnds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (got != sizeof times) continue;
        full.push_back(times[0]);
        preview.push_back(times[1]);
        peaks.push_back(times[2]);
        std::printf("%9.2f %9.2f %9.1f  %s\n", times[0], times[1], times[2], path.c_str());
    }
    std::printf(
        "%zu files: median %.2f ms at 1920 px, %.2f ms as preview; slowest %.2f ms and %.2f ms; "
        "largest peak %.1f MB\n",
        full.size(), Median(full), Median(preview), *std::max_element(full.begin(), full.end()),
        *std::max_element(preview.begin(), preview.end()), *std::max_element(peaks.begin(), peaks.end()));
    return 0;
}
