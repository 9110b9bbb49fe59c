#include "pipeline/detection.h"

#include <cstring>

namespace {

constexpr char kDrawingEnding[] = ".jww";
constexpr char kFigureEnding[] = ".jws";
constexpr char kDrawingMagic[] = "JwwData";
constexpr char kFigureMagic[] = "JwsData";
constexpr size_t kEndingLength = 4;

bool EndingEqualsIgnoringCase(const char *ending, const char *expected)
{
    for (size_t i = 0; i < kEndingLength; ++i) {
        char c = ending[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != expected[i]) return false;
    }
    return true;
}

// The magic is compared as a string cut after seven bytes, so a NUL inside
// the first seven bytes makes it fail.
bool MagicEquals(const unsigned char *head, const char *magic)
{
    for (int i = 0; i < kMagicLength; ++i) {
        if (head[i] != static_cast<unsigned char>(magic[i])) return false;
    }
    return true;
}

}  // namespace

int DetectFormat(const char *fileName, const unsigned char *head)
{
    if (fileName == nullptr) return 0;
    Request().source.isFigure = 0;
    const size_t length = std::strlen(fileName);
    if (length < kEndingLength || head == nullptr) return 0;
    const char *ending = fileName + length - kEndingLength;

    bool recognised = false;
    if (EndingEqualsIgnoringCase(ending, kDrawingEnding) && MagicEquals(head, kDrawingMagic)) {
        recognised = true;
    } else if (EndingEqualsIgnoringCase(ending, kFigureEnding) && MagicEquals(head, kFigureMagic)) {
        recognised = true;
        Request().source.isFigure = 1;
    }
    if (!recognised) return 0;
    std::memcpy(Request().source.extension, fileName + length - 3, 3);
    Request().source.extension[3] = '\0';
    return 1;
}

bool KindByMagic(const unsigned char *head, uint32_t *figure)
{
    *figure = 0;
    if (head == nullptr) return false;
    if (MagicEquals(head, kDrawingMagic)) return true;
    if (!MagicEquals(head, kFigureMagic)) return false;
    *figure = 1;
    return true;
}

int DetectFormatByMagic(const unsigned char *head)
{
    uint32_t figure = 0;
    const bool known = KindByMagic(head, &figure);
    Request().source.isFigure = figure;
    if (!known) return 0;
    std::memset(Request().source.extension, 0, sizeof Request().source.extension);
    return 1;
}

void ResetDetectionState()
{
    Request().source.path.clear();
    Request().source.isFigure = 0;
    std::memset(Request().source.extension, 0, sizeof Request().source.extension);
}
