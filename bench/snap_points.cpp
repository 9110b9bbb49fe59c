// The cost of a snap point per corpus file (best of REPEATS, milliseconds):
// nine places spread over the drawn extent, each asked with a radius of 8
// pixels of the sheet fitted at 1920; the slowest place and the median.
//
//   bench_snap [CORPUS_DIR | FILE] [REPEATS]
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/corpus_files.h"
#include "plotmira.h"

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    const int repeats = CorpusBenchArguments(argc, argv, 5, &files);
    std::printf("%8s %8s %8s  %s\n", "max", "median", "objects", "file");
    for (const std::string &path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        plotmira_document *doc = nullptr;
        if (plotmira_open_memory(bytes.data(), bytes.size(), &doc) != PLOTMIRA_OK) continue;
        plotmira_info info = {};
        info.struct_size = sizeof info;
        plotmira_describe(doc, &info);
        if (!info.version_drawn || !info.has_extent) {
            plotmira_close(doc);
            continue;
        }
        const plotmira_rect area = info.extent;
        const double radius = 8 * (info.sheet.max_x - info.sheet.min_x) / 1920;
        std::vector<double> times;
        for (int i = 1; i <= 3; ++i) {
            for (int j = 1; j <= 3; ++j) {
                const double x = area.min_x + (area.max_x - area.min_x) * i / 4;
                const double y = area.min_y + (area.max_y - area.min_y) * j / 4;
                plotmira_snap_point point = {sizeof point, PLOTMIRA_SNAP_NONE, 0, 0, 0, 1};
                times.push_back(BestOf(repeats, [&] { plotmira_snap(doc, nullptr, x, y, radius, &point); }));
            }
        }
        const plotmira_counts &c = info.counts;
        std::printf("%8.3f %8.3f %8u  %s\n", *std::max_element(times.begin(), times.end()), Median(times),
                    c.lines + c.arcs + c.points + c.texts + c.dimensions + c.solids, path.c_str());
        plotmira_close(doc);
    }
    return 0;
}
