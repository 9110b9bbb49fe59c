// The eight object classes of the archive and their version-dependent
// record layouts.
#pragma once

#include <cstdint>

#include "reader/drawing_store.h"

constexpr uint32_t kFirstVersionWithPenWidth = 351;
constexpr uint32_t kFirstVersionWithDimensionExtras = 420;

struct ReadContext;  // reader/drawing.h: the version steers every layout below

// Reads an object of the named class into its table, owned by the
// context's current owner.
// 0 for a class name outside the eight, or when the data ends inside the
// object (the incomplete record is not kept).
int ReadObject(ReadContext &rc, const char *className);

void ReadHeader(ReadContext &rc, EntityHeader &header);
void ReadLine(ReadContext &rc, LineRecord &line);
void ReadPoint(ReadContext &rc, PointRecord &point);
void ReadText(ReadContext &rc, TextRecord &text);
