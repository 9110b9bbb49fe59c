#include "reader/drawing_store.h"

#include <cstdlib>

DrawingStore store;
uint32_t pointCount, lineCount, arcCount, textCount, dimensionCount, solidCount, blockRefCount,
    blockDefCount;
size_t poolCursor;
uint32_t firstBlockPoint = 1, firstBlockLine = 1, firstBlockArc = 1, firstBlockText = 1,
         firstBlockDimension = 1, firstBlockSolid = 1;

namespace {

bool AllocateBlock(StoreBlock &block, size_t bytes)
{
    // malloc(0) may answer null; every block gets at least one byte.
    block.bytes = static_cast<unsigned char *>(std::malloc(bytes ? bytes : 1));
    block.capacity = block.bytes ? bytes : 0;
    return block.bytes != nullptr;
}

void ReleaseBlock(StoreBlock &block)
{
    std::free(block.bytes);
    block.bytes = nullptr;
    block.capacity = 0;
}

}  // namespace

int AllocateStore(size_t dataLength)
{
    const size_t n = dataLength;
    const size_t half = n / 2;
    if (!AllocateBlock(store.points, n)) return 0;
    if (!AllocateBlock(store.lines, 2 * n)) return 0;
    if (!AllocateBlock(store.arcs, n)) return 0;
    if (!AllocateBlock(store.texts, n)) return 0;
    if (!AllocateBlock(store.dimensions, n)) return 0;
    if (!AllocateBlock(store.solids, n)) return 0;
    if (!AllocateBlock(store.textPool, n)) return 0;
    if (!AllocateBlock(store.blockRefs, half)) return 0;
    if (!AllocateBlock(store.blockDefs, half)) return 0;
    return 1;
}

void ReleaseStore()
{
    ReleaseBlock(store.points);
    ReleaseBlock(store.lines);
    ReleaseBlock(store.arcs);
    ReleaseBlock(store.texts);
    ReleaseBlock(store.dimensions);
    ReleaseBlock(store.solids);
    ReleaseBlock(store.textPool);
    ReleaseBlock(store.blockRefs);
    ReleaseBlock(store.blockDefs);
}

void ResetStore()
{
    pointCount = lineCount = arcCount = textCount = dimensionCount = solidCount = 0;
    blockRefCount = blockDefCount = 0;
    poolCursor = 0;
}
