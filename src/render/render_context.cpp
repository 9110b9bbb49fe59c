#include "render/render_context.h"

#include "host/detection.h"
#include "reader/document_readers.h"

RenderContext renderContext;

namespace {

constexpr double kPi = 3.1415926535;  // the CAD program's ten-decimal π
constexpr double kFigureAspect = 0.707;
constexpr int kPaperSizeCount = 15;
// Paper widths in millimetres by paper size number: A0..A4, the A4 variants,
// then the long and large formats.
constexpr double kPaperWidthMm[kPaperSizeCount] = {1189, 841,  594,  420,   297,   297,   297,   297,
                                                   1682, 2378, 3364, 4756, 10000, 50000, 100000};

double PaperWidthMm(uint32_t size)
{
    // An unknown paper size number is fitted as A0, the largest ordinary sheet.
    return size < kPaperSizeCount ? kPaperWidthMm[size] : kPaperWidthMm[0];
}

}  // namespace

const double degToRad = kPi / 180.0;

void FitToRaster(uint32_t width, int32_t height)
{
    renderContext.rasterWidth = width;
    renderContext.rasterHeight = height;
    renderContext.pixelsPerMm = width / PaperWidthMm(paperSize);
    if (isFigureFile == 1) {
        const double dx = extentMaxX - extentMinX;
        const double dy = extentMaxY - extentMinY;
        if (dx * kFigureAspect < dy) {
            renderContext.pixelsPerMm = static_cast<uint32_t>(height) / dy;
        } else {
            renderContext.pixelsPerMm = width / dx;
        }
    }
}
