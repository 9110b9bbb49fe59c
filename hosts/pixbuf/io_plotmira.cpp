// libpixbufloader-plotmira.so: a gdk-pixbuf loader module for Jw_cad
// drawings (.jww) and figures (.jws). It gathers the bytes the caller feeds
// it, and when the last one has come converts them as a drawing handed over
// in memory, through the module's exports, at the size the caller asks for.
//
// The module keeps process-wide state, so the format is not declared
// thread-safe: gdk-pixbuf then serialises every call into this loader.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#undef GDK_PIXBUF_ENABLE_BACKEND

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "host/module_api.h"
#include "host/plugin_api.h"

namespace {

constexpr UINT kMemoryInput = 1;  // flag & 7 != 0: the source is a memory image

struct LoadContext {
    GdkPixbufModuleSizeFunc sizeFunc;
    GdkPixbufModulePreparedFunc preparedFunc;
    GdkPixbufModuleUpdatedFunc updatedFunc;
    gpointer userData;
    std::vector<unsigned char> bytes;
    bool tooLarge;
};

const char *ReasonText(int code)
{
    switch (code) {
    case kResultUnknownFormat: return "Not a Jw_cad drawing (.jww) or figure (.jws)";
    case kResultBrokenData: return "The Jw_cad file is damaged";
    case kResultNoMemory: return "Not enough memory for the picture of the Jw_cad file";
    case kResultReadError: return "The Jw_cad file could not be read";
    default: return "The Jw_cad file could not be converted";
    }
}

GdkPixbufError ErrorCodeOf(int code)
{
    switch (code) {
    case kResultUnknownFormat: return GDK_PIXBUF_ERROR_UNKNOWN_TYPE;
    case kResultNoMemory: return GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY;
    case kResultBrokenData: return GDK_PIXBUF_ERROR_CORRUPT_IMAGE;
    default: return GDK_PIXBUF_ERROR_FAILED;
    }
}

gboolean Fail(GError **error, int code)
{
    g_set_error_literal(error, GDK_PIXBUF_ERROR, ErrorCodeOf(code), ReasonText(code));
    return FALSE;
}

// Bottom-up BGR rows, padded to 4 bytes, into the pixbuf's top-down RGB rows.
void CopyDib(const BITMAPINFOHEADER &header, const uint8_t *bits, GdkPixbuf *pixbuf)
{
    const int width = header.biWidth;
    const int height = header.biHeight;
    const size_t dibStride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar *pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < height; ++y) {
        const uint8_t *from = bits + static_cast<size_t>(height - 1 - y) * dibStride;
        guchar *to = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            to[3 * x] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x];
        }
    }
}

// Converts the gathered bytes at the width the caller settles on, and hands
// the picture over through the prepared and updated callbacks.
gboolean Convert(LoadContext *context, GError **error)
{
    if (context->tooLarge) {
        g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
                            "The Jw_cad file is too large (the limit is 256 MiB)");
        return FALSE;
    }
    const void *image = context->bytes.data();
    const auto length = static_cast<LONG_PTR>(context->bytes.size());
    PictureInfo info = {};
    int result = GetPictureInfo(static_cast<LPCSTR>(image), length, kMemoryInput, &info);
    if (result != kResultSuccess) return Fail(error, result);

    int width = info.width;
    int height = info.height;
    if (context->sizeFunc != nullptr) {
        context->sizeFunc(&width, &height, context->userData);
        if (width <= 0 || height <= 0) {
            g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED,
                                "The requested size of the Jw_cad picture is empty");
            return FALSE;
        }
    }
    // The picture is drawn at the width asked for; a height that differs by
    // rounding is left to gdk-pixbuf's scaling.
    int32_t drawWidth = width != info.width ? width : 0;
    if (drawWidth != 0 && drawWidth < kMinRequestedWidth) drawWidth = kMinRequestedWidth;
    if (drawWidth > kMaxRequestedWidth) drawWidth = kMaxRequestedWidth;
    SetRasterWidth(drawWidth);
    HLOCAL infoHandle = nullptr;
    HLOCAL bitsHandle = nullptr;
    result = GetPicture(static_cast<LPCSTR>(image), length, kMemoryInput, &infoHandle, &bitsHandle, nullptr, 0);
    SetRasterWidth(0);
    if (result == kResultMemoryError) {
        // The plug-in interface says only "could not convert"; the reader
        // tells whether the bytes are a damaged drawing.
        DrawingDescription description = {};
        if (DescribeDrawing(image, length, &description) == kResultBrokenData) result = kResultBrokenData;
    }
    if (result != kResultSuccess) return Fail(error, result);

    const auto *header = static_cast<const BITMAPINFOHEADER *>(LocalLock(infoHandle));
    const auto *bits = static_cast<const uint8_t *>(LocalLock(bitsHandle));
    GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, header->biWidth, header->biHeight);
    if (pixbuf != nullptr) CopyDib(*header, bits, pixbuf);
    LocalUnlock(infoHandle);
    LocalUnlock(bitsHandle);
    LocalFree(infoHandle);
    LocalFree(bitsHandle);
    if (pixbuf == nullptr) return Fail(error, kResultNoMemory);

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
    if (context == nullptr) Fail(error, kResultNoMemory);
    return context;
}

gboolean LoadIncrement(gpointer data, const guchar *buffer, guint size, GError **error)
{
    auto *context = static_cast<LoadContext *>(data);
    if (context->tooLarge) return TRUE;
    // Past the module's input limit the bytes are dropped; stop says why.
    if (context->bytes.size() + size > kMaxInputBytes) {
        context->tooLarge = true;
        context->bytes.clear();
        context->bytes.shrink_to_fit();
        return TRUE;
    }
    try {
        context->bytes.insert(context->bytes.end(), buffer, buffer + size);
    } catch (const std::bad_alloc &) {
        return Fail(error, kResultNoMemory);
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
        done = Fail(error, kResultInternalError);
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
    info->flags = 0;  // not GDK_PIXBUF_FORMAT_THREADSAFE: the module's state is per process
    info->license = const_cast<gchar *>("MIT");
}

}  // extern "C"
