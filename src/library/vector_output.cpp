#include "library/vector_output.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "library/views.h"
#include "plotmira_version.h"
#include "reader/document_readers.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "render/vector_device.h"

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// Pages stay within these sides: twice the largest paper the CAD program
// has, and a millimetre. A figure of a damaged file may claim an extent of
// light-years; its page is then drawn smaller than 1:1 (or larger), so that
// cairo's coordinates and curve steps stay in their range.
constexpr double kMaxPageMm = 200000;
constexpr double kMinPageMm = 1;

struct SurfaceDeleter {
    void operator()(cairo_surface_t *surface) const
    {
        cairo_surface_finish(surface);
        cairo_surface_destroy(surface);
    }
};
struct ContextDeleter {
    void operator()(cairo_t *cr) const { cairo_destroy(cr); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

struct Writer {
    plotmira_write_callback write;
    void *data;
    bool failed;
};

cairo_status_t WriteBytes(void *closure, const unsigned char *bytes, unsigned int length)
{
    auto *writer = static_cast<Writer *>(closure);
    if (writer->failed || writer->write(writer->data, bytes, length) != 0) {
        writer->failed = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

// The raster view a page draws: the document's natural width, the whole
// sheet fitted or the region across it, the pens and layers asked for.
plotmira_status PageView(const plotmira_document &doc, const plotmira_vector_options &options, plotmira_view *view)
{
    const int32_t width = doc.naturalWidth;
    plotmira_view_init(view, width, doc.naturalHeight);
    view->pens = options.pens;
    view->hide_groups = options.hide_groups;
    view->show_groups = options.show_groups;
    std::memcpy(view->hide_layers, options.hide_layers, sizeof view->hide_layers);
    std::memcpy(view->show_layers, options.show_layers, sizeof view->show_layers);
    view->cancel = options.cancel;
    view->cancel_data = options.cancel_data;
    if (options.use_region != 0) {
        const double w = std::fabs(options.region[2] - options.region[0]);
        const double h = std::fabs(options.region[3] - options.region[1]);
        const double rows = std::round(h * width / w);
        if (!(rows >= 1 && rows <= PLOTMIRA_MAX_SIDE)) return PLOTMIRA_ERR_VIEW;
        view->placement = PLOTMIRA_PLACE_REGION;
        std::memcpy(view->region, options.region, sizeof view->region);
        view->height = static_cast<int32_t>(rows);
    }
    return CheckView(*view, doc);
}

plotmira_status StatusOf(cairo_status_t status, const Writer &writer)
{
    if (writer.failed || status == CAIRO_STATUS_WRITE_ERROR) return PLOTMIRA_ERR_WRITE;
    if (status == CAIRO_STATUS_NO_MEMORY) return PLOTMIRA_ERR_NO_MEMORY;
    return status == CAIRO_STATUS_SUCCESS ? PLOTMIRA_OK : PLOTMIRA_ERR_RENDER;
}

}  // namespace

plotmira_status WriteVectorPages(plotmira_document *const *docs, size_t count, plotmira_vector_format format,
                                 const plotmira_vector_options &options, plotmira_write_callback write, void *user_data)
{
    plotmira_view view;
    for (size_t i = 0; i < count; ++i) {
        if (!docs[i]->versionDrawn) return PLOTMIRA_ERR_VERSION;
        const plotmira_status status = PageView(*docs[i], options, &view);
        if (status != PLOTMIRA_OK) return status;
    }
    Writer writer = {write, user_data, false};
    const bool pdf = format == PLOTMIRA_VECTOR_PDF;
    // PDF pages in points; an SVG picture in millimetres (its width and
    // height say "mm").
    const double unitsPerMm = pdf ? kPointsPerMm : 1.0;
    Surface surface;
    plotmira_status result = PLOTMIRA_OK;
    for (size_t i = 0; i < count && result == PLOTMIRA_OK; ++i) {
        const plotmira_document &doc = *docs[i];
        PageView(doc, options, &view);
        SceneWalk walk(doc.drawing);
        PlaceView(view, doc, walk);
        const RenderContext &rc = walk.renderContext;
        const COLORREF background = walk.penColorTable[0];
        // The canvas's pixels in millimetres, and the page.
        double mmPerPixel = 1.0 / rc.viewScale;
        const bool wholePaper = walk.isFigureFile != 1 && options.use_region == 0;
        double pageWidth = wholePaper ? PaperWidthMm(walk.paperSize) : view.width * mmPerPixel;
        double pageHeight = wholePaper ? PaperHeightMm(walk.paperSize) : view.height * mmPerPixel;
        if (!std::isfinite(pageWidth) || !std::isfinite(pageHeight) || pageWidth <= 0 || pageHeight <= 0) {
            result = PLOTMIRA_ERR_VIEW;
            break;
        }
        const double fit = std::max(pageWidth, pageHeight) > kMaxPageMm   ? kMaxPageMm / std::max(pageWidth, pageHeight)
                           : std::min(pageWidth, pageHeight) < kMinPageMm ? kMinPageMm / std::min(pageWidth, pageHeight)
                                                                          : 1.0;
        pageWidth = std::clamp(pageWidth * fit, kMinPageMm, kMaxPageMm);
        pageHeight = std::clamp(pageHeight * fit, kMinPageMm, kMaxPageMm);
        mmPerPixel *= fit;
        if (!surface) {
            surface.reset(pdf ? cairo_pdf_surface_create_for_stream(WriteBytes, &writer, pageWidth * unitsPerMm,
                                                                    pageHeight * unitsPerMm)
                              : cairo_svg_surface_create_for_stream(WriteBytes, &writer, pageWidth, pageHeight));
            if (pdf) {
                cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Plotmira " PLOTMIRA_VERSION);
            } else {
                cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_MM);
            }
        } else {
            cairo_pdf_surface_set_size(surface.get(), pageWidth * unitsPerMm, pageHeight * unitsPerMm);
        }
        const Context context(cairo_create(surface.get()));
        cairo_t *cr = context.get();
        const double unitsPerPixel = mmPerPixel * unitsPerMm;
        cairo_scale(cr, unitsPerPixel, unitsPerPixel);
        // The sheet's background, as the raster's.
        cairo_set_source_rgb(cr, GetRValue(background) / 255.0, GetGValue(background) / 255.0,
                             GetBValue(background) / 255.0);
        cairo_rectangle(cr, 0, 0, pageWidth / mmPerPixel, pageHeight / mmPerPixel);
        cairo_fill(cr);
        {
            VectorDevice device(walk, cr, unitsPerPixel);
            walk.renderContext.device = &device;
            walk.DrawScene();
            walk.renderContext.device = nullptr;
        }
        if (rc.cancelled) result = PLOTMIRA_ERR_CANCELLED;
        cairo_show_page(cr);
        if (result == PLOTMIRA_OK) result = StatusOf(cairo_status(cr), writer);
    }
    if (surface) {
        cairo_surface_finish(surface.get());
        if (result == PLOTMIRA_OK) result = StatusOf(cairo_surface_status(surface.get()), writer);
    }
    return result;
}
