#include "settings/cad_settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32.h"
#include "settings/setting_tables.h"

namespace {

constexpr char kPenKey[] = "Software\\Jw_cad\\jw_win\\Pen";
constexpr char kLineKey[] = "Software\\Jw_cad\\jw_win\\Line";
constexpr DWORD kMaxHexTextChars = 17;    // colours and patterns
constexpr DWORD kMaxWidthTextChars = 19;  // pen widths
constexpr DWORD kNumberBytes = 4;
constexpr int kLastOrdinaryPen = 9;
constexpr int kLastOrdinaryLineType = 9;
constexpr int kFirstExtraLineType = 11;
constexpr int kLastExtraLineType = 19;

// Reads a text value of at most maxChars characters (its stored size may
// include the terminating NUL). False leaves the caller's entry alone.
bool QueryShortText(HKEY key, const char *name, DWORD maxChars, char *text)
{
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    if (size == 0 || size > maxChars + 1) return false;
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text), &got) != ERROR_SUCCESS) {
        return false;
    }
    text[got] = '\0';
    return true;
}

bool QueryNumber(HKEY key, const char *name, uint32_t *number)
{
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size != kNumberBytes) {
        return false;
    }
    DWORD value = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size) != ERROR_SUCCESS) {
        return false;
    }
    *number = value;
    return true;
}

// Colour tables hold COLORREF, which is not uint32_t on every platform.
template <typename Entry>
void ReadHexValue(HKEY key, const char *name, Entry *entry)
{
    char text[kMaxHexTextChars + 2];
    if (QueryShortText(key, name, kMaxHexTextChars, text)) *entry = ParseCadHex(text);
}

void ReadPenKey(HKEY key, SettingTables &t)
{
    char name[16];
    for (int pen = 0; pen <= kLastOrdinaryPen; ++pen) {
        std::snprintf(name, sizeof name, "Color%02d", pen);
        ReadHexValue(key, name, &t.penColor[pen]);
    }
    for (int pen = 1; pen <= kLastOrdinaryPen; ++pen) {
        std::snprintf(name, sizeof name, "Width%02d", pen);
        char text[kMaxWidthTextChars + 2];
        if (QueryShortText(key, name, kMaxWidthTextChars, text)) {
            t.penWidth[pen] = static_cast<uint32_t>(std::atoi(text));
        }
    }
}

// Line types 1..9 and 11..19 have registry values; 10 has none.
template <typename Visit>
void ForEachLineType(Visit visit)
{
    for (int type = 1; type <= kLastOrdinaryLineType; ++type) visit(type);
    for (int type = kFirstExtraLineType; type <= kLastExtraLineType; ++type) visit(type);
}

void ReadLineKey(HKEY key, SettingTables &t)
{
    char name[16];
    ForEachLineType([&](int type) {
        std::snprintf(name, sizeof name, "Pitch%02d", type);
        QueryNumber(key, name, &t.linePitch[type]);
    });
    ForEachLineType([&](int type) {
        std::snprintf(name, sizeof name, "Type_%02d", type);
        ReadHexValue(key, name, &t.linePattern[type]);
    });
    for (int type = kFirstRandomLineType; type <= kLastRandomLineType; ++type) {
        std::snprintf(name, sizeof name, "RandW%02d", type);
        QueryNumber(key, name, &t.randomWidth[type]);
    }
}

}  // namespace

uint32_t ParseCadHex(const char *text)
{
    uint64_t value = 0;
    for (const char *p = text; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9') {
            digit = *p - '0';
        } else if (*p >= 'a' && *p <= 'f') {
            digit = *p - 'a' + 10;
        } else if (*p >= 'A' && *p <= 'F') {
            digit = *p - 'A' + 10;
        } else {
            break;
        }
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

void LoadCadSettings(SettingTables &tables)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPenKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    ReadPenKey(key, tables);
    RegCloseKey(key);
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kLineKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    ReadLineKey(key, tables);
    RegCloseKey(key);
}
