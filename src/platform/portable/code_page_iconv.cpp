// Code page 932 through the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <mutex>

#include "platform/portable/code_page.h"

namespace {

constexpr char kDefaultChar = '?';

}  // namespace

uint32_t Cp932CodePoint(const char *bytes, size_t length)
{
    // One converter for the process, used by one thread at a time: opening
    // one costs more than a character (and each character is converted once;
    // fonts.cpp keeps the answers).
    struct Converter {
        std::mutex mutex;
        iconv_t descriptor = iconv_open("UTF-32LE", "CP932");
    };
    static Converter shared;
    const iconv_t converter = shared.descriptor;
    if (converter == reinterpret_cast<iconv_t>(-1)) return kNoCodePoint;
    const std::lock_guard<std::mutex> hold(shared.mutex);
    char *in = const_cast<char *>(bytes);
    size_t inLeft = length;
    uint32_t point = 0;
    char *outPtr = reinterpret_cast<char *>(&point);
    size_t outLeft = sizeof point;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || outLeft != 0) {
        return kNoCodePoint;
    }
    return point;
}

bool Utf16ToCp932(const WCHAR *wide, size_t units, std::string *out, BOOL *usedDefault)
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
