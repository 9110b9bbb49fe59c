// The plug-in's module state: what its requests carry from one to the next.
//
// The plug-in reads each file into a drawing of its own, but a file does
// not set everything a conversion draws with: pens, header values and user
// variables it leaves alone keep the values the last request left, as the
// plug-in's design has always had it. That carry-over, the plug-in's
// settings and the host's last named file (settings/plugin_settings.h,
// settings/drawing_source.h) are the module's process-wide state; the
// plug-in's exports hold the module lock around them. The library's
// documents and renders use none of it.
#pragma once

#include <cstddef>

#include "reader/document_readers.h"
#include "reader/drawing.h"

// The plug-in's reading of a file: the drawing starts from what the module
// carries over from the last request, and what it ends with (its pens as
// print mode left them, its header values, user variables and source)
// carries on to the next request when this object goes. Its records go
// with it.
class ModuleDrawing {
public:
    ModuleDrawing();
    ~ModuleDrawing();
    ModuleDrawing(const ModuleDrawing &) = delete;
    ModuleDrawing &operator=(const ModuleDrawing &) = delete;

    // Reads a figure or a drawing into a store of its own. The reader's
    // answer, or kReadNoStore when the store cannot be had.
    int Read(const unsigned char *data, size_t length, bool figure);

    Drawing drawing;
};

// The carry-over as a freshly loaded module has it (for tests).
void ResetModuleDrawing();

// Holds the module lock while it lives: the plug-in's exports take turns
// with its carry-over. The lock is recursive: an export reached again on
// the same thread (a host's progress callback calling back in) does not
// wait for itself.
class ModuleLock {
public:
    ModuleLock();
    ~ModuleLock();
    ModuleLock(const ModuleLock &) = delete;
    ModuleLock &operator=(const ModuleLock &) = delete;
};
