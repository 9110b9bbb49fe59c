// The stroke primitives: styled pixel segments, flattened arcs and ellipses,
// and the dot of a point.
#pragma once

#include <cstdint>

// Most pixels the dash and random walks step through in one conversion: a
// hostile file of millions of long patterned lines ends there instead of
// hanging the viewer.
constexpr uint64_t kMaxWalkStepsPerConversion = 30000000;

// Pixel step i of LineDDA's walk from (x1, y1) toward (x2, y2).
void DdaPixel(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t i, int64_t *x, int64_t *y);
