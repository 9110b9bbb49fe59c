// Fuzz target: arbitrary bytes through the exports as a drawing or a figure
// handed over in memory (the first byte chooses which), at a small raster.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/plugin_api.h"

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
    return 0;
}
