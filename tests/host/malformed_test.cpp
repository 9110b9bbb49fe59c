// Files made by the writer that push every limit of the format convert to a
// result code or a picture, through the exports, without crashing or hanging.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kHuge = 1e300;

class Malformed : public ::testing::Test {
protected:
    void SetUp() override { setenv("PLOTMIRA_DESKTOP_WIDTH", "400", 1); }
    void TearDown() override { setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1); }
    // Converts at full size (400 pixels) and as a preview; any result but a crash is an answer.
    void Expect(const std::string &name, const std::vector<uint8_t> &bytes, const char *what)
    {
        const std::string path = folder.Write(name, bytes);
        for (bool preview : {false, true}) {
            const int result = ConvertFile(path, preview).result;
            EXPECT_TRUE(result == 0 || result == 2 || result == 5) << what << ": " << result;
        }
    }
    std::vector<uint8_t> Drawing(const std::function<void(ArchiveWriter &, ObjectWriter &)> &body,
                                 DrawingOptions options = {})
    {
        ArchiveWriter out;
        WriteDrawingHeader(out, options);
        ObjectWriter objects(out, options.version);
        body(out, objects);
        return out.Bytes();
    }
    TempFolder folder;
};

Attributes Pen(uint16_t pen, uint8_t type = 1)
{
    Attributes a;
    a.penColor = pen;
    a.penStyle = type;
    return a;
}

TEST_F(Malformed, TruncatedAtEveryByteOfTheObjects)
{
    const std::vector<uint8_t> whole = MakeShowcaseDrawing();
    const size_t headerEnd = MakeEmptyDrawing(DrawingOptions{}).size() - 8;
    for (size_t cut = headerEnd; cut < whole.size(); cut += 3) {
        Expect("cut.jww", std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut)), "truncated");
    }
}

TEST_F(Malformed, CountsTagsAndClasses)
{
    Expect("count.jww", Drawing([](ArchiveWriter &out, ObjectWriter &o) {
               out.Count(0xFFFFFFFFu);
               o.Line(Pen(1), 0, 0, 10, 10);
           }),
           "main count 0xFFFFFFFF");
    Expect("defcount.jww", Drawing([](ArchiveWriter &out, ObjectWriter &o) {
               out.Count(0);
               out.Count(0xFFFFFFFFu);
               o.BlockDef(Pen(1), 1, "b");
               out.Count(0xFFFFFFFFu);
               o.Line(Pen(1), 0, 0, 1, 1);
           }),
           "block counts 0xFFFFFFFF");
    Expect("tag.jww", Drawing([](ArchiveWriter &out, ObjectWriter &o) {
               out.Count(3);
               o.Line(Pen(1), 0, 0, 10, 10);
               o.RawTag(0x8063);
               out.Repeat(30, 0);
           }),
           "class index out of range");
    Expect("bigtag.jww", Drawing([](ArchiveWriter &out, ObjectWriter &) {
               out.Count(2);
               out.Word(0x7FFF);
               out.Dword(0xFFFFFFFFu);
               out.Repeat(30, 0);
           }),
           "big tag");
    Expect("classes.jww", Drawing([](ArchiveWriter &out, ObjectWriter &) {
               out.Count(300);
               for (int i = 0; i < 300; ++i) {
                   out.Word(0xFFFF);
                   out.Word(1);
                   out.Word(9);
                   out.Raw("CDataTen" + std::string(1, static_cast<char>('A' + i % 26)));
                   out.Repeat(12, 0);
               }
           }),
           "hundreds of classes");
    Expect("longname.jww", Drawing([](ArchiveWriter &out, ObjectWriter &) {
               out.Count(1);
               out.Word(0xFFFF);
               out.Word(1);
               out.Word(0xFFFF);
               out.Raw(std::string(100, 'C'));
           }),
           "class name of 65535 bytes");
}

TEST_F(Malformed, StringsOfEveryLengthForm)
{
    for (uint32_t length : {0u, 1u, 254u, 255u, 256u, 65534u, 65535u, 65536u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Expect("string.jww", Drawing([length](ArchiveWriter &out, ObjectWriter &o) {
                   out.Count(2);
                   TextSpec t;
                   t.text = std::string(std::min<uint32_t>(length, 70000u), 'x');
                   o.Text(t);
                   // A string whose declared length runs past the data.
                   o.Line(Pen(1), 0, 0, 1, 1);
                   out.Byte(0xFF);
                   out.Word(0xFFFF);
                   out.Dword(length);
               }),
               "string length form");
        Expect("unicode.jww", Drawing([length](ArchiveWriter &out, ObjectWriter &o) {
                   out.Count(1);
                   TextSpec t;
                   t.unicodeText = std::u16string(std::min<uint32_t>(length, 20000u), u'\u56f3');
                   o.Text(t);
               }),
               "unicode string");
    }
}

TEST_F(Malformed, HostileNumbers)
{
    const double values[] = {kNan, kInf, -kInf, kHuge, -kHuge, 0.0, 1e-300};
    for (double v : values) {
        Expect("numbers.jww", Drawing([v](ArchiveWriter &out, ObjectWriter &o) {
                   out.Count(9);
                   o.Line(Pen(2, 2), v, 0, 10, v);
                   o.Line(Pen(3, 12), -v, v, v, -v);
                   o.Arc(Pen(4, 3), v, 0, v, v, v, v, v);
                   o.Arc(Pen(5), 0, 0, 10, 0, v, 0, v);
                   o.Point(Pen(6), v, v);
                   TextSpec t;
                   t.x1 = v;
                   t.height = v;
                   t.width = v;
                   t.text = "%f";
                   o.Text(t);
                   const double quad[8] = {v, v, -v, v, v, -v, 0, 0};
                   o.Solid(Pen(7, 105), quad);
                   o.Solid(Pen(7, 106), quad);
                   o.BlockRef(Pen(1), v, v, v, v, v, 1);
                   out.Count(1);
                   o.BlockDef(Pen(1), 1, "b");
                   out.Count(1);
                   o.Line(Pen(2, 5), 0, 0, 100, 100);
               }),
               "hostile numbers");
        FigureOptions figure;
        figure.minX = figure.maxX = v;
        figure.minY = -v;
        figure.maxY = v;
        figure.refX = v;
        ArchiveWriter out;
        WriteFigureHeader(out, figure);
        out.Count(0);
        out.Count(0);
        Expect("figure.jws", out.Bytes(), "figure extent");
    }
    for (uint32_t paper : {15u, 255u, 0xFFFFFFFFu}) {
        DrawingOptions options;
        options.paperSize = paper;
        Expect("paper.jww", MakeEmptyDrawing(options), "paper size");
    }
}

TEST_F(Malformed, EveryPenLineTypeAndLayer)
{
    Expect("pens.jww", Drawing([](ArchiveWriter &out, ObjectWriter &o) {
               out.Count(256 + 60);
               for (int type = 0; type < 256; ++type)
                   o.Line(Pen(static_cast<uint16_t>(type * 257), static_cast<uint8_t>(type)), -100, type, 100, -type);
               for (int i = 0; i < 60; ++i) {
                   Attributes a = Pen(static_cast<uint16_t>(i * 1111));
                   a.layer = static_cast<uint16_t>(i * 1000);
                   a.layerGroup = static_cast<uint16_t>(i * 999);
                   a.flags = static_cast<uint16_t>(i * 4001);
                   TextSpec t;
                   t.attributes = a;
                   t.text = "\x81\x45\x81\x45\x81\x45\x81\x45\x81\x45^";
                   o.Text(t);
               }
           }),
           "every pen and line type");
    DrawingOptions hidden;
    hidden.layerGroupState = 0;
    hidden.layerState = 0;
    std::vector<uint8_t> allHidden = MakeEmptyDrawing(hidden);
    Expect("allhidden.jww", allHidden, "all layers hidden");
}

TEST_F(Malformed, SelfReferencingAndExplodingBlocks)
{
    Expect("self.jww", Drawing([](ArchiveWriter &out, ObjectWriter &o) {
               out.Count(1);
               o.BlockRef(Pen(1), 0, 0, 1, 1, 0, 1);
               out.Count(2);
               o.BlockDef(Pen(1), 1, "self");
               out.Count(2);
               o.BlockRef(Pen(1), 1, 1, 1, 1, 0, 1);
               o.Line(Pen(2), 0, 0, 10, 10);
               o.BlockDef(Pen(1), 2, "other");
               out.Count(1);
               o.BlockRef(Pen(1), 1, 1, 1, 1, 0, 2);
           }),
           "self-referencing blocks");
    Expect("explode.jww", Drawing([](ArchiveWriter &out, ObjectWriter &o) {
               out.Count(10);
               for (int i = 0; i < 10; ++i) o.BlockRef(Pen(1), 0, 0, 1e6, 1e6, 0, 12);
               out.Count(12);
               for (uint32_t level = 1; level <= 12; ++level) {
                   o.BlockDef(Pen(1), level, "level");
                   if (level == 1) {
                       out.Count(2);
                       o.Line(Pen(2, 2), -1, -1, 1, 1);
                       const double quad[8] = {-1, -1, 1, -1, 1, 1, -1, 1};
                       o.Solid(Pen(3), quad);
                       continue;
                   }
                   out.Count(10);
                   for (int i = 0; i < 10; ++i) o.BlockRef(Pen(1), 0, 0, 1, 1, 0, level - 1);
               }
           }),
           "exploding blocks with huge scales");
}

}  // namespace
