// Registry calls over the registry file (see registry_file.h).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>
#include <sstream>
#include <unordered_set>

#include "platform/portable/registry_file.h"
#include "platform/registry_location.h"
#include "platform/win32.h"

struct PortableKey {
    std::string path;
    RegistryKey snapshot;  // the key's values when it was opened
    bool writable;
};

namespace {

constexpr char kCadProgramKeyPrefix[] = "software\\jw_cad";
constexpr size_t kMaxRegistryFileBytes = 16u << 20;  // a larger file is not a registry of ours

std::string ToLower(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// A file's identity for the parse cache: size and modification time.
struct FileStamp {
    bool exists = false;
    off_t size = 0;
    int64_t modified = 0;
    bool operator==(const FileStamp &o) const { return exists == o.exists && size == o.size && modified == o.modified; }
};

FileStamp StampOf(const std::string &path)
{
    struct stat info;
    FileStamp stamp;
    if (stat(path.c_str(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.size = info.st_size;
    stamp.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

bool ReadTextFile(const std::string &path, std::string *text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxRegistryFileBytes) return false;
    in.seekg(0, std::ios::beg);
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Trims separators and collapses doubled ones, so "a\\b\" and "a\b" name one key.
std::string NormalisePath(const char *subKey)
{
    std::string path;
    for (const char *p = subKey ? subKey : ""; *p; ++p) {
        const char c = *p;
        if (c == '\\') {
            if (!path.empty() && path.back() != '\\') path.push_back('\\');
        } else {
            path.push_back(c);
        }
    }
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// The process-wide state of this file, under one mutex that every call
// holds from start to end (the registry is asked a few times a conversion,
// never while drawing):
//   registry.openKeys  the live key handles
//   cache     the parsed registry and the stamps of the files it came from
struct RegistryCache {
    std::string path, winePath;
    FileStamp stamp = {}, wineStamp = {};
    RegistryTree tree;
    bool filled = false;
};
struct RegistryState {
    std::recursive_mutex mutex;
    std::unordered_set<PortableKey *> openKeys;
    RegistryCache cache;
};
RegistryState registry;

RegistryTree ParseTree();

// The user's registry, parsed again only when one of its files changed: a
// batch of conversions reads it once. Writers change a copy and save it.
// Under the registry's mutex, which the caller holds while it uses the tree.
const RegistryTree &LoadTree()
{
    RegistryCache &c = registry.cache;
    const std::string path = RegistryFilePath(), winePath = WineUserRegistryPath();
    const FileStamp stamp = StampOf(path), wineStamp = StampOf(winePath);
    if (!c.filled || path != c.path || winePath != c.winePath || !(stamp == c.stamp) || !(wineStamp == c.wineStamp)) {
        c.tree = ParseTree();
        c.path = path;
        c.winePath = winePath;
        c.stamp = stamp;
        c.wineStamp = wineStamp;
        c.filled = true;
    }
    return c.tree;
}

// The user's registry file, with the CAD program's keys taken from Wine's
// registry (read only) when the file itself holds none.
RegistryTree ParseTree()
{
    std::string text;
    RegistryTree tree;
    if (ReadTextFile(RegistryFilePath(), &text)) tree = ParseRegistryText(text);
    for (const auto &entry : tree) {
        if (entry.first.compare(0, std::strlen(kCadProgramKeyPrefix), kCadProgramKeyPrefix) == 0) return tree;
    }
    std::string wineText;
    if (!ReadTextFile(WineUserRegistryPath(), &wineText)) return tree;
    for (auto &entry : ParseRegistryText(wineText)) {
        if (entry.first.compare(0, std::strlen(kCadProgramKeyPrefix), kCadProgramKeyPrefix) != 0) continue;
        entry.second.readOnly = true;
        tree.emplace(entry.first, std::move(entry.second));
    }
    return tree;
}

bool MakeParentFolders(const std::string &file)
{
    for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Writes a temporary file beside the registry file and renames it over it,
// so an interrupted write never loses the earlier settings.
bool SaveTree(const RegistryTree &tree)
{
    const std::string path = RegistryFilePath();
    if (!MakeParentFolders(path)) return false;
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    const std::string text = SerializeRegistry(tree);
    FILE *out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = std::fflush(out) == 0 && ok;
    ok = fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

bool KeyExists(const RegistryTree &tree, const std::string &id)
{
    if (tree.count(id) != 0) return true;
    // A key listed only through its subkeys exists too.
    auto next = tree.lower_bound(id + "\\");
    return next != tree.end() && next->first.compare(0, id.size() + 1, id + "\\") == 0;
}

bool IsValidRoot(HKEY root) { return root == HKEY_CURRENT_USER || registry.openKeys.count(root) != 0; }

std::string JoinPath(HKEY root, const char *subKey)
{
    const std::string tail = NormalisePath(subKey);
    if (root == HKEY_CURRENT_USER) return tail;
    if (tail.empty()) return root->path;
    return root->path.empty() ? tail : root->path + "\\" + tail;
}

LONG OpenHandle(const RegistryTree &tree, const std::string &path, bool writable, PHKEY result)
{
    auto *key = new (std::nothrow) PortableKey;
    if (key == nullptr) return ERROR_ACCESS_DENIED;
    key->path = path;
    key->writable = writable;
    auto found = tree.find(RegistryKeyId(path));
    if (found != tree.end()) key->snapshot = found->second;
    registry.openKeys.insert(key);
    *result = key;
    return ERROR_SUCCESS;
}

RegistryValue *FindValue(RegistryKey &key, const char *name)
{
    const std::string wanted = ToLower(name ? name : "");
    for (RegistryValue &value : key.values) {
        if (ToLower(value.name) == wanted) return &value;
    }
    return nullptr;
}

}  // namespace

std::string RegistryFilePath()
{
    const char *explicitPath = std::getenv("PLOTMIRA_REGISTRY");
    if (explicitPath != nullptr && *explicitPath != '\0') return explicitPath;
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config != '\0') return std::string(config) + "/plotmira/registry.reg";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/plotmira/registry.reg";
}

std::string WineUserRegistryPath()
{
    const char *prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/user.reg";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.wine/user.reg";
}

std::string RegistryKeyId(const std::string &path) { return ToLower(path); }

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    const std::lock_guard<std::recursive_mutex> hold(registry.mutex);
    (void)options;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!IsValidRoot(root)) return ERROR_INVALID_HANDLE;
    const std::string path = JoinPath(root, subKey);
    const RegistryTree &tree = LoadTree();
    if (!path.empty() && !KeyExists(tree, RegistryKeyId(path))) return ERROR_FILE_NOT_FOUND;
    return OpenHandle(tree, path, (access & KEY_SET_VALUE) != 0, result);
}

LONG WINAPI RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                            LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    const std::lock_guard<std::recursive_mutex> hold(registry.mutex);
    (void)reserved;
    (void)keyClass;
    (void)options;
    (void)security;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!IsValidRoot(root)) return ERROR_INVALID_HANDLE;
    const std::string path = JoinPath(root, subKey);
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    RegistryTree tree = LoadTree();
    const std::string id = RegistryKeyId(path);
    const bool existed = KeyExists(tree, id);
    if (tree.count(id) == 0) {
        RegistryKey key;
        key.path = path;
        tree.emplace(id, key);
        if (!SaveTree(tree)) return ERROR_ACCESS_DENIED;
    }
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return OpenHandle(tree, path, (access & KEY_SET_VALUE) != 0, result);
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    const std::lock_guard<std::recursive_mutex> hold(registry.mutex);
    (void)reserved;
    if (registry.openKeys.count(key) == 0) return ERROR_INVALID_HANDLE;
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    const RegistryValue *value = FindValue(key->snapshot, name);
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    const DWORD size = static_cast<DWORD>(value->data.size());
    if (data == nullptr) {
        if (dataSize) *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (size != 0) std::memcpy(data, value->data.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD dataSize)
{
    const std::lock_guard<std::recursive_mutex> hold(registry.mutex);
    (void)reserved;
    if (registry.openKeys.count(key) == 0) return ERROR_INVALID_HANDLE;
    if (!key->writable) return ERROR_ACCESS_DENIED;
    if (data == nullptr && dataSize != 0) return ERROR_INVALID_PARAMETER;
    RegistryTree tree = LoadTree();
    const std::string id = RegistryKeyId(key->path);
    RegistryKey &stored = tree[id];
    if (stored.readOnly) return ERROR_ACCESS_DENIED;
    stored.path = key->path;
    RegistryValue *value = FindValue(stored, name);
    if (value == nullptr) {
        stored.values.push_back(RegistryValue{name ? name : "", type, {}});
        value = &stored.values.back();
    }
    value->type = type;
    value->data.assign(data, data + dataSize);
    if (!SaveTree(tree)) return ERROR_ACCESS_DENIED;
    key->snapshot = stored;
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name)
{
    const std::lock_guard<std::recursive_mutex> hold(registry.mutex);
    if (registry.openKeys.count(key) == 0) return ERROR_INVALID_HANDLE;
    if (!key->writable) return ERROR_ACCESS_DENIED;
    RegistryTree tree = LoadTree();
    auto found = tree.find(RegistryKeyId(key->path));
    if (found == tree.end()) return ERROR_FILE_NOT_FOUND;
    RegistryKey &stored = found->second;
    if (stored.readOnly) return ERROR_ACCESS_DENIED;
    const RegistryValue *value = FindValue(stored, name);
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    stored.values.erase(stored.values.begin() + (value - stored.values.data()));
    if (!SaveTree(tree)) return ERROR_ACCESS_DENIED;
    key->snapshot = stored;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    const std::lock_guard<std::recursive_mutex> hold(registry.mutex);
    if (registry.openKeys.erase(key) == 0) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

}  // extern "C"

std::string RegistryKeyLocation(const char *subKey)
{
    (void)subKey;  // every key lives in the one file
    return RegistryFilePath();
}
