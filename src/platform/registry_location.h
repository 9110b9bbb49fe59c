// Where a key of the current user's registry is kept, in words for people:
// on Windows the key's own path, natively the registry file that holds it.
#pragma once

#include <string>

std::string RegistryKeyLocation(const char *subKey);
