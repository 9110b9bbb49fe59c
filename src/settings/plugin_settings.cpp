#include "settings/plugin_settings.h"

std::string refFile;
uint32_t sizeJww = 0;
uint32_t sizeJws = 0;

int LoadPluginSettings(uint32_t *widthJws, uint32_t *widthJww)
{
    // The registry-backed settings arrive with the settings subsystem; until
    // then the module behaves as if its key did not exist.
    if (widthJws) *widthJws = 0;
    if (widthJww) *widthJww = 0;
    return 0;
}

void ResetPluginSettings()
{
    refFile.clear();
    sizeJww = 0;
    sizeJws = 0;
}
