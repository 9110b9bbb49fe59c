#include "render/primitives.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/win32.h"
#include "render/line_styles.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "settings/setting_tables.h"

namespace {

constexpr double kTwoPi = 2 * kCadPi;
constexpr double kFineStep = 0.1;    // radians per arc step from 100 pixels of radius
constexpr double kMediumStep = 0.2;  // from 50 pixels
constexpr double kCoarseStep = 0.3;  // below 50 pixels
constexpr int32_t kFineRadius = 100;
constexpr int32_t kMediumRadius = 50;
constexpr int32_t kPointHalf = 2;  // a point is a dot 4 pixels across
// Pixels beyond the raster whose steps still matter to a walk: pen and
// random offsets reach this far at most.
constexpr int64_t kWalkMarginBase = 8;

// Pixel coordinates stay within ±kPixelLimit (2^28), so the products of
// the DDA below stay far inside 64 bits.
int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

// Selects the pen of a pen number; answers false for numbers that have none.
bool SceneWalk::SelectPen(uint16_t pen, bool *created)
{
    RenderContext &rc = renderContext;
    *created = false;
    if (pen < kPreparedPens) {
        rc.currentPen = rc.penTable[pen];
    } else if (pen >= kFirstExtendedPenNumber && pen <= kLastExtendedPenNumber) {
        rc.currentPen = CreatePen(PS_SOLID, 1, penColorTable[pen]);
        *created = true;
    } else {
        return false;  // 10..99 and beyond 356 have no pen
    }
    rc.previousPen = SelectObject(rc.targetDc, rc.currentPen);
    return true;
}

void SceneWalk::ReleasePen(bool created)
{
    RenderContext &rc = renderContext;
    SelectObject(rc.targetDc, rc.previousPen);
    if (created) DeleteObject(rc.currentPen);
    rc.currentPen = nullptr;
}

struct SceneWalk::Walk {
    int64_t x1, y1, x2, y2;
    int64_t steps;  // LineDDA's pixel count: the major axis length
};

// The steps [first, last) of a walk whose pixels lie within margin of the
// raster along the major axis; the others cannot paint it.
void SceneWalk::VisibleSteps(const Walk &w, int64_t margin, int64_t *first, int64_t *last) const
{
    const RenderContext &rc = renderContext;
    const int64_t dx = std::llabs(w.x2 - w.x1), dy = std::llabs(w.y2 - w.y1);
    const bool xMajor = dx > dy;
    const int64_t start = xMajor ? w.x1 : w.y1;
    const int step = (xMajor ? w.x2 >= w.x1 : w.y2 >= w.y1) ? 1 : -1;
    const int64_t low = -margin;
    const int64_t high = (xMajor ? static_cast<int64_t>(rc.rasterWidth) : rc.rasterHeight) + margin;
    *first = 0;
    *last = w.steps;
    if (step > 0) {
        *first = std::max(*first, low - start);
        *last = std::min(*last, high - start);
    } else {
        *first = std::max(*first, start - (high - 1));
        *last = std::min(*last, start - low + 1);
    }
    if (*first > *last) *first = *last = std::min(std::max<int64_t>(*first, 0), w.steps);
}

void SceneWalk::MoveToStep(const Walk &w, int64_t step)
{
    int64_t x, y;
    DdaPixel(w.x1, w.y1, w.x2, w.y2, step, &x, &y);
    MoveToEx(renderContext.targetDc, static_cast<int>(x), static_cast<int>(y), nullptr);
}

// Walks LineDDA's pixels of a segment through `step`, but only those within
// margin of the raster: the others are skipped with `skip`, which keeps the
// walk's state as if they had been stepped.
template <typename Skip, typename Step>
void SceneWalk::ClippedWalk(const Walk &w, int64_t margin, Skip skip, Step step)
{
    int64_t first, last;
    VisibleSteps(w, margin, &first, &last);
    if (static_cast<uint64_t>(last - first) > walkStepsLeft) last = first;  // the budget is spent
    walkStepsLeft -= static_cast<uint64_t>(last - first);
    skip(static_cast<uint64_t>(first));
    if (first > 0) MoveToStep(w, first - 1);
    for (int64_t i = first; i < last; ++i) {
        int64_t x, y;
        DdaPixel(w.x1, w.y1, w.x2, w.y2, i, &x, &y);
        step(x, y);
    }
    if (last < w.steps) {
        skip(static_cast<uint64_t>(w.steps - last));
        MoveToStep(w, w.steps - 1);
    }
}

void SceneWalk::DashedSegment(const Walk &w)
{
    ClippedWalk(
        w, kWalkMarginBase + kMaxPenPixels, [this](uint64_t n) { SkipDashSteps(n); },
        [this](int64_t x, int64_t y) { DashStep(static_cast<int32_t>(x), static_cast<int32_t>(y)); });
    // LineDDA leaves out the end point; the walk takes it as one more step.
    DashStep(static_cast<int32_t>(w.x2), static_cast<int32_t>(w.y2));
}

void SceneWalk::RandomSegment(const Walk &w, int lineType)
{
    RenderContext &rc = renderContext;
    SetUpRandomSegment(static_cast<int32_t>(w.x1), static_cast<int32_t>(w.y1), static_cast<int32_t>(w.x2),
                       static_cast<int32_t>(w.y2), lineType);
    const int64_t pitchReach = std::min<int64_t>(rc.randomPitch, 8192);
    const int64_t margin = kWalkMarginBase + kMaxPenPixels + rc.randomAmplitude + pitchReach;
    ClippedWalk(
        w, margin, [this](uint64_t n) { SkipRandomSteps(n); },
        [this](int64_t x, int64_t y) { RandomStep(static_cast<double>(x), static_cast<double>(y)); });
    LineTo(rc.targetDc, static_cast<int>(w.x2), static_cast<int>(w.y2));
}

void SceneWalk::EmitArcPoint(double cx, double cy, double radius, double flatness, double tilt, double a)
{
    RenderContext &rc = renderContext;
    if (rc.arcPointCount >= kMaxArcPoints) return;
    const double ex = cx + radius * std::cos(a);
    const double ey = cy + radius * flatness * std::sin(a);
    double x, y;
    RotatePoint(ex, ey, cx, cy, tilt, &x, &y);
    rc.arcPoints[rc.arcPointCount].x = ToPixelX(x);
    rc.arcPoints[rc.arcPointCount].y = ToPixelY(y);
    ++rc.arcPointCount;
}

void SceneWalk::ResetWalkBudget() { walkStepsLeft = kMaxWalkStepsPerConversion; }

void DdaPixel(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t i, int64_t *x, int64_t *y)
{
    const int64_t dx = std::llabs(x2 - x1), dy = std::llabs(y2 - y1);
    const bool xMajor = dx > dy;
    const int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    const int64_t minorSteps = major == 0 ? 0 : FloorDiv(2 * minor * i + major - 1, 2 * major);
    const int64_t xStep = x2 >= x1 ? 1 : -1, yStep = y2 >= y1 ? 1 : -1;
    *x = x1 + (xMajor ? i : minorSteps) * xStep;
    *y = y1 + (xMajor ? minorSteps : i) * yStep;
}

void SceneWalk::DrawStyledLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint16_t pen, int lineType)
{
    RenderContext &rc = renderContext;
    const int type = UsableLineType(lineType);
    if (type == kLineTypeInvisible) return;
    bool created = false;
    if (!SelectPen(pen, &created)) return;
    SetBkColor(rc.targetDc, penColorTable[0]);
    MoveToEx(rc.targetDc, x1, y1, nullptr);
    const Walk walk = {x1, y1, x2, y2, std::max(std::llabs(int64_t{x2} - x1), std::llabs(int64_t{y2} - y1))};
    if (type == kLineTypeSolid) {
        LineTo(rc.targetDc, x2, y2);
    } else if (type >= kFirstRandomType && type <= kLastRandomType) {
        RandomSegment(walk, type);
    } else {
        DashedSegment(walk);
    }
    ReleasePen(created);
}

void SceneWalk::DrawPointMark(int32_t x, int32_t y, uint16_t pen)
{
    RenderContext &rc = renderContext;
    if (pen >= kPenCount) return;
    rc.currentPen = CreatePen(PS_SOLID, 1, penColorTable[pen]);
    HBRUSH brush = CreateSolidBrush(penColorTable[pen]);
    rc.previousPen = SelectObject(rc.targetDc, rc.currentPen);
    HGDIOBJ previousBrush = SelectObject(rc.targetDc, brush);
    Ellipse(rc.targetDc, x - kPointHalf, y - kPointHalf, x + kPointHalf, y + kPointHalf);
    SelectObject(rc.targetDc, previousBrush);
    DeleteObject(brush);
    SelectObject(rc.targetDc, rc.previousPen);
    DeleteObject(rc.currentPen);
    rc.currentPen = nullptr;
}

void SceneWalk::FlattenArc(double cx, double cy, double start, double sweep, double radius, double tilt,
                           double flatness)
{
    RenderContext &rc = renderContext;
    rc.arcPointCount = 0;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(start) || !std::isfinite(sweep) ||
        !std::isfinite(radius) || !std::isfinite(tilt) || !std::isfinite(flatness)) {
        return;
    }
    if (sweep < 0) {
        start += sweep;
        sweep = -sweep;
    }
    // More than a full turn draws the same circle again: one turn is enough,
    // and the polyline then always fits.
    if (sweep > kTwoPi) sweep = kTwoPi;
    EmitArcPoint(cx, cy, radius, flatness, tilt, start);
    const int32_t pixels = ToPixelLength(radius);
    double step = kFineStep;
    if (pixels < kFineRadius) step = kMediumStep;
    if (pixels < kMediumRadius) step = kCoarseStep;
    // The point count guards a start angle so large that adding a step no
    // longer changes it.
    for (double a = start; a <= start + sweep && rc.arcPointCount < kMaxArcPoints - 1; a += step) {
        EmitArcPoint(cx, cy, radius, flatness, tilt, a);
    }
    EmitArcPoint(cx, cy, radius, flatness, tilt, start + sweep);
}

void SceneWalk::DrawStyledArc(double cx, double cy, double start, double sweep, double radius, double tilt,
                              double flatness, uint16_t pen, int lineType)
{
    RenderContext &rc = renderContext;
    FlattenArc(cx, cy, start, sweep, radius, tilt, flatness);
    for (int32_t i = 1; i < rc.arcPointCount; ++i) {
        DrawStyledLine(rc.arcPoints[i - 1].x, rc.arcPoints[i - 1].y, rc.arcPoints[i].x, rc.arcPoints[i].y, pen,
                       lineType);
    }
}
