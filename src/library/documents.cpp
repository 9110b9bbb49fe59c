#include "library/documents.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "reader/document_readers.h"
#include "render/line_styles.h"
#include "render/render_context.h"
#include "render/scene_device.h"
#include "render/scene_walk.h"
#include "render/text_macros.h"
#include "settings/paths.h"

namespace {

constexpr int kViewsBefore300 = 4;
constexpr uint32_t kVersionWithEightViews = 300;
constexpr int kArcSamples = 64;  // points of an arc's outline measured for the extent
constexpr double kTwoPi = 2 * kCadPi;
constexpr uint8_t kFirstArcSolid = 100;
constexpr uint8_t kArcSolid = 101;
constexpr uint8_t kScaledBand = 105;
constexpr uint8_t kWidthBand = 106;
constexpr uint16_t kTurnedText = 32;

uint32_t Rgb(COLORREF color) { return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF); }

// Grows a rectangle to hold what the scene shows.
class ExtentDevice final : public SceneDevice {
public:
    explicit ExtentDevice(SceneWalk &walk) : walk_(walk) {}
    bool any = false;
    plotmira_rect box = {0, 0, 0, 0};
    uint32_t groupObjects[kLayerGroups] = {};

    void Line(double x1, double y1, double x2, double y2, uint16_t, int) override
    {
        Count();
        Add(x1, y1);
        Add(x2, y2);
    }
    void Arc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness, uint16_t,
             int) override
    {
        Count();
        AddArc(cx, cy, start, sweep, radius, tilt, flatness);
    }
    void Point(double x, double y, uint16_t) override
    {
        Count();
        Add(x, y);
    }
    void Solid(const SolidRecord &solid, const double v[8], COLORREF) override
    {
        Count();
        const uint8_t kind = solid.header.penStyle;
        if (kind < kFirstArcSolid) {
            for (int i = 0; i < 8; i += 2) Add(v[i], v[i + 1]);
        } else if (kind == kArcSolid || kind == kScaledBand || kind == kWidthBand) {
            AddArc(v[0], v[1], v[5], v[6], v[2], v[4], v[3]);
            if (kind == kArcSolid) Add(v[0], v[1]);
        }
    }
    void Text(const TextEntity &t) override
    {
        Count();
        const char *drawn = walk_.ExpandTextMacro(t.text, t.layerGroup) ? walk_.macroBuffer : t.text;
        const double length = static_cast<double>(std::strlen(drawn)) * (t.halfWidth + t.halfSpacing);
        const double d = std::hypot(t.x2 - t.x1, t.y2 - t.y1);
        const double ux = d > 0 ? (t.x2 - t.x1) / d : 1, uy = d > 0 ? (t.y2 - t.y1) / d : 0;
        // Turned glyphs stand across the baseline: their cells reach both sides.
        const double below = t.flags == kTurnedText ? -t.height : 0;
        for (double across : {below, t.height}) {
            for (double along : {0.0, length}) Add(t.x1 + ux * along - uy * across, t.y1 + uy * along + ux * across);
        }
    }
    void ReferenceMark(double, double) override {}
    void VersionLine(const char *) override {}

private:
    SceneWalk &walk_;

    void Count()
    {
        if (walk_.objectGroup < kLayerGroups) ++groupObjects[walk_.objectGroup];
    }
    void Add(double x, double y)
    {
        if (!std::isfinite(x) || !std::isfinite(y)) return;
        if (!any) {
            box = {x, y, x, y};
            any = true;
            return;
        }
        box.min_x = std::fmin(box.min_x, x);
        box.max_x = std::fmax(box.max_x, x);
        box.min_y = std::fmin(box.min_y, y);
        box.max_y = std::fmax(box.max_y, y);
    }
    void AddArc(double cx, double cy, double start, double sweep, double radius, double tilt, double flatness)
    {
        if (!std::isfinite(start) || !std::isfinite(sweep) || !std::isfinite(radius) || !std::isfinite(tilt) ||
            !std::isfinite(flatness)) {
            return;
        }
        if (sweep < 0) {
            start += sweep;
            sweep = -sweep;
        }
        if (sweep > kTwoPi) sweep = kTwoPi;
        for (int i = 0; i <= kArcSamples; ++i) {
            const double a = start + sweep * i / kArcSamples;
            double x, y;
            RotatePoint(cx + radius * std::cos(a), cy + radius * flatness * std::sin(a), cx, cy, tilt, &x, &y);
            Add(x, y);
        }
    }
};

// Keeps every text the scene shows, its macros expanded as drawn.
class TextDevice final : public SceneDevice {
public:
    explicit TextDevice(SceneWalk &walk) : walk_(walk) {}
    std::vector<DocumentText> texts;

    void Line(double, double, double, double, uint16_t, int) override {}
    void Arc(double, double, double, double, double, double, double, uint16_t, int) override {}
    void Point(double, double, uint16_t) override {}
    void Solid(const SolidRecord &, const double *, COLORREF) override {}
    void Text(const TextEntity &t) override
    {
        if (t.text == nullptr) return;
        const char *drawn = walk_.ExpandTextMacro(t.text, t.layerGroup) ? walk_.macroBuffer : t.text;
        const double angle = std::atan2(t.y2 - t.y1, t.x2 - t.x1) / degToRad;
        texts.push_back(
            DocumentText{Utf8FromShiftJis(drawn), t.x1, t.y1, t.height, angle, t.layerGroup, t.layer, t.role});
    }
    void ReferenceMark(double, double) override {}
    void VersionLine(const char *) override {}

private:
    SceneWalk &walk_;
};

// Walks the scene of the document with `device`, in the document's own view
// of itself (screen pens, its layer states).
void WalkScene(SceneWalk &walk, SceneDevice *device)
{
    walk.renderContext.device = device;
    walk.renderContext.viewIndex = 0;
    walk.DrawScene();
}

// The extension of a name ending in ".jww" or ".jws", in any case, as typed.
void NoteExtension(const std::string &path, char (&extension)[4])
{
    std::memset(extension, 0, sizeof extension);
    if (path.size() < 4 || path[path.size() - 4] != '.') return;
    std::string ending = path.substr(path.size() - 3);
    std::string lower = ending;
    for (char &c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "jww" || lower == "jws") std::memcpy(extension, ending.data(), 3);
}

}  // namespace

plotmira_status ReadDocument(const unsigned char *bytes, size_t length, const std::string &path,
                             const plotmira_open_options &options, plotmira_document **out)
{
    if (length > kMaxInputBytes) return PLOTMIRA_ERR_TOO_LARGE;
    uint32_t figure = 0;
    if (bytes == nullptr || length < kMinimumHeaderBytes || !KindByMagic(bytes, &figure)) return PLOTMIRA_ERR_FORMAT;
    std::unique_ptr<plotmira_document> doc(new (std::nothrow) plotmira_document);
    if (doc == nullptr) return PLOTMIRA_ERR_NO_MEMORY;
    // Every document starts from the state of a freshly loaded module, so
    // that what it shows does not depend on what was read before it.
    Drawing &drawing = doc->drawing;
    DrawingSource &source = drawing.source;
    source.path = path;
    source.isFigure = figure;
    NoteExtension(path, source.extension);
    if (!path.empty()) TakeDrawingFileTime(source);

    // The plug-in's width, taken before the file is read, as a request does.
    const bool user = options.settings == PLOTMIRA_SETTINGS_USER;
    const int32_t desktop = options.desktop_width > 0 ? options.desktop_width
                            : user                    ? DesktopWidth()
                                                      : kDefaultDesktopWidth;
    PluginSettingsState &references = drawing.references;
    if (options.settings == PLOTMIRA_SETTINGS_FILE) {
        // The given file's widths and user variables, and nothing else.
        // A bare name is taken in the current folder, where its relative
        // reference file is too.
        std::string settingsPath = options.settings_file;
        if (LastPathSeparator(settingsPath) == std::string::npos) settingsPath = "./" + settingsPath;
        if (!ReadSettingsFile(settingsPath, references)) return PLOTMIRA_ERR_OPEN;
        references.referenceCount = LoadReferenceFile(settingsPath, references);
    }
    const RasterSize natural = user ? ComputeRasterSize(0, figure, references, desktop)
                                    : PictureSize(0, figure, desktop, references.sizeJws, references.sizeJww);
    doc->naturalWidth = natural.width;
    doc->naturalHeight = natural.height;
    doc->printByName = source.extension[0] == 'J';
    const int read =
        ReadFigureOrDrawing(drawing, bytes, length, figure == 1, user ? SettingsReach::kUser : SettingsReach::kBuiltIn);
    if (read == kReadNoStore) return PLOTMIRA_ERR_NO_MEMORY;
    if (read < 0) return PLOTMIRA_ERR_DAMAGED;
    ShrinkStore(drawing.store);
    const DocumentSettings &header = drawing.header;
    doc->versionDrawn = figure == 1 || IsReadableDrawingVersion(header.fileVersion);
    doc->printView = figure != 1 && doc->versionDrawn && read >= 1 && read <= 4 ? read : 0;
    doc->complete = !header.lastListFailed && !header.lastReadExhausted;
    *out = doc.release();
    return PLOTMIRA_OK;
}

void DescribeDocument(plotmira_document *doc, plotmira_info *info)
{
    const DocumentSettings &s = doc->drawing.header;
    const bool figure = doc->drawing.source.isFigure == 1;
    std::call_once(doc->describeOnce, [doc, &s] {
        auto made = std::make_unique<plotmira_document::Description>();
        for (int g = 0; g < kLayerGroups; ++g) {
            made->groupNames[g] = Utf8FromShiftJis(s.layerGroupName[g]);
            for (int l = 0; l < kLayersPerGroup; ++l) made->layerNames[g][l] = Utf8FromShiftJis(s.layerName[g][l]);
        }
        if (doc->versionDrawn) {
            SceneWalk walk(doc->drawing);
            ExtentDevice extent(walk);
            WalkScene(walk, &extent);
            made->hasExtent = extent.any;
            made->extent = extent.box;
            std::memcpy(made->groupObjects, extent.groupObjects, sizeof made->groupObjects);
        }
        doc->description = std::move(made);
    });
    const plotmira_document::Description &d = *doc->description;
    const StoreTables &t = doc->drawing.store;
    info->format = figure ? PLOTMIRA_FORMAT_JWS : PLOTMIRA_FORMAT_JWW;
    info->version = s.fileVersion;
    info->version_drawn = doc->versionDrawn ? 1 : 0;
    info->complete = doc->complete ? 1 : 0;
    CountRecords(t, &info->counts, &info->top_level);
    if (figure) {
        info->paper_size = 0;
        info->paper_name = "";
        info->sheet = {std::fmin(s.extentMinX, s.extentMaxX), std::fmin(s.extentMinY, s.extentMaxY),
                       std::fmax(s.extentMinX, s.extentMaxX), std::fmax(s.extentMinY, s.extentMaxY)};
    } else {
        info->paper_size = s.paperSize;
        info->paper_name = PaperName(s.paperSize);
        const double w = PaperWidthMm(s.paperSize), h = PaperHeightMm(s.paperSize);
        info->sheet = {-w / 2, -h / 2, w / 2, h / 2};
    }
    info->has_extent = d.hasExtent ? 1 : 0;
    info->extent = d.extent;
    info->view_count = 0;
    std::memset(info->views, 0, sizeof info->views);
    if (!figure && doc->versionDrawn) {
        info->view_count = s.fileVersion >= kVersionWithEightViews ? kRegisteredViews : kViewsBefore300;
        for (uint32_t n = 1; n <= info->view_count; ++n) {
            info->views[n - 1] = {s.viewOriginX[n], s.viewOriginY[n], s.viewZoom[n]};
        }
    }
    info->print_view = doc->printView;
    info->print_by_name = doc->printByName ? 1 : 0;
    for (int g = 0; g < kLayerGroups; ++g) {
        plotmira_layer_group &group = info->groups[g];
        group.name = d.groupNames[g].c_str();
        group.state = s.layerGroupState[g];
        group.scale = s.layerGroupScale[g];
        for (int l = 0; l < kLayersPerGroup; ++l) {
            group.layers[l] = {d.layerNames[g][l].c_str(), s.layerState[g][l]};
        }
    }
    std::memcpy(info->group_objects, d.groupObjects, sizeof info->group_objects);
    info->natural_width = doc->naturalWidth;
    info->natural_height = doc->naturalHeight;
    info->background = Rgb(doc->drawing.tables.penColor[0]);
    info->print_background = Rgb(doc->drawing.tables.printPenColor[0]);
}

std::vector<DocumentText> CollectTexts(const plotmira_document &doc)
{
    if (!doc.versionDrawn) return {};
    SceneWalk walk(doc.drawing);
    TextDevice device(walk);
    WalkScene(walk, &device);
    return std::move(device.texts);
}
