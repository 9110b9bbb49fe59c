// The archive's tagged object lists: the class map they keep (a class is
// named once, then referred to by its map index) and the lists of objects
// that the drawing and figure readers read through it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kClassSlots = 50;         // slots 0..49; slot 0 is never used
constexpr size_t kClassNameBytes = 20;  // a name of at most 19 characters and its NUL

struct ClassMap {
    char names[kClassSlots][kClassNameBytes];
    uint32_t mapIndex[kClassSlots];
    int32_t classCount;
    int32_t mapCount;
};

struct ReadContext;  // reader/drawing.h

void ResetClassMap(ReadContext &rc);
// Reads n tagged objects; 1 when all n were read, 0 at the first failure
// (an unknown class, a tag that names none, the end of the data).
int ReadObjectList(ReadContext &rc, uint32_t n);
// One step of an object list: a tag and the object(s) it announces. Also
// used by the readers' block-definition loops, which read a member list
// after each definition. 0 on failure.
int ReadTaggedObject(ReadContext &rc, int (*afterEach)(ReadContext &rc));
