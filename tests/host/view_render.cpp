// view_render: draws views of drawings through the library's exported
// interface, loaded at run time as a host would load it (libplotmira.so
// natively, plotmira.sph or .spi under Wine), and writes each as a 24-bit
// BMP. The same source builds for both, so the two sides of a comparison
// differ only in the GDI underneath. The web build links the library in
// (WebAssembly under Node; LIBRARY is then ignored).
//
//   view_render LIBRARY LIST
//
// Each line of LIST: INPUT OUTPUT.bmp KIND ARGS...
//   fit W H                    the sheet fitted, as the plug-in draws it
//   center W H SCALE X Y       scale pixels/mm, sheet point (X, Y) at the centre
//   zoom W H FACTOR            FACTOR times the fit scale, centred on the drawn pixel
//                              nearest the middle of the fitted sheet
//   textzoom W H FACTOR        the same, centred on the middle of the first text on the sheet
//   plugin | preview           the plug-in's GetPicture or GetPreview (ANSI name), natively
//                              from libplotmira-susie.so
// A view's line may end with hide=G or hide=G:L (hexadecimal, repeatable):
// layer group G, or layer L of it, left out.
// Prints one line per view: "OUTPUT ok" or "OUTPUT failed: WORDS".
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plotmira.h"

namespace {

#ifdef _WIN32
using Module = HMODULE;
Module Load(const char *path) { return LoadLibraryA(path); }
void *Find(Module module, const char *name) { return reinterpret_cast<void *>(GetProcAddress(module, name)); }
#elif defined(__EMSCRIPTEN__)
using Module = const char *;
Module Load(const char *path) { return path; }
void *Find(Module, const char *name)
{
    const struct {
        const char *name;
        void *call;
    } linked[] = {
        {"plotmira_open_file", reinterpret_cast<void *>(&plotmira_open_file)},
        {"plotmira_close", reinterpret_cast<void *>(&plotmira_close)},
        {"plotmira_describe", reinterpret_cast<void *>(&plotmira_describe)},
        {"plotmira_view_init", reinterpret_cast<void *>(&plotmira_view_init)},
        {"plotmira_render", reinterpret_cast<void *>(&plotmira_render)},
        {"plotmira_strerror", reinterpret_cast<void *>(&plotmira_strerror)},
        {"plotmira_row_bytes", reinterpret_cast<void *>(&plotmira_row_bytes)},
        {"plotmira_texts", reinterpret_cast<void *>(&plotmira_texts)},
    };
    for (const auto &entry : linked) {
        if (std::strcmp(entry.name, name) == 0) return entry.call;
    }
    return nullptr;  // no plug-in calls
}
#else
using Module = void *;
Module Load(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
void *Find(Module module, const char *name) { return dlsym(module, name); }
#endif

struct Api {
    decltype(&plotmira_open_file) open;
    decltype(&plotmira_close) close;
    decltype(&plotmira_describe) describe;
    decltype(&plotmira_view_init) viewInit;
    decltype(&plotmira_render) render;
    decltype(&plotmira_strerror) strerror;
    decltype(&plotmira_row_bytes) rowBytes;
    decltype(&plotmira_texts) texts;
};

// The first text whose start lies on the sheet, moved up by half its height.
struct FirstText {
    plotmira_rect sheet;
    bool found;
    double x, y;
};

int TakeFirstText(const plotmira_text *text, void *data)
{
    auto *first = static_cast<FirstText *>(data);
    const plotmira_rect &s = first->sheet;
    if (text->x < s.min_x || text->x > s.max_x || text->y < s.min_y || text->y > s.max_y) return 0;
    first->found = true;
    first->x = text->x;
    first->y = text->y + text->height / 2;
    return 1;
}

#ifdef _WIN32
#define PLUGIN_CALL __stdcall
#else
#define PLUGIN_CALL
#endif
typedef int(PLUGIN_CALL *GetPictureFn)(const char *, intptr_t, unsigned, void **, void **, void *, intptr_t);
#ifdef _WIN32
void *Lock(void *handle) { return LocalLock(static_cast<HLOCAL>(handle)); }
void Free(Module, void *handle) { LocalFree(static_cast<HLOCAL>(handle)); }
#else
void *Lock(void *handle) { return handle; }  // the native blocks are fixed
void Free(Module module, void *handle)
{
    auto localFree = reinterpret_cast<void *(*)(void *)>(Find(module, "LocalFree"));
    if (localFree != nullptr) localFree(handle);
}
#endif

void Put(std::string *out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

bool WriteBmp(const std::string &path, int32_t width, int32_t height, const uint8_t *rows, size_t stride)
{
    std::string header;
    const uint32_t image = static_cast<uint32_t>(stride * static_cast<size_t>(height));
    header += "BM";
    Put(&header, 54 + image, 4);
    Put(&header, 0, 4);
    Put(&header, 54, 4);
    Put(&header, 40, 4);
    Put(&header, static_cast<uint32_t>(width), 4);
    Put(&header, static_cast<uint32_t>(height), 4);
    Put(&header, 1, 2);
    Put(&header, 24, 2);
    for (int i = 0; i < 6; ++i) Put(&header, 0, 4);
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char *>(rows), static_cast<std::streamsize>(image));
    return static_cast<bool>(out);
}

std::string RenderView(const Api &api, const std::string &input, const std::string &output, std::istringstream &args)
{
    std::string kind;
    int32_t width = 0, height = 0;
    args >> kind >> width >> height;
    plotmira_document *doc = nullptr;
    plotmira_status status = api.open(input.c_str(), &doc);
    if (status != PLOTMIRA_OK) return api.strerror(status);
    plotmira_info info = {};
    info.struct_size = sizeof info;
    api.describe(doc, &info);
    plotmira_view view;
    api.viewInit(&view, width, height);
    if (kind == "center") {
        view.placement = PLOTMIRA_PLACE_CENTER;
        args >> view.scale >> view.x >> view.y;
    } else if (kind == "zoom" || kind == "textzoom") {
        double factor = 1;
        args >> factor;
        // The fitted sheet at its natural size, and the transform it used
        // (a drawing: the paper across the width; a figure: its extent with
        // a 5 % margin, bound by the width or the height).
        const double dx = info.sheet.max_x - info.sheet.min_x, dy = info.sheet.max_y - info.sheet.min_y;
        const int32_t w = info.natural_width, h = info.natural_height;
        double fit = w / dx;
        double cx = 0, cy = 0;
        if (info.format == PLOTMIRA_FORMAT_JWS) {
            fit = (dx * 0.707 < dy ? h / dy : fit) * 0.9;
            cx = (info.sheet.min_x + info.sheet.max_x) / 2;
            cy = (info.sheet.min_y + info.sheet.max_y) / 2;
        }
        plotmira_view whole;
        api.viewInit(&whole, w, h);
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        const plotmira_image picture = {sizeof picture, PLOTMIRA_PIXELS_RGB24, rgb.data(), 0, rgb.size()};
        view.placement = PLOTMIRA_PLACE_CENTER;
        view.scale = fit * factor;
        view.x = cx;
        view.y = cy;
        FirstText first = {info.sheet, false, 0, 0};
        if (kind == "textzoom") api.texts(doc, TakeFirstText, &first);
        if (first.found) {
            view.x = first.x;
            view.y = first.y;
        } else if (api.render(doc, &whole, &picture) == PLOTMIRA_OK) {
            // The drawn pixel nearest the middle: not the background's colour.
            const uint8_t *background = rgb.data();
            int64_t best = -1;
            for (int32_t py = 0; py < h; ++py) {
                for (int32_t px = 0; px < w; ++px) {
                    const uint8_t *p = rgb.data() + (static_cast<size_t>(py) * w + px) * 3;
                    if (std::memcmp(p, background, 3) == 0) continue;
                    const int64_t d = int64_t{px - w / 2} * (px - w / 2) + int64_t{py - h / 2} * (py - h / 2);
                    if (best >= 0 && d >= best) continue;
                    best = d;
                    view.x = cx + (px + 0.5 - w / 2) / fit;
                    view.y = cy + (h / 2 - py - 0.5) / fit;
                }
            }
        }
    }
    std::string hide;
    while (args >> hide) {
        unsigned group = 0, layer = 0;
        const int fields = std::sscanf(hide.c_str(), "hide=%x:%x", &group, &layer);
        if (fields < 1 || group >= PLOTMIRA_LAYER_GROUPS || layer >= PLOTMIRA_LAYERS_PER_GROUP) {
            api.close(doc);
            return "bad layer switch " + hide;
        }
        if (fields == 1)
            view.hide_groups |= static_cast<uint16_t>(1u << group);
        else
            view.hide_layers[group] |= static_cast<uint16_t>(1u << layer);
    }
    const size_t stride = api.rowBytes(PLOTMIRA_PIXELS_BGR24_DIB, width);
    std::vector<uint8_t> rows(stride * static_cast<size_t>(height > 0 ? height : 0));
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_BGR24_DIB, rows.data(), stride, rows.size()};
    status = api.render(doc, &view, &image);
    api.close(doc);
    if (status != PLOTMIRA_OK) return api.strerror(status);
    return WriteBmp(output, width, height, rows.data(), stride) ? "" : "cannot write the picture";
}

std::string RenderPlugin(Module module, const std::string &input, const std::string &output, bool preview)
{
    auto getPicture = reinterpret_cast<GetPictureFn>(Find(module, preview ? "GetPreview" : "GetPicture"));
    if (getPicture == nullptr) return "no GetPicture";
    void *info = nullptr, *bits = nullptr;
    const int result = getPicture(input.c_str(), 0, 0, &info, &bits, nullptr, 0);
    if (result != 0) return "GetPicture answered " + std::to_string(result);
    const auto *header = static_cast<const uint8_t *>(Lock(info));
    int32_t width = 0, height = 0;
    std::memcpy(&width, header + 4, 4);
    std::memcpy(&height, header + 8, 4);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const bool written = WriteBmp(output, width, height, static_cast<const uint8_t *>(Lock(bits)), stride);
    Free(module, info);
    Free(module, bits);
    return written ? "" : "cannot write the picture";
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: view_render LIBRARY LIST\n");
        return 2;
    }
    Module module = Load(argv[1]);
    if (module == nullptr) {
        std::fprintf(stderr, "view_render: cannot load %s\n", argv[1]);
        return 1;
    }
    Api api = {};
    api.open = reinterpret_cast<decltype(api.open)>(Find(module, "plotmira_open_file"));
    api.close = reinterpret_cast<decltype(api.close)>(Find(module, "plotmira_close"));
    api.describe = reinterpret_cast<decltype(api.describe)>(Find(module, "plotmira_describe"));
    api.viewInit = reinterpret_cast<decltype(api.viewInit)>(Find(module, "plotmira_view_init"));
    api.render = reinterpret_cast<decltype(api.render)>(Find(module, "plotmira_render"));
    api.strerror = reinterpret_cast<decltype(api.strerror)>(Find(module, "plotmira_strerror"));
    api.rowBytes = reinterpret_cast<decltype(api.rowBytes)>(Find(module, "plotmira_row_bytes"));
    api.texts = reinterpret_cast<decltype(api.texts)>(Find(module, "plotmira_texts"));
    // The library's interface for the views; a library of the plug-in's
    // exports alone (libplotmira-susie.so) draws only plugin and preview lines.
    const bool views = api.open && api.close && api.describe && api.viewInit && api.render && api.strerror &&
                       api.rowBytes && api.texts;
    std::ifstream list(argv[2]);
    std::string line;
    int failures = 0;
    while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream args(line);
        std::string input, output, kind;
        if (!(args >> input >> output)) continue;
        const std::streampos rest = args.tellg();
        args >> kind;
        std::string problem;
        if (kind == "plugin" || kind == "preview") {
            problem = RenderPlugin(module, input, output, kind == "preview");
        } else if (!views) {
            problem = "the library does not export its interface";
        } else {
            args.seekg(rest);
            problem = RenderView(api, input, output, args);
        }
        if (!problem.empty()) ++failures;
        std::printf("%s %s%s\n", output.c_str(), problem.empty() ? "ok" : "failed: ", problem.c_str());
    }
    return failures == 0 ? 0 : 1;
}
