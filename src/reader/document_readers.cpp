#include "reader/document_readers.h"

#include <cstring>

#include "reader/archive.h"
#include "reader/drawing.h"
#include "reader/drawing_store.h"
#include "reader/object_lists.h"
#include "reader/object_records.h"
#include "settings/cad_settings.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

namespace {

constexpr size_t kMagicBytes = 8;              // "JwwData." / "JwsData."
constexpr size_t kMinimumDrawingBytes = 2000;  // shorter drawings are refused
constexpr size_t kMinimumFigureBytes = 100;
constexpr size_t kFigureSkippedBlock = 192;  // values after the figure's magic, not used
constexpr uint32_t kVersion230 = 230;
constexpr uint32_t kVersion300 = 300;
constexpr uint32_t kVersion351 = 351;
constexpr uint32_t kVersion420 = 420;
constexpr uint32_t kVersion600 = 600;
constexpr uint32_t kVersion700 = 700;  // the layout of 600, with 4 more bytes at the end
constexpr int kLastSelectableView = 4;
constexpr int kViewsBefore300 = 4;
constexpr int kOrdinaryPens = 10;  // pens 0..9
constexpr int kFirstExtendedPen = 100;
constexpr int kLastExtendedPen = 356;
constexpr int kFirstExtendedLineType = 30;
constexpr int kLastExtendedLineType = 62;
constexpr int kHeaderFlagWords = 16;
constexpr int kSolidsFirstFlag = 2;   // the third flag word
constexpr int kPrintColoursFlag = 5;  // the sixth flag word
constexpr int kTextKinds = 10;

void SkipDwords(ReadContext &rc, int n) { SkipBytes(rc, static_cast<size_t>(n) * 4); }
void SkipDoubles(ReadContext &rc, int n) { SkipBytes(rc, static_cast<size_t>(n) * 8); }

void ClearMemo(DocumentSettings &header)
{
    header.memoText = "";
    header.memoSecondLine = "";
}

// The memo's first line is the text up to its first CR LF; its second line
// the text after its last CR LF (the pool copy is cut at each CR).
void SplitMemo(DocumentSettings &header, const char *memo)
{
    header.memoText = memo;
    header.memoSecondLine = "";
    const size_t length = std::strlen(memo);
    if (length <= 2) return;
    char *bytes = const_cast<char *>(memo);  // the reader's own copy in the pool
    for (size_t i = 0; i + 1 < length; ++i) {
        if (bytes[i] == '\r' && bytes[i + 1] == '\n') {
            bytes[i] = '\0';
            header.memoSecondLine = bytes + i + 2;
        }
    }
}

// One line type: pattern, (unused), pitch, (unused).
void ReadLineType(ReadContext &rc, int type)
{
    SettingTables &tables = rc.drawing.tables;
    tables.linePattern[type] = ReadDword(rc);
    ReadDword(rc);
    tables.linePitch[type] = ReadDword(rc);
    ReadDword(rc);
}

void ReadLayerGroups(ReadContext &rc)
{
    DocumentSettings &header = rc.drawing.header;
    for (int g = 0; g < kLayerGroups; ++g) {
        header.layerGroupState[g] = ReadDword(rc);
        ReadDword(rc);
        header.layerGroupScale[g] = ReadDouble(rc);
        ReadDword(rc);
        for (int l = 0; l < kLayersPerGroup; ++l) {
            header.layerState[g][l] = ReadDword(rc);
            ReadDword(rc);
        }
    }
}

void ReadRegisteredViews(ReadContext &rc, uint32_t version)
{
    DocumentSettings &header = rc.drawing.header;
    int &selectedView = header.selectedView;
    selectedView = 0;
    const int views = version >= kVersion300 ? kRegisteredViews : kViewsBefore300;
    for (int n = 1; n <= views; ++n) {
        header.viewZoom[n] = ReadDouble(rc);
        header.viewOriginX[n] = ReadDouble(rc);
        header.viewOriginY[n] = ReadDouble(rc);
        if (version >= kVersion300) ReadDword(rc);
        if (n <= kLastSelectableView && header.viewOriginX[n] != 0.0 && header.viewOriginY[n] != 0.0) selectedView = n;
    }
}

void ReadPensAndLineTypes(ReadContext &rc, uint32_t version)
{
    SettingTables &tables = rc.drawing.tables;
    DocumentSettings &header = rc.drawing.header;
    for (int n = 0; n < kOrdinaryPens; ++n) {
        tables.penColor[n] = ReadDword(rc);
        tables.penWidth[n] = ReadDword(rc);
    }
    for (int n = 0; n < kOrdinaryPens; ++n) {
        tables.printPenColor[n] = ReadDword(rc);
        tables.printPenWidth[n] = ReadDword(rc);
        ReadDouble(rc);
    }
    for (int t = 2; t <= 9; ++t) ReadLineType(rc, t);
    for (int t = kFirstRandomLineType; t <= kLastRandomLineType; ++t) {
        tables.linePattern[t] = ReadDword(rc);
        tables.randomWidth[t] = ReadDword(rc);
        tables.linePitch[t] = ReadDword(rc);
        ReadDword(rc);
        ReadDword(rc);
    }
    for (int t = 16; t <= 19; ++t) ReadLineType(rc, t);
    for (int i = 0; i < kHeaderFlagWords; ++i) {
        const uint32_t flag = ReadDword(rc);
        if (i == kSolidsFirstFlag) header.drawSolidsFirst = flag;
        if (i == kPrintColoursFlag) header.usePrintColors = flag;
    }
    SkipDoubles(rc, 9);
    SkipDwords(rc, 2);
    if (version < kVersion420) return;
    for (int p = kFirstExtendedPen; p <= kLastExtendedPen; ++p) {
        tables.penColor[p] = ReadDword(rc);
        tables.penWidth[p] = ReadDword(rc);
    }
    for (int p = kFirstExtendedPen; p <= kLastExtendedPen; ++p) {
        SkipString(rc);
        tables.printPenColor[p] = ReadDword(rc);
        tables.printPenWidth[p] = ReadDword(rc);
        ReadDouble(rc);
    }
    for (int t = kFirstExtendedLineType; t <= kLastExtendedLineType; ++t) ReadLineType(rc, t);
    for (int t = kFirstExtendedLineType; t <= kLastExtendedLineType; ++t) {
        SkipString(rc);
        ReadDword(rc);
        SkipDoubles(rc, 10);
    }
}

// The drawing header, row by row; answers the main list's object count.
uint32_t ReadDrawingHeader(ReadContext &rc, uint32_t version)
{
    DocumentSettings &header = rc.drawing.header;
    SplitMemo(header, ReadString(rc));
    header.paperSize = ReadDword(rc);
    ReadDword(rc);
    ReadLayerGroups(rc);
    SkipDwords(rc, 21);
    SkipDoubles(rc, 3);
    SkipDwords(rc, 2);
    SkipDoubles(rc, 5);
    for (int g = 0; g < kLayerGroups; ++g) {
        for (int l = 0; l < kLayersPerGroup; ++l) header.layerName[g][l] = ReadString(rc);
    }
    for (int g = 0; g < kLayerGroups; ++g) header.layerGroupName[g] = ReadString(rc);
    SkipDoubles(rc, 2);
    SkipDwords(rc, 1);
    SkipDoubles(rc, 1);
    if (version >= kVersion300) SkipDoubles(rc, 2);
    SkipDwords(rc, 1);
    SkipDoubles(rc, 6);
    ReadRegisteredViews(rc, version);
    if (version >= kVersion300) {
        SkipDwords(rc, 11);
        SkipDoubles(rc, 1);
        SkipDwords(rc, 1);
    }
    SkipDoubles(rc, 11);
    ReadPensAndLineTypes(rc, version);
    for (int k = 0; k < kTextKinds; ++k) {
        SkipDoubles(rc, 3);
        SkipDwords(rc, 1);
    }
    SkipDoubles(rc, 3);
    SkipDwords(rc, 2);
    SkipDoubles(rc, 2);
    SkipDwords(rc, 1);
    SkipDoubles(rc, 6);
    return ReadCount(rc);
}

// The member list that follows each block definition.
int ReadDefinitionMembers(ReadContext &rc) { return ReadObjectList(rc, ReadCount(rc)); }

// The block definitions after the main list: each a tagged definition and
// its members. The data ending, or a tag that names no class, ends the list.
void ReadBlockDefinitions(ReadContext &rc)
{
    const uint32_t count = ReadCount(rc);
    for (uint32_t k = 0; k < count && !rc.archive.exhausted; ++k) {
        if (!ReadTaggedObject(rc, ReadDefinitionMembers)) break;
    }
}

// Where the reading stopped, for diagnosis and tests.
void NoteReadEnd(ReadContext &rc)
{
    rc.drawing.header.lastReadEnd = rc.archive.position;
    rc.drawing.header.lastReadExhausted = rc.archive.exhausted;
}

// The main list of objectCount objects, its markers, and the block
// definitions; false when the main list failed. After a failed main list
// the markers cover what was read, so the renderer walks only its own
// records.
bool ReadObjectLists(ReadContext &rc, uint32_t objectCount)
{
    rc.drawing.header.lastListFailed = false;
    ResetClassMap(rc);
    rc.currentOwner = kTopLevelOwner;
    if (!ReadObjectList(rc, objectCount)) {
        rc.drawing.header.lastListFailed = true;
        MarkFirstBlockRecords(rc.drawing.store);
        NoteReadEnd(rc);
        return false;
    }
    MarkFirstBlockRecords(rc.drawing.store);
    ReadBlockDefinitions(rc);
    NoteReadEnd(rc);
    return true;
}

void SetFigureLayers(DocumentSettings &header)
{
    for (int g = 0; g < kLayerGroups; ++g) {
        header.layerGroupState[g] = kLayerStateDrawn;
        for (int l = 0; l < kLayersPerGroup; ++l) header.layerState[g][l] = kLayerStateDrawn;
    }
}

}  // namespace

void ClearPoolStrings(DocumentSettings &settings)
{
    settings.memoText = "";
    settings.memoSecondLine = "";
    for (auto &group : settings.layerName) {
        for (const char *&name : group) name = "";
    }
    for (const char *&name : settings.layerGroupName) name = "";
}

void EmptyDocumentSettings(DocumentSettings *empty)
{
    *empty = DocumentSettings{};
    ClearPoolStrings(*empty);
}

bool IsReadableDrawingVersion(uint32_t version)
{
    return version == kVersion230 || version == kVersion300 || version == kVersion351 || version == kVersion420 ||
           version == kVersion600 || version == kVersion700;
}

int ReadDrawingFile(Drawing &drawing, const unsigned char *data, size_t length, SettingsReach reach)
{
    if (data == nullptr || length < kMinimumDrawingBytes) return -1;
    ReadContext rc(drawing);
    DocumentSettings &header = drawing.header;
    BeginArchive(rc, data, length);
    ResetStore(drawing.store);
    ClearMemo(header);
    SkipBytes(rc, kMagicBytes);
    rc.version = header.fileVersion = ReadDword(rc);
    if (!IsReadableDrawingVersion(rc.version)) {
        header.lastReadEnd = rc.archive.position;
        header.lastReadExhausted = false;
        // The version itself is the answer, except where it would read as a
        // view number (1..4) or as a failure (-1 and other negatives).
        return rc.version > kLastSelectableView && rc.version <= 0x7FFFFFFFu ? static_cast<int>(rc.version) : 0;
    }
    if (!ReadObjectLists(rc, ReadDrawingHeader(rc, rc.version))) return 0;
    if (reach == SettingsReach::kBuiltIn) return header.selectedView;
    ApplySettingsFile(drawing.source.path, drawing.references, reach == SettingsReach::kModule);
    drawing.references.referenceCount = LoadReferenceFile(drawing.source.path, drawing.references);
    return header.selectedView;
}

int ReadFigureOrDrawing(Drawing &drawing, const unsigned char *data, size_t length, bool figure, SettingsReach reach)
{
    if (!AllocateStore(drawing.store, length)) return kReadNoStore;
    return figure ? ReadFigureFile(drawing, data, length, reach) : ReadDrawingFile(drawing, data, length, reach);
}

int ReadFigureFile(Drawing &drawing, const unsigned char *data, size_t length, SettingsReach reach)
{
    if (data == nullptr || length < kMinimumFigureBytes) return -1;
    ReadContext rc(drawing);
    DocumentSettings &header = drawing.header;
    BeginArchive(rc, data, length);
    ResetStore(drawing.store);
    ClearMemo(header);
    SkipBytes(rc, kMagicBytes + kFigureSkippedBlock);
    rc.version = header.fileVersion = ReadDword(rc);
    header.figureRefX = ReadDouble(rc);
    header.figureRefY = ReadDouble(rc);
    header.paperSize = 1;
    for (int g = 0; g < kLayerGroups; ++g) header.layerGroupScale[g] = ReadDouble(rc);
    SetFigureLayers(header);
    SkipDwords(rc, 6);
    SkipDoubles(rc, 6);
    header.extentMinX = ReadDouble(rc);
    header.extentMinY = ReadDouble(rc);
    header.extentMaxX = ReadDouble(rc);
    header.extentMaxY = ReadDouble(rc);
    const uint32_t objectCount = ReadCount(rc);
    InstallDefaultCadSettings(drawing.tables);
    if (!ReadObjectLists(rc, objectCount)) return 0;
    if (reach != SettingsReach::kBuiltIn) LoadCadSettings(drawing.tables);
    return 0;
}
