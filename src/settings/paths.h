// The drawing's path as the module keeps it: UTF-8 text, whichever form the
// host named the file in (its ANSI code page or UTF-16), so that every file
// the module opens beside the drawing, and the file-name macros, work for
// names any code page can spell.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

std::string PathFromAnsi(const char *ansi);
std::string PathFromWide(const WCHAR *wide);
std::vector<WCHAR> WidePath(const std::string &utf8);
// Opens a file named in UTF-8 for reading.
HANDLE OpenPathForReading(const std::string &utf8, DWORD share);
// A drawing's Shift-JIS text (names, texts) as UTF-8.
std::string Utf8FromShiftJis(const char *text);
// A path's text as the drawing's Shift-JIS text shows it.
std::string PathAsShiftJis(const std::string &utf8);
