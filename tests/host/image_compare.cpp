// image_compare --size A: prints the picture's width x height ("-": standard input).
// image_compare --colors A: prints how many distinct colours the picture has.
// image_compare --ink A B MIN: the ink of two pictures of one size (pixels
// not of the picture's most common colour) within one pixel of the other's
// ink: prints the share of each picture's ink that is, exit 0 when both
// shares are at least MIN.
// image_compare A B [DIFF.png] [--allow FRACTION]: exit 0 when two pictures
// (PNG or BMP) have the same size and at most FRACTION (default 0) of their
// pixels differ; says how many differ and, if asked, writes a difference
// picture (differing pixels red on grey).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>
#include <string>

#include "hosts/cli/image_files.h"

namespace {

// Which pixels are ink: not of the picture's most common colour.
std::vector<bool> Ink(const RgbImage &image)
{
    std::map<uint32_t, size_t> counts;
    std::vector<uint32_t> colors(image.rgb.size() / 3);
    for (size_t i = 0; i < colors.size(); ++i) {
        colors[i] = uint32_t{image.rgb[3 * i]} << 16 | uint32_t{image.rgb[3 * i + 1]} << 8 | image.rgb[3 * i + 2];
        ++counts[colors[i]];
    }
    uint32_t background = 0;
    size_t most = 0;
    for (const auto &c : counts) {
        if (c.second > most) {
            most = c.second;
            background = c.first;
        }
    }
    std::vector<bool> ink(colors.size());
    for (size_t i = 0; i < colors.size(); ++i) ink[i] = colors[i] != background;
    return ink;
}

// The share of a's ink with ink of b at most one pixel away.
double NearShare(const std::vector<bool> &a, const std::vector<bool> &b, int width, int height)
{
    size_t inked = 0, near = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!a[static_cast<size_t>(y) * width + x]) continue;
            ++inked;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    found = nx >= 0 && ny >= 0 && nx < width && ny < height && b[static_cast<size_t>(ny) * width + nx];
                }
            }
            near += found ? 1 : 0;
        }
    }
    return inked == 0 ? 1.0 : static_cast<double>(near) / static_cast<double>(inked);
}

int CompareInk(const char *pathA, const char *pathB, double minimum)
{
    RgbImage a, b;
    std::string error;
    if (!ReadImage(pathA, &a, &error) || !ReadImage(pathB, &b, &error)) {
        std::fprintf(stderr, "image_compare: %s\n", error.c_str());
        return 2;
    }
    if (a.width != b.width || a.height != b.height) {
        std::printf("sizes differ: %dx%d and %dx%d\n", a.width, a.height, b.width, b.height);
        return 1;
    }
    const std::vector<bool> inkA = Ink(a), inkB = Ink(b);
    const double ab = NearShare(inkA, inkB, a.width, a.height), ba = NearShare(inkB, inkA, a.width, a.height);
    std::printf("ink within a pixel: %.4f of the first's, %.4f of the second's\n", ab, ba);
    return std::min(ab, ba) >= minimum ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::string(argv[1]) == "--ink") return CompareInk(argv[2], argv[3], std::atof(argv[4]));
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
