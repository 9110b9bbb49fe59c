// The drawing being converted, as detection (host/detection.h) leaves it:
// the last path the host named, the kind of file, its extension. Settings
// and renderer read it; only the host's detection writes it.
#pragma once

#include <cstdint>
#include <string>

extern std::string drawingPath;  // UTF-8 name given to the last IsSupported call with a name
extern uint32_t isFigureFile;    // 1: last recognised input is a figure (.jws)
extern char nameExtension[4];    // last three characters of the accepted name, as typed

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
