// Writes the code page 932 tables of the web build: every character as the
// native build's iconv converts it, so both builds spell texts alike.
//
//   make_cp932_tables OUTPUT.h
#include <cstdio>
#include <string>

#include "platform/portable/code_page.h"

namespace {

constexpr unsigned kNone = 0xFFFF;

bool IsLead(unsigned byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

unsigned Decoded(const char *bytes, size_t length)
{
    const uint32_t point = Cp932CodePoint(bytes, length);
    return point == kNoCodePoint || point >= kNone ? kNone : point;
}

void PutTable(FILE *out, const char *name, const std::string &values)
{
    std::fprintf(out, "const uint16_t %s[] = {%s};\n", name, values.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_cp932_tables OUTPUT.h\n");
        return 2;
    }
    std::string single, pairs, encoded;
    for (unsigned byte = 0; byte < 0x100; ++byte) {
        const char c = static_cast<char>(byte);
        single += std::to_string(Decoded(&c, 1)) + ",";
        if (!IsLead(byte)) continue;
        for (unsigned trail = 0; trail < 0x100; ++trail) {
            const char two[2] = {c, static_cast<char>(trail)};
            pairs += std::to_string(Decoded(two, 2)) + ",";
        }
    }
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        const WCHAR wide = static_cast<WCHAR>(unit);
        std::string bytes;
        BOOL unspelled = FALSE;
        if (!Utf16ToCp932(&wide, 1, &bytes, &unspelled)) {
            std::fprintf(stderr, "make_cp932_tables: iconv has no code page 932\n");
            return 1;
        }
        unsigned value = kNone;
        if (!unspelled && bytes.size() == 1) value = static_cast<unsigned char>(bytes[0]);
        if (!unspelled && bytes.size() == 2)
            value = static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]);
        encoded += std::to_string(value) + ",";
    }
    FILE *out = std::fopen(argv[1], "w");
    if (out == nullptr) return 1;
    std::fprintf(out, "// Made by make_cp932_tables from iconv's code page 932; 0xFFFF: none.\n");
    PutTable(out, "kCp932Single", single);     // by byte
    PutTable(out, "kCp932Pairs", pairs);       // by lead (0x81-0x9F, 0xE0-0xFC) and trail byte
    PutTable(out, "kCp932FromUnit", encoded);  // one byte, or lead << 8 | trail
    return std::fclose(out) == 0 ? 0 : 1;
}
