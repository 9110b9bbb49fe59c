// The eight object classes of the archive and their version-dependent
// record layouts.
#pragma once

#include <cstdint>

#include "reader/drawing_store.h"

constexpr uint32_t kFirstVersionWithPenWidth = 351;
constexpr uint32_t kFirstVersionWithDimensionExtras = 420;

extern uint32_t fileVersion;  // steers every layout below
extern int32_t currentOwner;  // owner given to each object read

// Reads an object of the named class into its table.
// 0 for a class name outside the eight, or when the data ends inside the
// object (the incomplete record is not kept).
int ReadObject(const char *className);

void ReadHeader(EntityHeader &header);
void ReadLine(LineRecord &line);
void ReadPoint(PointRecord &point);
void ReadText(TextRecord &text);
