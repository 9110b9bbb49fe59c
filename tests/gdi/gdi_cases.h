// GDI conformance cases: primitive drawing sequences kept as data, replayed
// through whatever Win32 this is built against (real GDI under Wine, or the
// portable layer), each into a fresh 32-bit DIB section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GdiCase {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<std::vector<std::string>> ops;  // each op: its words
};

// Parses the case file; lines: "case NAME W H", then ops ("pen W RRGGBB",
// "brush RRGGBB", "nullbrush", "move X Y", "line X Y", "dda X1 Y1 X2 Y2",
// "polygon X Y X Y ...", "ellipse L T R B"). '#' starts a comment.
std::vector<GdiCase> ParseGdiCases(const std::string &text);

struct GdiCaseResult {
    std::vector<uint8_t> bgr;  // bottom-up 24-bit rows padded to 4 bytes, as GetDIBits gives them
    std::string ddaPoints;     // the points LineDDA enumerated, in order
    bool ok = false;
};

GdiCaseResult RunGdiCase(const GdiCase &c);

// A 24-bit BMP of the result.
bool WriteCaseBmp(const std::string &path, const GdiCase &c, const GdiCaseResult &result);
