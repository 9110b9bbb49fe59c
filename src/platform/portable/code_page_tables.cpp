// Code page 932 through tables made from the native build's iconv (the web
// build: its C library has no such code page).
#include "platform/portable/code_page.h"

namespace {

#include "cp932_tables.h"

constexpr unsigned kNone = 0xFFFF;

int LeadIndex(unsigned lead)
{
    if (lead >= 0x81 && lead <= 0x9F) return static_cast<int>(lead - 0x81);
    if (lead >= 0xE0 && lead <= 0xFC) return static_cast<int>(lead - 0xE0 + 0x1F);
    return -1;
}

}  // namespace

uint32_t Cp932CodePoint(const char *bytes, size_t length)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    unsigned value = kNone;
    if (length == 1) {
        value = kCp932Single[b[0]];
    } else if (length == 2 && LeadIndex(b[0]) >= 0) {
        value = kCp932Pairs[LeadIndex(b[0]) * 0x100 + b[1]];
    }
    return value == kNone ? kNoCodePoint : value;
}

bool Utf16ToCp932(const WCHAR *wide, size_t units, std::string *out, BOOL *usedDefault)
{
    out->clear();
    for (size_t i = 0; i < units; ++i) {
        const unsigned value = kCp932FromUnit[wide[i]];
        if (value == kNone) {
            out->push_back('?');
            if (usedDefault) *usedDefault = TRUE;
        } else {
            if (value > 0xFF) out->push_back(static_cast<char>(value >> 8));
            out->push_back(static_cast<char>(value & 0xFF));
        }
    }
    return true;
}
