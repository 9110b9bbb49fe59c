#include "pipeline/conversion_driver.h"

#include <cstdlib>
#include <cstring>

#include "pipeline/detection.h"
#include "pipeline/module_state.h"
#include "pipeline/surface.h"
#include "platform/dib_rows.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

namespace {

constexpr int kFirstViewIndex = 1;
constexpr int kLastSelectableView = 4;

BITMAPINFOHEADER MakeInfoHeader(int32_t width, int32_t height, LONG density)
{
    BITMAPINFOHEADER header = {};
    header.biSize = kInfoHeaderBytes;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(kBitCount);
    header.biCompression = BI_RGB;
    header.biXPelsPerMeter = density;
    header.biYPelsPerMeter = density;
    return header;
}

// Ends a conversion whose window exists: surface and window.
void TearDownSurface(SceneWalk &walk)
{
    ReleaseSurface(walk.renderContext);
    DestroySurfaceWindow(walk.renderContext);
}

}  // namespace

int SetRasterWidth(int32_t width)
{
    if (width != 0 && (width < kMinRequestedWidth || width > kMaxRequestedWidth)) return -1;
    Request().requestedWidth = width;
    return 0;
}

int32_t RequestedRasterWidth() { return Request().requestedWidth; }

int32_t DesktopWidth()
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(GetDesktopWindow(), &rect);
    return rect.right;
}

RasterSize ComputeRasterSize(int preview, uint32_t figure, PluginSettingsState &settings, int32_t desktopWidth)
{
    uint32_t widthJws = 0;
    uint32_t widthJww = 0;
    LoadPluginSettings(settings, &widthJws, &widthJww);
    return PictureSize(preview, figure, desktopWidth != 0 ? desktopWidth : DesktopWidth(), widthJws, widthJww);
}

RasterSize PluginRasterSize(int preview, uint32_t figure)
{
    RasterSize size = ComputeRasterSize(preview, figure, Request().settings);
    if (RequestedRasterWidth() != 0 && !preview) {
        size.width = RequestedRasterWidth();
        size.height = static_cast<int32_t>(size.width * kRasterAspect);
    }
    return size;
}

RasterSize PictureSize(int preview, uint32_t figure, int32_t desktopWidth, uint32_t widthJws, uint32_t widthJww)
{
    int32_t width = desktopWidth;
    if (figure == 1) {
        width = widthJws != 0 ? static_cast<int32_t>(widthJws) : width / 2;
    } else if (widthJww != 0) {
        width = static_cast<int32_t>(widthJww);
    }
    if (preview) width = kPreviewWidth;
    const int32_t height = static_cast<int32_t>(width * kRasterAspect);
    return {width, height, kBitCount};
}

RasterGeometry ComputeRasterGeometry(int32_t width, int32_t height)
{
    const uint64_t rowStride = DibRowStride(static_cast<uint64_t>(width < 0 ? -int64_t{width} : width), 3);
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -int64_t{height} : height);
    return {rowStride, rowStride * rows};
}

bool RasterSizeAcceptable(int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || width > kMaxRasterWidth) return false;
    return ComputeRasterGeometry(width, height).imageSize <= kMaxImageBytes;
}

int BuildRaster(const char *source, const unsigned char *image, uint32_t dataLength, HLOCAL *infoOut, HLOCAL *bitsOut,
                ProgressCallback progress, LONG_PTR userData, int preview)
{
    if (progress != nullptr && progress(0, 1, userData) != 0) return kResultCancelled;
    const int mode = Request().source.extension[0] == 'J' ? kModePrint : kModeNormal;
    const RasterSize size = PluginRasterSize(preview, Request().source.isFigure);
    int32_t width = size.width;
    int32_t height = size.height;
    if (!RasterSizeAcceptable(width, height)) return kResultNoMemory;
    const RasterGeometry geometry = ComputeRasterGeometry(width, height);

    // Fixed blocks: LocalLock answers the handle itself, so hosts that cast
    // the handle to a pointer and hosts that lock it both work.
    HLOCAL info = LocalAlloc(LMEM_FIXED, kInfoHeaderBytes);
    HLOCAL bits = LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(geometry.imageSize));
    if (info == nullptr || bits == nullptr) {
        if (info != nullptr) LocalFree(info);
        if (bits != nullptr) LocalFree(bits);
        return kResultNoMemory;
    }
    auto *infoBytes = static_cast<unsigned char *>(LocalLock(info));
    auto *bitsBytes = static_cast<unsigned char *>(LocalLock(bits));
    if (infoBytes == nullptr || bitsBytes == nullptr) {
        LocalFree(info);
        LocalFree(bits);
        return kResultMemoryError;
    }

    const int driverResult = RenderDrawing(source, image, dataLength, bitsBytes, &width, &height, mode);
    if (driverResult != kDriverOk) {
        LocalUnlock(info);
        LocalUnlock(bits);
        LocalFree(info);
        LocalFree(bits);
        return kResultMemoryError;
    }

    const BITMAPINFOHEADER header = MakeInfoHeader(width, height, kPixelsPerMetre);
    std::memcpy(infoBytes, &header, sizeof header);
    LocalUnlock(info);
    LocalUnlock(bits);
    *infoOut = info;
    *bitsOut = bits;
    if (progress != nullptr && progress(1, 1, userData) != 0) return kResultCancelled;
    return kResultSuccess;
}

int RenderDrawing(const char *source, const unsigned char *image, uint32_t dataLength, unsigned char *bits,
                  int32_t *width, int32_t *height, int mode)
{
    (void)source;
    ModuleDrawing read;
    const int answer = read.Read(image, dataLength, Request().source.isFigure == 1);
    if (answer == kReadNoStore) return kDriverStoreFailed;
    if (answer < 0) return kDriverReadFailed;
    const int view = Request().source.isFigure == 1 ? 0 : answer;

    // Print mode changes the drawing's own pens: the next request starts
    // from them.
    const bool printView =
        mode == kModePrint && Request().source.isFigure != 1 && view >= kFirstViewIndex && view <= kLastSelectableView;
    if (printView) UsePrintPens(read.drawing.tables, read.drawing.header.usePrintColors);
    SceneWalk walk(read.drawing);
    if (printView) walk.UseRegisteredView(view);
    walk.FitToRaster(static_cast<uint32_t>(*width), *height);
    walk.SetUpView();

    struct Target {
        unsigned char *bits;
        int32_t *width;
        int32_t *height;
    } target = {bits, width, height};
    return DrawOnSurface(
        walk,
        [](SceneWalk &w, void *context) {
            auto *t = static_cast<Target *>(context);
            const RenderContext &c = w.renderContext;
            *t->width = static_cast<int32_t>(c.rasterWidth);
            *t->height = c.rasterHeight;
            const int readBack = ReadBackPixels(w, t->bits);
            return readBack != 0 ? kDriverReadBackFailed + readBack : kDriverOk;
        },
        &target);
}

int DrawOnSurface(SceneWalk &walk, int (*take)(SceneWalk &walk, void *context), void *context)
{
    RenderContext &rc = walk.renderContext;
    rc.surfaceError = 0;
    rc.surfacePixels = nullptr;
    const std::string className = SurfaceClassName();
    RegisterSurfaceClass(nullptr, className.c_str());
    if (!CreateSurfaceWindow(nullptr, className.c_str(), SW_HIDE, rc, walk.penColorTable[0])) {
        ReleaseSurface(rc);
        return kDriverWindowFailed;
    }
    if (rc.surfaceError == 0 && rc.surfacePixels == nullptr) rc.surfaceError = 3;  // no creation handler of ours ran
    if (rc.surfaceError != 0) {
        const int result = kDriverSurfaceFailed + static_cast<int>(rc.surfaceError);
        TearDownSurface(walk);
        return result;
    }
    walk.DrawScene();
    const int result = take(walk, context);
    TearDownSurface(walk);
    return result;
}

// The surface's pixels as bottom-up 24-bit rows, straight into the host's
// bits block (no intermediate copy: at 1920 pixels that copy and its fresh
// pages cost more than the reading).
int ReadBackPixels(SceneWalk &walk, unsigned char *bits)
{
    RenderContext &rc = walk.renderContext;
    if (rc.readBackDone) return 1;
    rc.readBackDone = true;
    BITMAPINFO info = {};
    info.bmiHeader = MakeInfoHeader(static_cast<int32_t>(rc.rasterWidth), rc.rasterHeight, 0);
    const int lines =
        GetDIBits(rc.targetDc, rc.surfaceBitmap, 0, static_cast<UINT>(rc.rasterHeight), bits, &info, DIB_RGB_COLORS);
    return lines == 0 ? 6 : 0;
}
