#include "platform/portable/large_blocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Transparent huge pages come in 2 MiB; aligned to that, a raster of 10 MB
// takes five page faults instead of 2500 (the faults, not the pixels, were
// most of the cost of a blank 1920-pixel picture).
constexpr size_t kHugePageBytes = size_t{2} << 20;
// Freed mappings kept for the next conversion, which asks for the same
// sizes: warm memory, neither faulted in nor zeroed by the kernel again.
constexpr int kKeptMappings = 4;
constexpr size_t kMaxKeptBytes = size_t{96} << 20;
#ifdef __EMSCRIPTEN__
// WebAssembly has one linear memory and no pages to map: the heap serves all.
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif

struct Mapping {
    void *block;
    size_t bytes;  // mapped, a multiple of kHugePageBytes
};
// Process-wide: any thread's blocks come and go through here (a host frees
// the plug-in's blocks outside the module's lock).
struct KeptMappings {
    std::mutex mutex;
    Mapping kept[kKeptMappings] = {};
    size_t bytes = 0;
} keptMappings;

size_t MappedBytes(size_t bytes) { return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1); }

void *TakeKept(size_t mapped)
{
    std::lock_guard<std::mutex> hold(keptMappings.mutex);
    for (Mapping &mapping : keptMappings.kept) {
        if (mapping.block != nullptr && mapping.bytes == mapped) {
            void *block = mapping.block;
            mapping.block = nullptr;
            keptMappings.bytes -= mapped;
            return block;
        }
    }
    return nullptr;
}

// Keeps a freed mapping for the next conversion when there is room.
bool KeepMapping(void *block, size_t mapped)
{
    std::lock_guard<std::mutex> hold(keptMappings.mutex);
    for (Mapping &mapping : keptMappings.kept) {
        if (mapping.block == nullptr && keptMappings.bytes + mapped <= kMaxKeptBytes) {
            mapping = {block, mapped};
            keptMappings.bytes += mapped;
            return true;
        }
    }
    return false;
}

void *MapAligned(size_t mapped)
{
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

}  // namespace

void *AllocateBytes(size_t bytes, bool zero)
{
    if (bytes < kLargeBlockBytes || !kMapLargeBlocks) {
        const size_t size = bytes ? bytes : 1;
        return zero ? std::calloc(1, size) : std::malloc(size);
    }
    const size_t mapped = MappedBytes(bytes);
    if (void *block = TakeKept(mapped)) {
        if (zero) std::memset(block, 0, bytes);
        return block;
    }
    return MapAligned(mapped);  // fresh pages are zero
}

void FreeBytes(void *block, size_t bytes)
{
    if (block == nullptr) return;
    if (bytes < kLargeBlockBytes || !kMapLargeBlocks) {
        std::free(block);
        return;
    }
    const size_t mapped = MappedBytes(bytes);
    if (!KeepMapping(block, mapped)) munmap(block, mapped);
}
