// The module's own settings: raster widths for drawings and figures and the
// reference file of user variables, kept in the current user's registry.
#pragma once

#include <cstdint>
#include <string>

extern std::string refFile;  // reference file name; empty = none
extern uint32_t sizeJww;     // drawing raster width; 0 = desktop width
extern uint32_t sizeJws;     // figure raster width; 0 = half the desktop width

// Refreshes the three values from the registry. 1 when the module's key
// exists (widths in the outputs), else 0 with both outputs 0.
int LoadPluginSettings(uint32_t *widthJws, uint32_t *widthJww);

// Returns the values to those of a freshly loaded module (for tests).
void ResetPluginSettings();
