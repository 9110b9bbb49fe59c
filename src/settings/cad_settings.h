// The CAD program's own pen and line-type settings ("Software\Jw_cad\jw_win"
// in the current user's registry), read over the built-in defaults for
// figures, which carry no settings of their own.
#pragma once

#include <cstdint>

#include "settings/setting_tables.h"

// Reads the Pen and Line keys into the setting tables; read only.
void LoadCadSettings(SettingTables &tables);

// The CAD program's hexadecimal text form: bare hexadecimal digits, read up
// to the first other character; no digit gives 0, more than 32 bits 0xFFFFFFFF.
uint32_t ParseCadHex(const char *text);
