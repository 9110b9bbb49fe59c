#include "render/solids.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/scene_walk.h"
#include "settings/setting_tables.h"

namespace {

constexpr uint8_t kFirstArcKind = 100;  // kinds below are quadrilaterals
constexpr uint8_t kArcSolid = 101;      // segment, disc or sector
constexpr uint8_t kScaledBand = 105;    // band to a proportionally shrunk arc
constexpr uint8_t kWidthBand = 106;     // band of constant width
constexpr double kClosedArcMarker = 5.0;
constexpr uint16_t kSolidOwnColour = 10;

}  // namespace

POINT SceneWalk::Pixel(double x, double y) const { return {ToPixelX(x), ToPixelY(y)}; }

// Fills a polygon when the budget still covers its bounding box on the raster.
void SceneWalk::FillPolygon(const POINT *points, int count)
{
    const RenderContext &rc = renderContext;
    int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (int i = 0; i < count; ++i) {
        left = std::min<int64_t>(left, points[i].x);
        right = std::max<int64_t>(right, points[i].x);
        top = std::min<int64_t>(top, points[i].y);
        bottom = std::max<int64_t>(bottom, points[i].y);
    }
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right + 1, rc.rasterWidth);
    bottom = std::min<int64_t>(bottom + 1, rc.rasterHeight);
    const uint64_t area = right > left && bottom > top ? static_cast<uint64_t>((right - left) * (bottom - top)) : 0;
    if (area > solidPixelsLeft) return;
    solidPixelsLeft -= area;
    Polygon(rc.targetDc, points, count);
}

// A band: quads between consecutive arc points and their images moved
// toward the centre.
template <typename Inner>
void SceneWalk::FillBand(POINT centre, Inner inner)
{
    const RenderContext &rc = renderContext;
    for (int32_t i = 1; i < rc.arcPointCount; ++i) {
        const POINT p = rc.arcPoints[i - 1], q = rc.arcPoints[i];
        const POINT quad[4] = {p, q, inner(q, centre), inner(p, centre)};
        FillPolygon(quad, 4);
    }
}

void SceneWalk::ResetSolidBudget() { solidPixelsLeft = kMaxSolidPixelsPerConversion; }

bool SceneWalk::SolidColor(const SolidRecord &solid, uint16_t pen, COLORREF *color) const
{
    if (pen == kSolidOwnColour) {
        *color = solid.fillColor;
        return true;
    }
    if (pen >= kPenCount) return false;
    *color = penColorTable[pen];
    return true;
}

void SceneWalk::FillSolid(uint8_t kind, double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                          double y4)
{
    RenderContext &rc = renderContext;
    if (kind < kFirstArcKind) {
        const POINT quad[4] = {Pixel(x1, y1), Pixel(x2, y2), Pixel(x3, y3), Pixel(x4, y4)};
        FillPolygon(quad, 4);
        return;
    }
    if (kind != kArcSolid && kind != kScaledBand && kind != kWidthBand) return;
    FlattenArc(x1, y1, y3, x4, x2, x3, y2);
    if (rc.arcPointCount == 0) return;
    const POINT centre = Pixel(x1, y1);
    if (kind == kArcSolid) {
        if (y4 != kClosedArcMarker) rc.arcPoints[rc.arcPointCount++] = centre;  // a sector
        FillPolygon(rc.arcPoints, rc.arcPointCount);
        return;
    }
    if (kind == kScaledBand) {
        // A zero outer radius has no band to shrink from.
        const double ratio = y4 / x2;
        if (x2 == 0 || !std::isfinite(ratio)) return;
        FillBand(centre, [ratio](POINT p, POINT m) {
            return POINT{SaturatePixel(m.x + (p.x - static_cast<double>(m.x)) * ratio),
                         SaturatePixel(m.y + (p.y - static_cast<double>(m.y)) * ratio)};
        });
        return;
    }
    // The band width is a drawing length, scaled to pixels like every other.
    const double width = (x2 - y4) * rc.viewScale;
    if (!std::isfinite(width)) return;
    FillBand(centre, [width](POINT p, POINT m) {
        const int64_t dx = int64_t{p.x} - m.x, dy = int64_t{p.y} - m.y;
        double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
        if (d == 0) d = 1;
        const double ratio = (d - width) / d;
        return POINT{SaturatePixel(m.x + dx * ratio), SaturatePixel(m.y + dy * ratio)};
    });
}

bool SceneWalk::SolidFillColor(const SolidRecord &solid, COLORREF *color) const
{
    uint16_t pen = EffectivePen(solid.header.layerGroup, solid.header.layer, solid.header.penColor);
    if (pen == 0) return false;
    if (renderContext.viewIndex != 0 && usePrintColors == 0) pen = 1;
    return SolidColor(solid, pen, color);
}

void SceneWalk::DrawSolids()
{
    SceneDevice &device = SceneOutput();
    for (uint32_t i = 1; i < firstBlockSolid && i <= solidCount && !RenderStopped(); ++i) {
        const SolidRecord &s = solids[i];
        COLORREF color;
        if (!SolidFillColor(s, &color)) continue;
        const double values[8] = {s.x1, s.y1, s.x2, s.y2, s.x3, s.y3, s.x4, s.y4};
        objectGroup = s.header.layerGroup;
        device.Solid(s, values, color);
    }
}
