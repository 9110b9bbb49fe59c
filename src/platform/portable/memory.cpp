// Local and global memory blocks. A fixed block's handle is its address; a
// movable block's handle is a separate record that LocalLock resolves.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/portable/large_blocks.h"
#include "platform/portable/platform_internal.h"
#include "platform/win32.h"

namespace {

struct MovableBlock {
    void *data;
    SIZE_T size;
    unsigned lockCount;
};

// Process-wide: a host frees the plug-in's blocks from any thread, outside
// the module's lock.
struct Blocks {
    std::mutex mutex;
    std::unordered_map<void *, SIZE_T> fixed;  // address -> size
    std::unordered_set<MovableBlock *> movable;
} blocks;

// Zero-byte blocks are legal; every block gets a distinct address.
HLOCAL AllocateBlock(UINT flags, SIZE_T bytes)
{
    void *data = AllocateBytes(bytes, (flags & LMEM_ZEROINIT) != 0);
    if (data == nullptr) return nullptr;
    std::lock_guard<std::mutex> hold(blocks.mutex);
    if ((flags & LMEM_MOVEABLE) == 0) {
        blocks.fixed.emplace(data, bytes);
        return data;
    }
    auto *record = new (std::nothrow) MovableBlock{data, bytes, 0};
    if (record == nullptr) {
        FreeBytes(data, bytes);
        return nullptr;
    }
    blocks.movable.insert(record);
    return record;
}

HLOCAL FreeBlock(HLOCAL mem)
{
    if (mem == nullptr) return nullptr;
    std::unique_lock<std::mutex> hold(blocks.mutex);
    auto fixed = blocks.fixed.find(mem);
    if (fixed != blocks.fixed.end()) {
        const SIZE_T size = fixed->second;
        blocks.fixed.erase(fixed);
        hold.unlock();
        FreeBytes(mem, size);
        return nullptr;
    }
    auto *record = static_cast<MovableBlock *>(mem);
    if (blocks.movable.erase(record) == 0) return mem;  // not a block of ours: failure answers the handle
    hold.unlock();
    FreeBytes(record->data, record->size);
    delete record;
    return nullptr;
}

}  // namespace

size_t LiveMemoryBlockCount()
{
    std::lock_guard<std::mutex> hold(blocks.mutex);
    return blocks.fixed.size() + blocks.movable.size();
}

extern "C" {

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) { return AllocateBlock(flags, bytes); }

LPVOID WINAPI LocalLock(HLOCAL mem)
{
    if (mem == nullptr) return nullptr;
    std::lock_guard<std::mutex> hold(blocks.mutex);
    if (blocks.fixed.count(mem) != 0) return mem;
    auto *record = static_cast<MovableBlock *>(mem);
    if (blocks.movable.count(record) == 0) return nullptr;
    ++record->lockCount;
    return record->data;
}

BOOL WINAPI LocalUnlock(HLOCAL mem)
{
    auto *record = static_cast<MovableBlock *>(mem);
    std::lock_guard<std::mutex> hold(blocks.mutex);
    if (mem == nullptr || blocks.movable.count(record) == 0) return FALSE;
    if (record->lockCount > 0) --record->lockCount;
    return record->lockCount > 0 ? TRUE : FALSE;
}

HLOCAL WINAPI LocalFree(HLOCAL mem) { return FreeBlock(mem); }

SIZE_T WINAPI LocalSize(HLOCAL mem)
{
    std::lock_guard<std::mutex> hold(blocks.mutex);
    auto fixed = blocks.fixed.find(mem);
    if (fixed != blocks.fixed.end()) return fixed->second;
    auto *record = static_cast<MovableBlock *>(mem);
    return blocks.movable.count(record) != 0 ? record->size : 0;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) { return AllocateBlock(flags, bytes); }

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) { return FreeBlock(mem); }

LPSTR WINAPI lstrcpynA(LPSTR dest, LPCSTR src, int maxLength)
{
    // Copies at most maxLength - 1 characters and always terminates, as Win32.
    if (dest == nullptr || src == nullptr || maxLength <= 0) return dest;
    int i = 0;
    for (; i < maxLength - 1 && src[i] != '\0'; ++i) dest[i] = src[i];
    dest[i] = '\0';
    return dest;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b)
{
    // Compares without regard to the case of ASCII letters.
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

}  // extern "C"
