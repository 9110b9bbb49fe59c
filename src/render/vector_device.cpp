#include "render/vector_device.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/portable/text_faces.h"
#include "reader/drawing_store.h"
#include "render/line_styles.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "render/text.h"
#include "settings/setting_tables.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfPi = kPi / 2;
constexpr double kPointRadius = 2;      // the raster's dot, 4 pixels across
constexpr double kReferenceRadius = 3;  // a figure's reference point, 6 across
constexpr COLORREF kReferenceMarkColor = RGB(255, 0, 0);
constexpr int32_t kVersionLineX = 60;
constexpr int32_t kVersionLineHeight = 16;
const char kVersionLineFace[] = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック
constexpr UINT kShiftJis = 932;
constexpr uint8_t kFirstArcKind = 100;
constexpr uint8_t kArcSolid = 101;
constexpr uint8_t kScaledBand = 105;
constexpr uint8_t kWidthBand = 106;
constexpr double kClosedArcMarker = 5.0;
// The raster steps a line pixel by pixel along its longer axis, and an arc
// along the chords of its polyline: one step of a dash pattern is that long
// along a line, and on average this long along a curve (the mean of
// 1 / max(|cos a|, |sin a|) over a turn).
constexpr double kCurveStep = 1.1222;
// Canvas coordinates are kept within a bound (at most this), set for each
// page so that cairo's device coordinates (fixed point, about ±8 million)
// hold them; no raster reaches it. Lines are clipped well inside it, arcs
// that reach beyond kChordReach are drawn as the raster's chords, and so
// clipped too.
constexpr double kMaxCanvasBound = 1e7;
constexpr double kMaxDeviceUnits = 4e6;
constexpr double kChordReach = 1e5;
// The raster flattens an arc into chords of these angles (radians) by its
// radius in pixels: fine from 100 pixels, medium from 50.
constexpr double kFineChord = 0.1, kMediumChord = 0.2, kCoarseChord = 0.3;

double ChordAngle(double radiusPixels)
{
    return radiusPixels >= 100 ? kFineChord : radiusPixels >= 50 ? kMediumChord : kCoarseChord;
}

void SetColor(cairo_t *cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

// An ellipse on the sheet, as the raster's arcs are: centre, radius, the
// ratio of the minor to the major radius, turned by tilt. Its point at
// parameter a, in canvas pixels.
struct SheetEllipse {
    const VectorCanvas &canvas;
    double cx, cy, radius, flatness, tilt;
    void At(double a, double *x, double *y) const
    {
        const double ex = radius * std::cos(a), ey = radius * flatness * std::sin(a);
        const double c = std::cos(tilt), s = std::sin(tilt);
        *x = canvas.CanvasX(cx + ex * c - ey * s);
        *y = canvas.CanvasY(cy + ex * s + ey * c);
    }
    // Its derivative at a, in canvas pixels per radian.
    void Tangent(double a, double *x, double *y) const
    {
        const double ex = -radius * std::sin(a), ey = radius * flatness * std::cos(a);
        const double c = std::cos(tilt), s = std::sin(tilt);
        const double scale = canvas.rc->viewScale;
        *x = (ex * c - ey * s) * scale;
        *y = -(ex * s + ey * c) * scale;
    }
};

// The arc from a0 to a1 as cubic curves of at most a quarter turn each (an
// ellipse is an affine image of a circle, and so are the curves).
void CurveAlong(cairo_t *cr, const SheetEllipse &e, double a0, double a1, bool moveFirst)
{
    const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(a1 - a0) / kHalfPi - 1e-9)));
    const double step = (a1 - a0) / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    double x, y;
    e.At(a0, &x, &y);
    if (moveFirst) {
        cairo_move_to(cr, x, y);
    } else {
        cairo_line_to(cr, x, y);
    }
    for (int i = 0; i < pieces; ++i) {
        const double p = a0 + step * i, q = p + step;
        double px, py, qx, qy, tpx, tpy, tqx, tqy;
        e.At(p, &px, &py);
        e.At(q, &qx, &qy);
        e.Tangent(p, &tpx, &tpy);
        e.Tangent(q, &tqx, &tqy);
        cairo_curve_to(cr, px + k * tpx, py + k * tpy, qx - k * tqx, qy - k * tqy, qx, qy);
    }
}

// The angles an arc record spans, as the raster flattens them: a negative
// sweep runs the other way, more than a turn is one turn. False when a
// value is not a number.
bool ArcSpan(double start, double sweep, double *a0, double *a1)
{
    if (!std::isfinite(start) || !std::isfinite(sweep)) return false;
    if (sweep < 0) {
        start += sweep;
        sweep = -sweep;
    }
    sweep = std::min(sweep, 2 * kPi);
    *a0 = start;
    *a1 = start + sweep;
    return true;
}

void AppendUtf8(uint32_t cp, std::string *out)
{
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The Unicode code point of a Shift-JIS character of one or two bytes; 0
// for none.
uint32_t CodePoint(const char *bytes, size_t length)
{
    WCHAR wide[2] = {};
    const int n = MultiByteToWideChar(kShiftJis, 0, bytes, static_cast<int>(length), wide, 2);
    return n >= 1 ? wide[0] : 0;
}

std::string ShiftJisToUtf8(const char *bytes)
{
    const int length = static_cast<int>(std::strlen(bytes));
    std::vector<WCHAR> wide(static_cast<size_t>(length) + 1);
    const int n = MultiByteToWideChar(kShiftJis, 0, bytes, length, wide.data(), length + 1);
    std::string out;
    for (int i = 0; i < n; ++i) AppendUtf8(wide[static_cast<size_t>(i)], &out);
    return out;
}

}  // namespace

double VectorCanvas::Bounded(double v) const { return std::isnan(v) ? bound : std::clamp(v, -bound, bound); }

// Liang and Barsky.
bool VectorCanvas::ClipToCanvas(double x1, double y1, double x2, double y2, double margin, double *t0, double *t1) const
{
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 + margin, static_cast<double>(rc->rasterWidth) + margin - x1, y1 + margin,
                         static_cast<double>(rc->rasterHeight) + margin - y1};
    *t0 = 0;
    *t1 = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            *t0 = std::max(*t0, r);
        } else {
            *t1 = std::min(*t1, r);
        }
    }
    return *t0 <= *t1;
}
double VectorCanvas::RawCanvasX(double x) const
{
    return x * rc->viewScale - rc->viewOffsetX - static_cast<double>(rc->originX);
}
double VectorCanvas::RawCanvasY(double y) const
{
    return rc->viewOffsetY - y * rc->viewScale - static_cast<double>(rc->originY);
}

bool VectorCanvas::OffCanvas(double x1, double y1, double x2, double y2, double margin) const
{
    return std::max(x1, x2) < -margin || std::max(y1, y2) < -margin ||
           std::min(x1, x2) > static_cast<double>(rc->rasterWidth) + margin ||
           std::min(y1, y2) > static_cast<double>(rc->rasterHeight) + margin;
}

VectorDevice::~VectorDevice()
{
    for (auto &entry : faces_) cairo_font_face_destroy(entry.second);
}

VectorDevice::VectorDevice(SceneWalk &walk, cairo_t *cr, double unitsPerPixel)
    : walk_(walk),
      canvas_{&walk.renderContext, std::min(kMaxCanvasBound, kMaxDeviceUnits / std::max(unitsPerPixel, 1e-9))},
      cr_(cr),
      elementsLeft_(kMaxElementsPerPage)
{
}

bool VectorDevice::Spend(uint64_t elements)
{
    if (elements > elementsLeft_) {
        elementsLeft_ = 0;
        return false;
    }
    elementsLeft_ -= elements;
    return true;
}

// cairo's own face of the file the raster's face came from: cairo keeps the
// size it last set on a face and would not set it again after the raster
// has set its own on a shared one.
cairo_font_face_t *VectorDevice::FontFace(const PortableTextFace &face)
{
    const auto key = std::make_pair(std::string(face.file), face.index);
    const auto found = faces_.find(key);
    if (found != faces_.end()) return found->second;
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FILE, reinterpret_cast<const FcChar8 *>(face.file));
    FcPatternAddInteger(pattern, FC_INDEX, face.index);
    cairo_font_face_t *made = cairo_ft_font_face_create_for_pattern(pattern);
    FcPatternDestroy(pattern);
    faces_.emplace(key, made);
    return made;
}

// The pen's colour and width, round ends and joins as GDI's wide pens have;
// false for pen numbers that have no pen (the raster draws nothing).
bool VectorDevice::UsePen(uint16_t pen)
{
    uint32_t width = 1;
    if (pen < kPreparedPens) {
        width = std::min(std::max(walk_.penWidthTable[pen], 1u), kMaxPenPixels);
    } else if (pen < kFirstExtendedPenNumber || pen > kLastExtendedPenNumber) {
        return false;
    }
    SetColor(cr_, walk_.penColorTable[pen]);
    cairo_set_line_width(cr_, width);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    return true;
}

// The dash of a line type: each bit of its 32-bit pattern, from the top one
// down and round again, stands for `pitch` steps drawn or left out, and the
// walk starts with one pitch left out before the top bit (the slot of bit
// 0, left out in the patterns the CAD program has). False when nothing
// shows.
bool VectorDevice::UseLineType(int lineType, double stepLength, double phase)
{
    const int type = UsableLineType(lineType);
    const uint32_t pattern = walk_.linePatternTable[type];
    const double pitch = std::max<uint32_t>(walk_.linePitchTable[type], 1) * stepLength;
    if (type == kLineTypeSolid || pattern == 0xFFFFFFFFu) {
        cairo_set_dash(cr_, nullptr, 0, 0);
        return true;
    }
    if (pattern == 0) return false;
    // Runs of equal bits round the cycle, starting with the highest drawn bit.
    int first = 31;
    while ((pattern & (1u << first)) == 0) --first;
    std::vector<double> runs;
    bool drawn = true;
    double run = 0;
    for (int k = 0; k < 32; ++k) {
        const bool on = (pattern & (1u << ((first - k + 32) % 32))) != 0;
        if (on != drawn) {
            runs.push_back(run);
            run = 0;
            drawn = on;
        }
        run += pitch;
    }
    runs.push_back(run);
    // Where the top bit's slot starts in that order.
    double offset = ((first + 1) % 32) * pitch;
    if (runs.size() % 2 != 0) {
        // Drawn at both ends of the order: one run across the wrap.
        const double tail = runs.back();
        runs.pop_back();
        runs.front() += tail;
        offset += tail;
    }
    // The raster's step i paints the pixel before it (LineTo leaves out its
    // end): the pattern runs a step ahead of the steps that decide it.
    const double cycle = 32 * pitch;
    offset = std::fmod(offset - pitch + stepLength + 2 * cycle, cycle);
    offset = std::fmod(offset + std::fmod(phase, cycle), cycle);
    cairo_set_dash(cr_, runs.data(), static_cast<int>(runs.size()), offset);
    return true;
}

// A random line: the raster's walk of its pixels, the same steps and bits,
// with each offset point joined to the next; only the steps in [t0, t1]
// of it are drawn, those before are walked without drawing.
void VectorDevice::StrokeRandomLine(double x1, double y1, double x2, double y2, double t0, double t1, int lineType)
{
    const double dx = x2 - x1, dy = y2 - y1;
    const double steps = std::floor(std::max(std::fabs(dx), std::fabs(dy)));
    walk_.BeginLineStyle(0, static_cast<uint16_t>(lineType));
    walk_.SetUpRandomSegment(static_cast<int32_t>(canvas_.Bounded(x1)), static_cast<int32_t>(canvas_.Bounded(y1)),
                             static_cast<int32_t>(canvas_.Bounded(x2)), static_cast<int32_t>(canvas_.Bounded(y2)),
                             lineType);
    const auto first = static_cast<uint64_t>(std::floor(steps * t0));
    const auto last = static_cast<uint64_t>(std::ceil(steps * t1));
    if (!Spend(2 + (last - first) / 4)) return;
    walk_.SkipRandomSteps(first);
    cairo_move_to(cr_, x1 + dx * t0, y1 + dy * t0);
    for (uint64_t i = first; i < last; ++i) {
        const double t = steps > 0 ? static_cast<double>(i) / steps : 0;
        double x = x1 + dx * t, y = y1 + dy * t;
        if (walk_.RandomAction(&x, &y)) cairo_line_to(cr_, x, y);
    }
    cairo_line_to(cr_, x1 + dx * t1, y1 + dy * t1);
    cairo_set_dash(cr_, nullptr, 0, 0);
    cairo_stroke(cr_);
}

// A segment in canvas pixels, clipped to the canvas, in the pen already
// chosen; phase: how far along its pattern the path is at (x1, y1). A
// pattern step is one of the raster's pixel steps along it.
void VectorDevice::StrokeSegment(double x1, double y1, double x2, double y2, int type, double phase, double margin)
{
    double t0, t1;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2) ||
        !canvas_.ClipToCanvas(x1, y1, x2, y2, margin, &t0, &t1)) {
        return;
    }
    const double dx = x2 - x1, dy = y2 - y1;
    if (type >= kFirstRandomType && type <= kLastRandomType) {
        StrokeRandomLine(x1, y1, x2, y2, t0, t1, type);
        return;
    }
    const double length = std::hypot(dx, dy), major = std::max(std::fabs(dx), std::fabs(dy));
    if (!UseLineType(type, major > 0 ? length / major : 1, phase + t0 * length) || !Spend(2)) return;
    cairo_move_to(cr_, x1 + dx * t0, y1 + dy * t0);
    cairo_line_to(cr_, x1 + dx * t1, y1 + dy * t1);
    cairo_stroke(cr_);
}

double VectorDevice::LineMargin(int type) const
{
    double margin = kMaxPenPixels + 2;
    if (type >= kFirstRandomType && type <= kLastRandomType) {
        margin += std::min(walk_.randomWidthTable[type], kMaxRandomAmplitude) +
                  std::min<uint32_t>(walk_.linePitchTable[type], 8192);
    }
    return margin;
}

void VectorDevice::Line(double x1, double y1, double x2, double y2, uint16_t pen, int lineType)
{
    const int type = UsableLineType(lineType);
    if (type == kLineTypeInvisible) return;
    const double px1 = canvas_.RawCanvasX(x1), py1 = canvas_.RawCanvasY(y1), px2 = canvas_.RawCanvasX(x2),
                 py2 = canvas_.RawCanvasY(y2);
    const double margin = LineMargin(type);
    double t0, t1;
    // Off the page, not even the pen is chosen.
    if (!std::isfinite(px1) || !std::isfinite(py1) || !std::isfinite(px2) || !std::isfinite(py2) ||
        !canvas_.ClipToCanvas(px1, py1, px2, py2, margin, &t0, &t1) || !UsePen(pen)) {
        return;
    }
    StrokeSegment(px1, py1, px2, py2, type, 0, margin);
}

void VectorDevice::Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
                       uint16_t pen, int lineType)
{
    const int type = UsableLineType(lineType);
    if (type == kLineTypeInvisible) return;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius) || !std::isfinite(tilt) ||
        !std::isfinite(flatness)) {
        return;
    }
    double a0, a1;
    if (!ArcSpan(start, sweep, &a0, &a1)) return;
    const double reach = std::fmax(std::fabs(radius), std::fabs(radius * flatness)) * walk_.renderContext.viewScale;
    const double x = canvas_.RawCanvasX(cx), y = canvas_.RawCanvasY(cy);
    if (!std::isfinite(reach) || !std::isfinite(x) || !std::isfinite(y) ||
        canvas_.OffCanvas(x - reach, y - reach, x + reach, y + reach, LineMargin(type)) || !UsePen(pen)) {
        return;
    }
    const SheetEllipse e = {canvas_, cx, cy, radius, flatness, tilt};
    // The raster walks each chord afresh, one step more than its pixels:
    // a pattern step along the curve is that much shorter.
    const double chordAngle = ChordAngle(std::fabs(radius) * walk_.renderContext.viewScale);
    const double chordLength = reach * chordAngle;
    const double step = chordLength / (chordLength / kCurveStep + 1);
    if ((type >= kFirstRandomType && type <= kLastRandomType) || reach > kChordReach) {
        // Random lines follow the chords, as the raster's do; so does an arc
        // so vast that its curve's control points would leave cairo's range.
        const int chords = std::clamp(static_cast<int>(std::ceil((a1 - a0) / chordAngle)), 1, kMaxArcPoints);
        double px, py, phase = 0;
        e.At(a0, &px, &py);
        for (int i = 1; i <= chords; ++i) {
            double qx, qy;
            e.At(a0 + (a1 - a0) * i / chords, &qx, &qy);
            StrokeSegment(px, py, qx, qy, type, phase, LineMargin(type));
            phase += std::hypot(qx - px, qy - py);
            px = qx;
            py = qy;
        }
        return;
    }
    if (!UseLineType(type, std::max(step, 0.5), 0) || !Spend(5)) return;
    CurveAlong(cr_, e, a0, a1, true);
    cairo_stroke(cr_);
}

void VectorDevice::Point(double x, double y, uint16_t pen)
{
    if (pen >= kPenCount) return;
    const double px = canvas_.CanvasX(x), py = canvas_.CanvasY(y);
    if (canvas_.OffCanvas(px, py, px, py, kPointRadius + 1) || !Spend(4)) return;
    SetColor(cr_, walk_.penColorTable[pen]);
    cairo_new_path(cr_);
    cairo_arc(cr_, px, py, kPointRadius, 0, 2 * kPi);
    cairo_fill(cr_);
}

void VectorDevice::Solid(const SolidRecord &solid, const double v[8], COLORREF color)
{
    const uint8_t kind = solid.header.penStyle;
    if (!Spend(kind < kFirstArcKind ? 4 : 12)) return;
    SetColor(cr_, color);
    cairo_new_path(cr_);
    if (kind < kFirstArcKind) {
        for (int i = 0; i < 8; i += 2) {
            if (!std::isfinite(v[i]) || !std::isfinite(v[i + 1])) return;
        }
        const double xs[4] = {canvas_.CanvasX(v[0]), canvas_.CanvasX(v[2]), canvas_.CanvasX(v[4]),
                              canvas_.CanvasX(v[6])};
        const double ys[4] = {canvas_.CanvasY(v[1]), canvas_.CanvasY(v[3]), canvas_.CanvasY(v[5]),
                              canvas_.CanvasY(v[7])};
        if (canvas_.OffCanvas(*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4),
                              *std::max_element(xs, xs + 4), *std::max_element(ys, ys + 4), 1)) {
            return;
        }
        cairo_move_to(cr_, xs[0], ys[0]);
        for (int i = 1; i < 4; ++i) cairo_line_to(cr_, xs[i], ys[i]);
        cairo_close_path(cr_);
        cairo_fill(cr_);
        return;
    }
    if (kind != kArcSolid && kind != kScaledBand && kind != kWidthBand) return;
    // The values of an arc solid, as the raster reads them.
    const double cx = v[0], cy = v[1], radius = v[2], flatness = v[3], tilt = v[4], start = v[5], sweep = v[6],
                 last = v[7];
    for (int i = 0; i < 8; ++i) {
        if (!std::isfinite(v[i])) return;
    }
    double a0, a1;
    if (!ArcSpan(start, sweep, &a0, &a1)) return;
    const double reach = std::fmax(std::fabs(radius), std::fabs(radius * flatness)) * walk_.renderContext.viewScale;
    const double x = canvas_.CanvasX(cx), y = canvas_.CanvasY(cy);
    if (canvas_.OffCanvas(x - reach, y - reach, x + reach, y + reach, 1)) return;
    if (!std::isfinite(reach)) return;
    const SheetEllipse outer = {canvas_, cx, cy, radius, flatness, tilt};
    if (reach > kChordReach && kind != kWidthBand) {
        // Too vast for curves: the raster's chords, kept in range.
        const int chords = std::clamp(static_cast<int>(std::ceil((a1 - a0) / kFineChord)), 1, kMaxArcPoints);
        const double ratio = kind == kScaledBand && radius != 0 ? last / radius : 0;
        double px, py;
        for (int i = 0; i <= chords; ++i) {
            outer.At(a0 + (a1 - a0) * i / chords, &px, &py);
            if (i == 0) {
                cairo_move_to(cr_, px, py);
            } else {
                cairo_line_to(cr_, px, py);
            }
        }
        if (kind == kScaledBand && std::isfinite(ratio)) {
            for (int i = chords; i >= 0; --i) {
                outer.At(a0 + (a1 - a0) * i / chords, &px, &py);
                cairo_line_to(cr_, canvas_.Bounded(x + (px - x) * ratio), canvas_.Bounded(y + (py - y) * ratio));
            }
        } else if (last != kClosedArcMarker) {
            cairo_line_to(cr_, x, y);
        }
        cairo_close_path(cr_);
        cairo_fill(cr_);
        return;
    }
    if (kind == kArcSolid) {
        CurveAlong(cr_, outer, a0, a1, true);
        if (last != kClosedArcMarker) cairo_line_to(cr_, x, y);  // a sector
        cairo_close_path(cr_);
        cairo_fill(cr_);
        return;
    }
    if (kind == kScaledBand) {
        const double ratio = last / radius;
        if (radius == 0 || !std::isfinite(ratio)) return;
        const SheetEllipse inner = {canvas_, cx, cy, radius * ratio, flatness, tilt};
        CurveAlong(cr_, outer, a0, a1, true);
        CurveAlong(cr_, inner, a1, a0, false);
        cairo_close_path(cr_);
        cairo_fill(cr_);
        return;
    }
    // A band of constant width: each outer point moved toward the centre by
    // the width, which on a flattened ellipse is no ellipse: fine chords.
    const double width = (radius - last) * walk_.renderContext.viewScale;
    if (!std::isfinite(width)) return;
    const int chords = std::clamp(static_cast<int>(std::ceil((a1 - a0) / (kPi / 180))), 1, 720);
    if (!Spend(2 * static_cast<uint64_t>(chords))) return;
    std::vector<double> px(chords + 1), py(chords + 1);
    for (int i = 0; i <= chords; ++i) outer.At(a0 + (a1 - a0) * i / chords, &px[i], &py[i]);
    cairo_move_to(cr_, px[0], py[0]);
    for (int i = 1; i <= chords; ++i) cairo_line_to(cr_, px[i], py[i]);
    for (int i = chords; i >= 0; --i) {
        const double dx = px[i] - x, dy = py[i] - y;
        double d = std::hypot(dx, dy);
        if (d == 0) d = 1;
        const double ratio = (d - width) / d;
        cairo_line_to(cr_, x + dx * ratio, y + dy * ratio);
    }
    cairo_close_path(cr_);
    cairo_fill(cr_);
}

// Selects the face, size and turn the raster's font of these numbers has;
// false when there is none.
bool VectorDevice::SelectTextFont(const char *fontName, int32_t widthPx, int32_t heightPx, int32_t escapement,
                                  PortableTextFace *face)
{
    HFONT font = CreateTextFont(fontName, widthPx, heightPx, escapement);
    const bool found = font != nullptr && DescribeTextFace(font, face);
    if (font != nullptr) DeleteObject(font);
    if (!found) return false;
    if (face->file[0] == '\0') return false;
    cairo_set_font_face(cr_, FontFace(*face));
    cairo_matrix_t size, turn, matrix;
    cairo_matrix_init_scale(&size, face->ppem * face->widthRatio, face->ppem);
    cairo_matrix_init_rotate(&turn, -face->angle);
    cairo_matrix_multiply(&matrix, &size, &turn);
    cairo_set_font_matrix(cr_, &matrix);
    return true;
}

// One character cell whose top-left corner is at canvas (x, y): its glyph
// on the baseline an ascent below, as the raster's TextOutA puts it, with
// the character itself attached so that the text can be searched.
void VectorDevice::ShowCell(const PortableTextFace &face, double x, double y, const char *bytes, size_t length)
{
    const uint32_t cp = CodePoint(bytes, length);
    if (cp == 0 || !Spend(1)) return;
    cairo_glyph_t glyph;
    glyph.index = TextFaceGlyphIndex(face, cp);
    if (glyph.index == 0) return;
    glyph.x = x + face.ascent * std::sin(face.angle);
    glyph.y = y + face.ascent * std::cos(face.angle);
    std::string utf8;
    AppendUtf8(cp, &utf8);
    cairo_text_cluster_t cluster = {static_cast<int>(utf8.size()), 1};
    cairo_show_text_glyphs(cr_, utf8.data(), static_cast<int>(utf8.size()), &glyph, 1, &cluster, 1,
                           static_cast<cairo_text_cluster_flags_t>(0));
}

void VectorDevice::Text(const TextEntity &t)
{
    if (t.text == nullptr || t.pen >= kPenCount) return;
    TextLayout layout;
    if (!walk_.LayOutText(t.x1, t.y1, t.x2, t.y2, t.halfWidth, t.height, t.halfSpacing, t.text, t.flags, t.layerGroup,
                          &layout)) {
        return;
    }
    if (walk_.ToPixelLength(t.height) < kMinTextPixels) {
        // Too small to read: the outline box the raster draws.
        double ax = t.x1, ay = t.y1, bx = t.x2, by = t.y2;
        OffsetPolar(&ax, &ay, layout.baselineAngle + 90, t.height);
        OffsetPolar(&bx, &by, layout.baselineAngle + 90, t.height);
        if (!UsePen(t.pen) || !Spend(4)) return;
        cairo_set_dash(cr_, nullptr, 0, 0);
        cairo_move_to(cr_, canvas_.CanvasX(t.x1), canvas_.CanvasY(t.y1));
        cairo_line_to(cr_, canvas_.CanvasX(ax), canvas_.CanvasY(ay));
        cairo_line_to(cr_, canvas_.CanvasX(bx), canvas_.CanvasY(by));
        cairo_line_to(cr_, canvas_.CanvasX(t.x2), canvas_.CanvasY(t.y2));
        cairo_close_path(cr_);
        cairo_stroke(cr_);
        return;
    }
    PortableTextFace face;
    if (!SelectTextFont(t.fontName, walk_.ToPixelLength(layout.halfWidth), walk_.ToPixelLength(t.height),
                        SaturatePixel(layout.angle * 10), &face)) {
        return;
    }
    SetColor(cr_, walk_.penColorTable[t.pen]);
    double px = layout.startX, py = layout.startY;
    for (size_t i = 0; i < layout.length;) {
        const double cellX = canvas_.CanvasX(px), cellY = canvas_.CanvasY(py);
        const size_t at = i;
        const size_t w = NextCell(layout, i, &px, &py);
        const double reach = 4.0 * face.ppem * std::max(1.0, face.widthRatio);
        if (!canvas_.OffCanvas(cellX, cellY, cellX, cellY, reach)) ShowCell(face, cellX, cellY, layout.drawn + at, w);
        i += w;
    }
}

void VectorDevice::ReferenceMark(double x, double y)
{
    SetColor(cr_, kReferenceMarkColor);
    cairo_new_path(cr_);
    cairo_arc(cr_, canvas_.CanvasX(x), canvas_.CanvasY(y), kReferenceRadius, 0, 2 * kPi);
    cairo_fill(cr_);
}

void VectorDevice::VersionLine(const char *message)
{
    PortableTextFace face;
    if (!SelectTextFont(kVersionLineFace, 0, kVersionLineHeight, 0, &face)) return;
    SetColor(cr_, RGB(0, 0, 0));
    const std::string utf8 = ShiftJisToUtf8(message);
    cairo_move_to(cr_, kVersionLineX, walk_.renderContext.rasterHeight / 2 + face.ascent);
    cairo_show_text(cr_, utf8.c_str());
}
