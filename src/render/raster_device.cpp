// The raster device: the scene's objects drawn into the render context's
// device context with GDI's pixel rules, through the view transform.
#include <cstring>

#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/solids.h"
#include "render/text.h"

namespace {

constexpr COLORREF kReferenceMarkColor = RGB(255, 0, 0);
constexpr int32_t kReferenceMarkHalf = 3;  // a red dot 6 pixels across
constexpr int kVersionLineX = 60;
constexpr int32_t kVersionLineHeight = 16;
const char kVersionLineFace[] = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック

class Raster final : public SceneDevice {
   public:
    void Line(double x1, double y1, double x2, double y2, uint16_t pen, int lineType) override
    {
        BeginLineStyle(0, static_cast<uint16_t>(lineType));
        DrawStyledLine(ToPixelX(x1), ToPixelY(y1), ToPixelX(x2), ToPixelY(y2), pen, lineType);
    }

    void Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
             uint16_t pen, int lineType) override
    {
        BeginLineStyle(0, static_cast<uint16_t>(lineType));
        DrawStyledArc(cx, cy, start, sweep, radius, tilt, flatness, pen, lineType);
    }

    void Point(double x, double y, uint16_t pen) override { DrawPointMark(ToPixelX(x), ToPixelY(y), pen); }

    void Solid(uint32_t index, const double v[8], COLORREF color) override
    {
        RenderContext &rc = renderContext;
        rc.currentPen = CreatePen(PS_SOLID, 1, color);
        HBRUSH brush = CreateSolidBrush(color);
        rc.previousPen = SelectObject(rc.targetDc, rc.currentPen);
        HGDIOBJ previousBrush = SelectObject(rc.targetDc, brush);
        FillSolid(index, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        SelectObject(rc.targetDc, previousBrush);
        DeleteObject(brush);
        SelectObject(rc.targetDc, rc.previousPen);
        DeleteObject(rc.currentPen);
        rc.currentPen = nullptr;
    }

    void Text(const TextEntity &t) override
    {
        // Texts are drawn without a background; the mode stays for the rest
        // of the scene.
        SetBkMode(renderContext.targetDc, TRANSPARENT);
        DrawTextEntity(t.x1, t.y1, t.x2, t.y2, t.fontName, t.halfWidth, t.height, t.halfSpacing, t.text, t.pen, t.flags,
                       t.layerGroup);
    }

    void ReferenceMark(double x, double y) override
    {
        RenderContext &rc = renderContext;
        rc.currentPen = CreatePen(PS_SOLID, 1, kReferenceMarkColor);
        rc.previousPen = SelectObject(rc.targetDc, rc.currentPen);
        HBRUSH brush = CreateSolidBrush(kReferenceMarkColor);
        HGDIOBJ previousBrush = SelectObject(rc.targetDc, brush);
        const int32_t px = ToPixelX(x), py = ToPixelY(y);
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
    void VersionLine(const char *message) override
    {
        RenderContext &rc = renderContext;
        HFONT font = CreateTextFont(kVersionLineFace, 0, kVersionLineHeight, 0);
        HGDIOBJ previous = SelectObject(rc.targetDc, font);
        TextOutA(rc.targetDc, kVersionLineX, rc.rasterHeight / 2, message, static_cast<int>(std::strlen(message)));
        SelectObject(rc.targetDc, previous);
        DeleteObject(font);
    }
};

}  // namespace

SceneDevice &RasterDevice()
{
    static Raster device;
    return device;
}
