#include "host/module_api.h"

#include <new>

#include "host/conversion_driver.h"
#include "host/detection.h"
#include "host/module_state.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"

namespace {

// Releases the store however the description ends.
struct StoreGuard {
    ~StoreGuard() { ReleaseStore(); }
};

}  // namespace

int DescribeDrawing(const void *image, LONG_PTR length, DrawingDescription *description)
{
    try {
        ModuleLock lock;
        KeepModuleState kept;  // the plug-in's carry-over stays as it was
        const auto *bytes = static_cast<const unsigned char *>(image);
        if (bytes == nullptr || description == nullptr || length < static_cast<LONG_PTR>(kMinimumHeaderBytes)) {
            return kResultUnknownFormat;
        }
        if (static_cast<uint64_t>(length) > kMaxInputBytes) return kResultNoMemory;
        if (!DetectFormatByMagic(bytes)) return kResultUnknownFormat;
        const bool figure = isFigureFile == 1;
        NamelessConversion nameless;
        StoreGuard store;
        if (!AllocateStore(static_cast<size_t>(length))) return kResultNoMemory;
        const size_t size = static_cast<size_t>(length);
        if ((figure ? ReadFigureFile(bytes, size) : ReadDrawingFile(bytes, size)) < 0) return kResultBrokenData;
        description->format = figure ? kFormatFigure : kFormatDrawing;
        description->version = fileVersion;
        description->counts = {lineCount,      arcCount,   pointCount,    textCount,
                               dimensionCount, solidCount, blockRefCount, blockDefCount};
        description->topLevel = {firstBlockLine - 1,
                                 firstBlockArc - 1,
                                 firstBlockPoint - 1,
                                 firstBlockText - 1,
                                 firstBlockDimension - 1,
                                 firstBlockSolid - 1,
                                 0,
                                 0};
        return kResultSuccess;
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}
