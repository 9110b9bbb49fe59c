// Pens and line styles: which pen an entity is drawn with once layer states
// apply, which pass draws it, the prepared pens, and the per-pixel dash and
// random-line walks.
#pragma once

#include <cstdint>

constexpr int kLineTypeSolid = 1;
constexpr int kLineTypeInvisible = 10;
constexpr int kFirstRandomType = 11;
constexpr int kLastRandomType = 15;
constexpr uint16_t kDisplayOnlyPen = 9;
constexpr uint16_t kFirstExtendedPenNumber = 100;
constexpr uint16_t kLastExtendedPenNumber = 356;
// Widest pen drawn, in pixels: a wider one from a damaged file would only
// flood the raster.
constexpr uint32_t kMaxPenPixels = 100;
// Largest sideways offset of a random line, in pixels.
constexpr uint32_t kMaxRandomAmplitude = 4096;

// Line type as drawn: types outside the tables draw solid.
int UsableLineType(int lineType);
