// Solids: filled quadrilaterals, discs, segments, sectors and bands.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Most raster pixels the solids of one conversion may cover (counted by the
// bounding boxes of their polygons on the raster): about 150 fills of a
// whole 1920-pixel raster. A hostile file of millions of huge solids ends
// there instead of hanging the viewer.
constexpr uint64_t kMaxSolidPixelsPerConversion = 400000000;

// Restores the solid budget; once per scene.
void ResetSolidBudget();

// Hands the top-level solids to the scene's device, each in its colour.
void DrawSolids();
// Fills solid `index` (its kind from the store) at the given eight values
// on the raster, with the pen and brush already selected.
void FillSolid(uint32_t index, double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4);
// The fill colour of a solid of the given effective pen; false when it has none.
bool SolidColor(uint32_t index, uint16_t pen, COLORREF *color);
// The colour solid `index` is filled in: its own colour or its pen's (print
// mode without colours makes it pen 1); false for a hidden solid.
bool SolidFillColor(uint32_t index, COLORREF *color);
