// What the reader benchmarks time: one read of a file's bytes into a
// drawing of its own, and the drawing freed.
#pragma once

#include <cstdint>
#include <vector>

#include "reader/document_readers.h"
#include "reader/drawing.h"

inline void ReadOnceIntoStore(const std::vector<uint8_t> &bytes, bool figure)
{
    Drawing drawing;
    ReadFigureOrDrawing(drawing, bytes.data(), bytes.size(), figure, SettingsReach::kModule);
}
