// Text drawing: a text entity character by character along its baseline.
#pragma once

#include <cstdint>

void DrawTextEntity(double x1, double y1, double x2, double y2, const char *fontName, double halfWidth,
                    double height, double halfSpacing, const char *text, uint16_t pen, uint16_t flags,
                    uint16_t layerGroup);
