// The calls the page's worker makes into the library, flat enough for
// JavaScript: a document's description and texts as JSON; a view (the whole
// sheet fitted, or a scale and centre) or a print's tile with the layer
// switches drawn as RGBA pixels into a buffer of the module's memory; snap
// points; the DXF file. Everything else the worker calls is the library's
// own interface.
#include <cmath>
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
    *out += std::isfinite(value) ? text : "null";
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

// The layer switches the page sends (hide_groups, show_groups, then the 16
// hide_layers and the 16 show_layers) into the masks of a view or of the
// DXF options, which name them alike.
template <typename Masks>
void TakeLayers(const uint16_t *layers, Masks *to)
{
    if (layers == nullptr) return;
    to->hide_groups = layers[0];
    to->show_groups = layers[1];
    std::memcpy(to->hide_layers, layers + 2, sizeof to->hide_layers);
    std::memcpy(to->show_layers, layers + 2 + PLOTMIRA_LAYER_GROUPS, sizeof to->show_layers);
}

// Draws the view with the pens and layer switches asked for as RGBA.
int DrawRgba(plotmira_document *doc, plotmira_view *view, int print_pens, const uint16_t *layers, uint8_t *rgba)
{
    view->pens = print_pens ? PLOTMIRA_PENS_PRINT : PLOTMIRA_PENS_SCREEN;
    TakeLayers(layers, view);
    const size_t bytes = view->width > 0 && view->height > 0
                             ? static_cast<size_t>(view->width) * static_cast<size_t>(view->height) * 4
                             : 0;
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGBA32, rgba, 0, bytes};
    return plotmira_render(doc, view, &image);
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
    json += ",\"print_background\":" + std::to_string(info.print_background);
    json += ",\"group_objects\":[";
    for (int g = 0; g < PLOTMIRA_LAYER_GROUPS; ++g) json += (g ? "," : "") + std::to_string(info.group_objects[g]);
    json += "]";
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
    return DrawRgba(doc, &view, print_pens, layers, rgba);
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
    TakeLayers(layers, &options);
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
// The page has its copy: the memory goes back to the module.
void plotmira_web_output_release() { std::string().swap(Output()); }

// Every text the document shows (plotmira_texts) as a JSON array of
// [text, x, y, height, angle, layer group, layer, kind bits], valid until
// the next call; null when the texts cannot be had.
const char *plotmira_web_texts(plotmira_document *doc)
{
    static std::string json;
    json = "[";
    const plotmira_status status = plotmira_texts(
        doc,
        [](const plotmira_text *t, void *) {
            json += json.size() > 1 ? ",[" : "[";
            PutString(&json, t->text);
            for (double v : {t->x, t->y, t->height, t->angle}) {
                json += ",";
                PutNumber(&json, v);
            }
            json += "," + std::to_string(t->layer_group) + "," + std::to_string(t->layer) + "," +
                    std::to_string(t->kind) + "]";
            return 0;
        },
        nullptr);
    json += "]";
    return status == PLOTMIRA_OK ? json.c_str() : nullptr;
}

// The snap point nearest (x, y) within radius, with the layer switches as
// plotmira_web_render takes them, into out: kind, x, y, layer group, scale.
int plotmira_web_snap(plotmira_document *doc, double x, double y, double radius, const uint16_t *layers, double *out)
{
    plotmira_view masks;
    plotmira_view_init(&masks, 1, 1);
    TakeLayers(layers, &masks);
    plotmira_snap_point point = {};
    point.struct_size = sizeof point;
    const plotmira_status status = plotmira_snap(doc, &masks, x, y, radius, &point);
    out[0] = point.kind;
    out[1] = point.x;
    out[2] = point.y;
    out[3] = point.layer_group;
    out[4] = point.scale;
    return status;
}

// A tile of a print: the region x0, y0, x1, y1 of the sheet across a
// canvas of canvas_width x canvas_height pixels, the width x height pixels
// from (origin_x, origin_y) as RGBA into rgba. Tiles of one canvas stitch
// without seams.
int plotmira_web_render_tile(plotmira_document *doc, double x0, double y0, double x1, double y1, int32_t canvas_width,
                             int32_t canvas_height, int32_t origin_x, int32_t origin_y, int32_t width, int32_t height,
                             int print_pens, const uint16_t *layers, uint8_t *rgba)
{
    plotmira_view view;
    plotmira_view_init(&view, width, height);
    view.placement = PLOTMIRA_PLACE_REGION;
    view.region[0] = x0;
    view.region[1] = y0;
    view.region[2] = x1;
    view.region[3] = y1;
    view.canvas_width = canvas_width;
    view.canvas_height = canvas_height;
    view.origin_x = origin_x;
    view.origin_y = origin_y;
    return DrawRgba(doc, &view, print_pens, layers, rgba);
}

// The page has written font files the last render missed: look again.
void plotmira_web_fonts_arrived() { plotmira_fonts_changed(); }

}  // extern "C"
