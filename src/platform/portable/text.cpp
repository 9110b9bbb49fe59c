// Code-page conversion through iconv: UTF-16 to Shift-JIS (code page 932)
// with Windows' answers for sizes, and '?' for characters it cannot spell.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

constexpr UINT kShiftJisCodePage = 932;
constexpr char kDefaultChar = '?';

// Converts the whole input; unconvertible units become the default character.
bool ConvertToShiftJis(const WCHAR *wide, size_t units, std::string *out, BOOL *usedDefault)
{
    iconv_t converter = iconv_open("CP932", "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    out->clear();
    char *in = const_cast<char *>(reinterpret_cast<const char *>(wide));
    size_t inLeft = units * sizeof(WCHAR);
    char buffer[256];
    while (inLeft > 0) {
        char *next = buffer;
        size_t room = sizeof buffer;
        const size_t result = iconv(converter, &in, &inLeft, &next, &room);
        out->append(buffer, static_cast<size_t>(next - buffer));
        if (result != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // An unconvertible or broken unit: one default character for it.
        out->push_back(kDefaultChar);
        if (usedDefault) *usedDefault = TRUE;
        const size_t skip = inLeft < sizeof(WCHAR) ? inLeft : sizeof(WCHAR);
        in += skip;
        inLeft -= skip;
    }
    char *next = buffer;
    size_t room = sizeof buffer;
    iconv(converter, nullptr, nullptr, &next, &room);
    out->append(buffer, static_cast<size_t>(next - buffer));
    iconv_close(converter);
    return true;
}

}  // namespace

extern "C" int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR bytes,
                                          int byteLength, LPCCH defaultChar, LPBOOL usedDefault)
{
    (void)flags;
    (void)defaultChar;
    if (codePage != kShiftJisCodePage || wide == nullptr || wideLength == 0 || byteLength < 0) return 0;
    size_t units = static_cast<size_t>(wideLength);
    if (wideLength < 0) {
        units = 0;
        while (wide[units] != 0) ++units;
        ++units;  // the terminating NUL is converted too
    }
    if (usedDefault) *usedDefault = FALSE;
    std::string converted;
    if (!ConvertToShiftJis(wide, units, &converted, usedDefault)) return 0;
    if (byteLength == 0) return static_cast<int>(converted.size());
    if (bytes == nullptr || converted.size() > static_cast<size_t>(byteLength)) return 0;
    std::memcpy(bytes, converted.data(), converted.size());
    return static_cast<int>(converted.size());
}
