// Text drawing: a text entity character by character along its baseline,
// each character in a font made for it.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr int32_t kMinTextPixels = 6;     // smaller texts are drawn as an outline box
constexpr uint16_t kTurnedTextFlag = 32;  // glyphs turned by a further 90 degrees

// Most characters one conversion draws: a hostile file of millions of huge
// characters ends there instead of hanging the viewer.
constexpr uint64_t kMaxCharactersPerConversion = 100000;

// Restores the character budget; once per scene.
void ResetTextBudget();

void DrawTextEntity(double x1, double y1, double x2, double y2, const char *fontName, double halfWidth, double height,
                    double halfSpacing, const char *text, uint16_t pen, uint16_t flags, uint16_t layerGroup);
// A font for one character; the face name is Shift-JIS, converted here so
// that no host's code page changes which face is found.
HFONT CreateTextFont(const char *fontName, int32_t widthPx, int32_t heightPx, int32_t escapement);
void MoveToward(double *x, double *y, double tx, double ty, double distance);
