// The per-request drawing store: one table per object kind, sized from the
// length of the drawing data and grown when a file holds more records of a
// kind than that size foresees, plus the string pool.
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
};

// A table of 1-based records (slot 0 unused) in one heap block.
template <typename Record>
struct RecordTable {
    Record *records = nullptr;
    size_t slots = 0;
    Record &operator[](size_t index) { return records[index]; }
    const Record &operator[](size_t index) const { return records[index]; }
};

extern RecordTable<PointRecord> points;
extern RecordTable<LineRecord> lines;
extern RecordTable<ArcRecord> arcs;
extern RecordTable<TextRecord> texts;
extern RecordTable<DimensionRecord> dimensions;
extern RecordTable<SolidRecord> solids;
extern RecordTable<BlockRefRecord> blockRefs;
extern RecordTable<BlockDefRecord> blockDefs;
extern char *textPool;
extern size_t textPoolBytes;

extern uint32_t pointCount, lineCount, arcCount, textCount, dimensionCount, solidCount, blockRefCount, blockDefCount;
extern size_t poolCursor;
extern uint32_t firstBlockPoint, firstBlockLine, firstBlockArc, firstBlockText, firstBlockDimension, firstBlockSolid;

// Every table, the pool, the counts and the markers as one value. A store
// taken from the process-wide one outlives the request that read it (the
// library's documents keep theirs) and is lent back to be drawn again.
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

// Moves the process-wide store into `tables` (its record tables cut to what
// they hold) and leaves an empty one behind.
void TakeStore(StoreTables *tables);
// Makes `tables` the process-wide store without copying; ForgetStore gives
// it back (the owner still frees it).
void LendStore(const StoreTables &tables);
void ForgetStore();
// Frees what TakeStore moved out.
void FreeStoreTables(StoreTables *tables);
// Bytes the tables and the pool take.
size_t StoreTableBytes(const StoreTables &tables);

// Allocates the nine blocks for N bytes of drawing data; 1 when all exist.
int AllocateStore(size_t dataLength);
// Frees every allocated block; safe after a partial allocation.
void ReleaseStore();
// Empties every table and the pool.
void ResetStore();
// Sets the first-block markers after the main object list.
void MarkFirstBlockRecords();

// Takes the next record of a table (count + 1), zero-filled. The table grows
// when it is full; null when memory runs out.
PointRecord *AppendPoint();
LineRecord *AppendLine();
ArcRecord *AppendArc();
TextRecord *AppendText();
DimensionRecord *AppendDimension();
SolidRecord *AppendSolid();
BlockRefRecord *AppendBlockRef();
BlockDefRecord *AppendBlockDef();

// Copies L bytes and a NUL into the pool; answers the copy, or an empty
// string when the pool is full.
const char *AppendString(const char *bytes, size_t length);
