// The conversion pipeline: raster size, the two host blocks, reading,
// surface, scene and pixel read-back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/plugin_api.h"

constexpr int kModeNormal = 0;  // screen pens, the whole paper
constexpr int kModePrint = 2;   // printer pens and the selected registered view

constexpr int kPreviewWidth = 320;
constexpr uint32_t kBitCount = 24;
constexpr size_t kInfoHeaderBytes = 40;
constexpr LONG kPixelsPerMetre = 5000;
// Largest raster handed out: wider ones, or more than 2 GiB of rows, are
// refused as out of memory before anything is allocated.
constexpr int32_t kMaxRasterWidth = 32768;
constexpr uint64_t kMaxImageBytes = uint64_t{1} << 31;

// Driver result codes (inside the module only).
constexpr int kDriverOk = 0;
constexpr int kDriverReadFailed = 6;
constexpr int kDriverStoreFailed = 51;
constexpr int kDriverWindowFailed = 52;
constexpr int kDriverSurfaceFailed = 60;   // + surfaceError
constexpr int kDriverReadBackFailed = 70;  // + ReadBackPixels result

struct RasterSize {
    int32_t width;
    int32_t height;
    uint32_t bitCount;
};

struct RasterGeometry {
    uint64_t rowStride;
    uint64_t imageSize;
};

// Widths a caller may ask for with SetRasterWidth.
constexpr int32_t kMinRequestedWidth = 16;
constexpr int32_t kMaxRequestedWidth = 5000;

// Full-size pictures of both kinds are WIDTH pixels wide (height 0.707 x
// WIDTH) until called again; 0 goes back to the settings and the desktop.
// Previews keep their width. Answers 0, or -1 for a width outside
// kMinRequestedWidth..kMaxRequestedWidth (nothing changes then).
int SetRasterWidth(int32_t width);
// The width SetRasterWidth asked for; 0 when none.
int32_t RequestedRasterWidth();

int32_t DesktopWidth();
struct PluginSettingsState;  // settings/plugin_settings.h
// The desktop width a picture follows where the machine's is not asked.
constexpr int32_t kDefaultDesktopWidth = 1920;
// The picture's size for a figure (1) or a drawing: the desktop (the
// machine's when 0), the settings (refreshed from the registry into
// `settings`), or the preview's.
RasterSize ComputeRasterSize(int preview, uint32_t figure, PluginSettingsState &settings, int32_t desktopWidth = 0);
// The plug-in's: as ComputeRasterSize with the plug-in's settings and the
// machine's desktop, or the width SetRasterWidth asked for. Under the module lock.
RasterSize PluginRasterSize(int preview, uint32_t figure);
// The same from a desktop width and the settings' widths (0: none), asking
// nothing else.
RasterSize PictureSize(int preview, uint32_t figure, int32_t desktopWidth, uint32_t widthJws, uint32_t widthJww);
// Row stride (24-bit rows padded to 4 bytes) and image size, in 64 bits.
RasterGeometry ComputeRasterGeometry(int32_t width, int32_t height);
// True when the module can hand out a raster of this size.
bool RasterSizeAcceptable(int32_t width, int32_t height);

int BuildRaster(const char *source, const unsigned char *image, uint32_t dataLength, HLOCAL *infoOut, HLOCAL *bitsOut,
                ProgressCallback progress, LONG_PTR userData, int preview);
int RenderDrawing(const char *source, const unsigned char *image, uint32_t dataLength, unsigned char *bits,
                  int32_t *width, int32_t *height, int mode);
class SceneWalk;  // render/scene_walk.h
// Creates the surface of the walk's raster size, draws the walk's scene
// through the view already set up, hands the surface to `take` (its result
// is the answer), and frees the surface. Driver result codes.
int DrawOnSurface(SceneWalk &walk, int (*take)(SceneWalk &walk, void *context), void *context);
// Reads the surface back into the host's bits block; 0 when done.
int ReadBackPixels(SceneWalk &walk, unsigned char *bits);
