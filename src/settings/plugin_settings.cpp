#include "settings/plugin_settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "settings/drawing_source.h"
#include "settings/paths.h"
#include "platform/registry_location.h"
#include "platform/win32.h"

namespace {

constexpr char kSettingsKey[] = "Software\\Plotmira_spi\\ini";
constexpr char kRefFileValue[] = "REF_FILE";
constexpr char kSizeJwwValue[] = "SIZE_JWW";
constexpr char kSizeJwsValue[] = "SIZE_JWS";
constexpr char kSettingsDrawingName[] = "Plotmira.jww";
constexpr char kSettingsFileName[] = "Plotmira.ini";
constexpr char kSettingsMarker[] = "Plotmira_ini";
constexpr size_t kSettingsLineChars = 254;  // longer lines are ignored whole
constexpr uint32_t kMaxSettingsFileBytes = 1u << 20;
constexpr size_t kMinRefFileChars = 2;
constexpr size_t kMaxWidthDigits = 4;
constexpr uint32_t kMinReferenceFileBytes = 5;
constexpr uint32_t kMaxReferenceFileBytes = 16u << 20;  // larger files are not reference files
constexpr size_t kMaxRefFileBytes = 32768;              // longest REF_FILE taken from the registry

// Reads a REG_SZ value of any stored length into text; false leaves it alone.
bool QueryText(HKEY key, const char *name, std::string *text)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxRefFileBytes) return false;
    std::vector<char> buffer(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer.data()), &got) != ERROR_SUCCESS) {
        return false;
    }
    buffer[got < size ? got : size] = '\0';
    text->assign(buffer.data());
    return true;
}

// Reads a 4-byte REG_DWORD value; a value of another type or size is ignored.
bool QueryNumber(HKEY key, const char *name, uint32_t *number)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (type != REG_DWORD || size != sizeof(DWORD)) return false;
    DWORD value = 0;
    size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) != ERROR_SUCCESS) {
        return false;
    }
    *number = value;
    return true;
}

// "SIZE_JWW=" and "SIZE_JWS=": at most four characters, a decimal number
// in 300..5000, anything else 0. Answers false for a text too long to be one.
bool ParseWidth(const char *text, uint32_t *width)
{
    if (std::strlen(text) > kMaxWidthDigits) return false;
    const long value = std::strtol(text, nullptr, 10);
    *width = value >= kMinSettingWidth && value <= kMaxSettingWidth ? static_cast<uint32_t>(value) : 0;
    return true;
}

void ApplySettingsLine(PluginSettingsState &settings, const char *line)
{
    const size_t keyLength = std::strlen(kRefFileValue) + 1;  // every key is 8 characters and '='
    if (std::strncmp(line, "REF_FILE=", keyLength) == 0) {
        if (std::strlen(line + keyLength) >= kMinRefFileChars) settings.refFile = line + keyLength;
    } else if (std::strncmp(line, "SIZE_JWW=", keyLength) == 0) {
        ParseWidth(line + keyLength, &settings.sizeJww);
    } else if (std::strncmp(line, "SIZE_JWS=", keyLength) == 0) {
        ParseWidth(line + keyLength, &settings.sizeJws);
    }
}

void WriteSettingsToRegistry(const PluginSettingsState &settings)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, kRefFileValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(settings.refFile.c_str()),
                   static_cast<DWORD>(settings.refFile.size() + 1));
    const DWORD jww = settings.sizeJww;
    const DWORD jws = settings.sizeJws;
    RegSetValueExA(key, kSizeJwwValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&jww), sizeof jww);
    RegSetValueExA(key, kSizeJwsValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&jws), sizeof jws);
    RegCloseKey(key);
}

bool IsAbsoluteReference(const std::string &name)
{
    return name[0] == '\\' || name[0] == '/' || (name.size() >= 2 && name[1] == ':');
}

void ClearReferenceTables(PluginSettingsState &settings)
{
    for (int row = 0; row < kReferenceRows; ++row) {
        settings.referenceNames[row][0] = '\0';
        settings.referenceValues[row][0] = '\0';
    }
}

// Copies bytes [from, to) into a table row. A value longer than a row keeps
// its first 99 bytes; the caller refuses names that do not fit.
void CopyIntoRow(char *row, const char *bytes, size_t from, size_t to)
{
    size_t length = to - from;
    if (length > kReferenceRowBytes - 1) length = kReferenceRowBytes - 1;
    std::memcpy(row, bytes + from, length);
    row[length] = '\0';
}

// Finds the entries "%%name<TAB>value<CR><LF>" in the file's bytes.
int ScanReferenceEntries(PluginSettingsState &settings, const char *bytes, size_t size)
{
    int count = 0;
    size_t lineStart = 0;
    size_t tab = 0;
    for (size_t p = 0; p + 1 < size; ++p) {
        if (bytes[p] == '\t') tab = p;
        if (bytes[p] != '\r' || bytes[p + 1] != '\n') continue;
        const bool entry = p - lineStart >= 5 && tab > lineStart + 2 && tab < p - 1 && bytes[lineStart] == '%' &&
                           bytes[lineStart + 1] == '%';
        const bool nameFits = tab - (lineStart + 2) <= kReferenceRowBytes - 1;
        if (entry && nameFits && count < kReferenceRows - 1) {
            ++count;
            CopyIntoRow(settings.referenceNames[count], bytes, lineStart + 2, tab);
            CopyIntoRow(settings.referenceValues[count], bytes, tab + 1, p);
        }
        tab = 0;
        lineStart = p + 2;
    }
    return count;
}

enum class SmallFile { kUnopened, kUnreadable, kRead };

// The whole of a small file named in UTF-8.
SmallFile ReadSmallFile(const std::string &path, DWORD share, uint32_t maxBytes, std::vector<char> *bytes)
{
    HANDLE file = OpenPathForReading(path, share);
    if (file == INVALID_HANDLE_VALUE) return SmallFile::kUnopened;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool ok = high == 0 && size != INVALID_FILE_SIZE && size <= maxBytes;
    if (ok) {
        bytes->assign(size, '\0');
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    return ok ? SmallFile::kRead : SmallFile::kUnreadable;
}

}  // namespace

size_t LastPathSeparator(const std::string &path) { return path.find_last_of("\\/"); }

int LoadPluginSettings(PluginSettingsState &settings, uint32_t *widthJws, uint32_t *widthJww)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        if (widthJws) *widthJws = 0;
        if (widthJww) *widthJww = 0;
        return 0;
    }
    QueryText(key, kRefFileValue, &settings.refFile);
    QueryNumber(key, kSizeJwwValue, &settings.sizeJww);
    QueryNumber(key, kSizeJwsValue, &settings.sizeJws);
    RegCloseKey(key);
    if (widthJws) *widthJws = settings.sizeJws;
    if (widthJww) *widthJww = settings.sizeJww;
    return 1;
}

int ReadStoredPluginSettings(StoredPluginSettings *settings)
{
    *settings = StoredPluginSettings{};
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    settings->hasReferenceFile = QueryText(key, kRefFileValue, &settings->referenceFile);
    settings->hasDrawingWidth = QueryNumber(key, kSizeJwwValue, &settings->drawingWidth);
    settings->hasFigureWidth = QueryNumber(key, kSizeJwsValue, &settings->figureWidth);
    RegCloseKey(key);
    return 1;
}

int WriteStoredPluginSettings(const StoredPluginSettings &settings)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) != ERROR_SUCCESS) {
        return 0;
    }
    bool ok = true;
    // Removing a value that is not there is no failure.
    auto remove = [&](const char *name) {
        const LONG result = RegDeleteValueA(key, name);
        ok = ok && (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND);
    };
    auto setNumber = [&](const char *name, uint32_t number) {
        const DWORD value = number;
        ok = ok && RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value) ==
                       ERROR_SUCCESS;
    };
    if (settings.hasReferenceFile) {
        const std::string &text = settings.referenceFile;
        ok = ok && RegSetValueExA(key, kRefFileValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                                  static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
    } else {
        remove(kRefFileValue);
    }
    if (settings.hasDrawingWidth)
        setNumber(kSizeJwwValue, settings.drawingWidth);
    else
        remove(kSizeJwwValue);
    if (settings.hasFigureWidth)
        setNumber(kSizeJwsValue, settings.figureWidth);
    else
        remove(kSizeJwsValue);
    RegCloseKey(key);
    return ok ? 1 : 0;
}

bool ParseSettingWidth(const std::string &text, uint32_t *width)
{
    if (text.empty() || text.size() > kMaxWidthDigits) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value < kMinSettingWidth || value > kMaxSettingWidth) return false;
    *width = value;
    return true;
}

std::string SettingsLocation() { return RegistryKeyLocation(kSettingsKey); }

bool AcceptableReferenceFile(const std::string &name) { return name.size() >= kMinRefFileChars; }

int ApplySettingsFile(const std::string &drawingPath, PluginSettingsState &settings, bool writeRegistry)
{
    const size_t separator = LastPathSeparator(drawingPath);
    if (separator == std::string::npos ||
        drawingPath.compare(separator + 1, std::string::npos, kSettingsDrawingName) != 0) {
        return 0;
    }
    const std::string settingsPath = drawingPath.substr(0, separator + 1) + kSettingsFileName;
    const int applied = ReadSettingsFile(settingsPath, settings);
    if (applied && writeRegistry) WriteSettingsToRegistry(settings);
    return applied;
}

int ReadSettingsFile(const std::string &settingsPath, PluginSettingsState &settings)
{
    settings.refFile.clear();
    settings.sizeJww = 0;
    settings.sizeJws = 0;

    std::vector<char> bytes;
    if (ReadSmallFile(settingsPath, FILE_SHARE_READ, kMaxSettingsFileBytes, &bytes) != SmallFile::kRead) return 0;
    // The marker is the file's first twelve characters; what follows it on
    // the first line is read as the next line.
    const size_t markerLength = std::strlen(kSettingsMarker);
    if (bytes.size() < markerLength || std::memcmp(bytes.data(), kSettingsMarker, markerLength) != 0) return 0;
    size_t start = markerLength;
    while (start < bytes.size()) {
        size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        std::string line(bytes.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A line longer than the line buffer is ignored whole: a cut REF_FILE
        // would name another file, and its tail could read as a key.
        if (line.size() <= kSettingsLineChars && line.find('\0') == std::string::npos)
            ApplySettingsLine(settings, line.c_str());
        start = end + 1;
    }
    return 1;
}

int LoadReferenceFile(const std::string &drawingPath, PluginSettingsState &settings)
{
    const std::string &refFile = settings.refFile;
    if (refFile.empty()) return 0;
    std::string path = refFile;
    if (!IsAbsoluteReference(refFile)) {
        const size_t separator = LastPathSeparator(drawingPath);
        if (separator == std::string::npos) return 0;
        path = drawingPath.substr(0, separator + 1) + refFile;
    }
    std::vector<char> bytes;
    const SmallFile read = ReadSmallFile(path, FILE_SHARE_READ, kMaxReferenceFileBytes, &bytes);
    if (read == SmallFile::kUnopened) {
        ClearReferenceTables(settings);  // a file that cannot be opened empties the tables
        return 0;
    }
    if (read != SmallFile::kRead || bytes.size() < kMinReferenceFileBytes) return 0;
    return ScanReferenceEntries(settings, bytes.data(), bytes.size());
}

int UsedReferenceRows(int count) { return count < 0 ? 1 : count < kReferenceRows ? count + 1 : kReferenceRows; }

// Rows past the count are never read: only those up to it are copied.
void CopyPluginSettings(PluginSettingsState &to, const PluginSettingsState &from, bool withReferenceFile)
{
    if (withReferenceFile) to.refFile = from.refFile;
    to.sizeJww = from.sizeJww;
    to.sizeJws = from.sizeJws;
    to.referenceCount = from.referenceCount;
    const size_t rows = static_cast<size_t>(UsedReferenceRows(from.referenceCount));
    std::memcpy(to.referenceNames, from.referenceNames, rows * kReferenceRowBytes);
    std::memcpy(to.referenceValues, from.referenceValues, rows * kReferenceRowBytes);
}

void ResetPluginSettings()
{
    Request().settings.refFile.clear();
    Request().settings.sizeJww = 0;
    Request().settings.sizeJws = 0;
    Request().settings.referenceCount = 0;
    ClearReferenceTables(Request().settings);
}
