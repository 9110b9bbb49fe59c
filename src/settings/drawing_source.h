// A drawing's source: its path, the kind of file, its extension and the
// time of its file; and the plug-in's request state, the source detection
// (pipeline/detection.h) left and the settings its last request read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"
#include "settings/plugin_settings.h"

// The last-write time of the drawing's file, for the file-date macros. The
// plug-in asks the file when a macro needs it; the library's documents,
// which draw again without reading, take it once as the file is read.
enum class DrawingTime { kAskFile, kTaken, kNone };

struct DrawingSource {
    std::string path;   // UTF-8; the plug-in's: the name given to the last IsSupported call with one
    uint32_t isFigure;  // 1: a figure (.jws)
    char extension[4];  // the last three characters of the accepted name, as typed
    DrawingTime timeState;
    SYSTEMTIME time;  // local time, when kTaken
};

// The plug-in's requests: the source detection leaves for the next
// conversion, and the settings the last conversion read (its widths and
// user variables carry on to the next). Process-wide, under the module lock
// (pipeline/module_state.h); the library's documents use none of it.
struct PluginRequest {
    DrawingSource source;
    PluginSettingsState settings;
    int32_t requestedWidth;  // SetRasterWidth's (pipeline/conversion_driver.h), 0 none
};
PluginRequest &Request();

// The drawing's last-write time in local time; false when there is none.
bool DrawingFileTime(const DrawingSource &source, SYSTEMTIME *time);

// Takes the time of the file at the source's path now, so that later
// macros need not ask the file.
void TakeDrawingFileTime(DrawingSource &source);

// While it lives, the drawing has no name: a conversion of a memory image
// sees no settings file, no reference file and empty file macros; the
// host's last name comes back afterwards.
class NamelessConversion {
public:
    NamelessConversion() : saved_(Request().source.path) { Request().source.path.clear(); }
    ~NamelessConversion() { Request().source.path = saved_; }
    NamelessConversion(const NamelessConversion &) = delete;
    NamelessConversion &operator=(const NamelessConversion &) = delete;

private:
    std::string saved_;
};
