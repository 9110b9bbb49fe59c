#include "reader/object_records.h"

#include <cstring>

#include "reader/archive.h"

uint32_t fileVersion = 0;
int32_t currentOwner = kTopLevelOwner;

namespace {

constexpr uint8_t kPointWithMark = 100;   // penStyle of a point followed by its mark fields
constexpr uint16_t kSolidOwnColour = 10;  // penColor of a solid followed by its RGB colour

// Appends a record read into a local copy once it is complete, so a record
// cut off by the end of the data never reaches the store.
template <typename Record, typename Read>
int Keep(Record *(*append)(), Read read)
{
    Record record;
    std::memset(static_cast<void *>(&record), 0, sizeof record);
    read(record);
    if (archive.exhausted) return 0;
    Record *slot = append();
    if (slot == nullptr) return 0;
    *slot = record;
    return 1;
}

// CDataEnko: header; cx, cy, radius, start, sweep, tilt, flatness; full-circle flag.
void ReadArc(ArcRecord &arc)
{
    ReadHeader(arc.header);
    arc.cx = ReadDouble();
    arc.cy = ReadDouble();
    arc.radius = ReadDouble();
    arc.startAngle = ReadDouble();
    arc.sweepAngle = ReadDouble();
    arc.tiltAngle = ReadDouble();
    arc.flatness = ReadDouble();
    arc.fullCircle = ReadDword();
    arc.owner = currentOwner;
}

// CDataSunpou: header; line; label; from 420 a u16, two lines and four points.
void ReadDimension(DimensionRecord &dimension)
{
    ReadHeader(dimension.header);
    ReadLine(dimension.line);
    ReadText(dimension.label);
    if (fileVersion >= kFirstVersionWithDimensionExtras) {
        dimension.auxDrawMode = ReadWord();
        ReadLine(dimension.auxLine1);
        ReadLine(dimension.auxLine2);
        ReadPoint(dimension.auxPoint1);
        ReadPoint(dimension.auxPoint2);
        ReadPoint(dimension.auxPoint3);
        ReadPoint(dimension.auxPoint4);
    }
}

// CDataSolid: header; four corners; the RGB colour when penColor is 10.
void ReadSolid(SolidRecord &solid)
{
    ReadHeader(solid.header);
    solid.x1 = ReadDouble();
    solid.y1 = ReadDouble();
    solid.x2 = ReadDouble();
    solid.y2 = ReadDouble();
    solid.x3 = ReadDouble();
    solid.y3 = ReadDouble();
    solid.x4 = ReadDouble();
    solid.y4 = ReadDouble();
    if (solid.header.penColor == kSolidOwnColour) solid.fillColor = ReadDword();
    solid.owner = currentOwner;
}

// CDataBlock: header; x, y, scale x, scale y, rotation; definition number.
// The group's place holds the owner.
void ReadBlockRef(BlockRefRecord &ref)
{
    ReadHeader(ref.header);
    ref.x = ReadDouble();
    ref.y = ReadDouble();
    ref.scaleX = ReadDouble();
    ref.scaleY = ReadDouble();
    ref.rotation = ReadDouble();
    ref.defNumber = ReadDword();
    ref.header.group = static_cast<uint32_t>(currentOwner);
    ref.owner = currentOwner;
}

// CDataList: header; number, referenced flag, time stamp; the name (a string
// in any of the archive's forms, whose first byte is kept as its length;
// the name itself is dropped). Its members follow it and belong to it.
void ReadBlockDef(BlockDefRecord &def)
{
    ReadHeader(def.header);
    def.defNumber = ReadDword();
    def.referenced = ReadDword();
    def.timeStamp = ReadDword();
    if (archive.position < archive.size) def.nameLength = archive.data[archive.position];
    SkipString();
}

}  // namespace

// Header: group u32, line type u8, pen u16, [pen width u16 from 351], layer u16,
// layer group u16, flags u16.
void ReadHeader(EntityHeader &header)
{
    header.group = ReadDword();
    header.penStyle = ReadByte();
    header.penColor = ReadWord();
    if (fileVersion >= kFirstVersionWithPenWidth) header.penWidth = ReadWord();
    header.layer = ReadWord();
    header.layerGroup = ReadWord();
    header.flags = ReadWord();
}

// CDataSen: header; x1, y1, x2, y2.
void ReadLine(LineRecord &line)
{
    ReadHeader(line.header);
    line.x1 = ReadDouble();
    line.y1 = ReadDouble();
    line.x2 = ReadDouble();
    line.y2 = ReadDouble();
    line.owner = currentOwner;
}

// CDataTen: header; x, y; provisional flag; with line type 100 the mark code,
// angle and scale.
void ReadPoint(PointRecord &point)
{
    ReadHeader(point.header);
    point.x = ReadDouble();
    point.y = ReadDouble();
    point.provisional = ReadDword();
    if (point.header.penStyle == kPointWithMark) {
        point.markCode = ReadDword();
        point.markAngle = ReadDouble();
        point.markScale = ReadDouble();
    }
    point.owner = currentOwner;
}

// CDataMoji: header; x1, y1, x2, y2; kind; width, height, spacing, angle; font; text.
void ReadText(TextRecord &text)
{
    ReadHeader(text.header);
    text.x1 = ReadDouble();
    text.y1 = ReadDouble();
    text.x2 = ReadDouble();
    text.y2 = ReadDouble();
    text.textKind = ReadDword();
    text.charWidth = ReadDouble();
    text.charHeight = ReadDouble();
    text.charSpacing = ReadDouble();
    text.textAngle = ReadDouble();
    text.fontName = ReadString();
    text.text = ReadString();
    text.owner = currentOwner;
}

int ReadObject(const char *name)
{
    if (std::strcmp(name, "CDataSen") == 0) return Keep(AppendLine, ReadLine);
    if (std::strcmp(name, "CDataEnko") == 0) return Keep(AppendArc, ReadArc);
    if (std::strcmp(name, "CDataTen") == 0) return Keep(AppendPoint, ReadPoint);
    if (std::strcmp(name, "CDataMoji") == 0) return Keep(AppendText, ReadText);
    if (std::strcmp(name, "CDataSunpou") == 0) return Keep(AppendDimension, ReadDimension);
    if (std::strcmp(name, "CDataSolid") == 0) return Keep(AppendSolid, ReadSolid);
    if (std::strcmp(name, "CDataBlock") == 0) return Keep(AppendBlockRef, ReadBlockRef);
    if (std::strcmp(name, "CDataList") == 0) {
        BlockDefRecord def;
        std::memset(&def, 0, sizeof def);
        ReadBlockDef(def);
        if (archive.exhausted) return 0;
        BlockDefRecord *slotRecord = AppendBlockDef();
        if (slotRecord == nullptr) return 0;
        *slotRecord = def;
        currentOwner = static_cast<int32_t>(def.defNumber);
        return 1;
    }
    return 0;
}
