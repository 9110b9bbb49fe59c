// The portable platform's fast paths against their plain meaning: 24-bit
// read-back of any width (with its row padding), fills, and large blocks
// kept from one conversion to the next.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/dib_rows.h"
#include "platform/win32.h"

namespace {

BITMAPINFO BottomUpInfo(int width, int rows, WORD bitCount)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = rows;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A DIB section of width x rows with a distinct colour in every pixel.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    uint32_t *pixels = nullptr;
    Surface(int width, int rows)
    {
        dc = CreateCompatibleDC(nullptr);
        const BITMAPINFO info = BottomUpInfo(width, rows, 32);
        void *bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t *>(bits);
        SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

TEST(PlatformFastPaths, ReadBackOfEveryWidthMatchesThePixelsAndZeroesThePadding)
{
    for (int width = 1; width <= 37; ++width) {
        const int rows = 3;
        Surface surface(width, rows);
        ASSERT_NE(surface.pixels, nullptr);
        for (int i = 0; i < width * rows; ++i)
            surface.pixels[i] = 0xAB000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
        const size_t stride = DibRowStride(static_cast<uint64_t>(width), 3);
        std::vector<uint8_t> out(stride * rows, 0xEE);  // the destination may hold anything
        BITMAPINFO info = BottomUpInfo(width, rows, 24);
        ASSERT_EQ(GetDIBits(surface.dc, surface.bitmap, 0, rows, out.data(), &info, DIB_RGB_COLORS), rows);
        for (int y = 0; y < rows; ++y) {
            // Both are bottom-up: the destination's row y is the section's row y in memory.
            const uint8_t *row = &out[static_cast<size_t>(y) * stride];
            for (int x = 0; x < width; ++x) {
                const uint32_t pixel = surface.pixels[y * width + x];
                ASSERT_EQ(row[3 * x], static_cast<uint8_t>(pixel)) << width << " " << x << "," << y;
                ASSERT_EQ(row[3 * x + 1], static_cast<uint8_t>(pixel >> 8));
                ASSERT_EQ(row[3 * x + 2], static_cast<uint8_t>(pixel >> 16));
            }
            for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad) ASSERT_EQ(row[pad], 0) << width;
        }
    }
}

TEST(PlatformFastPaths, PatBltFillsExactlyItsRectangle)
{
    Surface surface(50, 20);
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    HGDIOBJ previous = SelectObject(surface.dc, brush);
    ASSERT_TRUE(PatBlt(surface.dc, 3, 2, 40, 15, PATCOPY));
    int filled = 0;
    for (int i = 0; i < 50 * 20; ++i) filled += surface.pixels[i] != 0;
    EXPECT_EQ(filled, 40 * 15);
    EXPECT_TRUE(PatBlt(surface.dc, 60, 60, 5, 5, PATCOPY));  // off the surface: nothing, no harm
    SelectObject(surface.dc, previous);
    DeleteObject(brush);
}

TEST(PlatformFastPaths, LargeBlocksComeBackZeroedWhenAskedAndDistinctWhileAlive)
{
    constexpr SIZE_T kBytes = SIZE_T{8} << 20;  // above the size that is mapped and kept
    for (int round = 0; round < 6; ++round) {
        HLOCAL dirty = LocalAlloc(LMEM_FIXED, kBytes);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0x5A, kBytes);
        HLOCAL other = LocalAlloc(LMEM_FIXED, kBytes);
        ASSERT_NE(other, nullptr);
        EXPECT_NE(other, dirty);
        EXPECT_EQ(LocalFree(dirty), nullptr);
        EXPECT_EQ(LocalFree(other), nullptr);
        auto *zeroed = static_cast<uint8_t *>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, kBytes));
        ASSERT_NE(zeroed, nullptr);
        EXPECT_EQ(zeroed[0], 0);
        EXPECT_EQ(zeroed[kBytes / 2], 0);
        EXPECT_EQ(zeroed[kBytes - 1], 0);
        EXPECT_EQ(LocalFree(zeroed), nullptr);
        Surface surface(1920, 1357);  // a DIB section is zero-filled however its memory was used
        ASSERT_NE(surface.pixels, nullptr);
        EXPECT_EQ(surface.pixels[0], 0u);
        EXPECT_EQ(surface.pixels[1920 * 1357 - 1], 0u);
        std::memset(surface.pixels, 0x77, size_t{1920} * 1357 * 4);
    }
}

}  // namespace
