#include "render/blocks.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "platform/win32.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "render/line_styles.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/scene_walk.h"
#include "render/solids.h"
#include "render/text.h"

namespace {

constexpr uint16_t kReferenceProbePen = 100;  // lines, arcs, points and texts test their references with it
constexpr uint8_t kQuadLimitKind = 100;
constexpr uint8_t kScaledBand = 105;
constexpr uint8_t kWidthBand = 106;

}  // namespace

struct SceneWalk::Placement {
    double ix, iy, sx, sy, angle;
};

namespace {

void Place(const SceneWalk::Placement &p, double *x, double *y)
{
    RotatePoint(*x * p.sx + p.ix, *y * p.sy + p.iy, p.ix, p.iy, p.angle, x, y);
}

double PlaceTilt(const SceneWalk::Placement &p, double tilt)
{
    tilt += p.angle;
    if (p.sx < 0) tilt = -(2 * kCadPi + tilt);
    if (p.sy < 0) tilt = -tilt;
    return tilt;
}

uint32_t DefinitionOf(int32_t owner) { return static_cast<uint32_t>(owner); }

}  // namespace

// Walks the references that place definition `definition`, visible in this
// pass, and hands each placement to `place` with the reference's owner.
template <typename PlaceFn>
void SceneWalk::ForEachReference(uint32_t definition, bool solids, PlaceFn place)
{
    const auto found = referencesByDefinition.find(definition);
    if (found == referencesByDefinition.end()) return;
    for (int i = 0; i < chainLength; ++i) {
        if (chain[i] == definition) return;  // a cycle: the definition places itself
    }
    if (chainLength >= kMaxBlockDepth) return;
    chain[chainLength++] = definition;
    for (const uint32_t r : found->second) {
        if (placementsLeft == 0) break;
        const BlockRefRecord &ref = blockRefs[r];
        const uint16_t pen =
            EffectivePen(ref.header.layerGroup, ref.header.layer, solids ? ref.header.penColor : kReferenceProbePen);
        if (!IsInPass(pen)) continue;
        --placementsLeft;
        Placement p;
        ReadBlockRef(r, &p.ix, &p.iy, &p.angle, &p.sx, &p.sy);
        if (ref.owner == kTopLevelOwner) objectGroup = ref.header.layerGroup;
        place(p, ref.owner);
    }
    --chainLength;
}

void SceneWalk::PlaceBlockLine(uint32_t definition, double x1, double y1, double x2, double y2)
{
    ForEachReference(definition, false, [&](const Placement &p, int32_t owner) {
        double a = x1, b = y1, c = x2, d = y2;
        Place(p, &a, &b);
        Place(p, &c, &d);
        if (owner != kTopLevelOwner) {
            PlaceBlockLine(static_cast<uint32_t>(owner), a, b, c, d);
            return;
        }
        if (!std::isfinite(a + b + c + d)) return;
        SceneOutput().Line(a, b, c, d, memberStyle.memberPen, memberStyle.memberLineType);
    });
}

void SceneWalk::PlaceBlockArc(uint32_t definition, double cx, double cy, double start, double sweep, double radius,
                              double tilt, double flatness)
{
    ForEachReference(definition, false, [&](const Placement &p, int32_t owner) {
        double x = cx, y = cy;
        Place(p, &x, &y);
        const double r = radius * p.sx;
        const double f = flatness * p.sy / p.sx;
        const double t = PlaceTilt(p, tilt);
        if (owner != kTopLevelOwner) {
            PlaceBlockArc(static_cast<uint32_t>(owner), x, y, start, sweep, r, t, f);
            return;
        }
        SceneOutput().Arc(x, y, start, sweep, r, t, f, memberStyle.memberPen, memberStyle.memberLineType);
    });
}

void SceneWalk::PlaceBlockPoint(uint32_t definition, double px, double py)
{
    ForEachReference(definition, false, [&](const Placement &p, int32_t owner) {
        double x = px, y = py;
        Place(p, &x, &y);
        if (owner != kTopLevelOwner) {
            PlaceBlockPoint(static_cast<uint32_t>(owner), x, y);
            return;
        }
        if (!std::isfinite(x + y)) return;
        SceneOutput().Point(x, y, memberStyle.memberPen);
    });
}

void SceneWalk::PlaceBlockText(uint32_t definition, double x1, double y1, double x2, double y2, double halfWidth,
                               double height, double halfSpacing)
{
    ForEachReference(definition, false, [&](const Placement &p, int32_t owner) {
        double a = x1, b = y1, c = x2, d = y2;
        Place(p, &a, &b);
        Place(p, &c, &d);
        const double w = halfWidth * p.sx, h = height * p.sy, s = halfSpacing * p.sx;
        if (owner != kTopLevelOwner) {
            PlaceBlockText(static_cast<uint32_t>(owner), a, b, c, d, w, h, s);
            return;
        }
        SceneOutput().Text(TextEntity{a, b, c, d, memberStyle.memberFontName, w, h, s, memberStyle.memberText,
                                      memberStyle.memberPen, memberStyle.memberTextFlags, memberStyle.memberLayerGroup,
                                      memberStyle.memberLayer, memberStyle.memberRole});
    });
}

void SceneWalk::PlaceBlockSolid(const SolidRecord &solid, uint32_t definition, const double v[8], COLORREF color)
{
    const uint8_t kind = solid.header.penStyle;
    if (kind == kQuadLimitKind) return;
    ForEachReference(definition, true, [&](const Placement &p, int32_t owner) {
        double w[8];
        for (int i = 0; i < 8; ++i) w[i] = v[i];
        if (kind < kQuadLimitKind) {
            for (int i = 0; i < 8; i += 2) Place(p, &w[i], &w[i + 1]);
        } else {
            Place(p, &w[0], &w[1]);
            w[2] = v[2] * p.sx;
            w[3] = v[3] * p.sy / p.sx;
            w[4] = PlaceTilt(p, v[4]);
            if (kind == kScaledBand || kind == kWidthBand) w[7] = v[7] * p.sx;
        }
        if (owner != kTopLevelOwner) {
            PlaceBlockSolid(solid, static_cast<uint32_t>(owner), w, color);
            return;
        }
        SceneOutput().Solid(solid, w, color);
    });
}

void SceneWalk::SetMemberPen(const EntityHeader &header)
{
    memberStyle.memberPen = EffectivePen(header.layerGroup, header.layer, header.penColor);
    memberStyle.memberLineType = header.penStyle;
    memberStyle.memberLayerGroup = header.layerGroup;
    memberStyle.memberLayer = header.layer;
}

void SceneWalk::SetMemberText(const TextRecord &text, uint16_t role)
{
    memberStyle.memberRole = role;
    memberStyle.memberPen = EffectivePen(text.header.layerGroup, text.header.layer, text.header.penColor);
    memberStyle.memberFontName = text.fontName;
    memberStyle.memberText = text.text;
    memberStyle.memberTextFlags = text.header.flags;
    memberStyle.memberLayerGroup = text.header.layerGroup;
    memberStyle.memberLayer = text.header.layer;
}

void SceneWalk::PrepareBlockReferences()
{
    referencesByDefinition.clear();
    for (uint32_t r = 1; r <= blockRefCount; ++r) referencesByDefinition[blockRefs[r].defNumber].push_back(r);
    placementsLeft = kMaxBlockPlacements;
    chainLength = 0;
}

void SceneWalk::ReleaseBlockReferences()
{
    referencesByDefinition.clear();
    referencesByDefinition.rehash(0);
}

void SceneWalk::DrawBlockMembers(uint32_t solidsFirst)
{
    for (uint32_t i = firstBlockLine; i <= lineCount && !RenderStopped(); ++i) {
        const LineRecord &line = lines[i];
        SetMemberPen(line.header);
        PlaceBlockLine(DefinitionOf(line.owner), line.x1, line.y1, line.x2, line.y2);
    }
    for (uint32_t i = firstBlockArc; i <= arcCount && !RenderStopped(); ++i) {
        const ArcRecord &arc = arcs[i];
        SetMemberPen(arc.header);
        PlaceBlockArc(DefinitionOf(arc.owner), arc.cx, arc.cy, arc.startAngle, arc.sweepAngle, arc.radius,
                      arc.tiltAngle, arc.flatness);
    }
    for (uint32_t i = firstBlockPoint; i <= pointCount && !RenderStopped(); ++i) {
        const PointRecord &point = points[i];
        SetMemberPen(point.header);
        PlaceBlockPoint(DefinitionOf(point.owner), point.x, point.y);
    }
    if (solidsFirst == 0) DrawBlockSolids();
    for (uint32_t i = firstBlockText; i <= textCount && !RenderStopped(); ++i) {
        const TextRecord &text = texts[i];
        SetMemberText(text, kTextInBlock);
        PlaceBlockText(DefinitionOf(text.owner), text.x1, text.y1, text.x2, text.y2, text.charWidth / 2,
                       text.charHeight, text.charSpacing / 2);
    }
    for (uint32_t i = firstBlockDimension; i <= dimensionCount && !RenderStopped(); ++i) {
        const DimensionRecord &d = dimensions[i];
        SetMemberPen(d.line.header);
        PlaceBlockLine(DefinitionOf(d.line.owner), d.line.x1, d.line.y1, d.line.x2, d.line.y2);
        SetMemberText(d.label, kTextInBlock | kTextDimension);
        PlaceBlockText(DefinitionOf(d.label.owner), d.label.x1, d.label.y1, d.label.x2, d.label.y2,
                       d.label.charWidth / 2, d.label.charHeight, d.label.charSpacing / 2);
        if (d.auxDrawMode != 0) {
            SetMemberPen(d.auxLine1.header);
            PlaceBlockLine(DefinitionOf(d.auxLine1.owner), d.auxLine1.x1, d.auxLine1.y1, d.auxLine1.x2, d.auxLine1.y2);
            PlaceBlockLine(DefinitionOf(d.auxLine2.owner), d.auxLine2.x1, d.auxLine2.y1, d.auxLine2.x2, d.auxLine2.y2);
        }
    }
}

void SceneWalk::DrawBlockSolids()
{
    for (uint32_t i = firstBlockSolid; i <= solidCount && !RenderStopped(); ++i) {
        const SolidRecord &s = solids[i];
        COLORREF color;
        if (!SolidFillColor(s, &color)) continue;
        const double values[8] = {s.x1, s.y1, s.x2, s.y2, s.x3, s.y3, s.x4, s.y4};
        PlaceBlockSolid(s, DefinitionOf(s.owner), values, color);
    }
}
