// The library's C interface (include/plotmira.h): documents opened from
// bytes or a path, their descriptions and texts, views drawn into the
// caller's buffer, and the module's settings for settings editors. No call
// takes a lock of the library's: each reads its document and draws with a
// walk of its own (the platform's shared tables guard themselves).
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "library/documents.h"
#include "library/dxf_output.h"
#include "library/measure.h"
#include "pipeline/surface.h"
#include "library/vector_output.h"
#include "library/views.h"
#include "plotmira.h"
#include "plotmira_version.h"
#ifndef _WIN32
#include "platform/portable/font_lookup.h"
#endif
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "settings/paths.h"
#include "settings/plugin_settings.h"

static_assert(PLOTMIRA_RASTER_ASPECT == kRasterAspect, "the header's picture proportion is the plug-in's");

namespace {

constexpr uint64_t kReadPiece = 1 << 20;

// The words hosts print, as the converter always has.
const char kStatusWords[][56] = {
    "success",
    "a required argument is missing",
    "the file cannot be opened or read",
    "not a Jw_cad drawing (.jww) or figure (.jws)",
    "the file is damaged",
    "the file is too large (the limit is 256 MiB)",
    "not enough memory for the picture",
    "the drawing's version is not supported",
    "the view is out of range",
    "the image buffer is missing or too small",
    "cancelled",
    "the drawing could not be converted",
    "a setting is out of range",
    "the settings could not be written",
    "internal error",
    "the output could not be written",
    "this build does not write PDF or SVG",
    "the library was called from one of its own callbacks",
};

// Runs a call's body, turning what may escape it into statuses.
template <typename Body>
plotmira_status Guarded(Body body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return PLOTMIRA_ERR_NO_MEMORY;
    } catch (...) {
        return PLOTMIRA_ERR_INTERNAL;
    }
}

// The whole file, at most one byte past the input limit (so that a device
// without end is refused rather than read for ever).
plotmira_status ReadWholeFile(const std::string &path, std::vector<unsigned char> *bytes)
{
    HANDLE file = OpenPathForReading(path, FILE_SHARE_READ);
    if (file == INVALID_HANDLE_VALUE) return PLOTMIRA_ERR_OPEN;
    // A file that says it is too large is refused unread; devices and pipes
    // say nothing and are read up to the limit.
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const uint64_t said = low != INVALID_FILE_SIZE ? (uint64_t{high} << 32) | low : 0;
    if (said > kMaxInputBytes) {
        CloseHandle(file);
        return PLOTMIRA_ERR_TOO_LARGE;
    }
    // A file is read into a buffer of the size it says it has (in reads of
    // at most 16 MiB, which every file system takes), and a small piece more
    // to see its end: a buffer of a whole read piece, zeroed and faulted in,
    // costs a small drawing more than reading and drawing it.
    constexpr size_t kEndPiece = 4096;
    constexpr size_t kLargestRead = size_t{16} << 20;
    const size_t known = static_cast<size_t>(said);
    bytes->reserve(known + 1 + kEndPiece);
    const auto wanted = [&](size_t used) {
        return used < known ? std::min(known + 1 - used, kLargestRead) : kEndPiece;
    };
    size_t want = said > 0 ? wanted(0) : static_cast<size_t>(kReadPiece);
    plotmira_status status = PLOTMIRA_OK;
    for (;;) {
        const size_t used = bytes->size();
        if (used > kMaxInputBytes) {
            status = PLOTMIRA_ERR_TOO_LARGE;
            break;
        }
        bytes->resize(used + want);
        DWORD got = 0;
        if (!ReadFile(file, bytes->data() + used, static_cast<DWORD>(want), &got, nullptr)) {
            status = PLOTMIRA_ERR_OPEN;
            break;
        }
        bytes->resize(used + got);
        if (got == 0) break;
        // Past the size the file said (or without one, after a short read)
        // what follows comes in small pieces, most likely none.
        want = said > 0 ? wanted(bytes->size()) : got < want ? kEndPiece : static_cast<size_t>(kReadPiece);
    }
    CloseHandle(file);
    return status;
}

struct SurfaceCopy {
    const plotmira_image *image;
    size_t stride;
};

plotmira_status StatusOfDriver(int code)
{
    if (code == kDriverOk) return PLOTMIRA_OK;
    if (code == kDriverSurfaceFailed + 3) return PLOTMIRA_ERR_NO_MEMORY;  // no DIB section: no memory for it
    return PLOTMIRA_ERR_RENDER;
}

// The fields a caller's settings must hold: everything up to the reference
// file's buffer. A reference file name longer than this is refused.
constexpr size_t kSmallestSettings = offsetof(plotmira_settings, location);
constexpr size_t kMaxReferenceFileBytes = 32768;

// Copies a text with its NUL into the caller's buffer when it fits; its
// length always. False when a buffer was given and it does not fit.
bool PutSettingText(char *to, size_t room, const std::string &text, size_t *length)
{
    *length = text.size();
    if (to == nullptr) return true;
    if (room <= text.size()) return false;
    std::memcpy(to, text.c_str(), text.size() + 1);
    return true;
}

// PDF pages or an SVG picture of the documents, the options grown to this
// library's size; native builds only.
plotmira_status VectorCall(plotmira_document *const *docs, size_t count, plotmira_vector_format format,
                           const plotmira_vector_options *options, plotmira_write_callback write, void *user_data)
{
    if (docs == nullptr || count == 0 || write == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    if (format != PLOTMIRA_VECTOR_PDF && format != PLOTMIRA_VECTOR_SVG) return PLOTMIRA_ERR_ARGUMENT;
    if (format == PLOTMIRA_VECTOR_SVG && count != 1) return PLOTMIRA_ERR_ARGUMENT;
    plotmira_vector_options taken;
    plotmira_vector_options_init(&taken);
    if (options != nullptr && !TakeSized(options, &taken, sizeof options->struct_size)) return PLOTMIRA_ERR_ARGUMENT;
    for (size_t i = 0; i < count; ++i) {
        if (docs[i] == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    }
#ifdef PLOTMIRA_VECTOR_OUTPUT
    return Guarded([&] { return WriteVectorPages(docs, count, format, taken, write, user_data); });
#else
    (void)user_data;
    return PLOTMIRA_ERR_UNSUPPORTED;
#endif
}

// A caller's options over the defaults: a caller built against an older
// header hands a smaller struct, and what it lacks keeps its default; a
// larger one, or a source or width the library does not know, is refused.
bool TakeOpenOptions(const plotmira_open_options *given, plotmira_open_options *taken)
{
    plotmira_open_options_init(taken);
    if (given == nullptr) return true;
    if (!TakeSized(given, taken, sizeof given->struct_size)) return false;
    const int settings = RawValue(taken->settings);
    const bool fileNamed =
        settings == PLOTMIRA_SETTINGS_FILE &&
        offsetof(plotmira_open_options, settings_file) + sizeof(const char *) <= given->struct_size &&
        taken->settings_file != nullptr;
    return (settings == PLOTMIRA_SETTINGS_BUILT_IN || settings == PLOTMIRA_SETTINGS_USER || fileNamed) &&
           taken->desktop_width >= 0 && taken->desktop_width <= PLOTMIRA_MAX_SIDE;
}

}  // namespace

extern "C" {

PLOTMIRA_API const char *plotmira_strerror(plotmira_status status)
{
    const size_t index = static_cast<size_t>(status);
    return index < sizeof kStatusWords / sizeof kStatusWords[0] ? kStatusWords[index] : "unknown status";
}

PLOTMIRA_API const char *plotmira_version(void) { return PLOTMIRA_VERSION; }

PLOTMIRA_API plotmira_status plotmira_fonts_changed(void)
{
    return Guarded([&] {
#ifndef _WIN32
        ForgetMissingFaces();
#endif
        return PLOTMIRA_OK;
    });
}

PLOTMIRA_API void plotmira_open_options_init(plotmira_open_options *options)
{
    if (options == nullptr) return;
    *options = plotmira_open_options{};
    options->struct_size = sizeof *options;
    options->settings = PLOTMIRA_SETTINGS_BUILT_IN;
}

PLOTMIRA_API plotmira_status plotmira_open_memory_with(const void *bytes, size_t length,
                                                       const plotmira_open_options *options, plotmira_document **out)
{
    if (out == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    *out = nullptr;
    plotmira_open_options taken;
    if ((bytes == nullptr && length != 0) || !TakeOpenOptions(options, &taken)) return PLOTMIRA_ERR_ARGUMENT;
    return Guarded(
        [&] { return ReadDocument(static_cast<const unsigned char *>(bytes), length, std::string(), taken, out); });
}

PLOTMIRA_API plotmira_status plotmira_open_file_with(const char *path_utf8, const plotmira_open_options *options,
                                                     plotmira_document **out)
{
    if (out == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    *out = nullptr;
    plotmira_open_options taken;
    if (path_utf8 == nullptr || !TakeOpenOptions(options, &taken)) return PLOTMIRA_ERR_ARGUMENT;
    return Guarded([&] {
        const std::string path = path_utf8;
        std::vector<unsigned char> bytes;
        const plotmira_status read = ReadWholeFile(path, &bytes);
        if (read != PLOTMIRA_OK) return read;
        return ReadDocument(bytes.data(), bytes.size(), path, taken, out);
    });
}

PLOTMIRA_API plotmira_status plotmira_open_memory(const void *bytes, size_t length, plotmira_document **out)
{
    return plotmira_open_memory_with(bytes, length, nullptr, out);
}

PLOTMIRA_API plotmira_status plotmira_open_file(const char *path_utf8, plotmira_document **out)
{
    return plotmira_open_file_with(path_utf8, nullptr, out);
}

PLOTMIRA_API void plotmira_close(plotmira_document *doc) { delete doc; }

PLOTMIRA_API plotmira_status plotmira_describe(plotmira_document *doc, plotmira_info *info)
{
    // An older caller's smaller struct is filled only so far; a newer
    // header's larger one is refused.
    if (doc == nullptr || info == nullptr || info->struct_size < sizeof(size_t) || info->struct_size > sizeof *info) {
        return PLOTMIRA_ERR_ARGUMENT;
    }
    return Guarded([&] {
        plotmira_info full = {};
        {
            DescribeDocument(doc, &full);
        }
        const size_t size = info->struct_size;
        full.struct_size = size;
        std::memcpy(info, &full, size);
        return PLOTMIRA_OK;
    });
}

PLOTMIRA_API void plotmira_view_init(plotmira_view *view, int32_t width, int32_t height)
{
    if (view == nullptr) return;
    std::memset(view, 0, sizeof *view);
    view->struct_size = sizeof *view;
    view->placement = PLOTMIRA_PLACE_FIT;
    view->width = width;
    view->height = height;
    view->pens = PLOTMIRA_PENS_SCREEN;
}

PLOTMIRA_API size_t plotmira_row_bytes(plotmira_pixel_format format, int32_t width)
{
    const size_t pixels = width > 0 ? static_cast<size_t>(width) : 0;
    switch (format) {
    case PLOTMIRA_PIXELS_BGR24_DIB: return (pixels * 3 + 3) & ~size_t{3};
    case PLOTMIRA_PIXELS_RGB24: return pixels * 3;
    case PLOTMIRA_PIXELS_RGBA32:
    case PLOTMIRA_PIXELS_BGRA32: return pixels * 4;
    default: return 0;
    }
}

PLOTMIRA_API plotmira_status plotmira_render(plotmira_document *doc, const plotmira_view *given,
                                             const plotmira_image *image)
{
    if (doc == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    return Guarded([&] {
        plotmira_view view;
        plotmira_status status = TakeView(given, &view);
        if (status != PLOTMIRA_OK) return status;
        if ((status = CheckView(view, *doc)) != PLOTMIRA_OK) return status;
        SurfaceCopy copy = {image, 0};
        if ((status = CheckImage(image, view.width, view.height, &copy.stride)) != PLOTMIRA_OK) return status;
        if (!doc->versionDrawn) return PLOTMIRA_ERR_VERSION;

        SceneWalk walk(doc->drawing);
        PlaceView(view, *doc, walk);
        const int code = DrawOnSurface(
            walk,
            [](SceneWalk &w, void *context) {
                const auto *c = static_cast<SurfaceCopy *>(context);
                const RenderContext &rc = w.renderContext;
                if (rc.cancelled) return kDriverOk;
                GdiFlush();
                CopySurfacePixels(rc.surfacePixels, static_cast<int32_t>(rc.rasterWidth), rc.rasterHeight, *c->image,
                                  c->stride);
                return kDriverOk;
            },
            &copy);
        if (code == kDriverOk && walk.renderContext.cancelled) return PLOTMIRA_ERR_CANCELLED;
        return StatusOfDriver(code);
    });
}

PLOTMIRA_API void plotmira_vector_options_init(plotmira_vector_options *options)
{
    if (options == nullptr) return;
    std::memset(options, 0, sizeof *options);
    options->struct_size = sizeof *options;
    options->pens = PLOTMIRA_PENS_SCREEN;
}

PLOTMIRA_API plotmira_status plotmira_render_pdf_pages(plotmira_document *const *docs, size_t count,
                                                       const plotmira_vector_options *options,
                                                       plotmira_write_callback write, void *user_data)
{
    return VectorCall(docs, count, PLOTMIRA_VECTOR_PDF, options, write, user_data);
}

PLOTMIRA_API plotmira_status plotmira_render_vector(plotmira_document *doc, plotmira_vector_format format,
                                                    const plotmira_vector_options *options,
                                                    plotmira_write_callback write, void *user_data)
{
    if (doc == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    return VectorCall(&doc, 1, format, options, write, user_data);
}

PLOTMIRA_API plotmira_status plotmira_snap(plotmira_document *doc, const plotmira_view *layers, double x, double y,
                                           double radius, plotmira_snap_point *point)
{
    // An older caller's smaller struct is filled only so far; a newer
    // header's larger one is refused.
    if (doc == nullptr || point == nullptr || point->struct_size < sizeof(size_t) ||
        point->struct_size > sizeof *point) {
        return PLOTMIRA_ERR_ARGUMENT;
    }
    return Guarded([&] {
        plotmira_snap_point found;
        const plotmira_status status = SnapPoint(*doc, layers, x, y, radius, &found);
        if (status != PLOTMIRA_OK) return status;
        const size_t size = point->struct_size;
        found.struct_size = size;
        std::memcpy(point, &found, size);
        return PLOTMIRA_OK;
    });
}

PLOTMIRA_API void plotmira_dxf_options_init(plotmira_dxf_options *options)
{
    if (options == nullptr) return;
    std::memset(options, 0, sizeof *options);
    options->struct_size = sizeof *options;
    options->version = PLOTMIRA_DXF_2018;
    options->pens = PLOTMIRA_PENS_SCREEN;
}

PLOTMIRA_API plotmira_status plotmira_export_dxf(plotmira_document *doc, const plotmira_dxf_options *options,
                                                 plotmira_write_callback write, void *user_data)
{
    if (doc == nullptr || write == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    plotmira_dxf_options taken;
    plotmira_dxf_options_init(&taken);
    if (options != nullptr && !TakeSized(options, &taken, offsetof(plotmira_dxf_options, pens))) {
        return PLOTMIRA_ERR_ARGUMENT;
    }
    const int pens = RawValue(taken.pens);
    if (pens != PLOTMIRA_PENS_SCREEN && pens != PLOTMIRA_PENS_PRINT) return PLOTMIRA_ERR_ARGUMENT;
    return Guarded([&] { return WriteDxf(*doc, taken, write, user_data); });
}

PLOTMIRA_API plotmira_status plotmira_texts(plotmira_document *doc, plotmira_text_callback callback, void *user_data)
{
    if (doc == nullptr || callback == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    return Guarded([&] {
        const std::vector<DocumentText> texts = CollectTexts(*doc);
        // The callback runs once the walk is done: it may call the library.
        for (const DocumentText &t : texts) {
            const plotmira_text text = {t.utf8.c_str(),   t.x,   t.y, t.height, t.angle, int32_t{t.layerGroup},
                                        int32_t{t.layer}, t.role};
            if (callback(&text, user_data) != 0) break;
        }
        return PLOTMIRA_OK;
    });
}

PLOTMIRA_API void plotmira_settings_init(plotmira_settings *settings)
{
    if (settings == nullptr) return;
    *settings = plotmira_settings{};
    settings->struct_size = sizeof *settings;
}

PLOTMIRA_API plotmira_status plotmira_settings_read(plotmira_settings *given)
{
    if (given == nullptr || given->struct_size < kSmallestSettings || given->struct_size > sizeof *given) {
        return PLOTMIRA_ERR_ARGUMENT;
    }
    return Guarded([&] {
        plotmira_settings settings;
        plotmira_settings_init(&settings);
        TakeSized(given, &settings, kSmallestSettings);
        StoredPluginSettings stored;
        ReadStoredPluginSettings(&stored);
        settings.has_drawing_width = stored.hasDrawingWidth ? 1 : 0;
        settings.drawing_width = stored.drawingWidth;
        settings.has_figure_width = stored.hasFigureWidth ? 1 : 0;
        settings.figure_width = stored.figureWidth;
        settings.has_reference_file = stored.hasReferenceFile ? 1 : 0;
        const std::string location = SettingsLocation();
        const bool nameFitted = PutSettingText(settings.reference_file, settings.reference_file_size,
                                               stored.referenceFile, &settings.reference_file_length);
        const bool locationFitted =
            PutSettingText(settings.location, settings.location_size, location, &settings.location_length);
        const bool fitted = nameFitted && locationFitted;
        settings.default_drawing_width = DesktopWidth();
        settings.default_figure_width = DesktopWidth() / 2;
        const size_t size = given->struct_size;
        settings.struct_size = size;
        std::memcpy(static_cast<void *>(given), &settings, size);
        return fitted ? PLOTMIRA_OK : PLOTMIRA_ERR_ARGUMENT;
    });
}

PLOTMIRA_API plotmira_status plotmira_settings_parse_width(const char *text, uint32_t *width)
{
    if (text == nullptr || width == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    return Guarded([&] { return ParseSettingWidth(text, width) ? PLOTMIRA_OK : PLOTMIRA_ERR_SETTING; });
}

PLOTMIRA_API plotmira_status plotmira_settings_write(const plotmira_settings *given, int *bad_setting)
{
    if (bad_setting != nullptr) *bad_setting = 0;
    plotmira_settings taken;
    plotmira_settings_init(&taken);
    if (!TakeSized(given, &taken, kSmallestSettings)) return PLOTMIRA_ERR_ARGUMENT;
    const plotmira_settings *settings = &taken;
    return Guarded([&] {
        auto refuse = [&](int which) {
            if (bad_setting != nullptr) *bad_setting = which;
            return PLOTMIRA_ERR_SETTING;
        };
        auto widthOk = [](uint32_t w) { return w >= kMinSettingWidth && w <= kMaxSettingWidth; };
        StoredPluginSettings stored;
        stored.hasDrawingWidth = settings->has_drawing_width != 0;
        stored.drawingWidth = settings->drawing_width;
        stored.hasFigureWidth = settings->has_figure_width != 0;
        stored.figureWidth = settings->figure_width;
        stored.hasReferenceFile = settings->has_reference_file != 0;
        // The name is read only when it is to be written, and only within
        // the caller's buffer (its size, when given).
        const char *name =
            stored.hasReferenceFile && settings->reference_file != nullptr ? settings->reference_file : "";
        const size_t room = settings->reference_file_size != 0
                                ? std::min(settings->reference_file_size, kMaxReferenceFileBytes + 1)
                                : kMaxReferenceFileBytes + 1;
        const size_t length = strnlen(name, room);
        if (stored.hasDrawingWidth && !widthOk(stored.drawingWidth)) return refuse(PLOTMIRA_SETTING_DRAWING_WIDTH);
        if (stored.hasFigureWidth && !widthOk(stored.figureWidth)) return refuse(PLOTMIRA_SETTING_FIGURE_WIDTH);
        if (stored.hasReferenceFile) {
            if (length == room) return refuse(PLOTMIRA_SETTING_REFERENCE_FILE);  // no end within the buffer
            stored.referenceFile.assign(name, length);
            if (!AcceptableReferenceFile(stored.referenceFile)) return refuse(PLOTMIRA_SETTING_REFERENCE_FILE);
        }
        return WriteStoredPluginSettings(stored) ? PLOTMIRA_OK : PLOTMIRA_ERR_SETTINGS_WRITE;
    });
}

}  // extern "C"
