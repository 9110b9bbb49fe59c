// The portable GDI's objects and device contexts (internal to platform/).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

enum class GdiKind : uint32_t { Bitmap = 1, Brush, Pen, Font };

struct PortableFont;

constexpr uint32_t kGdiMagic = 0x47444931;  // "GDI1"
constexpr uint32_t kDcMagic = 0x47444331;   // "GDC1"

struct PortableGdiObject {
    uint32_t magic = kGdiMagic;
    GdiKind kind;
    bool stock = false;
    bool deletePending = false;  // DeleteObject while selected: freed when deselected
    unsigned selectCount = 0;
    // Bitmap: a DIB of 32-bit pixels in DIB memory order (bottom-up when
    // height > 0); the stock bitmap is 1 × 1.
    int32_t width = 0;
    int32_t height = 0;
    uint32_t *pixels = nullptr;
    // Brush and pen.
    COLORREF color = 0;
    int penStyle = PS_SOLID;
    int penWidth = 0;
    // Font.
    PortableFont *font = nullptr;
};

struct PortableDc {
    uint32_t magic = kDcMagic;
    bool windowDc = false;
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ pen = nullptr;
    HGDIOBJ font = nullptr;
    COLORREF backgroundColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    int backgroundMode = OPAQUE;
    POINT position = {0, 0};  // current position for MoveToEx and LineTo
};

// Pixel access for the rasteriser (raster.cpp).
uint32_t *PixelRow(PortableGdiObject *bitmap, int32_t y);
int32_t RowCount(const PortableGdiObject *bitmap);
uint32_t PixelOf(COLORREF color);
bool IsNullBrush(HGDIOBJ brush);
bool IsNullPen(HGDIOBJ pen);

void ReleaseFont(PortableFont *font);

bool IsValidObject(HGDIOBJ object);
bool IsValidDc(HDC dc);
HDC CreateWindowDc();
void DestroyDc(HDC dc);
