// Helpers for tests that convert files through the exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/plugin_api.h"

// The shared corpus of real drawings: the folder PLOTMIRA_CORPUS_DIR names in
// the environment, else the one the build was configured with.
std::string CorpusDir();
// True when PLOTMIRA_REQUIRE_CORPUS=1: a missing corpus is then a failure.
bool CorpusRequired();

// A whole file's bytes as text, and a file written with them.
std::string ReadText(const std::string &path);
void WriteText(const std::string &path, const std::string &text);

// A temporary folder removed with everything in it when the object dies.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    std::string Path(const std::string &name) const { return path_ + "/" + name; }
    std::string Write(const std::string &name, const std::vector<uint8_t> &bytes) const;

private:
    std::string path_;
};

// The outcome of one GetPicture or GetPreview call.
struct Conversion {
    int result = -1;
    int32_t width = 0;
    int32_t height = 0;
    BITMAPINFOHEADER header = {};
    std::vector<uint8_t> bits;  // the bits block as handed over
};

// Calls IsSupported, then GetPicture (or GetPreview), copies what came back
// and frees the blocks as a host does.
Conversion ConvertFile(const std::string &path, bool preview = false, LONG_PTR offset = 0,
                       ProgressCallback progress = nullptr, LONG_PTR userData = 0);

// True when every pixel of a 24-bit DIB has the colour (0x00BBGGRR).
bool AllPixelsAre(const Conversion &conversion, uint32_t color);
// True when every pixel has the colour but for the figure's red reference
// mark, a dot of at most 6 x 6 pixels.
bool BackgroundAndReferenceMark(const Conversion &conversion, uint32_t color);
