#include "reader/document_readers.h"

#include <cstring>

#include "reader/archive.h"
#include "reader/drawing_store.h"
#include "reader/object_lists.h"
#include "reader/object_records.h"
#include "settings/cad_settings.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

const char *memoText = "";
const char *memoSecondLine = "";
uint32_t paperSize = 0;
uint32_t layerGroupState[kLayerGroups];
double layerGroupScale[kLayerGroups];
uint32_t layerState[kLayerGroups][kLayersPerGroup];
const char *layerName[kLayerGroups][kLayersPerGroup];
const char *layerGroupName[kLayerGroups];
double viewZoom[kRegisteredViews + 1];
double viewOriginX[kRegisteredViews + 1];
double viewOriginY[kRegisteredViews + 1];
int selectedView = 0;
uint32_t drawSolidsFirst = 0;
uint32_t usePrintColors = 0;
double figureRefX, figureRefY;
double extentMinX, extentMinY, extentMaxX, extentMaxY;
size_t lastReadEnd = 0;
bool lastReadExhausted = false;
bool lastListFailed = false;

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

void SkipDwords(int n) { SkipBytes(static_cast<size_t>(n) * 4); }
void SkipDoubles(int n) { SkipBytes(static_cast<size_t>(n) * 8); }

void ClearMemo()
{
    memoText = "";
    memoSecondLine = "";
}

// The memo's first line is the text up to its first CR LF; its second line
// the text after its last CR LF (the pool copy is cut at each CR).
void SplitMemo(const char *memo)
{
    memoText = memo;
    memoSecondLine = "";
    const size_t length = std::strlen(memo);
    if (length <= 2) return;
    char *bytes = const_cast<char *>(memo);  // the reader's own copy in the pool
    for (size_t i = 0; i + 1 < length; ++i) {
        if (bytes[i] == '\r' && bytes[i + 1] == '\n') {
            bytes[i] = '\0';
            memoSecondLine = bytes + i + 2;
        }
    }
}

// One line type: pattern, (unused), pitch, (unused).
void ReadLineType(int type)
{
    linePatternTable[type] = ReadDword();
    ReadDword();
    linePitchTable[type] = ReadDword();
    ReadDword();
}

void ReadLayerGroups()
{
    for (int g = 0; g < kLayerGroups; ++g) {
        layerGroupState[g] = ReadDword();
        ReadDword();
        layerGroupScale[g] = ReadDouble();
        ReadDword();
        for (int l = 0; l < kLayersPerGroup; ++l) {
            layerState[g][l] = ReadDword();
            ReadDword();
        }
    }
}

void ReadRegisteredViews(uint32_t version)
{
    selectedView = 0;
    const int views = version >= kVersion300 ? kRegisteredViews : kViewsBefore300;
    for (int n = 1; n <= views; ++n) {
        viewZoom[n] = ReadDouble();
        viewOriginX[n] = ReadDouble();
        viewOriginY[n] = ReadDouble();
        if (version >= kVersion300) ReadDword();
        if (n <= kLastSelectableView && viewOriginX[n] != 0.0 && viewOriginY[n] != 0.0) selectedView = n;
    }
}

void ReadPensAndLineTypes(uint32_t version)
{
    for (int n = 0; n < kOrdinaryPens; ++n) {
        penColorTable[n] = ReadDword();
        penWidthTable[n] = ReadDword();
    }
    for (int n = 0; n < kOrdinaryPens; ++n) {
        printPenColorTable[n] = ReadDword();
        printPenWidthTable[n] = ReadDword();
        ReadDouble();
    }
    for (int t = 2; t <= 9; ++t) ReadLineType(t);
    for (int t = kFirstRandomLineType; t <= kLastRandomLineType; ++t) {
        linePatternTable[t] = ReadDword();
        randomWidthTable[t] = ReadDword();
        linePitchTable[t] = ReadDword();
        ReadDword();
        ReadDword();
    }
    for (int t = 16; t <= 19; ++t) ReadLineType(t);
    for (int i = 0; i < kHeaderFlagWords; ++i) {
        const uint32_t flag = ReadDword();
        if (i == kSolidsFirstFlag) drawSolidsFirst = flag;
        if (i == kPrintColoursFlag) usePrintColors = flag;
    }
    SkipDoubles(9);
    SkipDwords(2);
    if (version < kVersion420) return;
    for (int p = kFirstExtendedPen; p <= kLastExtendedPen; ++p) {
        penColorTable[p] = ReadDword();
        penWidthTable[p] = ReadDword();
    }
    for (int p = kFirstExtendedPen; p <= kLastExtendedPen; ++p) {
        SkipString();
        printPenColorTable[p] = ReadDword();
        printPenWidthTable[p] = ReadDword();
        ReadDouble();
    }
    for (int t = kFirstExtendedLineType; t <= kLastExtendedLineType; ++t) ReadLineType(t);
    for (int t = kFirstExtendedLineType; t <= kLastExtendedLineType; ++t) {
        SkipString();
        ReadDword();
        SkipDoubles(10);
    }
}

// The drawing header, row by row; answers the main list's object count.
uint32_t ReadDrawingHeader(uint32_t version)
{
    SplitMemo(ReadString());
    paperSize = ReadDword();
    ReadDword();
    ReadLayerGroups();
    SkipDwords(21);
    SkipDoubles(3);
    SkipDwords(2);
    SkipDoubles(5);
    for (int g = 0; g < kLayerGroups; ++g) {
        for (int l = 0; l < kLayersPerGroup; ++l) layerName[g][l] = ReadString();
    }
    for (int g = 0; g < kLayerGroups; ++g) layerGroupName[g] = ReadString();
    SkipDoubles(2);
    SkipDwords(1);
    SkipDoubles(1);
    if (version >= kVersion300) SkipDoubles(2);
    SkipDwords(1);
    SkipDoubles(6);
    ReadRegisteredViews(version);
    if (version >= kVersion300) {
        SkipDwords(11);
        SkipDoubles(1);
        SkipDwords(1);
    }
    SkipDoubles(11);
    ReadPensAndLineTypes(version);
    for (int k = 0; k < kTextKinds; ++k) {
        SkipDoubles(3);
        SkipDwords(1);
    }
    SkipDoubles(3);
    SkipDwords(2);
    SkipDoubles(2);
    SkipDwords(1);
    SkipDoubles(6);
    return ReadCount();
}

// The member list that follows each block definition.
int ReadDefinitionMembers() { return ReadObjectList(ReadCount()); }

// The block definitions after the main list: each a tagged definition and
// its members. The data ending, or a tag that names no class, ends the list.
void ReadBlockDefinitions()
{
    const uint32_t count = ReadCount();
    for (uint32_t k = 0; k < count && !archive.exhausted; ++k) {
        if (!ReadTaggedObject(ReadDefinitionMembers)) break;
    }
}

// After a failed main list the markers cover what this request read, so the
// renderer walks only its own records.
void EndWithFailedList()
{
    lastListFailed = true;
    MarkFirstBlockRecords();
    lastReadEnd = archive.position;
    lastReadExhausted = archive.exhausted;
}

// The main list of objectCount objects, its markers, and the block
// definitions; false when the main list failed.
bool ReadObjectLists(uint32_t objectCount)
{
    lastListFailed = false;
    ResetClassMap();
    currentOwner = kTopLevelOwner;
    if (!ReadObjectList(objectCount)) {
        EndWithFailedList();
        return false;
    }
    MarkFirstBlockRecords();
    ReadBlockDefinitions();
    lastReadEnd = archive.position;
    lastReadExhausted = archive.exhausted;
    return true;
}

void SetFigureLayers()
{
    for (int g = 0; g < kLayerGroups; ++g) {
        layerGroupState[g] = kLayerStateDrawn;
        for (int l = 0; l < kLayersPerGroup; ++l) layerState[g][l] = kLayerStateDrawn;
    }
}

}  // namespace

void SaveDocumentSettings(DocumentSettings *s)
{
    s->fileVersion = fileVersion;
    s->memoText = memoText;
    s->memoSecondLine = memoSecondLine;
    s->paperSize = paperSize;
    s->selectedView = selectedView;
    s->drawSolidsFirst = drawSolidsFirst;
    s->usePrintColors = usePrintColors;
    s->figureRefX = figureRefX;
    s->figureRefY = figureRefY;
    s->extentMinX = extentMinX;
    s->extentMinY = extentMinY;
    s->extentMaxX = extentMaxX;
    s->extentMaxY = extentMaxY;
    s->lastReadEnd = lastReadEnd;
    s->lastReadExhausted = lastReadExhausted;
    s->lastListFailed = lastListFailed;
    std::memcpy(s->layerGroupState, layerGroupState, sizeof layerGroupState);
    std::memcpy(s->layerGroupScale, layerGroupScale, sizeof layerGroupScale);
    std::memcpy(s->layerState, layerState, sizeof layerState);
    std::memcpy(s->layerName, layerName, sizeof layerName);
    std::memcpy(s->layerGroupName, layerGroupName, sizeof layerGroupName);
    std::memcpy(s->viewZoom, viewZoom, sizeof viewZoom);
    std::memcpy(s->viewOriginX, viewOriginX, sizeof viewOriginX);
    std::memcpy(s->viewOriginY, viewOriginY, sizeof viewOriginY);
}

void RestoreDocumentSettings(const DocumentSettings &s)
{
    fileVersion = s.fileVersion;
    memoText = s.memoText;
    memoSecondLine = s.memoSecondLine;
    paperSize = s.paperSize;
    selectedView = s.selectedView;
    drawSolidsFirst = s.drawSolidsFirst;
    usePrintColors = s.usePrintColors;
    figureRefX = s.figureRefX;
    figureRefY = s.figureRefY;
    extentMinX = s.extentMinX;
    extentMinY = s.extentMinY;
    extentMaxX = s.extentMaxX;
    extentMaxY = s.extentMaxY;
    lastReadEnd = s.lastReadEnd;
    lastReadExhausted = s.lastReadExhausted;
    lastListFailed = s.lastListFailed;
    std::memcpy(layerGroupState, s.layerGroupState, sizeof layerGroupState);
    std::memcpy(layerGroupScale, s.layerGroupScale, sizeof layerGroupScale);
    std::memcpy(layerState, s.layerState, sizeof layerState);
    std::memcpy(layerName, s.layerName, sizeof layerName);
    std::memcpy(layerGroupName, s.layerGroupName, sizeof layerGroupName);
    std::memcpy(viewZoom, s.viewZoom, sizeof viewZoom);
    std::memcpy(viewOriginX, s.viewOriginX, sizeof viewOriginX);
    std::memcpy(viewOriginY, s.viewOriginY, sizeof viewOriginY);
}

void ResetDocumentSettings()
{
    DocumentSettings empty = {};
    empty.memoText = "";
    empty.memoSecondLine = "";
    for (auto &group : empty.layerName) {
        for (const char *&name : group) name = "";
    }
    for (const char *&name : empty.layerGroupName) name = "";
    RestoreDocumentSettings(empty);
}

bool IsReadableDrawingVersion(uint32_t version)
{
    return version == kVersion230 || version == kVersion300 || version == kVersion351 || version == kVersion420 ||
           version == kVersion600 || version == kVersion700;
}

int ReadDrawingFile(const unsigned char *data, size_t length)
{
    if (data == nullptr || length < kMinimumDrawingBytes) return -1;
    BeginArchive(data, length);
    ResetStore();
    ClearMemo();
    SkipBytes(kMagicBytes);
    fileVersion = ReadDword();
    if (!IsReadableDrawingVersion(fileVersion)) {
        lastReadEnd = archive.position;
        lastReadExhausted = false;
        // The version itself is the answer, except where it would read as a
        // view number (1..4) or as a failure (-1 and other negatives).
        return fileVersion > kLastSelectableView && fileVersion <= 0x7FFFFFFFu ? static_cast<int>(fileVersion) : 0;
    }
    if (!ReadObjectLists(ReadDrawingHeader(fileVersion))) return 0;
    ApplySettingsFile();
    referenceCount = LoadReferenceFile();
    return selectedView;
}

int ReadFigureFile(const unsigned char *data, size_t length)
{
    if (data == nullptr || length < kMinimumFigureBytes) return -1;
    BeginArchive(data, length);
    ResetStore();
    ClearMemo();
    SkipBytes(kMagicBytes + kFigureSkippedBlock);
    fileVersion = ReadDword();
    figureRefX = ReadDouble();
    figureRefY = ReadDouble();
    paperSize = 1;
    for (int g = 0; g < kLayerGroups; ++g) layerGroupScale[g] = ReadDouble();
    SetFigureLayers();
    SkipDwords(6);
    SkipDoubles(6);
    extentMinX = ReadDouble();
    extentMinY = ReadDouble();
    extentMaxX = ReadDouble();
    extentMaxY = ReadDouble();
    const uint32_t objectCount = ReadCount();
    InstallDefaultCadSettings();
    if (!ReadObjectLists(objectCount)) return 0;
    LoadCadSettings();
    return 0;
}
