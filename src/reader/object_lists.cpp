#include "reader/object_lists.h"

#include <cstring>

#include "reader/archive.h"
#include "reader/drawing.h"
#include "reader/object_records.h"

namespace {

// An object takes at least its 2-byte tag and a 13-byte header.
constexpr size_t kMinObjectBytes = 15;

bool NameMatchesClass(const char *name, size_t length)
{
    return length < kClassNameBytes && std::strlen(name) == length;
}

}  // namespace

void ResetClassMap(ReadContext &rc) { std::memset(&rc.classMap, 0, sizeof rc.classMap); }

int ReadTaggedObject(ReadContext &rc, int (*afterEach)(ReadContext &rc))
{
    ArchiveCursor &archive = rc.archive;
    ClassMap &classMap = rc.classMap;
    const int64_t tag = ReadClassTag(rc);
    if (archive.exhausted) return 0;
    if (tag == kNewClassTag) {
        ReadWord(rc);  // schema number, not used
        const uint16_t nameLength = ReadWord(rc);
        // A name that does not fit its slot, or a map that is full, ends the list.
        if (archive.exhausted || nameLength >= kClassNameBytes || classMap.classCount + 1 >= kClassSlots ||
            nameLength > RemainingBytes(rc)) {
            return 0;
        }
        const int32_t slot = ++classMap.classCount;
        classMap.mapIndex[slot] = static_cast<uint32_t>(++classMap.mapCount);
        ++classMap.mapCount;  // the object that follows takes this index
        std::memcpy(classMap.names[slot], archive.data + archive.position, nameLength);
        classMap.names[slot][nameLength] = '\0';
        archive.position += nameLength;
        if (!NameMatchesClass(classMap.names[slot], nameLength)) return 0;
        if (!ReadObject(rc, classMap.names[slot]) || archive.exhausted) return 0;
        return afterEach != nullptr ? afterEach(rc) : 1;
    }
    bool matched = false;
    for (int32_t slot = 1; slot <= classMap.classCount; ++slot) {
        if (static_cast<int64_t>(classMap.mapIndex[slot]) != tag) continue;
        matched = true;
        ++classMap.mapCount;
        if (!ReadObject(rc, classMap.names[slot]) || archive.exhausted) return 0;
        if (afterEach != nullptr && !afterEach(rc)) return 0;
    }
    return matched ? 1 : 0;
}

int ReadObjectList(ReadContext &rc, uint32_t n)
{
    // A count that the remaining bytes cannot hold is refused before reading.
    if (static_cast<uint64_t>(n) * kMinObjectBytes > RemainingBytes(rc)) {
        rc.archive.exhausted = true;
        return 0;
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (!ReadTaggedObject(rc, nullptr)) return 0;
    }
    return 1;
}
