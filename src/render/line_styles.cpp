#include "render/line_styles.h"

#include <cmath>
#include <map>
#include <tuple>

#include "platform/win32.h"
#include "reader/document_readers.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "settings/setting_tables.h"

namespace {

constexpr uint32_t kTopBit = 0x80000000u;
constexpr uint32_t kNoBitSeen = 10;           // no masked pattern bit can equal it
constexpr uint16_t kPenOfHiddenExtended = 8;  // pen 100 on a display-only layer

uint32_t PenWidthPixels(uint32_t width) { return width > kMaxPenPixels ? kMaxPenPixels : width; }

}  // namespace

uint32_t SceneWalk::LayerGroupState(uint16_t group) const { return group < kLayerGroups ? layerGroupState[group] : 0; }
uint32_t SceneWalk::LayerStateOf(uint16_t group, uint16_t layer) const
{
    return group < kLayerGroups && layer < kLayersPerGroup ? layerState[group][layer] : 0;
}

// One action of the random walk (when its counter is due), without drawing:
// the pattern bit it moves to, and the one it records.
bool SceneWalk::AdvanceRandomBit()
{
    RenderContext &rc = renderContext;
    const uint32_t next = rc.dashBit >> 1;
    const bool moved = (next & rc.dashPattern) == rc.randomLastBit;
    if (moved) rc.dashBit = next;
    rc.randomLastBit = next & rc.dashPattern;
    return moved;
}

uint16_t SceneWalk::EffectivePen(uint16_t layerGroup, uint16_t layer, uint16_t penColor) const
{
    if (penColor == kDisplayOnlyPen) return 0;
    // Layer numbers outside the 16 x 16 tables come only from damaged files;
    // such objects are treated as on a hidden layer.
    if (layerGroup >= kLayerGroups || layer >= kLayersPerGroup) return 0;
    const uint32_t group = LayerGroupState(layerGroup);
    const uint32_t state = LayerStateOf(layerGroup, layer);
    if (group == 0) return 0;
    if (group == 1) return state != 0 ? kDisplayOnlyPen : 0;
    if (state == 0) return 0;
    if (state == 1) return penColor == kFirstExtendedPenNumber ? kPenOfHiddenExtended : kDisplayOnlyPen;
    return penColor;
}

bool SceneWalk::IsInPass(uint16_t pen) const
{
    if (renderContext.drawPass == 0) return pen == kDisplayOnlyPen;
    if (renderContext.drawPass == 1) {
        return (pen >= 1 && pen <= 8) || (pen >= kFirstExtendedPenNumber && pen <= kLastExtendedPenNumber);
    }
    return false;
}

void SceneWalk::CreatePenTable()
{
    for (int i = 0; i < kPreparedPens; ++i) {
        renderContext.penTable[i] =
            CreatePen(PS_SOLID, static_cast<int>(PenWidthPixels(penWidthTable[i])), penColorTable[i]);
    }
}

void SceneWalk::DeletePenTable()
{
    for (HPEN &pen : renderContext.penTable) {
        if (pen != nullptr) DeleteObject(pen);
        pen = nullptr;
    }
}

int UsableLineType(int lineType) { return lineType >= 0 && lineType < kLineTypeCount ? lineType : kLineTypeSolid; }

void SceneWalk::BeginLineStyle(uint32_t startBit, uint16_t lineType)
{
    RenderContext &rc = renderContext;
    const int type = UsableLineType(lineType);
    rc.dashPattern = linePatternTable[type];
    rc.dashBit = startBit;
    rc.dashPitch = linePitchTable[type];
    rc.dashCount = 0;
    rc.randomLastBit = kNoBitSeen;
    rc.randomCount = 1;
}

void SceneWalk::DashStep(int32_t x, int32_t y)
{
    RenderContext &rc = renderContext;
    if ((rc.dashBit & rc.dashPattern) != 0) {
        LineTo(rc.targetDc, x, y);
    } else {
        MoveToEx(rc.targetDc, x, y, nullptr);
    }
    if (++rc.dashCount >= rc.dashPitch) {
        rc.dashCount = 0;
        rc.dashBit >>= 1;
        if (rc.dashBit == 0) rc.dashBit = kTopBit;
    }
}

void SceneWalk::SkipDashSteps(uint64_t n)
{
    RenderContext &rc = renderContext;
    if (n == 0) return;
    // Each bit covers `pitch` steps (a pitch of 0 behaves as 1).
    const uint64_t pitch = rc.dashPitch == 0 ? 1 : rc.dashPitch;
    const uint64_t total = (rc.dashPitch == 0 ? 0 : rc.dashCount) + n;
    uint64_t advances = total / pitch;
    rc.dashCount = static_cast<uint32_t>(total % pitch);
    if (advances == 0) return;
    if (rc.dashBit == 0) {
        rc.dashBit = kTopBit;  // an empty bit wraps to the top one first
        --advances;
    }
    // The set bit runs down from bit 31 to bit 0 and wraps: a cycle of 32.
    int index = 31;
    while (index > 0 && (rc.dashBit >> index) == 0) --index;
    const int moved = static_cast<int>(advances % 32);
    rc.dashBit = 1u << ((index - moved + 32) % 32);
}

void SceneWalk::SetUpRandomSegment(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int lineType)
{
    RenderContext &rc = renderContext;
    const int type = lineType >= kFirstRandomType && lineType <= kLastRandomType ? lineType : kFirstRandomType;
    rc.randomPitch = linePitchTable[type];
    rc.randomAmplitude = randomWidthTable[type] > kMaxRandomAmplitude ? kMaxRandomAmplitude : randomWidthTable[type];
    rc.randomAngle = std::atan2(static_cast<double>(y2) - y1, static_cast<double>(x2) - x1) / degToRad - 90;
}

bool SceneWalk::RandomAction(double *x, double *y)
{
    RenderContext &rc = renderContext;
    if (rc.dashBit == 0) rc.dashBit = kTopBit;
    bool moved = false;
    if (rc.randomCount >= rc.randomPitch) {
        const uint32_t next = rc.dashBit >> 1;
        if ((next & rc.dashPattern) == rc.randomLastBit) {
            rc.dashBit = next;
            const double distance = (rc.dashBit & rc.dashPattern) != 0 ? static_cast<double>(rc.randomAmplitude)
                                                                       : -static_cast<double>(rc.randomAmplitude);
            OffsetPolar(x, y, rc.randomAngle, distance);
            moved = true;
        }
        rc.randomLastBit = next & rc.dashPattern;
        rc.randomCount = 1;
    }
    ++rc.randomCount;
    return moved;
}

void SceneWalk::RandomStep(double x, double y)
{
    if (RandomAction(&x, &y)) LineTo(renderContext.targetDc, SaturatePixel(x), SaturatePixel(y));
}

void SceneWalk::SkipRandomSteps(uint64_t n)
{
    RenderContext &rc = renderContext;
    if (n == 0) return;
    if (rc.dashBit == 0) rc.dashBit = kTopBit;
    // An action is due at a step whose counter has reached the pitch; the
    // counter restarts at 2 on the step after it.
    const uint64_t pitch = rc.randomPitch;
    const uint64_t count = rc.randomCount;
    const uint64_t firstAction = count >= pitch ? 0 : pitch - count;
    const uint64_t period = 1 + (pitch > 2 ? pitch - 2 : 0);
    uint64_t actions = 0;
    if (firstAction < n) {
        actions = 1 + (n - 1 - firstAction) / period;
        const uint64_t lastAction = firstAction + (actions - 1) * period;
        rc.randomCount = static_cast<uint32_t>(2 + (n - 1 - lastAction));
    } else {
        rc.randomCount = static_cast<uint32_t>(count + n);
    }
    // The bit machine has few states, so it repeats: only the actions left
    // after whole cycles are run.
    std::map<std::tuple<uint32_t, uint32_t>, uint64_t> seen;
    for (uint64_t i = 0; i < actions; ++i) {
        const auto state = std::make_tuple(rc.dashBit, rc.randomLastBit);
        const auto found = seen.find(state);
        if (found != seen.end()) {
            const uint64_t left = (actions - i) % (i - found->second);
            for (uint64_t j = 0; j < left; ++j) {
                if (rc.dashBit == 0) rc.dashBit = kTopBit;
                AdvanceRandomBit();
            }
            return;
        }
        seen.emplace(state, i);
        if (rc.dashBit == 0) rc.dashBit = kTopBit;
        AdvanceRandomBit();
    }
}
