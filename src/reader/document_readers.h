// Readers of the two document kinds. Both parse the file image the host
// handed over (already read from its offset) and fill a drawing: its store
// (allocated by the caller for the data's length), header and tables.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kLayerGroups = 16;
constexpr int kLayersPerGroup = 16;
constexpr int kRegisteredViews = 8;  // views 1..8; only 1..4 can be selected
constexpr uint32_t kLayerStateDrawn = 2;

// The header values the renderer draws with: a drawing's, put in place.
extern uint32_t fileVersion;
extern const char *memoText;
extern const char *memoSecondLine;
extern uint32_t paperSize;
extern uint32_t layerGroupState[kLayerGroups];
extern double layerGroupScale[kLayerGroups];
extern uint32_t layerState[kLayerGroups][kLayersPerGroup];
extern const char *layerName[kLayerGroups][kLayersPerGroup];
extern const char *layerGroupName[kLayerGroups];
extern double viewZoom[kRegisteredViews + 1];
extern double viewOriginX[kRegisteredViews + 1];
extern double viewOriginY[kRegisteredViews + 1];
extern int selectedView;
extern uint32_t drawSolidsFirst;
extern uint32_t usePrintColors;

// Figure header values.
extern double figureRefX, figureRefY;
extern double extentMinX, extentMinY, extentMaxX, extentMaxY;

// Where the last read stopped, for diagnosis and tests: the offset reached
// and whether the data ended early.
extern size_t lastReadEnd;
extern bool lastReadExhausted;
extern bool lastListFailed;  // the main object list ended at an object it could not read

// The header values above as one value: what a drawing's reader left.
struct DocumentSettings {
    uint32_t fileVersion;
    const char *memoText;
    const char *memoSecondLine;
    uint32_t paperSize;
    uint32_t layerGroupState[kLayerGroups];
    double layerGroupScale[kLayerGroups];
    uint32_t layerState[kLayerGroups][kLayersPerGroup];
    const char *layerName[kLayerGroups][kLayersPerGroup];
    const char *layerGroupName[kLayerGroups];
    double viewZoom[kRegisteredViews + 1];
    double viewOriginX[kRegisteredViews + 1];
    double viewOriginY[kRegisteredViews + 1];
    int selectedView;
    uint32_t drawSolidsFirst;
    uint32_t usePrintColors;
    double figureRefX, figureRefY;
    double extentMinX, extentMinY, extentMaxX, extentMaxY;
    size_t lastReadEnd;
    bool lastReadExhausted;
    bool lastListFailed;
};

void SaveDocumentSettings(DocumentSettings *settings);
void RestoreDocumentSettings(const DocumentSettings &settings);
// Every header value empty, as before any file was read.
void EmptyDocumentSettings(DocumentSettings *settings);
// Empties the module's header values so.
void ResetDocumentSettings();

struct Drawing;  // reader/drawing.h

// What a reading asks of the settings beyond the file.
enum class SettingsReach {
    kBuiltIn,  // nothing: the drawing's own values over the built-in ones
    kUser,     // the user's: the settings file beside a "Plotmira.jww" (for this
               // drawing), its reference file, the CAD program's pens for figures
    kModule,   // the plug-in's: as kUser, and the settings file written to the registry
};

// Values the reader does not meet keep what the drawing held before (the
// plug-in carries them from one request to the next).
// −1 when the data is too short to be a drawing; the version number itself
// for a version the module does not read; otherwise 0..4, the registered view
// to use in print mode (0 = none).
int ReadDrawingFile(Drawing &drawing, const unsigned char *data, size_t length, SettingsReach reach);
// −1 when the data is too short to be a figure, otherwise 0.
int ReadFigureFile(Drawing &drawing, const unsigned char *data, size_t length, SettingsReach reach);
// Allocates the drawing's store for the data's length and reads a figure
// or a drawing into it: the reader's answer, or kReadNoStore when the
// store cannot be had.
constexpr int kReadNoStore = -2;
int ReadFigureOrDrawing(Drawing &drawing, const unsigned char *data, size_t length, bool figure, SettingsReach reach);

// Whether a drawing of this version is read (and drawn).
bool IsReadableDrawingVersion(uint32_t version);
