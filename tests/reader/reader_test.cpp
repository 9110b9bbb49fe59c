// The reader, through files the test-side writer builds: the archive's
// primitives, every record layout of every version, the header values, and
// what damaged or hostile files end as.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/module_state.h"
#include "reader/archive.h"
#include "reader/drawing.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "settings/setting_tables.h"
#include "tests/writer/jw_writer.h"

namespace {

constexpr double kPi = 3.1415926535;

// Each read goes through the module as the plug-in reads, so that what it
// left is in place to be looked at.
class Reader : public ::testing::Test {
protected:
    void TearDown() override
    {
        context.reset();
        module.reset();
    }
    int ReadDrawing(const std::vector<uint8_t> &bytes) { return Read(bytes, false); }
    int ReadFigure(const std::vector<uint8_t> &bytes) { return Read(bytes, true); }
    int Read(const std::vector<uint8_t> &bytes, bool figure)
    {
        TearDown();
        module.reset(new ModuleDrawing);
        const int answer = module->Read(bytes.data(), bytes.size(), figure);
        EXPECT_NE(answer, kReadNoStore);
        return answer;
    }
    // Starts the archive on raw bytes, with a pool to read strings into.
    void Begin(const std::vector<uint8_t> &bytes)
    {
        raw = bytes;
        TearDown();
        module.reset(new ModuleDrawing);
        AllocateStore(module->drawing.store, raw.size() + 64);
        context.reset(new ReadContext(module->drawing));
        BeginArchive(*context, raw.data(), raw.size());
    }
    // The drawing read: its records, header and tables.
    const StoreTables &S() const { return module->drawing.store; }
    const DocumentSettings &H() const { return module->drawing.header; }
    SettingTables &T() { return module->drawing.tables; }
    std::vector<uint8_t> raw;
    std::unique_ptr<ModuleDrawing> module;
    std::unique_ptr<ReadContext> context;
};

// A drawing of one version holding one object of every class, a block
// definition with two members, and a reference to it.
std::vector<uint8_t> EveryKind(uint32_t version, DrawingOptions options = {})
{
    options.version = version;
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, version);
    Attributes a;
    a.group = 5;
    a.penStyle = 2;
    a.penColor = 3;
    a.penWidth = 7;
    a.layer = 4;
    a.layerGroup = 9;
    a.flags = 0x21;
    out.Count(10);
    objects.Line(a, 1, 2, 3, 4);
    objects.Arc(a, 10, 20, 5, kPi / 2, kPi, 0.25, 0.5, 0);
    objects.Point(a, 7, 8, 1);
    Attributes marked = a;
    marked.penStyle = 100;
    objects.Point(marked, 9, 10);
    TextSpec text;
    text.attributes = a;
    text.text = "hello";
    text.x1 = 1;
    text.x2 = 11;
    objects.Text(text);
    TextSpec label;
    label.text = "25";
    Attributes dimensionLine = a;
    dimensionLine.penColor = 2;
    objects.Dimension(a, dimensionLine, 0, 0, 25, 0, label, 1);
    const double corners[8] = {0, 0, 10, 0, 10, 10, 0, 10};
    Attributes own = a;
    own.penColor = 10;
    objects.Solid(own, corners, 0x123456);
    objects.Solid(a, corners);
    objects.BlockRef(a, 50, 60, 2, 3, kPi / 6, 12);
    objects.Line(a, 5, 6, 7, 8);
    out.Count(1);
    objects.BlockDef(a, 12, "blk");
    out.Count(2);
    objects.Line(a, -1, -1, 1, 1);
    objects.BlockRef(a, 0, 0, 1, 1, 0, 12);
    WriteDrawingTrailer(out, version);
    return out.Bytes();
}

TEST_F(Reader, CountsAndClassTags)
{
    Begin({0xFF, 0xFF, 0x10, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0x01, 0x00, 0x34, 0x12});
    EXPECT_EQ(ReadCount(*context), 131088u);
    EXPECT_EQ(ReadCount(*context), 98304u);
    EXPECT_EQ(ReadCount(*context), 0x1234u);
    Begin({0xFF, 0x7F, 0x05, 0x00, 0x00, 0x80, 0x03, 0x80, 0x03, 0x00, 0xFF, 0xFF});
    EXPECT_EQ(ReadClassTag(*context), 5);
    EXPECT_EQ(ReadClassTag(*context), 3);
    EXPECT_EQ(ReadClassTag(*context), 0x8003);
    EXPECT_EQ(ReadClassTag(*context), kNewClassTag);
    EXPECT_FALSE(context->archive.exhausted);
    // Past the end: nothing is read, the value is 0 and the cursor is spent.
    EXPECT_EQ(ReadDword(*context), 0u);
    EXPECT_TRUE(context->archive.exhausted);
    Begin({0x01, 0x02, 0x03});
    EXPECT_EQ(ReadDword(*context), 0u);
    EXPECT_EQ(ReadByte(*context), 0u);  // an exhausted cursor stays exhausted
}

TEST_F(Reader, StringsInEveryForm)
{
    ArchiveWriter out;
    out.String("");
    out.String("abc");
    out.String(std::string(300, 'x'));    // 0xFF and a 16-bit length
    out.String(std::string(70000, 'y'));  // 0xFF, 0xFFFF and a 32-bit length
    out.UnicodeString(u"A\u56f3\uff71");  // A, 図 and half-width ｱ
    out.UnicodeString(u"");
    out.String("\x82\xa0");  // Shift-JIS bytes stay as they are
    Begin(out.Bytes());
    EXPECT_STREQ(ReadString(*context), "");
    EXPECT_STREQ(ReadString(*context), "abc");
    EXPECT_EQ(std::string(ReadString(*context)), std::string(300, 'x'));
    EXPECT_EQ(std::string(ReadString(*context)), std::string(70000, 'y'));
    EXPECT_STREQ(ReadString(*context), "A\x90\x7d\xb1");
    EXPECT_STREQ(ReadString(*context), "");
    EXPECT_STREQ(ReadString(*context), "\x82\xa0");
    EXPECT_FALSE(context->archive.exhausted);
    EXPECT_EQ(context->archive.position, context->archive.size);

    // A length beyond the data ends it instead of reading outside.
    Begin({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'});
    EXPECT_STREQ(ReadString(*context), "");
    EXPECT_TRUE(context->archive.exhausted);
    Begin({0xFF, 0xFE, 0xFF, 0x40, 'a', 0});
    EXPECT_STREQ(ReadString(*context), "");
    EXPECT_TRUE(context->archive.exhausted);
}

TEST_F(Reader, EveryRecordInEveryVersion)
{
    for (uint32_t version : {230u, 300u, 351u, 420u, 600u, 700u}) {
        SCOPED_TRACE(version);
        const std::vector<uint8_t> bytes = EveryKind(version);
        ASSERT_EQ(ReadDrawing(bytes), 0);
        EXPECT_EQ(H().fileVersion, version);
        EXPECT_FALSE(H().lastReadExhausted);
        EXPECT_EQ(H().lastReadEnd, bytes.size() - (version == 700 ? 4 : 0));

        EXPECT_EQ(S().lineCount, 3u);
        EXPECT_EQ(S().firstBlockLine, 3u);
        const LineRecord &line = S().lines[1];
        EXPECT_EQ(line.header.group, 5u);
        EXPECT_EQ(line.header.penStyle, 2);
        EXPECT_EQ(line.header.penColor, 3);
        EXPECT_EQ(line.header.penWidth, version >= 351 ? 7 : 0);
        EXPECT_EQ(line.header.layer, 4);
        EXPECT_EQ(line.header.layerGroup, 9);
        EXPECT_EQ(line.header.flags, 0x21);
        EXPECT_EQ(line.x1, 1);
        EXPECT_EQ(line.y2, 4);
        EXPECT_EQ(line.owner, kTopLevelOwner);
        EXPECT_EQ(S().lines[2].x1, 5);  // after the block reference, still top-level
        EXPECT_EQ(S().lines[3].owner, 12);

        ASSERT_EQ(S().arcCount, 1u);
        EXPECT_EQ(S().arcs[1].cx, 10);
        EXPECT_EQ(S().arcs[1].radius, 5);
        EXPECT_EQ(S().arcs[1].sweepAngle, kPi);
        EXPECT_EQ(S().arcs[1].tiltAngle, 0.25);
        EXPECT_EQ(S().arcs[1].flatness, 0.5);

        ASSERT_EQ(S().pointCount, 2u);
        EXPECT_EQ(S().points[1].x, 7);
        EXPECT_EQ(S().points[1].provisional, 1u);
        EXPECT_EQ(S().points[2].markCode, 7u);  // penStyle 100: the mark fields follow
        EXPECT_EQ(S().points[2].markScale, 2.0);

        ASSERT_EQ(S().textCount, 1u);
        EXPECT_STREQ(S().texts[1].text, "hello");
        EXPECT_STREQ(S().texts[1].fontName, "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");
        EXPECT_EQ(S().texts[1].charHeight, 2.5);

        ASSERT_EQ(S().dimensionCount, 1u);
        const DimensionRecord &d = S().dimensions[1];
        EXPECT_EQ(d.line.header.penColor, 2);
        EXPECT_EQ(d.line.x2, 25);
        EXPECT_STREQ(d.label.text, "25");
        EXPECT_EQ(d.auxDrawMode, version >= 420 ? 1 : 0);
        EXPECT_EQ(d.auxLine2.x1, version >= 420 ? 25 : 0);

        ASSERT_EQ(S().solidCount, 2u);
        EXPECT_EQ(S().solids[1].fillColor, 0x123456u);
        EXPECT_EQ(S().solids[2].fillColor, 0u);
        EXPECT_EQ(S().solids[2].x3, 10);

        ASSERT_EQ(S().blockRefCount, 2u);
        EXPECT_EQ(S().blockRefs[1].owner, kTopLevelOwner);  // not the group 5 of the file
        EXPECT_EQ(S().blockRefs[1].header.group, static_cast<uint32_t>(kTopLevelOwner));
        EXPECT_EQ(S().blockRefs[1].scaleY, 3);
        EXPECT_EQ(S().blockRefs[1].defNumber, 12u);
        EXPECT_EQ(S().blockRefs[2].owner, 12);
        ASSERT_EQ(S().blockDefCount, 1u);
        EXPECT_EQ(S().blockDefs[1].defNumber, 12u);
        EXPECT_EQ(S().blockDefs[1].nameLength, 3);
    }
}

TEST_F(Reader, HeaderValues)
{
    DrawingOptions options;
    options.memo = "X\r\nY\r\nZ";
    options.views[1][1] = 1;
    options.views[1][2] = 1;
    options.views[2][1] = 5;  // one coordinate 0: passed over
    options.views[5][1] = 2;  // entries past 4 are never selected
    options.views[5][2] = 2;
    options.views[1][0] = 3;
    options.drawSolidsFirst = 1;
    options.usePrintColors = 0;
    options.backgroundColor = 0x102030;
    options.paperSize = 2;
    options.layerState = 1;
    ASSERT_EQ(ReadDrawing(EveryKind(600, options)), 2);
    EXPECT_STREQ(H().memoText, "X");
    EXPECT_STREQ(H().memoSecondLine, "Z");
    EXPECT_EQ(H().viewZoom[2], 3);
    EXPECT_EQ(H().viewOriginX[6], 2);
    EXPECT_EQ(H().drawSolidsFirst, 1u);
    EXPECT_EQ(H().usePrintColors, 0u);
    EXPECT_EQ(T().penColor[0], 0x102030u);
    EXPECT_EQ(T().penWidth[7], 3u);
    EXPECT_EQ(T().printPenColor[3], 3u);
    EXPECT_EQ(T().printPenWidth[8], 5u);
    EXPECT_EQ(H().paperSize, 2u);
    EXPECT_EQ(H().layerState[15][15], 1u);
    EXPECT_EQ(H().layerGroupScale[3], 4.0);
    EXPECT_STREQ(H().layerName[10][11], "LAB");
    EXPECT_STREQ(H().layerGroupName[15], "GF");
    EXPECT_EQ(T().linePattern[5], 0xF99FF99Fu);
    EXPECT_EQ(T().randomWidth[13], 2u);
    EXPECT_EQ(T().linePitch[17], 2u);
    EXPECT_EQ(T().linePattern[40], 0xF0F0F0F0u);  // extended line types from 420
    EXPECT_EQ(T().penColor[200], static_cast<COLORREF>(200 * 0x010101));

    // A memo of just CR LF is not split; extended pens keep their values before 420.
    options.memo = "\r\n";
    T().penColor[200] = 0xABCDEF;
    ASSERT_EQ(ReadDrawing(EveryKind(351, options)), 2);
    EXPECT_STREQ(H().memoText, "\r\n");
    EXPECT_STREQ(H().memoSecondLine, "");
    EXPECT_EQ(T().penColor[200], 0xABCDEFu);
}

TEST_F(Reader, RefusedDrawings)
{
    std::vector<uint8_t> bytes = MakeEmptyDrawing(DrawingOptions{});
    bytes.resize(1999);
    EXPECT_EQ(ReadDrawing(bytes), -1);
    bytes.resize(2000);
    EXPECT_EQ(ReadDrawing(bytes), 0);

    DrawingOptions other;
    other.version = 250;
    ReadDrawing(EveryKind(600));
    EXPECT_EQ(ReadDrawing(EveryKind(250, other)), 250);
    EXPECT_EQ(S().lineCount, 0u);
    EXPECT_EQ(H().fileVersion, 250u);
    // A version that would read as a view number, or as a failure, is no view.
    EXPECT_EQ(ReadDrawing(EveryKind(3)), 0);
    EXPECT_EQ(ReadDrawing(EveryKind(0xFFFFFFFFu)), 0);
    EXPECT_EQ(H().fileVersion, 0xFFFFFFFFu);
}

TEST_F(Reader, ListsEndCleanlyAtTheFirstFault)
{
    // An unknown class after two lines: those two stay and count as top-level.
    DrawingOptions options;
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, 600);
    out.Count(4);
    objects.Line(Attributes{}, 0, 0, 1, 1);
    objects.Line(Attributes{}, 0, 0, 2, 2);
    out.Word(0xFFFF);
    out.Word(1);
    out.Word(8);
    out.Raw("CDataXyz");
    out.Repeat(20, 0);
    EXPECT_EQ(ReadDrawing(out.Bytes()), 0);
    EXPECT_EQ(S().lineCount, 2u);
    EXPECT_EQ(S().firstBlockLine, 3u);

    // A tag that names no class; a class name longer than its slot.
    for (int fault = 0; fault < 2; ++fault) {
        ArchiveWriter bad;
        WriteDrawingHeader(bad, options);
        ObjectWriter o(bad, 600);
        bad.Count(3);
        o.Line(Attributes{}, 0, 0, 1, 1);
        if (fault == 0) {
            o.RawTag(0x8009);
        } else {
            bad.Word(0xFFFF);
            bad.Word(1);
            bad.Word(24);
            bad.Raw("CDataSenCDataSenCDataSen");
        }
        bad.Repeat(40, 0);
        EXPECT_EQ(ReadDrawing(bad.Bytes()), 0);
        EXPECT_EQ(S().lineCount, 1u);
    }

    // More classes than the map holds.
    ArchiveWriter many;
    WriteDrawingHeader(many, options);
    many.Count(60);
    for (int i = 0; i < 60; ++i) {
        many.Word(0xFFFF);
        many.Word(1);
        many.Word(8);
        many.Raw("CDataSen");
        many.Dword(0);  // a version-600 line: 15-byte header and four doubles
        many.Byte(1);
        for (int w = 0; w < 5; ++w) many.Word(0);
        many.Repeat(8, 0);
    }
    EXPECT_EQ(ReadDrawing(many.Bytes()), 0);
    EXPECT_EQ(S().lineCount, 49u);  // slots 1..49

    // A count of 0xFFFFFFFF stops at once.
    ArchiveWriter huge;
    WriteDrawingHeader(huge, options);
    huge.Count(0xFFFFFFFFu);
    ObjectWriter h(huge, 600);
    h.Line(Attributes{}, 0, 0, 1, 1);
    EXPECT_EQ(ReadDrawing(huge.Bytes()), 0);
    EXPECT_EQ(S().lineCount, 0u);
}

TEST_F(Reader, TablesGrowPastTheirFirstSize)
{
    // Block references get N/2 bytes of 64-byte slots, far fewer than a file
    // of nothing else holds; none may be dropped or written outside.
    ArchiveWriter out;
    WriteDrawingHeader(out, DrawingOptions{});
    ObjectWriter objects(out, 600);
    const uint32_t n = 20000;
    out.Count(n);
    for (uint32_t i = 0; i < n; ++i) objects.BlockRef(Attributes{}, i, 0, 1, 1, 0, 1);
    out.Count(0);
    ASSERT_EQ(ReadDrawing(out.Bytes()), 0);
    EXPECT_EQ(S().blockRefCount, n);
    EXPECT_EQ(S().blockRefs[n].x, n - 1.0);
}

TEST_F(Reader, Figures)
{
    std::vector<uint8_t> bytes = MakeMinimalFigure();
    bytes.resize(99);
    EXPECT_EQ(ReadFigure(bytes), -1);
    bytes.resize(100);
    EXPECT_EQ(ReadFigure(bytes), 0);

    for (uint32_t version : {300u, 351u, 600u}) {
        SCOPED_TRACE(version);
        FigureOptions options;
        options.version = version;
        options.refX = 3;
        options.refY = 4;
        options.minX = -10;
        options.maxX = 30;
        ArchiveWriter out;
        WriteFigureHeader(out, options);
        EXPECT_EQ(out.Size(), 452u);  // the object count's place
        ObjectWriter objects(out, version);
        out.Count(1);
        objects.Line(Attributes{}, 1, 2, 3, 4);
        out.Count(1);
        objects.BlockDef(Attributes{}, 3, "b");
        out.Count(1);
        objects.Line(Attributes{}, 5, 6, 7, 8);
        T().penColor[2] = 0x777777;
        ASSERT_EQ(ReadFigure(out.Bytes()), 0);
        EXPECT_EQ(H().lastReadEnd, out.Size());
        EXPECT_EQ(H().fileVersion, version);
        EXPECT_EQ(H().figureRefX, 3);
        EXPECT_EQ(H().extentMaxX - H().extentMinX, 40);
        EXPECT_EQ(H().paperSize, 1u);
        EXPECT_EQ(H().layerState[7][7], kLayerStateDrawn);
        EXPECT_EQ(T().penColor[2], 0x000000u);  // the defaults are installed
        EXPECT_EQ(T().linePattern[2], 0x99999999u);
        ASSERT_EQ(S().lineCount, 2u);
        EXPECT_EQ(S().lines[1].y2, 4);
        EXPECT_EQ(S().lines[2].owner, 3);
    }
}

}  // namespace
