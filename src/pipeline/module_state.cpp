#include "pipeline/module_state.h"

#include <utility>

#include "settings/drawing_source.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

namespace {

// The module's process-wide state of this file, under the module lock:
//   carried  the last request's pens and header values
//   section  the module lock itself, made before any export can run
struct Carried {
    Carried() { Reset(); }
    void Reset()
    {
        DefaultSettingTables(&tables);
        EmptyDocumentSettings(&header);
    }
    SettingTables tables;
    DocumentSettings header;
};

struct Module {
    Module() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
    Carried carried;
};

Module &TheModule()
{
    static Module module;
    return module;
}

// The lock exists before the first call, whatever order the module's
// objects are constructed in.
const bool moduleMadeAtLoad = (TheModule(), true);

}  // namespace

ModuleDrawing::ModuleDrawing()
{
    const Carried &carried = TheModule().carried;
    drawing.tables = carried.tables;
    drawing.header = carried.header;
    CopyPluginSettings(drawing.references, Request().settings);
    drawing.source = Request().source;
}

ModuleDrawing::~ModuleDrawing()
{
    // Moved, not copied: nothing here allocates (a destructor cannot fail).
    Carried &carried = TheModule().carried;
    carried.tables = drawing.tables;
    carried.header = drawing.header;
    ClearPoolStrings(carried.header);  // the pool goes with the drawing
    PluginSettingsState &settings = Request().settings;
    settings.refFile.swap(drawing.references.refFile);
    drawing.references.refFile.clear();
    CopyPluginSettings(settings, drawing.references, false);
    Request().source = std::move(drawing.source);
}

int ModuleDrawing::Read(const unsigned char *data, size_t length, bool figure)
{
    return ReadFigureOrDrawing(drawing, data, length, figure, SettingsReach::kModule);
}

void ResetModuleDrawing() { TheModule().carried.Reset(); }

ModuleLock::ModuleLock()
{
    (void)moduleMadeAtLoad;
    EnterCriticalSection(&TheModule().section);
}

ModuleLock::~ModuleLock() { LeaveCriticalSection(&TheModule().section); }
