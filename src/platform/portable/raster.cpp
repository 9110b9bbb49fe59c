// The rasteriser: lines, LineDDA, polygons and ellipses with GDI's pixel
// rules as real GDI (Wine's device-independent bitmap driver) applies them,
// every primitive clipped to the selected bitmap.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/portable/gdi_objects.h"
#include "platform/win32.h"

namespace {

typedef __int128 Wide;

struct Span {
    int32_t y;
    int64_t left;   // first pixel
    int64_t right;  // one past the last pixel
};

// The target of one drawing call: the DC's bitmap and one colour.
// A run of pixels in one colour, eight bytes a store: fills are most of
// the work of solids that cover a view zoomed in.
void FillPixels(uint32_t *to, size_t count, uint32_t pixel)
{
    const uint64_t two = pixel | uint64_t{pixel} << 32;
    for (; count >= 8; count -= 8, to += 8) {
        std::memcpy(to, &two, 8);
        std::memcpy(to + 2, &two, 8);
        std::memcpy(to + 4, &two, 8);
        std::memcpy(to + 6, &two, 8);
    }
    for (; count > 0; --count) *to++ = pixel;
}

struct Painter {
    PortableGdiObject *bitmap;
    uint32_t pixel;

    void Plot(int64_t x, int64_t y) const
    {
        if (x < 0 || y < 0 || x >= bitmap->width || y >= RowCount(bitmap)) return;
        PixelRow(bitmap, static_cast<int32_t>(y))[x] = pixel;
    }
    void Fill(const Span &span) const
    {
        if (span.y < 0 || span.y >= RowCount(bitmap)) return;
        const int64_t left = std::max<int64_t>(span.left, 0);
        const int64_t right = std::min<int64_t>(span.right, bitmap->width);
        if (left >= right) return;
        FillPixels(PixelRow(bitmap, span.y) + left, static_cast<size_t>(right - left), pixel);
    }
};

int64_t FloorDiv(Wide a, Wide b)
{
    Wide q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<int64_t>(q);
}

int64_t CeilDiv(Wide a, Wide b) { return -FloorDiv(-a, b); }

// Bresenham steps of a segment: pixel i lies i steps along the major axis
// and minorSteps(i) along the minor one, where a tie steps the minor axis
// only when the bias says so. GDI's lines take a bias in four octants
// (those whose minor step runs toward negative y with x major, and so on);
// LineDDA takes none.
struct Bresenham {
    int64_t x1, y1;
    int64_t dx, dy;  // absolute
    int xStep, yStep;
    bool xMajor;
    int bias;

    int64_t Major() const { return xMajor ? dx : dy; }
    int64_t Minor() const { return xMajor ? dy : dx; }
    int64_t MinorSteps(int64_t i) const
    {
        if (Major() == 0) return 0;
        return FloorDiv(Wide{2} * Minor() * i + Major() + bias - 1, Wide{2} * Major());
    }
    void PixelAt(int64_t i, int64_t *x, int64_t *y) const
    {
        const int64_t minor = MinorSteps(i);
        *x = x1 + (xMajor ? i : minor) * xStep;
        *y = y1 + (xMajor ? minor : i) * yStep;
    }
};

// GDI's octants 1..8 run counter-clockwise from +x in raster coordinates
// (y downward); octants 3, 5, 6 and 8 break ties the other way.
int OctantBias(int64_t dx, int64_t dy)
{
    int octant;
    if (dy > 0) {
        octant = dx > 0 ? (dx > dy ? 1 : 2) : (-dx > dy ? 4 : 3);
    } else {
        octant = dx < 0 ? (-dx > -dy ? 5 : 6) : (dx > -dy ? 8 : 7);
    }
    return (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
}

Bresenham MakeBresenham(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool gdiBias)
{
    Bresenham b;
    b.x1 = x1;
    b.y1 = y1;
    b.dx = std::llabs(x2 - x1);
    b.dy = std::llabs(y2 - y1);
    b.xStep = x2 >= x1 ? 1 : -1;
    b.yStep = y2 >= y1 ? 1 : -1;
    b.xMajor = b.dx > b.dy;
    b.bias = gdiBias ? OctantBias(x2 - x1, y2 - y1) : 0;
    return b;
}

// The step range [first, last) whose major coordinate lies inside [low, high).
void ClipSteps(int64_t start, int step, int64_t low, int64_t high, int64_t *first, int64_t *last)
{
    if (step > 0) {
        *first = std::max(*first, low - start);
        *last = std::min(*last, high - start);
    } else {
        *first = std::max(*first, start - (high - 1));
        *last = std::min(*last, start - low + 1);
    }
}

// A one-pixel line from (x1, y1) to (x2, y2), the end pixel left out; only
// the steps over the bitmap are walked.
void ThinLine(const Painter &painter, int64_t x1, int64_t y1, int64_t x2, int64_t y2)
{
    const Bresenham b = MakeBresenham(x1, y1, x2, y2, true);
    int64_t first = 0;
    int64_t last = b.Major();
    if (b.xMajor) {
        ClipSteps(x1, b.xStep, 0, painter.bitmap->width, &first, &last);
    } else {
        ClipSteps(y1, b.yStep, 0, RowCount(painter.bitmap), &first, &last);
    }
    for (int64_t i = first; i < last; ++i) {
        int64_t x, y;
        b.PixelAt(i, &x, &y);
        painter.Plot(x, y);
    }
}

// Spans of a polygon filled with the alternate rule: on scan line y an edge
// from a higher vertex to a lower one (top included, bottom left out) crosses
// at x = ceil of its exact crossing; pixels between pairs of crossings, the
// right one left out, are inside.
std::vector<Span> PolygonSpans(const std::vector<POINT> &points, int64_t clipTop, int64_t clipBottom)
{
    std::vector<Span> spans;
    const size_t n = points.size();
    if (n < 3) return spans;
    int64_t top = points[0].y, bottom = points[0].y;
    for (const POINT &p : points) {
        top = std::min<int64_t>(top, p.y);
        bottom = std::max<int64_t>(bottom, p.y);
    }
    top = std::max(top, clipTop);
    bottom = std::min(bottom, clipBottom);
    std::vector<int64_t> crossings;
    for (int64_t y = top; y < bottom; ++y) {
        crossings.clear();
        for (size_t i = 0; i < n; ++i) {
            const POINT &a = points[i];
            const POINT &b = points[(i + 1) % n];
            if (a.y == b.y) continue;
            const POINT &upper = a.y < b.y ? a : b;
            const POINT &lower = a.y < b.y ? b : a;
            if (y < upper.y || y >= lower.y) continue;
            const Wide numerator = Wide{upper.x} * (lower.y - upper.y) + Wide{lower.x - upper.x} * (y - upper.y);
            crossings.push_back(CeilDiv(numerator, Wide{lower.y} - upper.y));
        }
        std::sort(crossings.begin(), crossings.end());
        for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
            if (crossings[i] < crossings[i + 1])
                spans.push_back({static_cast<int32_t>(y), crossings[i], crossings[i + 1]});
        }
    }
    return spans;
}

// Spans of GDI's elliptic region for the box (left, top) .. (right, bottom),
// right and bottom excluded (the midpoint walk of Alois Zingl's algorithm).
std::vector<Span> EllipseRegionSpans(int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    std::vector<Span> spans;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    --right;
    --bottom;
    const int64_t width = right - left;
    const int64_t height = bottom - top;
    if (width < 2 || height < 2) {
        for (int64_t y = top; y < bottom; ++y) spans.push_back({static_cast<int32_t>(y), left, right});
        return spans;
    }
    std::vector<int64_t> rowLeft(static_cast<size_t>(height)), rowRight(static_cast<size_t>(height));
    const int64_t a = width - 1, b = height - 1;
    const Wide asq = Wide{8} * a * a, bsq = Wide{8} * b * b;
    Wide dx = Wide{4} * b * b * (1 - a);
    Wide dy = Wide{4} * a * a * (1 + (b % 2));
    Wide err = dx + dy + Wide{a} * a * (b % 2);
    int64_t x = 0, y = height / 2;
    rowLeft[static_cast<size_t>(y)] = left;
    rowRight[static_cast<size_t>(y)] = right;
    while (x <= width / 2) {
        const Wide e2 = 2 * err;
        if (e2 >= dx) {
            ++x;
            err += dx += bsq;
        }
        if (e2 <= dy) {
            ++y;
            err += dy += asq;
            if (y < height) {
                rowLeft[static_cast<size_t>(y)] = left + x;
                rowRight[static_cast<size_t>(y)] = right - x;
            }
        }
    }
    for (int64_t i = 0; i < height / 2; ++i) {
        rowLeft[static_cast<size_t>(i)] = rowLeft[static_cast<size_t>(b - i)];
        rowRight[static_cast<size_t>(i)] = rowRight[static_cast<size_t>(b - i)];
    }
    for (int64_t i = 0; i < height; ++i) {
        spans.push_back(
            {static_cast<int32_t>(top + i), rowLeft[static_cast<size_t>(i)], rowRight[static_cast<size_t>(i)]});
    }
    return spans;
}

// The outline of an ellipse of the box (width x height pixels), as a closed
// point loop relative to its top-left pixel.
std::vector<POINT> EllipseOutline(int64_t width, int64_t height)
{
    std::vector<POINT> quadrant;
    const int64_t a = width - 1, b = height - 1;
    const Wide asq = Wide{8} * a * a, bsq = Wide{8} * b * b;
    Wide dx = Wide{4} * b * b * (1 - a);
    Wide dy = Wide{4} * a * a * (1 + (b % 2));
    Wide err = dx + dy + Wide{a} * a * (b % 2);
    int64_t x = a, y = height / 2;
    while (x >= width / 2) {
        const Wide e2 = 2 * err;
        quadrant.push_back({static_cast<LONG>(x), static_cast<LONG>(y)});
        if (e2 >= dx) {
            --x;
            err += dx += bsq;
        }
        if (e2 <= dy) {
            ++y;
            err += dy += asq;
        }
    }
    std::vector<POINT> loop;
    const size_t n = quadrant.size();
    for (size_t i = 0; i < n; ++i) loop.push_back(quadrant[i]);
    for (size_t i = 0; i < n; ++i)
        loop.push_back({static_cast<LONG>(a - quadrant[n - 1 - i].x), quadrant[n - 1 - i].y});
    for (size_t i = 0; i < n; ++i) {
        loop.push_back({static_cast<LONG>(a - quadrant[i].x), static_cast<LONG>(b - quadrant[i].y)});
    }
    for (size_t i = 0; i < n; ++i) {
        loop.push_back({quadrant[n - 1 - i].x, static_cast<LONG>(b - quadrant[n - 1 - i].y)});
    }
    return loop;
}

void FillSpans(const Painter &painter, const std::vector<Span> &spans)
{
    for (const Span &span : spans) painter.Fill(span);
}

// The round cap of a pen width, relative to the end point: the same
// elliptic region at every point, so it is computed once per width.
// The process-wide state of this file: the round caps made so far, by pen
// width, under their mutex (an element of the map stays where it is as
// others are added).
struct RoundCaps {
    std::mutex mutex;
    std::unordered_map<int, std::vector<Span>> byWidth;
};
RoundCaps roundCaps;

const std::vector<Span> &RoundCap(int width)
{
    const std::lock_guard<std::mutex> hold(roundCaps.mutex);
    auto &caps = roundCaps.byWidth;
    auto found = caps.find(width);
    if (found != caps.end()) return found->second;
    return caps.emplace(width, EllipseRegionSpans(-(width / 2), -(width / 2), (width + 1) / 2 + 1, (width + 1) / 2 + 1))
        .first->second;
}

// A wide pen's stroke of one segment: the segment's body and a round cap at
// each end, in the pen's colour.
void WideLine(const Painter &painter, int width, int64_t x1, int64_t y1, int64_t x2, int64_t y2)
{
    const int64_t dx = x2 - x1, dy = y2 - y1;
    const int64_t rows = RowCount(painter.bitmap);
    if (dy == 0 && dx != 0) {
        const int64_t top = y1 - width / 2;
        for (int64_t y = std::max<int64_t>(top, 0); y < std::min<int64_t>(top + width, rows); ++y) {
            painter.Fill({static_cast<int32_t>(y), std::min(x1, x2), std::max(x1, x2)});
        }
    } else if (dx == 0 && dy != 0) {
        const int64_t left = x1 - width / 2;
        for (int64_t y = std::max<int64_t>(std::min(y1, y2), 0); y < std::min<int64_t>(std::max(y1, y2), rows); ++y) {
            painter.Fill({static_cast<int32_t>(y), left, left + width});
        }
    } else if (dx != 0 || dy != 0) {
        const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
        const double widthX = width * std::fabs(static_cast<double>(dy)) / length;
        const double widthY = width * std::fabs(static_cast<double>(dx)) / length;
        POINT narrow = {static_cast<LONG>(std::floor(widthX / 2 + 0.5)),
                        static_cast<LONG>(std::floor(widthY / 2 + 0.5))};
        POINT wide = {static_cast<LONG>(std::floor((widthX + 1) / 2 + 0.5)),
                      static_cast<LONG>(std::floor((widthY + 1) / 2 + 0.5))};
        if (dx < 0) {
            wide.y = -wide.y;
            narrow.y = -narrow.y;
        }
        if (dy < 0) {
            std::swap(narrow, wide);
            narrow.x = -narrow.x;
            wide.x = -wide.x;
        }
        const std::vector<POINT> body = {
            {static_cast<LONG>(x1 - narrow.x), static_cast<LONG>(y1 + narrow.y)},
            {static_cast<LONG>(x1 + wide.x), static_cast<LONG>(y1 - wide.y)},
            {static_cast<LONG>(x2 + wide.x), static_cast<LONG>(y2 - wide.y)},
            {static_cast<LONG>(x2 - narrow.x), static_cast<LONG>(y2 + narrow.y)},
        };
        FillSpans(painter, PolygonSpans(body, 0, rows));
    }
    const std::vector<Span> &cap = RoundCap(width);
    for (int end = 0; end < 2; ++end) {
        const int64_t x = end == 0 ? x1 : x2, y = end == 0 ? y1 : y2;
        for (const Span &span : cap) painter.Fill({static_cast<int32_t>(y + span.y), x + span.left, x + span.right});
    }
}

Painter PainterFor(HDC dc, COLORREF color) { return {static_cast<PortableGdiObject *>(dc->bitmap), PixelOf(color)}; }

// One segment in the DC's pen.
void StrokeSegment(HDC dc, int64_t x1, int64_t y1, int64_t x2, int64_t y2)
{
    HGDIOBJ pen = dc->pen;
    if (pen == nullptr || IsNullPen(pen)) return;
    const Painter painter = PainterFor(dc, pen->color);
    if (pen->penWidth <= 1) {
        ThinLine(painter, x1, y1, x2, y2);
    } else {
        WideLine(painter, pen->penWidth, x1, y1, x2, y2);
    }
}

}  // namespace

extern "C" {

BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous)
{
    if (!IsValidDc(dc)) return FALSE;
    if (previous) *previous = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC dc, int x, int y)
{
    if (!IsValidDc(dc)) return FALSE;
    StrokeSegment(dc, dc->position.x, dc->position.y, x, y);
    dc->position = {x, y};
    return TRUE;
}

BOOL WINAPI LineDDA(int x1, int y1, int x2, int y2, LINEDDAPROC callback, LPARAM data)
{
    if (callback == nullptr) return FALSE;
    const Bresenham b = MakeBresenham(x1, y1, x2, y2, false);
    for (int64_t i = 0; i < b.Major(); ++i) {
        int64_t x, y;
        b.PixelAt(i, &x, &y);
        callback(static_cast<int>(x), static_cast<int>(y), data);
    }
    return TRUE;
}

BOOL WINAPI Polygon(HDC dc, const POINT *points, int count)
{
    if (!IsValidDc(dc) || points == nullptr || count < 2) return FALSE;
    const std::vector<POINT> loop(points, points + count);
    HGDIOBJ brush = dc->brush;
    if (brush != nullptr && !IsNullBrush(brush)) {
        FillSpans(PainterFor(dc, brush->color),
                  PolygonSpans(loop, 0, RowCount(static_cast<PortableGdiObject *>(dc->bitmap))));
    }
    for (int i = 0; i < count; ++i) {
        const POINT &a = loop[static_cast<size_t>(i)];
        const POINT &b = loop[static_cast<size_t>((i + 1) % count)];
        StrokeSegment(dc, a.x, a.y, b.x, b.y);
    }
    return TRUE;
}

BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom)
{
    if (!IsValidDc(dc)) return FALSE;
    int64_t l = std::min(left, right), r = std::max(left, right);
    int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    if (l == r || t == b) return TRUE;
    const int64_t width = r - l, height = b - t;
    HGDIOBJ brush = dc->brush;
    if (width <= 2 || height <= 2) {
        // Too small to be round: GDI draws a rectangle, its outline in the
        // pen and its inside (within the outline) in the brush.
        std::vector<POINT> box = {{static_cast<LONG>(l), static_cast<LONG>(t)},
                                  {static_cast<LONG>(r - 1), static_cast<LONG>(t)},
                                  {static_cast<LONG>(r - 1), static_cast<LONG>(b - 1)},
                                  {static_cast<LONG>(l), static_cast<LONG>(b - 1)}};
        if (brush != nullptr && !IsNullBrush(brush)) {
            for (int64_t y = t + 1; y < b - 1; ++y)
                PainterFor(dc, brush->color).Fill({static_cast<int32_t>(y), l + 1, r - 1});
        }
        for (size_t i = 0; i < box.size(); ++i) {
            StrokeSegment(dc, box[i].x, box[i].y, box[(i + 1) % box.size()].x, box[(i + 1) % box.size()].y);
        }
        return TRUE;
    }
    if (brush != nullptr && !IsNullBrush(brush)) {
        FillSpans(PainterFor(dc, brush->color), EllipseRegionSpans(l, t, r + 1, b + 1));
    }
    const std::vector<POINT> loop = EllipseOutline(width, height);
    for (size_t i = 0; i < loop.size(); ++i) {
        const POINT &p = loop[i];
        const POINT &q = loop[(i + 1) % loop.size()];
        StrokeSegment(dc, l + p.x, t + p.y, l + q.x, t + q.y);
    }
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    if (!IsValidDc(dc)) return CLR_INVALID;
    auto *bitmap = static_cast<PortableGdiObject *>(dc->bitmap);
    if (x < 0 || y < 0 || x >= bitmap->width || y >= RowCount(bitmap)) return CLR_INVALID;
    const uint32_t pixel = PixelRow(bitmap, y)[x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

}  // extern "C"
