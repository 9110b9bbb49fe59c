#include "reader/document_readers.h"

#include <cstring>

#include "reader/drawing_store.h"
#include "settings/cad_settings.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

uint32_t fileVersion = 0;
uint32_t paperSize = 0;
uint32_t drawSolidsFirst = 0;
uint32_t usePrintColors = 0;
double viewZoom[kMaxRegisteredViews + 1];
double viewOriginX[kMaxRegisteredViews + 1];
double viewOriginY[kMaxRegisteredViews + 1];
double extentMinX, extentMinY, extentMaxX, extentMaxY;
double figureRefX, figureRefY;

namespace {

constexpr size_t kMagicBytes = 8;             // "JwwData." / "JwsData."
constexpr size_t kMinimumDrawingBytes = 2000;  // shorter drawings are refused

uint32_t ReadU32At(const unsigned char *data, size_t offset)
{
    uint32_t value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;  // the archive is little-endian, as every host of this module
}

}  // namespace

int ReadDrawingFile(const unsigned char *data, size_t length)
{
    if (data == nullptr || length < kMinimumDrawingBytes) return -1;
    ResetStore();
    // The object stream is read by the drawing reader; until it is, only the
    // version is taken and the drawing shows its background.
    fileVersion = ReadU32At(data, kMagicBytes);
    ApplySettingsFile();
    referenceCount = LoadReferenceFile();
    return 0;
}

int ReadFigureFile(const unsigned char *data, size_t length)
{
    if (data == nullptr || length < kMagicBytes) return -1;
    ResetStore();
    InstallDefaultCadSettings();
    paperSize = 1;
    LoadCadSettings();
    return 0;
}
