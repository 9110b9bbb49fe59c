// What hosts other than image viewers need from the module, beside the
// plug-in exports: the facts of a drawing, a raster width chosen by the
// caller, and the input limit. The converter, the gdk-pixbuf loader and the
// thumbnail provider enter the module only through these and the exports.
#pragma once

#include <cstdint>

#include "host/plugin_api.h"
#include "settings/plugin_settings.h"

// Larger inputs are refused (the store takes several times the input's size).
constexpr uint64_t kMaxInputBytes = uint64_t{256} << 20;

// Widths the settings accept, for hosts that offer the same choice.
constexpr int32_t kMinConfiguredWidth = kMinSettingWidth;
constexpr int32_t kMaxConfiguredWidth = kMaxSettingWidth;

// Widths a caller may ask for with SetRasterWidth.
constexpr int32_t kMinRequestedWidth = 16;
constexpr int32_t kMaxRequestedWidth = 5000;

constexpr int kFormatDrawing = 0;  // .jww
constexpr int kFormatFigure = 1;   // .jws

// Record counts per object kind.
struct ObjectCounts {
    uint32_t lines;
    uint32_t arcs;
    uint32_t points;
    uint32_t texts;
    uint32_t dimensions;
    uint32_t solids;
    uint32_t blockRefs;
    uint32_t blockDefs;
};

struct DrawingDescription {
    int format;             // kFormatDrawing or kFormatFigure
    uint32_t version;       // the file's version number
    ObjectCounts counts;    // every record the reader stored
    ObjectCounts topLevel;  // those of the main drawing (blockRefs and blockDefs 0)
};

extern "C" {
// Reads a drawing or figure handed over in memory (recognised by its first
// bytes) and describes it. Result codes of the plug-in interface: 0, 2 (not
// a drawing or figure), 3 (too short to read), 4 (no memory).
PLOTMIRA_EXPORT int DescribeDrawing(const void *image, LONG_PTR length, DrawingDescription *description);

// Full-size pictures of both kinds are WIDTH pixels wide (height 0.707 x
// WIDTH) until called again; 0 goes back to the settings and the desktop.
// Previews keep their width. Answers 0, or -1 for a width outside
// kMinRequestedWidth..kMaxRequestedWidth (nothing changes then).
PLOTMIRA_EXPORT int SetRasterWidth(int32_t width);
}

// The module's settings for settings editors (see StoredPluginSettings): what
// the registry holds, written back as the settings file writes it.
int ReadModuleSettings(StoredPluginSettings *settings);
int WriteModuleSettings(const StoredPluginSettings &settings);
// The width of drawings when no setting gives one: the desktop's.
int32_t DefaultDrawingWidth();

// The width SetRasterWidth asked for; 0 when none.
int32_t RequestedRasterWidth();
