// The library's costs per corpus file (best of REPEATS, milliseconds):
//   read    the reader alone, as one plug-in request reads (store, read, free)
//   open    plotmira_open_memory and plotmira_close of the same bytes
//   sheet   the whole sheet fitted at 1920 pixels (the plug-in's picture)
//   zoom8   1920 x 1080 views at 8x the fit scale, centred on nine points of
//           the drawn extent: the slowest of them, and their median
//   again   one more render of a view from a document open for 100 of them
//   memory  bytes the open document holds, over the file's size
//
//   bench_library [CORPUS_DIR | FILE] [REPEATS]
#include <algorithm>
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
#include "library/documents.h"
#include "plotmira.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"

namespace {

constexpr int32_t kSheetWidth = 1920;
constexpr int32_t kViewWidth = 1920;
constexpr int32_t kViewHeight = 1080;
constexpr double kZoom = 8;
constexpr int kRendersOfOneDocument = 100;

// The scale of the sheet fitted across the width, as the plug-in fits it.
double FitScale(const plotmira_info &info, int32_t width)
{
    const double dx = info.sheet.max_x - info.sheet.min_x, dy = info.sheet.max_y - info.sheet.min_y;
    const int32_t height = static_cast<int32_t>(width * 0.707);
    if (info.format == PLOTMIRA_FORMAT_JWW) return width / dx;
    return (dx * 0.707 < dy ? height / dy : width / dx) * 0.9;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    const int repeats = CorpusBenchArguments(argc, argv, 5, &files);
    std::vector<uint8_t> pixels(static_cast<size_t>(kSheetWidth) * kSheetWidth * 3);
    std::printf("%8s %8s %8s %8s %8s %8s %8s  %s\n", "read", "open", "sheet", "zoom8max", "zoom8med", "again",
                "mem/file", "file");
    std::vector<double> ratios, readRatios;
    std::vector<std::pair<double, std::string>> heaviest;  // sheet time, and the line about it
    for (const std::string &path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 8 || !DetectFormat(path.c_str(), bytes.data())) continue;
        const bool figure = Request().source.isFigure == 1;
        const double read = BestOf(repeats * 4, [&] { ReadOnceIntoStore(bytes, figure); });
        const double open = BestOf(repeats * 4, [&] {
            plotmira_document *doc = nullptr;
            plotmira_open_memory(bytes.data(), bytes.size(), &doc);
            plotmira_close(doc);
        });
        plotmira_document *doc = nullptr;
        if (plotmira_open_memory(bytes.data(), bytes.size(), &doc) != PLOTMIRA_OK) continue;
        plotmira_info info = {};
        info.struct_size = sizeof info;
        plotmira_describe(doc, &info);
        if (!info.version_drawn) {
            plotmira_close(doc);
            continue;
        }
        const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_BGR24_DIB, pixels.data(), 0, pixels.size()};
        plotmira_view view;
        plotmira_view_init(&view, kSheetWidth, static_cast<int32_t>(kSheetWidth * 0.707));
        const double sheet = BestOf(repeats, [&] { plotmira_render(doc, &view, &image); });

        plotmira_view_init(&view, kViewWidth, kViewHeight);
        view.placement = PLOTMIRA_PLACE_CENTER;
        view.scale = FitScale(info, kSheetWidth) * kZoom;
        const plotmira_rect area = info.has_extent ? info.extent : info.sheet;
        std::vector<double> zooms;
        for (int i = 1; i <= 3; ++i) {
            for (int j = 1; j <= 3; ++j) {
                view.x = area.min_x + (area.max_x - area.min_x) * i / 4;
                view.y = area.min_y + (area.max_y - area.min_y) * j / 4;
                zooms.push_back(BestOf(repeats, [&] { plotmira_render(doc, &view, &image); }));
            }
        }
        const double zoomMax = *std::max_element(zooms.begin(), zooms.end());
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kRendersOfOneDocument; ++i) plotmira_render(doc, &view, &image);
        const double again =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
            kRendersOfOneDocument;
        const double memory = static_cast<double>(StoreTableBytes(doc->drawing.store) + sizeof *doc) / bytes.size();
        plotmira_close(doc);
        ratios.push_back(zoomMax / sheet);
        readRatios.push_back(open / read);
        char line[512];
        std::snprintf(line, sizeof line, "sheet %.2f ms, 8x views at most %.2f ms (%.2f of it): %s", sheet, zoomMax,
                      zoomMax / sheet, path.c_str());
        heaviest.emplace_back(sheet, line);
        std::printf("%8.3f %8.3f %8.2f %8.2f %8.2f %8.2f %8.2f  %s\n", read, open, sheet, zoomMax, Median(zooms), again,
                    memory, path.c_str());
    }
    std::printf("%zu files: open / read median %.2f; slowest 8x view / sheet median %.2f, worst %.2f\n", ratios.size(),
                Median(readRatios), Median(ratios), *std::max_element(ratios.begin(), ratios.end()));
    std::sort(heaviest.rbegin(), heaviest.rend());
    std::printf("the heaviest:\n");
    for (size_t i = 0; i < heaviest.size() && i < 5; ++i) std::printf("  %s\n", heaviest[i].second.c_str());
    return 0;
}
