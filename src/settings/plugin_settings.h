// The module's own settings: raster widths for drawings and figures and the
// reference file of user variables, kept in the current user's registry
// under "Software\Plotmira_spi\ini" and written there by "Plotmira.ini".
#pragma once

#include <cstdint>
#include <string>

constexpr int kReferenceRows = 100;      // row 0 unused: at most 99 entries
constexpr int kReferenceRowBytes = 100;  // each name and value at most 99 bytes
// Raster widths the settings accept; anything else stands for the default.
constexpr long kMinSettingWidth = 300;
constexpr long kMaxSettingWidth = 5000;

extern std::string refFile;  // reference file name; empty = none
extern uint32_t sizeJww;     // drawing raster width; 0 = desktop width
extern uint32_t sizeJws;     // figure raster width; 0 = half the desktop width

extern char referenceNames[kReferenceRows][kReferenceRowBytes];
extern char referenceValues[kReferenceRows][kReferenceRowBytes];
extern int referenceCount;

// Refreshes the three values from the registry. 1 when the module's key
// exists (widths in the outputs), else 0 with both outputs 0.
int LoadPluginSettings(uint32_t *widthJws, uint32_t *widthJww);

// When the drawing being converted is named "Plotmira.jww", copies the
// "Plotmira.ini" beside it into the registry. 1 when a file was applied.
int ApplySettingsFile();

// Loads the entries of the reference file; answers their number.
int LoadReferenceFile();

// Returns the values to those of a freshly loaded module (for tests).
void ResetPluginSettings();

// Position of the last path separator ('\' or '/'), or npos.
size_t LastPathSeparator(const std::string &path);
