// Code page 932 (Shift-JIS as Windows spells it) and Unicode: through
// iconv natively, through tables made from it for the web build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32.h"

constexpr uint32_t kNoCodePoint = 0xFFFFFFFFu;

// One character of one or two bytes; kNoCodePoint when the code page does
// not define it.
uint32_t Cp932CodePoint(const char *bytes, size_t length);
// Converts the whole input; a unit it cannot spell becomes '?' and sets
// *usedDefault. False when there is no converter at all.
bool Utf16ToCp932(const WCHAR *wide, size_t units, std::string *out, BOOL *usedDefault);
