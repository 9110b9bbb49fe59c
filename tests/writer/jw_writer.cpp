#include "tests/writer/jw_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kFirstVersionWithPenWidth = 351;
constexpr uint32_t kFirstVersionWithDimensionExtras = 420;
constexpr uint16_t kNewClassWord = 0xFFFF;
constexpr uint16_t kBigClassTag = 0x7FFF;
constexpr uint16_t kClassTagBit = 0x8000;
constexpr uint16_t kSchema = 1;

}  // namespace

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

void ArchiveWriter::EscapedLength(uint32_t length)
{
    if (length < 0xFF) {
        Byte(static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        Byte(0xFF);
        Word(static_cast<uint16_t>(length));
    } else {
        Byte(0xFF);
        Word(0xFFFF);
        Dword(length);
    }
}

void ArchiveWriter::String(const std::string &text)
{
    EscapedLength(static_cast<uint32_t>(text.size()));
    Raw(text);
}

void ArchiveWriter::UnicodeString(const std::u16string &text)
{
    Byte(0xFF);
    Word(0xFFFE);
    EscapedLength(static_cast<uint32_t>(text.size()));
    for (char16_t unit : text) Word(unit);
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

void ObjectWriter::Tag(const std::string &className)
{
    auto found = classIndex_.find(className);
    if (found == classIndex_.end()) {
        out_.Word(kNewClassWord);
        out_.Word(kSchema);
        out_.Word(static_cast<uint16_t>(className.size()));
        out_.Raw(className);
        classIndex_[className] = ++mapCount_;
        ++mapCount_;
        return;
    }
    const uint32_t index = found->second;
    if (index < kBigClassTag) {
        out_.Word(static_cast<uint16_t>(kClassTagBit | index));
    } else {
        out_.Word(kBigClassTag);
        out_.Dword(index | 0x80000000u);
    }
    ++mapCount_;
}

void ObjectWriter::Header(const Attributes &a)
{
    out_.Dword(a.group);
    out_.Byte(a.penStyle);
    out_.Word(a.penColor);
    if (version_ >= kFirstVersionWithPenWidth) out_.Word(a.penWidth);
    out_.Word(a.layer);
    out_.Word(a.layerGroup);
    out_.Word(a.flags);
}

void ObjectWriter::LineBody(const Attributes &a, double x1, double y1, double x2, double y2)
{
    Header(a);
    out_.Double(x1);
    out_.Double(y1);
    out_.Double(x2);
    out_.Double(y2);
}

void ObjectWriter::PointBody(const Attributes &a, double x, double y, uint32_t provisional)
{
    Header(a);
    out_.Double(x);
    out_.Double(y);
    out_.Dword(provisional);
    if (a.penStyle == 100) {
        out_.Dword(7);  // mark code
        out_.Double(0.5);
        out_.Double(2.0);
    }
}

void ObjectWriter::TextBody(const TextSpec &t)
{
    Header(t.attributes);
    out_.Double(t.x1);
    out_.Double(t.y1);
    out_.Double(t.x2);
    out_.Double(t.y2);
    out_.Dword(t.kind);
    out_.Double(t.width);
    out_.Double(t.height);
    out_.Double(t.spacing);
    out_.Double(t.angle);
    out_.String(t.font);
    if (t.unicodeText.empty()) {
        out_.String(t.text);
    } else {
        out_.UnicodeString(t.unicodeText);
    }
}

void ObjectWriter::Line(const Attributes &a, double x1, double y1, double x2, double y2)
{
    Tag("CDataSen");
    LineBody(a, x1, y1, x2, y2);
}

void ObjectWriter::Arc(const Attributes &a, double cx, double cy, double radius, double start, double sweep,
                       double tilt, double flatness, uint32_t fullCircle)
{
    Tag("CDataEnko");
    Header(a);
    for (double v : {cx, cy, radius, start, sweep, tilt, flatness}) out_.Double(v);
    out_.Dword(fullCircle);
}

void ObjectWriter::Point(const Attributes &a, double x, double y, uint32_t provisional)
{
    Tag("CDataTen");
    PointBody(a, x, y, provisional);
}

void ObjectWriter::Text(const TextSpec &t)
{
    Tag("CDataMoji");
    TextBody(t);
}

void ObjectWriter::Dimension(const Attributes &a, const Attributes &lineAttributes, double x1, double y1, double x2,
                             double y2, const TextSpec &label, uint16_t auxDrawMode)
{
    Tag("CDataSunpou");
    Header(a);
    LineBody(lineAttributes, x1, y1, x2, y2);
    TextBody(label);
    if (version_ < kFirstVersionWithDimensionExtras) return;
    out_.Word(auxDrawMode);
    LineBody(lineAttributes, x1, y1 - 5, x1, y1);
    LineBody(lineAttributes, x2, y2 - 5, x2, y2);
    for (int i = 0; i < 4; ++i) PointBody(lineAttributes, i < 2 ? x1 : x2, i % 2 ? y1 : y1 - 5, 0);
}

void ObjectWriter::Solid(const Attributes &a, const double corners[8], uint32_t fillColor)
{
    Tag("CDataSolid");
    Header(a);
    for (int i = 0; i < 8; ++i) out_.Double(corners[i]);
    if (a.penColor == 10) out_.Dword(fillColor);
}

void ObjectWriter::BlockRef(const Attributes &a, double x, double y, double scaleX, double scaleY, double rotation,
                            uint32_t defNumber)
{
    Tag("CDataBlock");
    Header(a);
    for (double v : {x, y, scaleX, scaleY, rotation}) out_.Double(v);
    out_.Dword(defNumber);
}

void ObjectWriter::BlockDef(const Attributes &a, uint32_t number, const std::string &name,
                            const std::u16string &unicodeName)
{
    Tag("CDataList");
    Header(a);
    out_.Dword(number);
    out_.Dword(1);           // referenced
    out_.Dword(0x5F000000);  // time stamp
    if (unicodeName.empty()) {
        out_.String(name);
    } else {
        out_.UnicodeString(unicodeName);
    }
}

void WriteDrawingHeader(ArchiveWriter &out, const DrawingOptions &o)
{
    const uint32_t v = o.version;
    out.Raw("JwwData.");
    out.Dword(v);
    out.String(o.memo);
    out.Dword(o.paperSize);
    out.Dword(0);
    for (int g = 0; g < 16; ++g) {
        const auto group = o.groupStates.find(g);
        out.Dword(group != o.groupStates.end() ? group->second : o.layerGroupState);
        out.Dword(0);
        out.Double(static_cast<size_t>(g) < o.groupScales.size() ? o.groupScales[g] : g + 1.0);  // layer group scale
        out.Dword(0);
        for (int l = 0; l < 16; ++l) {
            const auto layer = o.layerStates.find({g, l});
            out.Dword(layer != o.layerStates.end() ? layer->second : o.layerState);
            out.Dword(0);
        }
    }
    out.Repeat(21, 0);
    out.RepeatDoubles(3, 0.0);
    out.Repeat(2, 0);
    out.RepeatDoubles(5, 0.0);
    char name[16];
    for (int g = 0; g < 16; ++g) {
        for (int l = 0; l < 16; ++l) {
            std::snprintf(name, sizeof name, "L%X%X", g, l);
            const auto given = o.layerNames.find({g, l});
            out.String(given != o.layerNames.end() ? given->second : name);
        }
    }
    for (int g = 0; g < 16; ++g) {
        std::snprintf(name, sizeof name, "G%X", g);
        out.String(name);
    }
    out.RepeatDoubles(2, 0.0);
    out.Dword(0);
    out.Double(0.0);
    if (v >= 300) out.RepeatDoubles(2, 0.0);
    out.Dword(0);
    out.RepeatDoubles(6, 0.0);
    const int views = v >= 300 ? 8 : 4;
    for (int n = 0; n < views; ++n) {
        out.Double(o.views[n][0]);
        out.Double(o.views[n][1]);
        out.Double(o.views[n][2]);
        if (v >= 300) out.Dword(0);
    }
    if (v >= 300) {
        out.Repeat(11, 0);
        out.Double(0.0);
        out.Dword(0);
    }
    out.RepeatDoubles(11, 0.0);
    const uint32_t penColors[10] = {o.backgroundColor, 0x000000, 0x0000FF, 0x00C000, 0xC0C000,
                                    0xC000C0,          0x00C0C0, 0x008080, 0xFF0080, 0xC0C0C0};
    for (int n = 0; n < 10; ++n) {
        out.Dword(penColors[n]);
        out.Dword(n < 6 ? 1 : n - 4);
    }
    for (int n = 0; n < 10; ++n) {
        out.Dword(n == 0 ? 0xFFFFFF : 0x000000 + n);  // printer pens
        out.Dword(n < 6 ? 2 : n - 3);
        out.Double(0.35);
    }
    const uint32_t patterns[8] = {0x99999999, 0xC3C3C3C3, 0xE7E7E7E7, 0xF99FF99F,
                                  0xFFF99FFF, 0xF24FF24F, 0xFFF24FFF, 0x22222222};
    for (int t = 2; t <= 9; ++t) {
        out.Dword(patterns[t - 2]);
        out.Dword(0);
        out.Dword(1);
        out.Dword(0);
    }
    for (int t = 11; t <= 15; ++t) {
        out.Dword(0xFFFFFFFF);
        out.Dword(t < 13 ? 1 : 2);
        out.Dword(t - 8);
        out.Dword(0);
        out.Dword(0);
    }
    const uint32_t morePatterns[4] = {0xFFF99FFF, 0xFFF24FFF, 0xFFFE7FFF, 0xFFFE7FFF};
    for (int t = 16; t <= 19; ++t) {
        out.Dword(morePatterns[t - 16]);
        out.Dword(0);
        out.Dword(2);
        out.Dword(0);
    }
    for (int i = 0; i < 16; ++i) {
        out.Dword(i == 2 ? o.drawSolidsFirst : i == 5 ? o.usePrintColors : 0);
    }
    out.RepeatDoubles(9, 0.0);
    out.Repeat(2, 0);
    if (v >= 420) {
        for (int p = 100; p <= 356; ++p) {
            out.Dword(static_cast<uint32_t>(p * 0x010101));
            out.Dword(1);
        }
        for (int p = 100; p <= 356; ++p) {
            out.String("");
            out.Dword(static_cast<uint32_t>(p));
            out.Dword(1);
            out.Double(0.0);
        }
        for (int t = 30; t <= 62; ++t) {
            out.Dword(0xF0F0F0F0);
            out.Dword(0);
            out.Dword(3);
            out.Dword(0);
        }
        for (int t = 30; t <= 62; ++t) {
            out.String("");
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

void WriteFigureHeader(ArchiveWriter &out, const FigureOptions &o)
{
    out.Raw("JwsData.");
    for (int i = 0; i < 192; ++i) out.Byte(0);
    out.Dword(o.version);
    out.Double(o.refX);
    out.Double(o.refY);
    for (int g = 0; g < 16; ++g) out.Double(g + 1.0);
    out.Repeat(6, 0);
    out.RepeatDoubles(6, 0.0);
    out.Double(o.minX);
    out.Double(o.minY);
    out.Double(o.maxX);
    out.Double(o.maxY);
}

void WriteDrawingTrailer(ArchiveWriter &out, uint32_t version)
{
    if (version >= 700) out.Dword(0);
}

std::vector<uint8_t> MakeEmptyDrawing(const DrawingOptions &options)
{
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    out.Count(0);  // main object list
    out.Count(0);  // block definitions
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

std::vector<uint8_t> MakeMinimalFigure()
{
    ArchiveWriter out;
    WriteFigureHeader(out, FigureOptions{});
    out.Count(0);
    out.Count(0);
    return out.Bytes();
}

std::vector<uint8_t> MakeShowcaseDrawing()
{
    DrawingOptions options;
    options.version = 700;
    options.memo = "Plotmira showcase\r\nmade by the project's writer";
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    Attributes a;

    // The main list: every line type and pen, arcs and circles, points,
    // solids, texts, a dimension and block references.
    out.Count(9 * 2 + 4 + 3 + 2 + 3 + 1 + 3);
    for (int type = 1; type <= 9; ++type) {
        a.penStyle = static_cast<uint8_t>(type);
        a.penColor = static_cast<uint16_t>(type);
        objects.Line(a, -190, 130 - type * 8.0, -60, 130 - type * 8.0);
    }
    for (int pen = 1; pen <= 9; ++pen) {
        a.penStyle = 1;
        a.penColor = static_cast<uint16_t>(pen);
        objects.Line(a, -190 + pen * 14.0, 40, -190 + pen * 14.0, 5);
    }
    const double pi = 3.1415926535;
    a.penColor = 2;
    objects.Arc(a, 20, 90, 30, 0, 2 * pi, 0, 1, 1);
    a.penColor = 3;
    objects.Arc(a, 20, 90, 20, pi / 4, pi, 0, 1);
    a.penColor = 4;
    objects.Arc(a, 100, 90, 30, 0, 2 * pi, pi / 6, 0.5, 1);  // an ellipse, tilted
    a.penColor = 5;
    objects.Arc(a, 100, 90, 15, 0, pi / 2, 0, 1);
    a.penColor = 6;
    objects.Point(a, 160, 110);
    objects.Point(a, 170, 110);
    objects.Point(a, 180, 110);
    a.penColor = 10;
    const double square[8] = {140, 60, 190, 60, 190, 20, 140, 20};
    objects.Solid(a, square, 0x3366CC);
    a.penColor = 3;
    const double quad[8] = {60, 20, 120, 20, 110, 60, 70, 60};
    objects.Solid(a, quad);
    TextSpec title;
    title.attributes.penColor = 2;
    title.x1 = -190;
    title.y1 = -40;
    title.x2 = -60;
    title.y2 = -40;
    title.width = title.height = 8;
    title.text = "Plotmira";
    objects.Text(title);
    TextSpec japanese = title;
    japanese.y1 = japanese.y2 = -60;
    japanese.width = japanese.height = 6;
    japanese.unicodeText = u"\u56f3\u9762\u30c7\u30fc\u30bf";  // 図面データ
    objects.Text(japanese);
    TextSpec turned = title;
    turned.x1 = -40;
    turned.y1 = -90;
    turned.x2 = 0;
    turned.y2 = -50;
    turned.width = turned.height = 5;
    turned.text = "%dy.%dm.%dd";
    objects.Text(turned);
    TextSpec label;
    label.attributes.penColor = 1;
    label.x1 = 40;
    label.y1 = -32;
    label.x2 = 70;
    label.y2 = -32;
    label.text = "100";
    Attributes dimensionLine;
    dimensionLine.penColor = 1;
    objects.Dimension(a, dimensionLine, 20, -35, 120, -35, label, 1);
    a.penColor = 1;
    objects.BlockRef(a, 60, -90, 1, 1, 0, 1);
    objects.BlockRef(a, 110, -90, 1.5, 0.75, pi / 8, 1);
    objects.BlockRef(a, 170, -90, -1, 1, 0, 2);  // mirrored, and nesting block 1

    // Two definitions: a small window symbol, and one that places it again.
    out.Count(2);
    objects.BlockDef(a, 1, "window");
    out.Count(3);
    a.penColor = 4;
    objects.Line(a, -10, -10, 10, -10);
    objects.Line(a, 10, -10, 10, 10);
    objects.Arc(a, 0, 0, 8, 0, 2 * pi, 0, 1, 1);
    a.penColor = 1;
    objects.BlockDef(a, 2, "", u"\u7a93");  // 窓, in the Unicode form
    out.Count(2);
    objects.BlockRef(a, 0, 0, 1, 1, pi / 4, 1);
    a.penColor = 6;
    objects.Line(a, -15, 0, 15, 0);
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

std::vector<uint8_t> MakeMeasuringDrawing()
{
    DrawingOptions options;
    options.groupScales = {1, 50, 100};
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    const struct {
        uint16_t group;
        double x1, y1, x2, y2;
        const char *label;
    } dimensions[] = {
        {0, -100, 50, 20, 50, "120"},
        {1, 0, 0, 0, 36.4, "1,820"},
        {2, -30, -40, 10, -10, "5,000"},
        {2, 10, 10, 12.5, 10, "250"},
    };
    const double rectangle[5][2] = {{-60, -20}, {-20, -20}, {-20, 10}, {-60, 10}, {-60, -20}};
    out.Count(4 + 4 + 2);
    for (const auto &d : dimensions) {
        Attributes a;
        a.layerGroup = d.group;
        TextSpec label;
        label.attributes = a;
        label.x1 = d.x1;
        label.y1 = d.y1 + 2;
        label.x2 = d.x1 + 10;
        label.y2 = d.y1 + 2;
        label.text = d.label;
        objects.Dimension(a, a, d.x1, d.y1, d.x2, d.y2, label);
    }
    Attributes wall;
    wall.layerGroup = 1;
    wall.penColor = 2;
    for (int i = 0; i < 4; ++i) {
        objects.Line(wall, rectangle[i][0], rectangle[i][1], rectangle[i + 1][0], rectangle[i + 1][1]);
    }
    objects.Line(Attributes(), 200, 200, 210, 210);
    objects.Line(Attributes(), 200, 208, 212, 202);
    out.Count(0);
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

std::vector<uint8_t> MakeShowcaseFigure()
{
    ArchiveWriter out;
    FigureOptions options;
    WriteFigureHeader(out, options);
    ObjectWriter objects(out, options.version);
    Attributes a;
    out.Count(3);
    a.penColor = 2;
    objects.Line(a, -50, -25, 50, 25);
    objects.Line(a, -50, 25, 50, -25);
    a.penColor = 6;
    objects.Arc(a, 0, 0, 20, 0, 2 * 3.1415926535, 0, 1, 1);
    out.Count(0);
    return out.Bytes();
}

std::vector<uint8_t> MakeMacroDrawing()
{
    DrawingOptions options;
    options.memo = "memo of the macro drawing";
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    out.Count(3);
    const char *macros[3] = {"%f", "$f", "%m1"};
    for (int i = 0; i < 3; ++i) {
        TextSpec t;
        t.attributes.penColor = 2;
        t.x1 = -190;
        t.y1 = 100 - 40.0 * i;
        t.x2 = 100;
        t.y2 = t.y1;
        t.width = t.height = 8;
        t.text = macros[i];
        objects.Text(t);
    }
    out.Count(0);
    return out.Bytes();
}

bool SaveFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
