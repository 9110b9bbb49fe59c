// Counters of live platform objects, so tests can prove that conversions
// release everything they create.
#pragma once

#include <cstddef>

struct PlatformLiveCounts {
    size_t files;
    size_t memoryBlocks;
    size_t gdiObjects;  // bitmaps, brushes, pens and device contexts, stock objects excluded
    size_t windows;
};

PlatformLiveCounts GetPlatformLiveCounts();
