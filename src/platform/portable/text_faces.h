// The face, size and turn a font of the portable layer draws its text with,
// for devices that draw text as outlines or embed the face (PDF, SVG): the
// same numbers TextOutA uses, so that such text lands where the raster's
// does.
#pragma once

#include "platform/win32.h"

typedef struct FT_FaceRec_ *FT_Face;

struct PortableTextFace {
    FT_Face face;      // owned by the portable layer and sized by it: read its tables only
    const char *file;  // the face's file and index, for a device that opens its own
    int index;
    int ppem;           // pixels per em
    int ascent;         // pixels from a cell's top to the baseline
    double widthRatio;  // horizontal stretch of the glyphs
    double angle;       // radians, counter-clockwise
    void *owner;        // the portable layer's entry of the face
};

// False for a handle that is not a font, or a face that cannot be found.
bool DescribeTextFace(HFONT font, PortableTextFace *out);
// The face's glyph of a code point (0 for none), looked up while no other
// thread uses the face.
unsigned TextFaceGlyphIndex(const PortableTextFace &face, uint32_t codePoint);
