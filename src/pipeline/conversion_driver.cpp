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
#include "render/scene.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

namespace {

constexpr int kPrintPenCount = 10;  // pens 0..9 take the printer values in print mode
constexpr int kFirstViewIndex = 1;
constexpr int kLastSelectableView = 4;

bool readBackDone = false;
int32_t requestedWidth = 0;

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
void TearDownSurface()
{
    ReleaseSurface();
    DestroySurfaceWindow();
}

}  // namespace

void UseRegisteredView(int view)
{
    RenderContext &rc = renderContext;
    rc.viewIndex = view;
    rc.viewCenterX = viewOriginX[view];
    rc.viewCenterY = viewOriginY[view];
    rc.viewFactor = viewZoom[view];
}

void UsePrintPens()
{
    penColorTable[0] = printPenColorTable[0];
    penWidthTable[0] = printPenWidthTable[0];
    for (int i = 1; i < kPrintPenCount; ++i) {
        penColorTable[i] = usePrintColors != 0 ? printPenColorTable[i] : 0;
        penWidthTable[i] = printPenWidthTable[i];
    }
}

int SetRasterWidth(int32_t width)
{
    if (width != 0 && (width < kMinRequestedWidth || width > kMaxRequestedWidth)) return -1;
    requestedWidth = width;
    return 0;
}

int32_t RequestedRasterWidth() { return requestedWidth; }

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

RasterSize PictureSize(int preview, uint32_t figure, int32_t desktopWidth, uint32_t widthJws, uint32_t widthJww)
{
    int32_t width = desktopWidth;
    if (figure == 1) {
        width = widthJws != 0 ? static_cast<int32_t>(widthJws) : width / 2;
    } else if (widthJww != 0) {
        width = static_cast<int32_t>(widthJww);
    }
    if (RequestedRasterWidth() != 0) width = RequestedRasterWidth();
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
    const int mode = nameExtension[0] == 'J' ? kModePrint : kModeNormal;
    const RasterSize size = ComputeRasterSize(preview, isFigureFile, pluginSettings);
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
    const int answer = read.Read(image, dataLength, isFigureFile == 1);
    if (answer == kReadNoStore) return kDriverStoreFailed;
    if (answer < 0) return kDriverReadFailed;
    const int view = isFigureFile == 1 ? 0 : answer;

    RenderContext &rc = renderContext;
    if (mode == kModePrint && isFigureFile != 1 && view >= kFirstViewIndex && view <= kLastSelectableView) {
        UseRegisteredView(view);
        UsePrintPens();
    } else {
        rc.viewIndex = 0;
        rc.viewCenterX = rc.viewCenterY = 0.0;
        rc.viewFactor = 1.0;
    }

    readBackDone = false;
    FitToRaster(static_cast<uint32_t>(*width), *height);
    SetUpView();

    struct Target {
        unsigned char *bits;
        int32_t *width;
        int32_t *height;
    } target = {bits, width, height};
    const int result = DrawOnSurface(
        [](void *context) {
            auto *t = static_cast<Target *>(context);
            const RenderContext &rc = renderContext;
            *t->width = static_cast<int32_t>(rc.rasterWidth);
            *t->height = rc.rasterHeight;
            const int readBack = ReadBackPixels(t->bits);
            return readBack != 0 ? kDriverReadBackFailed + readBack : kDriverOk;
        },
        &target);
    return result;
}

void SetUpView()
{
    if (isFigureFile == 1) {
        SetUpFigureView();
    } else {
        SetUpDrawingView();
    }
}

int DrawOnSurface(int (*take)(void *context), void *context)
{
    surfaceError = 0;
    surfacePixels = nullptr;
    RegisterSurfaceClass(nullptr, SurfaceClassName());
    if (!CreateSurfaceWindow(nullptr, SurfaceClassName(), SW_HIDE)) {
        ReleaseSurface();
        return kDriverWindowFailed;
    }
    if (surfaceError == 0 && surfacePixels == nullptr) surfaceError = 3;  // no creation handler of ours ran
    if (surfaceError != 0) {
        const int result = kDriverSurfaceFailed + static_cast<int>(surfaceError);
        TearDownSurface();
        return result;
    }
    if (isFigureFile == 1) {
        DrawFigureScene();
    } else {
        DrawDrawingScene();
    }
    const int result = take(context);
    TearDownSurface();
    return result;
}

// The surface's pixels as bottom-up 24-bit rows, straight into the host's
// bits block (no intermediate copy: at 1920 pixels that copy and its fresh
// pages cost more than the reading).
int ReadBackPixels(unsigned char *bits)
{
    if (readBackDone) return 1;
    readBackDone = true;
    const RenderContext &rc = renderContext;
    BITMAPINFO info = {};
    info.bmiHeader = MakeInfoHeader(static_cast<int32_t>(rc.rasterWidth), rc.rasterHeight, 0);
    const int lines =
        GetDIBits(rc.targetDc, surfaceBitmap, 0, static_cast<UINT>(rc.rasterHeight), bits, &info, DIB_RGB_COLORS);
    return lines == 0 ? 6 : 0;
}
