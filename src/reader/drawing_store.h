// The per-request drawing store: one table per object kind, sized once from
// the length of the drawing data, plus the string pool.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kTopLevelOwner = 100000;  // owner of the main drawing's objects

// Record slot sizes in bytes, as the store's capacity rule counts them.
constexpr size_t kPointSlotBytes = 64;
constexpr size_t kLineSlotBytes = 56;
constexpr size_t kArcSlotBytes = 80;
constexpr size_t kTextSlotBytes = 104;
constexpr size_t kDimensionSlotBytes = 552;
constexpr size_t kSolidSlotBytes = 88;
constexpr size_t kBlockRefSlotBytes = 64;
constexpr size_t kBlockDefSlotBytes = 32;

struct StoreBlock {
    unsigned char *bytes = nullptr;
    size_t capacity = 0;  // bytes
};

struct DrawingStore {
    StoreBlock points, lines, arcs, texts, dimensions, solids, textPool, blockRefs, blockDefs;
};

extern DrawingStore store;
extern uint32_t pointCount, lineCount, arcCount, textCount, dimensionCount, solidCount,
    blockRefCount, blockDefCount;
extern size_t poolCursor;
extern uint32_t firstBlockPoint, firstBlockLine, firstBlockArc, firstBlockText,
    firstBlockDimension, firstBlockSolid;

// Allocates the nine blocks for N bytes of drawing data; 1 when all exist.
int AllocateStore(size_t dataLength);
// Frees every allocated block; safe after a partial allocation.
void ReleaseStore();
// Empties every table and the pool.
void ResetStore();
