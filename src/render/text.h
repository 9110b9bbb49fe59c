// Text drawing: a text entity character by character along its baseline,
// each character in a font made for it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

constexpr int32_t kMinTextPixels = 6;     // smaller texts are drawn as an outline box
constexpr uint16_t kTurnedTextFlag = 32;  // glyphs turned by a further 90 degrees

// Most characters one conversion draws: a hostile file of millions of huge
// characters ends there instead of hanging the viewer.
constexpr uint64_t kMaxCharactersPerConversion = 100000;

// A text entity laid out on the sheet, in millimetres, before any device
// draws it: the bytes drawn (its macros expanded), the first character
// cell's corner, the point the cells advance toward, and the cells' size
// once a squeeze ("^d") or trailing leader dots are taken into account.
// The raster draws each cell with a font of its own; other devices may draw
// the same cells as text.
struct TextLayout {
    const char *drawn;     // Shift-JIS; valid until the walk lays out its next text
    size_t length;         // bytes of it drawn
    double baselineAngle;  // degrees, the baseline's direction
    double angle;          // the glyphs' direction (a turned text's is 90 more)
    double startX, startY;
    double towardX, towardY;
    double halfWidth, height, halfSpacing;
};

// The width in bytes of the character cell at byte i (1, or 2 for a
// double-byte character), moving (x, y) from its corner to the next one's.
size_t NextCell(const TextLayout &layout, size_t i, double *x, double *y);

// A font for one character; the face name is Shift-JIS, converted here so
// that no host's code page changes which face is found.
HFONT CreateTextFont(const char *fontName, int32_t widthPx, int32_t heightPx, int32_t escapement);
void MoveToward(double *x, double *y, double tx, double ty, double distance);
