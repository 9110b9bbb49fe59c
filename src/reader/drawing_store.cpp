#include "reader/drawing_store.h"

#include <cstdlib>
#include <cstring>

namespace {

// Bytes of drawing data each table is first sized for: lines get 2N, the
// block tables N/2, every other table N.
constexpr size_t kPointSlotBytes = 64;
constexpr size_t kLineSlotBytes = 56;
constexpr size_t kArcSlotBytes = 80;
constexpr size_t kTextSlotBytes = 104;
constexpr size_t kDimensionSlotBytes = 552;
constexpr size_t kSolidSlotBytes = 88;
constexpr size_t kBlockRefSlotBytes = 64;
constexpr size_t kBlockDefSlotBytes = 32;
constexpr char kEmptyString[] = "";

template <typename Record>
bool AllocateTable(RecordTable<Record> &table, size_t bytes, size_t slotBytes)
{
    // At least two slots: slot 0 is never used.
    table.slots = bytes / slotBytes < 2 ? 2 : bytes / slotBytes;
    table.records = static_cast<Record *>(std::malloc(table.slots * sizeof(Record)));
    if (table.records == nullptr) table.slots = 0;
    return table.records != nullptr;
}

// The file can hold more small records of one kind than the first size
// foresees; the table then doubles. Every record takes bytes of the file, so
// the growth stays within a fixed multiple of the file's size.
template <typename Record>
Record *Append(RecordTable<Record> &table, uint32_t &count)
{
    if (table.records == nullptr) return nullptr;
    if (size_t{count} + 1 >= table.slots) {
        const size_t slots = table.slots * 2;
        auto *grown = static_cast<Record *>(std::realloc(table.records, slots * sizeof(Record)));
        if (grown == nullptr) return nullptr;
        table.records = grown;
        table.slots = slots;
    }
    ++count;
    Record *record = &table.records[count];
    std::memset(static_cast<void *>(record), 0, sizeof(Record));
    return record;
}

}  // namespace

int AllocateStore(StoreTables &t, size_t dataLength)
{
    const size_t n = dataLength;
    const size_t half = n / 2;
    // Every pooled string takes at least as many bytes of the file as of the
    // pool (its length field pays for the NUL), so N bytes always suffice.
    t.textPool = static_cast<char *>(std::malloc(n + 1));
    if (t.textPool != nullptr) t.textPoolBytes = n + 1;
    if (t.textPool == nullptr || !AllocateTable(t.points, n, kPointSlotBytes) ||
        !AllocateTable(t.lines, 2 * n, kLineSlotBytes) || !AllocateTable(t.arcs, n, kArcSlotBytes) ||
        !AllocateTable(t.texts, n, kTextSlotBytes) || !AllocateTable(t.dimensions, n, kDimensionSlotBytes) ||
        !AllocateTable(t.solids, n, kSolidSlotBytes) || !AllocateTable(t.blockRefs, half, kBlockRefSlotBytes) ||
        !AllocateTable(t.blockDefs, half, kBlockDefSlotBytes)) {
        FreeStoreTables(&t);
        return 0;
    }
    ResetStore(t);
    return 1;
}

void ResetStore(StoreTables &t)
{
    t.pointCount = t.lineCount = t.arcCount = t.textCount = t.dimensionCount = t.solidCount = 0;
    t.blockRefCount = t.blockDefCount = 0;
    t.poolCursor = 0;
    // Until a main list has been read, nothing is top-level.
    t.firstBlockPoint = t.firstBlockLine = t.firstBlockArc = t.firstBlockText = t.firstBlockDimension =
        t.firstBlockSolid = 1;
}

void MarkFirstBlockRecords(StoreTables &t)
{
    t.firstBlockLine = t.lineCount + 1;
    t.firstBlockArc = t.arcCount + 1;
    t.firstBlockPoint = t.pointCount + 1;
    t.firstBlockText = t.textCount + 1;
    t.firstBlockDimension = t.dimensionCount + 1;
    t.firstBlockSolid = t.solidCount + 1;
}

namespace {

// Cuts a table down to its records: what a file's size foresaw is far more
// than most files hold. The records never move while they are read.
template <typename Record>
void Shrink(RecordTable<Record> &table, uint32_t count)
{
    const size_t slots = size_t{count} + 1;
    if (table.records == nullptr || slots >= table.slots) return;
    auto *cut = static_cast<Record *>(std::realloc(table.records, slots * sizeof(Record)));
    if (cut == nullptr) return;
    table.records = cut;
    table.slots = slots;
}

template <typename Record>
size_t TableBytes(const RecordTable<Record> &table)
{
    return table.slots * sizeof(Record);
}

}  // namespace

void ShrinkStore(StoreTables &t)
{
    Shrink(t.points, t.pointCount);
    Shrink(t.lines, t.lineCount);
    Shrink(t.arcs, t.arcCount);
    Shrink(t.texts, t.textCount);
    Shrink(t.dimensions, t.dimensionCount);
    Shrink(t.solids, t.solidCount);
    Shrink(t.blockRefs, t.blockRefCount);
    Shrink(t.blockDefs, t.blockDefCount);
}

void FreeStoreTables(StoreTables *t)
{
    std::free(t->points.records);
    std::free(t->lines.records);
    std::free(t->arcs.records);
    std::free(t->texts.records);
    std::free(t->dimensions.records);
    std::free(t->solids.records);
    std::free(t->blockRefs.records);
    std::free(t->blockDefs.records);
    std::free(t->textPool);
    *t = StoreTables{};
}

size_t StoreTableBytes(const StoreTables &t)
{
    return TableBytes(t.points) + TableBytes(t.lines) + TableBytes(t.arcs) + TableBytes(t.texts) +
           TableBytes(t.dimensions) + TableBytes(t.solids) + TableBytes(t.blockRefs) + TableBytes(t.blockDefs) +
           t.textPoolBytes;
}

PointRecord *AppendPoint(StoreTables &t) { return Append(t.points, t.pointCount); }
LineRecord *AppendLine(StoreTables &t) { return Append(t.lines, t.lineCount); }
ArcRecord *AppendArc(StoreTables &t) { return Append(t.arcs, t.arcCount); }
TextRecord *AppendText(StoreTables &t) { return Append(t.texts, t.textCount); }
DimensionRecord *AppendDimension(StoreTables &t) { return Append(t.dimensions, t.dimensionCount); }
SolidRecord *AppendSolid(StoreTables &t) { return Append(t.solids, t.solidCount); }
BlockRefRecord *AppendBlockRef(StoreTables &t) { return Append(t.blockRefs, t.blockRefCount); }
BlockDefRecord *AppendBlockDef(StoreTables &t) { return Append(t.blockDefs, t.blockDefCount); }

const char *AppendString(StoreTables &t, const char *bytes, size_t length)
{
    if (t.textPool == nullptr || t.poolCursor + length + 1 > t.textPoolBytes) return kEmptyString;
    char *copy = t.textPool + t.poolCursor;
    if (length != 0) std::memcpy(copy, bytes, length);
    copy[length] = '\0';
    t.poolCursor += length + 1;
    return copy;
}
