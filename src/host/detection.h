// Format detection and the detection state it leaves for the rest of the
// module: the last path the host named, the kind of file, its extension.
#pragma once

#include <cstdint>
#include <string>

// Bytes of the file image examined by detection (the archive's magic).
constexpr int kMagicLength = 7;
// Shortest input the exports accept: the fixed part of the archive header.
constexpr uint32_t kMinimumHeaderBytes = 58;

extern std::string drawingPath;  // UTF-8 name given to the last IsSupported call with a name
extern uint32_t isFigureFile;    // 1: last recognised input is a figure (.jws)
extern char nameExtension[4];    // last three characters of the accepted name, as typed

// 1 when the name's ending and the first seven bytes of head agree on a
// drawing or a figure; sets isFigureFile and, on success, nameExtension.
int DetectFormat(const char *fileName, const unsigned char *head);

// Detection of a memory image, which has no name: by its first seven bytes
// alone. On success nameExtension is empty (no print mode).
int DetectFormatByMagic(const unsigned char *head);

// Restores the detection state of a freshly loaded module (for tests).
void ResetDetectionState();

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
