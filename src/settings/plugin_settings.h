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

// The three values and the reference file's entries (user variables): what
// a drawing's conversion read of them.
struct PluginSettingsState {
    std::string refFile;  // reference file name; empty = none
    uint32_t sizeJww;     // drawing raster width; 0 = desktop width
    uint32_t sizeJws;     // figure raster width; 0 = half the desktop width
    int referenceCount;
    char referenceNames[kReferenceRows][kReferenceRowBytes];
    char referenceValues[kReferenceRows][kReferenceRowBytes];
};

// The rows of the reference tables a count of entries reads (row 0 unused).
int UsedReferenceRows(int count);
// Copies the values and the used rows of the tables; the reference file's
// name too unless asked not to (the only part that allocates).
void CopyPluginSettings(PluginSettingsState &to, const PluginSettingsState &from, bool withReferenceFile = true);

// Refreshes the three values from the registry (those it holds; the rest
// keep theirs). 1 when the module's key exists (widths in the outputs),
// else 0 with both outputs 0.
int LoadPluginSettings(PluginSettingsState &settings, uint32_t *widthJws, uint32_t *widthJww);

// When the drawing at `drawingPath` is named "Plotmira.jww", copies the
// "Plotmira.ini" beside it into the settings and, when asked, into the
// registry. 1 when a file was applied.
int ApplySettingsFile(const std::string &drawingPath, PluginSettingsState &settings, bool writeRegistry);
// Reads a settings file of that form at its path into the settings (the
// widths and the reference file start empty). 1 when it was read.
int ReadSettingsFile(const std::string &settingsPath, PluginSettingsState &settings);

// Loads the entries of the settings' reference file (a relative name is
// taken beside the drawing) into its tables; answers their number.
int LoadReferenceFile(const std::string &drawingPath, PluginSettingsState &settings);

// The module's values as the registry holds them, for settings editors (the
// plug-in's dialog, the converter's settings command). A value that is not
// there is absent; a width of 0 stands for the default.
struct StoredPluginSettings {
    bool hasDrawingWidth = false;
    uint32_t drawingWidth = 0;
    bool hasFigureWidth = false;
    uint32_t figureWidth = 0;
    bool hasReferenceFile = false;
    std::string referenceFile;
};

// 1 when the module's key exists (values in *settings), else 0, all absent.
int ReadStoredPluginSettings(StoredPluginSettings *settings);
// Writes every present value as the settings file writes it (REF_FILE as
// REG_SZ, the widths as REG_DWORD) and deletes every absent one. 1 when all
// of it reached the registry.
int WriteStoredPluginSettings(const StoredPluginSettings &settings);
// Where the values are kept, in words for people.
std::string SettingsLocation();
// What a settings editor accepts, by the settings file's rules: a width is a
// whole decimal number from kMinSettingWidth to kMaxSettingWidth, and a
// reference file name has at least two characters.
bool ParseSettingWidth(const std::string &text, uint32_t *width);
bool AcceptableReferenceFile(const std::string &name);

// Returns the plug-in's settings (settings/drawing_source.h) to those of a
// freshly loaded module (for tests).
void ResetPluginSettings();

// Position of the last path separator ('\' or '/'), or npos.
size_t LastPathSeparator(const std::string &path);
