// Window classes and windows: enough of USER for a hidden window whose
// creation message runs synchronously inside CreateWindowExA.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <unordered_set>
#include <vector>

#include "platform/portable/gdi_objects.h"
#include "platform/portable/platform_internal.h"
#include "platform/win32.h"

struct PortableWindow {
    std::string className;
    WNDPROC procedure;
    RECT rect;
    bool visible;
};

namespace {

constexpr int32_t kDefaultDesktopWidth = 1920;
constexpr int32_t kMaxDesktopWidth = 1 << 20;
constexpr LONG kDefaultWindowWidth = 640;
constexpr LONG kDefaultWindowHeight = 480;
constexpr ATOM kFirstClassAtom = 0xC000;  // registered classes get atoms from here on
constexpr LRESULT kCreateFailed = -1;

// The process-wide state of this file, under its mutex (never held while a
// window procedure runs: it may make or destroy windows itself):
//   classes, classNames  the registered classes
//   windows              the live windows
//   desktop              the desktop window, whose size is worked out when asked
struct WindowTables {
    std::mutex mutex;
    std::vector<WNDCLASSA> classes;
    std::vector<std::string> classNames;
    std::unordered_set<PortableWindow *> windows;
    PortableWindow desktop = {"#32769", nullptr, {0, 0, 0, 0}, true};  // never written
};
WindowTables tables;

// The procedure of a registered class; null when there is none. Under the mutex.
WNDPROC FindClass(LPCSTR name)
{
    for (size_t i = 0; i < tables.classNames.size(); ++i) {
        if (strcasecmp(tables.classNames[i].c_str(), name) == 0) return tables.classes[i].lpfnWndProc;
    }
    return nullptr;
}

// The native build's screen width comes from PLOTMIRA_DESKTOP_WIDTH.
int32_t DesktopWidthSetting()
{
    const char *text = std::getenv("PLOTMIRA_DESKTOP_WIDTH");
    if (text == nullptr || *text == '\0') return kDefaultDesktopWidth;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > kMaxDesktopWidth) return kDefaultDesktopWidth;
    return static_cast<int32_t>(value);
}

bool IsWindow(HWND window)
{
    if (window == &tables.desktop) return true;
    const std::lock_guard<std::mutex> hold(tables.mutex);
    return tables.windows.count(window) != 0;
}

// Takes a window out of the table; false when it was not there.
bool Forget(HWND window)
{
    const std::lock_guard<std::mutex> hold(tables.mutex);
    return tables.windows.erase(window) != 0;
}

}  // namespace

size_t LiveWindowCount()
{
    const std::lock_guard<std::mutex> hold(tables.mutex);
    return tables.windows.size();
}

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass)
{
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr) {
        return 0;
    }
    const std::lock_guard<std::mutex> hold(tables.mutex);
    if (FindClass(windowClass->lpszClassName) != nullptr) return 0;  // already registered
    std::vector<WNDCLASSA> &classes = tables.classes;
    std::vector<std::string> &classNames = tables.classNames;
    classes.push_back(*windowClass);
    classNames.emplace_back(windowClass->lpszClassName);
    classes.back().lpszClassName = classNames.back().c_str();
    // Vector growth moved the earlier names: point every copy at its own string again.
    for (size_t i = 0; i < classes.size(); ++i) classes[i].lpszClassName = classNames[i].c_str();
    return static_cast<ATOM>(kFirstClassAtom + classes.size() - 1);
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    if (className == nullptr) return nullptr;
    WNDPROC procedure = nullptr;
    {
        const std::lock_guard<std::mutex> hold(tables.mutex);
        procedure = FindClass(className);
    }
    if (procedure == nullptr) return nullptr;
    auto *window = new PortableWindow;
    window->className = className;
    window->procedure = procedure;
    const LONG left = x == CW_USEDEFAULT ? 0 : x;
    const LONG top = y == CW_USEDEFAULT ? 0 : y;
    const LONG w = width == CW_USEDEFAULT ? kDefaultWindowWidth : width;
    const LONG h = height == CW_USEDEFAULT ? kDefaultWindowHeight : height;
    window->rect = {left, top, left + w, top + h};
    window->visible = false;
    {
        const std::lock_guard<std::mutex> hold(tables.mutex);
        tables.windows.insert(window);
    }

    CREATESTRUCTA create = {param,      instance,  menu,   parent, h, w, top, left, static_cast<LONG>(style),
                            windowName, className, exStyle};
    if (window->procedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == kCreateFailed) {
        window->procedure(window, WM_DESTROY, 0, 0);
        Forget(window);
        delete window;
        return nullptr;
    }
    return window;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)window;
    (void)message;
    (void)wParam;
    (void)lParam;
    return 0;
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    if (!IsWindow(window)) return FALSE;
    if (window == &tables.desktop) return TRUE;  // always shown
    const BOOL wasVisible = window->visible ? TRUE : FALSE;
    window->visible = command != SW_HIDE;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) { return IsWindow(window) ? TRUE : FALSE; }

BOOL WINAPI DestroyWindow(HWND window)
{
    if (window == &tables.desktop || !IsWindow(window)) return FALSE;
    window->procedure(window, WM_DESTROY, 0, 0);
    if (!Forget(window)) return FALSE;  // its procedure destroyed it already
    delete window;
    return TRUE;
}

HDC WINAPI GetDC(HWND window)
{
    if (window != nullptr && !IsWindow(window)) return nullptr;
    return CreateWindowDc();
}

int WINAPI ReleaseDC(HWND window, HDC dc)
{
    (void)window;
    if (!IsValidDc(dc) || !dc->windowDc) return 0;
    DestroyDc(dc);
    return 1;
}

HWND WINAPI GetDesktopWindow(void) { return &tables.desktop; }

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect)
{
    if (rect == nullptr || !IsWindow(window)) return FALSE;
    if (window == &tables.desktop) {
        const int32_t width = DesktopWidthSetting();
        *rect = {0, 0, width, static_cast<LONG>(int64_t{width} * 9 / 16)};
        return TRUE;
    }
    *rect = window->rect;
    return TRUE;
}

// Icons and cursors are never shown by a hidden window; any non-null value does.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    (void)instance;
    return const_cast<char *>(name);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    (void)instance;
    return const_cast<char *>(name);
}

}  // extern "C"
