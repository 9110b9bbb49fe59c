// What the scene walk hands on: every object as it lies on the sheet, in
// millimetres, once layers, passes, block placements and pens have been
// decided, in drawing order. The raster device turns each into pixels
// through the render context's transform; other devices collect the texts
// of a drawing or the extent of what it shows, from the same walk.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct SolidRecord;  // reader/drawing_store.h

constexpr uint16_t kTextInBlock = 1;    // placed through a block
constexpr uint16_t kTextDimension = 2;  // a dimension's label

// A text entity as the walk places it (see DrawTextEntity for the layout).
struct TextEntity {
    double x1, y1, x2, y2;  // baseline start and the direction's end point
    const char *fontName;   // Shift-JIS, as stored
    double halfWidth;       // half a character's width
    double height;
    double halfSpacing;  // half the room between characters
    const char *text;    // Shift-JIS, as stored (macros not expanded)
    uint16_t pen;
    uint16_t flags;
    uint16_t layerGroup;
    uint16_t layer;
    uint16_t role;  // kTextInBlock, kTextDimension bits
};

class SceneDevice {
public:
    virtual ~SceneDevice() = default;
    // A line in line type lineType; each line starts its pattern afresh.
    virtual void Line(double x1, double y1, double x2, double y2, uint16_t pen, int lineType) = 0;
    // An arc as its record gives it: angles in radians, flatness the ratio
    // of the minor to the major radius, turned by tilt.
    virtual void Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
                     uint16_t pen, int lineType) = 0;
    virtual void Point(double x, double y, uint16_t pen) = 0;
    // A solid (its kind decides the shape) at its eight placed values,
    // filled in `color`.
    virtual void Solid(const SolidRecord &solid, const double values[8], COLORREF color) = 0;
    virtual void Text(const TextEntity &text) = 0;
    // A figure's reference point, marked over everything else.
    virtual void ReferenceMark(double x, double y) = 0;
    // The one line a drawing of an unread version shows instead of itself.
    virtual void VersionLine(const char *message) = 0;
};

class SceneWalk;

// The device that draws into its walk's device context.
class RasterDevice final : public SceneDevice {
public:
    explicit RasterDevice(SceneWalk &walk) : walk_(walk) {}

    void Line(double x1, double y1, double x2, double y2, uint16_t pen, int lineType) override;
    void Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
             uint16_t pen, int lineType) override;
    void Point(double x, double y, uint16_t pen) override;
    void Solid(const SolidRecord &solid, const double values[8], COLORREF color) override;
    void Text(const TextEntity &text) override;
    void ReferenceMark(double x, double y) override;
    void VersionLine(const char *message) override;

private:
    bool OffRaster(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t margin) const;
    bool CircleOffRaster(double cx, double cy, double radius, int64_t margin) const;
    int64_t LineMargin(int lineType) const;

    SceneWalk &walk_;
};
