// One render: a walk of a drawing's scene, read-only over the drawing, with
// everything the walk changes as it goes kept here (the transform, the
// pens, the layer states a view may change, the line-style walks, the
// budgets, the block chains, the macro buffer, the surface). Renders of one
// drawing or of several run side by side, each with its own walk.
//
// The walk's members keep the names the renderer has always used for the
// values it draws with: `lines`, `lineCount`, `penColorTable`, `fileVersion`
// and so on are the drawing's (or this render's copy of them).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/drawing.h"
#include "render/blocks.h"
#include "render/primitives.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/solids.h"
#include "render/text.h"
#include "render/text_macros.h"

class SceneWalk {
public:
    explicit SceneWalk(const Drawing &drawing);
    SceneWalk(const SceneWalk &) = delete;
    SceneWalk &operator=(const SceneWalk &) = delete;

    const Drawing &drawing;

    // The drawing's records.
    const RecordTable<PointRecord> &points;
    const RecordTable<LineRecord> &lines;
    const RecordTable<ArcRecord> &arcs;
    const RecordTable<TextRecord> &texts;
    const RecordTable<DimensionRecord> &dimensions;
    const RecordTable<SolidRecord> &solids;
    const RecordTable<BlockRefRecord> &blockRefs;
    const uint32_t &pointCount, &lineCount, &arcCount, &textCount, &dimensionCount, &solidCount, &blockRefCount;
    const uint32_t &firstBlockPoint, &firstBlockLine, &firstBlockArc, &firstBlockText, &firstBlockDimension,
        &firstBlockSolid;

    // The drawing's header values and source.
    const uint32_t &fileVersion;
    const char *const &memoText;
    const char *const &memoSecondLine;
    const uint32_t &paperSize;
    const double (&layerGroupScale)[kLayerGroups];
    const double (&viewZoom)[kRegisteredViews + 1];
    const double (&viewOriginX)[kRegisteredViews + 1];
    const double (&viewOriginY)[kRegisteredViews + 1];
    const uint32_t &drawSolidsFirst;
    const uint32_t &usePrintColors;
    const double &figureRefX, &figureRefY;
    const double &extentMinX, &extentMinY, &extentMaxX, &extentMaxY;
    const uint32_t &isFigureFile;
    const std::string &drawingPath;
    const PluginSettingsState &pluginSettings;

    // This render's pens and layer states: the drawing's, as a view (print
    // pens, layer masks) changes them.
    SettingTables tables;
    COLORREF (&penColorTable)[kPenCount];
    uint32_t (&penWidthTable)[kPenCount];
    uint32_t (&linePatternTable)[kLineTypeCount];
    uint32_t (&linePitchTable)[kLineTypeCount];
    uint32_t (&randomWidthTable)[kLastRandomLineType + 1];
    uint32_t layerGroupState[kLayerGroups];
    uint32_t layerState[kLayerGroups][kLayersPerGroup];

    RenderContext renderContext;
    // The layer group of the object the device is handed now: its own, or
    // for a block's member that of the block's reference in the main
    // drawing (the group whose scale the object is drawn at).
    uint16_t objectGroup = 0;

    // --- View setup (render_context.cpp) ---
    // Stores the raster size and computes the base scale that fits the
    // paper (a drawing) or the extent (a figure) into it.
    void FitToRaster(uint32_t width, int32_t height);
    void SetUpDrawingView();
    void SetUpFigureView();
    // The view setup of the drawing's kind (after FitToRaster).
    void SetUpView();
    // Registered view n: its centre and zoom.
    void UseRegisteredView(int view);

    // Drawing units to pixels, truncated toward zero on the canvas, less the
    // raster's origin, held within ±kPixelLimit (a value that is not a
    // number counts as far outside).
    int32_t ToPixelLength(double v) const;
    int32_t ToPixelX(double x) const;
    int32_t ToPixelY(double y) const;

    // True once the caller's cancel callback has asked to stop; asks it every
    // so many calls.
    bool RenderStopped();
    // The device the scene walk draws on.
    SceneDevice &SceneOutput();
    // Copies entry index of the block references; answers the index.
    uint32_t ReadBlockRef(uint32_t index, double *x, double *y, double *rotation, double *scaleX, double *scaleY) const;

    // --- The scene (scene.cpp): the whole drawing or figure through the
    // device, in the view the transform holds ---
    void DrawDrawingScene();
    void DrawFigureScene();
    // The scene of the drawing's kind.
    void DrawScene();

    // --- Pens and line styles (line_styles.cpp) ---
    uint16_t EffectivePen(uint16_t layerGroup, uint16_t layer, uint16_t penColor) const;
    bool IsInPass(uint16_t pen) const;
    void CreatePenTable();
    void DeletePenTable();
    void BeginLineStyle(uint32_t startBit, uint16_t lineType);
    void DashStep(int32_t x, int32_t y);
    void RandomStep(double x, double y);
    // One pixel step of the random walk at (x, y): true when it draws to a
    // point, which it moves (x, y) to.
    bool RandomAction(double *x, double *y);
    void SetUpRandomSegment(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int lineType);
    // The walks' state as if n more pixels had been stepped without drawing.
    void SkipDashSteps(uint64_t n);
    void SkipRandomSteps(uint64_t n);

    // --- Stroke primitives (primitives.cpp) ---
    void ResetWalkBudget();
    void DrawStyledLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint16_t pen, int lineType);
    void DrawPointMark(int32_t x, int32_t y, uint16_t pen);
    void FlattenArc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness);
    void DrawStyledArc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness,
                       uint16_t pen, int lineType);

    // --- Solids (solids.cpp) ---
    void ResetSolidBudget();
    // Hands the top-level solids to the scene's device, each in its colour.
    void DrawSolids();
    // Fills a solid of the given kind at the given eight values on the
    // raster, with the pen and brush already selected.
    void FillSolid(uint8_t kind, double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                   double y4);
    // The fill colour of a solid of the given effective pen; false when it has none.
    bool SolidColor(const SolidRecord &solid, uint16_t pen, COLORREF *color) const;
    // The colour a solid is filled in: its own colour or its pen's (print
    // mode without colours makes it pen 1); false for a hidden solid.
    bool SolidFillColor(const SolidRecord &solid, COLORREF *color) const;

    // --- Blocks (blocks.cpp) ---
    // Indexes the references by the definition they place (kept in drawing
    // order) and resets the placement budget; once per scene.
    void PrepareBlockReferences();
    void ReleaseBlockReferences();
    void DrawBlockMembers(uint32_t solidsFirst);
    void DrawBlockSolids();

    // --- Texts (text.cpp, text_macros.cpp) ---
    void ResetTextBudget();
    // False for a text that cannot be laid out (no text, coordinates that
    // are not finite). The layout's bytes may be this walk's macro buffer.
    bool LayOutText(double x1, double y1, double x2, double y2, double halfWidth, double height, double halfSpacing,
                    const char *text, uint16_t flags, uint16_t layerGroup, TextLayout *layout);
    void DrawTextEntity(double x1, double y1, double x2, double y2, const char *fontName, double halfWidth,
                        double height, double halfSpacing, const char *text, uint16_t pen, uint16_t flags,
                        uint16_t layerGroup);
    // 1 when the text is a macro and macroBuffer holds its expansion, else 0.
    int ExpandTextMacro(const char *text, uint16_t layerGroup);
    char macroBuffer[kMacroBufferBytes] = {};

    // A block reference's placement of a member, and a segment's pixel walk.
    struct Placement;
    struct Walk;

private:
    // scene.cpp
    void DrawLineRecord(const LineRecord &line, uint16_t pen);
    void DrawPointRecord(const PointRecord &point, uint16_t pen);
    uint16_t PenOf(const EntityHeader &header) const;
    void DrawTextRecord(const TextRecord &text, uint16_t pen, uint16_t role);
    void DrawDimension(const DimensionRecord &dimension);
    void DrawTopLevelEntities();
    void DrawVersionLine();
    uint32_t sceneSolidsFirst = 0;

    // line_styles.cpp
    uint32_t LayerGroupState(uint16_t group) const;
    uint32_t LayerStateOf(uint16_t group, uint16_t layer) const;
    bool AdvanceRandomBit();

    // primitives.cpp
    bool SelectPen(uint16_t pen, bool *created);
    void ReleasePen(bool created);
    void VisibleSteps(const Walk &w, int64_t margin, int64_t *first, int64_t *last) const;
    void MoveToStep(const Walk &w, int64_t step);
    template <typename Skip, typename Step>
    void ClippedWalk(const Walk &w, int64_t margin, Skip skip, Step step);
    void DashedSegment(const Walk &w);
    void RandomSegment(const Walk &w, int lineType);
    void EmitArcPoint(double cx, double cy, double radius, double flatness, double tilt, double a);
    uint64_t walkStepsLeft = kMaxWalkStepsPerConversion;

    // solids.cpp
    void FillPolygon(const POINT *points, int count);
    template <typename Inner>
    void FillBand(POINT centre, Inner inner);
    POINT Pixel(double x, double y) const;
    uint64_t solidPixelsLeft = kMaxSolidPixelsPerConversion;

    // blocks.cpp
    template <typename PlaceFn>
    void ForEachReference(uint32_t definition, bool solids, PlaceFn place);
    void PlaceBlockLine(uint32_t definition, double x1, double y1, double x2, double y2);
    void PlaceBlockArc(uint32_t definition, double cx, double cy, double start, double sweep, double radius,
                       double tilt, double flatness);
    void PlaceBlockPoint(uint32_t definition, double px, double py);
    void PlaceBlockText(uint32_t definition, double x1, double y1, double x2, double y2, double halfWidth,
                        double height, double halfSpacing);
    void PlaceBlockSolid(const SolidRecord &solid, uint32_t definition, const double v[8], COLORREF color);
    void SetMemberPen(const EntityHeader &header);
    void SetMemberText(const TextRecord &text, uint16_t role);
    MemberStyle memberStyle = {};
    std::unordered_map<uint32_t, std::vector<uint32_t>> referencesByDefinition;
    uint64_t placementsLeft = 0;
    uint32_t chain[kMaxBlockDepth] = {};  // the definitions on the chain being followed
    int chainLength = 0;

    // text.cpp, text_macros.cpp
    void DrawSmallTextBox(double x1, double y1, double x2, double y2, double angle, double height, uint16_t pen);
    bool CellOffRaster(int32_t x, int32_t y, int64_t reach) const;
    void Put(const char *value);
    std::string FileName() const;
    void ExpandFileMacro(char prefix, char c1);
    void ExpandScale(uint16_t layerGroup, bool ratio);
    int ExpandUserVariable(const char *name);
    uint64_t charactersLeft = kMaxCharactersPerConversion;

    RasterDevice raster_{*this};
};
