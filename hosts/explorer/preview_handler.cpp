// Explorer's preview pane for Jw_cad drawings and figures. Explorer (in its
// surrogate process) creates the class, hands it the file as a stream, the
// pane's window and rectangle, and asks for the preview: a child window of
// the pane that shows the sheet fitted to it, drawn anew through the library
// at every size (not scaled), zoomed about the pointer by the wheel and
// moved by dragging. A file that cannot be shown shows a line saying why.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "hosts/explorer/shell_parts.h"
#include "hosts/explorer/thumbnail_ids.h"
#include "plotmira.h"

namespace {

const wchar_t kWindowClass[] = L"PlotmiraPreview";
constexpr double kWheelZoom = 1.25;  // per notch of the wheel
ATOM windowClass = 0;

std::wstring Widen(const char *utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &text[0], n);
    text.resize(wcslen(text.c_str()));
    return text;
}

class PreviewHandler : public IPreviewHandler,
                       public StreamInput,
                       public IObjectWithSite,
                       public IOleWindow,
                       public IPreviewHandlerVisuals {
public:
    PreviewHandler() { ObjectMade(); }
    virtual ~PreviewHandler()
    {
        Unload();
        if (site_ != nullptr) site_->Release();
        ObjectGone();
    }

    IFACEMETHODIMP QueryInterface(REFIID iid, void **object) override
    {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidPreviewHandler)) {
            *object = static_cast<IPreviewHandler *>(this);
        } else if (IsEqualIID(iid, kIidInitializeWithStream)) {
            *object = static_cast<IInitializeWithStream *>(this);
        } else if (IsEqualIID(iid, IID_IObjectWithSite)) {
            *object = static_cast<IObjectWithSite *>(this);
        } else if (IsEqualIID(iid, IID_IOleWindow)) {
            *object = static_cast<IOleWindow *>(this);
        } else if (IsEqualIID(iid, IID_IPreviewHandlerVisuals)) {
            *object = static_cast<IPreviewHandlerVisuals *>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    // IPreviewHandler.
    IFACEMETHODIMP SetWindow(HWND parent, const RECT *rect) override
    {
        if (parent == nullptr || rect == nullptr) return E_INVALIDARG;
        parent_ = parent;
        rect_ = *rect;
        if (window_ != nullptr) {
            ::SetParent(window_, parent_);
            Place();
        }
        return S_OK;
    }
    IFACEMETHODIMP SetRect(const RECT *rect) override
    {
        if (rect == nullptr) return E_INVALIDARG;
        rect_ = *rect;
        if (window_ != nullptr) Place();
        return S_OK;
    }
    IFACEMETHODIMP DoPreview() override
    {
        if (parent_ == nullptr || stream_ == nullptr) return E_UNEXPECTED;
        if (window_ != nullptr) return S_OK;
        try {
            Open();
        } catch (...) {
            message_ = L"the drawing could not be read";
        }
        if (!RegisterWindowClass()) return HRESULT_FROM_WIN32(GetLastError());
        window_ =
            CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect_.left, rect_.top,
                            rect_.right - rect_.left, rect_.bottom - rect_.top, parent_, nullptr, ThisModule(), this);
        return window_ != nullptr ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    IFACEMETHODIMP Unload() override
    {
        if (window_ != nullptr) DestroyWindow(window_);
        window_ = nullptr;
        DropPicture();
        plotmira_close(doc_);
        doc_ = nullptr;
        ReleaseStream();
        return S_OK;
    }
    IFACEMETHODIMP SetFocus() override
    {
        if (window_ != nullptr) ::SetFocus(window_);
        return S_OK;
    }
    IFACEMETHODIMP QueryFocus(HWND *focus) override
    {
        if (focus == nullptr) return E_INVALIDARG;
        *focus = GetFocus();
        return *focus != nullptr ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    IFACEMETHODIMP TranslateAccelerator(MSG *) override { return S_FALSE; }

    // IObjectWithSite.
    IFACEMETHODIMP SetSite(IUnknown *site) override
    {
        if (site_ != nullptr) site_->Release();
        site_ = site;
        if (site_ != nullptr) site_->AddRef();
        return S_OK;
    }
    IFACEMETHODIMP GetSite(REFIID iid, void **site) override
    {
        if (site == nullptr) return E_POINTER;
        *site = nullptr;
        return site_ != nullptr ? site_->QueryInterface(iid, site) : E_FAIL;
    }

    // IOleWindow.
    IFACEMETHODIMP GetWindow(HWND *window) override
    {
        if (window == nullptr) return E_INVALIDARG;
        *window = window_ != nullptr ? window_ : parent_;
        return *window != nullptr ? S_OK : E_FAIL;
    }
    IFACEMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IPreviewHandlerVisuals: the pane's colours, for the message.
    IFACEMETHODIMP SetBackgroundColor(COLORREF color) override
    {
        background_ = color;
        Redraw();
        return S_OK;
    }
    IFACEMETHODIMP SetFont(const LOGFONTW *) override { return S_OK; }
    IFACEMETHODIMP SetTextColor(COLORREF color) override
    {
        textColor_ = color;
        Redraw();
        return S_OK;
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto *self = reinterpret_cast<PreviewHandler *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && self->window_ == window) {
            LRESULT result = 0;
            if (self->Handle(message, wParam, lParam, &result)) return result;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

private:
    static bool RegisterWindowClass()
    {
        if (windowClass != 0) return true;
        WNDCLASSW info = {};
        info.lpfnWndProc = WindowProc;
        info.hInstance = ThisModule();
        info.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        info.lpszClassName = kWindowClass;
        windowClass = RegisterClassW(&info);
        return windowClass != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    void Open()
    {
        std::vector<unsigned char> bytes;
        if (FAILED(ReadStream(stream_, &bytes))) {
            message_ = Widen(plotmira_strerror(PLOTMIRA_ERR_TOO_LARGE));
            return;
        }
        plotmira_open_options options;  // the user's settings, as the plug-in takes them
        plotmira_open_options_init(&options);
        options.settings = PLOTMIRA_SETTINGS_USER;
        plotmira_status status = plotmira_open_memory_with(bytes.data(), bytes.size(), &options, &doc_);
        info_ = {};
        info_.struct_size = sizeof info_;
        if (status == PLOTMIRA_OK) status = plotmira_describe(doc_, &info_);
        if (status == PLOTMIRA_OK && !info_.version_drawn) {
            message_ = L"the drawing's version " + std::to_wstring(info_.version) + L" is not supported";
        } else if (status != PLOTMIRA_OK) {
            message_ = Widen(plotmira_strerror(status));
        }
        if (!message_.empty()) {
            plotmira_close(doc_);
            doc_ = nullptr;
        }
    }

    void Place()
    {
        MoveWindow(window_, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, TRUE);
    }

    void Redraw()
    {
        DropPicture();
        if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
    }

    void DropPicture()
    {
        if (picture_ != nullptr) DeleteObject(picture_);
        picture_ = nullptr;
    }

    // The sheet fitted to the window: its centre at the window's, the scale
    // at which the whole of it shows.
    void Fit(int width, int height)
    {
        const double w = info_.sheet.max_x - info_.sheet.min_x, h = info_.sheet.max_y - info_.sheet.min_y;
        scale_ = w > 0 && h > 0 ? std::min(width / w, height / h) : 1.0;
        scale_ = std::max(PLOTMIRA_MIN_SCALE, std::min(PLOTMIRA_MAX_SCALE, scale_));
        centerX_ = (info_.sheet.min_x + info_.sheet.max_x) / 2;
        centerY_ = (info_.sheet.min_y + info_.sheet.max_y) / 2;
    }

    // The picture of the view at the window's size, drawn when missing.
    bool Draw(int width, int height)
    {
        if (picture_ != nullptr && pictureWidth_ == width && pictureHeight_ == height) return true;
        DropPicture();
        if (doc_ == nullptr || width < 1 || height < 1 || width > PLOTMIRA_MAX_SIDE || height > PLOTMIRA_MAX_SIDE) {
            return false;
        }
        if (fitted_) Fit(width, height);
        BITMAPINFO header = {};
        header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        header.bmiHeader.biWidth = width;
        header.bmiHeader.biHeight = -height;
        header.bmiHeader.biPlanes = 1;
        header.bmiHeader.biBitCount = 32;
        header.bmiHeader.biCompression = BI_RGB;
        void *pixels = nullptr;
        HBITMAP made = CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &pixels, nullptr, 0);
        if (made == nullptr) return false;
        plotmira_view view;
        plotmira_view_init(&view, width, height);
        view.placement = PLOTMIRA_PLACE_CENTER;
        view.scale = scale_;
        view.x = centerX_;
        view.y = centerY_;
        const size_t stride = static_cast<size_t>(width) * 4;
        const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_BGRA32, pixels, stride,
                                      stride * static_cast<size_t>(height)};
        const plotmira_status status = plotmira_render(doc_, &view, &image);
        if (status != PLOTMIRA_OK) {
            DeleteObject(made);
            message_ = Widen(plotmira_strerror(status));
            plotmira_close(doc_);
            doc_ = nullptr;
            return false;
        }
        picture_ = made;
        pictureWidth_ = width;
        pictureHeight_ = height;
        return true;
    }

    void Paint(HDC dc)
    {
        RECT client = {};
        GetClientRect(window_, &client);
        if (Draw(client.right, client.bottom)) {
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ previous = SelectObject(source, picture_);
            BitBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
            SelectObject(source, previous);
            DeleteDC(source);
            return;
        }
        HBRUSH brush = CreateSolidBrush(background_);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        const int mode = SetBkMode(dc, TRANSPARENT);
        const COLORREF color = ::SetTextColor(dc, textColor_);
        HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        const std::wstring line = L"Jw_cad: " + message_;
        DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &client,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(dc, font);
        ::SetTextColor(dc, color);
        SetBkMode(dc, mode);
    }

    // The sheet point under a window pixel stays there as the scale changes.
    void Zoom(POINT at, double factor)
    {
        RECT client = {};
        GetClientRect(window_, &client);
        const double dx = at.x + 0.5 - client.right / 2.0, dy = client.bottom / 2.0 - at.y - 0.5;
        const double x = centerX_ + dx / scale_, y = centerY_ + dy / scale_;
        scale_ = std::max(PLOTMIRA_MIN_SCALE, std::min(PLOTMIRA_MAX_SCALE, scale_ * factor));
        centerX_ = x - dx / scale_;
        centerY_ = y - dy / scale_;
        fitted_ = false;
        Redraw();
    }

    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
    {
        const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window_, &paint);
            Paint(dc);
            EndPaint(window_, &paint);
            return true;
        }
        case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(wParam)); return true;
        case WM_ERASEBKGND: *result = 1; return true;
        case WM_SIZE: Redraw(); return true;
        case WM_MOUSEWHEEL: {
            if (doc_ == nullptr) return false;
            POINT client = at;  // the wheel's point is on the screen
            ScreenToClient(window_, &client);
            Zoom(client, std::pow(kWheelZoom, static_cast<short>(HIWORD(wParam)) / double{WHEEL_DELTA}));
            return true;
        }
        case WM_LBUTTONDOWN:
            SetCapture(window_);
            drag_ = at;
            dragging_ = true;
            return true;
        case WM_MOUSEMOVE:
            if (!dragging_ || doc_ == nullptr) return false;
            centerX_ -= (at.x - drag_.x) / scale_;
            centerY_ += (at.y - drag_.y) / scale_;
            drag_ = at;
            fitted_ = false;
            Redraw();
            return true;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (dragging_ && message == WM_LBUTTONUP) ReleaseCapture();
            dragging_ = false;
            return true;
        case WM_NCDESTROY: SetWindowLongPtrW(window_, GWLP_USERDATA, 0); return false;
        default: return false;
        }
    }

    LONG references_ = 1;
    IUnknown *site_ = nullptr;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    RECT rect_ = {};
    plotmira_document *doc_ = nullptr;
    plotmira_info info_ = {};
    std::wstring message_;
    COLORREF background_ = RGB(255, 255, 255);
    COLORREF textColor_ = RGB(0, 0, 0);
    HBITMAP picture_ = nullptr;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    bool fitted_ = true;
    double scale_ = 1, centerX_ = 0, centerY_ = 0;
    bool dragging_ = false;
    POINT drag_ = {};
};

}  // namespace

HRESULT CreatePreviewHandler(REFIID iid, void **object)
{
    auto *handler = new (std::nothrow) PreviewHandler();
    if (handler == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = handler->QueryInterface(iid, object);
    handler->Release();
    return hr;
}

void ForgetPreviewWindowClass()
{
    if (windowClass != 0) UnregisterClassW(kWindowClass, ThisModule());
    windowClass = 0;
}
