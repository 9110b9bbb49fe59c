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

// A drawing's header values, as its reader left them.
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
    // Where the reading stopped, for diagnosis and tests: the offset
    // reached, whether the data ended early, and whether the main object
    // list ended at an object it could not read.
    size_t lastReadEnd;
    bool lastReadExhausted;
    bool lastListFailed;
};

// Every header value empty, as before any file was read.
void EmptyDocumentSettings(DocumentSettings *settings);
// The values that point into a drawing's string pool (memo, layer and group
// names) made empty strings, for values that outlive the pool.
void ClearPoolStrings(DocumentSettings &settings);

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
