// Eight threads draw views of the showcase and of every sixth drawing of the
// corpus at once (fitted, zoomed, a region, printer pens), describe them,
// list their texts, write them as DXF with a snap point asked, and write two
// of them as SVG; every answer must equal
// the one-thread answer worked out beforehand. Built with ThreadSanitizer
// too, where it must also run without a report.
//
//   library_threads SHOWCASE.jww SHOWCASE.jws [CORPUS_DIR]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/corpus_files.h"
#include "plotmira.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 24;
constexpr size_t kCorpusStride = 6;
constexpr size_t kVectorDocuments = 2;  // the first two are also written as SVG

// The views every document is drawn in.
struct ViewCase {
    plotmira_placement placement;
    double scale, x, y;
    double region[4];
    plotmira_pens pens;
    uint16_t hideGroups;
};
const ViewCase kViews[] = {
    {PLOTMIRA_PLACE_FIT, 0, 0, 0, {0, 0, 0, 0}, PLOTMIRA_PENS_SCREEN, 0},
    {PLOTMIRA_PLACE_CENTER, 4, 10, -5, {0, 0, 0, 0}, PLOTMIRA_PENS_SCREEN, 0},
    {PLOTMIRA_PLACE_ANCHOR, 2, -100, 80, {0, 0, 0, 0}, PLOTMIRA_PENS_SCREEN, 2},
    {PLOTMIRA_PLACE_REGION, 0, 0, 0, {-60, -40, 60, 40}, PLOTMIRA_PENS_SCREEN, 0},
    {PLOTMIRA_PLACE_FIT, 0, 0, 0, {0, 0, 0, 0}, PLOTMIRA_PENS_PRINT, 0},
};
constexpr int kViewCount = sizeof kViews / sizeof kViews[0];

enum class Task { kRender, kTexts, kDescribe, kDxf, kVector };

std::vector<uint8_t> Draw(plotmira_document *doc, int which)
{
    const ViewCase &c = kViews[which];
    plotmira_view view;
    plotmira_view_init(&view, 320, 226);
    view.placement = c.placement;
    view.scale = c.scale;
    view.x = c.x;
    view.y = c.y;
    std::memcpy(view.region, c.region, sizeof view.region);
    view.pens = c.pens;
    view.hide_groups = c.hideGroups;
    std::vector<uint8_t> pixels(plotmira_row_bytes(PLOTMIRA_PIXELS_RGBA32, view.width) * view.height);
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGBA32, pixels.data(), 0, pixels.size()};
    if (plotmira_render(doc, &view, &image) != PLOTMIRA_OK) pixels.clear();
    return pixels;
}

std::string Texts(plotmira_document *doc)
{
    std::string all;
    plotmira_texts(
        doc,
        [](const plotmira_text *t, void *data) {
            char place[96];
            std::snprintf(place, sizeof place, "@%.3f,%.3f,%.3f;", t->x, t->y, t->height);
            *static_cast<std::string *>(data) += std::string(t->text) + place;
            return 0;
        },
        &all);
    return all;
}

std::string Describe(plotmira_document *doc)
{
    plotmira_info info = {};
    info.struct_size = sizeof info;
    if (plotmira_describe(doc, &info) != PLOTMIRA_OK) return "failed";
    char text[256];
    std::snprintf(text, sizeof text, "%u %u %u %.6f %.6f %.6f %.6f %d", info.version, info.counts.lines,
                  info.counts.texts, info.extent.min_x, info.extent.min_y, info.extent.max_x, info.extent.max_y,
                  info.natural_width);
    return text;
}

// The DXF file, and the snap point nearest the middle of the extent.
std::string DxfAndSnap(plotmira_document *doc)
{
    std::string bytes;
    const plotmira_status status = plotmira_export_dxf(
        doc, nullptr,
        [](void *data, const void *chunk, size_t length) {
            static_cast<std::string *>(data)->append(static_cast<const char *>(chunk), length);
            return 0;
        },
        &bytes);
    plotmira_info info = {};
    info.struct_size = sizeof info;
    plotmira_snap_point point = {};
    point.struct_size = sizeof point;
    if (status != PLOTMIRA_OK || plotmira_describe(doc, &info) != PLOTMIRA_OK ||
        plotmira_snap(doc, nullptr, (info.extent.min_x + info.extent.max_x) / 2,
                      (info.extent.min_y + info.extent.max_y) / 2, 50, &point) != PLOTMIRA_OK) {
        return "failed";
    }
    char snapped[96];
    std::snprintf(snapped, sizeof snapped, "%d %.9f %.9f %d", point.kind, point.x, point.y, point.layer_group);
    return bytes + snapped;
}

std::string Svg(plotmira_document *doc)
{
    std::string bytes;
    const plotmira_status status = plotmira_render_vector(
        doc, PLOTMIRA_VECTOR_SVG, nullptr,
        [](void *data, const void *chunk, size_t length) {
            static_cast<std::string *>(data)->append(static_cast<const char *>(chunk), length);
            return 0;
        },
        &bytes);
    if (status != PLOTMIRA_OK && status != PLOTMIRA_ERR_UNSUPPORTED) return "failed";
    // cairo numbers its surfaces across the process: "surface6" is this
    // picture's "surface1".
    std::string same;
    for (size_t i = 0; i < bytes.size(); ++i) {
        same += bytes[i];
        if (bytes.compare(i, 7, "surface") == 0) {
            same += "urface";
            for (i += 7; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9';) ++i;
            --i;
        }
    }
    return same;
}

struct Document {
    std::string path;
    plotmira_document *doc = nullptr;
    std::vector<uint8_t> pictures[kViewCount];
    std::string texts, description, dxf, svg;
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: library_threads SHOWCASE.jww SHOWCASE.jws [CORPUS_DIR]\n");
        return 2;
    }
    std::vector<std::string> paths = {argv[1], argv[2]};
    if (argc == 4) {
        std::vector<std::string> corpus;
        CollectDrawings(argv[3], &corpus);
        for (size_t i = 0; i < corpus.size(); i += kCorpusStride) paths.push_back(corpus[i]);
    }
    std::vector<Document> docs;
    for (const std::string &path : paths) {
        Document d;
        d.path = path;
        if (plotmira_open_file(path.c_str(), &d.doc) != PLOTMIRA_OK) continue;  // an unread version, say
        docs.push_back(std::move(d));
    }
    if (docs.size() < 2) {
        std::fprintf(stderr, "library_threads: cannot open %s and %s\n", argv[1], argv[2]);
        return 1;
    }
    // The answers of one thread alone.
    for (size_t i = 0; i < docs.size(); ++i) {
        Document &d = docs[i];
        for (int v = 0; v < kViewCount; ++v) d.pictures[v] = Draw(d.doc, v);
        d.texts = Texts(d.doc);
        d.description = Describe(d.doc);
        d.dxf = DxfAndSnap(d.doc);
        if (i < kVectorDocuments) d.svg = Svg(d.doc);
    }
    std::atomic<int> failures{0}, tasks{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const size_t i = static_cast<size_t>(t * 5 + round) % docs.size();
                Document &d = docs[i];
                // Two threads write SVG now and then; all of them draw, list,
                // describe and write DXF.
                const Task task = t < 2 && round % 4 == 3 ? Task::kVector : static_cast<Task>((t + round) % 4);
                bool same = true;
                switch (task) {
                case Task::kRender: {
                    const int v = (t * 7 + round) % kViewCount;
                    same = Draw(d.doc, v) == d.pictures[v];
                    break;
                }
                case Task::kTexts: same = Texts(d.doc) == d.texts; break;
                case Task::kDescribe: same = Describe(d.doc) == d.description; break;
                case Task::kDxf: same = DxfAndSnap(d.doc) == d.dxf; break;
                case Task::kVector: {
                    Document &w = docs[static_cast<size_t>(t) % kVectorDocuments];
                    same = Svg(w.doc) == w.svg;
                    break;
                }
                }
                ++tasks;
                if (!same) {
                    ++failures;
                    std::fprintf(stderr, "thread %d round %d: %s differs\n", t, round,
                                 task == Task::kVector ? docs[static_cast<size_t>(t) % kVectorDocuments].path.c_str()
                                                       : d.path.c_str());
                }
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    for (Document &d : docs) plotmira_close(d.doc);
    std::printf("%d threads, %d tasks over %zu documents: %d answers differed\n", kThreads, tasks.load(), docs.size(),
                failures.load());
    return failures == 0 ? 0 : 1;
}
