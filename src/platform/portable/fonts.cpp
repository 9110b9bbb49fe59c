// Fonts and text: CreateFontW and TextOutA with GDI's meaning of the
// arguments, drawn through FreeType from the faces font_lookup finds. A
// Windows face name maps to the installed face that stands in for it.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GASP_H
#include FT_BITMAP_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/portable/code_page.h"
#include "platform/portable/font_lookup.h"
#include "platform/portable/gdi_objects.h"
#include "platform/portable/platform_internal.h"
#include "platform/portable/text_faces.h"
#include "platform/win32.h"

HGDIOBJ RegisterFontObject(PortableFont *font);

struct PortableFont {
    int height;
    int width;
    int escapement;      // tenths of a degree, counter-clockwise
    std::string family;  // the face that stands in for the requested one
};

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kGrayLevels = 16;     // GDI's anti-aliased glyphs have 17 levels, 0..16
constexpr int kDefaultHeight = 16;  // a height of 0 asks for the default size
constexpr int kMaxPixelsPerEm = 4096;
constexpr char kDefaultFamily[] = "IPAGothic";  // the fixed-pitch Japanese gothic GDI falls back to

// Windows faces and the installed faces that stand in for them (UTF-8).
const struct {
    char windows[24];
    char standIn[12];
} kSubstitutes[] = {
    {"ＭＳ ゴシック", "IPAGothic"}, {"MS Gothic", "IPAGothic"},        {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},     {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},  {"MS PMincho", "IPAPMincho"},      {"ＭＳ ＵＩ Gothic", "IPAPGothic"},
    {"MS UI Gothic", "IPAPGothic"},
};

// The process-wide state of this file:
//   Fonts()       the FreeType library, the faces found by family and the
//                 family that stands in for each face name, under its mutex;
//                 a face entry once made is never freed, and each face has a
//                 mutex of its own held while its size and transform are set
//                 and a glyph is loaded from it
//   codePoints    each Shift-JIS character's code point once converted
//   sharedGlyphs  the glyphs rendered, under its mutex
//   threadGlyphs  per thread, the glyphs it drew, in front of sharedGlyphs
struct FaceEntry {
    std::mutex use;
    FT_Face face = nullptr;
    std::string file;  // where the face came from, for devices that open it themselves
    int index = 0;
    int unitsPerEm = 0;
    int winAscent = 0;
    int winDescent = 0;
    int averageWidth = 0;
};

struct Library {
    std::mutex mutex;
    std::unordered_map<std::string, std::string> standIns;  // face name -> installed family
    FT_Library freetype = nullptr;
    std::map<std::string, std::unique_ptr<FaceEntry>> faces;  // by family
    std::vector<std::unique_ptr<FaceEntry>> retired;          // faces not found, forgotten since
    Library()
    {
        if (FT_Init_FreeType(&freetype) != 0) freetype = nullptr;
    }
    ~Library()
    {
        for (auto &entry : faces) {
            if (entry.second->face) FT_Done_Face(entry.second->face);
        }
        // The retired entries have no face.
        if (freetype) FT_Done_FreeType(freetype);
    }
};

Library &Fonts()
{
    static Library library;
    return library;
}

size_t WideLength(const WCHAR *text)
{
    size_t n = 0;
    while (text != nullptr && text[n] != 0) ++n;
    return n;
}

bool SameIgnoringCase(const std::string &a, const char *b)
{
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The installed family for a requested face: a known stand-in, the family
// itself when installed, else the fixed-pitch gothic.
std::string LookUpStandIn(const std::string &requested)
{
    for (const auto &s : kSubstitutes) {
        if (SameIgnoringCase(requested, s.windows)) return s.standIn;
    }
    if (!requested.empty() && FamilyInstalled(requested)) return requested;
    return kDefaultFamily;
}

// Every character of a text creates its font: the answer for a face name is
// looked up once.
std::string StandInFamily(const std::string &requested)
{
    Library &lib = Fonts();
    const std::lock_guard<std::mutex> hold(lib.mutex);
    std::unordered_map<std::string, std::string> &answers = lib.standIns;
    auto found = answers.find(requested);
    if (found == answers.end()) found = answers.emplace(requested, LookUpStandIn(requested)).first;
    return found->second;
}

FaceEntry *FaceFor(const std::string &family)
{
    Library &lib = Fonts();
    const std::lock_guard<std::mutex> hold(lib.mutex);
    auto found = lib.faces.find(family);
    if (found != lib.faces.end()) return found->second.get();
    auto entry = std::make_unique<FaceEntry>();
    std::string file;
    int index = 0;
    if (lib.freetype != nullptr && FindFaceFile(family, &file, &index)) {
        if (FT_New_Face(lib.freetype, file.c_str(), index, &entry->face) != 0) {
            entry->face = nullptr;
        } else {
            entry->file = file;
            entry->index = index;
        }
    }
    if (entry->face != nullptr) {
        entry->unitsPerEm = entry->face->units_per_EM;
        auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(entry->face, FT_SFNT_OS2));
        if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
            entry->winAscent = os2->usWinAscent;
            entry->winDescent = os2->usWinDescent;
            entry->averageWidth = os2->xAvgCharWidth;
        } else {
            entry->winAscent = entry->face->ascender;
            entry->winDescent = -entry->face->descender;
        }
        if (entry->averageWidth <= 0) entry->averageWidth = entry->unitsPerEm / 2;
    }
    FaceEntry *raw = entry.get();
    lib.faces.emplace(family, std::move(entry));
    return raw;
}

int MulDivRound(int64_t a, int64_t b, int64_t c) { return c == 0 ? 0 : static_cast<int>((a * b + c / 2) / c); }

// The size and turn of a font's glyphs, as GDI makes them: a positive
// height is the cell height (ascent plus descent), a width stretches the
// average character to it, the escapement turns the text about the cell's
// top-left corner.
void SizeFace(const PortableFont &font, const FaceEntry &entry, PortableTextFace *out)
{
    const int height = font.height == 0 ? kDefaultHeight : font.height;
    int ppem = height > 0 ? MulDivRound(entry.unitsPerEm, height, entry.winAscent + entry.winDescent) : -height;
    if (ppem < 1) ppem = 1;
    if (ppem > kMaxPixelsPerEm) ppem = kMaxPixelsPerEm;
    const int averageWidth = MulDivRound(entry.averageWidth, ppem, entry.unitsPerEm);
    out->face = entry.face;
    out->file = entry.file.c_str();
    out->index = entry.index;
    out->ppem = ppem;
    out->ascent = MulDivRound(entry.winAscent, ppem, entry.unitsPerEm);
    out->widthRatio = font.width > 0 && averageWidth > 0 ? static_cast<double>(font.width) / averageWidth : 1.0;
    out->angle = font.escapement / 10.0 * kPi / 180.0;
    out->owner = const_cast<FaceEntry *>(&entry);
}

// One character of code page 932 (one or two bytes) to its code point,
// converted once per character and looked up in a table after that.
// Each entry holds kKnown and the code point once converted (threads that
// meet a character first at once both convert it, to the same answer).
constexpr uint32_t kKnown = 0x80000000u;
std::atomic<uint32_t> codePoints[size_t{1} << 16];

uint32_t ShiftJisCodePoint(const char *bytes, size_t length)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    const size_t key = length == 2 ? (size_t{b[0]} << 8 | b[1]) : b[0];
    const uint32_t known = codePoints[key].load(std::memory_order_relaxed);
    if ((known & kKnown) != 0) return known & ~kKnown;
    uint32_t out = Cp932CodePoint(bytes, length);
    if (out == kNoCodePoint) out = 0x30FB;  // a character code page 932 does not define: a middle dot
    codePoints[key].store(out | kKnown, std::memory_order_relaxed);
    return out;
}

// Code page 932 bytes to code points.
std::vector<uint32_t> DecodeShiftJis(const char *bytes, int count)
{
    std::vector<uint32_t> points;
    int i = 0;
    while (i < count) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        const bool wide = ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && i + 1 < count;
        const size_t length = wide ? 2 : 1;
        points.push_back(ShiftJisCodePoint(bytes + i, length));
        i += static_cast<int>(length);
    }
    return points;
}

// A rendered glyph as TextOutA draws it: its levels (0..16) row by row,
// where they go relative to the pen, and how far the pen moves.
struct CachedGlyph {
    int width = 0;
    int rows = 0;
    int left = 0;  // bitmap_left
    int top = 0;   // bitmap_top
    FT_Pos advanceX = 0;
    FT_Pos advanceY = 0;
    std::vector<uint8_t> levels;
};

// Texts are drawn a character at a time with a font made for it, so the
// same glyphs come again and again: rendered once for each face, size,
// transform and code point. Bounded: past the budget the cache starts anew.
struct GlyphKey {
    FT_Face face;
    int ppem;
    FT_Int32 loadFlags;
    FT_Fixed xx, xy, yx, yy;
    uint32_t codePoint;
    bool operator==(const GlyphKey &o) const
    {
        return face == o.face && ppem == o.ppem && loadFlags == o.loadFlags && xx == o.xx && xy == o.xy && yx == o.yx &&
               yy == o.yy && codePoint == o.codePoint;
    }
};

struct GlyphKeyHash {
    size_t operator()(const GlyphKey &k) const
    {
        size_t h = std::hash<const void *>()(k.face);
        for (int64_t v : {int64_t{k.ppem}, int64_t{k.loadFlags}, int64_t{k.xx}, int64_t{k.xy}, int64_t{k.yx},
                          int64_t{k.yy}, int64_t{k.codePoint}}) {
            h = h * 1000003u ^ std::hash<int64_t>()(v);
        }
        return h;
    }
};

constexpr size_t kGlyphCacheBytes = size_t{32} << 20;
constexpr size_t kMaxCachedGlyphPixels = 256 * 256;  // larger glyphs are rendered each time

// The glyphs rendered, for the process (under its mutex) and in front of
// it for each thread (no lock on a hit): a glyph stays alive while either
// holds it, so that a cache starting anew frees nothing in use.
using GlyphMap = std::unordered_map<GlyphKey, std::shared_ptr<const CachedGlyph>, GlyphKeyHash>;
struct GlyphCache {
    explicit GlyphCache(size_t budget) : budget(budget) {}
    GlyphMap glyphs;
    size_t budget;
    size_t bytes = 0;
    // Keeps a glyph (unless one of that key is there), starting anew past
    // the budget.
    const CachedGlyph *Keep(const GlyphKey &key, std::shared_ptr<const CachedGlyph> glyph)
    {
        const size_t size = glyph->levels.size() + sizeof(CachedGlyph);
        if (bytes + size > budget) {
            glyphs.clear();
            bytes = 0;
        }
        const auto kept = glyphs.emplace(key, std::move(glyph));
        if (kept.second) bytes += size;
        return kept.first->second.get();
    }
};
constexpr size_t kThreadGlyphBytes = size_t{4} << 20;  // a thread's front: the glyphs of its current drawings
struct SharedGlyphCache {
    std::mutex mutex;
    GlyphCache cache{kGlyphCacheBytes};
};
SharedGlyphCache sharedGlyphs;
thread_local GlyphCache threadGlyphs{kThreadGlyphBytes};

// The levels of the glyph FreeType rendered into face->glyph.
CachedGlyph TakeGlyph(FT_Face face)
{
    CachedGlyph glyph;
    const FT_Bitmap &bitmap = face->glyph->bitmap;
    const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.left = face->glyph->bitmap_left;
    glyph.top = face->glyph->bitmap_top;
    glyph.advanceX = face->glyph->advance.x;
    glyph.advanceY = face->glyph->advance.y;
    glyph.levels.resize(static_cast<size_t>(glyph.width) * glyph.rows);
    for (int row = 0; row < glyph.rows; ++row) {
        const unsigned char *source = bitmap.buffer + row * bitmap.pitch;
        uint8_t *target = glyph.levels.data() + static_cast<size_t>(row) * glyph.width;
        for (int col = 0; col < glyph.width; ++col) {
            target[col] = static_cast<uint8_t>(mono ? ((source[col >> 3] >> (7 - (col & 7))) & 1) * kGrayLevels
                                                    : (source[col] * kGrayLevels + 128) / 256);  // 0..16
        }
    }
    return glyph;
}

// Where a glyph lands: its pen position on the raster, and the raster's size.
struct GlyphPlace {
    int originX, originY;
    int rasterWidth, rasterRows;
};

// The part of a glyph's pixel box that lies on the raster, in glyph pixels
// (x to the right, y up, from the pen's origin); empty when none does.
struct VisibleBox {
    FT_Pos left, right, bottom, top;  // whole pixels
    bool Empty() const { return left >= right || bottom >= top; }
};

VisibleBox VisiblePart(const FT_BBox &box, const GlyphPlace &place)
{
    VisibleBox v;
    v.left = std::max<FT_Pos>(box.xMin >> 6, -place.originX);
    v.right = std::min<FT_Pos>((box.xMax + 63) >> 6, place.rasterWidth - place.originX);
    v.top = std::min<FT_Pos>((box.yMax + 63) >> 6, place.originY);
    v.bottom = std::max<FT_Pos>(box.yMin >> 6, place.originY - place.rasterRows);
    return v;
}

// A glyph larger than the cache takes is drawn only where it meets the
// raster: a character of a text zoomed far in may be thousands of pixels
// tall, and most of it off the raster. The outline moves by whole pixels,
// so every pixel drawn has the level the whole glyph's bitmap would give it.
// Smoothed glyphs go straight from the rasteriser's spans onto the raster;
// two-colour ones through a bitmap of the visible part. False when the
// glyph is small, or not an outline that can be cut so.
struct SpanTarget {
    PortableGdiObject *bitmap;
    int originX, originY;
    const uint8_t *textRgb;
    uint32_t textPixel;
};

uint8_t Blend(uint8_t background, uint8_t text, int level);

void BlendPixel(uint32_t *pixel, const uint8_t *textRgb, int level)
{
    if (level == 0) return;
    const uint32_t old = *pixel;
    const uint8_t r = Blend(static_cast<uint8_t>(old >> 16), textRgb[0], level);
    const uint8_t g = Blend(static_cast<uint8_t>(old >> 8), textRgb[1], level);
    const uint8_t b = Blend(static_cast<uint8_t>(old), textRgb[2], level);
    *pixel = (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

void DrawSpans(int y, int count, const FT_Span *spans, void *user)
{
    const auto *target = static_cast<const SpanTarget *>(user);
    uint32_t *line = PixelRow(target->bitmap, target->originY - y - 1);
    for (int i = 0; i < count; ++i) {
        const int level = (spans[i].coverage * kGrayLevels + 128) / 256;  // 0..16, as the glyph bitmaps have
        uint32_t *pixel = line + target->originX + spans[i].x;
        if (level == kGrayLevels) {
            std::fill(pixel, pixel + spans[i].len, target->textPixel);
            continue;
        }
        for (int n = 0; n < spans[i].len; ++n) BlendPixel(pixel + n, target->textRgb, level);
    }
}

bool DrawLargeGlyph(FT_Face face, bool smooth, const GlyphPlace &place, PortableGdiObject *raster,
                    const uint8_t *textRgb)
{
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || (slot->outline.flags & FT_OUTLINE_OVERLAP) != 0) return false;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    const int64_t width = ((box.xMax + 63) >> 6) - (box.xMin >> 6), rows = ((box.yMax + 63) >> 6) - (box.yMin >> 6);
    if (width * rows <= static_cast<int64_t>(kMaxCachedGlyphPixels)) return false;
    const VisibleBox v = VisiblePart(box, place);
    if (v.Empty()) return true;
    if (smooth) {
        const uint32_t textPixel = (uint32_t{textRgb[0]} << 16) | (uint32_t{textRgb[1]} << 8) | textRgb[2];
        SpanTarget target = {raster, place.originX, place.originY, textRgb, textPixel};
        FT_Raster_Params params = {};
        params.source = &slot->outline;
        params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
        params.gray_spans = DrawSpans;
        params.user = &target;
        params.clip_box = {v.left, v.bottom, v.right, v.top};
        return FT_Outline_Render(slot->library, &slot->outline, &params) == 0;
    }
    // Two-colour: the visible window's bitmap, its bottom-left corner moved
    // to the outline's origin.
    FT_Bitmap bitmap;
    FT_Bitmap_Init(&bitmap);
    bitmap.width = static_cast<unsigned>(v.right - v.left);
    bitmap.rows = static_cast<unsigned>(v.top - v.bottom);
    bitmap.pitch = static_cast<int>((bitmap.width + 7) / 8);
    bitmap.pixel_mode = FT_PIXEL_MODE_MONO;
    std::vector<unsigned char> buffer(static_cast<size_t>(bitmap.pitch) * bitmap.rows, 0);
    bitmap.buffer = buffer.data();
    FT_Outline_Translate(&slot->outline, -v.left * 64, -v.bottom * 64);
    if (FT_Outline_Get_Bitmap(slot->library, &slot->outline, &bitmap) != 0) return true;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char *source = buffer.data() + static_cast<size_t>(row) * bitmap.pitch;
        uint32_t *line = PixelRow(raster, static_cast<int32_t>(place.originY - v.top + row));
        for (unsigned col = 0; col < bitmap.width; ++col) {
            if ((source[col >> 3] >> (7 - (col & 7)) & 1) == 0) continue;
            BlendPixel(line + place.originX + v.left + col, textRgb, kGrayLevels);
        }
    }
    return true;
}

// The glyph for the key, from the cache or rendered now; null when the face
// has none.
// A glyph drawn straight onto the raster by DrawLargeGlyph comes back with
// no pixels, only its advance.
const CachedGlyph *GlyphFor(FaceEntry &entry, const GlyphKey &key, const FT_Matrix *matrix, bool smooth,
                            const GlyphPlace &place, PortableGdiObject *raster, const uint8_t *textRgb,
                            CachedGlyph *uncached)
{
    auto found = threadGlyphs.glyphs.find(key);
    if (found != threadGlyphs.glyphs.end()) return found->second.get();
    {
        const std::lock_guard<std::mutex> hold(sharedGlyphs.mutex);
        auto shared = sharedGlyphs.cache.glyphs.find(key);
        if (shared != sharedGlyphs.cache.glyphs.end()) return threadGlyphs.Keep(key, shared->second);
    }
    const std::lock_guard<std::mutex> hold(entry.use);
    FT_Face face = key.face;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(key.ppem)) != 0) return nullptr;
    FT_Set_Transform(face, const_cast<FT_Matrix *>(matrix), nullptr);
    if (FT_Load_Char(face, key.codePoint, key.loadFlags) != 0) return nullptr;
    if (DrawLargeGlyph(face, smooth, place, raster, textRgb)) {
        *uncached = CachedGlyph{};
        uncached->advanceX = face->glyph->advance.x;
        uncached->advanceY = face->glyph->advance.y;
        return uncached;
    }
    if (face->glyph->format != FT_GLYPH_FORMAT_BITMAP &&
        FT_Render_Glyph(face->glyph, smooth ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0) {
        return nullptr;
    }
    *uncached = TakeGlyph(face);
    if (uncached->levels.size() > kMaxCachedGlyphPixels) return uncached;
    auto glyph = std::make_shared<const CachedGlyph>(std::move(*uncached));
    {
        const std::lock_guard<std::mutex> hold(sharedGlyphs.mutex);
        sharedGlyphs.cache.Keep(key, glyph);
    }
    return threadGlyphs.Keep(key, std::move(glyph));
}

// GDI blends anti-aliased glyph levels through a ramp rather than
// linearly, which keeps dark text on a light ground crisp.
constexpr uint8_t kRamp[kGrayLevels + 1] = {0,    0x4d, 0x68, 0x7c, 0x8c, 0x9a, 0xa7, 0xb2, 0xbd,
                                            0xc7, 0xd0, 0xd9, 0xe1, 0xe9, 0xf0, 0xf8, 0xff};

// UTF-8 bytes to code points; a byte that starts no valid sequence stands
// for itself (so any POSIX path survives the round trip through UTF-16 as
// far as it can).
std::vector<uint32_t> DecodeUtf8(const char *bytes, int count)
{
    std::vector<uint32_t> points;
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    int i = 0;
    while (i < count) {
        const unsigned char c = b[i];
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        uint32_t point = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        bool valid = length > 0 && i + length <= count;
        for (int k = 1; valid && k < length; ++k) {
            valid = (b[i + k] & 0xC0) == 0x80;
            point = point << 6 | (b[i + k] & 0x3F);
        }
        if (!valid) {
            points.push_back(c);
            ++i;
            continue;
        }
        points.push_back(point);
        i += length;
    }
    return points;
}

uint8_t Blend(uint8_t background, uint8_t text, int level)
{
    if (level >= kGrayLevels || background == text) return level >= kGrayLevels ? text : background;
    const unsigned minimum = kRamp[level] * unsigned{text} / 0xff;
    const unsigned maximum = kRamp[kGrayLevels - level] + (0xffu - kRamp[kGrayLevels - level]) * text / 0xff;
    if (background > text) {
        return static_cast<uint8_t>(text + (unsigned{background} - text) * (maximum - text) / (0xffu - text));
    }
    return static_cast<uint8_t>(text - (unsigned{text} - background) * (text - minimum) / text);
}

}  // namespace

void ReleaseFont(PortableFont *font) { delete font; }

extern "C" {

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteLength, WCHAR *wide, int wideLength)
{
    (void)flags;
    if (bytes == nullptr || byteLength == 0 || (codePage != 932 && codePage != CP_ACP && codePage != CP_UTF8)) return 0;
    const int count = byteLength < 0 ? static_cast<int>(std::strlen(bytes)) + 1 : byteLength;
    std::vector<WCHAR> units;
    const std::vector<uint32_t> points = codePage == 932 ? DecodeShiftJis(bytes, count) : DecodeUtf8(bytes, count);
    for (uint32_t c : points) {
        if (c >= 0x10000) {
            units.push_back(static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<WCHAR>(c));
        }
    }
    if (wideLength == 0) return static_cast<int>(units.size());
    if (wide == nullptr || static_cast<int>(units.size()) > wideLength) return 0;
    std::memcpy(wide, units.data(), units.size() * sizeof(WCHAR));
    return static_cast<int>(units.size());
}

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                         DWORD quality, DWORD pitchAndFamily, const WCHAR *face)
{
    (void)orientation;
    (void)weight;
    (void)italic;
    (void)underline;
    (void)strikeOut;
    (void)charSet;
    (void)outPrecision;
    (void)clipPrecision;
    (void)quality;
    (void)pitchAndFamily;
    auto *font = new PortableFont;
    font->height = height;
    font->width = width < 0 ? -width : width;
    font->escapement = escapement;
    font->family = StandInFamily(Utf16ToUtf8Text(face, WideLength(face)));
    return static_cast<HFONT>(RegisterFontObject(font));
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int count)
{
    if (!IsValidDc(dc) || text == nullptr || count <= 0) return FALSE;
    auto *bitmap = static_cast<PortableGdiObject *>(dc->bitmap);
    const PortableFont defaults = {kDefaultHeight, 0, 0, kDefaultFamily};
    const PortableFont &font = dc->font != nullptr && dc->font->font != nullptr ? *dc->font->font : defaults;
    FaceEntry *entry = FaceFor(font.family);
    if (entry == nullptr || entry->face == nullptr) return FALSE;
    FT_Face face = entry->face;
    // The size is set where a glyph is rendered: setting it makes FreeType
    // run the face's hinting set-up again, which most characters, drawn from
    // the glyph cache, do not need.
    PortableTextFace sized;
    SizeFace(font, *entry, &sized);
    const int ppem = sized.ppem, ascent = sized.ascent;
    const double widthRatio = sized.widthRatio, angle = sized.angle;
    const double c = std::cos(angle), s = std::sin(angle);
    FT_Matrix matrix;
    matrix.xx = static_cast<FT_Fixed>(c * widthRatio * 65536.0);
    matrix.xy = static_cast<FT_Fixed>(-s * 65536.0);
    matrix.yx = static_cast<FT_Fixed>(s * widthRatio * 65536.0);
    matrix.yy = static_cast<FT_Fixed>(c * 65536.0);
    double penX = x + ascent * s;
    double penY = y + ascent * c;

    // An opaque background fills the cells of an upright text first.
    const std::vector<uint32_t> codePoints = DecodeShiftJis(text, count);
    if (dc->backgroundMode == OPAQUE && font.escapement % 3600 == 0) {
        const std::lock_guard<std::mutex> hold(entry->use);
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return FALSE;
        FT_Set_Transform(face, nullptr, nullptr);
        double advance = 0;
        for (uint32_t codePoint : codePoints) {
            if (FT_Load_Char(face, codePoint, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0) {
                advance += face->glyph->advance.x / 64.0 * widthRatio;
            }
        }
        const int cellHeight = ascent + MulDivRound(entry->winDescent, ppem, entry->unitsPerEm);
        const uint32_t background = PixelOf(dc->backgroundColor);
        for (int py = std::max(y, 0); py < std::min(y + cellHeight, RowCount(bitmap)); ++py) {
            uint32_t *line = PixelRow(bitmap, py);
            const int right = std::min(x + static_cast<int>(std::lround(advance)), static_cast<int>(bitmap->width));
            for (int px = std::max(x, 0); px < right; ++px) line[px] = background;
        }
    }
    const uint32_t textPixel = PixelOf(dc->textColor);
    const uint8_t textRgb[3] = {static_cast<uint8_t>(textPixel >> 16), static_cast<uint8_t>(textPixel >> 8),
                                static_cast<uint8_t>(textPixel)};
    const int rows = RowCount(bitmap);
    // Without a turn or a stretch the face's own bitmaps serve, as in GDI;
    // otherwise the outlines are transformed and smoothed.
    const bool transformed = font.escapement % 3600 != 0 || widthRatio != 1.0;
    // The face's grid-fitting table decides, per size, between smoothed and
    // two-colour glyphs.
    FT_Int gasp;
    {
        const std::lock_guard<std::mutex> hold(entry->use);
        gasp = FT_Get_Gasp(face, static_cast<FT_UInt>(ppem));
    }
    const bool smooth = gasp == FT_GASP_NO_TABLE || (gasp & FT_GASP_DO_GRAY) != 0;
    const FT_Int32 loadFlags = FT_LOAD_DEFAULT | (smooth ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO) |
                               (transformed ? FT_LOAD_NO_BITMAP : 0);
    GlyphKey key = {face, ppem, loadFlags, 0, 0, 0, 0, 0};
    if (transformed) {
        key.xx = matrix.xx;
        key.xy = matrix.xy;
        key.yx = matrix.yx;
        key.yy = matrix.yy;
    }
    CachedGlyph uncached;
    uint32_t lastBackground = 0, lastBlend = 0;
    int lastLevel = -1;
    for (uint32_t codePoint : codePoints) {
        key.codePoint = codePoint;
        const int originX = static_cast<int>(std::floor(penX + 0.5));
        const int originY = static_cast<int>(std::floor(penY + 0.5));
        const GlyphPlace place = {originX, originY, static_cast<int>(bitmap->width), rows};
        const CachedGlyph *glyph =
            GlyphFor(*entry, key, transformed ? &matrix : nullptr, smooth, place, bitmap, textRgb, &uncached);
        if (glyph == nullptr) continue;
        const int left = originX + glyph->left;
        const int top = originY - glyph->top;
        for (int row = 0; row < glyph->rows; ++row) {
            const int py = top + row;
            if (py < 0 || py >= rows) continue;
            uint32_t *line = PixelRow(bitmap, py);
            const uint8_t *levels = glyph->levels.data() + static_cast<size_t>(row) * glyph->width;
            const int firstCol = std::max(0, -left), lastCol = std::min(glyph->width, bitmap->width - left);
            for (int col = firstCol; col < lastCol; ++col) {
                const int level = levels[col];
                if (level == 0) continue;
                uint32_t *pixel = line + left + col;
                if (level == kGrayLevels) {
                    *pixel = textPixel & 0xFFFFFF;
                    continue;
                }
                // Edges of a glyph mostly fall on one background: the last
                // blend serves again.
                if (*pixel != lastBackground || level != lastLevel) {
                    lastBackground = *pixel;
                    lastLevel = level;
                    lastBlend = *pixel;
                    BlendPixel(&lastBlend, textRgb, level);
                }
                *pixel = lastBlend;
            }
        }
        penX += glyph->advanceX / 64.0;
        penY += glyph->advanceY / -64.0;
    }
    return TRUE;
}

}  // extern "C"

bool DescribeTextFace(HFONT handle, PortableTextFace *out)
{
    if (!IsValidObject(handle)) return false;
    const auto *object = static_cast<const PortableGdiObject *>(static_cast<HGDIOBJ>(handle));
    if (object->kind != GdiKind::Font || object->font == nullptr) return false;
    const PortableFont &font = *object->font;
    FaceEntry *entry = FaceFor(font.family);
    if (entry == nullptr || entry->face == nullptr) return false;
    SizeFace(font, *entry, out);
    return true;
}

unsigned TextFaceGlyphIndex(const PortableTextFace &face, uint32_t codePoint)
{
    auto *entry = static_cast<FaceEntry *>(face.owner);
    const std::lock_guard<std::mutex> hold(entry->use);
    return FT_Get_Char_Index(face.face, codePoint);
}

void ForgetMissingFaces()
{
    Library &lib = Fonts();
    const std::lock_guard<std::mutex> hold(lib.mutex);
    // A face name's stand-in is looked for again too (a fallback answer
    // may now have a face of its own).
    lib.standIns.clear();
    // A caller may still hold an entry it was given: it is kept, out of the
    // map, so that the family is looked for again.
    for (auto it = lib.faces.begin(); it != lib.faces.end();) {
        if (it->second->face != nullptr) {
            ++it;
            continue;
        }
        lib.retired.push_back(std::move(it->second));
        it = lib.faces.erase(it);
    }
}
