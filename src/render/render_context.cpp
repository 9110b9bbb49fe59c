#include "render/render_context.h"

#include <cmath>
#include <cstring>

#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "render/scene_device.h"
#include "render/scene_walk.h"

namespace {

constexpr double kFigureMargin = 0.9;  // a figure fills 90 % of its bounding dimension
constexpr double kFallbackPixelsPerMm = 1.0;
constexpr uint32_t kCancelInterval = 1024;  // objects walked between two questions
constexpr int kPaperSizeCount = 15;
// The CAD program's paper sizes by number: A0..A4 (5..7 are A4 as well),
// then the long formats 2A..5A and the 10 m, 50 m and 100 m sheets.
const char kPaperNames[kPaperSizeCount][5] = {"A0", "A1", "A2", "A3", "A4",  "A4",  "A4",  "A4",
                                              "2A", "3A", "4A", "5A", "10m", "50m", "100m"};
// Their widths in millimetres, as the view fitting uses them.
constexpr double kPaperWidthMm[kPaperSizeCount] = {1189, 841,  594,  420,  297,   297,   297,   297,
                                                   1682, 2378, 3364, 4756, 10000, 50000, 100000};

// Their heights, landscape: the next A size's width, the long formats'
// A-series ratio.
constexpr double kPaperHeightMm[kPaperSizeCount] = {841,  594,  420,  297,  210,  210,   210,  210,
                                                    1189, 1682, 2378, 3364, 7071, 35355, 70711};
}  // namespace

double PaperWidthMm(uint32_t size)
{
    // An unknown paper size number is fitted as A0, the largest ordinary sheet.
    return size < kPaperSizeCount ? kPaperWidthMm[size] : kPaperWidthMm[0];
}

double PaperHeightMm(uint32_t size) { return size < kPaperSizeCount ? kPaperHeightMm[size] : kPaperHeightMm[0]; }

const char *PaperName(uint32_t size) { return size < kPaperSizeCount ? kPaperNames[size] : ""; }

namespace {

// A scale that is not a positive finite number (a figure of zero extent)
// falls back to one pixel per millimetre.
double UsableScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : kFallbackPixelsPerMm; }

}  // namespace

SceneWalk::SceneWalk(const Drawing &d)
    : drawing(d),
      points(d.store.points),
      lines(d.store.lines),
      arcs(d.store.arcs),
      texts(d.store.texts),
      dimensions(d.store.dimensions),
      solids(d.store.solids),
      blockRefs(d.store.blockRefs),
      pointCount(d.store.pointCount),
      lineCount(d.store.lineCount),
      arcCount(d.store.arcCount),
      textCount(d.store.textCount),
      dimensionCount(d.store.dimensionCount),
      solidCount(d.store.solidCount),
      blockRefCount(d.store.blockRefCount),
      firstBlockPoint(d.store.firstBlockPoint),
      firstBlockLine(d.store.firstBlockLine),
      firstBlockArc(d.store.firstBlockArc),
      firstBlockText(d.store.firstBlockText),
      firstBlockDimension(d.store.firstBlockDimension),
      firstBlockSolid(d.store.firstBlockSolid),
      fileVersion(d.header.fileVersion),
      memoText(d.header.memoText),
      memoSecondLine(d.header.memoSecondLine),
      paperSize(d.header.paperSize),
      layerGroupScale(d.header.layerGroupScale),
      viewZoom(d.header.viewZoom),
      viewOriginX(d.header.viewOriginX),
      viewOriginY(d.header.viewOriginY),
      drawSolidsFirst(d.header.drawSolidsFirst),
      usePrintColors(d.header.usePrintColors),
      figureRefX(d.header.figureRefX),
      figureRefY(d.header.figureRefY),
      extentMinX(d.header.extentMinX),
      extentMinY(d.header.extentMinY),
      extentMaxX(d.header.extentMaxX),
      extentMaxY(d.header.extentMaxY),
      isFigureFile(d.source.isFigure),
      drawingPath(d.source.path),
      pluginSettings(d.references),
      tables(d.tables),
      penColorTable(tables.penColor),
      penWidthTable(tables.penWidth),
      linePatternTable(tables.linePattern),
      linePitchTable(tables.linePitch),
      randomWidthTable(tables.randomWidth)
{
    std::memcpy(layerGroupState, d.header.layerGroupState, sizeof layerGroupState);
    std::memcpy(layerState, d.header.layerState, sizeof layerState);
}

void SceneWalk::FitToRaster(uint32_t width, int32_t height)
{
    RenderContext &rc = renderContext;
    rc.rasterWidth = width;
    rc.rasterHeight = height;
    rc.pixelsPerMm = width / PaperWidthMm(paperSize);
    if (isFigureFile == 1) {
        // An extent given the wrong way round is measured by its size, not mirrored.
        const double dx = std::fabs(extentMaxX - extentMinX);
        const double dy = std::fabs(extentMaxY - extentMinY);
        if (dx * kRasterAspect < dy) {
            rc.pixelsPerMm = UsableScale(static_cast<uint32_t>(height) / dy);
        } else {
            rc.pixelsPerMm = UsableScale(width / dx);
        }
    }
}

void SceneWalk::SetUpDrawingView()
{
    RenderContext &rc = renderContext;
    rc.viewScale = rc.pixelsPerMm * rc.viewFactor;
    rc.viewOffsetX = rc.viewCenterX * rc.pixelsPerMm * rc.viewFactor - (rc.rasterWidth / 2);
    rc.viewOffsetY = rc.viewCenterY * rc.pixelsPerMm * rc.viewFactor + (rc.rasterHeight / 2);
}

void SceneWalk::SetUpFigureView()
{
    RenderContext &rc = renderContext;
    rc.viewScale = rc.pixelsPerMm * kFigureMargin;
    rc.viewOffsetX = (extentMaxX + extentMinX) * rc.viewScale / 2 - (rc.rasterWidth >> 1);
    rc.viewOffsetY = (static_cast<uint32_t>(rc.rasterHeight) >> 1) + (extentMaxY + extentMinY) * rc.viewScale / 2;
}

int32_t SaturatePixel(double v)
{
    if (std::isnan(v)) return kPixelLimit;
    if (v >= kPixelLimit) return kPixelLimit;
    if (v <= -kPixelLimit) return -kPixelLimit;
    return static_cast<int32_t>(v);  // truncation toward zero
}

namespace {

// Truncates toward zero on the canvas, then moves to the raster. With the
// origin at 0 this is SaturatePixel itself.
int32_t CanvasToRaster(double v, int64_t origin)
{
    if (std::isnan(v)) return kPixelLimit;
    if (v >= kCanvasLimit) v = kCanvasLimit;
    if (v <= -kCanvasLimit) v = -kCanvasLimit;
    const int64_t pixel = static_cast<int64_t>(v) - origin;
    if (pixel >= kPixelLimit) return kPixelLimit;
    if (pixel <= -kPixelLimit) return -kPixelLimit;
    return static_cast<int32_t>(pixel);
}

}  // namespace

int32_t SceneWalk::ToPixelLength(double v) const { return SaturatePixel(v * renderContext.viewScale); }
int32_t SceneWalk::ToPixelX(double x) const
{
    return CanvasToRaster(x * renderContext.viewScale - renderContext.viewOffsetX, renderContext.originX);
}
int32_t SceneWalk::ToPixelY(double y) const
{
    return CanvasToRaster(renderContext.viewOffsetY - y * renderContext.viewScale, renderContext.originY);
}

bool SceneWalk::RenderStopped()
{
    RenderContext &rc = renderContext;
    if (rc.cancelled || rc.cancel == nullptr) return rc.cancelled;
    if (++rc.cancelTicks % kCancelInterval == 0 && rc.cancel(rc.cancelData) != 0) rc.cancelled = true;
    return rc.cancelled;
}

SceneDevice &SceneWalk::SceneOutput() { return renderContext.device != nullptr ? *renderContext.device : raster_; }

void RotatePoint(double x, double y, double cx, double cy, double angle, double *ox, double *oy)
{
    const double c = std::cos(angle), s = std::sin(angle);
    *ox = (x - cx) * c - (y - cy) * s + cx;
    *oy = (x - cx) * s + (y - cy) * c + cy;
}

void OffsetPolar(double *x, double *y, double angleDeg, double distance)
{
    const double a = angleDeg * degToRad;
    *x += std::cos(a) * distance;
    *y += std::sin(a) * distance;
}

uint32_t SceneWalk::ReadBlockRef(uint32_t index, double *x, double *y, double *rotation, double *scaleX,
                                 double *scaleY) const
{
    const BlockRefRecord &ref = blockRefs[index];
    *x = ref.x;
    *y = ref.y;
    *rotation = ref.rotation;
    *scaleX = ref.scaleX;
    *scaleY = ref.scaleY;
    return index;
}

void SceneWalk::SetUpView()
{
    if (isFigureFile == 1) {
        SetUpFigureView();
    } else {
        SetUpDrawingView();
    }
}

void SceneWalk::UseRegisteredView(int view)
{
    RenderContext &rc = renderContext;
    rc.viewIndex = view;
    rc.viewCenterX = viewOriginX[view];
    rc.viewCenterY = viewOriginY[view];
    rc.viewFactor = viewZoom[view];
}
