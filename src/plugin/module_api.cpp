#include "plugin/module_api.h"

#include <new>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "pipeline/module_state.h"
#include "reader/document_readers.h"
#include "reader/drawing.h"

int DescribeDrawing(const void *image, LONG_PTR length, DrawingDescription *description)
{
    try {
        const auto *bytes = static_cast<const unsigned char *>(image);
        if (bytes == nullptr || description == nullptr || length < static_cast<LONG_PTR>(kMinimumHeaderBytes)) {
            return kResultUnknownFormat;
        }
        if (static_cast<uint64_t>(length) > kMaxInputBytes) return kResultNoMemory;
        uint32_t kind = 0;
        if (!KindByMagic(bytes, &kind)) return kResultUnknownFormat;
        const bool figure = kind == 1;
        // Counts only: no settings are asked for.
        Drawing drawing;
        const size_t size = static_cast<size_t>(length);
        const int read = ReadFigureOrDrawing(drawing, bytes, size, figure, SettingsReach::kBuiltIn);
        if (read == kReadNoStore) return kResultNoMemory;
        if (read < 0) return kResultBrokenData;
        const StoreTables &t = drawing.store;
        description->format = figure ? kFormatFigure : kFormatDrawing;
        description->version = drawing.header.fileVersion;
        CountRecords(t, &description->counts, &description->topLevel);
        return kResultSuccess;
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}
