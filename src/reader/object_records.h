// The eight object classes of the archive and their version-dependent
// record layouts.
#pragma once

#include <cstdint>

#include "reader/drawing_store.h"

constexpr uint32_t kFirstVersionWithPenWidth = 351;
constexpr uint32_t kFirstVersionWithDimensionExtras = 420;

extern uint32_t fileVersion;  // steers every layout below
extern int32_t currentOwner;  // owner given to each object read

// Reads the object of the class in the class map slot into its table.
// 0 for a class name outside the eight, or when the data ends inside the
// object (the incomplete record is not kept).
int ReadObject(int32_t slot);

void ReadHeader(EntityHeader &header);
void ReadLine(LineRecord &line);
void ReadPoint(PointRecord &point);
void ReadText(TextRecord &text);
