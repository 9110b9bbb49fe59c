// The render context: the target device context, the raster size and the
// transform from drawing millimetres to pixels.
#pragma once

#include <cstdint>

#include "platform/win32.h"

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
};

extern RenderContext renderContext;
extern const double degToRad;  // π/180 with π taken to ten decimals, as the CAD program does

// Stores the raster size and computes the base scale that fits the paper (a
// drawing) or the extent (a figure) into it.
void FitToRaster(uint32_t width, int32_t height);
