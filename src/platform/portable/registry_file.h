// The native build's registry: HKEY_CURRENT_USER kept in a text file of the
// .reg format that regedit and Wine use. Reads tolerate a missing or damaged
// file; writes replace the file atomically.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct RegistryValue {
    std::string name;  // as written; looked up without regard to case
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegistryKey {
    std::string path;  // below HKEY_CURRENT_USER, components joined by '\'
    std::vector<RegistryValue> values;
    bool readOnly = false;  // taken from Wine's user.reg: never written back
};

// Keys by lower-case path.
using RegistryTree = std::map<std::string, RegistryKey>;

std::string RegistryKeyId(const std::string &path);
// Parses a REGEDIT4 / "Windows Registry Editor" file or Wine's user.reg;
// keys outside HKEY_CURRENT_USER and lines it cannot read are passed over.
RegistryTree ParseRegistryText(const std::string &text);
// Writes the writable keys in the REGEDIT4 format.
std::string SerializeRegistry(const RegistryTree &tree);

// The file named by PLOTMIRA_REGISTRY, else $XDG_CONFIG_HOME/plotmira/registry.reg,
// else ~/.config/plotmira/registry.reg.
std::string RegistryFilePath();
// Wine's registry of the current user: $WINEPREFIX/user.reg, else ~/.wine/user.reg.
std::string WineUserRegistryPath();
