// The archive primitives: a bounds-checked cursor over the file image and
// the archive's values, strings, counts and class tags.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int64_t kNewClassTag = -1;

// The file image being read. A read past the end yields nothing, returns 0
// and marks the cursor exhausted; every loop of the readers stops there.
struct ArchiveCursor {
    const uint8_t *data = nullptr;
    size_t size = 0;
    size_t position = 0;
    bool exhausted = false;
};

struct ReadContext;  // reader/drawing.h

void BeginArchive(ReadContext &rc, const uint8_t *data, size_t size);
size_t RemainingBytes(const ReadContext &rc);

uint8_t ReadByte(ReadContext &rc);
uint16_t ReadWord(ReadContext &rc);
uint32_t ReadDword(ReadContext &rc);
double ReadDouble(ReadContext &rc);
void SkipBytes(ReadContext &rc, size_t count);

// A string in any of the archive's forms (a length byte; 0xFF and a 16-bit
// length; 0xFFFF and a 32-bit length; or 0xFF 0xFFFE and a UTF-16 length and
// text), stored in the drawing's pool as 8-bit Shift-JIS text.
const char *ReadString(ReadContext &rc);
// Passes over a string in any of those forms without keeping it.
void SkipString(ReadContext &rc);
// A count: a word, or 0xFFFF and two words (low half first).
uint32_t ReadCount(ReadContext &rc);
// The class tag before an object: kNewClassTag, or the map index of a class
// (other values match no class).
int64_t ReadClassTag(ReadContext &rc);
