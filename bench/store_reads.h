// What the reader benchmarks time: one read of a file's bytes into the
// drawing store, and the store released.
#pragma once

#include <cstdint>
#include <vector>

#include "reader/document_readers.h"
#include "reader/drawing_store.h"

inline void ReadOnceIntoStore(const std::vector<uint8_t> &bytes, bool figure)
{
    AllocateStore(bytes.size());
    if (figure) {
        ReadFigureFile(bytes.data(), bytes.size());
    } else {
        ReadDrawingFile(bytes.data(), bytes.size());
    }
    ReleaseStore();
}
