// Text macros: a text that begins with "$", "&", "%" or "=" stands for a
// value filled in when the drawing is shown (date, time, file name and date,
// memo, layer-group scale, user variable).
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr int kMacroBufferBytes = 512;  // an expansion keeps at most 511 bytes

// Sets the clock the macros read (GetLocalTime when null): tests give a
// fixed one. Set before renders start; every render reads it.
void SetMacroClock(void (*clock)(SYSTEMTIME *time));
