// The raster device: the scene's objects drawn into the render context's
// device context with GDI's pixel rules, through the view transform.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/scene_walk.h"
#include "render/solids.h"
#include "render/text.h"
#include "render/text_macros.h"
#include "reader/drawing_store.h"
#include "settings/setting_tables.h"

namespace {

constexpr COLORREF kReferenceMarkColor = RGB(255, 0, 0);
constexpr int32_t kReferenceMarkHalf = 3;  // a red dot 6 pixels across
constexpr int kVersionLineX = 60;
constexpr int32_t kVersionLineHeight = 16;
const char kVersionLineFace[] = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック

constexpr int64_t kStrokeMargin = kMaxPenPixels + 2;  // no pen reaches further from its path
constexpr int64_t kPointMargin = 4;                   // a point's dot
constexpr uint8_t kFirstArcSolid = 100;
constexpr char kMacroMarks[] = "$&%=";

}  // namespace

// True when a box of pixels, grown by margin, misses the raster: whatever is
// drawn inside it leaves every pixel as it was. Objects wholly outside a
// view (a part of a large drawing zoomed in) cost no more than this test.
bool RasterDevice::OffRaster(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t margin) const
{
    const RenderContext &rc = walk_.renderContext;
    return std::max(x1, x2) < -margin || std::max(y1, y2) < -margin ||
           std::min(x1, x2) > static_cast<int64_t>(rc.rasterWidth) + margin ||
           std::min(y1, y2) > int64_t{rc.rasterHeight} + margin;
}

// The same for a circle about a sheet point; false for values that are not
// finite, which the drawing code itself passes over.
bool RasterDevice::CircleOffRaster(double cx, double cy, double radius, int64_t margin) const
{
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius)) return false;
    const int64_t x = walk_.ToPixelX(cx), y = walk_.ToPixelY(cy),
                  r = int64_t{walk_.ToPixelLength(std::fabs(radius))} + 1;
    return OffRaster(x - r, y - r, x + r, y + r, margin);
}

int64_t RasterDevice::LineMargin(int lineType) const
{
    const int type = UsableLineType(lineType);
    if (type < kFirstRandomLineType || type > kLastRandomLineType) return kStrokeMargin;
    return kStrokeMargin + std::min<int64_t>(walk_.randomWidthTable[type], kMaxRandomAmplitude);
}

void RasterDevice::Line(double x1, double y1, double x2, double y2, uint16_t pen, int lineType)
{
    const int32_t px1 = walk_.ToPixelX(x1), py1 = walk_.ToPixelY(y1), px2 = walk_.ToPixelX(x2),
                  py2 = walk_.ToPixelY(y2);
    if (OffRaster(px1, py1, px2, py2, LineMargin(lineType))) return;
    walk_.BeginLineStyle(0, static_cast<uint16_t>(lineType));
    walk_.DrawStyledLine(px1, py1, px2, py2, pen, lineType);
}

void RasterDevice::Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
                       uint16_t pen, int lineType)
{
    // The arc lies within its larger radius about the centre.
    const double reach = std::fmax(std::fabs(radius), std::fabs(radius * flatness));
    if (CircleOffRaster(cx, cy, reach, LineMargin(lineType))) return;
    walk_.BeginLineStyle(0, static_cast<uint16_t>(lineType));
    walk_.DrawStyledArc(cx, cy, start, sweep, radius, tilt, flatness, pen, lineType);
}

void RasterDevice::Point(double x, double y, uint16_t pen)
{
    const int32_t px = walk_.ToPixelX(x), py = walk_.ToPixelY(y);
    if (OffRaster(px, py, px, py, kPointMargin)) return;
    walk_.DrawPointMark(px, py, pen);
}

void RasterDevice::Solid(const SolidRecord &solid, const double v[8], COLORREF color)
{
    if (solid.header.penStyle < kFirstArcSolid) {
        int64_t x1 = INT64_MAX, y1 = INT64_MAX, x2 = INT64_MIN, y2 = INT64_MIN;
        for (int i = 0; i < 8; i += 2) {
            const int64_t x = walk_.ToPixelX(v[i]), y = walk_.ToPixelY(v[i + 1]);
            x1 = std::min(x1, x);
            x2 = std::max(x2, x);
            y1 = std::min(y1, y);
            y2 = std::max(y2, y);
        }
        if (OffRaster(x1, y1, x2, y2, 1)) return;
    } else if (CircleOffRaster(v[0], v[1], std::fmax(std::fabs(v[2]), std::fabs(v[2] * v[3])), 1)) {
        return;  // discs, sectors and bands lie within the outer radius
    }
    RenderContext &rc = walk_.renderContext;
    rc.currentPen = CreatePen(PS_SOLID, 1, color);
    HBRUSH brush = CreateSolidBrush(color);
    rc.previousPen = SelectObject(rc.targetDc, rc.currentPen);
    HGDIOBJ previousBrush = SelectObject(rc.targetDc, brush);
    walk_.FillSolid(solid.header.penStyle, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    SelectObject(rc.targetDc, previousBrush);
    DeleteObject(brush);
    SelectObject(rc.targetDc, rc.previousPen);
    DeleteObject(rc.currentPen);
    rc.currentPen = nullptr;
}

void RasterDevice::Text(const TextEntity &t)
{
    // A text lies within its baseline's end, the room its bytes can take
    // (a macro's expansion at most a buffer's worth, however squeezed or
    // spread), and a few of its heights and widths about its start.
    if (t.text == nullptr) return;
    const size_t bytes = std::strchr(kMacroMarks, t.text[0]) != nullptr && t.text[0] != '\0'
                             ? static_cast<size_t>(kMacroBufferBytes)
                             : std::strlen(t.text);
    const double reach = std::hypot(t.x2 - t.x1, t.y2 - t.y1) +
                         static_cast<double>(bytes) * (std::fabs(t.halfWidth) + std::fabs(t.halfSpacing)) +
                         4 * (std::fabs(t.height) + std::fabs(t.halfWidth));
    if (CircleOffRaster(t.x1, t.y1, 2 * reach, kStrokeMargin)) return;
    // Texts are drawn without a background; the mode stays for the rest
    // of the scene.
    SetBkMode(walk_.renderContext.targetDc, TRANSPARENT);
    walk_.DrawTextEntity(t.x1, t.y1, t.x2, t.y2, t.fontName, t.halfWidth, t.height, t.halfSpacing, t.text, t.pen,
                         t.flags, t.layerGroup);
}

void RasterDevice::ReferenceMark(double x, double y)
{
    RenderContext &rc = walk_.renderContext;
    rc.currentPen = CreatePen(PS_SOLID, 1, kReferenceMarkColor);
    rc.previousPen = SelectObject(rc.targetDc, rc.currentPen);
    HBRUSH brush = CreateSolidBrush(kReferenceMarkColor);
    HGDIOBJ previousBrush = SelectObject(rc.targetDc, brush);
    const int32_t px = walk_.ToPixelX(x), py = walk_.ToPixelY(y);
    Ellipse(rc.targetDc, px - kReferenceMarkHalf, py - kReferenceMarkHalf, px + kReferenceMarkHalf,
            py + kReferenceMarkHalf);
    SelectObject(rc.targetDc, previousBrush);
    SelectObject(rc.targetDc, rc.previousPen);
    DeleteObject(brush);
    DeleteObject(rc.currentPen);
    rc.currentPen = nullptr;
}

// Drawn in the drawing's usual face rather than in the device context's
// default font, which differs from one system to the next.
void RasterDevice::VersionLine(const char *message)
{
    RenderContext &rc = walk_.renderContext;
    HFONT font = CreateTextFont(kVersionLineFace, 0, kVersionLineHeight, 0);
    HGDIOBJ previous = SelectObject(rc.targetDc, font);
    TextOutA(rc.targetDc, kVersionLineX, rc.rasterHeight / 2, message, static_cast<int>(std::strlen(message)));
    SelectObject(rc.targetDc, previous);
    DeleteObject(font);
}
