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

uint16_t EffectivePen(uint16_t layerGroup, uint16_t layer, uint16_t penColor);
bool IsInPass(uint16_t pen);

void CreatePenTable();
void DeletePenTable();

// Line type as drawn: types outside the tables draw solid.
int UsableLineType(int lineType);

void BeginLineStyle(uint32_t startBit, uint16_t lineType);
void DashStep(int32_t x, int32_t y);
void RandomStep(double x, double y);
// One pixel step of the random walk at (x, y): true when it draws to a
// point, which it moves (x, y) to.
bool RandomAction(double *x, double *y);
void SetUpRandomSegment(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int lineType);

// The walks' state as if n more pixels had been stepped without drawing.
void SkipDashSteps(uint64_t n);
void SkipRandomSteps(uint64_t n);
