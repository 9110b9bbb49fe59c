// libpixbufloader-plotmira.so: a gdk-pixbuf loader module for Jw_cad
// drawings (.jww) and figures (.jws). It gathers the bytes the caller feeds
// it, and when the last one has come opens them as a document through the
// library and draws the sheet at the size the caller asks for.
//
// The library may be called from any thread, so the format is declared
// thread-safe.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#undef GDK_PIXBUF_ENABLE_BACKEND

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "plotmira.h"

namespace {

struct LoadContext {
    GdkPixbufModuleSizeFunc sizeFunc;
    GdkPixbufModulePreparedFunc preparedFunc;
    GdkPixbufModuleUpdatedFunc updatedFunc;
    gpointer userData;
    std::vector<unsigned char> bytes;
    bool tooLarge;
};

GdkPixbufError ErrorCodeOf(plotmira_status status)
{
    switch (status) {
    case PLOTMIRA_ERR_FORMAT: return GDK_PIXBUF_ERROR_UNKNOWN_TYPE;
    case PLOTMIRA_ERR_NO_MEMORY:
    case PLOTMIRA_ERR_TOO_LARGE: return GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY;
    case PLOTMIRA_ERR_DAMAGED: return GDK_PIXBUF_ERROR_CORRUPT_IMAGE;
    case PLOTMIRA_ERR_VERSION: return GDK_PIXBUF_ERROR_UNKNOWN_TYPE;
    default: return GDK_PIXBUF_ERROR_FAILED;
    }
}

gboolean Fail(GError **error, plotmira_status status, const plotmira_info *info = nullptr)
{
    if (status == PLOTMIRA_ERR_VERSION && info != nullptr) {
        g_set_error(error, GDK_PIXBUF_ERROR, ErrorCodeOf(status), "Jw_cad: the drawing's version %u is not supported",
                    info->version);
    } else {
        g_set_error(error, GDK_PIXBUF_ERROR, ErrorCodeOf(status), "Jw_cad: %s", plotmira_strerror(status));
    }
    return FALSE;
}

// Opens the gathered bytes, draws the sheet at the size the caller settles
// on, and hands the picture over through the prepared and updated callbacks.
gboolean Convert(LoadContext *context, GError **error)
{
    if (context->tooLarge) return Fail(error, PLOTMIRA_ERR_TOO_LARGE);
    plotmira_document *doc = nullptr;
    // The user's settings, as the plug-in takes them.
    plotmira_open_options options;
    plotmira_open_options_init(&options);
    options.settings = PLOTMIRA_SETTINGS_USER;
    plotmira_status status = plotmira_open_memory_with(context->bytes.data(), context->bytes.size(), &options, &doc);
    if (status != PLOTMIRA_OK) return Fail(error, status);
    plotmira_info info = {};
    info.struct_size = sizeof info;
    status = plotmira_describe(doc, &info);
    if (status == PLOTMIRA_OK && !info.version_drawn) status = PLOTMIRA_ERR_VERSION;
    if (status != PLOTMIRA_OK) {
        plotmira_close(doc);
        return Fail(error, status, &info);
    }

    int width = info.natural_width;
    int height = info.natural_height;
    if (context->sizeFunc != nullptr) {
        context->sizeFunc(&width, &height, context->userData);
        if (width <= 0 || height <= 0) {
            plotmira_close(doc);
            g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED,
                                "The requested size of the Jw_cad picture is empty");
            return FALSE;
        }
    }
    // The sheet is drawn at the width asked for, its height in the plug-in's
    // proportion; a height that differs by rounding is left to gdk-pixbuf's
    // scaling.
    const int drawWidth = std::min(width, PLOTMIRA_MAX_SIDE);
    const int drawHeight = std::max(1, static_cast<int>(drawWidth * PLOTMIRA_RASTER_ASPECT));
    GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, drawWidth, drawHeight);
    if (pixbuf == nullptr) {
        plotmira_close(doc);
        return Fail(error, PLOTMIRA_ERR_NO_MEMORY);
    }
    plotmira_view view;
    plotmira_view_init(&view, drawWidth, drawHeight);
    const size_t stride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, gdk_pixbuf_get_pixels(pixbuf), stride,
                                  gdk_pixbuf_get_byte_length(pixbuf)};
    status = plotmira_render(doc, &view, &image);
    plotmira_close(doc);
    if (status != PLOTMIRA_OK) {
        g_object_unref(pixbuf);
        return Fail(error, status);
    }

    if (context->preparedFunc != nullptr) context->preparedFunc(pixbuf, nullptr, context->userData);
    if (context->updatedFunc != nullptr) {
        context->updatedFunc(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf),
                             context->userData);
    }
    g_object_unref(pixbuf);
    return TRUE;
}

gpointer BeginLoad(GdkPixbufModuleSizeFunc sizeFunc, GdkPixbufModulePreparedFunc preparedFunc,
                   GdkPixbufModuleUpdatedFunc updatedFunc, gpointer userData, GError **error)
{
    auto *context = new (std::nothrow) LoadContext{sizeFunc, preparedFunc, updatedFunc, userData, {}, false};
    if (context == nullptr) Fail(error, PLOTMIRA_ERR_NO_MEMORY);
    return context;
}

gboolean LoadIncrement(gpointer data, const guchar *buffer, guint size, GError **error)
{
    auto *context = static_cast<LoadContext *>(data);
    if (context->tooLarge) return TRUE;
    // Past the module's input limit the bytes are dropped; stop says why.
    if (context->bytes.size() + size > PLOTMIRA_MAX_INPUT_BYTES) {
        context->tooLarge = true;
        context->bytes.clear();
        context->bytes.shrink_to_fit();
        return TRUE;
    }
    try {
        context->bytes.insert(context->bytes.end(), buffer, buffer + size);
    } catch (const std::bad_alloc &) {
        return Fail(error, PLOTMIRA_ERR_NO_MEMORY);
    }
    return TRUE;
}

gboolean StopLoad(gpointer data, GError **error)
{
    auto *context = static_cast<LoadContext *>(data);
    gboolean done = FALSE;
    try {
        done = Convert(context, error);
    } catch (...) {
        done = Fail(error, PLOTMIRA_ERR_INTERNAL);
    }
    delete context;
    return done;
}

}  // namespace

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule *module)
{
    module->begin_load = BeginLoad;
    module->stop_load = StopLoad;
    module->load_increment = LoadIncrement;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat *info)
{
    static GdkPixbufModulePattern signature[] = {
        {const_cast<gchar *>("JwwData."), nullptr, 100},
        {const_cast<gchar *>("JwsData."), nullptr, 100},
        {nullptr, nullptr, 0},
    };
    static const gchar *mimeTypes[] = {"application/x-jww", "application/x-jws", nullptr};
    static const gchar *extensions[] = {"jww", "jws", nullptr};
    info->name = const_cast<gchar *>("jww");
    info->signature = signature;
    info->description = const_cast<gchar *>("Jw_cad drawing and figure");
    info->mime_types = const_cast<gchar **>(mimeTypes);
    info->extensions = const_cast<gchar **>(extensions);
    info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;  // loads in several threads draw side by side
    info->license = const_cast<gchar *>("MIT");
}

}  // extern "C"
