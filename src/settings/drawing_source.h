// The drawing being converted, as detection (host/detection.h) leaves it:
// the last path the host named, the kind of file, its extension. Settings
// and renderer read it; only the host's detection writes it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

extern std::string drawingPath;  // UTF-8 name given to the last IsSupported call with a name
extern uint32_t isFigureFile;    // 1: last recognised input is a figure (.jws)
extern char nameExtension[4];    // last three characters of the accepted name, as typed

// The last-write time of the drawing's file, for the file-date macros. The
// plug-in asks the file when a macro needs it; the library's documents,
// which draw again without reading, take it once as the file is read.
enum class DrawingTime { kAskFile, kTaken, kNone };
extern DrawingTime drawingTimeState;
extern SYSTEMTIME drawingTime;  // local time, when kTaken

// The drawing's last-write time in local time; false when there is none.
bool DrawingFileTime(SYSTEMTIME *time);

// The state above as one value.
struct DrawingSource {
    std::string path;
    uint32_t isFigure;
    char extension[4];
    DrawingTime timeState;
    SYSTEMTIME time;
};

// Takes the time of the file at the source's path now, so that later
// macros need not ask the file.
void TakeDrawingFileTime(DrawingSource &source);

void SaveDrawingSource(DrawingSource *source);
void RestoreDrawingSource(const DrawingSource &source);

// While it lives, the drawing has no name: a conversion of a memory image
// sees no settings file, no reference file and empty file macros; the
// host's last name comes back afterwards.
class NamelessConversion {
public:
    NamelessConversion() : saved_(drawingPath) { drawingPath.clear(); }
    ~NamelessConversion() { drawingPath = saved_; }
    NamelessConversion(const NamelessConversion &) = delete;
    NamelessConversion &operator=(const NamelessConversion &) = delete;

private:
    std::string saved_;
};
