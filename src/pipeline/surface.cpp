#include "pipeline/surface.h"

#include <cstdio>
#include <string>

#include "render/render_context.h"

namespace {

constexpr char kSurfaceMenuName[] = "grph";
constexpr char kSurfaceTitle[] = "JWW";
constexpr WORD kPlanes = 1;
constexpr WORD kSurfaceBitCount = 32;

// The render whose window is being made, from the window's creation data.
struct SurfaceRequest {
    RenderContext *rc;
    COLORREF background;
};

void SetUpSurface(HWND window, const SurfaceRequest &request)
{
    RenderContext &renderContext = *request.rc;
    uint32_t &surfaceError = renderContext.surfaceError;
    HBITMAP &surfaceBitmap = renderContext.surfaceBitmap;
    void *&surfacePixels = renderContext.surfacePixels;
    // A memory DC of the screen's kind, made without the window's DC: a
    // window DC comes from the system's cache of them, which renders on
    // several threads at once would grow for good.
    (void)window;
    renderContext.targetDc = CreateCompatibleDC(nullptr);
    if (renderContext.targetDc == nullptr) surfaceError = 2;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(renderContext.rasterWidth);
    info.bmiHeader.biHeight = renderContext.rasterHeight;
    info.bmiHeader.biPlanes = kPlanes;
    info.bmiHeader.biBitCount = kSurfaceBitCount;
    info.bmiHeader.biCompression = BI_RGB;
    surfacePixels = nullptr;
    surfaceBitmap = CreateDIBSection(renderContext.targetDc, &info, DIB_RGB_COLORS, &surfacePixels, nullptr, 0);
    if (surfaceBitmap == nullptr || surfacePixels == nullptr) surfaceError = 3;

    HDC dc = renderContext.targetDc;
    if (dc != nullptr && surfaceBitmap != nullptr) SelectObject(dc, surfaceBitmap);

    HBRUSH background = CreateSolidBrush(request.background);
    HGDIOBJ previousBrush = dc != nullptr && background != nullptr ? SelectObject(dc, background) : nullptr;
    if (dc != nullptr) {
        PatBlt(dc, 0, 0, static_cast<int>(renderContext.rasterWidth), renderContext.rasterHeight, PATCOPY);
    }
    if (previousBrush != nullptr) SelectObject(dc, previousBrush);
    if (background != nullptr) DeleteObject(background);
}

}  // namespace

std::string SurfaceClassName()
{
    char text[48] = {};
    std::snprintf(text, sizeof text, "%s-%p", kSurfaceClassName, reinterpret_cast<void *>(&SurfaceWindowProc));
    return text;
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

int CreateSurfaceWindow(HINSTANCE instance, const char *className, int showCommand, RenderContext &rc,
                        COLORREF background)
{
    SurfaceRequest request = {&rc, background};
    HWND window =
        CreateWindowExA(0, className, kSurfaceTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        static_cast<int>(rc.rasterWidth), rc.rasterHeight, nullptr, nullptr, instance, &request);
    if (window == nullptr) return 0;
    rc.surfaceWindow = window;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

void ReleaseSurface(RenderContext &rc)
{
    if (rc.targetDc != nullptr) {
        DeleteDC(rc.targetDc);
        rc.targetDc = nullptr;
    }
    if (rc.surfaceBitmap != nullptr) {
        DeleteObject(rc.surfaceBitmap);
        rc.surfaceBitmap = nullptr;
    }
    rc.surfacePixels = nullptr;
}

void DestroySurfaceWindow(RenderContext &rc)
{
    if (rc.surfaceWindow == nullptr) return;
    HWND window = rc.surfaceWindow;
    rc.surfaceWindow = nullptr;
    DestroyWindow(window);
}

LRESULT CALLBACK SurfaceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        const auto *request = static_cast<const SurfaceRequest *>(create->lpCreateParams);
        // A window of this class made by anyone but a render has no surface.
        if (request != nullptr) SetUpSurface(window, *request);
        return 0;
    }
    case WM_DESTROY:
        // The render releases its surface before it destroys the window;
        // post no quit message into the host's own loop.
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
