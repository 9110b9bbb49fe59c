#include "render/scene.h"

#include "reader/document_readers.h"
#include "render/render_context.h"

namespace {

constexpr double kFigureMargin = 0.9;  // a figure fills 90 % of its bounding dimension

void SetUpDrawingView()
{
    RenderContext &rc = renderContext;
    rc.viewScale = rc.pixelsPerMm * rc.viewFactor;
    rc.viewOffsetX = rc.viewCenterX * rc.pixelsPerMm * rc.viewFactor - (rc.rasterWidth / 2);
    rc.viewOffsetY = rc.viewCenterY * rc.pixelsPerMm * rc.viewFactor + (rc.rasterHeight / 2);
}

void SetUpFigureView()
{
    RenderContext &rc = renderContext;
    rc.viewScale = rc.pixelsPerMm * kFigureMargin;
    rc.viewOffsetX = (extentMaxX + extentMinX) * rc.viewScale / 2 - (rc.rasterWidth >> 1);
    rc.viewOffsetY = (static_cast<uint32_t>(rc.rasterHeight) >> 1) +
                     (extentMaxY + extentMinY) * rc.viewScale / 2;
}

}  // namespace

// The object walks arrive with the renderer; a scene draws its background only.
void DrawDrawingScene()
{
    SetUpDrawingView();
}

void DrawFigureScene()
{
    SetUpFigureView();
}
