#include "library/views.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "pipeline/conversion_driver.h"
#include "reader/document_readers.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "settings/setting_tables.h"

namespace {

// The fields a caller's view must hold: everything up to the pens. The
// layer masks and the cancel callback may be left out (none then).
constexpr size_t kSmallestView = offsetof(plotmira_view, hide_groups);
constexpr size_t kSmallestImage = offsetof(plotmira_image, size) + sizeof(size_t);
// Origins beyond this many pixels cut nothing from any canvas a view allows.
constexpr int64_t kMaxOrigin = int64_t{1} << 40;
// Sheet points whose place on the canvas lies beyond this are refused: the
// canvas's pixel arithmetic stays exact well within it.
constexpr double kMaxCanvasOffset = 1e15;
constexpr uint32_t kShownState = 2;  // a layer drawn in its own pens
constexpr int kAllLayerBits = PLOTMIRA_LAYERS_PER_GROUP;

bool InRange(double value, double low, double high) { return std::isfinite(value) && value >= low && value <= high; }

bool ScaleUsable(double scale) { return InRange(scale, PLOTMIRA_MIN_SCALE, PLOTMIRA_MAX_SCALE); }

bool OffsetUsable(double mm, double scale) { return InRange(mm * scale, -kMaxCanvasOffset, kMaxCanvasOffset); }

int32_t CanvasWidth(const plotmira_view &view) { return view.canvas_width != 0 ? view.canvas_width : view.width; }
int32_t CanvasHeight(const plotmira_view &view) { return view.canvas_height != 0 ? view.canvas_height : view.height; }

// The region's scale and top-left corner; false for a region with no width
// or height, or one that cannot be drawn across the canvas.
bool RegionPlacement(const plotmira_view &view, double *scale, double *left, double *top)
{
    const double *r = view.region;
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(r[i])) return false;
    }
    const double width = std::fabs(r[2] - r[0]);
    if (!(width > 0) || !(std::fabs(r[3] - r[1]) > 0)) return false;
    *left = std::fmin(r[0], r[2]);
    *top = std::fmax(r[1], r[3]);
    *scale = CanvasWidth(view) / width;
    return ScaleUsable(*scale) && OffsetUsable(*left, *scale) && OffsetUsable(*top, *scale);
}

void ApplyLayerMasks(const plotmira_view &view, SceneWalk &walk)
{
    uint32_t(&layerGroupState)[kLayerGroups] = walk.layerGroupState;
    uint32_t(&layerState)[kLayerGroups][kLayersPerGroup] = walk.layerState;
    for (int g = 0; g < kLayerGroups; ++g) {
        if ((view.show_groups >> g & 1) != 0 && layerGroupState[g] < kShownState) layerGroupState[g] = kShownState;
        for (int l = 0; l < kAllLayerBits; ++l) {
            if ((view.show_layers[g] >> l & 1) != 0 && layerState[g][l] < kShownState) layerState[g][l] = kShownState;
            if ((view.hide_layers[g] >> l & 1) != 0) layerState[g][l] = 0;
        }
        if ((view.hide_groups >> g & 1) != 0) layerGroupState[g] = 0;
    }
}

}  // namespace

plotmira_status TakeView(const plotmira_view *given, plotmira_view *view)
{
    std::memset(view, 0, sizeof *view);
    return TakeSized(given, view, kSmallestView) ? PLOTMIRA_OK : PLOTMIRA_ERR_ARGUMENT;
}

plotmira_status CheckView(const plotmira_view &view, const plotmira_document &doc)
{
    if (view.width < 1 || view.height < 1 || view.width > PLOTMIRA_MAX_SIDE || view.height > PLOTMIRA_MAX_SIDE ||
        int64_t{view.width} * view.height > PLOTMIRA_MAX_PIXELS) {
        return PLOTMIRA_ERR_VIEW;
    }
    if (view.canvas_width < 0 || view.canvas_height < 0 || view.canvas_width > PLOTMIRA_MAX_CANVAS_SIDE ||
        view.canvas_height > PLOTMIRA_MAX_CANVAS_SIDE) {
        return PLOTMIRA_ERR_VIEW;
    }
    if (view.origin_x < -kMaxOrigin || view.origin_x > kMaxOrigin || view.origin_y < -kMaxOrigin ||
        view.origin_y > kMaxOrigin) {
        return PLOTMIRA_ERR_VIEW;
    }
    const int pens = RawValue(view.pens);
    if (pens != PLOTMIRA_PENS_SCREEN && pens != PLOTMIRA_PENS_PRINT) return PLOTMIRA_ERR_VIEW;
    const bool figure = doc.drawing.source.isFigure == 1;
    const DocumentSettings &s = doc.drawing.header;
    const int32_t views = figure ? 0 : (s.fileVersion >= 300 ? kRegisteredViews : 4);
    double scale = 0, left = 0, top = 0;
    switch (RawValue(view.placement)) {
    case PLOTMIRA_PLACE_FIT:
        return view.registered_view >= 0 && view.registered_view <= views ? PLOTMIRA_OK : PLOTMIRA_ERR_VIEW;
    case PLOTMIRA_PLACE_CENTER:
    case PLOTMIRA_PLACE_ANCHOR:
        return ScaleUsable(view.scale) && OffsetUsable(view.x, view.scale) && OffsetUsable(view.y, view.scale)
                   ? PLOTMIRA_OK
                   : PLOTMIRA_ERR_VIEW;
    case PLOTMIRA_PLACE_REGION: return RegionPlacement(view, &scale, &left, &top) ? PLOTMIRA_OK : PLOTMIRA_ERR_VIEW;
    default: return PLOTMIRA_ERR_VIEW;
    }
}

plotmira_status CheckImage(const plotmira_image *image, int32_t width, int32_t height, size_t *stride)
{
    if (image == nullptr || image->struct_size < kSmallestImage || image->struct_size > sizeof *image) {
        return PLOTMIRA_ERR_ARGUMENT;
    }
    const int format = RawValue(image->format);
    if (format < PLOTMIRA_PIXELS_BGR24_DIB || format > PLOTMIRA_PIXELS_BGRA32 || image->pixels == nullptr) {
        return PLOTMIRA_ERR_IMAGE;
    }
    const size_t rowBytes = plotmira_row_bytes(image->format, width);
    *stride = image->stride != 0 ? image->stride : rowBytes;
    if (*stride < rowBytes) return PLOTMIRA_ERR_IMAGE;
    const uint64_t rows = static_cast<uint64_t>(height);
    if (*stride > UINT64_MAX / rows || *stride * rows > image->size) return PLOTMIRA_ERR_IMAGE;
    return PLOTMIRA_OK;
}

void PlaceView(const plotmira_view &view, const plotmira_document &doc, SceneWalk &walk)
{
    RenderContext &rc = walk.renderContext;
    const int32_t canvasWidth = CanvasWidth(view), canvasHeight = CanvasHeight(view);
    rc.viewIndex = 0;
    rc.viewCenterX = rc.viewCenterY = 0.0;
    rc.viewFactor = 1.0;
    if (view.placement == PLOTMIRA_PLACE_FIT && view.registered_view > 0) walk.UseRegisteredView(view.registered_view);
    if (view.pens == PLOTMIRA_PENS_PRINT) {
        UsePrintPens(walk.tables, walk.usePrintColors);
        // Solids turn black with the printer's black pens when a print view
        // is in use, as in the plug-in's print mode.
        rc.viewIndex =
            view.registered_view > 0 && view.placement == PLOTMIRA_PLACE_FIT ? view.registered_view : doc.printView;
    } else {
        rc.viewIndex = 0;
    }
    ApplyLayerMasks(view, walk);

    double scale = view.scale, left = view.x, top = view.y;
    switch (view.placement) {
    case PLOTMIRA_PLACE_FIT:
        walk.FitToRaster(static_cast<uint32_t>(canvasWidth), canvasHeight);
        walk.SetUpView();
        break;
    case PLOTMIRA_PLACE_CENTER:
        // As the drawing view setup, with the scale given.
        rc.pixelsPerMm = scale;
        rc.viewScale = scale;
        rc.viewOffsetX = view.x * scale - static_cast<uint32_t>(canvasWidth) / 2;
        rc.viewOffsetY = view.y * scale + canvasHeight / 2;
        break;
    case PLOTMIRA_PLACE_REGION: RegionPlacement(view, &scale, &left, &top); [[fallthrough]];
    case PLOTMIRA_PLACE_ANCHOR:
        rc.pixelsPerMm = scale;
        rc.viewScale = scale;
        rc.viewOffsetX = left * scale;
        rc.viewOffsetY = top * scale;
        break;
    default: break;  // refused by CheckView
    }
    rc.rasterWidth = static_cast<uint32_t>(view.width);
    rc.rasterHeight = view.height;
    rc.originX = view.origin_x;
    rc.originY = view.origin_y;
    rc.cancel = view.cancel;
    rc.cancelData = view.cancel_data;
    rc.cancelled = false;
    rc.cancelTicks = 0;
}

namespace {

// Blue, green, red and a spare byte, as the surface keeps a pixel, made red,
// green, blue.
inline uint32_t SwapRedBlue(uint32_t p) { return (p & 0x00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16); }

// Eight 32-bit pixels into 24 bytes of three a pixel: three 64-bit words
// stored whole (byte-wise stores, or words assembled in memory, run several
// times slower).
inline void PackEight(const uint32_t *source, bool swap, uint8_t *to)
{
    uint64_t p[8];
    for (int i = 0; i < 8; ++i) p[i] = (swap ? SwapRedBlue(source[i]) : source[i]) & 0xFFFFFFu;
    const uint64_t first = p[0] | p[1] << 24 | p[2] << 48;
    const uint64_t second = p[2] >> 16 | p[3] << 8 | p[4] << 32 | p[5] << 56;
    const uint64_t third = p[5] >> 8 | p[6] << 16 | p[7] << 40;
    std::memcpy(to, &first, sizeof first);
    std::memcpy(to + 8, &second, sizeof second);
    std::memcpy(to + 16, &third, sizeof third);
}

void CopyRow(const uint32_t *from, uint8_t *to, int32_t width, plotmira_pixel_format format)
{
    const bool swap = format == PLOTMIRA_PIXELS_RGB24 || format == PLOTMIRA_PIXELS_RGBA32;
    if (format == PLOTMIRA_PIXELS_RGBA32 || format == PLOTMIRA_PIXELS_BGRA32) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t p = (swap ? SwapRedBlue(from[x]) : from[x]) | 0xFF000000u;  // opaque
            std::memcpy(to + 4 * static_cast<size_t>(x), &p, 4);
        }
        return;
    }
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) PackEight(from + x, swap, to + 3 * static_cast<size_t>(x));
    for (; x < width; ++x) {
        const uint32_t p = swap ? SwapRedBlue(from[x]) : from[x];
        uint8_t *pixel = to + 3 * static_cast<size_t>(x);
        pixel[0] = static_cast<uint8_t>(p);
        pixel[1] = static_cast<uint8_t>(p >> 8);
        pixel[2] = static_cast<uint8_t>(p >> 16);
    }
}

}  // namespace

void CopySurfacePixels(const void *surface, int32_t width, int32_t height, const plotmira_image &image, size_t stride)
{
    const auto *rows = static_cast<const uint32_t *>(surface);
    auto *out = static_cast<uint8_t *>(image.pixels);
    const bool bottomUp = image.format == PLOTMIRA_PIXELS_BGR24_DIB;
    // The surface is read in the order of its memory (its bottom row first),
    // which the processor's prefetching follows best.
    for (int32_t row = 0; row < height; ++row) {
        const uint32_t *from = rows + static_cast<size_t>(row) * static_cast<size_t>(width);
        uint8_t *to = out + static_cast<size_t>(bottomUp ? row : height - 1 - row) * stride;
        CopyRow(from, to, width, image.format);
    }
}
