#include "platform/registry_location.h"

std::string RegistryKeyLocation(const char *subKey) { return std::string("HKEY_CURRENT_USER\\") + subKey; }
