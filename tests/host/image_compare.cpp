// image_compare --size A: prints the picture's width x height ("-": standard input).
// image_compare --colors A: prints how many distinct colours the picture has.
// image_compare A B [DIFF.png] [--allow FRACTION]: exit 0 when two pictures
// (PNG or BMP) have the same size and at most FRACTION (default 0) of their
// pixels differ; says how many differ and, if asked, writes a difference
// picture (differing pixels red on grey).
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "hosts/cli/image_files.h"

int main(int argc, char **argv)
{
    if (argc == 3 && (std::string(argv[1]) == "--size" || std::string(argv[1]) == "--colors")) {
        RgbImage image;
        std::string error;
        if (!ReadImage(argv[2], &image, &error)) {
            std::fprintf(stderr, "image_compare: %s\n", error.c_str());
            return 2;
        }
        if (std::string(argv[1]) == "--size") {
            std::printf("%dx%d\n", image.width, image.height);
            return 0;
        }
        std::set<uint32_t> colors;
        for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
            colors.insert(uint32_t{image.rgb[i]} << 16 | uint32_t{image.rgb[i + 1]} << 8 | image.rgb[i + 2]);
        }
        std::printf("%zu\n", colors.size());
        return 0;
    }
    double allowed = 0.0;
    if (argc >= 5 && std::string(argv[argc - 2]) == "--allow") {
        allowed = std::atof(argv[argc - 1]);
        argc -= 2;
    }
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: image_compare A B [DIFF.png] [--allow FRACTION]\n");
        return 2;
    }
    RgbImage a, b;
    std::string error;
    if (!ReadImage(argv[1], &a, &error) || !ReadImage(argv[2], &b, &error)) {
        std::fprintf(stderr, "image_compare: %s\n", error.c_str());
        return 2;
    }
    if (a.width != b.width || a.height != b.height) {
        std::printf("sizes differ: %dx%d and %dx%d\n", a.width, a.height, b.width, b.height);
        return 1;
    }
    size_t differing = 0;
    RgbImage diff = a;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        const bool same = a.rgb[i] == b.rgb[i] && a.rgb[i + 1] == b.rgb[i + 1] && a.rgb[i + 2] == b.rgb[i + 2];
        if (!same && differing++ == 0) {
            const size_t pixel = i / 3;
            std::printf("first difference at (%zu, %zu)\n", pixel % a.width, pixel / a.width);
        }
        const uint8_t grey = static_cast<uint8_t>((a.rgb[i] + a.rgb[i + 1] + a.rgb[i + 2]) / 6 + 128);
        diff.rgb[i] = same ? grey : 255;
        diff.rgb[i + 1] = same ? grey : 0;
        diff.rgb[i + 2] = same ? grey : 0;
    }
    std::printf("%dx%d, %zu pixels differ\n", a.width, a.height, differing);
    if (differing != 0 && argc == 4) WritePng(argv[3], diff, &error);
    const double fraction = static_cast<double>(differing) / (static_cast<double>(a.width) * a.height);
    return fraction <= allowed ? 0 : 1;
}
