// The renderer's geometry: view fit and conversions, effective pens and
// passes, the dash and random walks (and their clipped fast-forward), arc
// flattening, point dots and every solid kind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "pipeline/detection.h"
#include "reader/drawing.h"
#include "platform/win32.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "render/blocks.h"
#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "render/solids.h"
#include "render/text.h"
#include "settings/setting_tables.h"

namespace {

constexpr double kPi = 3.1415926535;
constexpr COLORREF kWhite = RGB(255, 255, 255);

// The drawing the tests set up and the walk that draws it: a fresh pair
// for each surface.
std::unique_ptr<Drawing> drawing;
std::unique_ptr<SceneWalk> walk;
Drawing &D()
{
    if (!drawing) drawing.reset(new Drawing);
    return *drawing;
}
SceneWalk &W()
{
    if (!walk) walk.reset(new SceneWalk(D()));
    return *walk;
}
void Fresh()
{
    walk.reset();
    drawing.reset();
}

// A white surface of the given size as the render context's target, with
// the default pens prepared.
class Surface : public ::testing::Test {
protected:
    void Open(int width, int height)
    {
        Fresh();
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void *bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        SelectObject(dc, bitmap);
        HBRUSH white = CreateSolidBrush(kWhite);
        HGDIOBJ old = SelectObject(dc, white);
        PatBlt(dc, 0, 0, width, height, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(white);
        W().renderContext = RenderContext();
        W().renderContext.targetDc = dc;
        W().renderContext.rasterWidth = static_cast<uint32_t>(width);
        W().renderContext.rasterHeight = height;
        W().renderContext.viewScale = 1.0;
        W().renderContext.viewOffsetY = height;  // drawing y up, 1 unit = 1 pixel, origin bottom-left
        for (uint16_t g = 0; g < kLayerGroups; ++g) {
            W().layerGroupState[g] = 2;
            for (uint16_t l = 0; l < kLayersPerGroup; ++l) W().layerState[g][l] = 2;
        }
        W().CreatePenTable();
    }
    // The drawing's store, D().store record by record.
    void NewStore(size_t bytes)
    {
        FreeStore();
        ASSERT_EQ(AllocateStore(D().store, bytes), 1);
    }
    void FreeStore() { FreeStoreTables(&D().store); }
    void TearDown() override
    {
        FreeStore();
        if (dc == nullptr) return;
        W().DeletePenTable();
        DeleteDC(dc);
        DeleteObject(bitmap);
        W().renderContext.targetDc = nullptr;
    }
    bool Painted(int x, int y) const { return GetPixel(dc, x, y) != kWhite; }
    int PaintedCount() const
    {
        int n = 0;
        for (uint32_t y = 0; y < static_cast<uint32_t>(W().renderContext.rasterHeight); ++y) {
            for (uint32_t x = 0; x < W().renderContext.rasterWidth; ++x)
                n += Painted(static_cast<int>(x), static_cast<int>(y));
        }
        return n;
    }
    std::vector<COLORREF> Pixels() const
    {
        std::vector<COLORREF> all;
        for (int y = 0; y < W().renderContext.rasterHeight; ++y) {
            for (uint32_t x = 0; x < W().renderContext.rasterWidth; ++x)
                all.push_back(GetPixel(dc, static_cast<int>(x), y));
        }
        return all;
    }
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
};

TEST(ViewFit, DrawingsAndFigures)
{
    D().source.isFigure = 0;
    D().header.paperSize = 3;  // A3, 420 mm
    W().FitToRaster(1000, 707);
    EXPECT_DOUBLE_EQ(W().renderContext.pixelsPerMm, 1000.0 / 420);
    W().renderContext.viewCenterX = W().renderContext.viewCenterY = 0;
    W().renderContext.viewFactor = 1;
    W().SetUpDrawingView();
    EXPECT_EQ(W().ToPixelX(0), 500);
    EXPECT_EQ(W().ToPixelY(0), 353);
    EXPECT_LT(W().ToPixelY(10), W().ToPixelY(0));  // y up on paper, down on the raster
    D().header.paperSize = 99;                     // unknown sizes fit as A0
    W().FitToRaster(1189, 840);
    EXPECT_DOUBLE_EQ(W().renderContext.pixelsPerMm, 1.0);

    D().source.isFigure = 1;
    D().header.extentMinX = D().header.extentMinY = 0;
    D().header.extentMaxX = D().header.extentMaxY = 100;
    W().FitToRaster(1000, 707);
    EXPECT_DOUBLE_EQ(W().renderContext.pixelsPerMm, 7.07);  // height-bound
    W().SetUpFigureView();
    EXPECT_DOUBLE_EQ(W().renderContext.viewScale, 7.07 * 0.9);
    D().header.extentMaxX = 200;
    W().FitToRaster(1000, 707);
    EXPECT_DOUBLE_EQ(W().renderContext.pixelsPerMm, 5.0);  // width-bound
    W().SetUpFigureView();
    EXPECT_EQ(W().ToPixelX(100), 500);
    EXPECT_EQ(W().ToPixelY(50), 353);
    // No extent at all: a usable scale instead of a division by zero.
    D().header.extentMinX = D().header.extentMaxX = D().header.extentMinY = D().header.extentMaxY = 5;
    W().FitToRaster(1000, 707);
    EXPECT_TRUE(std::isfinite(W().renderContext.pixelsPerMm));
    EXPECT_GT(W().renderContext.pixelsPerMm, 0);
    D().source.isFigure = 0;
}

TEST(ViewFit, ConversionsTruncateAndSaturate)
{
    W().renderContext.viewScale = 1;
    W().renderContext.viewOffsetX = 0;
    EXPECT_EQ(W().ToPixelX(-0.9), 0);
    EXPECT_EQ(W().ToPixelX(2.9), 2);
    EXPECT_EQ(W().ToPixelX(1e300), kPixelLimit);
    EXPECT_EQ(W().ToPixelX(-1e300), -kPixelLimit);
    EXPECT_EQ(W().ToPixelX(NAN), kPixelLimit);
    double x, y;
    RotatePoint(1, 0, 0, 0, kPi / 2, &x, &y);
    EXPECT_NEAR(x, 0, 1e-9);
    EXPECT_NEAR(y, 1, 1e-9);
}

TEST(Pens, EffectivePenAndPasses)
{
    for (uint16_t g = 0; g < kLayerGroups; ++g) {
        W().layerGroupState[g] = 2;
        for (uint16_t l = 0; l < kLayersPerGroup; ++l) W().layerState[g][l] = 2;
    }
    EXPECT_EQ(W().EffectivePen(0, 0, 3), 3);
    EXPECT_EQ(W().EffectivePen(0, 0, 9), 0);  // pen 9 is never drawn
    W().layerGroupState[1] = 1;
    EXPECT_EQ(W().EffectivePen(1, 4, 3), 9);
    W().layerState[1][4] = 0;
    EXPECT_EQ(W().EffectivePen(1, 4, 3), 0);
    W().layerGroupState[2] = 0;
    EXPECT_EQ(W().EffectivePen(2, 0, 3), 0);
    W().layerState[3][5] = 1;
    EXPECT_EQ(W().EffectivePen(3, 5, 3), 9);
    EXPECT_EQ(W().EffectivePen(3, 5, 100), 8);
    EXPECT_EQ(W().EffectivePen(16, 0, 3), 0);  // outside the tables: hidden
    EXPECT_EQ(W().EffectivePen(0, 200, 3), 0);

    W().renderContext.drawPass = 0;
    EXPECT_TRUE(W().IsInPass(9));
    EXPECT_FALSE(W().IsInPass(1));
    W().renderContext.drawPass = 1;
    EXPECT_TRUE(W().IsInPass(1));
    EXPECT_TRUE(W().IsInPass(8));
    EXPECT_FALSE(W().IsInPass(9));
    EXPECT_FALSE(W().IsInPass(0));
    EXPECT_FALSE(W().IsInPass(10));
    EXPECT_TRUE(W().IsInPass(100));
    EXPECT_TRUE(W().IsInPass(356));
    EXPECT_FALSE(W().IsInPass(357));
}

// The on/off sequence of a dashed walk: true for the steps that draw.
std::vector<bool> DashSequence(uint32_t pattern, uint32_t pitch, int steps)
{
    W().linePatternTable[50] = pattern;
    W().linePitchTable[50] = pitch;
    W().BeginLineStyle(0, 50);
    std::vector<bool> drawn;
    for (int i = 0; i < steps; ++i) {
        drawn.push_back((W().renderContext.dashBit & W().renderContext.dashPattern) != 0);
        if (++W().renderContext.dashCount >= W().renderContext.dashPitch) {
            W().renderContext.dashCount = 0;
            W().renderContext.dashBit = W().renderContext.dashBit >> 1 ? W().renderContext.dashBit >> 1 : 0x80000000u;
        }
    }
    return drawn;
}

TEST_F(Surface, DashWalks)
{
    Open(64, 16);
    // Solid pattern, pitch 3: three moving steps, then drawing.
    std::vector<bool> s = DashSequence(0xFFFFFFFF, 3, 6);
    EXPECT_EQ(s, (std::vector<bool>{false, false, false, true, true, true}));
    // 0xE7E7E7E7, pitch 2: 2 moving, 6 drawing, 4 moving, 12 drawing, 4 moving.
    s = DashSequence(0xE7E7E7E7, 2, 28);
    std::vector<bool> expected;
    for (int run : {-2, 6, -4, 12, -4}) expected.insert(expected.end(), std::abs(run), run > 0);
    EXPECT_EQ(s, expected);

    // DashStep paints: pattern all on, pitch 3 along row 5.
    W().linePatternTable[50] = 0xFFFFFFFF;
    W().linePitchTable[50] = 3;
    W().BeginLineStyle(0, 50);
    W().DrawStyledLine(10, 5, 30, 5, 1, 50);
    EXPECT_FALSE(Painted(11, 5));
    EXPECT_TRUE(Painted(12, 5));  // the third pixel is the first one painted
    EXPECT_TRUE(Painted(29, 5));
    EXPECT_EQ(PaintedCount(), 18);
}

TEST_F(Surface, SkippingStepsKeepsThePatternPhase)
{
    Open(8, 8);
    for (uint32_t pitch : {0u, 1u, 2u, 3u, 7u}) {
        for (uint64_t n : {0ull, 1ull, 5ull, 31ull, 32ull, 33ull, 100ull, 1000ull, 123457ull}) {
            W().linePatternTable[50] = 0xE7E7E7E7;
            W().linePitchTable[50] = pitch;
            W().BeginLineStyle(0, 50);
            W().renderContext.targetDc = nullptr;  // steps without drawing
            for (uint64_t i = 0; i < n; ++i) W().DashStep(0, 0);
            const RenderContext stepped = W().renderContext;
            W().BeginLineStyle(0, 50);
            W().SkipDashSteps(n);
            EXPECT_EQ(W().renderContext.dashBit, stepped.dashBit) << pitch << " " << n;
            EXPECT_EQ(W().renderContext.dashCount, stepped.dashCount) << pitch << " " << n;
        }
        for (uint32_t pattern : {0xFFFFFFFFu, 0u, 0x99999999u, 0x12345678u}) {
            for (uint64_t n : {0ull, 1ull, 2ull, 3ull, 10ull, 77ull, 1000ull, 54321ull}) {
                W().linePatternTable[12] = pattern;
                W().linePitchTable[12] = pitch;
                W().BeginLineStyle(0, 12);
                W().SetUpRandomSegment(0, 0, 10, 0, 12);
                W().renderContext.targetDc = nullptr;
                for (uint64_t i = 0; i < n; ++i) W().RandomStep(0, 0);
                const RenderContext stepped = W().renderContext;
                W().BeginLineStyle(0, 12);
                W().SetUpRandomSegment(0, 0, 10, 0, 12);
                W().SkipRandomSteps(n);
                const uint32_t top = 0x80000000u;
                EXPECT_EQ(W().renderContext.dashBit ? W().renderContext.dashBit : top,
                          stepped.dashBit ? stepped.dashBit : top)
                    << pattern << " " << pitch << " " << n;
                EXPECT_EQ(W().renderContext.randomLastBit, stepped.randomLastBit)
                    << pattern << " " << pitch << " " << n;
                EXPECT_EQ(W().renderContext.randomCount, stepped.randomCount) << pattern << " " << pitch << " " << n;
            }
        }
    }
    W().renderContext.targetDc = dc;
}

TEST_F(Surface, RandomWalkOrder)
{
    Open(8, 8);
    // 0x99999999: record, -, -, record, +, record, +, record, -, -, ...
    W().linePatternTable[12] = 0x99999999;
    W().linePitchTable[12] = 1;
    W().randomWidthTable[12] = 2;
    W().BeginLineStyle(0, 12);
    W().SetUpRandomSegment(0, 0, 100, 0, 12);
    std::string order;
    for (int i = 0; i < 14; ++i) {
        // A step draws exactly when it moves the pattern bit on.
        const uint32_t before = W().renderContext.dashBit ? W().renderContext.dashBit : 0x80000000u;
        W().renderContext.targetDc = nullptr;
        W().RandomStep(0, 0);
        const bool drew = W().renderContext.dashBit != before;
        order += drew ? ((W().renderContext.dashBit & 0x99999999u) ? '+' : '-') : 'r';
    }
    EXPECT_EQ(order, "r--r+r+r--r+r+");
    W().renderContext.targetDc = dc;
}

TEST_F(Surface, ClippedWalksPaintWhatFullWalksPaint)
{
    // A long dashed line reaching far outside a small raster paints the same
    // pixels as the plain per-pixel walk over every step.
    Open(40, 30);
    W().linePatternTable[50] = 0xF0F0F0F0;
    W().linePitchTable[50] = 2;
    const int segments[][4] = {{-3000, 12, 3000, 17}, {5000, -2000, -700, 300}, {20, -999, 21, 999}};
    for (const int *segment : segments) {
        W().BeginLineStyle(0, 50);
        W().DrawStyledLine(segment[0], segment[1], segment[2], segment[3], 1, 50);
        const std::vector<COLORREF> clipped = Pixels();
        HBRUSH white = CreateSolidBrush(kWhite);
        HGDIOBJ old = SelectObject(dc, white);
        PatBlt(dc, 0, 0, 40, 30, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(white);
        W().BeginLineStyle(0, 50);
        HGDIOBJ previous = SelectObject(dc, W().renderContext.penTable[1]);
        MoveToEx(dc, segment[0], segment[1], nullptr);
        LineDDA(
            segment[0], segment[1], segment[2], segment[3], [](int x, int y, LPARAM) { W().DashStep(x, y); }, 0);
        W().DashStep(segment[2], segment[3]);
        SelectObject(dc, previous);
        EXPECT_EQ(Pixels(), clipped);
        EXPECT_GT(PaintedCount(), 0);
        white = CreateSolidBrush(kWhite);
        old = SelectObject(dc, white);
        PatBlt(dc, 0, 0, 40, 30, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(white);
    }
    // A billion pixels long: only the pixels on the raster cost anything.
    W().BeginLineStyle(0, 50);
    W().DrawStyledLine(-1000000000, 15, 1000000000, 15, 1, 50);
    EXPECT_GT(PaintedCount(), 0);
}

TEST_F(Surface, DdaPixelsAreLineDdaPixels)
{
    Open(4, 4);
    struct Seen {
        std::vector<std::pair<int, int>> points;
    } seen;
    for (int x2 = -9; x2 <= 9; x2 += 3) {
        for (int y2 = -9; y2 <= 9; y2 += 2) {
            seen.points.clear();
            LineDDA(
                1, 2, x2, y2,
                [](int x, int y, LPARAM data) {
                    reinterpret_cast<Seen *>(data)->points.push_back({x, y});
                },
                reinterpret_cast<LPARAM>(&seen));
            for (size_t i = 0; i < seen.points.size(); ++i) {
                int64_t x, y;
                DdaPixel(1, 2, x2, y2, static_cast<int64_t>(i), &x, &y);
                EXPECT_EQ(x, seen.points[i].first);
                EXPECT_EQ(y, seen.points[i].second);
            }
        }
    }
}

TEST_F(Surface, LinesAndPoints)
{
    Open(40, 30);
    W().BeginLineStyle(0, 1);
    W().DrawStyledLine(10, 10, 20, 10, 1, 1);
    EXPECT_TRUE(Painted(10, 10));
    EXPECT_TRUE(Painted(19, 10));
    EXPECT_FALSE(Painted(20, 10));
    EXPECT_EQ(PaintedCount(), 10);
    W().DrawStyledLine(0, 20, 39, 20, 1, kLineTypeInvisible);
    EXPECT_EQ(PaintedCount(), 10);
    W().DrawStyledLine(0, 20, 39, 20, 50, 1);  // pen numbers 10..99 have no pen
    EXPECT_EQ(PaintedCount(), 10);
    W().penColorTable[150] = RGB(1, 2, 3);
    W().penWidthTable[150] = 7;
    W().DrawStyledLine(0, 25, 10, 25, 150, 1);
    EXPECT_EQ(GetPixel(dc, 5, 25), RGB(1, 2, 3));
    EXPECT_FALSE(Painted(5, 24));  // extended pens are one pixel wide
    W().DrawPointMark(30, 5, 2);
    EXPECT_TRUE(Painted(28, 4));
    EXPECT_TRUE(Painted(31, 5));
    EXPECT_FALSE(Painted(31, 6));  // a 4 x 4 dot without its corners
    EXPECT_FALSE(Painted(28, 3));
    EXPECT_FALSE(Painted(32, 5));
}

TEST_F(Surface, ArcFlattening)
{
    Open(400, 400);
    W().FlattenArc(200, 200, 0, 2 * kPi, 100, 0, 1);
    EXPECT_EQ(W().renderContext.arcPointCount, 65);
    W().FlattenArc(200, 200, 0, 2 * kPi, 99.9, 0, 1);
    EXPECT_EQ(W().renderContext.arcPointCount, 34);
    W().FlattenArc(200, 200, 0, 2 * kPi, 49.9, 0, 1);
    EXPECT_EQ(W().renderContext.arcPointCount, 23);
    EXPECT_EQ(W().renderContext.arcPoints[0].x, W().renderContext.arcPoints[1].x);  // the start is emitted twice
    // A negative sweep walks the same arc counter-clockwise.
    W().FlattenArc(200, 200, kPi / 2, -kPi / 2, 100, 0, 1);
    EXPECT_EQ(W().renderContext.arcPoints[0].x, 300);
    EXPECT_EQ(W().renderContext.arcPoints[0].y, 200);
    // A tilt of π/2 stands a flat ellipse upright.
    W().FlattenArc(200, 200, 0, 2 * kPi, 100, kPi / 2, 0.5);
    int minX = 400, maxX = 0, minY = 400, maxY = 0;
    for (int i = 0; i < W().renderContext.arcPointCount; ++i) {
        minX = std::min<int>(minX, W().renderContext.arcPoints[i].x);
        maxX = std::max<int>(maxX, W().renderContext.arcPoints[i].x);
        minY = std::min<int>(minY, W().renderContext.arcPoints[i].y);
        maxY = std::max<int>(maxY, W().renderContext.arcPoints[i].y);
    }
    EXPECT_GT(maxY - minY, 190);
    EXPECT_LT(maxX - minX, 110);
    // Hostile values: a huge sweep or start never overflows the polyline.
    W().FlattenArc(200, 200, 0, 1e9, 100, 0, 1);
    EXPECT_LE(W().renderContext.arcPointCount, kMaxArcPoints);
    W().FlattenArc(200, 200, 1e18, 2 * kPi, 100, 0, 1);
    EXPECT_LE(W().renderContext.arcPointCount, kMaxArcPoints);
    W().FlattenArc(NAN, 200, 0, 1, 100, 0, 1);
    EXPECT_EQ(W().renderContext.arcPointCount, 0);
}

TEST_F(Surface, SolidKinds)
{
    Open(100, 100);
    NewStore(4096);
    D().store.firstBlockSolid = 1;
    auto solid = [&](uint8_t kind, uint16_t pen, std::initializer_list<double> values, uint32_t fill = 0) {
        SolidRecord *s = AppendSolid(D().store);
        s->header.penStyle = kind;
        s->header.penColor = pen;
        s->fillColor = fill;
        double *v = &s->x1;
        for (double value : values) *v++ = value;
        D().store.firstBlockSolid = D().store.solidCount + 1;
        return D().store.solidCount;
    };
    auto fillAndCount = [&]() {
        HBRUSH white = CreateSolidBrush(kWhite);
        HGDIOBJ old = SelectObject(dc, white);
        PatBlt(dc, 0, 0, 100, 100, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(white);
        W().DrawSolids();
        return PaintedCount();
    };
    solid(1, 2, {1, 1, 11, 1, 11, 11, 1, 11});
    EXPECT_EQ(fillAndCount(), 121);  // the square with its outline: 11 x 11 pixels
    EXPECT_EQ(GetPixel(dc, 5, 95), W().penColorTable[2]);
    D().store.solids[1].header.penColor = 10;
    D().store.solids[1].fillColor = RGB(9, 8, 7);
    fillAndCount();
    EXPECT_EQ(GetPixel(dc, 5, 95), RGB(9, 8, 7));
    D().store.solids[1].header.penStyle = 100;  // draws nothing
    EXPECT_EQ(fillAndCount(), 0);
    // 101: a disc with y4 = 5, a quarter sector otherwise.
    D().store.solids[1] = SolidRecord{};
    D().store.solidCount = 0;
    solid(101, 2, {50, 50, 30, 1, 0, 0, 2 * kPi, 5});
    const int disc = fillAndCount();
    EXPECT_NEAR(disc, kPi * 30 * 30, 200);
    D().store.solidCount = 0;
    solid(101, 2, {50, 50, 30, 1, 0, 0, kPi / 2, 0});
    const int sector = fillAndCount();
    EXPECT_NEAR(sector, disc / 4, 60);
    EXPECT_TRUE(Painted(52, 48));
    EXPECT_FALSE(Painted(48, 52));
    // 105 with inner radius 0 covers the sector; a zero outer radius draws nothing.
    D().store.solidCount = 0;
    solid(105, 2, {50, 50, 30, 1, 0, 0, kPi / 2, 0});
    EXPECT_NEAR(fillAndCount(), sector, 40);
    D().store.solidCount = 0;
    solid(105, 2, {50, 50, 0, 1, 0, 0, kPi / 2, 0});
    EXPECT_EQ(fillAndCount(), 0);
    // 106: a band 10 units wide inside a full circle of radius 30.
    D().store.solidCount = 0;
    solid(106, 2, {50, 50, 30, 1, 0, 0, 2 * kPi, 20});
    const int band = fillAndCount();
    EXPECT_NEAR(band, kPi * (30 * 30 - 20 * 20), 250);
    EXPECT_FALSE(Painted(50, 50));
    // Print mode without colour printing: every solid is pen 1.
    W().renderContext.viewIndex = 2;
    D().header.usePrintColors = 0;
    W().penColorTable[1] = RGB(0, 0, 0);
    fillAndCount();
    EXPECT_EQ(GetPixel(dc, 50, 22), RGB(0, 0, 0));
    W().renderContext.viewIndex = 0;
    FreeStore();
}

// A store with block definitions D().store record by record.
class Blocks : public Surface {
protected:
    void SetUp() override
    {
        Open(100, 100);
        NewStore(1 << 16);
        D().header.drawSolidsFirst = 0;
    }
    void TearDown() override
    {
        W().ReleaseBlockReferences();
        FreeStore();
        Surface::TearDown();
    }
    // A member point of definition `owner` (main list markers at 1: everything is a member).
    void MemberPoint(int32_t owner, double x, double y)
    {
        PointRecord *p = AppendPoint(D().store);
        p->header.penColor = 2;
        p->x = x;
        p->y = y;
        p->owner = owner;
    }
    void Reference(int32_t owner, uint32_t definition, double x, double y, double sx = 1, double sy = 1,
                   double rotation = 0, uint16_t layerGroup = 0)
    {
        BlockRefRecord *r = AppendBlockRef(D().store);
        r->owner = owner;
        r->defNumber = definition;
        r->x = x;
        r->y = y;
        r->scaleX = sx;
        r->scaleY = sy;
        r->rotation = rotation;
        r->header.penColor = 1;
        r->header.layerGroup = layerGroup;
    }
    // Points drawn: dots are 4 x 4 pixels without corners (12 pixels), apart.
    int DotsDrawn()
    {
        D().store.firstBlockPoint = D().store.firstBlockLine = D().store.firstBlockArc = D().store.firstBlockText =
            D().store.firstBlockDimension = D().store.firstBlockSolid = 1;
        W().PrepareBlockReferences();
        W().renderContext.drawPass = 1;
        W().DrawBlockMembers(0);
        return PaintedCount() / 12;
    }
};

TEST_F(Blocks, NestedReferencesMultiply)
{
    // Definition 1 placed three times in definition 2, placed twice in the drawing.
    MemberPoint(1, 0, 0);
    for (int i = 0; i < 3; ++i) Reference(2, 1, 10.0 * i, 0);
    Reference(kTopLevelOwner, 2, 20, 20);
    Reference(kTopLevelOwner, 2, 20, 60);
    EXPECT_EQ(DotsDrawn(), 6);
    EXPECT_TRUE(Painted(40, 80));  // (20 + 20, 20): inner placement first, then the outer
}

TEST_F(Blocks, PlacementScalesMovesAndTurns)
{
    MemberPoint(1, 1, 1);
    Reference(kTopLevelOwner, 1, 10, 50, 2, 1, kPi / 2);
    // (1, 1) -> (12, 51) -> turned about (10, 50) by 90 degrees -> (9, 52).
    EXPECT_EQ(DotsDrawn(), 1);
    EXPECT_TRUE(Painted(9, 100 - 52));
}

TEST_F(Blocks, HiddenAndDisplayOnlyReferences)
{
    MemberPoint(1, 0, 0);
    Reference(kTopLevelOwner, 1, 30, 30, 1, 1, 0, 3);
    W().layerGroupState[3] = 0;  // the reference's group is hidden
    EXPECT_EQ(DotsDrawn(), 0);
    W().layerGroupState[3] = 1;  // display only: pass 0, not pass 1
    EXPECT_EQ(DotsDrawn(), 0);
    W().renderContext.drawPass = 0;
    W().DrawBlockMembers(0);
    EXPECT_EQ(PaintedCount() / 12, 1);
}

TEST_F(Blocks, CyclesAndExplosionsEnd)
{
    // A definition that places itself, and two that place each other.
    MemberPoint(1, 0, 0);
    Reference(1, 1, 5, 5);
    Reference(kTopLevelOwner, 1, 50, 50);
    MemberPoint(3, 0, 0);
    Reference(3, 4, 1, 1);
    Reference(4, 3, 1, 1);
    Reference(kTopLevelOwner, 4, 20, 20);
    EXPECT_GE(DotsDrawn(), 1);

    // Ten levels, each placing the one below ten times: 10^10 chains. The
    // placement budget ends the walk.
    NewStore(1 << 16);
    MemberPoint(1, 0, 0);
    for (uint32_t level = 1; level < 10; ++level) {
        for (int i = 0; i < 10; ++i) Reference(static_cast<int32_t>(level + 1), level, 0.001 * i, 0);
    }
    for (int i = 0; i < 10; ++i) Reference(kTopLevelOwner, 10, 50, 50);
    DotsDrawn();
    SUCCEED();
}

// Texts, on a surface where one drawing unit is one pixel.
class Texts : public Surface {
protected:
    void SetUp() override
    {
        Open(200, 60);
        SetBkMode(dc, TRANSPARENT);
    }
    // The right-most painted column, or -1.
    int RightMost()
    {
        for (int x = 199; x >= 0; --x) {
            for (int y = 0; y < 60; ++y) {
                if (Painted(x, y)) return x;
            }
        }
        return -1;
    }
    void Clear()
    {
        HBRUSH white = CreateSolidBrush(kWhite);
        HGDIOBJ old = SelectObject(dc, white);
        PatBlt(dc, 0, 0, 200, 60, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(white);
    }
    void Draw(const char *text, double height, double x2 = 190, uint16_t flags = 0)
    {
        Clear();
        W().DrawTextEntity(10, 20, x2, 20, "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e", height / 2, height, 0,
                           text, 2, flags, 0);
    }
};

TEST_F(Texts, SmallTextsAreBoxes)
{
    Draw("ABC", 5.9);                // 5 pixels: a box of the baseline and the height
    EXPECT_TRUE(Painted(10, 40));    // the start of the baseline (y up: row 60 - 20)
    EXPECT_TRUE(Painted(100, 40));   // along the baseline
    EXPECT_TRUE(Painted(100, 34));   // along the top edge, 5.9 units higher
    EXPECT_FALSE(Painted(100, 38));  // nothing inside
    Draw("", 5.9);
    EXPECT_TRUE(Painted(100, 40));  // an empty small text still has its box
    Draw("ABC", 6);
    EXPECT_FALSE(Painted(100, 35));  // 6 pixels: characters, no box
    EXPECT_GT(PaintedCount(), 5);
    EXPECT_LT(RightMost(), 40);
}

TEST_F(Texts, SqueezeSpreadAndDoubleBytes)
{
    Draw("ABCDEFGH", 12);
    const int plain = RightMost();
    Draw("ABCDEFGH^2", 12);
    const int squeezed = RightMost();
    // Eight characters in the room of six: the last one starts 7 x 6/8 cells in.
    EXPECT_LT(squeezed, plain - 6);
    EXPECT_GT(squeezed, plain - 24);
    Draw("AB^9", 12);
    EXPECT_LT(RightMost(), 10 + 2 * 6 + 2);  // no squeeze, and the suffix is not drawn

    Draw("ABCD\x81\x45\x81\x45", 12);  // two trailing dots spread four letters over eight cells
    const int spread = RightMost();
    Draw("ABCD", 12);
    EXPECT_GT(spread, RightMost() + 6);

    Draw(
        "\x90\x7d"
        "A",
        12);  // 図 then A: A starts two cells in
    const int afterWide = RightMost();
    Draw("AA", 12);
    EXPECT_GT(afterWide, RightMost() + 3);
}

TEST_F(Texts, ZeroLengthBaselineStacksCharacters)
{
    Draw("AAAA", 12, 10);  // start equals end: every character at the start
    const int stacked = RightMost();
    Draw("A", 12, 10);
    EXPECT_EQ(stacked, RightMost());
}

TEST_F(Texts, VersionLineForUnreadVersions)
{
    NewStore(4096);
    D().header.fileVersion = 250;
    W().renderContext.rasterHeight = 60;
    W().DrawDrawingScene();
    EXPECT_GT(PaintedCount(), 20);
    bool nearStart = false;
    for (int y = 25; y < 50; ++y) nearStart = nearStart || Painted(62, y) || Painted(63, y) || Painted(64, y);
    EXPECT_TRUE(nearStart);
    D().header.fileVersion = 600;
    FreeStore();
}

}  // namespace
