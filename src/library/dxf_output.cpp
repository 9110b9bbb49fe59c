#include "library/dxf_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "library/views.h"
#include "reader/document_readers.h"
#include "render/blocks.h"
#include "render/line_styles.h"
#include "render/render_context.h"
#include "render/scene_walk.h"
#include "settings/paths.h"

// What goes where:
//
//   drawing                 DXF
//   line                    LINE
//   arc, circle, ellipse    ARC, CIRCLE, ELLIPSE (R12: a POLYLINE for an ellipse)
//   point                   POINT
//   text                    TEXT, its macros expanded as drawn; a STYLE per face
//   solid, four corners     SOLID
//   solid, curved           HATCH with a solid fill (R12: SOLID pieces)
//   dimension               DIMENSION (aligned), drawn by its block *D of line,
//                           label, auxiliary lines and points
//   block definition        BLOCK .. ENDBLK, members in sheet millimetres
//   block reference         INSERT; in the main drawing at its group's scale
//   layer l of group g      LAYER "G-L name": shown on, hidden off,
//                           display-only locked; the colour of its most used pen
//   layer group             VIEWPORT of the paper-space layout at 1:scale,
//                           the other groups' layers frozen in it
//   pen                     ACI colour (62), true colour (420, 2018),
//                           lineweight (370, 2000 on)
//   line type n             LTYPE "JW_n": the 32-bit pattern in paper millimetres
//                           ($PSLTSCALE 1: dashes keep their paper length in
//                           every viewport)

namespace {

// (Character arrays, not pointers: the tables stay read-only data.)
struct VersionFacts {
    plotmira_dxf_version version;
    char acadVersion[8];
    bool handles;     // 2000 on: handles, owners, subclasses, layouts, lineweights, ellipses, hatches
    bool trueColour;  // group 420
    bool utf8;        // texts in UTF-8; else Shift-JIS under ANSI_932
};

constexpr VersionFacts kVersions[] = {
    {PLOTMIRA_DXF_2018, "AC1032", true, true, true},
    {PLOTMIRA_DXF_2000, "AC1015", true, false, false},
    {PLOTMIRA_DXF_R12, "AC1009", false, false, false},
};

constexpr double kTwoPi = 2 * 3.14159265358979323846;
constexpr double kDegrees = 180 / 3.14159265358979323846;
constexpr int kStepsPerTurn = 96;  // outline points of a full curve
constexpr size_t kFlushBytes = 1 << 16;
constexpr uint16_t kSolidOwnColour = 10;
constexpr uint8_t kFirstCurvedSolid = 100;
constexpr uint8_t kArcSolid = 101;
constexpr uint8_t kScaledBand = 105;
constexpr uint8_t kWidthBand = 106;
constexpr double kClosedArcMarker = 5.0;
constexpr int kLineweights[] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
// Windows faces and their font files, for the text styles.
struct FaceFile {
    char face[32];  // UTF-8
    char file[16];
};
constexpr FaceFile kFaceFiles[] = {
    {"ＭＳ ゴシック", "msgothic.ttc"}, {"ＭＳ Ｐゴシック", "msgothic.ttc"},
    {"MS UI Gothic", "msgothic.ttc"},  {"MS Gothic", "msgothic.ttc"},
    {"MS PGothic", "msgothic.ttc"},    {"ＭＳ 明朝", "msmincho.ttc"},
    {"ＭＳ Ｐ明朝", "msmincho.ttc"},   {"MS Mincho", "msmincho.ttc"},
    {"MS PMincho", "msmincho.ttc"},    {"メイリオ", "meiryo.ttc"},
    {"Meiryo", "meiryo.ttc"},          {"游ゴシック", "YuGothR.ttc"},
    {"Yu Gothic", "YuGothR.ttc"},      {"游明朝", "yumin.ttf"},
    {"Yu Mincho", "yumin.ttf"},        {"Arial", "arial.ttf"},
    {"Times New Roman", "times.ttf"},  {"Century", "CENTURY.TTF"},
};
constexpr const char kDefaultFace[] = "ＭＳ ゴシック";

struct Point2 {
    double x, y;
};

bool Finite(double a) { return std::isfinite(a); }
bool Finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }
bool Finite(double a, double b, double c, double d) { return Finite(a, b) && Finite(c, d); }

// The ACI palette: 1..9 by name, 10..249 twenty-four hues in five shades,
// each full and pale, 250..255 greys.
void AciColour(int index, double rgb[3])
{
    static constexpr unsigned char kNamed[10][3] = {{0, 0, 0},       {255, 0, 0},    {255, 255, 0}, {0, 255, 0},
                                                    {0, 255, 255},   {0, 0, 255},    {255, 0, 255}, {255, 255, 255},
                                                    {128, 128, 128}, {192, 192, 192}};
    static constexpr unsigned char kGreys[6] = {51, 80, 105, 130, 190, 255};
    static constexpr double kShades[5] = {1.0, 0.65, 0.5, 0.3, 0.15};
    if (index < 10) {
        for (int i = 0; i < 3; ++i) rgb[i] = kNamed[index][i];
        return;
    }
    if (index >= 250) {
        rgb[0] = rgb[1] = rgb[2] = kGreys[index - 250];
        return;
    }
    const double hue = (index / 10 - 1) * 15.0 / 60.0;
    const int sector = static_cast<int>(hue);
    const double f = hue - sector;
    const double ramp[6][3] = {{1, f, 0}, {1 - f, 1, 0}, {0, 1, f}, {0, 1 - f, 1}, {f, 0, 1}, {1, 0, 1 - f}};
    const int shade = index % 10;
    for (int i = 0; i < 3; ++i) {
        double c = ramp[sector % 6][i] * 255;
        if (shade % 2 == 1) c = c / 2 + 127.5;
        rgb[i] = c * kShades[shade / 2];
    }
}

int NearestAci(COLORREF colour)
{
    const double r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    int best = 7;
    double bestDistance = 1e300;
    for (int i = 1; i <= 255; ++i) {
        double c[3];
        AciColour(i, c);
        const double d = (c[0] - r) * (c[0] - r) + (c[1] - g) * (c[1] - g) + (c[2] - b) * (c[2] - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// White and black pens are colour 7, which every CAD program draws black on
// white paper and white on a dark screen; others their own colour and the
// nearest of the 255 beside it.
bool BlackOrWhite(COLORREF colour)
{
    const int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    return (r >= 0xF0 && g >= 0xF0 && b >= 0xF0) || (r <= 0x0F && g <= 0x0F && b <= 0x0F);
}

// A number of up to six decimals and fifteen digits (one that reads back
// from that decimal exactly), as "%.15g" writes it but without printf: most
// of a drawing's numbers. False for any other.
bool ShortDecimal(double value, char (&text)[40])
{
    const double size = std::fabs(value);
    if (value != 0 && !(size >= 1e-4 && size < 1e9)) return false;
    double scale = 1;
    for (int decimals = 0; decimals <= 6; ++decimals, scale *= 10) {
        const double scaled = std::nearbyint(value * scale);
        if (scaled / scale != value) continue;
        const long long whole = static_cast<long long>(std::fabs(scaled));
        char digits[24];
        size_t n = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, whole).ptr - digits);
        char *out = text;
        if (value < 0) *out++ = '-';
        if (decimals == 0) {
            std::memcpy(out, digits, n);
            out[n] = '\0';
            return true;
        }
        // Leading zeros up to one before the point: 0.05 is "005" with two decimals.
        const size_t d = static_cast<size_t>(decimals);
        const size_t width = std::max(n, d + 1);
        for (size_t i = 0; i < width - n; ++i) *out++ = '0';
        std::memcpy(out, digits, n);
        out += n;
        std::memmove(out - d + 1, out - d, d);
        out[-static_cast<ptrdiff_t>(d)] = '.';
        out[1] = '\0';
        return true;
    }
    return false;
}

// A Shift-JIS string taken apart: pairs of a lead and a trail byte, single
// bytes, and bytes that are neither (`bad`).
template <typename Take>
void WalkShiftJis(const char *text, Take take)
{
    if (text == nullptr) return;
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    while (*p != 0) {
        const bool lead = (*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC);
        if (lead && ((p[1] >= 0x40 && p[1] <= 0x7E) || (p[1] >= 0x80 && p[1] <= 0xFC))) {
            take(p, 2, false);
            p += 2;
            continue;
        }
        const bool single = *p < 0x80 || (*p >= 0xA1 && *p <= 0xDF);
        take(p, 1, !single);
        ++p;
    }
}

std::string Utf8FromCodePoint(uint32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

// The first code point of a UTF-8 string.
uint32_t FirstCodePoint(const std::string &utf8)
{
    if (utf8.empty()) return 0xFFFD;
    const auto *s = reinterpret_cast<const unsigned char *>(utf8.data());
    if (s[0] < 0x80) return s[0];
    const int extra = s[0] >= 0xF0 ? 3 : s[0] >= 0xE0 ? 2 : 1;
    uint32_t c = s[0] & (0x3F >> extra);
    for (int i = 1; i <= extra && i < static_cast<int>(utf8.size()); ++i) c = (c << 6) | (s[i] & 0x3F);
    return c;
}

// Closes the cycles of nested blocks: a definition that places itself, at
// any depth, is not placed by the reference that closes the loop.
class BlockGraph {
public:
    std::unordered_map<uint32_t, std::vector<uint32_t>> placed;  // definition -> nested references
    std::vector<bool> dropped;                                   // by reference index

    void Close(const RecordTable<BlockRefRecord> &refs, uint32_t count)
    {
        dropped.assign(count + 1, false);
        for (const auto &entry : placed) Visit(entry.first, refs);
    }

private:
    std::unordered_map<uint32_t, int> state_;  // 1 on the path, 2 done

    void Visit(uint32_t definition, const RecordTable<BlockRefRecord> &refs)
    {
        // An explicit stack: a chain of a hostile file may be as deep as its
        // references are many.
        struct Frame {
            uint32_t definition;
            size_t next;
        };
        if (state_[definition] != 0) return;
        std::vector<Frame> stack = {{definition, 0}};
        state_[definition] = 1;
        while (!stack.empty()) {
            Frame &top = stack.back();
            const auto found = placed.find(top.definition);
            if (found == placed.end() || top.next >= found->second.size()) {
                state_[top.definition] = 2;
                stack.pop_back();
                continue;
            }
            const uint32_t r = found->second[top.next++];
            const uint32_t target = refs[r].defNumber;
            int &s = state_[target];
            if (s == 1) {
                dropped[r] = true;
            } else if (s == 0) {
                s = 1;
                stack.push_back({target, 0});
            }
        }
    }
};

class DxfWriter {
public:
    DxfWriter(const plotmira_document &doc, const VersionFacts &facts, plotmira_write_callback write, void *data)
        : t_(doc.drawing.store), walk_(doc.drawing), v_(facts), write_(write), data_(data)
    {
    }

    SceneWalk &Walk() { return walk_; }
    plotmira_status Write();

private:
    // Where an entity goes: its owner (a block record), paper space or not,
    // and the factor its sheet millimetres are multiplied by.
    struct Frame {
        uint32_t owner;
        bool paper;
        double scale;
    };
    // A layer of the file, and its companion for the objects drawn in the
    // construction pen, which the picture leaves out: a layer that is off.
    struct Layer {
        bool used = false, auxUsed = false;
        uint32_t handle = 0, auxHandle = 0;
        std::map<uint16_t, uint32_t> pens;  // pen -> objects
        std::string name, auxName;
    };
    struct Block {
        uint32_t number;
        std::string name;
        uint32_t record = 0, begin = 0, end = 0;
        std::vector<std::pair<char, uint32_t>> members;  // kind ('L', 'A', ...) and record index
    };

    const StoreTables &t_;
    SceneWalk walk_;
    const VersionFacts &v_;
    plotmira_write_callback write_;
    void *data_;
    std::string out_;
    bool failed_ = false;

    uint32_t next_ = 1;
    uint32_t handleSeed_ = 0;
    // The fixed objects' handles.
    uint32_t vportTable_ = 0, ltypeTable_ = 0, layerTable_ = 0, styleTable_ = 0, viewTable_ = 0, ucsTable_ = 0,
             appidTable_ = 0, dimstyleTable_ = 0, blockTable_ = 0, activeVport_ = 0, byBlock_ = 0, byLayer_ = 0,
             continuous_ = 0, layer0_ = 0, appidAcad_ = 0, dimstyle_ = 0, modelRecord_ = 0, paperRecord_ = 0,
             modelBlock_ = 0, modelEnd_ = 0, paperBlock_ = 0, paperEnd_ = 0, rootDictionary_ = 0, groupDictionary_ = 0,
             layoutDictionary_ = 0, modelLayout_ = 0, paperLayout_ = 0;

    Layer layers_[kLayerGroups][kLayersPerGroup];
    const std::string layerZero_ = "0";     // of objects on layers outside the 16 x 16
    uint32_t ltypes_[kLineTypeCount] = {};  // handles of the line types in use; 0 unused or continuous
    std::vector<std::string> faces_;        // Shift-JIS faces; styles_[i] their handles
    std::vector<uint32_t> styles_;
    std::unordered_map<std::string, size_t> faceIndex_;
    std::vector<Block> blocks_;
    std::unordered_map<uint32_t, size_t> blockIndex_;
    std::vector<uint32_t> dimensionRecords_, dimensionBlocks_, dimensionEnds_;
    BlockGraph graph_;
    // The layers each group's viewport shows: its own, and those of the
    // members of the blocks its references place.
    uint16_t groupHasObjects_ = 0;
    std::vector<bool> viewportShows_[kLayerGroups];
    double mmPerPixel_ = 0.25;
    std::unordered_map<COLORREF, int> aci_;  // nearest ACI colours found
    int lineweights_[kPenCount];             // by pen; -1 not yet found
    bool figure_ = false;
    double paperWidth_ = 0, paperHeight_ = 0;
    double extent_[4] = {0, 0, 0, 0};
    bool hasExtent_ = false;

    // --- Output ---
    void Put(int code, const char *value);
    void Put(int code, const std::string &value) { Put(code, value.c_str()); }
    void Number(int code, double value);
    void Int(int code, long long value);
    void Hex(int code, uint32_t handle);
    void Flush();
    std::string Text(const char *shiftJis, bool name) const;
    std::string Encoded(const std::string &utf8) const;

    // --- Planning ---
    double GroupScale(uint16_t group) const;
    Layer *LayerOf(const EntityHeader &h);
    const std::string &LayerName(const EntityHeader &h, uint16_t pen);
    void NoteObject(const EntityHeader &h, uint16_t pen, int lineType);
    void NoteFace(const char *face);
    void NoteExtent(double x, double y);
    Block &BlockOf(uint32_t number);
    void Plan();
    void MarkViewportLayers(uint16_t group, uint32_t definition, std::vector<bool> &seen);

    // --- Entities ---
    // What an entity is coloured with: its pen (colour and lineweight), a
    // fill colour, or nothing (by layer).
    enum class Ink { kPen, kFill, kNone };
    void Begin(const char *type, const Frame &f, const EntityHeader &h, uint16_t pen, int lineType,
               const char *subclass, Ink ink = Ink::kPen, COLORREF fill = 0);
    void Colour(int code, COLORREF colour, bool on);
    void XY(int code, const Frame &f, double x, double y);
    uint16_t PenOf(const EntityHeader &h) const;
    COLORREF PenColour(uint16_t pen) const;
    void WriteLine(const LineRecord &line, const Frame &f, const EntityHeader &style);
    void WriteArc(const ArcRecord &arc, const Frame &f);
    void WriteCurve(const Frame &f, const EntityHeader &h, double cx, double cy, double radius, double start,
                    double sweep, double tilt, double flatness);
    void WritePoint(const PointRecord &point, const Frame &f, const EntityHeader &style);
    void WriteText(const TextRecord &text, const Frame &f);
    void WriteSolid(const SolidRecord &solid, const Frame &f);
    void WriteDimension(uint32_t index, const Frame &f);
    void WriteInsert(uint32_t index, const Frame &f);
    void WriteDimensionBlock(uint32_t index);
    void WriteViewport(int group, int number);

    // --- Sections ---
    void WriteHeader();
    void WriteTables();
    void TableStart(const char *name, uint32_t handle, size_t count);
    void RecordStart(const char *type, uint32_t handle, uint32_t table, const char *subclass);
    void WriteBlocks();
    void BlockStart(const std::string &name, uint32_t record, uint32_t begin, bool paper, int flags);
    void BlockEnd(uint32_t record, uint32_t end, bool paper);
    void WriteEntities();
    void WriteObjects();
    void WriteLayout(uint32_t handle, const char *name, int plotFlags, int order, uint32_t record);

    bool Stopped() { return failed_ || walk_.RenderStopped(); }
};

// --- Output -----------------------------------------------------------------

void DxfWriter::Put(int code, const char *value)
{
    // The code right-aligned in three places, as every writer has it.
    char tag[12];
    const size_t digits = static_cast<size_t>(std::to_chars(tag, tag + sizeof tag, code).ptr - tag);
    if (digits < 3) out_.append(3 - digits, ' ');
    out_.append(tag, digits);
    out_ += '\n';
    out_ += value;
    out_ += '\n';
    if (out_.size() >= kFlushBytes) Flush();
}

void DxfWriter::Number(int code, double value)
{
    if (!std::isfinite(value)) value = 0;
    // A short decimal as such, any other number in the 17 digits that read
    // back as it; the same in every build, with a point whatever the
    // locale's mark.
    value += 0.0;  // no "-0"
    char text[40];
    if (!ShortDecimal(value, text)) {
        std::snprintf(text, sizeof text, "%.17g", value);
        for (char *c = text; *c != 0; ++c) {
            if (*c == ',') *c = '.';
        }
    }
    Put(code, text);
}

void DxfWriter::Int(int code, long long value)
{
    char text[24];
    *std::to_chars(text, text + sizeof text - 1, value).ptr = '\0';
    Put(code, text);
}

void DxfWriter::Hex(int code, uint32_t handle)
{
    char text[12];
    std::snprintf(text, sizeof text, "%X", handle);
    Put(code, text);
}

void DxfWriter::Flush()
{
    if (!failed_ && !out_.empty() && write_(data_, out_.data(), out_.size()) != 0) failed_ = true;
    out_.clear();
}

// A text of the drawing as the version carries it: UTF-8, or Shift-JIS with
// what is not Shift-JIS as \U+XXXX. Control characters become spaces (a line
// break would end the value); a name's characters that names may not hold
// become "_".
std::string DxfWriter::Text(const char *shiftJis, bool name) const
{
    std::string result, pending;
    auto flush = [&] {
        result += v_.utf8 ? Utf8FromShiftJis(pending.c_str()) : pending;
        pending.clear();
    };
    WalkShiftJis(shiftJis, [&](const unsigned char *p, int n, bool bad) {
        if (bad) {
            const char one[2] = {static_cast<char>(*p), 0};
            const uint32_t c = FirstCodePoint(Utf8FromShiftJis(one));
            flush();
            if (name) {
                result += '_';  // names hold no backslash
            } else if (v_.utf8) {
                result += Utf8FromCodePoint(c);
            } else {
                char code[12];
                std::snprintf(code, sizeof code, "\\U+%04X", c);
                result += code;
            }
        } else if (n == 1 && *p < 0x20) {
            pending += name ? '_' : ' ';
        } else if (n == 1 && name && std::strchr("<>/\\\":;?*|=`", *p) != nullptr) {
            pending += '_';
        } else {
            pending.append(reinterpret_cast<const char *>(p), static_cast<size_t>(n));
        }
    });
    flush();
    return result;
}

// A text of the program's own (UTF-8) as the version carries it.
std::string DxfWriter::Encoded(const std::string &utf8) const { return v_.utf8 ? utf8 : PathAsShiftJis(utf8); }

// --- Planning ---------------------------------------------------------------

double DxfWriter::GroupScale(uint16_t group) const
{
    if (figure_ || group >= kLayerGroups) return 1;
    const double s = walk_.layerGroupScale[group];
    return std::isfinite(s) && s > 0 ? s : 1;
}

DxfWriter::Layer *DxfWriter::LayerOf(const EntityHeader &h)
{
    if (h.layerGroup >= kLayerGroups || h.layer >= kLayersPerGroup) return nullptr;
    return &layers_[h.layerGroup][h.layer];
}

const std::string &DxfWriter::LayerName(const EntityHeader &h, uint16_t pen)
{
    const Layer *layer = LayerOf(h);
    if (layer == nullptr) return layerZero_;
    return pen == kDisplayOnlyPen ? layer->auxName : layer->name;
}

uint16_t DxfWriter::PenOf(const EntityHeader &h) const { return h.penColor < kPenCount ? h.penColor : 1; }

COLORREF DxfWriter::PenColour(uint16_t pen) const { return walk_.penColorTable[pen < kPenCount ? pen : 1]; }

void DxfWriter::NoteObject(const EntityHeader &h, uint16_t pen, int lineType)
{
    Layer *layer = LayerOf(h);
    if (layer != nullptr && pen == kDisplayOnlyPen) {
        layer->auxUsed = true;
    } else if (layer != nullptr) {
        layer->used = true;
        ++layer->pens[pen];
    }
    if (lineType >= 0 && lineType < kLineTypeCount) ltypes_[lineType] = 1;
}

void DxfWriter::NoteFace(const char *face)
{
    const std::string key = face != nullptr ? face : "";
    if (faceIndex_.count(key) != 0) return;
    faceIndex_.emplace(key, faces_.size());
    faces_.push_back(key);
}

void DxfWriter::NoteExtent(double x, double y)
{
    if (!Finite(x, y)) return;
    if (!hasExtent_) {
        extent_[0] = extent_[2] = x;
        extent_[1] = extent_[3] = y;
        hasExtent_ = true;
        return;
    }
    extent_[0] = std::min(extent_[0], x);
    extent_[1] = std::min(extent_[1], y);
    extent_[2] = std::max(extent_[2], x);
    extent_[3] = std::max(extent_[3], y);
}

DxfWriter::Block &DxfWriter::BlockOf(uint32_t number)
{
    const auto found = blockIndex_.find(number);
    if (found != blockIndex_.end()) return blocks_[found->second];
    blockIndex_.emplace(number, blocks_.size());
    blocks_.push_back(Block{number, {}, 0, 0, 0, {}});
    return blocks_.back();
}

void DxfWriter::MarkViewportLayers(uint16_t group, uint32_t definition, std::vector<bool> &seen)
{
    // Breadth first over the definitions the group's references reach.
    std::vector<uint32_t> queue = {definition};
    while (!queue.empty()) {
        const uint32_t number = queue.back();
        queue.pop_back();
        const auto found = blockIndex_.find(number);
        if (found == blockIndex_.end() || seen[found->second]) continue;
        seen[found->second] = true;
        for (const auto &member : blocks_[found->second].members) {
            const uint32_t i = member.second;
            const EntityHeader *h = nullptr;
            switch (member.first) {
            case 'L': h = &t_.lines[i].header; break;
            case 'A': h = &t_.arcs[i].header; break;
            case 'P': h = &t_.points[i].header; break;
            case 'T': h = &t_.texts[i].header; break;
            case 'S': h = &t_.solids[i].header; break;
            case 'D': h = &t_.dimensions[i].line.header; break;
            case 'I':
                queue.push_back(t_.blockRefs[i].defNumber);
                h = &t_.blockRefs[i].header;
                break;
            default: break;
            }
            if (h != nullptr && h->layerGroup < kLayerGroups && h->layer < kLayersPerGroup) {
                viewportShows_[group][h->layerGroup * kLayersPerGroup + h->layer] = true;
            }
            if (member.first == 'D') {
                const EntityHeader &label = t_.dimensions[i].label.header;
                if (label.layerGroup < kLayerGroups && label.layer < kLayersPerGroup) {
                    viewportShows_[group][label.layerGroup * kLayersPerGroup + label.layer] = true;
                }
            }
        }
    }
}

void DxfWriter::Plan()
{
    figure_ = walk_.isFigureFile == 1;
    const double scale = walk_.renderContext.viewScale;
    if (std::isfinite(scale) && scale > 0) mmPerPixel_ = 1 / scale;
    paperWidth_ = PaperWidthMm(walk_.paperSize);
    paperHeight_ = PaperHeightMm(walk_.paperSize);
    NoteFace("");

    // Every object: its layer and pen, its line type, its face; the main
    // drawing's extent; the blocks' members.
    auto top = [&](const EntityHeader &h) {
        if (h.layerGroup < kLayerGroups) groupHasObjects_ |= static_cast<uint16_t>(1u << h.layerGroup);
    };
    for (uint32_t i = 1; i <= t_.lineCount; ++i) {
        const LineRecord &l = t_.lines[i];
        NoteObject(l.header, PenOf(l.header), l.header.penStyle);
        if (i < t_.firstBlockLine) {
            top(l.header);
            const double s = GroupScale(l.header.layerGroup);
            NoteExtent(l.x1 * s, l.y1 * s);
            NoteExtent(l.x2 * s, l.y2 * s);
        } else {
            BlockOf(static_cast<uint32_t>(l.owner)).members.push_back({'L', i});
        }
    }
    for (uint32_t i = 1; i <= t_.arcCount; ++i) {
        const ArcRecord &a = t_.arcs[i];
        NoteObject(a.header, PenOf(a.header), a.header.penStyle);
        if (i < t_.firstBlockArc) {
            top(a.header);
            const double s = GroupScale(a.header.layerGroup),
                         r = std::fabs(a.radius) * std::max(1.0, std::fabs(a.flatness));
            NoteExtent((a.cx - r) * s, (a.cy - r) * s);
            NoteExtent((a.cx + r) * s, (a.cy + r) * s);
        } else {
            BlockOf(static_cast<uint32_t>(a.owner)).members.push_back({'A', i});
        }
    }
    for (uint32_t i = 1; i <= t_.pointCount; ++i) {
        const PointRecord &p = t_.points[i];
        NoteObject(p.header, PenOf(p.header), -1);
        if (i < t_.firstBlockPoint) {
            top(p.header);
            const double s = GroupScale(p.header.layerGroup);
            NoteExtent(p.x * s, p.y * s);
        } else {
            BlockOf(static_cast<uint32_t>(p.owner)).members.push_back({'P', i});
        }
    }
    for (uint32_t i = 1; i <= t_.textCount; ++i) {
        const TextRecord &x = t_.texts[i];
        NoteObject(x.header, PenOf(x.header), -1);
        NoteFace(x.fontName);
        if (i < t_.firstBlockText) {
            top(x.header);
            const double s = GroupScale(x.header.layerGroup);
            NoteExtent(x.x1 * s, x.y1 * s);
            NoteExtent(x.x2 * s, x.y2 * s);
        } else {
            BlockOf(static_cast<uint32_t>(x.owner)).members.push_back({'T', i});
        }
    }
    for (uint32_t i = 1; i <= t_.solidCount; ++i) {
        const SolidRecord &x = t_.solids[i];
        NoteObject(x.header, PenOf(x.header), -1);
        if (i < t_.firstBlockSolid) {
            top(x.header);
            const double s = GroupScale(x.header.layerGroup);
            NoteExtent(x.x1 * s, x.y1 * s);
        } else {
            BlockOf(static_cast<uint32_t>(x.owner)).members.push_back({'S', i});
        }
    }
    for (uint32_t i = 1; i <= t_.dimensionCount; ++i) {
        const DimensionRecord &d = t_.dimensions[i];
        NoteObject(d.line.header, PenOf(d.line.header), d.line.header.penStyle);
        NoteObject(d.label.header, PenOf(d.label.header), -1);
        NoteFace(d.label.fontName);
        if (i < t_.firstBlockDimension) {
            top(d.line.header);
            const double s = GroupScale(d.line.header.layerGroup);
            NoteExtent(d.line.x1 * s, d.line.y1 * s);
            NoteExtent(d.line.x2 * s, d.line.y2 * s);
        } else {
            BlockOf(static_cast<uint32_t>(d.line.owner)).members.push_back({'D', i});
        }
    }
    for (uint32_t i = 1; i <= t_.blockDefCount; ++i) {
        Block &b = BlockOf(t_.blockDefs[i].defNumber);
        if (b.name.empty() && t_.blockDefs[i].name != nullptr) b.name = Text(t_.blockDefs[i].name, true);
    }
    for (uint32_t i = 1; i <= t_.blockRefCount; ++i) {
        const BlockRefRecord &r = t_.blockRefs[i];
        NoteObject(r.header, PenOf(r.header), -1);
        BlockOf(r.defNumber);
        if (r.owner == kTopLevelOwner) {
            top(r.header);
            const double s = GroupScale(r.header.layerGroup);
            NoteExtent(r.x * s, r.y * s);
        } else {
            BlockOf(static_cast<uint32_t>(r.owner)).members.push_back({'I', i});
            graph_.placed[static_cast<uint32_t>(r.owner)].push_back(i);
        }
    }
    graph_.Close(t_.blockRefs, t_.blockRefCount);

    // Handles: the fixed objects, then the tables' records and the blocks.
    for (uint32_t *h :
         {&vportTable_,       &ltypeTable_,    &layerTable_, &styleTable_,  &viewTable_,      &ucsTable_,
          &appidTable_,       &dimstyleTable_, &blockTable_, &activeVport_, &byBlock_,        &byLayer_,
          &continuous_,       &layer0_,        &appidAcad_,  &dimstyle_,    &modelRecord_,    &paperRecord_,
          &modelBlock_,       &modelEnd_,      &paperBlock_, &paperEnd_,    &rootDictionary_, &groupDictionary_,
          &layoutDictionary_, &modelLayout_,   &paperLayout_}) {
        *h = next_++;
    }
    for (int g = 0; g < kLayerGroups; ++g) {
        for (int l = 0; l < kLayersPerGroup; ++l) {
            Layer &layer = layers_[g][l];
            if (!layer.used && !layer.auxUsed) continue;
            layer.handle = next_++;
            layer.auxHandle = next_++;
            char prefix[8];
            std::snprintf(prefix, sizeof prefix, "%X-%X", g, l);
            const std::string name = Text(walk_.drawing.header.layerName[g][l], true);
            layer.name = name.empty() ? prefix : std::string(prefix) + " " + name;
            layer.auxName = layer.name + Encoded(" 補助線");
        }
    }
    for (int n = 0; n < kLineTypeCount; ++n) {
        const uint32_t pattern = walk_.linePatternTable[n];
        ltypes_[n] = ltypes_[n] != 0 && pattern != 0 && pattern != 0xFFFFFFFFu ? next_++ : 0;
    }
    for (size_t i = 0; i < faces_.size(); ++i) styles_.push_back(next_++);
    std::unordered_map<std::string, int> names;
    for (const Block &b : blocks_) ++names[b.name];
    for (Block &b : blocks_) {
        if (b.name.empty() || b.name[0] == '*' || names[b.name] > 1) b.name = "BLOCK" + std::to_string(b.number);
        b.record = next_++;
        b.begin = next_++;
        b.end = next_++;
    }
    for (uint32_t i = 1; i <= t_.dimensionCount; ++i) {
        dimensionRecords_.push_back(next_++);
        dimensionBlocks_.push_back(next_++);
        dimensionEnds_.push_back(next_++);
    }
    // The entities come after: each takes one handle, a dimension with what
    // its block draws at most seven, the viewports one each (R12 has no
    // handles).
    const uint64_t entities = uint64_t{t_.lineCount} + t_.arcCount + t_.pointCount + t_.textCount + t_.solidCount +
                              t_.blockRefCount + 10ull * t_.dimensionCount + kLayerGroups + 16;
    handleSeed_ = static_cast<uint32_t>(std::min<uint64_t>(next_ + entities, 0xFFFFFFF0u));

    // What each group's viewport shows.
    for (int g = 0; g < kLayerGroups; ++g) {
        viewportShows_[g].assign(kLayerGroups * kLayersPerGroup, false);
        for (int l = 0; l < kLayersPerGroup; ++l) viewportShows_[g][g * kLayersPerGroup + l] = true;
    }
    // A definition is walked once per group, however many references
    // place it: the work stays within groups x (blocks + members).
    std::vector<bool> seen[kLayerGroups];
    for (std::vector<bool> &group : seen) group.assign(blocks_.size(), false);
    for (uint32_t i = 1; i <= t_.blockRefCount && !Stopped(); ++i) {
        const BlockRefRecord &r = t_.blockRefs[i];
        if (r.owner != kTopLevelOwner || r.header.layerGroup >= kLayerGroups) continue;
        MarkViewportLayers(r.header.layerGroup, r.defNumber, seen[r.header.layerGroup]);
    }
}

// --- Entities ---------------------------------------------------------------

void DxfWriter::Colour(int code, COLORREF colour, bool on)
{
    auto found = aci_.find(colour);
    if (found == aci_.end()) found = aci_.emplace(colour, BlackOrWhite(colour) ? 7 : NearestAci(colour)).first;
    const int aci = found->second;
    Int(code, on ? aci : -aci);
    if (v_.trueColour && aci != 7) Int(420, (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
}

void DxfWriter::Begin(const char *type, const Frame &f, const EntityHeader &h, uint16_t pen, int lineType,
                      const char *subclass, Ink ink, COLORREF fill)
{
    Put(0, type);
    if (v_.handles) {
        Hex(5, next_++);
        Hex(330, f.owner);
        Put(100, "AcDbEntity");
    }
    if (f.paper) Int(67, 1);
    Put(8, LayerName(h, pen));
    if (lineType >= 0) {
        const int type = lineType < kLineTypeCount ? lineType : kLineTypeSolid;
        Put(6, ltypes_[type] != 0 ? "JW_" + std::to_string(type) : std::string("Continuous"));
    }
    if (ink == Ink::kFill) Colour(62, fill, true);
    if (ink == Ink::kPen && pen != 0) {
        Colour(62, PenColour(pen), true);
        if (v_.handles) {
            // The pen's width in pixels of the natural picture, on paper.
            int &weight = lineweights_[pen];
            if (weight < 0) {
                const double hundredths = std::max<uint32_t>(walk_.penWidthTable[pen], 1) * mmPerPixel_ * 100;
                weight = kLineweights[0];
                for (int w : kLineweights) {
                    if (std::fabs(w - hundredths) < std::fabs(weight - hundredths)) weight = w;
                }
            }
            Int(370, weight);
        }
    }
    if (v_.handles && subclass != nullptr) Put(100, subclass);
}

void DxfWriter::XY(int code, const Frame &f, double x, double y)
{
    Number(code, x * f.scale);
    Number(code + 10, y * f.scale);
    Number(code + 20, 0);
}

void DxfWriter::WriteLine(const LineRecord &line, const Frame &f, const EntityHeader &style)
{
    if (!Finite(line.x1, line.y1, line.x2, line.y2)) return;
    Begin("LINE", f, style, PenOf(style), line.header.penStyle, "AcDbLine");
    XY(10, f, line.x1, line.y1);
    XY(11, f, line.x2, line.y2);
}

void DxfWriter::WriteCurve(const Frame &f, const EntityHeader &h, double cx, double cy, double radius, double start,
                           double sweep, double tilt, double flatness)
{
    if (!Finite(cx, cy, radius, start) || !Finite(sweep, tilt, flatness, 0)) return;
    if (sweep < 0) {
        start += sweep;
        sweep = -sweep;
    }
    const bool full = sweep >= kTwoPi - 1e-9;
    if (full) sweep = kTwoPi;
    const uint16_t pen = PenOf(h);
    radius = std::fabs(radius);
    flatness = std::fabs(flatness);
    if (std::fabs(flatness - 1) < 1e-12) {
        Begin(full ? "CIRCLE" : "ARC", f, h, pen, h.penStyle, "AcDbCircle");
        XY(10, f, cx, cy);
        Number(40, radius * f.scale);
        if (!full) {
            if (v_.handles) Put(100, "AcDbArc");
            Number(50, (start + tilt) * kDegrees);
            Number(51, (start + sweep + tilt) * kDegrees);
        }
        return;
    }
    if (v_.handles) {
        // The longer axis is the major one; a flatness above 1 turns the
        // axes and moves the parameters a quarter turn back.
        double major = radius, ratio = std::max(flatness, 1e-6), axis = tilt, shift = 0;
        if (flatness > 1) {
            major = radius * flatness;
            ratio = 1 / flatness;
            axis = tilt + kTwoPi / 4;
            shift = -kTwoPi / 4;
        }
        Begin("ELLIPSE", f, h, pen, h.penStyle, "AcDbEllipse");
        XY(10, f, cx, cy);
        Number(11, major * std::cos(axis) * f.scale);
        Number(21, major * std::sin(axis) * f.scale);
        Number(31, 0);
        Number(40, ratio);
        Number(41, full ? 0 : start + shift);
        Number(42, full ? kTwoPi : start + sweep + shift);
        return;
    }
    // R12 has no ellipse: a polyline through the outline.
    const int steps = std::max(8, static_cast<int>(std::ceil(kStepsPerTurn * sweep / kTwoPi)));
    Begin("POLYLINE", f, h, pen, h.penStyle, nullptr);
    Int(66, 1);
    XY(10, f, 0, 0);
    Int(70, full ? 1 : 0);
    const std::string &layer = LayerName(h, pen);
    for (int i = 0; i < (full ? steps : steps + 1); ++i) {
        const double a = start + sweep * i / steps;
        double x, y;
        RotatePoint(cx + radius * std::cos(a), cy + radius * flatness * std::sin(a), cx, cy, tilt, &x, &y);
        Put(0, "VERTEX");
        Put(8, layer);
        XY(10, f, x, y);
    }
    Put(0, "SEQEND");
    Put(8, layer);
}

void DxfWriter::WriteArc(const ArcRecord &arc, const Frame &f)
{
    WriteCurve(f, arc.header, arc.cx, arc.cy, arc.radius, arc.startAngle, arc.sweepAngle, arc.tiltAngle, arc.flatness);
}

void DxfWriter::WritePoint(const PointRecord &point, const Frame &f, const EntityHeader &style)
{
    if (!Finite(point.x, point.y)) return;
    Begin("POINT", f, style, PenOf(style), -1, "AcDbPoint");
    XY(10, f, point.x, point.y);
}

void DxfWriter::WriteText(const TextRecord &text, const Frame &f)
{
    if (text.text == nullptr || !Finite(text.x1, text.y1, text.x2, text.y2) ||
        !Finite(text.charHeight, text.charWidth, text.charSpacing, 0)) {
        return;
    }
    const char *drawn = walk_.ExpandTextMacro(text.text, text.header.layerGroup) ? walk_.macroBuffer : text.text;
    const std::string value = Text(drawn, false);
    if (value.empty()) return;
    const double height = std::fabs(text.charHeight);
    const double width = height > 0 ? (std::fabs(text.charWidth) + text.charSpacing) / height : 1;
    const double angle =
        text.x2 == text.x1 && text.y2 == text.y1 ? 0 : std::atan2(text.y2 - text.y1, text.x2 - text.x1) * kDegrees;
    Begin("TEXT", f, text.header, PenOf(text.header), -1, "AcDbText");
    XY(10, f, text.x1, text.y1);
    Number(40, height > 0 ? height * f.scale : f.scale);
    Put(1, value);
    Number(50, angle);
    Number(41, width > 0.01 && width < 100 ? width : 1);
    const auto face = faceIndex_.find(text.fontName != nullptr ? text.fontName : "");
    const size_t style = face != faceIndex_.end() ? face->second : 0;
    Put(7, style == 0 ? std::string("Standard") : "JW" + std::to_string(style));
    if (v_.handles) Put(100, "AcDbText");
}

void DxfWriter::WriteSolid(const SolidRecord &solid, const Frame &f)
{
    const uint8_t kind = solid.header.penStyle;
    const uint16_t pen = PenOf(solid.header);
    const COLORREF colour = pen == kSolidOwnColour ? solid.fillColor : PenColour(pen);
    auto begin = [&](const char *type, const char *subclass) {
        Begin(type, f, solid.header, pen, -1, subclass, Ink::kFill, colour);
    };
    const double v[8] = {solid.x1, solid.y1, solid.x2, solid.y2, solid.x3, solid.y3, solid.x4, solid.y4};
    for (double value : v) {
        if (!Finite(value)) return;
    }
    if (kind < kFirstCurvedSolid) {
        // A solid's third and fourth corners are crossed: 1, 2, 4, 3 go round.
        begin("SOLID", "AcDbTrace");
        XY(10, f, v[0], v[1]);
        XY(11, f, v[2], v[3]);
        XY(12, f, v[6], v[7]);
        XY(13, f, v[4], v[5]);
        return;
    }
    if (kind != kArcSolid && kind != kScaledBand && kind != kWidthBand) return;
    // The outline: the arc (centre v0 v1, radius v2, flatness v3, tilt v4,
    // start v5, sweep v6), then for a band the inner arc back.
    const double cx = v[0], cy = v[1], radius = v[2], flatness = v[3], tilt = v[4];
    double start = v[5], sweep = v[6];
    if (sweep < 0) {
        start += sweep;
        sweep = -sweep;
    }
    sweep = std::min(sweep, kTwoPi);
    const int steps = std::max(4, static_cast<int>(std::ceil(kStepsPerTurn * sweep / kTwoPi)));
    std::vector<Point2> outer, inner;
    for (int i = 0; i <= steps; ++i) {
        const double a = start + sweep * i / steps;
        Point2 p;
        RotatePoint(cx + radius * std::cos(a), cy + radius * flatness * std::sin(a), cx, cy, tilt, &p.x, &p.y);
        outer.push_back(p);
        if (kind == kScaledBand) {
            const double ratio = radius != 0 ? v[7] / radius : 0;
            inner.push_back({cx + (p.x - cx) * ratio, cy + (p.y - cy) * ratio});
        } else if (kind == kWidthBand) {
            const double d = std::hypot(p.x - cx, p.y - cy), w = radius - v[7];
            const double ratio = d > 0 ? (d - w) / d : 1;
            inner.push_back({cx + (p.x - cx) * ratio, cy + (p.y - cy) * ratio});
        }
    }
    const bool sector = kind == kArcSolid && v[7] != kClosedArcMarker;
    if (v_.handles) {
        std::vector<Point2> outline = outer;
        outline.insert(outline.end(), inner.rbegin(), inner.rend());
        if (sector) outline.push_back({cx, cy});
        begin("HATCH", "AcDbHatch");
        XY(10, f, 0, 0);
        Number(210, 0);
        Number(220, 0);
        Number(230, 1);
        Put(2, "SOLID");
        Int(70, 1);
        Int(71, 0);
        Int(91, 1);
        Int(92, 3);  // an outer polyline
        Int(72, 0);
        Int(73, 1);
        Int(93, static_cast<long long>(outline.size()));
        for (const Point2 &p : outline) {
            Number(10, p.x * f.scale);
            Number(20, p.y * f.scale);
        }
        Int(97, 0);
        Int(75, 0);
        Int(76, 1);
        Int(98, 0);
        return;
    }
    // R12: the outline as solids, a fan for an arc solid, quadrilaterals
    // between the arcs for a band.
    const Point2 pivot = sector ? Point2{cx, cy} : outer.front();
    for (size_t i = 1; i < outer.size(); ++i) {
        const Point2 a = outer[i - 1], b = outer[i];
        const Point2 c = inner.empty() ? pivot : inner[i], d = inner.empty() ? pivot : inner[i - 1];
        begin("SOLID", nullptr);
        XY(10, f, a.x, a.y);
        XY(11, f, b.x, b.y);
        XY(12, f, d.x, d.y);
        XY(13, f, c.x, c.y);
    }
}

void DxfWriter::WriteDimension(uint32_t index, const Frame &f)
{
    const DimensionRecord &d = t_.dimensions[index];
    const LineRecord &line = d.line;
    if (!Finite(line.x1, line.y1, line.x2, line.y2)) return;
    Begin("DIMENSION", f, line.header, PenOf(line.header), -1, "AcDbDimension");
    Put(2, "*D" + std::to_string(index));
    XY(10, f, line.x2, line.y2);
    const TextRecord &label = d.label;
    if (Finite(label.x1, label.y1, label.x2, label.y2)) {
        XY(11, f, (label.x1 + label.x2) / 2, (label.y1 + label.y2) / 2);
    } else {
        XY(11, f, line.x2, line.y2);
    }
    Int(70, 1 | 32);  // aligned, its block its own
    const char *drawn = label.text == nullptr                                             ? ""
                        : walk_.ExpandTextMacro(label.text, label.header.layerGroup) != 0 ? walk_.macroBuffer
                                                                                          : label.text;
    Put(1, Text(drawn, false));
    Put(3, "Standard");
    if (v_.handles) Put(100, "AcDbAlignedDimension");
    XY(13, f, line.x1, line.y1);
    XY(14, f, line.x2, line.y2);
}

// A dimension's block: what the plug-in draws of it, at the scale of the
// frame the dimension is in.
void DxfWriter::WriteDimensionBlock(uint32_t index)
{
    const DimensionRecord &d = t_.dimensions[index];
    const uint32_t record = dimensionRecords_[index - 1];
    const double scale = index < t_.firstBlockDimension ? GroupScale(d.line.header.layerGroup) : 1;
    const Frame f = {record, false, scale};
    BlockStart("*D" + std::to_string(index), record, dimensionBlocks_[index - 1], false, 1);
    WriteLine(d.line, f, d.line.header);
    WriteText(d.label, f);
    if (d.auxDrawMode != 0) {
        WriteLine(d.auxLine1, f, d.label.header);
        WriteLine(d.auxLine2, f, d.label.header);
        WritePoint(d.auxPoint1, f, d.label.header);
        WritePoint(d.auxPoint2, f, d.label.header);
    }
    BlockEnd(record, dimensionEnds_[index - 1], false);
}

void DxfWriter::WriteInsert(uint32_t index, const Frame &f)
{
    const BlockRefRecord &r = t_.blockRefs[index];
    if (graph_.dropped[index]) return;
    if (!Finite(r.x, r.y, r.scaleX, r.scaleY) || !Finite(r.rotation) || r.scaleX == 0 || r.scaleY == 0) return;
    const auto found = blockIndex_.find(r.defNumber);
    if (found == blockIndex_.end()) return;
    Begin("INSERT", f, r.header, PenOf(r.header), -1, "AcDbBlockReference", Ink::kNone);
    Put(2, blocks_[found->second].name);
    XY(10, f, r.x, r.y);
    Number(41, r.scaleX * f.scale);
    Number(42, r.scaleY * f.scale);
    Number(43, f.scale);
    Number(50, r.rotation * kDegrees);
}

// A viewport of the layout, the whole paper: the first (number 1) is the
// paper itself, as every layout has it; the others each show a group at
// its scale with the other groups' layers frozen.
void DxfWriter::WriteViewport(int group, int number)
{
    const bool sheet = group < 0;
    const double scale = sheet ? 1 : GroupScale(static_cast<uint16_t>(group));
    const double centreX = sheet ? paperWidth_ / 2 : 0, centreY = sheet ? paperHeight_ / 2 : 0;
    auto frozen = [&](int g, int l) {
        return !sheet && layers_[g][l].used && !viewportShows_[group][g * kLayersPerGroup + l];
    };
    const Frame paper = {paperRecord_, true, 1};
    Put(0, "VIEWPORT");
    if (v_.handles) {
        Hex(5, next_++);
        Hex(330, paperRecord_);
        Put(100, "AcDbEntity");
    }
    Int(67, 1);
    Put(8, "0");
    if (v_.handles) Put(100, "AcDbViewport");
    XY(10, paper, paperWidth_ / 2, paperHeight_ / 2);
    Number(40, paperWidth_);
    Number(41, paperHeight_);
    Int(68, number);
    Int(69, number);
    if (v_.handles) {
        Number(12, centreX);
        Number(22, centreY);
        Number(13, 0);
        Number(23, 0);
        Number(14, 10);
        Number(24, 10);
        Number(15, 10);
        Number(25, 10);
        Number(16, 0);
        Number(26, 0);
        Number(36, 1);
        XY(17, paper, 0, 0);
        Number(42, 50);
        Number(43, 0);
        Number(44, 0);
        Number(45, paperHeight_ * scale);
        Number(50, 0);
        Number(51, 0);
        Int(72, 100);
        for (int g = 0; g < kLayerGroups; ++g) {
            for (int l = 0; l < kLayersPerGroup; ++l) {
                if (frozen(g, l)) Hex(331, layers_[g][l].handle);
            }
        }
        Int(90, 0);
        Put(1, "");
        Int(281, 0);
        Int(71, 0);
        Int(74, 0);
        return;
    }
    // R12 keeps a viewport's view and frozen layers in its extended data.
    Put(1001, "ACAD");
    Put(1000, "MVIEW");
    Put(1002, "{");
    Int(1070, 16);
    Number(1010, 0);
    Number(1020, 0);
    Number(1030, 0);
    Number(1010, 0);
    Number(1020, 0);
    Number(1030, 1);
    for (double value : {0.0, paperHeight_ * scale, centreX, centreY, 50.0, 0.0, 0.0}) Number(1040, value);
    for (int value : {0, 100, 0, 0, 0, 0, 0, 0}) Int(1070, value);
    for (double value : {0.0, 0.0, 0.0, 10.0, 10.0, 10.0, 10.0}) Number(1040, value);
    Int(1070, 0);
    Put(1002, "{");
    for (int g = 0; g < kLayerGroups; ++g) {
        for (int l = 0; l < kLayersPerGroup; ++l) {
            if (frozen(g, l)) Put(1003, layers_[g][l].name);
        }
    }
    Put(1002, "}");
    Put(1002, "}");
}

// --- Sections ---------------------------------------------------------------

void DxfWriter::WriteHeader()
{
    Put(0, "SECTION");
    Put(2, "HEADER");
    Put(9, "$ACADVER");
    Put(1, v_.acadVersion);
    Put(9, "$DWGCODEPAGE");
    Put(3, "ANSI_932");
    if (v_.handles) {
        Put(9, "$HANDSEED");
        Hex(5, handleSeed_);
        Put(9, "$INSUNITS");
        Int(70, 4);
    }
    const Frame plain = {0, false, 1};
    Put(9, "$INSBASE");
    XY(10, plain, 0, 0);
    Put(9, "$EXTMIN");
    XY(10, plain, extent_[0], extent_[1]);
    Put(9, "$EXTMAX");
    XY(10, plain, extent_[2], extent_[3]);
    Put(9, "$LIMMIN");
    Number(10, extent_[0]);
    Number(20, extent_[1]);
    Put(9, "$LIMMAX");
    Number(10, extent_[2]);
    Number(20, extent_[3]);
    Put(9, "$LTSCALE");
    Number(40, 1);
    Put(9, "$PSLTSCALE");
    Int(70, 1);
    Put(9, "$MEASUREMENT");
    Int(70, 1);
    Put(9, "$LUNITS");
    Int(70, 2);
    Put(9, "$TILEMODE");
    Int(70, 1);
    if (!figure_) {
        Put(9, "$PLIMMIN");
        Number(10, 0);
        Number(20, 0);
        Put(9, "$PLIMMAX");
        Number(10, paperWidth_);
        Number(20, paperHeight_);
    }
    Put(0, "ENDSEC");
    if (v_.handles) {
        Put(0, "SECTION");
        Put(2, "CLASSES");
        Put(0, "CLASS");
        Put(1, "LAYOUT");
        Put(2, "AcDbLayout");
        Put(3, "ObjectDBX Classes");
        Int(90, 0);
        Int(280, 0);
        Int(281, 0);
        Put(0, "ENDSEC");
    }
}

void DxfWriter::TableStart(const char *name, uint32_t handle, size_t count)
{
    Put(0, "TABLE");
    Put(2, name);
    if (v_.handles) {
        Hex(5, handle);
        Hex(330, 0);
        Put(100, "AcDbSymbolTable");
    }
    Int(70, static_cast<long long>(count));
    if (v_.handles && std::strcmp(name, "DIMSTYLE") == 0) {
        Put(100, "AcDbDimStyleTable");
        Int(71, 0);
    }
}

void DxfWriter::RecordStart(const char *type, uint32_t handle, uint32_t table, const char *subclass)
{
    Put(0, type);
    if (!v_.handles) return;
    Hex(std::strcmp(type, "DIMSTYLE") == 0 ? 105 : 5, handle);
    Hex(330, table);
    Put(100, "AcDbSymbolTableRecord");
    Put(100, subclass);
}

void DxfWriter::WriteTables()
{
    Put(0, "SECTION");
    Put(2, "TABLES");

    TableStart("VPORT", vportTable_, 1);
    RecordStart("VPORT", activeVport_, vportTable_, "AcDbViewportTableRecord");
    Put(2, "*ACTIVE");
    Int(70, 0);
    const double w = std::max(extent_[2] - extent_[0], 1.0), h = std::max(extent_[3] - extent_[1], 1.0);
    for (const auto &pair : std::initializer_list<std::pair<int, double>>{{10, 0},
                                                                          {20, 0},
                                                                          {11, 1},
                                                                          {21, 1},
                                                                          {12, (extent_[0] + extent_[2]) / 2},
                                                                          {22, (extent_[1] + extent_[3]) / 2},
                                                                          {13, 0},
                                                                          {23, 0},
                                                                          {14, 10},
                                                                          {24, 10},
                                                                          {15, 10},
                                                                          {25, 10},
                                                                          {16, 0},
                                                                          {26, 0},
                                                                          {36, 1},
                                                                          {17, 0},
                                                                          {27, 0},
                                                                          {37, 0},
                                                                          {40, std::max(h, w / 1.414) * 1.1},
                                                                          {41, 1.414},
                                                                          {42, 50},
                                                                          {43, 0},
                                                                          {44, 0},
                                                                          {50, 0},
                                                                          {51, 0}}) {
        Number(pair.first, pair.second);
    }
    for (const auto &pair : std::initializer_list<std::pair<int, int>>{
             {71, 0}, {72, 100}, {73, 1}, {74, 3}, {75, 0}, {76, 0}, {77, 0}, {78, 0}}) {
        Int(pair.first, pair.second);
    }
    Put(0, "ENDTAB");

    size_t ltypeCount = v_.handles ? 3 : 1;
    for (uint32_t handle : ltypes_) ltypeCount += handle != 0;
    TableStart("LTYPE", ltypeTable_, ltypeCount);
    auto ltype = [&](const std::string &name, uint32_t handle, const char *description,
                     const std::vector<double> &elements) {
        RecordStart("LTYPE", handle, ltypeTable_, "AcDbLinetypeTableRecord");
        Put(2, name);
        Int(70, 0);
        Put(3, description);
        Int(72, 65);
        Int(73, static_cast<long long>(elements.size()));
        double total = 0;
        for (double e : elements) total += std::fabs(e);
        Number(40, total);
        for (double e : elements) {
            Number(49, e);
            if (v_.handles) Int(74, 0);
        }
    };
    if (v_.handles) {
        ltype("ByBlock", byBlock_, "", {});
        ltype("ByLayer", byLayer_, "", {});
    }
    ltype("Continuous", continuous_, "Solid line", {});
    for (int n = 0; n < kLineTypeCount; ++n) {
        if (ltypes_[n] == 0) continue;
        // The pattern's bits from the top, each `pitch` pixels long, turned
        // to start with a dash.
        uint32_t pattern = walk_.linePatternTable[n];
        const double pixel = std::max<uint32_t>(walk_.linePitchTable[n], 1) * mmPerPixel_;
        int turns = 0;
        while (turns < 32 && !((pattern & 0x80000000u) != 0 && (pattern & 1u) == 0)) {
            pattern = (pattern << 1) | (pattern >> 31);
            ++turns;
        }
        std::vector<double> elements;
        for (int bit = 31; bit >= 0;) {
            const bool on = (pattern >> bit & 1u) != 0;
            int run = 0;
            while (bit >= 0 && ((pattern >> bit & 1u) != 0) == on) {
                ++run;
                --bit;
            }
            elements.push_back(on ? run * pixel : -run * pixel);
        }
        ltype("JW_" + std::to_string(n), ltypes_[n], ("Jw_cad line type " + std::to_string(n)).c_str(), elements);
    }
    Put(0, "ENDTAB");

    size_t layerCount = 1;
    for (const auto &group : layers_) {
        for (const Layer &layer : group) layerCount += size_t{layer.used} + size_t{layer.auxUsed};
    }
    TableStart("LAYER", layerTable_, layerCount);
    auto layer = [&](const std::string &name, uint32_t handle, int flags, COLORREF colour, bool on) {
        RecordStart("LAYER", handle, layerTable_, "AcDbLayerTableRecord");
        Put(2, name);
        Int(70, flags);
        Colour(62, colour, on);
        Put(6, "Continuous");
        if (v_.handles) Int(370, -3);
    };
    layer("0", layer0_, 0, RGB(255, 255, 255), true);
    for (int g = 0; g < kLayerGroups; ++g) {
        for (int l = 0; l < kLayersPerGroup; ++l) {
            const Layer &entry = layers_[g][l];
            if (entry.auxUsed) layer(entry.auxName, entry.auxHandle, 0, PenColour(kDisplayOnlyPen), false);
            if (!entry.used) continue;
            uint16_t pen = 1;
            uint32_t most = 0;
            for (const auto &counted : entry.pens) {
                if (counted.second > most && counted.first != kSolidOwnColour) {
                    most = counted.second;
                    pen = counted.first;
                }
            }
            // The group's state over the layer's: hidden hides every layer,
            // display-only leaves a shown layer display-only.
            const uint32_t groupState = walk_.layerGroupState[g], state = walk_.layerState[g][l];
            const bool on = groupState != 0 && state != 0;
            const bool locked = on && (groupState == 1 || state == 1);
            layer(entry.name, entry.handle, locked ? 4 : 0, PenColour(pen), on);
        }
    }
    Put(0, "ENDTAB");

    TableStart("STYLE", styleTable_, faces_.size());
    for (size_t i = 0; i < faces_.size(); ++i) {
        const std::string face = faces_[i].empty() ? std::string(kDefaultFace) : Utf8FromShiftJis(faces_[i].c_str());
        const std::string bare = !face.empty() && face[0] == '@' ? face.substr(1) : face;
        std::string file = bare + ".ttf";
        for (const FaceFile &known : kFaceFiles) {
            if (bare == known.face) file = known.file;
        }
        RecordStart("STYLE", styles_[i], styleTable_, "AcDbTextStyleTableRecord");
        Put(2, i == 0 ? std::string("Standard") : "JW" + std::to_string(i));
        Int(70, 0);
        Number(40, 0);
        Number(41, 1);
        Number(50, 0);
        Int(71, 0);
        Number(42, 2.5);
        Put(3, Encoded(file));
        Put(4, "");
        if (v_.handles) {
            Put(1001, "ACAD");
            Put(1000, Encoded(face));
            Int(1071, 0);
        }
    }
    Put(0, "ENDTAB");

    TableStart("VIEW", viewTable_, 0);
    Put(0, "ENDTAB");
    TableStart("UCS", ucsTable_, 0);
    Put(0, "ENDTAB");
    TableStart("APPID", appidTable_, 1);
    RecordStart("APPID", appidAcad_, appidTable_, "AcDbRegAppTableRecord");
    Put(2, "ACAD");
    Int(70, 0);
    Put(0, "ENDTAB");
    TableStart("DIMSTYLE", dimstyleTable_, 1);
    RecordStart("DIMSTYLE", dimstyle_, dimstyleTable_, "AcDbDimStyleTableRecord");
    Put(2, "Standard");
    Int(70, 0);
    Put(0, "ENDTAB");

    if (v_.handles) {
        TableStart("BLOCK_RECORD", blockTable_, 2 + blocks_.size() + dimensionRecords_.size());
        auto record = [&](const std::string &name, uint32_t handle, uint32_t layout) {
            RecordStart("BLOCK_RECORD", handle, blockTable_, "AcDbBlockTableRecord");
            Put(2, name);
            Hex(340, layout);
        };
        record("*Model_Space", modelRecord_, modelLayout_);
        record("*Paper_Space", paperRecord_, paperLayout_);
        for (const Block &b : blocks_) record(b.name, b.record, 0);
        for (size_t i = 0; i < dimensionRecords_.size(); ++i) {
            record("*D" + std::to_string(i + 1), dimensionRecords_[i], 0);
        }
        Put(0, "ENDTAB");
    }
    Put(0, "ENDSEC");
}

void DxfWriter::BlockStart(const std::string &name, uint32_t record, uint32_t begin, bool paper, int flags)
{
    Put(0, "BLOCK");
    if (v_.handles) {
        Hex(5, begin);
        Hex(330, record);
        Put(100, "AcDbEntity");
    }
    if (paper) Int(67, 1);
    Put(8, "0");
    if (v_.handles) Put(100, "AcDbBlockBegin");
    Put(2, name);
    Int(70, flags);
    Number(10, 0);
    Number(20, 0);
    Number(30, 0);
    Put(3, name);
    Put(1, "");
}

void DxfWriter::BlockEnd(uint32_t record, uint32_t end, bool paper)
{
    Put(0, "ENDBLK");
    if (v_.handles) {
        Hex(5, end);
        Hex(330, record);
        Put(100, "AcDbEntity");
    }
    if (paper) Int(67, 1);
    Put(8, "0");
    if (v_.handles) Put(100, "AcDbBlockEnd");
}

void DxfWriter::WriteBlocks()
{
    Put(0, "SECTION");
    Put(2, "BLOCKS");
    BlockStart(v_.handles ? "*Model_Space" : "$MODEL_SPACE", modelRecord_, modelBlock_, false, 0);
    BlockEnd(modelRecord_, modelEnd_, false);
    BlockStart(v_.handles ? "*Paper_Space" : "$PAPER_SPACE", paperRecord_, paperBlock_, true, 0);
    BlockEnd(paperRecord_, paperEnd_, true);
    for (const Block &b : blocks_) {
        if (Stopped()) break;
        BlockStart(b.name, b.record, b.begin, false, 0);
        const Frame f = {b.record, false, 1};
        for (const auto &member : b.members) {
            if (Stopped()) break;
            const uint32_t i = member.second;
            switch (member.first) {
            case 'L': WriteLine(t_.lines[i], f, t_.lines[i].header); break;
            case 'A': WriteArc(t_.arcs[i], f); break;
            case 'P': WritePoint(t_.points[i], f, t_.points[i].header); break;
            case 'T': WriteText(t_.texts[i], f); break;
            case 'S': WriteSolid(t_.solids[i], f); break;
            case 'D': WriteDimension(i, f); break;
            case 'I': WriteInsert(i, f); break;
            default: break;
            }
        }
        BlockEnd(b.record, b.end, false);
    }
    for (uint32_t i = 1; i <= t_.dimensionCount && !Stopped(); ++i) WriteDimensionBlock(i);
    Put(0, "ENDSEC");
}

void DxfWriter::WriteEntities()
{
    Put(0, "SECTION");
    Put(2, "ENTITIES");
    auto frame = [&](const EntityHeader &h) { return Frame{modelRecord_, false, GroupScale(h.layerGroup)}; };
    for (uint32_t i = 1; i < t_.firstBlockSolid && i <= t_.solidCount && !Stopped(); ++i) {
        WriteSolid(t_.solids[i], frame(t_.solids[i].header));
    }
    for (uint32_t i = 1; i < t_.firstBlockLine && i <= t_.lineCount && !Stopped(); ++i) {
        WriteLine(t_.lines[i], frame(t_.lines[i].header), t_.lines[i].header);
    }
    for (uint32_t i = 1; i < t_.firstBlockArc && i <= t_.arcCount && !Stopped(); ++i) {
        WriteArc(t_.arcs[i], frame(t_.arcs[i].header));
    }
    for (uint32_t i = 1; i < t_.firstBlockPoint && i <= t_.pointCount && !Stopped(); ++i) {
        WritePoint(t_.points[i], frame(t_.points[i].header), t_.points[i].header);
    }
    for (uint32_t i = 1; i < t_.firstBlockText && i <= t_.textCount && !Stopped(); ++i) {
        WriteText(t_.texts[i], frame(t_.texts[i].header));
    }
    for (uint32_t i = 1; i < t_.firstBlockDimension && i <= t_.dimensionCount && !Stopped(); ++i) {
        WriteDimension(i, frame(t_.dimensions[i].line.header));
    }
    for (uint32_t i = 1; i <= t_.blockRefCount && !Stopped(); ++i) {
        if (t_.blockRefs[i].owner == kTopLevelOwner) WriteInsert(i, frame(t_.blockRefs[i].header));
    }
    if (!figure_) {
        int number = 1;
        WriteViewport(-1, number);
        for (int g = 0; g < kLayerGroups; ++g) {
            if ((groupHasObjects_ >> g & 1) != 0) WriteViewport(g, ++number);
        }
    }
    Put(0, "ENDSEC");
}

void DxfWriter::WriteLayout(uint32_t handle, const char *name, int plotFlags, int order, uint32_t record)
{
    const double w = figure_ ? 420 : paperWidth_, h = figure_ ? 297 : paperHeight_;
    Put(0, "LAYOUT");
    Hex(5, handle);
    Hex(330, layoutDictionary_);
    Put(100, "AcDbPlotSettings");
    Put(1, "");
    Put(2, "none_device");
    Put(4, "");
    Put(6, "");
    for (const auto &pair : std::initializer_list<std::pair<int, double>>{{40, 0},
                                                                          {41, 0},
                                                                          {42, 0},
                                                                          {43, 0},
                                                                          {44, w},
                                                                          {45, h},
                                                                          {46, 0},
                                                                          {47, 0},
                                                                          {48, 0},
                                                                          {49, 0},
                                                                          {140, 0},
                                                                          {141, 0},
                                                                          {142, 1},
                                                                          {143, 1}}) {
        Number(pair.first, pair.second);
    }
    Int(70, plotFlags);
    Int(72, 1);
    Int(73, 0);
    Int(74, 5);
    Put(7, "");
    Int(75, 16);
    Int(76, 0);
    Int(77, 2);
    Int(78, 300);
    Number(147, 1);
    Number(148, 0);
    Number(149, 0);
    Put(100, "AcDbLayout");
    Put(1, name);
    Int(70, 1);
    Int(71, order);
    Number(10, 0);
    Number(20, 0);
    Number(11, w);
    Number(21, h);
    Number(12, 0);
    Number(22, 0);
    Number(32, 0);
    Number(14, 0);
    Number(24, 0);
    Number(34, 0);
    Number(15, w);
    Number(25, h);
    Number(35, 0);
    Number(146, 0);
    Number(13, 0);
    Number(23, 0);
    Number(33, 0);
    Number(16, 1);
    Number(26, 0);
    Number(36, 0);
    Number(17, 0);
    Number(27, 1);
    Number(37, 0);
    Int(76, 1);
    Hex(330, record);
}

void DxfWriter::WriteObjects()
{
    Put(0, "SECTION");
    Put(2, "OBJECTS");
    auto dictionary = [&](uint32_t handle, uint32_t owner,
                          std::initializer_list<std::pair<const char *, uint32_t>> entries) {
        Put(0, "DICTIONARY");
        Hex(5, handle);
        Hex(330, owner);
        Put(100, "AcDbDictionary");
        Int(281, 1);
        for (const auto &entry : entries) {
            Put(3, entry.first);
            Hex(350, entry.second);
        }
    };
    dictionary(rootDictionary_, 0, {{"ACAD_GROUP", groupDictionary_}, {"ACAD_LAYOUT", layoutDictionary_}});
    dictionary(groupDictionary_, rootDictionary_, {});
    dictionary(layoutDictionary_, rootDictionary_, {{"Layout1", paperLayout_}, {"Model", modelLayout_}});
    WriteLayout(modelLayout_, "Model", 1024, 0, modelRecord_);
    WriteLayout(paperLayout_, "Layout1", 0, 1, paperRecord_);
    Put(0, "ENDSEC");
}

plotmira_status DxfWriter::Write()
{
    // Asked once before anything is written, then every so many objects.
    const RenderContext &rc = walk_.renderContext;
    if (rc.cancel != nullptr && rc.cancel(rc.cancelData) != 0) return PLOTMIRA_ERR_CANCELLED;
    std::fill(std::begin(lineweights_), std::end(lineweights_), -1);
    Plan();
    WriteHeader();
    WriteTables();
    WriteBlocks();
    WriteEntities();
    if (v_.handles) WriteObjects();
    Put(0, "EOF");
    Flush();
    if (failed_) return PLOTMIRA_ERR_WRITE;
    if (walk_.renderContext.cancelled) return PLOTMIRA_ERR_CANCELLED;
    return PLOTMIRA_OK;
}

}  // namespace

plotmira_status WriteDxf(const plotmira_document &doc, const plotmira_dxf_options &options,
                         plotmira_write_callback write, void *user_data)
{
    const int version = RawValue(options.version);
    const VersionFacts *facts = nullptr;
    for (const VersionFacts &candidate : kVersions) {
        if (candidate.version == version) facts = &candidate;
    }
    if (facts == nullptr || write == nullptr) return PLOTMIRA_ERR_ARGUMENT;
    if (!doc.versionDrawn) return PLOTMIRA_ERR_VERSION;
    // The walk gives the pens, layer states, macros and the cancel
    // callback of a view of the whole sheet at the natural size.
    plotmira_view view;
    plotmira_view_init(&view, doc.naturalWidth, doc.naturalHeight);
    view.pens = options.pens;
    view.hide_groups = options.hide_groups;
    view.show_groups = options.show_groups;
    std::memcpy(view.hide_layers, options.hide_layers, sizeof view.hide_layers);
    std::memcpy(view.show_layers, options.show_layers, sizeof view.show_layers);
    view.cancel = options.cancel;
    view.cancel_data = options.cancel_data;
    const plotmira_status checked = CheckView(view, doc);
    if (checked != PLOTMIRA_OK) return checked;
    auto writer = std::make_unique<DxfWriter>(doc, *facts, write, user_data);
    PlaceView(view, doc, writer->Walk());
    return writer->Write();
}
