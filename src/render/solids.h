// Solids: filled quadrilaterals, discs, segments, sectors and bands.
#pragma once

#include <cstdint>

// Most raster pixels the solids of one conversion may cover (counted by the
// bounding boxes of their polygons on the raster): about 150 fills of a
// whole 1920-pixel raster. A hostile file of millions of huge solids ends
// there instead of hanging the viewer.
constexpr uint64_t kMaxSolidPixelsPerConversion = 400000000;
