// Code-page conversion: UTF-16 to Shift-JIS (code page 932) with Windows'
// answers for sizes, and '?' for characters it cannot spell.
#include <cstring>
#include <string>

#include "platform/portable/code_page.h"
#include "platform/portable/platform_internal.h"
#include "platform/win32.h"

namespace {

constexpr UINT kShiftJisCodePage = 932;

}  // namespace

// UTF-16 to UTF-8 (the native build's narrow text).
std::string Utf16ToUtf8Text(const WCHAR *wide, size_t units)
{
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

extern "C" int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR bytes,
                                          int byteLength, LPCCH defaultChar, LPBOOL usedDefault)
{
    (void)flags;
    (void)defaultChar;
    if ((codePage != kShiftJisCodePage && codePage != CP_ACP && codePage != CP_UTF8) || wide == nullptr ||
        wideLength == 0 || byteLength < 0) {
        return 0;
    }
    size_t units = static_cast<size_t>(wideLength);
    if (wideLength < 0) {
        units = 0;
        while (wide[units] != 0) ++units;
        ++units;  // the terminating NUL is converted too
    }
    if (usedDefault) *usedDefault = FALSE;
    std::string converted;
    if (codePage != kShiftJisCodePage) {
        converted = Utf16ToUtf8Text(wide, units);
    } else if (!Utf16ToCp932(wide, units, &converted, usedDefault)) {
        return 0;
    }
    if (byteLength == 0) return static_cast<int>(converted.size());
    if (bytes == nullptr || converted.size() > static_cast<size_t>(byteLength)) return 0;
    std::memcpy(bytes, converted.data(), converted.size());
    return static_cast<int>(converted.size());
}
