// Zeroed memory for the platform's blocks and bitmaps: small ones from the
// heap, large ones (rasters, host blocks) mapped on huge-page boundaries.
#pragma once

#include <cstddef>

// Blocks from this size on are mapped, not taken from the heap.
constexpr size_t kLargeBlockBytes = size_t{2} << 20;

// A zero-filled block of bytes (at least one); null when memory runs out.
void *AllocateZeroedBytes(size_t bytes);
// Frees a block of AllocateZeroedBytes; bytes must be the size asked for.
void FreeZeroedBytes(void *block, size_t bytes);
