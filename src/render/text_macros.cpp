#include "render/text_macros.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/drawing_source.h"
#include "settings/paths.h"
#include "reader/document_readers.h"
#include "render/scene_walk.h"
#include "settings/plugin_settings.h"

namespace {

// The process-wide state of this file: the clock the macros read, set by
// tests only (SetMacroClock).
std::atomic<void (*)(SYSTEMTIME *)> macroClock{nullptr};

// Day and half-day names in Shift-JIS.
const char kJapaneseDays[7][3] = {"\x93\xfa", "\x8c\x8e", "\x89\xce", "\x90\x85",
                                  "\x96\xd8", "\x8b\xe0", "\x93\x79"};  // 日月火水木金土
const char kEnglishDays[7][4] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const char kMonths[13][4] = {"", "JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char kMorningJapanese[] = "\x91\x4f";    // 前
const char kAfternoonJapanese[] = "\x8c\xe3";  // 後
constexpr int kNoon = 12;
constexpr int kYearOffsetWestern = 2000;
constexpr int kYearOffsetHeisei = 1988;
constexpr size_t kExtensionChars = 4;  // ".jww"

}  // namespace

void SetMacroClock(void (*clock)(SYSTEMTIME *time)) { macroClock = clock; }

void SceneWalk::Put(const char *value) { std::snprintf(macroBuffer, sizeof macroBuffer, "%s", value); }

// The drawing's file name, in the drawing's Shift-JIS text.
std::string SceneWalk::FileName() const
{
    const size_t slash = drawingPath.find_last_of("\\/");
    return PathAsShiftJis(slash == std::string::npos ? drawingPath : drawingPath.substr(slash + 1));
}

void SceneWalk::ExpandFileMacro(char prefix, char c1)
{
    SYSTEMTIME t;
    if (c1 == 'F') {
        if (prefix != '=') {
            Put(PathAsShiftJis(drawingPath).c_str());
        } else if (DrawingFileTime(drawing.source, &t)) {
            std::snprintf(macroBuffer, sizeof macroBuffer, "%02d/%02d/%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay,
                          t.wHour, t.wMinute, t.wSecond);
        }
        return;
    }
    if (prefix == '=') {
        if (DrawingFileTime(drawing.source, &t))
            std::snprintf(macroBuffer, sizeof macroBuffer, "%02d/%02d/%02d", t.wYear, t.wMonth, t.wDay);
    } else if (prefix == '%') {
        Put(FileName().c_str());
    } else {
        const std::string name = FileName();
        Put(name.size() > kExtensionChars ? name.substr(0, name.size() - kExtensionChars).c_str() : "");
    }
}

void SceneWalk::ExpandScale(uint16_t layerGroup, bool ratio)
{
    if (layerGroup >= kLayerGroups) return;  // no scale: an empty text
    const double s = layerGroupScale[layerGroup];
    if (s < 1.0) {
        std::snprintf(macroBuffer, sizeof macroBuffer, ratio ? "%.0f/1" : "%.0f", 1 / s);
    } else {
        std::snprintf(macroBuffer, sizeof macroBuffer, ratio ? "1/%.0f" : "%.0f", s);
    }
}

// "%%NAME": the first user variable of that name, compared without case.
int SceneWalk::ExpandUserVariable(const char *name)
{
    const int count =
        pluginSettings.referenceCount < kReferenceRows ? pluginSettings.referenceCount : kReferenceRows - 1;
    for (int i = 1; i <= count; ++i) {
        if (lstrcmpiA(pluginSettings.referenceNames[i], name) == 0) {
            Put(pluginSettings.referenceValues[i]);
            return 1;
        }
    }
    return 0;
}

int SceneWalk::ExpandTextMacro(const char *text, uint16_t layerGroup)
{
    macroBuffer[0] = '\0';
    if (text == nullptr) return 0;
    const char p = text[0];
    if (p != '$' && p != '&' && p != '%' && p != '=') return 0;
    SYSTEMTIME now;
    if (void (*clock)(SYSTEMTIME *) = macroClock.load()) {
        clock(&now);
    } else {
        GetLocalTime(&now);
    }
    const char c1 = text[1];
    const char c2 = c1 != '\0' ? text[2] : '\0';
    const bool morning = now.wHour < kNoon;
    if (c1 == 'n') {
        Put(morning ? "AM" : "PM");
        return 1;
    }
    if (c1 == 'N') {
        Put(morning ? kMorningJapanese : kAfternoonJapanese);
        return 1;
    }
    if (c1 == 'F' || c1 == 'f') {
        ExpandFileMacro(p, c1);
        return 1;
    }
    if (p == '%') {
        if (c1 == 'm' && c2 == '1') {
            Put(memoText);
            return 1;
        }
        if (c1 == 'm' && c2 == '2') {
            Put(memoSecondLine);
            return 1;
        }
        if (c1 == 'S' && (c2 == 'S' || c2 == 'P')) {
            ExpandScale(layerGroup, true);
            return 1;
        }
        if (c1 == 's' && (c2 == 's' || c2 == 'p')) {
            ExpandScale(layerGroup, false);
            return 1;
        }
        if (c1 == '%') return pluginSettings.referenceCount > 0 ? ExpandUserVariable(text + 2) : 0;
    }
    if (c1 == 'w') {
        Put(c2 == 'a' ? kEnglishDays[now.wDayOfWeek % 7] : kJapaneseDays[now.wDayOfWeek % 7]);
        return 1;
    }
    if (c1 == 'm' && c2 == 'a') {
        Put(now.wMonth >= 1 && now.wMonth <= 12 ? kMonths[now.wMonth] : "");
        return 1;
    }
    int v = 0;
    switch (c1) {
    case 'y': v = now.wYear - kYearOffsetWestern; break;
    case 'Y': v = now.wYear - kYearOffsetHeisei; break;
    case 'm': v = now.wMonth; break;
    case 'd': v = now.wDay; break;
    case 'H': v = now.wHour; break;
    case 'h': v = now.wHour >= kNoon ? now.wHour - kNoon : now.wHour; break;
    case 'M': v = now.wMinute; break;
    case 'S': v = now.wSecond; break;
    default: break;
    }
    std::snprintf(macroBuffer, sizeof macroBuffer, p == '$' ? "%d" : p == '&' ? "%2d" : "%02d", v);
    return 1;
}
