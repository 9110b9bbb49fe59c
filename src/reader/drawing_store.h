// A drawing's store: one table per object kind, sized from the length of the
// drawing data and grown when a file holds more records of a kind than that
// size foresees, plus the string pool.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kTopLevelOwner = 100000;  // owner of the main drawing's objects

// The common attributes that open every entity record.
struct EntityHeader {
    uint32_t group;
    uint8_t penStyle;   // line type; for points 100 announces the mark fields
    uint16_t penColor;  // 1..9, 100..356; for solids 10 announces an RGB colour
    uint16_t penWidth;  // absent (0) before version 351
    uint16_t layer;
    uint16_t layerGroup;
    uint16_t flags;
};

struct LineRecord {
    EntityHeader header;
    double x1, y1, x2, y2;
    int32_t owner;
};

struct ArcRecord {
    EntityHeader header;
    double cx, cy, radius, startAngle, sweepAngle, tiltAngle, flatness;
    uint32_t fullCircle;
    int32_t owner;
};

struct PointRecord {
    EntityHeader header;
    double x, y;
    uint32_t provisional;
    int32_t owner;
    uint32_t markCode;  // the mark fields: only when penStyle is 100
    double markAngle, markScale;
};

struct TextRecord {
    EntityHeader header;
    double x1, y1, x2, y2;
    uint32_t textKind;
    double charWidth, charHeight, charSpacing, textAngle;
    const char *fontName;  // pool strings
    const char *text;
    int32_t owner;
};

struct DimensionRecord {
    EntityHeader header;
    LineRecord line;
    TextRecord label;
    uint16_t auxDrawMode;  // this and the auxiliary members: version 420 on
    LineRecord auxLine1, auxLine2;
    PointRecord auxPoint1, auxPoint2, auxPoint3, auxPoint4;
};

struct SolidRecord {
    EntityHeader header;
    double x1, y1, x2, y2, x3, y3, x4, y4;
    uint32_t fillColor;  // RGB, only when penColor is 10
    int32_t owner;
};

struct BlockRefRecord {
    EntityHeader header;  // header.group holds the owner, as the store keeps it
    int32_t owner;
    double x, y, scaleX, scaleY, rotation;
    uint32_t defNumber;
};

struct BlockDefRecord {
    EntityHeader header;
    uint32_t defNumber;
    uint32_t referenced;
    uint32_t timeStamp;
    uint8_t nameLength;
    const char *name;  // pool string
};

// A table of 1-based records (slot 0 unused) in one heap block.
template <typename Record>
struct RecordTable {
    Record *records = nullptr;
    size_t slots = 0;
    Record &operator[](size_t index) { return records[index]; }
    const Record &operator[](size_t index) const { return records[index]; }
};

// Every table, the pool, the counts and the markers as one value: a
// drawing's records, read once into it.
struct StoreTables {
    RecordTable<PointRecord> points;
    RecordTable<LineRecord> lines;
    RecordTable<ArcRecord> arcs;
    RecordTable<TextRecord> texts;
    RecordTable<DimensionRecord> dimensions;
    RecordTable<SolidRecord> solids;
    RecordTable<BlockRefRecord> blockRefs;
    RecordTable<BlockDefRecord> blockDefs;
    char *textPool = nullptr;
    size_t textPoolBytes = 0;
    uint32_t pointCount = 0, lineCount = 0, arcCount = 0, textCount = 0, dimensionCount = 0, solidCount = 0,
             blockRefCount = 0, blockDefCount = 0;
    size_t poolCursor = 0;
    uint32_t firstBlockPoint = 1, firstBlockLine = 1, firstBlockArc = 1, firstBlockText = 1, firstBlockDimension = 1,
             firstBlockSolid = 1;
};

// The records stored, and those of the main drawing (whose block references
// and definitions count 0), into a struct of eight counts in this order:
// lines, arcs, points, texts, dimensions, solids, block references and
// block definitions.
template <typename Counts>
void CountRecords(const StoreTables &t, Counts *all, Counts *topLevel)
{
    *all = {t.lineCount,      t.arcCount,   t.pointCount,    t.textCount,
            t.dimensionCount, t.solidCount, t.blockRefCount, t.blockDefCount};
    *topLevel = {t.firstBlockLine - 1,
                 t.firstBlockArc - 1,
                 t.firstBlockPoint - 1,
                 t.firstBlockText - 1,
                 t.firstBlockDimension - 1,
                 t.firstBlockSolid - 1,
                 0,
                 0};
}

// Frees the tables and the pool; the tables are then empty. Safe after a
// partial allocation.
void FreeStoreTables(StoreTables *tables);
// Bytes the tables and the pool take.
size_t StoreTableBytes(const StoreTables &tables);
// Cuts the record tables down to what they hold: what a file's size foresaw
// is far more than most files hold.
void ShrinkStore(StoreTables &tables);

// Allocates the nine blocks for N bytes of drawing data; 1 when all exist
// (else the tables are freed again).
int AllocateStore(StoreTables &tables, size_t dataLength);
// Empties every table and the pool.
void ResetStore(StoreTables &tables);
// Sets the first-block markers after the main object list.
void MarkFirstBlockRecords(StoreTables &tables);

// Takes the next record of a table (count + 1), zero-filled. The table grows
// when it is full; null when memory runs out.
PointRecord *AppendPoint(StoreTables &tables);
LineRecord *AppendLine(StoreTables &tables);
ArcRecord *AppendArc(StoreTables &tables);
TextRecord *AppendText(StoreTables &tables);
DimensionRecord *AppendDimension(StoreTables &tables);
SolidRecord *AppendSolid(StoreTables &tables);
BlockRefRecord *AppendBlockRef(StoreTables &tables);
BlockDefRecord *AppendBlockDef(StoreTables &tables);

// Copies L bytes and a NUL into the pool; answers the copy, or an empty
// string when the pool is full.
const char *AppendString(StoreTables &tables, const char *bytes, size_t length);
