// PDF and SVG against the picture, per corpus file (best of REPEATS,
// milliseconds; sizes in bytes): the picture at the document's natural width
// (RGB pixels, no file), its PNG's size is the converter's business; the PDF
// and the SVG written into memory, their sizes, and the PDF's time over the
// picture's. The heaviest file by PDF time comes last again.
//
//   bench_vector [CORPUS_DIR | FILE] [REPEATS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/corpus_files.h"
#include "plotmira.h"

namespace {

int Collect(void *bytes, const void *data, size_t length)
{
    auto *out = static_cast<std::string *>(bytes);
    out->append(static_cast<const char *>(data), length);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    const int repeats = CorpusBenchArguments(argc, argv, 3, &files);
    std::printf("%-40s %9s %9s %7s %10s %10s\n", "file", "raster", "pdf", "ratio", "pdf bytes", "svg bytes");
    double heaviest = -1;
    std::string heaviestLine;
    size_t largest = 0;
    for (const std::string &file : files) {
        plotmira_document *doc = nullptr;
        if (plotmira_open_file(file.c_str(), &doc) != PLOTMIRA_OK) continue;
        plotmira_info info = {};
        info.struct_size = sizeof info;
        plotmira_describe(doc, &info);
        if (!info.version_drawn) {
            plotmira_close(doc);
            continue;
        }
        plotmira_view view;
        plotmira_view_init(&view, info.natural_width, info.natural_height);
        std::vector<unsigned char> pixels(static_cast<size_t>(info.natural_width) * info.natural_height * 3);
        const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
        const double raster = BestOf(repeats, [&] { plotmira_render(doc, &view, &image); });
        plotmira_vector_options options;
        plotmira_vector_options_init(&options);
        std::string pdf, svg;
        const double vector = BestOf(repeats, [&] {
            pdf.clear();
            plotmira_render_vector(doc, PLOTMIRA_VECTOR_PDF, &options, Collect, &pdf);
        });
        plotmira_render_vector(doc, PLOTMIRA_VECTOR_SVG, &options, Collect, &svg);
        plotmira_close(doc);
        std::string name = file.substr(file.find_last_of('/') + 1);
        char line[256];
        std::snprintf(line, sizeof line, "%-40s %9.2f %9.2f %7.2f %10zu %10zu", name.c_str(), raster, vector,
                      vector / raster, pdf.size(), svg.size());
        std::printf("%s\n", line);
        largest = std::max(largest, pdf.size());
        if (vector > heaviest) {
            heaviest = vector;
            heaviestLine = line;
        }
    }
    std::printf("heaviest: %s\nlargest PDF: %zu bytes\n", heaviestLine.c_str(), largest);
    return 0;
}
