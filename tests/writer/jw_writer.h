// Test-side writer of drawing (.jww) and figure (.jws) files: the archive's
// primitives, the document headers and every object class in the layout of
// every version, so tests build their inputs instead of keeping binary files.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <string>
#include <vector>

class ArchiveWriter {
public:
    void Byte(uint8_t v) { bytes_.push_back(v); }
    void Word(uint16_t v);
    void Dword(uint32_t v);
    void Double(double v);
    void Raw(const std::string &text);
    // The archive's 8-bit string in its shortest form: a length byte; 0xFF
    // and a 16-bit length; 0xFF, 0xFFFF and a 32-bit length.
    void String(const std::string &text);
    // The Unicode form: 0xFF, 0xFFFE, an escaped length in UTF-16 units, the text.
    void UnicodeString(const std::u16string &text);
    // The archive's object count: a word, or 0xFFFF and a 32-bit count.
    void Count(uint32_t n);
    void Repeat(size_t times, uint32_t dword);
    void RepeatDoubles(size_t times, double v);
    const std::vector<uint8_t> &Bytes() const { return bytes_; }
    std::vector<uint8_t> &MutableBytes() { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    void EscapedLength(uint32_t length);
    std::vector<uint8_t> bytes_;
};

// The common attributes of every object.
struct Attributes {
    uint32_t group = 0;
    uint8_t penStyle = 1;
    uint16_t penColor = 1;
    uint16_t penWidth = 0;
    uint16_t layer = 0;
    uint16_t layerGroup = 0;
    uint16_t flags = 0;
};

struct TextSpec {
    Attributes attributes;
    double x1 = 0, y1 = 0, x2 = 10, y2 = 0;
    uint32_t kind = 0;
    double width = 2.5, height = 2.5, spacing = 0, angle = 0;
    std::string font = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック
    std::string text;
    std::u16string unicodeText;  // when not empty, the text is written in the Unicode form
};

// Writes an object stream: class tags as MFC writes them (a new class the
// first time, then its map index), and each class's record for the version.
class ObjectWriter {
public:
    ObjectWriter(ArchiveWriter &out, uint32_t version) : out_(out), version_(version) {}

    void Line(const Attributes &a, double x1, double y1, double x2, double y2);
    void Arc(const Attributes &a, double cx, double cy, double radius, double start, double sweep, double tilt = 0,
             double flatness = 1, uint32_t fullCircle = 0);
    void Point(const Attributes &a, double x, double y, uint32_t provisional = 0);
    void Text(const TextSpec &t);
    void Dimension(const Attributes &a, const Attributes &lineAttributes, double x1, double y1, double x2, double y2,
                   const TextSpec &label, uint16_t auxDrawMode = 0);
    void Solid(const Attributes &a, const double corners[8], uint32_t fillColor = 0);
    void BlockRef(const Attributes &a, double x, double y, double scaleX, double scaleY, double rotation,
                  uint32_t defNumber);
    void BlockDef(const Attributes &a, uint32_t number, const std::string &name,
                  const std::u16string &unicodeName = u"");

    // Writes a tag with no class behind it, as a damaged file would.
    void RawTag(uint16_t word) { out_.Word(word); }

private:
    void Tag(const std::string &className);
    void Header(const Attributes &a);
    void LineBody(const Attributes &a, double x1, double y1, double x2, double y2);
    void PointBody(const Attributes &a, double x, double y, uint32_t provisional);
    void TextBody(const TextSpec &t);

    ArchiveWriter &out_;
    uint32_t version_;
    std::map<std::string, uint32_t> classIndex_;
    uint32_t mapCount_ = 0;
};

struct DrawingOptions {
    uint32_t version = 600;
    std::string memo;
    uint32_t paperSize = 3;  // A3
    uint32_t backgroundColor = 0xFFFFFF;
    uint32_t drawSolidsFirst = 0;
    uint32_t usePrintColors = 1;
    // Registered views 1..8: zoom, origin x, origin y.
    double views[8][3] = {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}};
    uint32_t layerGroupState = 2;
    uint32_t layerState = 2;
    // States of single groups and layers, over the two above.
    std::map<int, uint32_t> groupStates;
    std::map<std::pair<int, int>, uint32_t> layerStates;
    std::vector<double> groupScales;  // by group; 1, 2, 3, ... when empty
    // Shift-JIS names of single layers, over "L" and the group and layer digits.
    std::map<std::pair<int, int>, std::string> layerNames;
};

// Writes the whole header of a drawing up to, not including, the main
// object list's count.
void WriteDrawingHeader(ArchiveWriter &out, const DrawingOptions &options);

struct FigureOptions {
    uint32_t version = 600;
    double refX = 0, refY = 0;
    double minX = -50, minY = -25, maxX = 50, maxY = 25;
};

// Writes a figure's header up to, not including, the main list's count.
void WriteFigureHeader(ArchiveWriter &out, const FigureOptions &options);

// The trailer after the block definitions: version-700 drawings have 4 bytes.
void WriteDrawingTrailer(ArchiveWriter &out, uint32_t version);

// A drawing without objects or block definitions.
std::vector<uint8_t> MakeEmptyDrawing(const DrawingOptions &options);
// A figure without objects.
std::vector<uint8_t> MakeMinimalFigure();
// The project's showcase: a little of everything the module reads and draws.
std::vector<uint8_t> MakeShowcaseDrawing();
std::vector<uint8_t> MakeShowcaseFigure();
// A drawing whose texts are the file-name and memo macros.
std::vector<uint8_t> MakeMacroDrawing();
// A drawing to measure: dimensions in layer groups of scales 1, 50 and 100
// labelled in real millimetres, a rectangle of 2 x 1.5 m at 1:50 from
// (-60, -20) to (-20, 10) on the sheet, and two lines crossing away from
// their middles at (200 + 16/3, 200 + 16/3).
std::vector<uint8_t> MakeMeasuringDrawing();

bool SaveFile(const std::string &path, const std::vector<uint8_t> &bytes);
