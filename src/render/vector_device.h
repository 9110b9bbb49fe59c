// The vector device: the scene's objects as paths, fills and text on a
// cairo context (a PDF or SVG page), in the raster's canvas pixels, which
// the caller's transform scales to the page. What the raster would draw at
// that size, drawn as vectors: lines and curves in the pen's width and line
// type, points as dots, solids as fills, texts as glyphs of the faces the
// raster uses (so that a PDF embeds them and its text can be searched).
// Native builds only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "render/scene_device.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_font_face cairo_font_face_t;
struct PortableTextFace;
struct RenderContext;
class SceneWalk;

// The canvas a page shows: the walk's raster in its pixels, unrounded, every
// coordinate kept within a bound that cairo's device units hold.
struct VectorCanvas {
    const RenderContext *rc;
    double bound;

    double Bounded(double v) const;
    // The part [t0, t1] of the segment from (x1, y1) to (x2, y2) inside the
    // canvas grown by margin; false when none is.
    bool ClipToCanvas(double x1, double y1, double x2, double y2, double margin, double *t0, double *t1) const;
    // Sheet millimetres to canvas pixels, as the walk's ToPixelX and
    // ToPixelY but not truncated; the raw ones unbounded, for clipping.
    double RawCanvasX(double x) const;
    double RawCanvasY(double y) const;
    double CanvasX(double x) const { return Bounded(RawCanvasX(x)); }
    double CanvasY(double y) const { return Bounded(RawCanvasY(y)); }
    // True when a box of canvas pixels, grown by margin, misses the canvas.
    bool OffCanvas(double x1, double y1, double x2, double y2, double margin) const;
};

class VectorDevice final : public SceneDevice {
public:
    // Most path elements (segments, curves, glyphs) one page holds: a hostile
    // file of millions of objects ends there, as the raster's budgets end
    // its walks, instead of filling memory with one page's content.
    static constexpr uint64_t kMaxElementsPerPage = 1000000;

    // unitsPerPixel: the page's units (points, millimetres) a canvas pixel
    // spans. The walk is the one that draws through this device.
    VectorDevice(SceneWalk &walk, cairo_t *cr, double unitsPerPixel);
    ~VectorDevice() override;
    VectorDevice(const VectorDevice &) = delete;
    VectorDevice &operator=(const VectorDevice &) = delete;

    void Line(double x1, double y1, double x2, double y2, uint16_t pen, int lineType) override;
    void Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
             uint16_t pen, int lineType) override;
    void Point(double x, double y, uint16_t pen) override;
    void Solid(const SolidRecord &solid, const double values[8], COLORREF color) override;
    void Text(const TextEntity &text) override;
    void ReferenceMark(double x, double y) override;
    void VersionLine(const char *message) override;

private:
    bool UsePen(uint16_t pen);
    bool UseLineType(int lineType, double stepLength, double phase);
    void StrokeSegment(double x1, double y1, double x2, double y2, int type, double phase, double margin);
    void StrokeRandomLine(double x1, double y1, double x2, double y2, double t0, double t1, int lineType);
    bool SelectTextFont(const char *fontName, int32_t widthPx, int32_t heightPx, int32_t escapement,
                        PortableTextFace *face);
    void ShowCell(const PortableTextFace &face, double x, double y, const char *bytes, size_t length);
    cairo_font_face_t *FontFace(const PortableTextFace &face);

    // False once the page's path elements are spent.
    bool Spend(uint64_t elements);
    double LineMargin(int type) const;

    SceneWalk &walk_;
    VectorCanvas canvas_;
    cairo_t *cr_;
    std::map<std::pair<std::string, int>, cairo_font_face_t *> faces_;
    uint64_t elementsLeft_;
};
