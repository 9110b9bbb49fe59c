// The module's process-wide state, as one value, and the lock around it.
//
// The module keeps its drawing in process-wide tables (store, header values,
// pen tables, references, the drawing's name). The plug-in exports fill them
// per request; the library's documents keep their own copy and lend it back
// to the tables to be drawn. Every entry point that touches the tables holds
// the module lock, so requests from several threads take turns.
#pragma once

#include <cstddef>

#include "reader/document_readers.h"
#include "reader/drawing.h"
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

// Puts a drawing in place as the module's, to be drawn: its values copied
// into the module's tables, its records lent (ForgetStore gives them back).
void PutDrawingInPlace(const Drawing &drawing);

// The plug-in's reading of a file: the drawing starts from what the module
// carries over from the last request (pens, header values, user variables
// and the source), so that what a file does not set keeps its value as
// before; once read it is put in place to be drawn, and the module keeps
// its values after this object is gone, the records go with it.
class ModuleDrawing {
public:
    ModuleDrawing();
    ~ModuleDrawing() { ForgetStore(); }
    ModuleDrawing(const ModuleDrawing &) = delete;
    ModuleDrawing &operator=(const ModuleDrawing &) = delete;

    // Reads a figure or a drawing into a store of its own and puts it in
    // place. The reader's answer, or kReadNoStore when the store cannot be
    // had.
    int Read(const unsigned char *data, size_t length, bool figure);

    Drawing drawing;
};

// Holds the module lock while it lives. The lock is recursive: an entry point
// reached again on the same thread (a host's progress callback calling back
// in) does not wait for itself.
class ModuleLock {
public:
    ModuleLock();
    ~ModuleLock();
    ModuleLock(const ModuleLock &) = delete;
    ModuleLock &operator=(const ModuleLock &) = delete;
    // Whether a call of the library's interface holds the lock on this thread
    // (the thread that holds it): a callback of the library's is running.
    bool InsideLibraryCall() const;
};

// The library's calls hold the module lock through this. One made again on
// this thread from inside another (from a callback of the library's) is
// refused, not drawn over the call it came from.
class LibraryLock {
public:
    LibraryLock();
    ~LibraryLock();
    LibraryLock(const LibraryLock &) = delete;
    LibraryLock &operator=(const LibraryLock &) = delete;
    bool Refused() const { return refused_; }

private:
    ModuleLock lock_;
    bool refused_;
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
