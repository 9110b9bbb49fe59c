#include "render/text.h"

#include <cmath>
#include <cstring>

#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "render/text_macros.h"
#include "settings/setting_tables.h"

namespace {

constexpr UINT kShiftJisCodePage = 932;
constexpr int kMaxFaceChars = LF_FACESIZE - 1;
constexpr unsigned char kSqueezeMark = '^';
constexpr unsigned char kDotLead = 0x81;  // "・" in Shift-JIS
constexpr unsigned char kDotTrail = 0x45;
constexpr int kStepsPerCharacter = 10;  // the direction target lies ten steps per byte away

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

bool Finite(double v) { return std::isfinite(v); }

}  // namespace

void SceneWalk::DrawSmallTextBox(double x1, double y1, double x2, double y2, double angle, double height, uint16_t pen)
{
    double ax = x1, ay = y1, bx = x2, by = y2;
    OffsetPolar(&ax, &ay, angle + 90, height);
    OffsetPolar(&bx, &by, angle + 90, height);
    const int32_t px1 = ToPixelX(x1), py1 = ToPixelY(y1), px2 = ToPixelX(x2), py2 = ToPixelY(y2);
    const int32_t qx1 = ToPixelX(ax), qy1 = ToPixelY(ay), qx2 = ToPixelX(bx), qy2 = ToPixelY(by);
    BeginLineStyle(0, kLineTypeSolid);
    DrawStyledLine(px1, py1, qx1, qy1, pen, kLineTypeSolid);
    DrawStyledLine(px1, py1, px2, py2, pen, kLineTypeSolid);
    DrawStyledLine(qx2, qy2, px2, py2, pen, kLineTypeSolid);
    DrawStyledLine(qx2, qy2, qx1, qy1, pen, kLineTypeSolid);
}

// True when a character cell at pixel (x, y), reaching `reach` pixels from
// it in any direction, cannot touch the raster.
bool SceneWalk::CellOffRaster(int32_t x, int32_t y, int64_t reach) const
{
    const RenderContext &rc = renderContext;
    return x + reach < 0 || y + reach < 0 || x - reach > static_cast<int64_t>(rc.rasterWidth) ||
           y - reach > rc.rasterHeight;
}

void SceneWalk::ResetTextBudget() { charactersLeft = kMaxCharactersPerConversion; }

void MoveToward(double *x, double *y, double tx, double ty, double distance)
{
    const double d = std::sqrt((tx - *x) * (tx - *x) + (ty - *y) * (ty - *y));
    if (d == 0) return;
    const double f = distance / d;
    *x += (tx - *x) * f;
    *y += (ty - *y) * f;
}

HFONT CreateTextFont(const char *fontName, int32_t widthPx, int32_t heightPx, int32_t escapement)
{
    WCHAR face[LF_FACESIZE] = {};
    const int length = fontName != nullptr ? static_cast<int>(strnlen(fontName, 256)) : 0;
    if (length > 0) MultiByteToWideChar(kShiftJisCodePage, 0, fontName, length, face, kMaxFaceChars);
    face[kMaxFaceChars] = 0;
    return CreateFontW(heightPx, widthPx, escapement, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, face);
}

bool SceneWalk::LayOutText(double x1, double y1, double x2, double y2, double halfWidth, double height,
                           double halfSpacing, const char *text, uint16_t flags, uint16_t layerGroup,
                           TextLayout *layout)
{
    if (text == nullptr) return false;
    if (!Finite(x1) || !Finite(y1) || !Finite(x2) || !Finite(y2) || !Finite(halfWidth) || !Finite(height) ||
        !Finite(halfSpacing)) {
        return false;
    }
    TextLayout &out = *layout;
    const size_t storedLength = std::strlen(text);
    out.drawn = ExpandTextMacro(text, layerGroup) ? macroBuffer : text;
    out.baselineAngle = std::atan2(y2 - y1, x2 - x1) / degToRad;
    out.angle = out.baselineAngle;
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (flags == kTurnedTextFlag) {
        out.angle += 90;
    } else {
        OffsetPolar(&ax, &ay, out.angle + 90, height);
        OffsetPolar(&bx, &by, out.angle + 90, height);
    }
    const size_t fullLength = std::strlen(out.drawn);
    const double pitch = storedLength > 0 ? std::hypot(bx - ax, by - ay) / static_cast<double>(storedLength) : 0.0;
    double qx = ax, qy = ay;
    MoveToward(&qx, &qy, bx, by, static_cast<double>(fullLength) * kStepsPerCharacter * pitch);
    out.startX = ax;
    out.startY = ay;
    out.towardX = qx;
    out.towardY = qy;

    const auto *bytes = reinterpret_cast<const unsigned char *>(out.drawn);
    size_t n = fullLength;
    bool squeezed = false;
    if (n > 2 && bytes[n - 2] == kSqueezeMark) {
        // "^d": the text takes the room of d fewer bytes.
        const unsigned char digit = static_cast<unsigned char>(bytes[n - 1] - '0');
        n -= 2;
        long k = static_cast<long>(n) - digit;
        if (k < 2) k = static_cast<long>(n);
        halfWidth *= static_cast<double>(k) / static_cast<double>(n);
        halfSpacing *= static_cast<double>(k) / static_cast<double>(n);
        squeezed = true;
    }
    if (!squeezed && n > 4 && bytes[n - 2] == kDotLead && bytes[n - 1] == kDotTrail) {
        // Trailing "・": the rest spreads over the width of the whole text.
        while (n > 4 && bytes[n - 2] == kDotLead && bytes[n - 1] == kDotTrail) n -= 2;
        halfSpacing += static_cast<double>(fullLength - n) * (halfWidth + halfSpacing) / static_cast<double>(n);
    }
    out.length = n;
    out.halfWidth = halfWidth;
    out.height = height;
    out.halfSpacing = halfSpacing;
    return true;
}

size_t NextCell(const TextLayout &layout, size_t i, double *x, double *y)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(layout.drawn);
    const size_t w = i + 1 < layout.length && IsLeadByte(bytes[i]) && IsTrailByte(bytes[i + 1]) ? 2 : 1;
    MoveToward(x, y, layout.towardX, layout.towardY, (layout.halfWidth + layout.halfSpacing) * static_cast<double>(w));
    return w;
}

void SceneWalk::DrawTextEntity(double x1, double y1, double x2, double y2, const char *fontName, double halfWidth,
                               double height, double halfSpacing, const char *text, uint16_t pen, uint16_t flags,
                               uint16_t layerGroup)
{
    RenderContext &rc = renderContext;
    if (pen >= kPenCount) return;
    TextLayout layout;
    if (!LayOutText(x1, y1, x2, y2, halfWidth, height, halfSpacing, text, flags, layerGroup, &layout)) return;
    if (ToPixelLength(height) < kMinTextPixels) {
        DrawSmallTextBox(x1, y1, x2, y2, layout.baselineAngle, height, pen);
        return;
    }
    SetTextColor(rc.targetDc, penColorTable[pen]);
    const int32_t widthPx = ToPixelLength(layout.halfWidth);
    const int32_t heightPx = ToPixelLength(height);
    const int32_t escapement = SaturatePixel(layout.angle * 10);
    // A cell reaches at most its height and two widths from its corner.
    const int64_t reach = int64_t{heightPx < 0 ? -heightPx : heightPx} + 2 * int64_t{widthPx < 0 ? -widthPx : widthPx} +
                          2 * int64_t{heightPx < 0 ? -heightPx : heightPx};
    double px = layout.startX, py = layout.startY;
    for (size_t i = 0; i < layout.length;) {
        const int32_t cellX = ToPixelX(px), cellY = ToPixelY(py);
        const size_t at = i;
        const size_t w = NextCell(layout, i, &px, &py);
        if (!CellOffRaster(cellX, cellY, reach) && charactersLeft > 0) {
            --charactersLeft;
            HFONT font = CreateTextFont(fontName, widthPx, heightPx, escapement);
            HGDIOBJ previous = SelectObject(rc.targetDc, font);
            TextOutA(rc.targetDc, cellX, cellY, layout.drawn + at, static_cast<int>(w));
            SelectObject(rc.targetDc, previous);
            DeleteObject(font);
        }
        i += w;
    }
}
