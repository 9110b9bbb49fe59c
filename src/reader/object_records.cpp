#include "reader/object_records.h"

#include <cstring>

#include "reader/archive.h"
#include "reader/drawing.h"

namespace {

constexpr uint8_t kPointWithMark = 100;   // penStyle of a point followed by its mark fields
constexpr uint16_t kSolidOwnColour = 10;  // penColor of a solid followed by its RGB colour

// Appends a record read into a local copy once it is complete, so a record
// cut off by the end of the data never reaches the store.
template <typename Record, typename Read>
int Keep(ReadContext &rc, Record *(*append)(StoreTables &), Read read)
{
    Record record;
    std::memset(static_cast<void *>(&record), 0, sizeof record);
    read(rc, record);
    if (rc.archive.exhausted) return 0;
    Record *slot = append(rc.drawing.store);
    if (slot == nullptr) return 0;
    *slot = record;
    return 1;
}

// CDataEnko: header; cx, cy, radius, start, sweep, tilt, flatness; full-circle flag.
void ReadArc(ReadContext &rc, ArcRecord &arc)
{
    ReadHeader(rc, arc.header);
    arc.cx = ReadDouble(rc);
    arc.cy = ReadDouble(rc);
    arc.radius = ReadDouble(rc);
    arc.startAngle = ReadDouble(rc);
    arc.sweepAngle = ReadDouble(rc);
    arc.tiltAngle = ReadDouble(rc);
    arc.flatness = ReadDouble(rc);
    arc.fullCircle = ReadDword(rc);
    arc.owner = rc.currentOwner;
}

// CDataSunpou: header; line; label; from 420 a u16, two lines and four points.
void ReadDimension(ReadContext &rc, DimensionRecord &dimension)
{
    ReadHeader(rc, dimension.header);
    ReadLine(rc, dimension.line);
    ReadText(rc, dimension.label);
    if (rc.version >= kFirstVersionWithDimensionExtras) {
        dimension.auxDrawMode = ReadWord(rc);
        ReadLine(rc, dimension.auxLine1);
        ReadLine(rc, dimension.auxLine2);
        ReadPoint(rc, dimension.auxPoint1);
        ReadPoint(rc, dimension.auxPoint2);
        ReadPoint(rc, dimension.auxPoint3);
        ReadPoint(rc, dimension.auxPoint4);
    }
}

// CDataSolid: header; four corners; the RGB colour when penColor is 10.
void ReadSolid(ReadContext &rc, SolidRecord &solid)
{
    ReadHeader(rc, solid.header);
    solid.x1 = ReadDouble(rc);
    solid.y1 = ReadDouble(rc);
    solid.x2 = ReadDouble(rc);
    solid.y2 = ReadDouble(rc);
    solid.x3 = ReadDouble(rc);
    solid.y3 = ReadDouble(rc);
    solid.x4 = ReadDouble(rc);
    solid.y4 = ReadDouble(rc);
    if (solid.header.penColor == kSolidOwnColour) solid.fillColor = ReadDword(rc);
    solid.owner = rc.currentOwner;
}

// CDataBlock: header; x, y, scale x, scale y, rotation; definition number.
// The group's place holds the owner.
void ReadBlockRef(ReadContext &rc, BlockRefRecord &ref)
{
    ReadHeader(rc, ref.header);
    ref.x = ReadDouble(rc);
    ref.y = ReadDouble(rc);
    ref.scaleX = ReadDouble(rc);
    ref.scaleY = ReadDouble(rc);
    ref.rotation = ReadDouble(rc);
    ref.defNumber = ReadDword(rc);
    ref.header.group = static_cast<uint32_t>(rc.currentOwner);
    ref.owner = rc.currentOwner;
}

// CDataList: header; number, referenced flag, time stamp; the name (a string
// in any of the archive's forms, whose first byte is kept as its length).
// Its members follow it and belong to it.
void ReadBlockDef(ReadContext &rc, BlockDefRecord &def)
{
    ReadHeader(rc, def.header);
    def.defNumber = ReadDword(rc);
    def.referenced = ReadDword(rc);
    def.timeStamp = ReadDword(rc);
    if (rc.archive.position < rc.archive.size) def.nameLength = rc.archive.data[rc.archive.position];
    def.name = ReadString(rc);
}

}  // namespace

// Header: group u32, line type u8, pen u16, [pen width u16 from 351], layer u16,
// layer group u16, flags u16.
void ReadHeader(ReadContext &rc, EntityHeader &header)
{
    header.group = ReadDword(rc);
    header.penStyle = ReadByte(rc);
    header.penColor = ReadWord(rc);
    if (rc.version >= kFirstVersionWithPenWidth) header.penWidth = ReadWord(rc);
    header.layer = ReadWord(rc);
    header.layerGroup = ReadWord(rc);
    header.flags = ReadWord(rc);
}

// CDataSen: header; x1, y1, x2, y2.
void ReadLine(ReadContext &rc, LineRecord &line)
{
    ReadHeader(rc, line.header);
    line.x1 = ReadDouble(rc);
    line.y1 = ReadDouble(rc);
    line.x2 = ReadDouble(rc);
    line.y2 = ReadDouble(rc);
    line.owner = rc.currentOwner;
}

// CDataTen: header; x, y; provisional flag; with line type 100 the mark code,
// angle and scale.
void ReadPoint(ReadContext &rc, PointRecord &point)
{
    ReadHeader(rc, point.header);
    point.x = ReadDouble(rc);
    point.y = ReadDouble(rc);
    point.provisional = ReadDword(rc);
    if (point.header.penStyle == kPointWithMark) {
        point.markCode = ReadDword(rc);
        point.markAngle = ReadDouble(rc);
        point.markScale = ReadDouble(rc);
    }
    point.owner = rc.currentOwner;
}

// CDataMoji: header; x1, y1, x2, y2; kind; width, height, spacing, angle; font; text.
void ReadText(ReadContext &rc, TextRecord &text)
{
    ReadHeader(rc, text.header);
    text.x1 = ReadDouble(rc);
    text.y1 = ReadDouble(rc);
    text.x2 = ReadDouble(rc);
    text.y2 = ReadDouble(rc);
    text.textKind = ReadDword(rc);
    text.charWidth = ReadDouble(rc);
    text.charHeight = ReadDouble(rc);
    text.charSpacing = ReadDouble(rc);
    text.textAngle = ReadDouble(rc);
    text.fontName = ReadString(rc);
    text.text = ReadString(rc);
    text.owner = rc.currentOwner;
}

int ReadObject(ReadContext &rc, const char *name)
{
    if (std::strcmp(name, "CDataSen") == 0) return Keep(rc, AppendLine, ReadLine);
    if (std::strcmp(name, "CDataEnko") == 0) return Keep(rc, AppendArc, ReadArc);
    if (std::strcmp(name, "CDataTen") == 0) return Keep(rc, AppendPoint, ReadPoint);
    if (std::strcmp(name, "CDataMoji") == 0) return Keep(rc, AppendText, ReadText);
    if (std::strcmp(name, "CDataSunpou") == 0) return Keep(rc, AppendDimension, ReadDimension);
    if (std::strcmp(name, "CDataSolid") == 0) return Keep(rc, AppendSolid, ReadSolid);
    if (std::strcmp(name, "CDataBlock") == 0) return Keep(rc, AppendBlockRef, ReadBlockRef);
    if (std::strcmp(name, "CDataList") == 0) {
        BlockDefRecord def;
        std::memset(&def, 0, sizeof def);
        ReadBlockDef(rc, def);
        if (rc.archive.exhausted) return 0;
        BlockDefRecord *slotRecord = AppendBlockDef(rc.drawing.store);
        if (slotRecord == nullptr) return 0;
        *slotRecord = def;
        rc.currentOwner = static_cast<int32_t>(def.defNumber);
        return 1;
    }
    return 0;
}
