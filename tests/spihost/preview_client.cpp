// The test host's preview pane: a parent window as Explorer's pane, the
// handler created from the DLL's class object, the file as a stream, then
// SetWindow, DoPreview, SetRect, a wheel notch and a drag; the handler's
// window is painted into a bitmap (WM_PRINTCLIENT) and compared with the
// library's picture of the view the pane should show.
#include "tests/spihost/preview_client.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "hosts/explorer/thumbnail_ids.h"
#include "tests/spihost/host_helpers.h"
#include "plotmira.h"

namespace {

typedef HRESULT(WINAPI *GetClassObjectFn)(REFCLSID, REFIID, void **);

// The library's functions, from the plug-in.
struct Library {
    decltype(&plotmira_open_memory) open;
    decltype(&plotmira_describe) describe;
    decltype(&plotmira_view_init) viewInit;
    decltype(&plotmira_render) render;
    decltype(&plotmira_close) close;
};

bool LoadLibraryApi(const std::wstring &sph, Library *api)
{
    HMODULE module = LoadLibraryW(sph.c_str());
    if (module == nullptr) return false;
    api->open = Resolve<decltype(api->open)>(module, "plotmira_open_memory");
    api->describe = Resolve<decltype(api->describe)>(module, "plotmira_describe");
    api->viewInit = Resolve<decltype(api->viewInit)>(module, "plotmira_view_init");
    api->render = Resolve<decltype(api->render)>(module, "plotmira_render");
    api->close = Resolve<decltype(api->close)>(module, "plotmira_close");
    return api->open && api->describe && api->viewInit && api->render && api->close;
}

HWND MakePane()
{
    WNDCLASSW info = {};
    info.lpfnWndProc = DefWindowProcW;
    info.hInstance = GetModuleHandleW(nullptr);
    info.lpszClassName = L"PlotmiraTestPane";
    RegisterClassW(&info);
    return CreateWindowExW(0, info.lpszClassName, L"preview pane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 700,
                           nullptr, nullptr, info.hInstance, nullptr);
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// The handler, initialised with the file as a stream.
IPreviewHandler *MakeHandler(const std::wstring &dll, const std::vector<unsigned char> &bytes)
{
    static HMODULE module = LoadLibraryW(dll.c_str());  // kept loaded: the objects live in it
    auto getClassObject = module != nullptr ? Resolve<GetClassObjectFn>(module, "DllGetClassObject") : nullptr;
    IClassFactory *factory = nullptr;
    if (getClassObject == nullptr ||
        FAILED(getClassObject(kPreviewHandlerClassId, IID_IClassFactory, reinterpret_cast<void **>(&factory)))) {
        return nullptr;
    }
    IInitializeWithStream *initialize = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, kIidInitializeWithStream, reinterpret_cast<void **>(&initialize));
    factory->Release();
    if (FAILED(hr)) return nullptr;
    IStream *stream = SHCreateMemStream(bytes.empty() ? nullptr : bytes.data(), static_cast<UINT>(bytes.size()));
    hr = stream != nullptr ? initialize->Initialize(stream, STGM_READ) : E_OUTOFMEMORY;
    if (stream != nullptr) stream->Release();
    IPreviewHandler *handler = nullptr;
    if (SUCCEEDED(hr)) hr = initialize->QueryInterface(kIidPreviewHandler, reinterpret_cast<void **>(&handler));
    initialize->Release();
    return SUCCEEDED(hr) ? handler : nullptr;
}

// The window's client area as it paints it, 32-bit top-down rows.
std::vector<unsigned char> Capture(HWND window, int *width, int *height)
{
    RECT client = {};
    GetClientRect(window, &client);
    *width = client.right;
    *height = client.bottom;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = *width;
    header.bmiHeader.biHeight = -*height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<unsigned char> pixels;
    if (bitmap == nullptr) return pixels;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    const auto *from = static_cast<const unsigned char *>(bits);
    pixels.assign(from, from + static_cast<size_t>(*width) * *height * 4);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return pixels;
}

// Pixels whose colour differs (the fourth byte aside).
size_t Differing(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    if (a.size() != b.size()) return a.size() + b.size();
    size_t n = 0;
    for (size_t i = 0; i < a.size(); i += 4) n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n;
}

struct Pane {
    Library api;
    plotmira_document *doc = nullptr;
    plotmira_info info = {};
    double scale = 0, x = 0, y = 0;

    void Fit(int width, int height)
    {
        const double w = info.sheet.max_x - info.sheet.min_x, h = info.sheet.max_y - info.sheet.min_y;
        scale = std::max(PLOTMIRA_MIN_SCALE, std::min(PLOTMIRA_MAX_SCALE, std::min(width / w, height / h)));
        x = (info.sheet.min_x + info.sheet.max_x) / 2;
        y = (info.sheet.min_y + info.sheet.max_y) / 2;
    }
    std::vector<unsigned char> Expected(int width, int height) const
    {
        plotmira_view view;
        api.viewInit(&view, width, height);
        view.placement = PLOTMIRA_PLACE_CENTER;
        view.scale = scale;
        view.x = x;
        view.y = y;
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
        const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_BGRA32, pixels.data(),
                                      static_cast<size_t>(width) * 4, pixels.size()};
        if (api.render(doc, &view, &image) != PLOTMIRA_OK) pixels.clear();
        return pixels;
    }
};

int Check(const char *step, HWND window, const Pane &pane, int width, int height)
{
    Pump();
    int w = 0, h = 0;
    const std::vector<unsigned char> shown = Capture(window, &w, &h);
    const size_t differing = w == width && h == height ? Differing(shown, pane.Expected(width, height)) : 1;
    std::printf("%s %dx%d: %s (%zu pixels differ)\n", step, w, h, differing == 0 ? "same" : "DIFFERS", differing);
    return differing == 0 ? 0 : 1;
}

}  // namespace

int PlayPreviewPane(const std::wstring &input, const std::wstring &dll, const std::wstring &sph)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<unsigned char> bytes;
    if (!ReadInput(input, 0, &bytes)) return std::printf("cannot read the input\n"), 1;
    HWND pane = MakePane();
    IPreviewHandler *handler = MakeHandler(dll, bytes);
    if (pane == nullptr || handler == nullptr) return std::printf("no pane or no handler\n"), 1;
    RECT rect = {0, 0, 640, 480};
    HRESULT hr = handler->SetWindow(pane, &rect);
    if (SUCCEEDED(hr)) hr = handler->DoPreview();
    HWND window = GetWindow(pane, GW_CHILD);
    std::printf("DoPreview 0x%08lx, window %s\n", static_cast<unsigned long>(hr), window != nullptr ? "made" : "none");
    int failed = FAILED(hr) || window == nullptr;
    if (!failed && sph.empty()) {
        // A file it cannot show: a line of text on the pane's colour.
        int w = 0, h = 0;
        const std::vector<unsigned char> shown = Capture(window, &w, &h);
        std::set<unsigned> colours;
        for (size_t i = 0; i + 3 < shown.size(); i += 4)
            colours.insert(shown[i] | shown[i + 1] << 8 | shown[i + 2] << 16);
        std::printf("message: %zu colours\n", colours.size());
        failed += colours.size() < 2;
    } else if (!failed) {
        Pane expected;
        if (!LoadLibraryApi(sph, &expected.api)) return std::printf("no library in %ls\n", sph.c_str()), 1;
        expected.info.struct_size = sizeof expected.info;
        if (expected.api.open(bytes.data(), bytes.size(), &expected.doc) != PLOTMIRA_OK ||
            expected.api.describe(expected.doc, &expected.info) != PLOTMIRA_OK) {
            return std::printf("the library cannot read the input\n"), 1;
        }
        expected.Fit(640, 480);
        failed += Check("fitted", window, expected, 640, 480);
        rect = {0, 0, 400, 300};
        handler->SetRect(&rect);
        expected.Fit(400, 300);
        failed += Check("resized", window, expected, 400, 300);
        // A wheel notch at (100, 80): the sheet point there stays there.
        POINT at = {100, 80};
        ClientToScreen(window, &at);
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(at.x, at.y));
        const double dx = 100 + 0.5 - 400 / 2.0, dy = 300 / 2.0 - 80 - 0.5;
        const double px = expected.x + dx / expected.scale, py = expected.y + dy / expected.scale;
        expected.scale *= 1.25;
        expected.x = px - dx / expected.scale;
        expected.y = py - dy / expected.scale;
        failed += Check("zoomed", window, expected, 400, 300);
        // A drag from (50, 50) to (80, 20) moves the sheet with the pointer.
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 20));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(80, 20));
        expected.x -= 30 / expected.scale;
        expected.y += -30 / expected.scale;
        failed += Check("dragged", window, expected, 400, 300);
        expected.api.close(expected.doc);
    }
    handler->Unload();
    const bool gone = GetWindow(pane, GW_CHILD) == nullptr;
    std::printf("unloaded: %s\n", gone ? "no window left" : "A WINDOW IS LEFT");
    failed += !gone;
    handler->Release();
    DestroyWindow(pane);
    CoUninitialize();
    return failed == 0 ? 0 : 1;
}

int PreviewCycles(const std::wstring &input, const std::wstring &dll, int count)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<unsigned char> bytes;
    if (!ReadInput(input, 0, &bytes)) return std::printf("cannot read the input\n"), 1;
    HWND pane = MakePane();
    int failed = 0, windows = 0;
    for (int i = 0; i <= count; ++i) {
        if (i == 1) {
            windows = ThreadWindows();
            OutputDebugStringA("hygiene start\n");
        }
        IPreviewHandler *handler = MakeHandler(dll, bytes);
        if (handler == nullptr) return std::printf("no handler\n"), 1;
        RECT rect = {0, 0, 300 + i % 7, 200 + i % 5};
        handler->SetWindow(pane, &rect);
        failed += FAILED(handler->DoPreview());
        Pump();
        rect.right += 10;
        handler->SetRect(&rect);
        Pump();
        handler->Unload();
        handler->Release();
        failed += GetWindow(pane, GW_CHILD) != nullptr;
    }
    OutputDebugStringA("hygiene end\n");
    const int left = ThreadWindows();
    std::printf("%d previews, %d failed, windows of this thread %d before and %d after\n", count, failed, windows,
                left);
    failed += left != windows;
    DestroyWindow(pane);
    CoUninitialize();
    return failed == 0 ? 0 : 1;
}
