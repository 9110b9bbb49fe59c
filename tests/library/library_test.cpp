// The library's interface (include/plotmira.h), as its hosts use it: views
// against the plug-in's pictures and against each other, descriptions and
// texts, hostile views and images, and what documents keep and leave alone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "plotmira.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

class Library : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
        showcase = folder.Write("showcase.jww", MakeShowcaseDrawing());
        figure = folder.Write("showcase.jws", MakeShowcaseFigure());
    }

    // The corpus files of these names; where the corpus is missing, the
    // project's own files given in their stead.
    std::vector<std::string> CorpusOr(std::initializer_list<const char *> names, std::vector<std::string> own)
    {
        std::vector<std::string> found;
        for (const char *name : names) {
            const std::string path = CorpusDir() + "/raw/" + name;
            if (FILE *file = std::fopen(path.c_str(), "rb")) {
                std::fclose(file);
                found.push_back(path);
            } else if (CorpusRequired()) {
                ADD_FAILURE() << "corpus file missing: " << path;
            }
        }
        return found.empty() ? own : found;
    }

    TempFolder folder;
    std::string showcase, figure;
};

struct Document {
    plotmira_document *doc = nullptr;
    plotmira_info info = {};
    explicit Document(const std::string &path, const plotmira_open_options *options = nullptr)
    {
        EXPECT_EQ(plotmira_open_file_with(path.c_str(), options, &doc), PLOTMIRA_OK) << path;
        info.struct_size = sizeof info;
        if (doc != nullptr) {
            EXPECT_EQ(plotmira_describe(doc, &info), PLOTMIRA_OK);
        }
    }
    ~Document() { plotmira_close(doc); }
};

std::vector<uint8_t> Render(plotmira_document *doc, const plotmira_view &view,
                            plotmira_pixel_format format = PLOTMIRA_PIXELS_BGR24_DIB,
                            plotmira_status expect = PLOTMIRA_OK)
{
    std::vector<uint8_t> pixels(plotmira_row_bytes(format, view.width) * static_cast<size_t>(view.height), 0x5A);
    const plotmira_image image = {sizeof image, format, pixels.data(), 0, pixels.size()};
    EXPECT_EQ(plotmira_render(doc, &view, &image), expect);
    return pixels;
}

// The view the converter draws of a whole file: the plug-in's own, its
// upper-case-J rule included.
plotmira_view PluginView(const plotmira_info &info, int32_t width)
{
    plotmira_view view;
    plotmira_view_init(&view, width, static_cast<int32_t>(width * 0.707));
    if (info.print_by_name && info.print_view > 0) {
        view.pens = PLOTMIRA_PENS_PRINT;
        view.registered_view = info.print_view;
    }
    return view;
}

// The rectangle of a top-down picture of three bytes a pixel.
std::vector<uint8_t> Cut(const std::vector<uint8_t> &rgb, int32_t width, int32_t x, int32_t y, int32_t w, int32_t h)
{
    std::vector<uint8_t> part;
    for (int32_t row = y; row < y + h; ++row) {
        const uint8_t *from = rgb.data() + (static_cast<size_t>(row) * width + x) * 3;
        part.insert(part.end(), from, from + static_cast<size_t>(w) * 3);
    }
    return part;
}

TEST_F(Library, TheSheetFittedIsThePluginsPictureByteForByte)
{
    // Drawings and figures, a name with an upper-case J (print pens and the
    // print view), corpus drawings with text, blocks and solids (without the
    // corpus, the drawing whose texts show its name).
    std::vector<std::string> inputs = {showcase, figure, folder.Write("PRINT.JWW", MakeShowcaseDrawing())};
    for (const std::string &path :
         CorpusOr({"monozukuri-ai__ezjww/Test2.jww", "monozukuri-ai__ezjww/天空率表.jww",
                   "KEINOS__Jw_cad-for-Mac/自動車平面-11.jws", "jdu211171__jw_cad/XY軸0～14.JWS"},
                  {folder.Write("macros.jww", MakeMacroDrawing())})) {
        inputs.push_back(path);
    }
    for (const std::string &input : inputs) {
        for (const bool preview : {false, true}) {
            SCOPED_TRACE(input + (preview ? " (preview)" : ""));
            const Conversion plugin = ConvertFile(input, preview);
            ASSERT_EQ(plugin.result, 0);
            Document doc(input);
            if (!preview) {
                EXPECT_EQ(doc.info.natural_width, plugin.width);
            }
            const plotmira_view view = PluginView(doc.info, plugin.width);
            ASSERT_EQ(view.height, plugin.height);
            EXPECT_EQ(Render(doc.doc, view), plugin.bits);
        }
    }
}

TEST_F(Library, PixelFormatsCarryTheSamePixels)
{
    Document doc(showcase);
    plotmira_view view;
    plotmira_view_init(&view, 301, 212);  // an odd width: rows of the DIB form are padded
    const std::vector<uint8_t> dib = Render(doc.doc, view);
    const std::vector<uint8_t> rgb = Render(doc.doc, view, PLOTMIRA_PIXELS_RGB24);
    const std::vector<uint8_t> rgba = Render(doc.doc, view, PLOTMIRA_PIXELS_RGBA32);
    const std::vector<uint8_t> bgra = Render(doc.doc, view, PLOTMIRA_PIXELS_BGRA32);
    const size_t dibStride = plotmira_row_bytes(PLOTMIRA_PIXELS_BGR24_DIB, view.width);
    EXPECT_EQ(dibStride, 904u);
    int differing = 0;
    for (int32_t y = 0; y < view.height; ++y) {
        for (int32_t x = 0; x < view.width; ++x) {
            const uint8_t *d = dib.data() + (view.height - 1 - y) * dibStride + 3 * x;
            const uint8_t *c = rgb.data() + (y * view.width + x) * 3;
            const uint8_t *a = rgba.data() + (y * view.width + x) * 4;
            const uint8_t *b = bgra.data() + (y * view.width + x) * 4;
            const bool same = c[0] == d[2] && c[1] == d[1] && c[2] == d[0] && a[0] == d[2] && a[1] == d[1] &&
                              a[2] == d[0] && a[3] == 0xFF && b[0] == d[0] && b[1] == d[1] && b[2] == d[2] &&
                              b[3] == 0xFF;
            differing += same ? 0 : 1;
        }
        // Bytes past a row's pixels are the caller's.
        EXPECT_EQ(dib[y * dibStride + 903], 0x5A);
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(Library, TilesStitchIntoTheViewTheyCutUp)
{
    // The showcase, and corpus drawings (without the corpus, the showcase's
    // figure and the drawing whose texts show its name).
    std::vector<std::string> inputs = {showcase};
    for (const std::string &path : CorpusOr({"monozukuri-ai__ezjww/天空率表.jww", "monozukuri-ai__ezjww/Test3.jww",
                                             "KEINOS__Jw_cad-for-Mac/自動車平面-11.jws"},
                                            {figure, folder.Write("macros.jww", MakeMacroDrawing())})) {
        inputs.push_back(path);
    }
    constexpr int32_t kTile = 160, kRows = 120, kGrid = 4;
    for (const std::string &input : inputs) {
        Document doc(input);
        const plotmira_rect &sheet = doc.info.sheet;
        const double fit = 640.0 / (sheet.max_x - sheet.min_x);
        // Zoom onto the edge of ink nearest the middle of the sheet (a pixel
        // unlike its left neighbour: inside a large solid all is one colour).
        plotmira_view probe;
        plotmira_view_init(&probe, 640, 452);
        probe.placement = PLOTMIRA_PLACE_CENTER;
        probe.scale = fit;
        probe.x = (sheet.min_x + sheet.max_x) / 2;
        probe.y = (sheet.min_y + sheet.max_y) / 2;
        const std::vector<uint8_t> whole640 = Render(doc.doc, probe, PLOTMIRA_PIXELS_RGB24);
        double x = probe.x, y = probe.y, best = 1e30;
        for (int32_t py = 0; py < 452; ++py) {
            for (int32_t px = 1; px < 640; ++px) {
                if (std::memcmp(&whole640[(py * 640 + px) * 3], &whole640[(py * 640 + px - 1) * 3], 3) == 0) continue;
                const double d = (px - 320.0) * (px - 320.0) + (py - 226.0) * (py - 226.0);
                if (d >= best) continue;
                best = d;
                x = probe.x + (px + 0.5 - 320) / fit;
                y = probe.y + (226 - py - 0.5) / fit;
            }
        }
        // A zoomed view about it, the whole sheet, and a corner at it.
        for (const plotmira_placement placement : {PLOTMIRA_PLACE_CENTER, PLOTMIRA_PLACE_FIT, PLOTMIRA_PLACE_ANCHOR}) {
            SCOPED_TRACE(input + " placement " + std::to_string(placement));
            plotmira_view whole;
            plotmira_view_init(&whole, kTile * kGrid, kRows * kGrid);
            whole.placement = placement;
            whole.scale = fit * 4;
            const bool corner = placement == PLOTMIRA_PLACE_ANCHOR;
            whole.x = corner ? x - whole.width / 2 / whole.scale : x;
            whole.y = corner ? y + whole.height / 2 / whole.scale : y;
            whole.canvas_width = whole.width;
            whole.canvas_height = whole.height;
            const std::vector<uint8_t> big = Render(doc.doc, whole, PLOTMIRA_PIXELS_RGB24);
            size_t inked = 0;  // pixels other than the top-left one's colour: the view shows something
            for (size_t i = 3; i < big.size(); i += 3) inked += std::memcmp(&big[i], &big[0], 3) != 0 ? 1 : 0;
            EXPECT_GT(inked, 100u);
            for (int32_t row = 0; row < kGrid; ++row) {
                for (int32_t column = 0; column < kGrid; ++column) {
                    plotmira_view tile = whole;
                    tile.width = kTile;
                    tile.height = kRows;
                    tile.origin_x = column * kTile;
                    tile.origin_y = row * kRows;
                    EXPECT_EQ(Render(doc.doc, tile, PLOTMIRA_PIXELS_RGB24),
                              Cut(big, whole.width, column * kTile, row * kRows, kTile, kRows))
                        << "tile " << column << "," << row;
                }
            }
        }
    }
}

TEST_F(Library, ARegionIsDrawnAcrossThePictureAndACentreViewAsTheFitOfTheSheet)
{
    Document doc(showcase);
    // The showcase's A3 sheet: a centre view at the fit scale is the fit.
    plotmira_view fit;
    plotmira_view_init(&fit, 1000, 707);
    plotmira_view centre = fit;
    centre.placement = PLOTMIRA_PLACE_CENTER;
    centre.scale = 1000.0 / 420;
    EXPECT_EQ(Render(doc.doc, centre), Render(doc.doc, fit));
    // The left half of the sheet as a region at 500 pixels is the fit
    // picture's left half, but for the truncation of coordinates left of it.
    plotmira_view region;
    plotmira_view_init(&region, 500, 707);
    region.placement = PLOTMIRA_PLACE_REGION;
    const double top = 707 / 2 / (1000.0 / 420);
    region.region[0] = -210;
    region.region[1] = top;
    region.region[2] = 0;
    region.region[3] = top - 707 / (1000.0 / 420);
    const std::vector<uint8_t> half = Render(doc.doc, region, PLOTMIRA_PIXELS_RGB24);
    const std::vector<uint8_t> whole = Render(doc.doc, fit, PLOTMIRA_PIXELS_RGB24);
    size_t same = 0;
    const std::vector<uint8_t> left = Cut(whole, 1000, 0, 0, 500, 707);
    for (size_t i = 0; i < half.size(); ++i) same += half[i] == left[i] ? 1 : 0;
    EXPECT_GT(same, half.size() * 999 / 1000);
}

TEST_F(Library, HostileViewsAndImagesAnswerStatusesAndLeaveTheDocumentUsable)
{
    Document doc(showcase);
    plotmira_view good;
    plotmira_view_init(&good, 200, 141);
    const std::vector<uint8_t> reference = Render(doc.doc, good);
    const double nan = std::nan(""), inf = HUGE_VAL;
    struct Case {
        const char *what;
        void (*spoil)(plotmira_view &view);
        plotmira_status status;
    };
    static double badValue;
    const Case cases[] = {
        {"width 0", [](plotmira_view &v) { v.width = 0; }, PLOTMIRA_ERR_VIEW},
        {"height past the side", [](plotmira_view &v) { v.height = PLOTMIRA_MAX_SIDE + 1; }, PLOTMIRA_ERR_VIEW},
        {"area past the cap",
         [](plotmira_view &v) {
             v.width = PLOTMIRA_MAX_SIDE;
             v.height = PLOTMIRA_MAX_SIDE;
         },
         PLOTMIRA_ERR_VIEW},
        {"negative canvas", [](plotmira_view &v) { v.canvas_width = -5; }, PLOTMIRA_ERR_VIEW},
        {"origin far away", [](plotmira_view &v) { v.origin_x = INT64_MAX; }, PLOTMIRA_ERR_VIEW},
        {"unknown placement", [](plotmira_view &v) { v.placement = static_cast<plotmira_placement>(9); },
         PLOTMIRA_ERR_VIEW},
        {"unknown pens", [](plotmira_view &v) { v.pens = static_cast<plotmira_pens>(7); }, PLOTMIRA_ERR_VIEW},
        {"registered view 9", [](plotmira_view &v) { v.registered_view = 9; }, PLOTMIRA_ERR_VIEW},
        {"scale 0",
         [](plotmira_view &v) {
             v.placement = PLOTMIRA_PLACE_CENTER;
             v.scale = 0;
         },
         PLOTMIRA_ERR_VIEW},
        {"scale 1e300",
         [](plotmira_view &v) {
             v.placement = PLOTMIRA_PLACE_CENTER;
             v.scale = 1e300;
         },
         PLOTMIRA_ERR_VIEW},
        {"scale not a number",
         [](plotmira_view &v) {
             v.placement = PLOTMIRA_PLACE_ANCHOR;
             v.scale = badValue;
         },
         PLOTMIRA_ERR_VIEW},
        {"centre not a number",
         [](plotmira_view &v) {
             v.placement = PLOTMIRA_PLACE_CENTER;
             v.scale = 2;
             v.x = badValue;
         },
         PLOTMIRA_ERR_VIEW},
        {"centre far away",
         [](plotmira_view &v) {
             v.placement = PLOTMIRA_PLACE_CENTER;
             v.scale = 1e5;
             v.y = 1e300;
         },
         PLOTMIRA_ERR_VIEW},
        {"region without width",
         [](plotmira_view &v) {
             v.placement = PLOTMIRA_PLACE_REGION;
             v.region[0] = v.region[2] = 5;
             v.region[3] = 10;
         },
         PLOTMIRA_ERR_VIEW},
        {"no size set", [](plotmira_view &v) { v.struct_size = 0; }, PLOTMIRA_ERR_ARGUMENT},
    };
    for (const double value : {nan, inf}) {
        badValue = value;
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            plotmira_view view = good;
            c.spoil(view);
            std::vector<uint8_t> pixels(64, 0x5A);
            const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
            EXPECT_EQ(plotmira_render(doc.doc, &view, &image), c.status);
            EXPECT_EQ(pixels, std::vector<uint8_t>(64, 0x5A));  // untouched
        }
    }
    // Images: a stride too small, a buffer too small, none, an unknown format.
    std::vector<uint8_t> pixels(plotmira_row_bytes(PLOTMIRA_PIXELS_RGB24, 200) * 141);
    plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 599, pixels.size()};
    EXPECT_EQ(plotmira_render(doc.doc, &good, &image), PLOTMIRA_ERR_IMAGE);
    image.stride = 0;
    image.size = pixels.size() - 1;
    EXPECT_EQ(plotmira_render(doc.doc, &good, &image), PLOTMIRA_ERR_IMAGE);
    image.size = pixels.size();
    image.pixels = nullptr;
    EXPECT_EQ(plotmira_render(doc.doc, &good, &image), PLOTMIRA_ERR_IMAGE);
    image.pixels = pixels.data();
    image.format = static_cast<plotmira_pixel_format>(12);
    EXPECT_EQ(plotmira_render(doc.doc, &good, &image), PLOTMIRA_ERR_IMAGE);
    EXPECT_EQ(plotmira_render(doc.doc, &good, nullptr), PLOTMIRA_ERR_ARGUMENT);
    EXPECT_EQ(plotmira_render(nullptr, &good, &image), PLOTMIRA_ERR_ARGUMENT);
    // The document draws as before.
    EXPECT_EQ(Render(doc.doc, good), reference);
}

TEST_F(Library, DescriptionsTellSheetLayersViewsExtentAndNaturalSize)
{
    DrawingOptions options;
    options.views[1][0] = 4;  // view 2: zoom 4 about (30, 20), the print view
    options.views[1][1] = 30;
    options.views[1][2] = 20;
    options.groupStates[3] = 0;
    options.layerStates[{1, 2}] = 1;
    options.layerNames[{1, 2}] = "\x95\xc7";  // 壁
    const std::string empty = folder.Write("empty.jww", MakeEmptyDrawing(options));
    Document d(empty);
    EXPECT_EQ(d.info.format, PLOTMIRA_FORMAT_JWW);
    EXPECT_EQ(d.info.version, 600u);
    EXPECT_EQ(d.info.version_drawn, 1);
    EXPECT_EQ(d.info.complete, 1);
    EXPECT_STREQ(d.info.paper_name, "A3");
    EXPECT_DOUBLE_EQ(d.info.sheet.max_x - d.info.sheet.min_x, 420);
    EXPECT_DOUBLE_EQ(d.info.sheet.max_y - d.info.sheet.min_y, 297);
    EXPECT_EQ(d.info.has_extent, 0);  // nothing drawn
    EXPECT_EQ(d.info.view_count, 8u);
    EXPECT_EQ(d.info.print_view, 2);
    EXPECT_DOUBLE_EQ(d.info.views[1].zoom, 4);
    EXPECT_DOUBLE_EQ(d.info.views[1].center_x, 30);
    EXPECT_STREQ(d.info.groups[1].layers[2].name, "\xe5\xa3\x81");  // UTF-8
    EXPECT_EQ(d.info.groups[1].layers[2].state, 1u);
    EXPECT_STREQ(d.info.groups[15].name, "GF");
    EXPECT_EQ(d.info.groups[3].state, 0u);
    EXPECT_DOUBLE_EQ(d.info.groups[4].scale, 5);
    EXPECT_EQ(d.info.natural_width, 1920);
    EXPECT_EQ(d.info.natural_height, 1357);
    EXPECT_EQ(d.info.background, 0xFFFFFFu);

    Document s(showcase);
    EXPECT_EQ(s.info.has_extent, 1);
    EXPECT_GT(s.info.counts.block_defs, 0u);
    EXPECT_LT(s.info.top_level.lines, s.info.counts.lines);
    EXPECT_LT(s.info.extent.min_x, -180);  // the line types start at x = -190
    EXPECT_GT(s.info.extent.min_x, -200);
    EXPECT_LT(s.info.extent.max_y, s.info.sheet.max_y);

    Document f(figure);
    EXPECT_EQ(f.info.format, PLOTMIRA_FORMAT_JWS);
    EXPECT_STREQ(f.info.paper_name, "");
    EXPECT_EQ(f.info.view_count, 0u);
    EXPECT_EQ(f.info.natural_width, 960);

    // A struct from an older caller, shorter than today's, is filled only so far.
    plotmira_info shorter;
    std::memset(&shorter, 0x7F, sizeof shorter);
    shorter.struct_size = offsetof(plotmira_info, paper_size);
    ASSERT_EQ(plotmira_describe(s.doc, &shorter), PLOTMIRA_OK);
    EXPECT_EQ(shorter.version, 700u);
    EXPECT_EQ(shorter.paper_size, 0x7F7F7F7Fu);
}

TEST_F(Library, InputsThatAreNoDrawingAnswerTheirStatus)
{
    const std::vector<uint8_t> drawing = MakeShowcaseDrawing();
    struct Case {
        const char *what;
        std::vector<uint8_t> bytes;
        plotmira_status status;
    };
    std::vector<uint8_t> version = MakeEmptyDrawing(DrawingOptions{});
    const uint32_t strange = 3268994677u;
    std::memcpy(version.data() + 8, &strange, 4);
    const Case cases[] = {
        {"empty", {}, PLOTMIRA_ERR_FORMAT},
        {"foreign", std::vector<uint8_t>(5000, 'B'), PLOTMIRA_ERR_FORMAT},
        {"cut after its magic", std::vector<uint8_t>(drawing.begin(), drawing.begin() + 300), PLOTMIRA_ERR_DAMAGED},
        {"an unread version", version, PLOTMIRA_OK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        plotmira_document *doc = nullptr;
        EXPECT_EQ(plotmira_open_memory(c.bytes.data(), c.bytes.size(), &doc), c.status);
        EXPECT_EQ(doc != nullptr, c.status == PLOTMIRA_OK);
        plotmira_close(doc);
    }
    // A drawing of a version the reader does not draw: described, not drawn.
    plotmira_document *doc = nullptr;
    ASSERT_EQ(plotmira_open_memory(version.data(), version.size(), &doc), PLOTMIRA_OK);
    plotmira_info info = {};
    info.struct_size = sizeof info;
    ASSERT_EQ(plotmira_describe(doc, &info), PLOTMIRA_OK);
    EXPECT_EQ(info.version, strange);
    EXPECT_EQ(info.version_drawn, 0);
    plotmira_view view;
    plotmira_view_init(&view, 100, 70);
    Render(doc, view, PLOTMIRA_PIXELS_RGB24, PLOTMIRA_ERR_VERSION);
    plotmira_close(doc);
    // Past the input limit: refused before a byte is read.
    EXPECT_EQ(plotmira_open_memory(drawing.data(), size_t{PLOTMIRA_MAX_INPUT_BYTES} + 1, &doc), PLOTMIRA_ERR_TOO_LARGE);
    EXPECT_EQ(plotmira_open_file(folder.Path("absent.jww").c_str(), &doc), PLOTMIRA_ERR_OPEN);
    EXPECT_STREQ(plotmira_strerror(PLOTMIRA_ERR_FORMAT), "not a Jw_cad drawing (.jww) or figure (.jws)");
    EXPECT_STREQ(plotmira_strerror(PLOTMIRA_ERR_DAMAGED), "the file is damaged");
    EXPECT_STREQ(plotmira_strerror(static_cast<plotmira_status>(99)), "unknown status");
}

struct CollectedText {
    std::string text;
    uint32_t kind;
    int32_t group, layer;
};

int Collect(const plotmira_text *text, void *data)
{
    static_cast<std::vector<CollectedText> *>(data)->push_back(
        {text->text, text->kind, text->layer_group, text->layer});
    return 0;
}

TEST_F(Library, TextsAreWhatTheDrawingShowsInUtf8)
{
    Document doc(showcase);
    std::vector<CollectedText> texts;
    ASSERT_EQ(plotmira_texts(doc.doc, Collect, &texts), PLOTMIRA_OK);
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[0].text, "Plotmira");
    EXPECT_EQ(texts[1].text, "\xe5\x9b\xb3\xe9\x9d\xa2\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf");  // 図面データ
    EXPECT_EQ(texts[2].text.find('%'), std::string::npos);  // the date macro, expanded
    bool dimension = false;
    for (const CollectedText &t : texts)
        dimension = dimension || (t.text == "100" && t.kind == PLOTMIRA_TEXT_DIMENSION);
    EXPECT_TRUE(dimension);

    // Texts on hidden layers and texts in blocks.
    DrawingOptions options;
    options.layerStates[{0, 1}] = 0;
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    out.Count(3);
    TextSpec shown;
    shown.text = "shown";
    objects.Text(shown);
    TextSpec hidden = shown;
    hidden.text = "hidden";
    hidden.attributes.layer = 1;
    objects.Text(hidden);
    Attributes reference;
    objects.BlockRef(reference, 100, 50, 2, 2, 0, 7);
    out.Count(1);
    objects.BlockDef(Attributes{}, 7, "door");
    out.Count(1);
    TextSpec member = shown;
    member.text = "member";
    objects.Text(member);
    WriteDrawingTrailer(out, options.version);
    Document blocks(folder.Write("blocks.jww", out.Bytes()));
    texts.clear();
    ASSERT_EQ(plotmira_texts(blocks.doc, Collect, &texts), PLOTMIRA_OK);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "shown");
    EXPECT_EQ(texts[1].text, "member");
    EXPECT_EQ(texts[1].kind, static_cast<uint32_t>(PLOTMIRA_TEXT_IN_BLOCK));
}

TEST_F(Library, LayersHideAndShowOverTheFilesStates)
{
    // A red line on layer 0-0 and a blue one on layer 1-2, hidden in the file.
    DrawingOptions options;
    options.layerStates[{1, 2}] = 0;
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    out.Count(2);
    Attributes red;
    red.penColor = 6;  // 0x0000FF in the defaults
    objects.Line(red, -200, 50, 200, 50);
    Attributes blue = red;
    blue.penColor = 8;
    blue.layerGroup = 1;
    blue.layer = 2;
    objects.Line(blue, -200, -50, 200, -50);
    WriteDrawingTrailer(out, options.version);
    Document doc(folder.Write("layers.jww", out.Bytes()));
    plotmira_view view;
    plotmira_view_init(&view, 420, 296);  // one pixel a millimetre
    auto inked = [&](const plotmira_view &v, int32_t row) {
        const std::vector<uint8_t> rgb = Render(doc.doc, v, PLOTMIRA_PIXELS_RGB24);
        const uint8_t *pixel = rgb.data() + (static_cast<size_t>(row) * v.width + 210) * 3;
        return !(pixel[0] == 0xFF && pixel[1] == 0xFF && pixel[2] == 0xFF);
    };
    EXPECT_TRUE(inked(view, 98));
    EXPECT_FALSE(inked(view, 198));
    plotmira_view shown = view;
    shown.show_layers[1] = 1 << 2;
    EXPECT_TRUE(inked(shown, 198));
    plotmira_view hidden = view;
    hidden.hide_groups = 1;
    EXPECT_FALSE(inked(hidden, 98));
    hidden.hide_groups = 0;
    hidden.hide_layers[0] = 1;
    hidden.show_layers[0] = 1;  // hiding wins
    EXPECT_FALSE(inked(hidden, 98));
}

TEST_F(Library, DocumentsDrawAgainWithoutTheirFileAndLeaveThePluginAlone)
{
    const std::string macros = folder.Write("macros.jww", MakeMacroDrawing());
    const Conversion before = ConvertFile(macros);
    ASSERT_EQ(before.result, 0);
    plotmira_document *doc = nullptr;
    ASSERT_EQ(plotmira_open_file(macros.c_str(), &doc), PLOTMIRA_OK);
    plotmira_view view = PluginView(Document(macros).info, before.width);
    const std::vector<uint8_t> first = Render(doc, view);
    EXPECT_EQ(first, before.bits);  // the file-name and file-date macros as the plug-in draws them
    ASSERT_EQ(std::remove(macros.c_str()), 0);
    EXPECT_EQ(Render(doc, view), first);  // nothing is read again
    plotmira_close(doc);

    // The plug-in's state is its own: its next picture is the same.
    SaveFile(macros, MakeMacroDrawing());
    const Conversion again = ConvertFile(macros);
    EXPECT_EQ(again.bits, before.bits);
}

// What a document shows follows from its bytes and the view alone unless
// its host asks for the user's settings: then it follows them as the
// plug-in does. Opening never writes the settings.
TEST_F(Library, DocumentsDrawTheSameOnEveryMachineUnlessAskedForTheUsersSettings)
{
    struct Environment {
        const char *name;
        std::string value;
    };
    // A machine whose settings change the widths, a figure's pens and the
    // desktop, and whose settings file a drawing named Plotmira.jww applies.
    mkdir(folder.Path("config").c_str(), 0700);
    mkdir(folder.Path("config/plotmira").c_str(), 0700);
    mkdir(folder.Path("wine").c_str(), 0700);
    mkdir(folder.Path("home").c_str(), 0700);
    const std::string registry = folder.Path("config/plotmira/registry.reg");
    const std::string settings =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\n\"SIZE_JWW\"=dword:000003e8\n"
        "\"SIZE_JWS\"=dword:00000258\n";
    WriteText(registry, settings);
    WriteText(folder.Path("wine/user.reg"),
              "WINE REGISTRY Version 2\n\n[Software\\\\Jw_cad\\\\jw_win\\\\Pen] 1\n\"Color00\"=\"203040\"\n"
              "\"Color02\"=\"ff0000\"\n\"Width02\"=\"4\"\n");
    const std::string named = folder.Write("Plotmira.jww", MakeShowcaseDrawing());
    WriteText(folder.Path("Plotmira.ini"), "Plotmira_ini\nSIZE_JWW=1200\n");
    const Environment machine[] = {{"PLOTMIRA_REGISTRY", ""},
                                   {"XDG_CONFIG_HOME", folder.Path("config")},
                                   {"WINEPREFIX", folder.Path("wine")},
                                   {"HOME", folder.Path("home")},
                                   {"PLOTMIRA_DESKTOP_WIDTH", "1000"}};
    struct Case {
        std::string path;
        int32_t userWidth;  // the natural width the user's settings give
    } cases[] = {{showcase, 1000}, {figure, 600}, {named, 1000}};

    auto draw = [](const std::string &path, const plotmira_open_options *options, int32_t *width) {
        plotmira_document *doc = nullptr;
        EXPECT_EQ(plotmira_open_file_with(path.c_str(), options, &doc), PLOTMIRA_OK) << path;
        if (doc == nullptr) return std::vector<uint8_t>();
        plotmira_info info = {};
        info.struct_size = sizeof info;
        EXPECT_EQ(plotmira_describe(doc, &info), PLOTMIRA_OK);
        *width = info.natural_width;
        plotmira_view view;
        plotmira_view_init(&view, 640, 452);
        std::vector<uint8_t> pixels = Render(doc, view);
        plotmira_close(doc);
        return pixels;
    };
    std::vector<std::vector<uint8_t>> bare;
    for (const Case &c : cases) {
        int32_t width = 0;
        bare.push_back(draw(c.path, nullptr, &width));
        EXPECT_EQ(width, c.path == figure ? 960 : 1920) << c.path;
    }

    std::vector<std::string> kept;
    for (const Environment &e : machine) {
        const char *old = std::getenv(e.name);
        kept.push_back(old != nullptr ? old : "");
        if (e.value.empty()) {
            unsetenv(e.name);
        } else {
            setenv(e.name, e.value.c_str(), 1);
        }
    }
    plotmira_open_options user;
    plotmira_open_options_init(&user);
    user.settings = PLOTMIRA_SETTINGS_USER;
    plotmira_open_options given = user;
    given.desktop_width = 800;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case &c = cases[i];
        int32_t width = 0;
        EXPECT_EQ(draw(c.path, nullptr, &width), bare[i]) << c.path;
        EXPECT_EQ(width, c.path == figure ? 960 : 1920) << c.path;
        const std::vector<uint8_t> followed = draw(c.path, &user, &width);
        EXPECT_EQ(width, c.userWidth) << c.path;
        // The figure takes the CAD program's pens: its background changes.
        EXPECT_EQ(followed != bare[i], c.path == figure) << c.path;
        draw(c.path, &given, &width);
        EXPECT_EQ(width, c.userWidth) << c.path;  // the settings' widths win over a desktop
    }
    plotmira_open_options builtIn;
    plotmira_open_options_init(&builtIn);
    builtIn.desktop_width = 800;
    int32_t width = 0;
    draw(showcase, &builtIn, &width);
    EXPECT_EQ(width, 800);
    // A settings file named by the host: its widths over the built-in
    // settings, and nothing of the machine (the figure keeps its own pens).
    const std::string ini = folder.Path("Plotmira.ini");
    plotmira_open_options file;
    plotmira_open_options_init(&file);
    file.settings = PLOTMIRA_SETTINGS_FILE;
    file.settings_file = ini.c_str();
    draw(showcase, &file, &width);
    EXPECT_EQ(width, 1200);
    EXPECT_EQ(draw(figure, &file, &width), bare[1]);
    EXPECT_EQ(width, 960);
    EXPECT_EQ(ReadText(registry), settings);  // Plotmira.jww opened twice: nothing written

    // An older caller's smaller options take the defaults past their end; a
    // larger struct, an unknown source or a negative width is refused.
    plotmira_open_options older = user;
    older.struct_size = offsetof(plotmira_open_options, settings);
    draw(showcase, &older, &width);
    EXPECT_EQ(width, 1920);
    plotmira_open_options wrong[4] = {user, user, user, file};
    wrong[0].struct_size = sizeof user + 8;
    const int unknownSource = 7;  // as a C caller may hand it
    std::memcpy(&wrong[1].settings, &unknownSource, sizeof unknownSource);
    wrong[2].desktop_width = -1;
    wrong[3].settings_file = nullptr;
    for (const plotmira_open_options &options : wrong) {
        plotmira_document *doc = nullptr;
        EXPECT_EQ(plotmira_open_file_with(showcase.c_str(), &options, &doc), PLOTMIRA_ERR_ARGUMENT);
        EXPECT_EQ(doc, nullptr);
    }
    const std::string missing = folder.Path("missing.ini");
    file.settings_file = missing.c_str();
    plotmira_document *unopened = nullptr;
    EXPECT_EQ(plotmira_open_file_with(showcase.c_str(), &file, &unopened), PLOTMIRA_ERR_OPEN);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].empty()) {
            unsetenv(machine[i].name);
        } else {
            setenv(machine[i].name, kept[i].c_str(), 1);
        }
    }
}

int CountBytes(void *user_data, const void *, size_t length)
{
    *static_cast<size_t *>(user_data) += length;
    return 0;
}

// One rule for every struct that carries its size: a smaller one, from an
// older header, is taken with defaults past its end; a larger one is refused.
TEST_F(Library, StructSizesFromOlderHeadersAreTakenAndFromNewerOnesRefused)
{
    Document doc(showcase);
    plotmira_view view;
    plotmira_view_init(&view, 64, 45);
    std::vector<uint8_t> pixels(64 * 45 * 3);
    plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
    plotmira_vector_options vector;
    plotmira_vector_options_init(&vector);
    plotmira_info info = {};
    plotmira_settings settings;
    plotmira_settings_init(&settings);
    size_t written = 0;
    const struct {
        const char *what;
        size_t *size;
        size_t older;  // a size an older header could have given
        size_t full;
    } structs[] = {
        {"view", &view.struct_size, offsetof(plotmira_view, hide_groups), sizeof view},
        {"image", &image.struct_size, sizeof image, sizeof image},
        {"vector options", &vector.struct_size, offsetof(plotmira_vector_options, cancel), sizeof vector},
        {"info", &info.struct_size, offsetof(plotmira_info, paper_size), sizeof info},
        {"settings", &settings.struct_size, offsetof(plotmira_settings, location), sizeof settings},
    };
    auto call = [&](const char *what) {
        if (std::strcmp(what, "settings") == 0) return plotmira_settings_read(&settings);
        if (std::strcmp(what, "vector options") == 0) {
            return plotmira_render_vector(doc.doc, PLOTMIRA_VECTOR_SVG, &vector, CountBytes, &written);
        }
        if (std::strcmp(what, "info") == 0) return plotmira_describe(doc.doc, &info);
        return plotmira_render(doc.doc, &view, &image);
    };
    for (const auto &s : structs) {
        SCOPED_TRACE(s.what);
        *s.size = s.older;
        EXPECT_EQ(call(s.what), PLOTMIRA_OK);
        *s.size = s.full + sizeof(double);
        EXPECT_EQ(call(s.what), PLOTMIRA_ERR_ARGUMENT);
        *s.size = s.full;
        EXPECT_EQ(call(s.what), PLOTMIRA_OK);
    }
    EXPECT_GT(written, 0u);
}

// A drawing of enough objects for a view's cancel callback to be asked.
std::vector<uint8_t> ManyLines()
{
    DrawingOptions options;
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    out.Count(5000);
    for (int i = 0; i < 5000; ++i) objects.Line(Attributes{}, -200, i * 0.05 - 120, 200, i * 0.05 - 120);
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

// What a callback of the library's asks of it while it draws.
struct Reentry {
    plotmira_document *same = nullptr, *other = nullptr;
    std::vector<uint8_t> bytes;  // a file to open
    std::vector<plotmira_status> answers;
};

void CallBack(Reentry *r)
{
    if (!r->answers.empty()) return;  // once is enough
    plotmira_info info = {};
    info.struct_size = sizeof info;
    r->answers.push_back(plotmira_describe(r->other, &info));
    r->answers.push_back(plotmira_describe(r->same, &info));
    plotmira_view view;
    plotmira_view_init(&view, 32, 22);
    std::vector<uint8_t> pixels(32 * 22 * 3);
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
    r->answers.push_back(plotmira_render(r->same, &view, &image));
    r->answers.push_back(plotmira_render(r->other, &view, &image));
    r->answers.push_back(plotmira_texts(
        r->same, [](const plotmira_text *, void *) { return 0; }, nullptr));
    plotmira_document *opened = nullptr;
    r->answers.push_back(plotmira_open_memory(r->bytes.data(), r->bytes.size(), &opened));
    plotmira_close(opened);
    plotmira_settings settings = {};
    settings.struct_size = sizeof settings;
    r->answers.push_back(plotmira_settings_read(&settings));
    r->answers.push_back(plotmira_fonts_changed());
}

// A callback may call the library, on the document being drawn and on
// others: each call answers as from anywhere else, and the call it came from
// goes on to the picture it draws without the callback.
TEST_F(Library, CallsFromCallbacksAreServedAndTheDrawingGoesOn)
{
    Document doc(folder.Write("lines.jww", ManyLines())), other(figure);
    Reentry r;
    r.same = doc.doc;
    r.other = other.doc;
    r.bytes = MakeShowcaseFigure();
    plotmira_view view = PluginView(doc.info, 400);
    const std::vector<uint8_t> plain = Render(doc.doc, view);
    view.cancel = [](void *data) {
        CallBack(static_cast<Reentry *>(data));
        return 0;
    };
    view.cancel_data = &r;
    EXPECT_EQ(Render(doc.doc, view), plain);
    EXPECT_EQ(r.answers, std::vector<plotmira_status>(8, PLOTMIRA_OK));

    r.answers.clear();
    size_t written = 0;
    struct Writer {
        Reentry *r;
        size_t *written;
    } writer = {&r, &written};
    EXPECT_EQ(plotmira_render_vector(
                  doc.doc, PLOTMIRA_VECTOR_SVG, nullptr,
                  [](void *data, const void *, size_t length) {
                      auto *w = static_cast<Writer *>(data);
                      CallBack(w->r);
                      *w->written += length;
                      return 0;
                  },
                  &writer),
              PLOTMIRA_OK);
    EXPECT_GT(written, 0u);
    EXPECT_EQ(r.answers, std::vector<plotmira_status>(8, PLOTMIRA_OK));

    // The texts' callback runs after the walk: it may call the library.
    r.answers.clear();
    const Document texted(showcase);
    EXPECT_EQ(plotmira_texts(
                  texted.doc,
                  [](const plotmira_text *, void *data) {
                      Reentry *r = static_cast<Reentry *>(data);
                      plotmira_info info = {};
                      info.struct_size = sizeof info;
                      if (r->answers.empty()) r->answers.push_back(plotmira_describe(r->same, &info));
                      return 0;
                  },
                  &r),
              PLOTMIRA_OK);
    EXPECT_EQ(r.answers, std::vector<plotmira_status>(1, PLOTMIRA_OK));
}

int CancelAtOnce(void *) { return 1; }

TEST_F(Library, ACancelledViewStopsAndLeavesTheBufferAlone)
{
    Document doc(folder.Write("lines.jww", ManyLines()));
    plotmira_view view;
    plotmira_view_init(&view, 400, 282);
    view.cancel = CancelAtOnce;
    std::vector<uint8_t> pixels(400 * 282 * 3, 0x5A);
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels.data(), 0, pixels.size()};
    EXPECT_EQ(plotmira_render(doc.doc, &view, &image), PLOTMIRA_ERR_CANCELLED);
    EXPECT_EQ(pixels, std::vector<uint8_t>(400 * 282 * 3, 0x5A));
    view.cancel = nullptr;
    EXPECT_EQ(plotmira_render(doc.doc, &view, &image), PLOTMIRA_OK);
}

TEST_F(Library, SettingsAreReadCheckedAndWrittenAsTheSettingsFileWritesThem)
{
    const std::string registry = folder.Path("registry.reg");
    const char *given = std::getenv("PLOTMIRA_REGISTRY");
    const std::string before = given != nullptr ? given : "";
    setenv("PLOTMIRA_REGISTRY", registry.c_str(), 1);
    plotmira_settings s;
    plotmira_settings_init(&s);
    ASSERT_EQ(plotmira_settings_read(&s), PLOTMIRA_OK);  // no buffers: the lengths
    EXPECT_EQ(s.location_length, registry.size());
    std::vector<char> location(registry.size()), name(64);
    s.location = location.data();
    s.location_size = location.size();  // one byte short
    EXPECT_EQ(plotmira_settings_read(&s), PLOTMIRA_ERR_ARGUMENT);
    location.push_back('\0');
    s.location = location.data();
    s.location_size = location.size();
    ASSERT_EQ(plotmira_settings_read(&s), PLOTMIRA_OK);
    EXPECT_EQ(s.has_drawing_width, 0);
    EXPECT_EQ(s.default_drawing_width, 1920);
    EXPECT_EQ(s.default_figure_width, 960);
    EXPECT_EQ(std::string(s.location), registry);
    s.has_drawing_width = 1;
    s.drawing_width = 1000;
    s.has_reference_file = 1;
    std::strcpy(name.data(), "ref.txt");
    s.reference_file = name.data();
    s.reference_file_size = name.size();
    ASSERT_EQ(plotmira_settings_write(&s, nullptr), PLOTMIRA_OK);
    plotmira_open_options user;
    plotmira_open_options_init(&user);
    user.settings = PLOTMIRA_SETTINGS_USER;
    EXPECT_EQ(Document(showcase, &user).info.natural_width, 1000);
    EXPECT_EQ(Document(showcase).info.natural_width, 1920);
    int bad = 0;
    s.figure_width = 6000;
    s.has_figure_width = 1;
    EXPECT_EQ(plotmira_settings_write(&s, &bad), PLOTMIRA_ERR_SETTING);
    EXPECT_EQ(bad, PLOTMIRA_SETTING_FIGURE_WIDTH);
    s.has_figure_width = 0;
    std::strcpy(name.data(), "x");
    EXPECT_EQ(plotmira_settings_write(&s, &bad), PLOTMIRA_ERR_SETTING);
    EXPECT_EQ(bad, PLOTMIRA_SETTING_REFERENCE_FILE);
    std::strcpy(name.data(), "ref.txt");
    s.reference_file_size = 3;  // a name with no end within the buffer the caller names
    EXPECT_EQ(plotmira_settings_write(&s, &bad), PLOTMIRA_ERR_SETTING);
    EXPECT_EQ(bad, PLOTMIRA_SETTING_REFERENCE_FILE);
    plotmira_settings readBack;
    plotmira_settings_init(&readBack);
    std::vector<char> readName(64);
    readBack.reference_file = readName.data();
    readBack.reference_file_size = readName.size();
    ASSERT_EQ(plotmira_settings_read(&readBack), PLOTMIRA_OK);
    EXPECT_EQ(readBack.drawing_width, 1000u);
    EXPECT_STREQ(readBack.reference_file, "ref.txt");  // nothing of the refused writes
    EXPECT_EQ(readBack.has_figure_width, 0);
    uint32_t width = 0;
    for (const char *text : {"299", "5001", "12x", "", "00300x"}) {
        EXPECT_EQ(plotmira_settings_parse_width(text, &width), PLOTMIRA_ERR_SETTING) << text;
    }
    EXPECT_EQ(plotmira_settings_parse_width("0300", &width), PLOTMIRA_OK);
    EXPECT_EQ(width, 300u);
    setenv("PLOTMIRA_REGISTRY", before.c_str(), 1);
}

}  // namespace
