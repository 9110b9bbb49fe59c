// plotmira info: a drawing's description as JSON.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hosts/cli/commands.h"

namespace plotmira_cli {

namespace {

// A JSON string of UTF-8 text.
std::string Quoted(const char *text)
{
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            out += escaped;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

// A number as JSON has it: shortest round trip, no infinities.
std::string Number(double value)
{
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    // Fewer digits where they say the same.
    for (int digits = 6; digits < 17; ++digits) {
        char shorter[32];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
        if (std::strtod(shorter, nullptr) == value) return shorter;
    }
    return text;
}

std::string Rect(const plotmira_rect &r)
{
    return "{\"minX\": " + Number(r.min_x) + ", \"minY\": " + Number(r.min_y) + ", \"maxX\": " + Number(r.max_x) +
           ", \"maxY\": " + Number(r.max_y) + "}";
}

void PrintCounts(const char *name, const plotmira_counts &c, bool withBlocks)
{
    std::printf(
        " \"%s\": {\"lines\": %u, \"arcs\": %u, \"points\": %u, \"texts\": %u, \"dimensions\": %u, "
        "\"solids\": %u",
        name, c.lines, c.arcs, c.points, c.texts, c.dimensions, c.solids);
    if (withBlocks) std::printf(", \"blockRefs\": %u, \"blockDefs\": %u", c.block_refs, c.block_defs);
    std::printf("}");
}

int PrintText(const plotmira_text *text, void *data)
{
    bool *first = static_cast<bool *>(data);
    std::printf(
        "%s\n  {\"text\": %s, \"x\": %s, \"y\": %s, \"height\": %s, \"angle\": %s, \"layerGroup\": %d, "
        "\"layer\": %d, \"inBlock\": %s, \"dimension\": %s}",
        *first ? "" : ",", Quoted(text->text).c_str(), Number(text->x).c_str(), Number(text->y).c_str(),
        Number(text->height).c_str(), Number(text->angle).c_str(), text->layer_group, text->layer,
        (text->kind & PLOTMIRA_TEXT_IN_BLOCK) != 0 ? "true" : "false",
        (text->kind & PLOTMIRA_TEXT_DIMENSION) != 0 ? "true" : "false");
    *first = false;
    return 0;
}

}  // namespace

int Info(int argc, char **argv)
{
    bool texts = false;
    std::vector<std::string> inputs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--texts") {
            texts = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.size() != 1) return Usage("info takes one input");
    const std::string &input = inputs[0];
    Document doc;
    const plotmira_status status = doc.Open(input);
    if (status != PLOTMIRA_OK) {
        std::fprintf(stderr, "plotmira: %s\n", Failure(input, status, nullptr).c_str());
        return kExitFailed;
    }
    const plotmira_info &d = doc.Info();
    std::printf("{\"format\": \"%s\", \"version\": %u,\n", d.format == PLOTMIRA_FORMAT_JWS ? "jws" : "jww", d.version);
    PrintCounts("counts", d.counts, true);
    std::printf(",\n");
    PrintCounts("topLevel", d.top_level, false);
    std::printf(",\n \"versionDrawn\": %s, \"complete\": %s,\n", d.version_drawn ? "true" : "false",
                d.complete ? "true" : "false");
    std::printf(" \"sheet\": {\"paper\": %s, \"paperSize\": %u, \"widthMm\": %s, \"heightMm\": %s, \"rect\": %s},\n",
                Quoted(d.paper_name).c_str(), d.paper_size, Number(d.sheet.max_x - d.sheet.min_x).c_str(),
                Number(d.sheet.max_y - d.sheet.min_y).c_str(), Rect(d.sheet).c_str());
    std::printf(" \"extent\": %s,\n", d.has_extent ? Rect(d.extent).c_str() : "null");
    std::printf(" \"picture\": {\"width\": %d, \"height\": %d},\n", d.natural_width, d.natural_height);
    std::printf(" \"printView\": %d, \"views\": [", d.print_view);
    for (uint32_t v = 0; v < d.view_count; ++v) {
        std::printf("%s{\"number\": %u, \"centerX\": %s, \"centerY\": %s, \"zoom\": %s}", v == 0 ? "" : ", ", v + 1,
                    Number(d.views[v].center_x).c_str(), Number(d.views[v].center_y).c_str(),
                    Number(d.views[v].zoom).c_str());
    }
    std::printf("],\n \"layerGroups\": [");
    for (int g = 0; g < kLayerGroups; ++g) {
        const plotmira_layer_group &group = d.groups[g];
        std::printf("%s\n  {\"group\": %d, \"name\": %s, \"state\": %u, \"scale\": %s, \"layers\": [",
                    g == 0 ? "" : ",", g, Quoted(group.name).c_str(), group.state, Number(group.scale).c_str());
        for (int l = 0; l < PLOTMIRA_LAYERS_PER_GROUP; ++l) {
            std::printf("%s{\"layer\": %d, \"name\": %s, \"state\": %u}", l == 0 ? "" : ", ", l,
                        Quoted(group.layers[l].name).c_str(), group.layers[l].state);
        }
        std::printf("]}");
    }
    std::printf("]");
    if (texts) {
        std::printf(",\n \"texts\": [");
        bool first = true;
        plotmira_texts(doc.Get(), PrintText, &first);
        std::printf("]");
    }
    std::printf("}\n");
    return 0;
}

}  // namespace plotmira_cli
