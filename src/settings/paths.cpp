#include "settings/paths.h"

namespace {

constexpr UINT kShiftJisCodePage = 932;

std::string FromWide(const WCHAR *wide, int units, UINT codePage)
{
    if (wide == nullptr || units <= 0) return std::string();
    const int bytes = WideCharToMultiByte(codePage, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, wide, units, &out[0], bytes, nullptr, nullptr);
    return out;
}

int WideLength(const WCHAR *wide)
{
    int n = 0;
    while (wide != nullptr && wide[n] != 0) ++n;
    return n;
}

}  // namespace

std::vector<WCHAR> WidePath(const std::string &utf8)
{
    std::vector<WCHAR> wide(1, 0);
    if (utf8.empty()) return wide;
    const int length = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (units <= 0) return wide;
    wide.assign(static_cast<size_t>(units) + 1, 0);
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
    return wide;
}

std::string PathFromWide(const WCHAR *wide) { return FromWide(wide, WideLength(wide), CP_UTF8); }

std::string PathFromAnsi(const char *ansi)
{
    if (ansi == nullptr || *ansi == '\0') return std::string();
    const int length = static_cast<int>(std::char_traits<char>::length(ansi));
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi, length, nullptr, 0);
    if (units <= 0) return std::string();
    std::vector<WCHAR> wide(static_cast<size_t>(units) + 1, 0);
    MultiByteToWideChar(CP_ACP, 0, ansi, length, wide.data(), units);
    return FromWide(wide.data(), units, CP_UTF8);
}

std::string Utf8FromShiftJis(const char *text)
{
    if (text == nullptr || *text == '\0') return std::string();
    const int length = static_cast<int>(std::char_traits<char>::length(text));
    const int units = MultiByteToWideChar(kShiftJisCodePage, 0, text, length, nullptr, 0);
    if (units <= 0) return std::string();
    std::vector<WCHAR> wide(static_cast<size_t>(units) + 1, 0);
    MultiByteToWideChar(kShiftJisCodePage, 0, text, length, wide.data(), units);
    return FromWide(wide.data(), units, CP_UTF8);
}

HANDLE OpenPathForReading(const std::string &utf8, DWORD share)
{
    if (utf8.empty()) return INVALID_HANDLE_VALUE;
    const std::vector<WCHAR> wide = WidePath(utf8);
    return CreateFileW(wide.data(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string PathAsShiftJis(const std::string &utf8)
{
    const std::vector<WCHAR> wide = WidePath(utf8);
    return FromWide(wide.data(), WideLength(wide.data()), kShiftJisCodePage);
}
