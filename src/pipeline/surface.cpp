#include "pipeline/surface.h"

#include <cstdio>

#include "render/render_context.h"
#include "settings/setting_tables.h"

HBITMAP surfaceBitmap = nullptr;
void *surfacePixels = nullptr;
uint32_t surfaceError = 0;
HWND surfaceWindow = nullptr;

namespace {

constexpr char kSurfaceMenuName[] = "grph";
constexpr char kSurfaceTitle[] = "JWW";
constexpr WORD kPlanes = 1;
constexpr WORD kSurfaceBitCount = 32;

void SetUpSurface(HWND window)
{
    HDC windowDc = GetDC(window);
    if (windowDc == nullptr) surfaceError = 1;

    renderContext.targetDc = CreateCompatibleDC(windowDc);
    if (renderContext.targetDc == nullptr) surfaceError = 2;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(renderContext.rasterWidth);
    info.bmiHeader.biHeight = renderContext.rasterHeight;
    info.bmiHeader.biPlanes = kPlanes;
    info.bmiHeader.biBitCount = kSurfaceBitCount;
    info.bmiHeader.biCompression = BI_RGB;
    surfacePixels = nullptr;
    surfaceBitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &surfacePixels, nullptr, 0);
    if (surfaceBitmap == nullptr || surfacePixels == nullptr) surfaceError = 3;

    HDC dc = renderContext.targetDc;
    if (dc != nullptr && surfaceBitmap != nullptr) SelectObject(dc, surfaceBitmap);

    HBRUSH background = CreateSolidBrush(penColorTable[0]);
    HGDIOBJ previousBrush = dc != nullptr && background != nullptr ? SelectObject(dc, background) : nullptr;
    if (dc != nullptr) {
        PatBlt(dc, 0, 0, static_cast<int>(renderContext.rasterWidth), renderContext.rasterHeight, PATCOPY);
    }
    if (windowDc != nullptr) ReleaseDC(window, windowDc);
    if (previousBrush != nullptr) SelectObject(dc, previousBrush);
    if (background != nullptr) DeleteObject(background);
}

}  // namespace

const char *SurfaceClassName()
{
    static char name[48] = {};
    if (name[0] == '\0') {
        std::snprintf(name, sizeof name, "%s-%p", kSurfaceClassName, static_cast<const void *>(&surfaceBitmap));
    }
    return name;
}

ATOM RegisterSurfaceClass(HINSTANCE instance, const char *className)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = SurfaceWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = kSurfaceMenuName;
    windowClass.lpszClassName = className;
    return RegisterClassA(&windowClass);
}

int CreateSurfaceWindow(HINSTANCE instance, const char *className, int showCommand)
{
    HWND window = CreateWindowExA(0, className, kSurfaceTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  static_cast<int>(renderContext.rasterWidth), renderContext.rasterHeight, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    surfaceWindow = window;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

void ReleaseSurface()
{
    if (renderContext.targetDc != nullptr) {
        DeleteDC(renderContext.targetDc);
        renderContext.targetDc = nullptr;
    }
    if (surfaceBitmap != nullptr) {
        DeleteObject(surfaceBitmap);
        surfaceBitmap = nullptr;
    }
    surfacePixels = nullptr;
}

void DestroySurfaceWindow()
{
    if (surfaceWindow == nullptr) return;
    HWND window = surfaceWindow;
    surfaceWindow = nullptr;
    DestroyWindow(window);
}

LRESULT CALLBACK SurfaceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: SetUpSurface(window); return 0;
    case WM_DESTROY:
        // The window dies inside the host's thread: release what is left of
        // the surface, and post no quit message into the host's own loop.
        ReleaseSurface();
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
