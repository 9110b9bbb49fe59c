// The module's process-wide state, as one value, and the lock around it.
//
// The module keeps its drawing in process-wide tables (store, header values,
// pen tables, references, the drawing's name). The plug-in exports fill them
// per request; the library's documents keep their own copy and lend it back
// to the tables to be drawn. Every entry point that touches the tables holds
// the module lock, so requests from several threads take turns.
#pragma once

#include "reader/document_readers.h"
#include "settings/drawing_source.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

struct ModuleState {
    SettingTables tables;
    DocumentSettings settings;
    PluginSettingsState plugin;
    DrawingSource source;
};

void SaveModuleState(ModuleState *state);
void RestoreModuleState(const ModuleState &state);

// Holds the module lock while it lives. The lock is recursive: an entry point
// reached again on the same thread (a host's progress callback calling back
// in) does not wait for itself.
class ModuleLock {
public:
    ModuleLock();
    ~ModuleLock();
    ModuleLock(const ModuleLock &) = delete;
    ModuleLock &operator=(const ModuleLock &) = delete;
};

// Keeps the state a library call found and puts it back when the call ends,
// so that the plug-in's requests see nothing of the library's.
class KeepModuleState {
public:
    KeepModuleState() { SaveModuleState(&saved_); }
    ~KeepModuleState() { RestoreModuleState(saved_); }
    KeepModuleState(const KeepModuleState &) = delete;
    KeepModuleState &operator=(const KeepModuleState &) = delete;

private:
    ModuleState saved_;
};
