#include <cmath>
#include <cstdio>
#include <cstring>

#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "render/blocks.h"
#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/solids.h"
#include "render/scene_walk.h"
#include "render/text.h"

namespace {

// Figures carry no "solids first" flag of their own: they are drawn with
// solids among the other objects, whatever the last drawing said.
constexpr uint32_t kFigureSolidsFirst = 0;

constexpr size_t kVersionMessageBytes = 80;

bool Finite(double a, double b, double c, double d)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

}  // namespace

void SceneWalk::DrawLineRecord(const LineRecord &line, uint16_t pen)
{
    if (!Finite(line.x1, line.y1, line.x2, line.y2)) return;
    SceneOutput().Line(line.x1, line.y1, line.x2, line.y2, pen, line.header.penStyle);
}

void SceneWalk::DrawPointRecord(const PointRecord &point, uint16_t pen)
{
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return;
    SceneOutput().Point(point.x, point.y, pen);
}

uint16_t SceneWalk::PenOf(const EntityHeader &header) const
{
    return EffectivePen(header.layerGroup, header.layer, header.penColor);
}

void SceneWalk::DrawTextRecord(const TextRecord &text, uint16_t pen, uint16_t role)
{
    SceneOutput().Text(TextEntity{text.x1, text.y1, text.x2, text.y2, text.fontName, text.charWidth / 2,
                                  text.charHeight, text.charSpacing / 2, text.text, pen, text.header.flags,
                                  text.header.layerGroup, text.header.layer, role});
}

// A dimension is drawn whole in the pass of its line; its label, auxiliary
// lines and points take the label's pen.
void SceneWalk::DrawDimension(const DimensionRecord &dimension)
{
    const uint16_t pen = PenOf(dimension.line.header);
    if (!IsInPass(pen)) return;
    DrawLineRecord(dimension.line, pen);
    const uint16_t labelPen = PenOf(dimension.label.header);
    DrawTextRecord(dimension.label, labelPen, kTextDimension);
    if (dimension.auxDrawMode != 0) {
        DrawLineRecord(dimension.auxLine1, labelPen);
        DrawLineRecord(dimension.auxLine2, labelPen);
        DrawPointRecord(dimension.auxPoint1, labelPen);
        DrawPointRecord(dimension.auxPoint2, labelPen);
    }
}

void SceneWalk::DrawTopLevelEntities()
{
    SceneDevice &device = SceneOutput();
    for (uint32_t i = 1; i < firstBlockLine && i <= lineCount && !RenderStopped(); ++i) {
        const uint16_t pen = PenOf(lines[i].header);
        objectGroup = lines[i].header.layerGroup;
        if (IsInPass(pen)) DrawLineRecord(lines[i], pen);
    }
    for (uint32_t i = 1; i < firstBlockArc && i <= arcCount && !RenderStopped(); ++i) {
        const ArcRecord &arc = arcs[i];
        const uint16_t pen = PenOf(arc.header);
        if (!IsInPass(pen)) continue;
        objectGroup = arc.header.layerGroup;
        device.Arc(arc.cx, arc.cy, arc.startAngle, arc.sweepAngle, arc.radius, arc.tiltAngle, arc.flatness, pen,
                   arc.header.penStyle);
    }
    for (uint32_t i = 1; i < firstBlockPoint && i <= pointCount && !RenderStopped(); ++i) {
        const uint16_t pen = PenOf(points[i].header);
        objectGroup = points[i].header.layerGroup;
        if (IsInPass(pen)) DrawPointRecord(points[i], pen);
    }
    if (sceneSolidsFirst == 0) DrawSolids();
    for (uint32_t i = 1; i < firstBlockText && i <= textCount && !RenderStopped(); ++i) {
        const uint16_t pen = PenOf(texts[i].header);
        objectGroup = texts[i].header.layerGroup;
        if (IsInPass(pen)) DrawTextRecord(texts[i], pen, 0);
    }
    for (uint32_t i = 1; i < firstBlockDimension && i <= dimensionCount && !RenderStopped(); ++i) {
        objectGroup = dimensions[i].line.header.layerGroup;
        DrawDimension(dimensions[i]);
    }
}

// A drawing of a version the module does not read shows one line that says so.
void SceneWalk::DrawVersionLine()
{
    char message[kVersionMessageBytes] = {};
    std::snprintf(message, sizeof message, "JW_DATA_VERSION = %u", fileVersion);
    SceneOutput().VersionLine(message);
}

void SceneWalk::DrawDrawingScene()
{
    RenderContext &rc = renderContext;
    if (!IsReadableDrawingVersion(fileVersion)) {
        DrawVersionLine();
        return;
    }
    sceneSolidsFirst = drawSolidsFirst;
    CreatePenTable();
    PrepareBlockReferences();
    ResetTextBudget();
    ResetWalkBudget();
    ResetSolidBudget();
    rc.drawPass = 0;
    if (sceneSolidsFirst >= 1) DrawSolids();
    rc.drawPass = 1;
    if (sceneSolidsFirst >= 1) DrawSolids();
    rc.drawPass = 0;
    if (sceneSolidsFirst >= 1) DrawBlockSolids();
    rc.drawPass = 1;
    if (sceneSolidsFirst >= 1) DrawBlockSolids();
    rc.drawPass = 0;
    DrawTopLevelEntities();
    rc.drawPass = 1;
    DrawTopLevelEntities();
    rc.drawPass = 0;
    DrawBlockMembers(sceneSolidsFirst);
    rc.drawPass = 1;
    DrawBlockMembers(sceneSolidsFirst);
    ReleaseBlockReferences();
    DeletePenTable();
}

void SceneWalk::DrawFigureScene()
{
    RenderContext &rc = renderContext;
    sceneSolidsFirst = kFigureSolidsFirst;
    CreatePenTable();
    PrepareBlockReferences();
    ResetTextBudget();
    ResetWalkBudget();
    ResetSolidBudget();
    rc.drawPass = 1;
    if (sceneSolidsFirst >= 1) DrawSolids();
    if (sceneSolidsFirst >= 1) DrawBlockSolids();
    DrawTopLevelEntities();
    DrawBlockMembers(sceneSolidsFirst);
    ReleaseBlockReferences();
    if (std::isfinite(figureRefX) && std::isfinite(figureRefY)) SceneOutput().ReferenceMark(figureRefX, figureRefY);
    DeletePenTable();
}

void SceneWalk::DrawScene()
{
    if (isFigureFile == 1) {
        DrawFigureScene();
    } else {
        DrawDrawingScene();
    }
}
