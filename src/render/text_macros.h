// Text macros: a text that begins with "$", "&", "%" or "=" stands for a
// value filled in when the drawing is shown (date, time, file name and date,
// memo, layer-group scale, user variable).
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr int kMacroBufferBytes = 512;  // an expansion keeps at most 511 bytes

extern char macroBuffer[kMacroBufferBytes];

// Reads the clock for the macros; GetLocalTime unless a test sets another.
extern void (*macroClock)(SYSTEMTIME *time);

// 1 when the text is a macro and macroBuffer holds its expansion, else 0.
int ExpandTextMacro(const char *text, uint16_t layerGroup);
