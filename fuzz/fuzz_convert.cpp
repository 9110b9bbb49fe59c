// Fuzz target: arbitrary bytes as a drawing or a figure handed over in
// memory (the first byte chooses which): through the plug-in's exports at a
// small raster, and through the library (open, describe, texts, two views, a
// PDF page).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin/plugin_api.h"
#include "plotmira.h"

namespace {

constexpr size_t kMagicBytes = 8;
constexpr const char *kDesktopWidth = "160";  // small rasters keep every run fast

void Convert(const std::vector<uint8_t> &image, bool preview)
{
    HLOCAL info = nullptr, bits = nullptr;
    const auto *source = reinterpret_cast<LPCSTR>(image.data());
    const LONG_PTR length = static_cast<LONG_PTR>(image.size());
    const int result = preview ? GetPreview(source, length, 1, &info, &bits, nullptr, 0)
                               : GetPicture(source, length, 1, &info, &bits, nullptr, 0);
    if (result == 0 || result == 1) {
        if (info != nullptr) LocalFree(info);
        if (bits != nullptr) LocalFree(bits);
    }
}

int CountText(const plotmira_text *, void *count)
{
    ++*static_cast<int *>(count);
    return 0;
}

int Discard(void *, const void *, size_t) { return 0; }

// The library's way: a description, the texts, the sheet fitted and a view
// zoomed onto the middle of what it draws, cut from a larger canvas.
void Library(const std::vector<uint8_t> &image, bool pdf)
{
    plotmira_document *doc = nullptr;
    if (plotmira_open_memory(image.data(), image.size(), &doc) != PLOTMIRA_OK) return;
    plotmira_info info = {};
    info.struct_size = sizeof info;
    plotmira_describe(doc, &info);
    int texts = 0;
    plotmira_texts(doc, CountText, &texts);
    std::vector<uint8_t> pixels(160 * 113 * 3);
    const plotmira_image picture = {sizeof picture, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
    plotmira_view view;
    plotmira_view_init(&view, 160, 113);
    plotmira_render(doc, &view, &picture);
    view.placement = PLOTMIRA_PLACE_CENTER;
    view.scale = 8 * 160 / (info.sheet.max_x - info.sheet.min_x);
    view.x = (info.extent.min_x + info.extent.max_x) / 2;
    view.y = (info.extent.min_y + info.extent.max_y) / 2;
    view.canvas_width = 640;
    view.canvas_height = 452;
    view.origin_x = 240;
    view.origin_y = 170;
    plotmira_render(doc, &view, &picture);
    // For every other input, a PDF page of it written into nothing; for the
    // rest, its DXF file (R12 and 2018 in turn).
    if (pdf) {
        plotmira_vector_options options;
        plotmira_vector_options_init(&options);
        plotmira_render_vector(doc, PLOTMIRA_VECTOR_PDF, &options, Discard, nullptr);
    } else {
        plotmira_dxf_options options;
        plotmira_dxf_options_init(&options);
        options.version = image.size() % 4 == 1 ? PLOTMIRA_DXF_R12 : PLOTMIRA_DXF_2018;
        plotmira_export_dxf(doc, &options, Discard, nullptr);
    }
    plotmira_close(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    setenv("PLOTMIRA_DESKTOP_WIDTH", kDesktopWidth, 1);
    setenv("PLOTMIRA_REGISTRY", "/nonexistent/registry.reg", 1);
    setenv("WINEPREFIX", "/nonexistent", 1);
    std::vector<uint8_t> image(kMagicBytes);
    std::memcpy(image.data(), (data[0] & 1) ? "JwsData." : "JwwData.", kMagicBytes);
    image.insert(image.end(), data + 1, data + size);
    PictureInfo pictureInfo;
    GetPictureInfo(reinterpret_cast<LPCSTR>(image.data()), static_cast<LONG_PTR>(image.size()), 1, &pictureInfo);
    Convert(image, (data[0] & 2) != 0);
    Library(image, (data[0] & 4) != 0);
    return 0;
}
