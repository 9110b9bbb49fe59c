// Memory for the platform's blocks and bitmaps: small ones from the heap,
// large ones (rasters, host blocks) mapped on huge-page boundaries, a few of
// them kept when freed for the next conversion.
#pragma once

#include <cstddef>

// Blocks from this size on are mapped, not taken from the heap.
constexpr size_t kLargeBlockBytes = size_t{2} << 20;

// A block of bytes (at least one), zero-filled when asked; null when memory
// runs out. Without zero its contents are undefined, as LocalAlloc's are.
void *AllocateBytes(size_t bytes, bool zero);
// Frees a block of AllocateBytes; bytes must be the size asked for.
void FreeBytes(void *block, size_t bytes);
