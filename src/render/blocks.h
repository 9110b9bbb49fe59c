// Block rendering: members of block definitions placed through every chain
// of references that leads from their definition to the drawing.
#pragma once

#include <cstdint>

// Most definitions a chain of references may pass through: deeper chains
// (and chains that return to a definition already on them) are not followed.
constexpr int kMaxBlockDepth = 64;
// Most placements (a member moved by one reference) of one conversion:
// definitions that multiply (one placed many times inside one placed many
// times, level after level) stop there instead of hanging the viewer.
constexpr uint64_t kMaxBlockPlacements = 1000000;

struct MemberStyle {
    uint16_t memberPen;
    uint16_t memberLineType;
    const char *memberFontName;
    const char *memberText;
    uint16_t memberTextFlags;
    uint16_t memberLayerGroup;
    uint16_t memberLayer;
    uint16_t memberRole;  // of texts: kTextInBlock, kTextDimension bits
};
