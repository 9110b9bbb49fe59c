#include "tests/writer/jw_writer.h"

#include <cstdio>
#include <cstring>

void ArchiveWriter::Word(uint16_t v)
{
    Byte(static_cast<uint8_t>(v));
    Byte(static_cast<uint8_t>(v >> 8));
}

void ArchiveWriter::Dword(uint32_t v)
{
    Word(static_cast<uint16_t>(v));
    Word(static_cast<uint16_t>(v >> 16));
}

void ArchiveWriter::Double(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Dword(static_cast<uint32_t>(bits));
    Dword(static_cast<uint32_t>(bits >> 32));
}

void ArchiveWriter::Raw(const std::string &text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }

void ArchiveWriter::ShortString(const std::string &text)
{
    Byte(static_cast<uint8_t>(text.size()));
    Raw(text.substr(0, 255));
}

void ArchiveWriter::Count(uint32_t n)
{
    if (n < 0xFFFF) {
        Word(static_cast<uint16_t>(n));
        return;
    }
    Word(0xFFFF);
    Dword(n);
}

void ArchiveWriter::Repeat(size_t times, uint32_t dword)
{
    for (size_t i = 0; i < times; ++i) Dword(dword);
}

void ArchiveWriter::RepeatDoubles(size_t times, double v)
{
    for (size_t i = 0; i < times; ++i) Double(v);
}

void WriteDrawingHeader(ArchiveWriter &out, const DrawingOptions &o)
{
    const uint32_t v = o.version;
    out.Raw("JwwData.");
    out.Dword(v);
    out.ShortString(o.memo);
    out.Dword(o.paperSize);
    out.Dword(0);
    for (int g = 0; g < 16; ++g) {
        out.Dword(2);    // layer group state: editable
        out.Dword(0);
        out.Double(1.0);  // scale 1:1
        out.Dword(0);
        for (int l = 0; l < 16; ++l) {
            out.Dword(2);  // layer state: editable
            out.Dword(0);
        }
    }
    out.Repeat(21, 0);
    out.RepeatDoubles(3, 0.0);
    out.Repeat(2, 0);
    out.RepeatDoubles(5, 0.0);
    for (int i = 0; i < 16 * 16 + 16; ++i) out.ShortString("");
    out.RepeatDoubles(2, 0.0);
    out.Dword(0);
    out.Double(0.0);
    if (v >= 300) out.RepeatDoubles(2, 0.0);
    out.Dword(0);
    out.RepeatDoubles(6, 0.0);
    const int views = v >= 300 ? 8 : 4;
    for (int n = 1; n <= views; ++n) {
        out.Double(1.0);
        out.Double(0.0);
        out.Double(0.0);
        if (v >= 300) out.Dword(0);
    }
    if (v >= 300) {
        out.Repeat(11, 0);
        out.Double(0.0);
        out.Dword(0);
    }
    out.RepeatDoubles(11, 0.0);
    for (int n = 0; n < 10; ++n) {
        out.Dword(n == 0 ? o.backgroundColor : 0);
        out.Dword(1);
    }
    for (int n = 0; n < 10; ++n) {
        out.Dword(n == 0 ? o.backgroundColor : 0);
        out.Dword(1);
        out.Double(0.0);
    }
    for (int t = 2; t <= 9; ++t) {
        out.Dword(0xFFFFFFFF);
        out.Dword(0);
        out.Dword(1);
        out.Dword(0);
    }
    for (int t = 11; t <= 15; ++t) {
        out.Dword(0xFFFFFFFF);
        out.Dword(1);
        out.Dword(3);
        out.Dword(0);
        out.Dword(0);
    }
    for (int t = 16; t <= 19; ++t) {
        out.Dword(0xFFFFFFFF);
        out.Dword(0);
        out.Dword(1);
        out.Dword(0);
    }
    out.Repeat(16, 0);
    out.RepeatDoubles(9, 0.0);
    out.Repeat(2, 0);
    if (v >= 420) {
        for (int p = 100; p <= 356; ++p) {
            out.Dword(0);
            out.Dword(1);
        }
        for (int p = 100; p <= 356; ++p) {
            out.ShortString("");
            out.Dword(0);
            out.Dword(1);
            out.Double(0.0);
        }
        for (int t = 30; t <= 62; ++t) {
            out.Dword(0xFFFFFFFF);
            out.Dword(0);
            out.Dword(1);
            out.Dword(0);
        }
        for (int t = 30; t <= 62; ++t) {
            out.ShortString("");
            out.Dword(0);
            out.RepeatDoubles(10, 0.0);
        }
    }
    for (int k = 1; k <= 10; ++k) {
        out.RepeatDoubles(3, 2.5);
        out.Dword(1);
    }
    out.RepeatDoubles(3, 0.0);
    out.Repeat(2, 0);
    out.RepeatDoubles(2, 0.0);
    out.Dword(0);
    out.RepeatDoubles(6, 0.0);
}

std::vector<uint8_t> MakeEmptyDrawing(const DrawingOptions &options)
{
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    out.Count(0);  // main object list
    out.Count(0);  // block definitions
    if (options.version >= 700) out.Dword(0);
    return out.Bytes();
}

std::vector<uint8_t> MakeMinimalFigure()
{
    ArchiveWriter out;
    out.Raw("JwsData.");
    out.Dword(600);
    out.Repeat(64, 0);
    return out.Bytes();
}

bool SaveFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
