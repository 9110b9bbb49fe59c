// The portable Win32 subset: exactly the types, constants and calls the
// module uses, with Win32's meaning. Implemented over POSIX files, the C heap
// and a software rasteriser; nothing here knows about drawings.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

// ---- basic types (sizes as on Windows, whatever the host's long is) -------
typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef DWORD COLORREF;
typedef WORD ATOM;
typedef char16_t WCHAR;  // UTF-16 code unit, as on Windows
typedef const WCHAR *LPCWCH;
typedef const char *LPCCH;
typedef BOOL *LPBOOL;
typedef char *LPSTR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef DWORD *LPDWORD;
typedef LONG_PTR LRESULT;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;

typedef void *HANDLE;
typedef HANDLE HLOCAL;
typedef HANDLE HGLOBAL;
struct PortableWindow;
struct PortableGdiObject;
struct PortableDc;
typedef PortableWindow *HWND;
typedef PortableDc *HDC;
typedef PortableGdiObject *HGDIOBJ;
typedef PortableGdiObject *HBITMAP;
typedef PortableGdiObject *HBRUSH;
typedef PortableGdiObject *HPEN;
typedef PortableGdiObject *HFONT;
typedef void *HINSTANCE;
typedef void *HICON;
typedef void *HCURSOR;
typedef void *HMENU;

#define WINAPI
#define CALLBACK
// GLib defines the same two (as (!FALSE) and 0) for hosts that include both.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))

// ---- files -----------------------------------------------------------------
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED *LPOVERLAPPED;

// ---- memory blocks -----------------------------------------------------------
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// ---- windows -----------------------------------------------------------------
typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT *LPPOINT;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME *LPSYSTEMTIME;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME *LPFILETIME;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT *LPRECT;

#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_HIDE 0
#define SW_SHOW 5
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// ---- registry ----------------------------------------------------------------
struct PortableKey;
typedef PortableKey *HKEY;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;
typedef BYTE *LPBYTE;
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_ALL_ACCESS 0x000F003Fu
#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L

// ---- GDI -----------------------------------------------------------------------
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define PATCOPY 0x00F00021u
#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define PS_SOLID 0
#define TRANSPARENT 1
#define OPAQUE 2
#define CLR_INVALID 0xFFFFFFFFu
#define FW_NORMAL 400
#define SHIFTJIS_CHARSET 128
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define PROOF_QUALITY 2
#define FIXED_PITCH 1
#define FF_MODERN 0x30
#define LF_FACESIZE 32
#define CP_ACP 0  // the native build's narrow text is UTF-8, as POSIX paths are
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x8u
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

typedef void(CALLBACK *LINEDDAPROC)(int x, int y, LPARAM data);

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "info header layout");

// The memory-block calls are part of the native library's interface: a host
// frees the blocks it receives with LocalFree.
#define PLOTMIRA_HOST_API __attribute__((visibility("default")))
#define PLOTMIRA_PLATFORM_API

extern "C" {

// files
PLOTMIRA_PLATFORM_API HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                                DWORD disposition, DWORD attributes, HANDLE templateFile);
PLOTMIRA_PLATFORM_API HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                                DWORD disposition, DWORD attributes, HANDLE templateFile);
PLOTMIRA_PLATFORM_API DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
PLOTMIRA_PLATFORM_API DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG *distanceHigh, DWORD method);
PLOTMIRA_PLATFORM_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                                           LPOVERLAPPED overlapped);
PLOTMIRA_PLATFORM_API BOOL WINAPI CloseHandle(HANDLE object);
PLOTMIRA_PLATFORM_API BOOL WINAPI GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);

// locks: a critical section may be entered again by the thread that holds it
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION *LPCRITICAL_SECTION;
PLOTMIRA_PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
PLOTMIRA_PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
PLOTMIRA_PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
PLOTMIRA_PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

// time
PLOTMIRA_PLATFORM_API void WINAPI GetLocalTime(LPSYSTEMTIME time);
PLOTMIRA_PLATFORM_API BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local);
PLOTMIRA_PLATFORM_API BOOL WINAPI FileTimeToSystemTime(const FILETIME *time, LPSYSTEMTIME system);

// memory blocks
PLOTMIRA_HOST_API HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
PLOTMIRA_HOST_API LPVOID WINAPI LocalLock(HLOCAL mem);
PLOTMIRA_HOST_API BOOL WINAPI LocalUnlock(HLOCAL mem);
PLOTMIRA_HOST_API HLOCAL WINAPI LocalFree(HLOCAL mem);
PLOTMIRA_HOST_API SIZE_T WINAPI LocalSize(HLOCAL mem);
PLOTMIRA_PLATFORM_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
PLOTMIRA_PLATFORM_API HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
PLOTMIRA_PLATFORM_API LPSTR WINAPI lstrcpynA(LPSTR dest, LPCSTR src, int maxLength);
PLOTMIRA_PLATFORM_API int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);

// windows
PLOTMIRA_PLATFORM_API ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass);
PLOTMIRA_PLATFORM_API HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                                                  int x, int y, int width, int height, HWND parent, HMENU menu,
                                                  HINSTANCE instance, LPVOID param);
PLOTMIRA_PLATFORM_API LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PLOTMIRA_PLATFORM_API BOOL WINAPI ShowWindow(HWND window, int command);
PLOTMIRA_PLATFORM_API BOOL WINAPI UpdateWindow(HWND window);
PLOTMIRA_PLATFORM_API BOOL WINAPI DestroyWindow(HWND window);
PLOTMIRA_PLATFORM_API HDC WINAPI GetDC(HWND window);
PLOTMIRA_PLATFORM_API int WINAPI ReleaseDC(HWND window, HDC dc);
PLOTMIRA_PLATFORM_API HWND WINAPI GetDesktopWindow(void);
PLOTMIRA_PLATFORM_API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
PLOTMIRA_PLATFORM_API HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name);
PLOTMIRA_PLATFORM_API HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// GDI
PLOTMIRA_PLATFORM_API HGDIOBJ WINAPI GetStockObject(int index);
PLOTMIRA_PLATFORM_API HDC WINAPI CreateCompatibleDC(HDC dc);
PLOTMIRA_PLATFORM_API BOOL WINAPI DeleteDC(HDC dc);
PLOTMIRA_PLATFORM_API HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO *info, UINT usage, void **bits,
                                                      HANDLE section, DWORD offset);
PLOTMIRA_PLATFORM_API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
PLOTMIRA_PLATFORM_API BOOL WINAPI DeleteObject(HGDIOBJ object);
PLOTMIRA_PLATFORM_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
PLOTMIRA_PLATFORM_API BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
PLOTMIRA_PLATFORM_API HPEN WINAPI CreatePen(int style, int width, COLORREF color);
PLOTMIRA_PLATFORM_API COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);
PLOTMIRA_PLATFORM_API int WINAPI SetBkMode(HDC dc, int mode);
PLOTMIRA_PLATFORM_API BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous);
PLOTMIRA_PLATFORM_API BOOL WINAPI LineTo(HDC dc, int x, int y);
PLOTMIRA_PLATFORM_API BOOL WINAPI LineDDA(int x1, int y1, int x2, int y2, LINEDDAPROC callback, LPARAM data);
PLOTMIRA_PLATFORM_API BOOL WINAPI Polygon(HDC dc, const POINT *points, int count);
PLOTMIRA_PLATFORM_API BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom);
PLOTMIRA_PLATFORM_API COLORREF WINAPI GetPixel(HDC dc, int x, int y);
PLOTMIRA_PLATFORM_API COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
PLOTMIRA_PLATFORM_API HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight,
                                               DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                                               DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                                               DWORD pitchAndFamily, const WCHAR *face);
PLOTMIRA_PLATFORM_API BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
// Drawing here is never batched: the DIB section's bits are current at once.
PLOTMIRA_PLATFORM_API BOOL WINAPI GdiFlush();
PLOTMIRA_PLATFORM_API int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits,
                                           BITMAPINFO *info, UINT usage);

}  // extern "C"

extern "C" {

// text: code page 932 (Shift-JIS, the one the module uses) to and from UTF-16
PLOTMIRA_PLATFORM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteLength,
                                                     WCHAR *wide, int wideLength);
PLOTMIRA_PLATFORM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength,
                                                     LPSTR bytes, int byteLength, LPCCH defaultChar,
                                                     LPBOOL usedDefault);

// registry (HKEY_CURRENT_USER over a .reg file; see registry_file.h)
PLOTMIRA_PLATFORM_API LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
PLOTMIRA_PLATFORM_API LONG WINAPI RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                                  DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                                                  PHKEY result, LPDWORD disposition);
PLOTMIRA_PLATFORM_API LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                                   LPDWORD dataSize);
PLOTMIRA_PLATFORM_API LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                                                 DWORD dataSize);
PLOTMIRA_PLATFORM_API LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name);
PLOTMIRA_PLATFORM_API LONG WINAPI RegCloseKey(HKEY key);

}  // extern "C"

#define CreateWindowA(cls, name, style, x, y, w, h, parent, menu, inst, param) \
    CreateWindowExA(0, cls, name, style, x, y, w, h, parent, menu, inst, param)
#define LoadIcon LoadIconA
#define LoadCursor LoadCursorA
