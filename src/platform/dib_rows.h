// Rows of a device-independent bitmap are padded to a multiple of four bytes.
#pragma once

#include <cstddef>
#include <cstdint>

inline size_t DibRowStride(uint64_t width, unsigned bytesPerPixel)
{
    return static_cast<size_t>((width * bytesPerPixel + 3) & ~uint64_t{3});
}
