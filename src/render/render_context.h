// The render context: the target device context, the raster size, the
// transform from drawing millimetres to pixels, the prepared pens and the
// line-style state that the per-pixel walks share.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr double kCadPi = 3.1415926535;  // the CAD program's ten-decimal π
constexpr double kRasterAspect = 0.707;  // the plug-in's pictures: height / width
constexpr int kPreparedPens = 10;        // pens 0..9
constexpr int kMaxArcPoints = 100;
// Pixel coordinates are kept within this bound (about 2^28) so that
// differences and GDI's own arithmetic never overflow 32 bits.
constexpr int32_t kPixelLimit = 1 << 28;
// Pixel coordinates on the canvas a view cuts its raster from stay within
// this bound (2^52), where doubles still hold every whole number.
constexpr double kCanvasLimit = 4503599627370496.0;

class SceneDevice;

// The state of one render as it goes (a member of its SceneWalk).
struct RenderContext {
    HDC targetDc = nullptr;
    uint32_t rasterWidth = 0;
    int32_t rasterHeight = 0;
    double pixelsPerMm = 0.0;
    double viewScale = 0.0;
    double viewOffsetX = 0.0;
    double viewOffsetY = 0.0;
    double viewCenterX = 0.0;
    double viewCenterY = 0.0;
    double viewFactor = 1.0;
    int32_t viewIndex = 0;
    // The canvas pixel of the raster's top-left corner: a view cut from a
    // larger canvas (a tile, a zoomed part) subtracts it after truncation,
    // so that its pixels are exactly the canvas's pixels. 0 for the plug-in.
    int64_t originX = 0;
    int64_t originY = 0;

    // Where the scene walk hands its objects: the raster device when null.
    SceneDevice *device = nullptr;
    // Asked now and then during a scene; nonzero stops the walk.
    int (*cancel)(void *data) = nullptr;
    void *cancelData = nullptr;
    uint32_t cancelTicks = 0;
    bool cancelled = false;

    // Pens and passes.
    HPEN penTable[kPreparedPens] = {};
    HPEN currentPen = nullptr;
    HGDIOBJ previousPen = nullptr;
    int32_t drawPass = 1;

    // Line-style state, reset per entity and advanced per pixel.
    uint32_t dashPattern = 0;
    uint32_t dashBit = 0;
    uint32_t dashPitch = 0;
    uint32_t dashCount = 0;
    uint32_t randomPitch = 0;
    uint32_t randomAmplitude = 0;
    double randomAngle = 0.0;
    uint32_t randomCount = 0;
    uint32_t randomLastBit = 0;

    // The last flattened arc.
    POINT arcPoints[kMaxArcPoints + 1] = {};
    int32_t arcPointCount = 0;

    // The off-screen surface the raster device draws on (pipeline/surface.h).
    HBITMAP surfaceBitmap = nullptr;
    void *surfacePixels = nullptr;  // the DIB section's rows: 32 bits a pixel, the bottom row first
    uint32_t surfaceError = 0;      // 0, or the last failed step: 2 memory DC, 3 DIB section
    HWND surfaceWindow = nullptr;   // the hidden window of the render
    bool readBackDone = false;
};

constexpr double degToRad = kCadPi / 180.0;  // π/180 with π taken to ten decimals, as the CAD program does

// The paper of a paper size number, landscape, in millimetres (an unknown
// number is A0).
double PaperWidthMm(uint32_t size);
double PaperHeightMm(uint32_t size);
// Its name ("A3", "2A", "10m", ...); "" for a number the CAD program has none for.
const char *PaperName(uint32_t size);

// A pixel value truncated toward zero, held within ±kPixelLimit (a value
// that is not a number counts as far outside).
int32_t SaturatePixel(double v);

void RotatePoint(double x, double y, double cx, double cy, double angle, double *ox, double *oy);
void OffsetPolar(double *x, double *y, double angleDeg, double distance);
