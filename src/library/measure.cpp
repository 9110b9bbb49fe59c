#include "library/measure.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "library/views.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/scene_walk.h"

namespace {

constexpr double kTwoPi = 2 * 3.14159265358979323846;
// Lines near the place whose crossings are looked for: the nearest ones, so
// that a drawing of a million lines through one point costs no more time
// or memory.
constexpr size_t kMaxCrossingLines = 64;
constexpr double kTie = 1e-12;

struct Segment {
    double x1, y1, x2, y2, distance;
    uint16_t group;
};

double SegmentDistance(double px, double py, double x1, double y1, double x2, double y2)
{
    const double dx = x2 - x1, dy = y2 - y1, length = dx * dx + dy * dy;
    const double t = length > 0 ? std::clamp(((px - x1) * dx + (py - y1) * dy) / length, 0.0, 1.0) : 0.0;
    return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy));
}

// Collects the snap points of what the walk draws near the place.
class SnapDevice final : public SceneDevice {
public:
    SnapDevice(const SceneWalk &walk, double x, double y, double radius) : walk_(walk), x_(x), y_(y), radius_(radius) {}

    plotmira_snap_point best = {sizeof(plotmira_snap_point), PLOTMIRA_SNAP_NONE, 0, 0, 0, 1};

    void Line(double x1, double y1, double x2, double y2, uint16_t, int) override
    {
        Offer(PLOTMIRA_SNAP_END, x1, y1, walk_.objectGroup);
        Offer(PLOTMIRA_SNAP_END, x2, y2, walk_.objectGroup);
        Offer(PLOTMIRA_SNAP_MIDDLE, (x1 + x2) / 2, (y1 + y2) / 2, walk_.objectGroup);
        const double d = SegmentDistance(x_, y_, x1, y1, x2, y2);
        if (!(d <= radius_)) return;
        // A heap with the farthest line on top, never more than its share.
        const auto farther = [](const Segment &a, const Segment &b) { return a.distance < b.distance; };
        if (segments_.size() == kMaxCrossingLines) {
            if (d >= segments_.front().distance) return;
            std::pop_heap(segments_.begin(), segments_.end(), farther);
            segments_.pop_back();
        }
        segments_.push_back({x1, y1, x2, y2, d, walk_.objectGroup});
        std::push_heap(segments_.begin(), segments_.end(), farther);
    }
    void Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness, uint16_t,
             int) override
    {
        const uint16_t group = walk_.objectGroup;
        Offer(PLOTMIRA_SNAP_CENTRE, cx, cy, group);
        if (sweep < 0) {
            start += sweep;
            sweep = -sweep;
        }
        if (!(sweep < kTwoPi)) return;  // a whole circle or ellipse has no ends
        auto at = [&](double a, plotmira_snap_kind kind) {
            double x, y;
            RotatePoint(cx + radius * std::cos(a), cy + radius * flatness * std::sin(a), cx, cy, tilt, &x, &y);
            Offer(kind, x, y, group);
        };
        at(start, PLOTMIRA_SNAP_END);
        at(start + sweep, PLOTMIRA_SNAP_END);
        at(start + sweep / 2, PLOTMIRA_SNAP_MIDDLE);
    }
    void Point(double x, double y, uint16_t) override { Offer(PLOTMIRA_SNAP_END, x, y, walk_.objectGroup); }
    void Solid(const SolidRecord &, const double *, COLORREF) override {}
    void Text(const TextEntity &) override {}
    void ReferenceMark(double, double) override {}
    void VersionLine(const char *) override {}

    // The crossings of the lines that pass near the place.
    void Cross()
    {
        for (size_t i = 0; i < segments_.size(); ++i) {
            for (size_t j = i + 1; j < segments_.size(); ++j) {
                const Segment &a = segments_[i], &b = segments_[j];
                const double rx = a.x2 - a.x1, ry = a.y2 - a.y1, sx = b.x2 - b.x1, sy = b.y2 - b.y1;
                const double cross = rx * sy - ry * sx;
                if (cross == 0 || !std::isfinite(cross)) continue;  // parallel
                const double t = ((b.x1 - a.x1) * sy - (b.y1 - a.y1) * sx) / cross;
                const double u = ((b.x1 - a.x1) * ry - (b.y1 - a.y1) * rx) / cross;
                if (t < 0 || t > 1 || u < 0 || u > 1) continue;
                Offer(PLOTMIRA_SNAP_INTERSECTION, a.x1 + t * rx, a.y1 + t * ry, a.group);
            }
        }
    }

private:
    void Offer(plotmira_snap_kind kind, double x, double y, uint16_t group)
    {
        if (!std::isfinite(x) || !std::isfinite(y)) return;
        const double d = std::hypot(x - x_, y - y_);
        if (!(d <= radius_)) return;
        const bool better = best.kind == PLOTMIRA_SNAP_NONE || d < distance_ - kTie ||
                            (std::fabs(d - distance_) <= kTie && kind < best.kind);
        if (!better) return;
        distance_ = d;
        best.kind = kind;
        best.x = x;
        best.y = y;
        best.layer_group = group;
    }

    const SceneWalk &walk_;
    double x_, y_, radius_;
    double distance_ = 0;
    std::vector<Segment> segments_;
};

}  // namespace

plotmira_status SnapPoint(const plotmira_document &doc, const plotmira_view *layers, double x, double y, double radius,
                          plotmira_snap_point *point)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(radius) || radius < 0) return PLOTMIRA_ERR_ARGUMENT;
    plotmira_view view;
    plotmira_view_init(&view, doc.naturalWidth, doc.naturalHeight);
    if (layers != nullptr) {
        plotmira_view given;
        if (TakeView(layers, &given) != PLOTMIRA_OK) return PLOTMIRA_ERR_ARGUMENT;
        view.hide_groups = given.hide_groups;
        view.show_groups = given.show_groups;
        std::copy(std::begin(given.hide_layers), std::end(given.hide_layers), view.hide_layers);
        std::copy(std::begin(given.show_layers), std::end(given.show_layers), view.show_layers);
    }
    if (!doc.versionDrawn) return PLOTMIRA_ERR_VERSION;
    SceneWalk walk(doc.drawing);
    PlaceView(view, doc, walk);
    SnapDevice device(walk, x, y, radius);
    walk.renderContext.device = &device;
    walk.DrawScene();
    device.Cross();
    plotmira_snap_point found = device.best;
    if (found.kind != PLOTMIRA_SNAP_NONE && walk.isFigureFile != 1 && found.layer_group >= 0 &&
        found.layer_group < kLayerGroups) {
        const double scale = walk.layerGroupScale[found.layer_group];
        found.scale = std::isfinite(scale) && scale > 0 ? scale : 1;
    }
    *point = found;
    return PLOTMIRA_OK;
}
