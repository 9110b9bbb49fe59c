// DXF files as the library writes them, read back group by group against
// the drawing's own records: real scale, statuses, and hostile drawings that
// must not make a file other programs choke on. (tests/dxf reads them with a
// real DXF reader.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench/corpus_files.h"
#include "library/documents.h"
#include "plotmira.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

int Append(void *data, const void *bytes, size_t length)
{
    static_cast<std::string *>(data)->append(static_cast<const char *>(bytes), length);
    return 0;
}

using Groups = std::vector<std::pair<int, std::string>>;

// The file's group codes and values; a line that is no code fails the test.
Groups ParseGroups(const std::string &dxf)
{
    Groups groups;
    size_t at = 0;
    while (at < dxf.size()) {
        const size_t codeEnd = dxf.find('\n', at);
        const size_t valueEnd = codeEnd == std::string::npos ? codeEnd : dxf.find('\n', codeEnd + 1);
        if (valueEnd == std::string::npos) {
            ADD_FAILURE() << "a code without its value at byte " << at;
            break;
        }
        char *end = nullptr;
        const std::string code = dxf.substr(at, codeEnd - at);
        const long number = std::strtol(code.c_str(), &end, 10);
        EXPECT_TRUE(end != code.c_str() && *end == '\0') << "not a group code: \"" << code << "\"";
        groups.emplace_back(static_cast<int>(number), dxf.substr(codeEnd + 1, valueEnd - codeEnd - 1));
        at = valueEnd + 1;
    }
    return groups;
}

// The entities of a section (or of every BLOCK in BLOCKS), each as its groups.
std::vector<Groups> Entities(const Groups &groups, const std::string &section)
{
    std::vector<Groups> entities;
    bool inside = false;
    for (size_t i = 0; i < groups.size(); ++i) {
        const auto &g = groups[i];
        if (g.first == 2 && i > 0 && groups[i - 1] == std::make_pair(0, std::string("SECTION"))) {
            inside = g.second == section;
        } else if (inside && g.first == 0) {
            entities.push_back({g});
        } else if (inside && !entities.empty()) {
            entities.back().push_back(g);
        }
    }
    return entities;
}

double Value(const Groups &entity, int code)
{
    for (const auto &g : entity) {
        if (g.first == code) return std::strtod(g.second.c_str(), nullptr);
    }
    ADD_FAILURE() << "no group " << code;
    return NAN;
}

std::string Export(plotmira_document *doc, plotmira_dxf_version version = PLOTMIRA_DXF_2018,
                   plotmira_status expect = PLOTMIRA_OK)
{
    plotmira_dxf_options options;
    plotmira_dxf_options_init(&options);
    options.version = version;
    std::string dxf;
    EXPECT_EQ(plotmira_export_dxf(doc, &options, Append, &dxf), expect);
    return dxf;
}

bool Near(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); }

// Lines in three groups of scales 100, 50 and 1, and a block placed in the
// second: the scales of the header.
std::vector<uint8_t> ScaledDrawing()
{
    DrawingOptions options;
    options.groupScales = {100, 50, 1};
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    Attributes a;
    out.Count(4);
    for (uint16_t g = 0; g < 3; ++g) {
        a.layerGroup = g;
        objects.Line(a, -10.5 * (g + 1), 3, 20, 7.25 * g);
    }
    a.layerGroup = 1;
    objects.BlockRef(a, 12, -8, 2, 0.5, 0.3, 7);
    out.Count(1);
    objects.BlockDef(a, 7, "door");
    out.Count(1);
    objects.Line(a, 0, 0, 1, 1);
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

TEST(Dxf, ModelSpaceIsTheSheetTimesEachGroupsScale)
{
    TempFolder folder;
    std::vector<std::string> files = {folder.Write("scaled.jww", ScaledDrawing()),
                                      folder.Write("showcase.jww", MakeShowcaseDrawing())};
    CollectDrawings(CorpusDir() + "/raw", &files);
    for (const std::string &path : files) {
        plotmira_document *doc = nullptr;
        ASSERT_EQ(plotmira_open_file(path.c_str(), &doc), PLOTMIRA_OK) << path;
        if (!doc->versionDrawn) {
            plotmira_close(doc);
            continue;
        }
        const StoreTables &t = doc->drawing.store;
        const DocumentSettings &header = doc->drawing.header;
        const bool figure = doc->drawing.source.isFigure == 1;
        auto scale = [&](const EntityHeader &h) { return figure ? 1.0 : header.layerGroupScale[h.layerGroup]; };
        const std::vector<Groups> entities = Entities(ParseGroups(Export(doc)), "ENTITIES");
        std::vector<const Groups *> lines, inserts;
        for (const Groups &e : entities) {
            if (e[0].second == "LINE") lines.push_back(&e);
            if (e[0].second == "INSERT") inserts.push_back(&e);
        }
        ASSERT_EQ(lines.size(), t.firstBlockLine - 1) << path;
        for (uint32_t i = 1; i < t.firstBlockLine; ++i) {
            const LineRecord &l = t.lines[i];
            const Groups &e = *lines[i - 1];
            const double s = scale(l.header);
            EXPECT_TRUE(Near(Value(e, 10), l.x1 * s) && Near(Value(e, 20), l.y1 * s) && Near(Value(e, 11), l.x2 * s) &&
                        Near(Value(e, 21), l.y2 * s))
                << path << " line " << i;
        }
        size_t top = 0;
        for (uint32_t i = 1; i <= t.blockRefCount; ++i) {
            const BlockRefRecord &r = t.blockRefs[i];
            if (r.owner != kTopLevelOwner) continue;
            ASSERT_LT(top, inserts.size()) << path;
            const Groups &e = *inserts[top++];
            const double s = scale(r.header);
            EXPECT_TRUE(Near(Value(e, 10), r.x * s) && Near(Value(e, 20), r.y * s) &&
                        Near(Value(e, 41), r.scaleX * s) && Near(Value(e, 42), r.scaleY * s))
                << path << " reference " << i;
        }
        EXPECT_EQ(top, inserts.size()) << path;
        plotmira_close(doc);
    }
}

// A drawing a damaged or hostile file may make: blocks that place each other
// in a loop, a line of no numbers, a text with line breaks and controls.
std::vector<uint8_t> HostileDrawing()
{
    DrawingOptions options;
    ArchiveWriter out;
    WriteDrawingHeader(out, options);
    ObjectWriter objects(out, options.version);
    Attributes a;
    out.Count(3);
    objects.Line(a, NAN, 0, INFINITY, 1);
    TextSpec text;
    text.text = "one\r\ntwo\x01";
    objects.Text(text);
    objects.BlockRef(a, 0, 0, 1, 1, 0, 1);
    out.Count(2);
    objects.BlockDef(a, 1, "A<B>");
    out.Count(1);
    objects.BlockRef(a, 5, 0, 1, 1, 0, 2);
    objects.BlockDef(a, 2, "");
    out.Count(1);
    objects.BlockRef(a, 0, 5, 1, 1, 0, 1);
    WriteDrawingTrailer(out, options.version);
    return out.Bytes();
}

int Refuse(void *, const void *, size_t) { return 1; }
int CancelAtOnce(void *) { return 1; }

TEST(Dxf, StatusesAndHostileDrawingsGiveFilesEveryReaderTakes)
{
    TempFolder folder;
    DrawingOptions old;
    old.version = 250;
    plotmira_document *doc = nullptr, *unread = nullptr, *hostile = nullptr;
    ASSERT_EQ(plotmira_open_file(folder.Write("showcase.jww", MakeShowcaseDrawing()).c_str(), &doc), PLOTMIRA_OK);
    ASSERT_EQ(plotmira_open_file(folder.Write("old.jww", MakeEmptyDrawing(old)).c_str(), &unread), PLOTMIRA_OK);
    ASSERT_EQ(plotmira_open_file(folder.Write("hostile.jww", HostileDrawing()).c_str(), &hostile), PLOTMIRA_OK);

    plotmira_dxf_options options;
    plotmira_dxf_options_init(&options);
    plotmira_dxf_options larger = options, badVersion = options, badPens = options, cancelled = options;
    larger.struct_size += 8;
    badVersion.version = static_cast<plotmira_dxf_version>(3);
    badPens.pens = static_cast<plotmira_pens>(7);
    cancelled.cancel = CancelAtOnce;
    std::string sink;
    const struct {
        plotmira_document *doc;
        const plotmira_dxf_options *options;
        plotmira_write_callback write;
        plotmira_status expect;
    } cases[] = {
        {nullptr, &options, Append, PLOTMIRA_ERR_ARGUMENT},
        {doc, &options, nullptr, PLOTMIRA_ERR_ARGUMENT},
        {doc, &larger, Append, PLOTMIRA_ERR_ARGUMENT},
        {doc, &badVersion, Append, PLOTMIRA_ERR_ARGUMENT},
        {doc, &badPens, Append, PLOTMIRA_ERR_ARGUMENT},
        {unread, &options, Append, PLOTMIRA_ERR_VERSION},
        {doc, &options, Refuse, PLOTMIRA_ERR_WRITE},
        {doc, &cancelled, Append, PLOTMIRA_ERR_CANCELLED},
        {doc, nullptr, Append, PLOTMIRA_OK},
    };
    for (const auto &c : cases) {
        sink.clear();
        EXPECT_EQ(plotmira_export_dxf(c.doc, c.options, c.write, &sink), c.expect);
        if (c.expect == PLOTMIRA_ERR_ARGUMENT || c.expect == PLOTMIRA_ERR_VERSION) {
            EXPECT_TRUE(sink.empty());
        }
    }

    for (plotmira_dxf_version version : {PLOTMIRA_DXF_2018, PLOTMIRA_DXF_2000, PLOTMIRA_DXF_R12}) {
        const std::string dxf = Export(hostile, version);
        const Groups groups = ParseGroups(dxf);
        ASSERT_FALSE(groups.empty());
        EXPECT_EQ(groups.back(), std::make_pair(0, std::string("EOF")));
        for (const auto &g : groups) {
            EXPECT_EQ(g.second.find_first_of("\r\x01"), std::string::npos) << g.first;
            EXPECT_EQ(g.second.find("nan"), std::string::npos) << g.first << " " << g.second;
            EXPECT_EQ(g.second.find("inf"), std::string::npos) << g.first << " " << g.second;
        }
        // The loop is cut where it closes: one nested reference is left out,
        // the line of no numbers too; the block's name loses what names may
        // not hold; the text keeps its words.
        size_t nested = 0;
        for (const Groups &e : Entities(groups, "BLOCKS")) nested += e[0].second == "INSERT";
        EXPECT_EQ(nested, 1u);
        std::vector<std::string> texts, names;
        for (const Groups &e : Entities(groups, "ENTITIES")) {
            EXPECT_NE(e[0].second, "LINE");
            for (const auto &g : e) {
                if (e[0].second == "TEXT" && g.first == 1) texts.push_back(g.second);
                if (e[0].second == "INSERT" && g.first == 2) names.push_back(g.second);
            }
        }
        EXPECT_EQ(texts, std::vector<std::string>{"one  two "});
        EXPECT_EQ(names, std::vector<std::string>{"A_B_"});
    }
    plotmira_close(hostile);
    plotmira_close(unread);
    plotmira_close(doc);
}

}  // namespace
