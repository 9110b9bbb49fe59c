#include "platform/portable/large_blocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

// Transparent huge pages come in 2 MiB; aligned to that, a raster of 10 MB
// takes five page faults instead of 2500 (the faults, not the pixels, were
// most of the cost of a blank 1920-pixel picture).
constexpr size_t kHugePageBytes = size_t{2} << 20;

size_t MappedBytes(size_t bytes) { return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1); }

}  // namespace

void *AllocateZeroedBytes(size_t bytes)
{
    if (bytes < kLargeBlockBytes) return std::calloc(1, bytes ? bytes : 1);
    const size_t mapped = MappedBytes(bytes);
    // Over-map by one huge page and trim, so the block starts on a 2 MiB boundary.
    const size_t reserve = mapped + kHugePageBytes;
    void *area = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (start + kHugePageBytes - 1) & ~uintptr_t{kHugePageBytes - 1};
    if (aligned > start) munmap(area, aligned - start);
    const uintptr_t end = aligned + mapped;
    if (start + reserve > end) munmap(reinterpret_cast<void *>(end), start + reserve - end);
    void *block = reinterpret_cast<void *>(aligned);
    madvise(block, mapped, MADV_HUGEPAGE);  // advice only: without it the block still works
    return block;
}

void FreeZeroedBytes(void *block, size_t bytes)
{
    if (block == nullptr) return;
    if (bytes < kLargeBlockBytes) {
        std::free(block);
        return;
    }
    munmap(block, MappedBytes(bytes));
}
