// Golden pictures: one generated drawing per feature, converted through the
// exports and compared exactly with a recorded picture. On a mismatch the
// actual picture and a difference picture land in the build folder;
// PLOTMIRA_UPDATE_GOLDEN=1 records the pictures anew (look at each first).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"
#include "hosts/cli/image_files.h"

namespace {

constexpr double kPi = 3.1415926535;
constexpr const char *kDesktopWidth = "640";

// A drawing of one version: the header, then `body` writes the main list
// (its count first) and the block definitions (their count first) through
// one object writer, whose class tags run on from list to list.
std::vector<uint8_t> Drawing(const DrawingOptions &options,
                             const std::function<void(ArchiveWriter &, ObjectWriter &)> &body)
{
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    body(out, objects);
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

Attributes Pen(uint16_t pen, uint8_t type = 1, uint16_t group = 0, uint16_t layer = 0)
{
    Attributes a;
    a.penColor = pen;
    a.penStyle = type;
    a.layerGroup = group;
    a.layer = layer;
    return a;
}

const char kGothic[] = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック
const char kMincho[] = "\x82\x6c\x82\x72 \x96\xbe\x92\xa9";                  // ＭＳ 明朝

TextSpec Text(double x, double y, double size, const std::string &text, uint16_t pen = 2)
{
    TextSpec t;
    t.attributes = Pen(pen);
    t.x1 = x;
    t.y1 = y;
    t.x2 = x + size * text.size();
    t.y2 = y;
    t.width = t.height = size;
    t.text = text;
    t.font = kGothic;
    return t;
}

struct GoldenCase {
    const char *name;
    const char *fileName;  // its extension decides normal or print mode
    std::function<std::vector<uint8_t>()> make;
};

std::vector<GoldenCase> Cases()
{
    std::vector<GoldenCase> cases;
    cases.push_back({"line_types", "lines.jww", [] {
                         return Drawing(DrawingOptions{}, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(18);
                             uint32_t n = 0;
                             const int types[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
                             double y = 130;
                             for (int type : types) {
                                 o.Line(Pen(static_cast<uint16_t>(1 + n % 8), static_cast<uint8_t>(type)), -200, y, 200,
                                        y - 20);
                                 y -= 14;
                                 ++n;
                             }
                             out.Count(0);
                         });
                     }});
    cases.push_back({"arcs_and_ellipses", "arcs.jww", [] {
                         return Drawing(DrawingOptions{}, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(6);
                             o.Arc(Pen(1), -120, 60, 60, 0, 2 * kPi, 0, 1, 1);
                             o.Arc(Pen(2), -120, 60, 40, kPi / 2, -kPi / 2);
                             o.Arc(Pen(3, 2), 40, 60, 70, 0, 2 * kPi, kPi / 6, 0.4, 1);
                             o.Arc(Pen(4, 5), 40, 60, 50, kPi / 4, kPi, 0, 1);
                             o.Arc(Pen(5), 150, -60, 30, 0, 2 * kPi, kPi / 2, 0.5, 1);
                             o.Arc(Pen(6, 12), -100, -80, 50, 0, kPi, 0, 1);
                             out.Count(0);
                         });
                     }});
    cases.push_back({"solids", "solids.jww", [] {
                         return Drawing(DrawingOptions{}, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(7);
                             const double quad[8] = {-190, 120, -110, 120, -100, 50, -180, 40};
                             o.Solid(Pen(3), quad);
                             const double own[8] = {-90, 120, -20, 120, -20, 50, -90, 50};
                             o.Solid(Pen(10), own, 0x3366CC);
                             Attributes disc = Pen(4, 101);
                             const double discValues[8] = {40, 85, 35, 1, 0, 0, 2 * kPi, 5};
                             o.Solid(disc, discValues);
                             const double sector[8] = {140, 85, 35, 0.6, 0.3, 0, kPi / 2, 0};
                             o.Solid(disc, sector);
                             const double band105[8] = {-120, -60, 50, 1, 0, 0, 1.5 * kPi, 25};
                             o.Solid(Pen(5, 105), band105);
                             const double band106[8] = {60, -60, 50, 1, 0, kPi / 4, kPi, 35};
                             o.Solid(Pen(6, 106), band106);
                             const double nothing[8] = {0, 0, 50, 0, 50, 50, 0, 50};
                             o.Solid(Pen(2, 100), nothing);
                             out.Count(0);
                         });
                     }});
    cases.push_back({"dimensions_351", "dims351.jww", [] {
                         DrawingOptions options;
                         options.version = 351;
                         return Drawing(options, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(1);
                             o.Dimension(Pen(1), Pen(3), -150, 0, 150, 0, Text(-20, 3, 8, "300"), 1);
                             out.Count(0);
                         });
                     }});
    cases.push_back({"dimensions_600", "dims600.jww", [] {
                         return Drawing(DrawingOptions{}, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(2);
                             o.Dimension(Pen(1), Pen(3), -150, 0, 150, 0, Text(-20, 3, 8, "300"), 1);
                             o.Dimension(Pen(1), Pen(4), -150, -60, 50, -60, Text(-60, -57, 8, "200"), 0);
                             out.Count(0);
                         });
                     }});
    cases.push_back({"blocks", "blocks.jww", [] {
                         return Drawing(DrawingOptions{}, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(6);
                             o.BlockRef(Pen(1), -150, 60, 1, 1, 0, 1);
                             o.BlockRef(Pen(1), -50, 60, 2, 1, kPi / 2, 1);  // scaled and turned
                             o.BlockRef(Pen(1), 60, 60, -1, 1, 0, 1);        // mirrored
                             o.BlockRef(Pen(1), 150, 60, 1, -1, kPi / 6, 1);
                             o.BlockRef(Pen(1), -100, -70, 1.5, 1.5, 0, 2);  // nested
                             o.BlockRef(Pen(1), 100, -70, 1, 1, kPi, 2);
                             out.Count(2);
                             o.BlockDef(Pen(1), 1, "flag");
                             out.Count(4);
                             o.Line(Pen(2), 0, 0, 0, 40);
                             o.Line(Pen(3), 0, 40, 25, 30);
                             o.Arc(Pen(4), 10, 10, 8, 0, kPi, 0, 0.5);
                             const double corner[8] = {0, 30, 25, 30, 0, 20, 0, 20};
                             o.Solid(Pen(5), corner);
                             o.BlockDef(Pen(1), 2, "pair");
                             out.Count(3);
                             o.BlockRef(Pen(1), 0, 0, 0.5, 0.5, 0, 1);
                             o.BlockRef(Pen(1), 30, 0, 0.5, 0.5, kPi / 4, 1);
                             o.Point(Pen(6), 15, -5);
                         });
                     }});
    cases.push_back({"layers", "layers.jww", [] {
                         DrawingOptions options;
                         options.groupStates[1] = 0;       // hidden group
                         options.groupStates[2] = 1;       // display-only group
                         options.layerStates[{0, 3}] = 0;  // hidden layer
                         options.layerStates[{0, 4}] = 1;  // display-only layer
                         return Drawing(options, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(7);
                             const double wide[8] = {-180, 100, 180, 100, 180, 20, -180, 20};
                             o.Solid(Pen(4, 1, 0, 4), wide);  // display-only: pen 9, under the others
                             o.Line(Pen(2, 1, 0, 0), -200, 60, 200, 60);
                             o.Line(Pen(2, 1, 1, 0), -200, 50, 200, 50);  // hidden group
                             o.Line(Pen(2, 1, 2, 0), -200, 40, 200, 40);  // display-only group
                             o.Line(Pen(2, 1, 0, 3), -200, 30, 200, 30);  // hidden layer
                             o.Line(Pen(100, 1, 0, 4), -200, -20, 200,
                                    -20);                                   // extended pen 100 on a display-only layer
                             o.Line(Pen(9, 1, 0, 0), -200, -40, 200, -40);  // pen 9 is never drawn
                             out.Count(0);
                         });
                     }});
    cases.push_back({"print_view", "VIEW.JWW", [] {
                         DrawingOptions options;
                         options.views[1][0] = 2.0;  // view 2: twice as large, centred on (50, 20)
                         options.views[1][1] = 50;
                         options.views[1][2] = 20;
                         options.usePrintColors = 0;  // printer pens 1..9 black
                         return Drawing(options, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(3);
                             o.Arc(Pen(2), 50, 20, 30, 0, 2 * kPi, 0, 1, 1);
                             o.Line(Pen(6), 0, 20, 100, 20);
                             const double quad[8] = {40, 10, 60, 10, 60, 30, 40, 30};
                             o.Solid(Pen(10), quad, 0x00FF00);
                             out.Count(0);
                         });
                     }});
    cases.push_back({"figure", "part.jws", [] {
                         ArchiveWriter out;
                         FigureOptions options;
                         options.refX = -40;
                         options.refY = -20;
                         WriteFigureHeader(out, options);
                         ObjectWriter o(out, options.version);
                         out.Count(4);
                         o.Line(Pen(2), -50, -25, 50, 25);
                         o.Line(Pen(3, 2), -50, 25, 50, -25);
                         o.Arc(Pen(6), 0, 0, 20, 0, 2 * kPi, 0, 1, 1);
                         const double quad[8] = {20, 5, 45, 5, 45, 20, 20, 20};
                         o.Solid(Pen(4), quad);
                         out.Count(0);
                         return out.Bytes();
                     }});
    return cases;
}

std::vector<GoldenCase> TextCases()
{
    std::vector<GoldenCase> cases;
    cases.push_back({"texts_and_macros", "texts.jww", [] {
                         DrawingOptions options;
                         options.memo = "memo line one\r\nsecond";
                         options.groupScales = {50, 0.5};
                         return Drawing(options, [](ArchiveWriter &out, ObjectWriter &o) {
                             out.Count(11);
                             TextSpec big = Text(-190, 110, 14, "Plotmira ABC");
                             o.Text(big);
                             TextSpec mincho = Text(-190, 85, 10, "\x90\x7d\x96\xca\x83\x66\x81\x5b\x83\x5e", 3);
                             mincho.font = kMincho;
                             o.Text(mincho);
                             TextSpec turned = Text(150, -60, 10, "TURN", 4);
                             turned.x2 = 150;
                             turned.y2 = 60;
                             o.Text(turned);
                             TextSpec flagged = turned;
                             flagged.attributes.flags = 32;
                             flagged.x1 = flagged.x2 = 120;
                             o.Text(flagged);
                             o.Text(Text(-190, 60, 10, "SQUEEZED^3", 5));
                             o.Text(Text(-190, 40, 10, "DOTS\x81\x45\x81\x45\x81\x45", 6));
                             o.Text(Text(-190, 20, 2, "tiny", 7));
                             o.Text(Text(-190, 0, 10, "%f", 8));
                             o.Text(Text(-190, -20, 10, "%m1", 1));
                             TextSpec scale = Text(-190, -40, 10, "%SS", 2);
                             o.Text(scale);
                             TextSpec other = Text(-190, -60, 10, "%sp", 3);
                             other.attributes.layerGroup = 1;
                             o.Text(other);
                             out.Count(0);
                         });
                     }});
    return cases;
}

void Check(const GoldenCase &c)
{
    setenv("PLOTMIRA_DESKTOP_WIDTH", kDesktopWidth, 1);
    TempFolder folder;
    const std::string path = folder.Write(c.fileName, c.make());
    const Conversion conversion = ConvertFile(path);
    ASSERT_EQ(conversion.result, 0) << c.name;
    const RgbImage actual = ImageFromDib(conversion.width, conversion.height, conversion.bits.data());
    const std::string golden = std::string(PLOTMIRA_GOLDEN_DIR) + "/" + c.name + ".png";
    std::string error;
    const char *update = std::getenv("PLOTMIRA_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        ASSERT_TRUE(WritePng(golden, actual, &error)) << error;
        return;
    }
    RgbImage expected;
    ASSERT_TRUE(ReadImage(golden, &expected, &error)) << golden << ": " << error;
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    size_t differing = 0;
    RgbImage diff = actual;
    for (size_t i = 0; i < actual.rgb.size(); i += 3) {
        const bool same = actual.rgb[i] == expected.rgb[i] && actual.rgb[i + 1] == expected.rgb[i + 1] &&
                          actual.rgb[i + 2] == expected.rgb[i + 2];
        differing += !same;
        for (int k = 0; k < 3; ++k) diff.rgb[i + k] = same ? 255 : (k == 0 ? 255 : 0);
    }
    if (differing != 0) {
        const std::string out = std::string(PLOTMIRA_BUILD_DIR) + "/golden-actual";
        mkdir(out.c_str(), 0755);
        WritePng(out + "/" + c.name + ".png", actual, &error);
        WritePng(out + "/" + c.name + "-diff.png", diff, &error);
    }
    EXPECT_EQ(differing, 0u) << c.name << ": see " << PLOTMIRA_BUILD_DIR << "/golden-actual";
}

TEST(Golden, Features)
{
    for (const GoldenCase &c : Cases()) Check(c);
    setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
}

// Text pictures depend on the installed font versions: their own test.
TEST(GoldenText, TextsAndMacros)
{
    for (const GoldenCase &c : TextCases()) Check(c);
    setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
}

}  // namespace
