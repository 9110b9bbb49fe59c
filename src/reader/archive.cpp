#include "reader/archive.h"

#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "reader/drawing.h"

namespace {

constexpr uint8_t kShortStringEscape = 0xFF;
constexpr uint16_t kWordLengthEscape = 0xFFFF;
constexpr uint16_t kUnicodeMarker = 0xFFFE;
constexpr uint16_t kCountEscape = 0xFFFF;
constexpr uint16_t kBigClassTag = 0x7FFF;
constexpr uint16_t kNewClassWord = 0xFFFF;
constexpr uint32_t kClassTagBit = 0x80000000u;
constexpr int32_t kShortTagBias = 0x8000;
constexpr UINT kShiftJisCodePage = 932;

bool Take(ReadContext &rc, void *out, size_t bytes)
{
    ArchiveCursor &archive = rc.archive;
    if (archive.exhausted || archive.size - archive.position < bytes) {
        archive.exhausted = true;
        archive.position = archive.size;
        return false;
    }
    std::memcpy(out, archive.data + archive.position, bytes);
    archive.position += bytes;
    return true;
}

// The length that follows the escape of a string: 16 bits, or 0xFFFF and 32 bits.
uint64_t ReadEscapedLength(ReadContext &rc, uint8_t first, bool *unicode)
{
    if (first != kShortStringEscape) return first;
    const uint16_t word = ReadWord(rc);
    if (unicode != nullptr && word == kUnicodeMarker) {
        *unicode = true;
        return ReadEscapedLength(rc, ReadByte(rc), nullptr);
    }
    if (word != kWordLengthEscape) return word;
    return ReadDword(rc);
}

const char *PoolUnicode(ReadContext &rc, uint64_t units)
{
    ArchiveCursor &archive = rc.archive;
    StoreTables &store = rc.drawing.store;
    if (units > RemainingBytes(rc) / 2) {
        archive.exhausted = true;
        archive.position = archive.size;
        return AppendString(store, "", 0);
    }
    std::vector<WCHAR> text(static_cast<size_t>(units));
    for (WCHAR &unit : text) unit = ReadWord(rc);
    if (units == 0) return AppendString(store, "", 0);
    const int wideLength = static_cast<int>(units);
    const int bytes = WideCharToMultiByte(kShiftJisCodePage, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return AppendString(store, "", 0);
    std::vector<char> converted(static_cast<size_t>(bytes));
    WideCharToMultiByte(kShiftJisCodePage, 0, text.data(), wideLength, converted.data(), bytes, nullptr, nullptr);
    return AppendString(store, converted.data(), converted.size());
}

}  // namespace

void BeginArchive(ReadContext &rc, const uint8_t *data, size_t size)
{
    ArchiveCursor &archive = rc.archive;
    archive.data = data;
    archive.size = data != nullptr ? size : 0;
    archive.position = 0;
    archive.exhausted = false;
}

size_t RemainingBytes(const ReadContext &rc) { return rc.archive.size - rc.archive.position; }

uint8_t ReadByte(ReadContext &rc)
{
    uint8_t value = 0;
    Take(rc, &value, sizeof value);
    return value;
}

uint16_t ReadWord(ReadContext &rc)
{
    uint8_t bytes[2] = {};
    if (!Take(rc, bytes, sizeof bytes)) return 0;
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t ReadDword(ReadContext &rc)
{
    uint8_t bytes[4] = {};
    if (!Take(rc, bytes, sizeof bytes)) return 0;
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

double ReadDouble(ReadContext &rc)
{
    uint8_t bytes[8] = {};
    if (!Take(rc, bytes, sizeof bytes)) return 0.0;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | bytes[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void SkipBytes(ReadContext &rc, size_t count)
{
    ArchiveCursor &archive = rc.archive;
    if (archive.exhausted || RemainingBytes(rc) < count) {
        archive.exhausted = true;
        archive.position = archive.size;
        return;
    }
    archive.position += count;
}

const char *ReadString(ReadContext &rc)
{
    ArchiveCursor &archive = rc.archive;
    StoreTables &store = rc.drawing.store;
    bool unicode = false;
    const uint64_t length = ReadEscapedLength(rc, ReadByte(rc), &unicode);
    if (archive.exhausted) return AppendString(store, "", 0);
    if (unicode) return PoolUnicode(rc, length);
    if (length > RemainingBytes(rc)) {
        archive.exhausted = true;
        archive.position = archive.size;
        return AppendString(store, "", 0);
    }
    const char *bytes = reinterpret_cast<const char *>(archive.data + archive.position);
    archive.position += static_cast<size_t>(length);
    return AppendString(store, bytes, static_cast<size_t>(length));
}

void SkipString(ReadContext &rc)
{
    ArchiveCursor &archive = rc.archive;
    bool unicode = false;
    const uint64_t length = ReadEscapedLength(rc, ReadByte(rc), &unicode);
    const uint64_t bytes = unicode ? length * 2 : length;
    if (bytes > RemainingBytes(rc)) {
        archive.exhausted = true;
        archive.position = archive.size;
        return;
    }
    archive.position += static_cast<size_t>(bytes);
}

uint32_t ReadCount(ReadContext &rc)
{
    const uint16_t word = ReadWord(rc);
    if (word != kCountEscape) return word;
    const uint32_t low = ReadWord(rc);
    const uint32_t high = ReadWord(rc);
    return low + (high << 16);
}

int64_t ReadClassTag(ReadContext &rc)
{
    const uint16_t word = ReadWord(rc);
    if (rc.archive.exhausted) return 0;  // matches no class
    if (word == kBigClassTag) {
        const uint32_t low = ReadWord(rc);
        const uint32_t high = ReadWord(rc);
        return static_cast<uint32_t>((low + (high << 16)) - kClassTagBit);
    }
    if (word == kNewClassWord) return kNewClassTag;
    return static_cast<int64_t>(static_cast<int16_t>(word)) + kShortTagBias;
}
