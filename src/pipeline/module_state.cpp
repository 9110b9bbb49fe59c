#include "pipeline/module_state.h"

#include "reader/drawing_store.h"

namespace {

// Made when the module is loaded, before any entry point can run.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
    int libraryCalls = 0;  // library calls on the thread that holds the section
};

Lock &ModuleLockState()
{
    static Lock lock;
    return lock;
}

CRITICAL_SECTION &ModuleSection() { return ModuleLockState().section; }

// The lock exists before the first call, whatever order the module's
// objects are constructed in.
const bool lockMadeAtLoad = (ModuleSection(), true);

}  // namespace

void SaveModuleState(ModuleState *state)
{
    SaveSettingTables(&state->tables);
    SaveDocumentSettings(&state->settings);
    SavePluginSettings(&state->plugin);
    SaveDrawingSource(&state->source);
}

void RestoreModuleState(const ModuleState &state)
{
    RestoreSettingTables(state.tables);
    RestoreDocumentSettings(state.settings);
    RestorePluginSettings(state.plugin);
    RestoreDrawingSource(state.source);
}

void PutDrawingInPlace(const Drawing &d)
{
    RestoreSettingTables(d.tables);
    RestoreDocumentSettings(d.header);
    RestorePluginSettings(d.references);
    RestoreDrawingSource(d.source);
    LendStore(d.store);
}

ModuleDrawing::ModuleDrawing()
{
    SaveSettingTables(&drawing.tables);
    SaveDocumentSettings(&drawing.header);
    SavePluginSettings(&drawing.references);
    SaveDrawingSource(&drawing.source);
}

int ModuleDrawing::Read(const unsigned char *data, size_t length, bool figure)
{
    const int answer = ReadFigureOrDrawing(drawing, data, length, figure, SettingsReach::kModule);
    PutDrawingInPlace(drawing);
    return answer;
}

ModuleLock::ModuleLock()
{
    (void)lockMadeAtLoad;
    EnterCriticalSection(&ModuleSection());
}

ModuleLock::~ModuleLock() { LeaveCriticalSection(&ModuleSection()); }

bool ModuleLock::InsideLibraryCall() const { return ModuleLockState().libraryCalls > 0; }

LibraryLock::LibraryLock() : refused_(lock_.InsideLibraryCall())
{
    if (!refused_) ++ModuleLockState().libraryCalls;
}

LibraryLock::~LibraryLock()
{
    if (!refused_) --ModuleLockState().libraryCalls;
}
