// The calls the page's worker makes into the library, flat enough for
// JavaScript: a document's description as JSON, and a view (the whole
// sheet fitted, or a scale and centre) with the layer switches drawn as
// RGBA pixels into a buffer of the module's memory. Everything else the
// worker calls is the library's own interface.
#include <cstdio>
#include <cstring>
#include <string>

#include "plotmira.h"

namespace {

void PutString(std::string *out, const char *text)
{
    out->push_back('"');
    for (const char *p = text; p != nullptr && *p != 0; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            *out += escaped;
        } else {
            out->push_back(static_cast<char>(c));
        }
    }
    out->push_back('"');
}

void PutNumber(std::string *out, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    *out += text;
}

void PutRect(std::string *out, const plotmira_rect &r)
{
    *out += "[";
    PutNumber(out, r.min_x);
    *out += ",";
    PutNumber(out, r.min_y);
    *out += ",";
    PutNumber(out, r.max_x);
    *out += ",";
    PutNumber(out, r.max_y);
    *out += "]";
}

void PutCounts(std::string *out, const plotmira_counts &c)
{
    const uint32_t values[] = {c.lines, c.arcs, c.points, c.texts, c.dimensions, c.solids, c.block_refs, c.block_defs};
    const char *names[] = {"lines", "arcs", "points", "texts", "dimensions", "solids", "block_refs", "block_defs"};
    *out += "{";
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i) {
        *out += std::string(i ? "," : "") + "\"" + names[i] + "\":" + std::to_string(values[i]);
    }
    *out += "}";
}

// What the last export wrote.
std::string &Output()
{
    static std::string output;
    return output;
}

}  // namespace

extern "C" {

// The description as one JSON object, valid until the next call; null when
// the document cannot be described.
const char *plotmira_web_describe(plotmira_document *doc)
{
    static std::string json;
    plotmira_info info = {};
    info.struct_size = sizeof info;
    if (plotmira_describe(doc, &info) != PLOTMIRA_OK) return nullptr;
    json = "{\"format\":\"";
    json += info.format == PLOTMIRA_FORMAT_JWS ? "jws" : "jww";
    json += "\",\"version\":" + std::to_string(info.version);
    json += ",\"version_drawn\":" + std::to_string(info.version_drawn);
    json += ",\"complete\":" + std::to_string(info.complete);
    json += ",\"counts\":";
    PutCounts(&json, info.counts);
    json += ",\"paper_name\":";
    PutString(&json, info.paper_name);
    json += ",\"sheet\":";
    PutRect(&json, info.sheet);
    json += ",\"has_extent\":" + std::to_string(info.has_extent) + ",\"extent\":";
    PutRect(&json, info.extent);
    json += ",\"natural_width\":" + std::to_string(info.natural_width);
    json += ",\"natural_height\":" + std::to_string(info.natural_height);
    json += ",\"aspect\":";  // the plug-in's pictures: height / width
    PutNumber(&json, PLOTMIRA_RASTER_ASPECT);
    json += ",\"background\":" + std::to_string(info.background);
    json += ",\"groups\":[";
    for (int g = 0; g < PLOTMIRA_LAYER_GROUPS; ++g) {
        const plotmira_layer_group &group = info.groups[g];
        json += g ? ",{\"name\":" : "{\"name\":";
        PutString(&json, group.name);
        json += ",\"state\":" + std::to_string(group.state) + ",\"scale\":";
        PutNumber(&json, group.scale);
        json += ",\"layers\":[";
        for (int l = 0; l < PLOTMIRA_LAYERS_PER_GROUP; ++l) {
            json += l ? ",{\"name\":" : "{\"name\":";
            PutString(&json, group.layers[l].name);
            json += ",\"state\":" + std::to_string(group.layers[l].state) + "}";
        }
        json += "]}";
    }
    json += "]}";
    return json.c_str();
}

// Draws a view as RGBA into rgba (width x height x 4 bytes). placement 0:
// the whole sheet fitted, as the plug-in draws it; 1: scale pixels per
// millimetre with sheet point (x, y) at the centre. layers holds
// hide_groups, show_groups, then the 16 hide_layers and the 16 show_layers.
int plotmira_web_render(plotmira_document *doc, int placement, double scale, double x, double y, int32_t width,
                        int32_t height, int print_pens, const uint16_t *layers, uint8_t *rgba)
{
    plotmira_view view;
    plotmira_view_init(&view, width, height);
    if (placement == 1) {
        view.placement = PLOTMIRA_PLACE_CENTER;
        view.scale = scale;
        view.x = x;
        view.y = y;
    }
    view.pens = print_pens ? PLOTMIRA_PENS_PRINT : PLOTMIRA_PENS_SCREEN;
    if (layers != nullptr) {
        view.hide_groups = layers[0];
        view.show_groups = layers[1];
        std::memcpy(view.hide_layers, layers + 2, sizeof view.hide_layers);
        std::memcpy(view.show_layers, layers + 2 + PLOTMIRA_LAYER_GROUPS, sizeof view.show_layers);
    }
    const size_t bytes = width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) * 4 : 0;
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGBA32, rgba, 0, bytes};
    return plotmira_render(doc, &view, &image);
}

// The DXF file of the document (version 0: 2018, 1: 2000, 2: R12), the
// layers in the form plotmira_web_render takes them; its bytes stay at
// plotmira_web_output() until the next call. Answers the status.
int plotmira_web_export_dxf(plotmira_document *doc, int version, const uint16_t *layers)
{
    Output().clear();
    plotmira_dxf_options options;
    plotmira_dxf_options_init(&options);
    options.version = static_cast<plotmira_dxf_version>(version);
    if (layers != nullptr) {
        options.hide_groups = layers[0];
        options.show_groups = layers[1];
        std::memcpy(options.hide_layers, layers + 2, sizeof options.hide_layers);
        std::memcpy(options.show_layers, layers + 2 + PLOTMIRA_LAYER_GROUPS, sizeof options.show_layers);
    }
    return plotmira_export_dxf(
        doc, &options,
        [](void *, const void *bytes, size_t length) {
            Output().append(static_cast<const char *>(bytes), length);
            return 0;
        },
        nullptr);
}

const char *plotmira_web_output() { return Output().data(); }
size_t plotmira_web_output_size() { return Output().size(); }

// The page has written font files the last render missed: look again.
void plotmira_web_fonts_arrived() { plotmira_fonts_changed(); }

}  // extern "C"
