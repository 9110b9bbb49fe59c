// The pen and line-type tables the renderer draws with. A drawing's reader
// fills them from the drawing header; a figure takes the CAD program's
// defaults overlaid by its registry settings.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr int kPenCount = 357;       // pens 0..356: 0 background, 1..9, 10 solid colour, 100..356
constexpr int kLineTypeCount = 100;  // line types 0..99
constexpr int kFirstRandomLineType = 11;
constexpr int kLastRandomLineType = 15;

// The tables: what a drawing's reader left, kept with the drawing; a render
// draws with a copy of them.
struct SettingTables {
    COLORREF penColor[kPenCount];
    uint32_t penWidth[kPenCount];
    COLORREF printPenColor[kPenCount];
    uint32_t printPenWidth[kPenCount];
    uint32_t linePattern[kLineTypeCount];
    uint32_t linePitch[kLineTypeCount];
    uint32_t randomWidth[kLastRandomLineType + 1];
};

// Installs the CAD program's built-in pen and line-type defaults, which a
// figure starts from. Entries without a default keep their value.
void InstallDefaultCadSettings(SettingTables &tables);
// Tables of a freshly loaded module: zeros and the defaults over them.
void DefaultSettingTables(SettingTables *tables);
// Print mode: the drawing's printer pens over pens 0..9 (black ones unless
// it prints in colour).
void UsePrintPens(SettingTables &tables, uint32_t usePrintColors);
