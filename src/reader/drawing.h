// A drawing or figure as one reading of its file left it: the records and
// their string pool, the header (layers, views, paper, memo), the pen and
// line-type tables, the user variables and the facts of its source. Read
// once, then only read from.
#pragma once

#include "reader/archive.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "reader/object_lists.h"
#include "settings/drawing_source.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"

struct Drawing {
    StoreTables store;
    DocumentSettings header;
    SettingTables tables;
    PluginSettingsState references;
    DrawingSource source;

    Drawing();
    ~Drawing() { FreeStoreTables(&store); }
    Drawing(const Drawing &) = delete;
    Drawing &operator=(const Drawing &) = delete;
};

// The state a reading carries from one value of the file to the next: the
// cursor, the class map of the object lists, the owner given to each record
// read, and the version that steers every record's layout.
struct ReadContext {
    explicit ReadContext(Drawing &target) : drawing(target) {}
    Drawing &drawing;
    ArchiveCursor archive;
    ClassMap classMap = {};
    int32_t currentOwner = kTopLevelOwner;
    uint32_t version = 0;
};
