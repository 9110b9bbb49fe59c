// The fixed cost of a raster: conversions of a drawing with nothing on its
// sheet, handed over in memory, at the desktop width (1920 unless
// PLOTMIRA_DESKTOP_WIDTH says otherwise), and the showcase drawing for
// comparison. Prints the median and the best of N conversions of each.
//
//   bench_raster_cost [N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plugin/plugin_api.h"
#include "tests/writer/jw_writer.h"

namespace {

struct Timing {
    double median;
    double best;
};

Timing Measure(const std::vector<uint8_t> &drawing, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        HLOCAL info = nullptr, bits = nullptr;
        const auto start = std::chrono::steady_clock::now();
        const int result = GetPicture(reinterpret_cast<LPCSTR>(drawing.data()), static_cast<LONG_PTR>(drawing.size()),
                                      1, &info, &bits, nullptr, 0);
        if (result == 0) {
            LocalFree(info);
            LocalFree(bits);
        }
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (result != 0) std::fprintf(stderr, "conversion failed: %d\n", result);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

}  // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    if (std::getenv("PLOTMIRA_DESKTOP_WIDTH") == nullptr) setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
    DrawingOptions empty;
    const Timing blank = Measure(MakeEmptyDrawing(empty), count);
    const Timing showcase = Measure(MakeShowcaseDrawing(), count);
    std::printf("empty drawing:    median %.2f ms, best %.2f ms (%d conversions)\n", blank.median, blank.best, count);
    std::printf("showcase drawing: median %.2f ms, best %.2f ms\n", showcase.median, showcase.best);
    return 0;
}
