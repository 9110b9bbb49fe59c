// The .reg text formats: REGEDIT4 (and the UTF-16 "Windows Registry Editor
// Version 5.00"), and Wine's user.reg, whose key names are relative to
// HKEY_CURRENT_USER and escape backslashes.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/portable/registry_file.h"
#include "platform/win32.h"

namespace {

constexpr char kRootName[] = "HKEY_CURRENT_USER\\";
constexpr char kRootShortName[] = "HKCU\\";
constexpr char kWineHeader[] = "WINE REGISTRY Version 2";
constexpr size_t kHexBytesPerLine = 25;

bool StartsWithIgnoringCase(const std::string &text, const char *prefix)
{
    const size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A UTF-16LE file (with its byte-order mark) as 8-bit text; characters
// beyond Latin-1 become '?'.
std::string FromUtf16(const std::string &bytes)
{
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        text.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
    }
    return text;
}

// Reads a quoted string at text[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::string &text, size_t &pos, std::string *out)
{
    if (pos >= text.size() || text[pos] != '"') return false;
    out->clear();
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\' || pos + 1 >= text.size()) {
            out->push_back(c);
            continue;
        }
        const char e = text[++pos];
        switch (e) {
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case '0': out->push_back('\0'); break;
        case 'x': {
            // Wine's \xHHHH: a UTF-16 unit.
            unsigned unit = 0;
            int digits = 0;
            while (digits < 4 && pos + 1 < text.size() && HexDigit(text[pos + 1]) >= 0) {
                unit = unit * 16 + static_cast<unsigned>(HexDigit(text[++pos]));
                ++digits;
            }
            out->push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
            break;
        }
        default: out->push_back(e); break;
        }
    }
    return false;
}

bool ParseHexBytes(const std::string &text, std::vector<uint8_t> *out)
{
    out->clear();
    int high = -1;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (high >= 0) return false;
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            out->push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    return high < 0;
}

// One value line: "name"=data, or @=data for the default value.
bool ParseValue(const std::string &line, RegistryValue *value)
{
    size_t pos = 0;
    if (line[0] == '@') {
        value->name.clear();
        pos = 1;
    } else if (!ReadQuoted(line, pos, &value->name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    const std::string data = line.substr(pos + 1);
    if (!data.empty() && data[0] == '"') {
        std::string text;
        size_t at = 0;
        if (!ReadQuoted(data, at, &text)) return false;
        value->type = REG_SZ;
        value->data.assign(text.begin(), text.end());
        value->data.push_back(0);
        return true;
    }
    if (StartsWithIgnoringCase(data, "str(")) {
        const size_t close = data.find("):");
        std::string text;
        size_t at = close == std::string::npos ? data.size() : close + 2;
        if (close == std::string::npos || !ReadQuoted(data, at, &text)) return false;
        value->type = static_cast<uint32_t>(std::strtoul(data.c_str() + 4, nullptr, 16));
        value->data.assign(text.begin(), text.end());
        value->data.push_back(0);
        return true;
    }
    if (StartsWithIgnoringCase(data, "dword:")) {
        const std::string digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        uint32_t number = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) return false;
            number = number * 16 + static_cast<uint32_t>(HexDigit(c));
        }
        value->type = REG_DWORD;
        value->data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                       static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }
    if (StartsWithIgnoringCase(data, "hex:")) {
        value->type = REG_BINARY;
        return ParseHexBytes(data.substr(4), &value->data);
    }
    if (StartsWithIgnoringCase(data, "hex(")) {
        const size_t close = data.find("):");
        if (close == std::string::npos) return false;
        value->type = static_cast<uint32_t>(std::strtoul(data.c_str() + 4, nullptr, 16));
        return ParseHexBytes(data.substr(close + 2), &value->data);
    }
    return false;
}

// Splits into logical lines: line ends are CR LF or LF, and a line ending
// in a backslash continues on the next one (long hex values).
std::vector<std::string> LogicalLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::string current;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        line = first == std::string::npos ? std::string() : line.substr(first);
        // Only hex lists are split; no other line of the format ends in a backslash.
        const bool continues = !line.empty() && line.back() == '\\' && line[0] != ';' && line[0] != '#';
        if (continues) {
            line.pop_back();
            current += line;
        } else {
            lines.push_back(current + line);
            current.clear();
        }
        start = end + 1;
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

std::string Escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string HexList(const std::vector<uint8_t> &bytes)
{
    std::string out;
    char buffer[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", bytes[i]);
        if (i != 0) out += (i % kHexBytesPerLine == 0) ? ",\\\n  " : ",";
        out += buffer;
    }
    return out;
}

bool IsPlainString(const RegistryValue &value)
{
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < value.data.size(); ++i) {
        const uint8_t c = value.data[i];
        if (c == 0 || c == '\r' || c == '\n') return false;
    }
    return true;
}

}  // namespace

RegistryTree ParseRegistryText(const std::string &raw)
{
    const bool utf16 =
        raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE;
    const std::string text = utf16 ? FromUtf16(raw) : raw;
    const bool wine = text.compare(0, std::strlen(kWineHeader), kWineHeader) == 0;
    RegistryTree tree;
    RegistryKey *current = nullptr;
    for (const std::string &line : LogicalLines(text)) {
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            current = nullptr;
            const size_t close = line.rfind(']');
            if (close == std::string::npos) continue;
            std::string name = line.substr(1, close - 1);
            if (wine) {
                std::string unescaped;
                for (size_t i = 0; i < name.size(); ++i) {
                    if (name[i] == '\\' && i + 1 < name.size() && name[i + 1] == '\\') ++i;
                    unescaped.push_back(name[i]);
                }
                name = unescaped;
            } else if (StartsWithIgnoringCase(name, kRootName)) {
                name = name.substr(std::strlen(kRootName));
            } else if (StartsWithIgnoringCase(name, kRootShortName)) {
                name = name.substr(std::strlen(kRootShortName));
            } else {
                continue;  // another root, or a deletion ("[-...]")
            }
            if (name.empty()) continue;
            RegistryKey &key = tree[RegistryKeyId(name)];
            key.path = name;
            current = &key;
            continue;
        }
        if (current == nullptr || (line[0] != '"' && line[0] != '@')) continue;
        RegistryValue value;
        if (!ParseValue(line, &value)) continue;
        bool replaced = false;
        for (RegistryValue &existing : current->values) {
            if (RegistryKeyId(existing.name) == RegistryKeyId(value.name)) {
                existing = value;
                replaced = true;
            }
        }
        if (!replaced) current->values.push_back(value);
    }
    return tree;
}

std::string SerializeRegistry(const RegistryTree &tree)
{
    std::string out = "REGEDIT4\r\n";
    for (const auto &entry : tree) {
        const RegistryKey &key = entry.second;
        if (key.readOnly) continue;
        out += "\r\n[" + std::string(kRootName) + key.path + "]\r\n";
        for (const RegistryValue &value : key.values) {
            out += value.name.empty() ? "@=" : "\"" + Escape(value.name) + "\"=";
            if (IsPlainString(value)) {
                out += "\"" + Escape(std::string(value.data.begin(), value.data.end() - 1)) + "\"";
            } else if (value.type == REG_DWORD && value.data.size() == 4) {
                char buffer[16];
                const uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                        static_cast<uint32_t>(value.data[3]) << 24;
                std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
                out += buffer;
            } else if (value.type == REG_BINARY) {
                out += "hex:" + HexList(value.data);
            } else {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
                out += buffer + HexList(value.data);
            }
            out += "\r\n";
        }
    }
    return out;
}
