#include "host/module_state.h"

namespace {

// Made when the module is loaded, before any entry point can run.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
};

CRITICAL_SECTION &ModuleSection()
{
    static Lock lock;
    return lock.section;
}

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

ModuleLock::ModuleLock()
{
    (void)lockMadeAtLoad;
    EnterCriticalSection(&ModuleSection());
}

ModuleLock::~ModuleLock() { LeaveCriticalSection(&ModuleSection()); }
