#include "settings/setting_tables.h"

#include <cstring>

namespace {

constexpr COLORREF kDefaultPenColors[10] = {0xFFFFFF, 0x00C0C0, 0x000000, 0x00C000, 0xC0C000,
                                            0xC000C0, 0x0000FF, 0x008080, 0xFF0080, 0xC0C0C0};
constexpr COLORREF kDefaultExtendedColors[17] = {0xFFFFFF, 0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF,
                                                 0xFF00FF, 0xFFFF00, 0xFFFFFF, 0x8000C0, 0x4080C0, 0x0080FF,
                                                 0x80C080, 0xFF8000, 0xFF4080, 0xC0C0C0, 0x808080};
constexpr int kFirstExtendedPen = 100;
constexpr uint32_t kDefaultPenWidths[9] = {1, 1, 1, 1, 1, 1, 2, 3, 5};
constexpr uint32_t kDefaultPatterns2To9[8] = {0x99999999, 0xC3C3C3C3, 0xE7E7E7E7, 0xF99FF99F,
                                              0xFFF99FFF, 0xF24FF24F, 0xFFF24FFF, 0x22222222};
constexpr uint32_t kDefaultPatterns16To19[4] = {0xFFF99FFF, 0xFFF24FFF, 0xFFFE7FFF, 0xFFFE7FFF};
constexpr uint32_t kDefaultPitches11To19[9] = {3, 4, 5, 6, 7, 2, 2, 2, 4};
constexpr uint32_t kDefaultRandomWidths[5] = {1, 1, 2, 2, 2};
constexpr uint32_t kSolidPattern = 0xFFFFFFFF;
constexpr int kPrintPenCount = 10;  // pens 0..9 take the printer values in print mode

}  // namespace

void InstallDefaultCadSettings(SettingTables &tables)
{
    for (int i = 0; i < 10; ++i) tables.penColor[i] = kDefaultPenColors[i];
    for (int i = 0; i < 17; ++i) tables.penColor[kFirstExtendedPen + i] = kDefaultExtendedColors[i];
    for (int i = kFirstExtendedPen + 17; i < kPenCount; ++i) tables.penColor[i] = 0;
    for (int i = 0; i < 9; ++i) tables.penWidth[i] = kDefaultPenWidths[i];

    tables.linePattern[1] = kSolidPattern;
    for (int t = 2; t <= 9; ++t) tables.linePattern[t] = kDefaultPatterns2To9[t - 2];
    for (int t = kFirstRandomLineType; t <= kLastRandomLineType; ++t) tables.linePattern[t] = kSolidPattern;
    for (int t = 16; t <= 19; ++t) tables.linePattern[t] = kDefaultPatterns16To19[t - 16];
    for (int t = 20; t < kLineTypeCount; ++t) tables.linePattern[t] = kSolidPattern;

    for (int t = 2; t <= 10; ++t) tables.linePitch[t] = 1;
    for (int t = 11; t <= 19; ++t) tables.linePitch[t] = kDefaultPitches11To19[t - 11];
    for (int t = 20; t < kLineTypeCount; ++t) tables.linePitch[t] = 1;
    for (int t = kFirstRandomLineType; t <= kLastRandomLineType; ++t) {
        tables.randomWidth[t] = kDefaultRandomWidths[t - kFirstRandomLineType];
    }
}

void DefaultSettingTables(SettingTables *t)
{
    std::memset(t, 0, sizeof *t);
    InstallDefaultCadSettings(*t);
}

void UsePrintPens(SettingTables &t, uint32_t usePrintColors)
{
    t.penColor[0] = t.printPenColor[0];
    t.penWidth[0] = t.printPenWidth[0];
    for (int i = 1; i < kPrintPenCount; ++i) {
        t.penColor[i] = usePrintColors != 0 ? t.printPenColor[i] : 0;
        t.penWidth[i] = t.printPenWidth[i];
    }
}
