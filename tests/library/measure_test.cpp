// Snap points as a measuring host asks for them: every dimension measures,
// end to end, what its label says; each kind of point where the drawing
// has it, block members placed, hidden layers left out; and the statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/corpus_files.h"
#include "library/documents.h"
#include "plotmira.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

plotmira_snap_point Snap(plotmira_document *doc, double x, double y, double radius,
                         const plotmira_view *layers = nullptr, plotmira_status expect = PLOTMIRA_OK)
{
    plotmira_snap_point point = {};
    point.struct_size = sizeof point;
    EXPECT_EQ(plotmira_snap(doc, layers, x, y, radius, &point), expect);
    return point;
}

// The number a dimension's label says ("1,820", "2.5"); NAN for words.
double LabelNumber(const char *text)
{
    std::string digits;
    for (const char *c = text; *c != 0; ++c) {
        if (*c != ',') digits += *c;
    }
    char *end = nullptr;
    const double value = std::strtod(digits.c_str(), &end);
    return !digits.empty() && *end == '\0' ? value : NAN;
}

TEST(Measure, EveryDimensionMeasuresEndToEndWhatItsLabelSays)
{
    TempFolder folder;
    std::vector<std::string> files = {folder.Write("dimensions.jww", MakeMeasuringDrawing()),
                                      folder.Write("showcase.jww", MakeShowcaseDrawing())};
    CollectDrawings(CorpusDir() + "/raw", &files);
    int measured = 0;
    for (const std::string &path : files) {
        plotmira_document *doc = nullptr;
        ASSERT_EQ(plotmira_open_file(path.c_str(), &doc), PLOTMIRA_OK) << path;
        const StoreTables &t = doc->drawing.store;
        for (uint32_t i = 1; i < t.firstBlockDimension && doc->versionDrawn; ++i) {
            const DimensionRecord &d = t.dimensions[i];
            const double label = LabelNumber(d.label.text);
            if (std::isnan(label)) continue;
            // A click a little off each end, as a hand makes it.
            const plotmira_snap_point a = Snap(doc, d.line.x1 + 0.2, d.line.y1 - 0.1, 1);
            const plotmira_snap_point b = Snap(doc, d.line.x2 - 0.1, d.line.y2 + 0.2, 1);
            ASSERT_EQ(a.kind, PLOTMIRA_SNAP_END) << path << " dimension " << i;
            ASSERT_EQ(b.kind, PLOTMIRA_SNAP_END) << path << " dimension " << i;
            EXPECT_EQ(a.layer_group, d.line.header.layerGroup);
            EXPECT_NEAR(std::hypot(b.x - a.x, b.y - a.y) * a.scale, label, 1e-6 * label) << path << " " << i;
            ++measured;
        }
        plotmira_close(doc);
    }
    EXPECT_GE(measured, 5);
}

TEST(Measure, EachKindWhereTheDrawingHasItAndTheStatuses)
{
    TempFolder folder;
    DrawingOptions old;
    old.version = 250;
    plotmira_document *drawing = nullptr, *figure = nullptr, *crossing = nullptr, *unread = nullptr;
    ASSERT_EQ(plotmira_open_file(folder.Write("s.jww", MakeShowcaseDrawing()).c_str(), &drawing), PLOTMIRA_OK);
    ASSERT_EQ(plotmira_open_file(folder.Write("s.jws", MakeShowcaseFigure()).c_str(), &figure), PLOTMIRA_OK);
    ASSERT_EQ(plotmira_open_file(folder.Write("d.jww", MakeMeasuringDrawing()).c_str(), &crossing), PLOTMIRA_OK);
    ASSERT_EQ(plotmira_open_file(folder.Write("old.jww", MakeEmptyDrawing(old)).c_str(), &unread), PLOTMIRA_OK);
    plotmira_view hidden;
    plotmira_view_init(&hidden, 1, 1);
    hidden.hide_groups = 1;
    const struct {
        plotmira_document *doc;
        double x, y, radius;
        const plotmira_view *layers;
        plotmira_snap_kind kind;
        double sx, sy;
    } cases[] = {
        {drawing, -189.5, 122.3, 2, nullptr, PLOTMIRA_SNAP_END, -190, 122},   // a line's end
        {drawing, -125, 121.5, 2, nullptr, PLOTMIRA_SNAP_MIDDLE, -125, 122},  // its middle
        {drawing, 20.5, 89, 3, nullptr, PLOTMIRA_SNAP_CENTRE, 20, 90},        // a circle's centre
        {drawing, 100, 105.5, 1, nullptr, PLOTMIRA_SNAP_END, 100, 105},       // an arc's end, a quarter turn on
        {drawing, 160.2, 110.1, 1, nullptr, PLOTMIRA_SNAP_END, 160, 110},     // a point
        {drawing, 50.4, -99.6, 1, nullptr, PLOTMIRA_SNAP_END, 50, -100},      // a block's member, placed
        {drawing, 50.4, -99.6, 1, &hidden, PLOTMIRA_SNAP_NONE, 0, 0},         // ... on a hidden group
        {drawing, 0, 200, 5, nullptr, PLOTMIRA_SNAP_NONE, 0, 0},              // nothing near
        {crossing, 205.4, 205.3, 1, nullptr, PLOTMIRA_SNAP_INTERSECTION, 16 / 3.0 + 200, 16 / 3.0 + 200},
        {figure, 0.3, -0.2, 2, nullptr, PLOTMIRA_SNAP_MIDDLE, 0, 0},  // a tie: the middles before the crossing
    };
    for (const auto &c : cases) {
        const plotmira_snap_point p = Snap(c.doc, c.x, c.y, c.radius, c.layers);
        EXPECT_EQ(p.kind, c.kind) << c.x << "," << c.y;
        if (c.kind == PLOTMIRA_SNAP_NONE) continue;
        EXPECT_NEAR(p.x, c.sx, 1e-6) << c.x << "," << c.y;
        EXPECT_NEAR(p.y, c.sy, 1e-6) << c.x << "," << c.y;
        EXPECT_EQ(p.scale, 1.0);
    }

    plotmira_snap_point point = {};
    point.struct_size = sizeof point + 8;
    EXPECT_EQ(plotmira_snap(drawing, nullptr, 0, 0, 1, &point), PLOTMIRA_ERR_ARGUMENT);
    EXPECT_EQ(plotmira_snap(nullptr, nullptr, 0, 0, 1, &point), PLOTMIRA_ERR_ARGUMENT);
    Snap(drawing, NAN, 0, 1, nullptr, PLOTMIRA_ERR_ARGUMENT);
    Snap(drawing, 0, 0, -1, nullptr, PLOTMIRA_ERR_ARGUMENT);
    Snap(unread, 0, 0, 1, nullptr, PLOTMIRA_ERR_VERSION);
    plotmira_close(unread);
    plotmira_close(crossing);
    plotmira_close(figure);
    plotmira_close(drawing);
}

}  // namespace
