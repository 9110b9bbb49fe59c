// Format detection. The state it leaves for the rest of the module (the
// last path the host named, the kind of file, its extension) lives below,
// in settings/drawing_source.h, where settings and renderer read it.
#pragma once

#include <cstdint>
#include <string>

#include "settings/drawing_source.h"

// Bytes of the file image examined by detection (the archive's magic).
constexpr int kMagicLength = 7;
// Shortest input the exports accept: the fixed part of the archive header.
constexpr uint32_t kMinimumHeaderBytes = 58;
// Larger inputs are refused (the store takes several times the input's size).
constexpr uint64_t kMaxInputBytes = uint64_t{256} << 20;

// 1 when the name's ending and the first seven bytes of head agree on a
// drawing or a figure; sets isFigureFile and, on success, nameExtension.
int DetectFormat(const char *fileName, const unsigned char *head);

// Detection of a memory image, which has no name: by its first seven bytes
// alone. On success nameExtension is empty (no print mode).
int DetectFormatByMagic(const unsigned char *head);
// The same, leaving the module's state alone: true for a drawing or a
// figure (*figure 1 for a figure).
bool KindByMagic(const unsigned char *head, uint32_t *figure);

// Restores the detection state of a freshly loaded module (for tests).
void ResetDetectionState();
