// Device contexts, DIB sections, brushes and the block transfers the module
// uses, with GDI's object-ownership rules.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <utility>

#include "platform/portable/gdi_objects.h"
#include "platform/dib_rows.h"
#include "platform/portable/large_blocks.h"
#include "platform/portable/platform_diagnostics.h"
#include "platform/portable/platform_internal.h"
#include "platform/win32.h"

namespace {

// The process-wide state of this file:
//   handles  every live object and DC, under its mutex (renders on several
//            threads make and delete their own handles side by side)
//   checked  per thread, the last DC and object found alive: every drawing
//            call checks its handles, and a scene draws thousands of times
//            into one DC with one pen (a handle is used by the thread that
//            made it, which also deletes it)
//   Stock()  the stock objects, made once, never changed
struct LiveHandles {
    std::mutex mutex;
    std::unordered_set<PortableGdiObject *> objects;
    std::unordered_set<PortableDc *> dcs;
};
LiveHandles handles;

struct CheckedHandles {
    HDC dc = nullptr;
    HGDIOBJ object = nullptr;
};
thread_local CheckedHandles checked;

void Track(PortableGdiObject *object)
{
    const std::lock_guard<std::mutex> hold(handles.mutex);
    handles.objects.insert(object);
}

// Largest DIB section the platform creates: a side above kMaxSurfaceSide or
// more than kMaxSurfaceBytes of pixels fails like an exhausted GDI.
constexpr int64_t kMaxSurfaceSide = 1 << 16;
constexpr uint64_t kMaxSurfaceBytes = uint64_t{1} << 32;
constexpr int kStockObjectCount = 9;

void MakeStock(PortableGdiObject &object, GdiKind kind, COLORREF color)
{
    object.kind = kind;
    object.stock = true;
    object.color = color;
}

// Stock objects live in static storage for the whole process, like GDI's.
struct StockObjects {
    PortableGdiObject storage[kStockObjectCount];
    PortableGdiObject *objects[kStockObjectCount] = {};
    PortableGdiObject bitmap;
    uint32_t bitmapPixel = 0;
    StockObjects()
    {
        const struct {
            int index;
            GdiKind kind;
            COLORREF color;
        } kinds[] = {{WHITE_BRUSH, GdiKind::Brush, RGB(255, 255, 255)},
                     {BLACK_BRUSH, GdiKind::Brush, RGB(0, 0, 0)},
                     {NULL_BRUSH, GdiKind::Brush, 0},
                     {WHITE_PEN, GdiKind::Pen, RGB(255, 255, 255)},
                     {BLACK_PEN, GdiKind::Pen, RGB(0, 0, 0)},
                     {NULL_PEN, GdiKind::Pen, 0}};
        for (const auto &k : kinds) {
            MakeStock(storage[k.index], k.kind, k.color);
            objects[k.index] = &storage[k.index];
        }
        MakeStock(bitmap, GdiKind::Bitmap, 0);  // a new memory DC's 1 x 1 bitmap
        bitmap.width = 1;
        bitmap.height = 1;
        bitmap.pixels = &bitmapPixel;
    }
};

StockObjects &Stock()
{
    static StockObjects stock;
    return stock;
}

bool IsStock(HGDIOBJ object)
{
    StockObjects &stock = Stock();
    if (object == &stock.bitmap) return true;
    for (PortableGdiObject *candidate : stock.objects) {
        if (candidate != nullptr && candidate == object) return true;
    }
    return false;
}

// 0x00RRGGBB pixels to B, G, R bytes: eight pixels make three 64-bit words
// (little-endian), stored whole; byte-wise stores, or words assembled in
// memory, run several times slower.
void PackRow24(const uint32_t *source, int32_t width, unsigned char *target)
{
    constexpr uint64_t kRgb = 0xFFFFFF;
    int32_t column = 0;
    for (; column + 8 <= width; column += 8, source += 8, target += 24) {
        const uint64_t p0 = source[0] & kRgb, p1 = source[1] & kRgb, p2 = source[2] & kRgb, p3 = source[3] & kRgb;
        const uint64_t p4 = source[4] & kRgb, p5 = source[5] & kRgb, p6 = source[6] & kRgb, p7 = source[7] & kRgb;
        const uint64_t first = p0 | p1 << 24 | p2 << 48;
        const uint64_t second = p2 >> 16 | p3 << 8 | p4 << 32 | p5 << 56;
        const uint64_t third = p5 >> 8 | p6 << 16 | p7 << 40;
        std::memcpy(target, &first, sizeof first);
        std::memcpy(target + 8, &second, sizeof second);
        std::memcpy(target + 16, &third, sizeof third);
    }
    for (; column < width; ++column, ++source, target += 3) {
        target[0] = static_cast<unsigned char>(*source);
        target[1] = static_cast<unsigned char>(*source >> 8);
        target[2] = static_cast<unsigned char>(*source >> 16);
    }
}

size_t PixelBytes(const PortableGdiObject *bitmap)
{
    const int64_t rows = bitmap->height < 0 ? -int64_t{bitmap->height} : bitmap->height;
    return static_cast<size_t>(bitmap->width) * static_cast<size_t>(rows) * sizeof(uint32_t);
}

void FreeObject(PortableGdiObject *object)
{
    {
        const std::lock_guard<std::mutex> hold(handles.mutex);
        handles.objects.erase(object);
    }
    if (checked.object == object) checked.object = nullptr;
    if (object->pixels != nullptr) FreeBytes(object->pixels, PixelBytes(object));
    if (object->font != nullptr) ReleaseFont(object->font);
    object->magic = 0;
    delete object;
}

void Deselect(HGDIOBJ object)
{
    if (object == nullptr || object->stock) return;
    if (object->selectCount > 0) --object->selectCount;
    if (object->selectCount == 0 && object->deletePending) FreeObject(object);
}

HGDIOBJ *SlotFor(HDC dc, GdiKind kind)
{
    switch (kind) {
    case GdiKind::Bitmap: return &dc->bitmap;
    case GdiKind::Brush: return &dc->brush;
    case GdiKind::Pen: return &dc->pen;
    case GdiKind::Font: return &dc->font;
    }
    return nullptr;
}

HDC NewDc(bool windowDc)
{
    auto *dc = new PortableDc;
    dc->windowDc = windowDc;
    dc->bitmap = &Stock().bitmap;
    dc->brush = Stock().objects[WHITE_BRUSH];
    dc->pen = Stock().objects[BLACK_PEN];
    const std::lock_guard<std::mutex> hold(handles.mutex);
    handles.dcs.insert(dc);
    return dc;
}

}  // namespace

// A DIB stores its rows bottom-up when its height is positive.
uint32_t *PixelRow(PortableGdiObject *bitmap, int32_t y)
{
    const int32_t rows = bitmap->height < 0 ? -bitmap->height : bitmap->height;
    const int32_t memoryRow = bitmap->height > 0 ? rows - 1 - y : y;
    return bitmap->pixels + static_cast<size_t>(memoryRow) * static_cast<size_t>(bitmap->width);
}

int32_t RowCount(const PortableGdiObject *bitmap) { return bitmap->height < 0 ? -bitmap->height : bitmap->height; }

// A COLORREF as the 32-bit pixel a DIB section stores (0x00RRGGBB).
uint32_t PixelOf(COLORREF color)
{
    return (uint32_t{GetRValue(color)} << 16) | (uint32_t{GetGValue(color)} << 8) | GetBValue(color);
}

bool IsNullBrush(HGDIOBJ brush) { return brush == Stock().objects[NULL_BRUSH]; }

bool IsNullPen(HGDIOBJ pen) { return pen == Stock().objects[NULL_PEN]; }

bool IsValidObject(HGDIOBJ object)
{
    if (object == nullptr) return false;
    if (object == checked.object) return true;
    if (!IsStock(object)) {
        const std::lock_guard<std::mutex> hold(handles.mutex);
        if (handles.objects.count(object) == 0) return false;
    }
    checked.object = object;
    return true;
}

bool IsValidDc(HDC dc)
{
    if (dc == nullptr) return false;
    if (dc == checked.dc) return true;
    {
        const std::lock_guard<std::mutex> hold(handles.mutex);
        if (handles.dcs.count(dc) == 0) return false;
    }
    checked.dc = dc;
    return true;
}

HDC CreateWindowDc() { return NewDc(true); }

void DestroyDc(HDC dc)
{
    {
        const std::lock_guard<std::mutex> hold(handles.mutex);
        handles.dcs.erase(dc);
    }
    if (checked.dc == dc) checked.dc = nullptr;
    HGDIOBJ selected[4] = {dc->bitmap, dc->brush, dc->pen, dc->font};
    dc->magic = 0;
    delete dc;
    for (HGDIOBJ object : selected) Deselect(object);
}

size_t LiveGdiObjectCount()
{
    const std::lock_guard<std::mutex> hold(handles.mutex);
    return handles.objects.size() + handles.dcs.size();
}

PlatformLiveCounts GetPlatformLiveCounts()
{
    return {LiveFileCount(), LiveMemoryBlockCount(), LiveGdiObjectCount(), LiveWindowCount()};
}

extern "C" {

HGDIOBJ WINAPI GetStockObject(int index)
{
    if (index < 0 || index >= kStockObjectCount) return nullptr;
    return Stock().objects[index];
}

HDC WINAPI CreateCompatibleDC(HDC dc)
{
    if (dc != nullptr && !IsValidDc(dc)) return nullptr;
    return NewDc(false);
}

BOOL WINAPI DeleteDC(HDC dc)
{
    if (!IsValidDc(dc)) return FALSE;
    DestroyDc(dc);
    return TRUE;
}

HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section, DWORD offset)
{
    (void)usage;
    (void)offset;
    if (bits) *bits = nullptr;
    if (dc != nullptr && !IsValidDc(dc)) return nullptr;
    if (info == nullptr || section != nullptr) return nullptr;
    const BITMAPINFOHEADER &header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
        header.biCompression != BI_RGB) {
        return nullptr;
    }
    const int64_t width = header.biWidth;
    const int64_t rows = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
    if (width <= 0 || rows == 0 || width > kMaxSurfaceSide || rows > kMaxSurfaceSide) return nullptr;
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(rows) * sizeof(uint32_t);
    if (bytes > kMaxSurfaceBytes) return nullptr;
    auto *pixels = static_cast<uint32_t *>(AllocateBytes(static_cast<size_t>(bytes), true));
    if (pixels == nullptr) return nullptr;
    auto *bitmap = new PortableGdiObject;
    bitmap->kind = GdiKind::Bitmap;
    bitmap->width = header.biWidth;
    bitmap->height = header.biHeight;
    bitmap->pixels = pixels;
    Track(bitmap);
    if (bits) *bits = pixels;
    return bitmap;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object)
{
    if (!IsValidDc(dc) || !IsValidObject(object) || object->deletePending) return nullptr;
    // A bitmap lives in one memory device context at a time.
    if (object->kind == GdiKind::Bitmap &&
        (dc->windowDc || (!object->stock && object->selectCount > 0 && dc->bitmap != object))) {
        return nullptr;
    }
    HGDIOBJ *slot = SlotFor(dc, object->kind);
    HGDIOBJ previous = *slot;
    if (previous == object) return previous;
    if (!object->stock) ++object->selectCount;
    *slot = object;
    // The previous object goes back to the caller, who may still delete it.
    if (previous != nullptr && !previous->stock && previous->selectCount > 0) --previous->selectCount;
    // An object deleted while selected dies now; its stale handle still answers.
    if (previous != nullptr && previous->deletePending && previous->selectCount == 0) FreeObject(previous);
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    if (object == nullptr || !IsValidObject(object)) return FALSE;
    if (object->stock) return TRUE;
    if (object->selectCount > 0) {
        // Still selected: GDI defers the deletion until the object is deselected.
        object->deletePending = true;
        return TRUE;
    }
    FreeObject(object);
    return TRUE;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color)
{
    auto *pen = new PortableGdiObject;
    pen->kind = GdiKind::Pen;
    pen->penStyle = style;
    pen->penWidth = width < 0 ? 0 : width;
    pen->color = color;
    Track(pen);
    return pen;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color)
{
    if (!IsValidDc(dc)) return CLR_INVALID;
    const COLORREF previous = dc->backgroundColor;
    dc->backgroundColor = color;
    return previous;
}

int WINAPI SetBkMode(HDC dc, int mode)
{
    if (!IsValidDc(dc) || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    const int previous = dc->backgroundMode;
    dc->backgroundMode = mode;
    return previous;
}

}  // extern "C"

HGDIOBJ RegisterFontObject(PortableFont *font)
{
    auto *object = new PortableGdiObject;
    object->kind = GdiKind::Font;
    object->font = font;
    Track(object);
    return object;
}

extern "C" {

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color)
{
    if (!IsValidDc(dc)) return CLR_INVALID;
    const COLORREF previous = dc->textColor;
    dc->textColor = color;
    return previous;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    auto *brush = new PortableGdiObject;
    brush->kind = GdiKind::Brush;
    brush->color = color;
    Track(brush);
    return brush;
}

BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop)
{
    if (!IsValidDc(dc) || rop != PATCOPY) return FALSE;
    HGDIOBJ bitmap = dc->bitmap;
    HGDIOBJ brush = dc->brush;
    if (IsNullBrush(brush)) return TRUE;
    int64_t left = x, right = int64_t{x} + width, top = y, bottom = int64_t{y} + height;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > bitmap->width) right = bitmap->width;
    if (bottom > RowCount(bitmap)) bottom = RowCount(bitmap);
    if (left >= right || top >= bottom) return TRUE;
    const uint32_t pixel = PixelOf(brush->color);
    // One row by pixels, the others copied from it.
    const uint32_t *first = PixelRow(bitmap, static_cast<int32_t>(top)) + left;
    std::fill(PixelRow(bitmap, static_cast<int32_t>(top)) + left, PixelRow(bitmap, static_cast<int32_t>(top)) + right,
              pixel);
    const size_t rowBytes = static_cast<size_t>(right - left) * sizeof(uint32_t);
    for (int64_t row = top + 1; row < bottom; ++row) {
        std::memcpy(PixelRow(bitmap, static_cast<int32_t>(row)) + left, first, rowBytes);
    }
    return TRUE;
}

BOOL WINAPI GdiFlush() { return TRUE; }

int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO *info, UINT usage)
{
    (void)usage;
    if (!IsValidDc(dc) || !IsValidObject(bitmap) || bitmap->kind != GdiKind::Bitmap || info == nullptr) {
        return 0;
    }
    BITMAPINFOHEADER &header = info->bmiHeader;
    if (bits == nullptr || header.biCompression != BI_RGB || (header.biBitCount != 24 && header.biBitCount != 32)) {
        return 0;
    }
    const int32_t rows = RowCount(bitmap);
    if (header.biWidth != bitmap->width || start >= static_cast<UINT>(rows)) return 0;
    const bool bottomUp = header.biHeight > 0;
    const UINT count = lines < static_cast<UINT>(rows) - start ? lines : static_cast<UINT>(rows) - start;
    const size_t bytesPerPixel = header.biBitCount / 8;
    const size_t stride = DibRowStride(static_cast<uint64_t>(bitmap->width), static_cast<unsigned>(bytesPerPixel));
    auto *out = static_cast<unsigned char *>(bits);
    for (UINT i = 0; i < count; ++i) {
        // Scan line numbers count from the bottom of a bottom-up destination.
        const UINT scan = start + i;
        const int32_t y = bottomUp ? rows - 1 - static_cast<int32_t>(scan) : static_cast<int32_t>(scan);
        const uint32_t *source = PixelRow(bitmap, y);
        unsigned char *target = out + static_cast<size_t>(i) * stride;
        if (bytesPerPixel == 3) {
            PackRow24(source, bitmap->width, target);
            // The row's padding is written too: the destination may hold anything.
            const size_t used = static_cast<size_t>(bitmap->width) * 3;
            std::memset(target + used, 0, stride - used);
            continue;
        }
        for (int32_t column = 0; column < bitmap->width; ++column) {
            const uint32_t pixel = source[column];
            target[0] = static_cast<unsigned char>(pixel);
            target[1] = static_cast<unsigned char>(pixel >> 8);
            target[2] = static_cast<unsigned char>(pixel >> 16);
            if (bytesPerPixel == 4) target[3] = 0;
            target += bytesPerPixel;
        }
    }
    return static_cast<int>(count);
}

}  // extern "C"
