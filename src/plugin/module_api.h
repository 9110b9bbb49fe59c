// The module's own description of a drawing handed over in memory (record
// counts as the reader stored them). Hosts use the library's interface
// (include/plotmira.h) instead.
#pragma once

#include <cstdint>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "plugin/plugin_api.h"
#include "settings/plugin_settings.h"

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

// Reads a drawing or figure handed over in memory (recognised by its first
// bytes) and describes it. Result codes of the plug-in interface: 0, 2 (not
// a drawing or figure), 3 (too short to read), 4 (no memory).
int DescribeDrawing(const void *image, LONG_PTR length, DrawingDescription *description);
