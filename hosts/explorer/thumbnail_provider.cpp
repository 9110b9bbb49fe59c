// plotmira-thumbnails.dll: Explorer's thumbnail provider (and, in
// preview_handler.cpp, its preview handler) for Jw_cad drawings and figures. Explorer (in its isolated thumbnail
// process) creates the class, hands it the file as a stream (IInitializeWithStream) and asks for a thumbnail whose
// longer edge is cx (IThumbnailProvider). The bytes are opened as a document through the library and the sheet drawn at
// cx pixels wide rather than scaled down. The library may be called from any of Explorer's threads.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <propsys.h>
#include <shlobj.h>
#include <thumbcache.h>

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "hosts/explorer/shell_parts.h"
#include "hosts/explorer/thumbnail_ids.h"
#include "plotmira.h"

namespace {
LONG objectCount = 0;  // live objects: providers, handlers, factories
}  // namespace

void ObjectMade() { InterlockedIncrement(&objectCount); }
void ObjectGone() { InterlockedDecrement(&objectCount); }

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

HRESULT ReadStream(IStream *stream, std::vector<unsigned char> *bytes)
{
    constexpr ULONG kReadPiece = 1 << 16;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);  // some streams cannot seek; they start at 0
    for (;;) {
        const size_t used = bytes->size();
        if (used > PLOTMIRA_MAX_INPUT_BYTES) return E_OUTOFMEMORY;
        try {
            bytes->resize(used + kReadPiece);
        } catch (const std::bad_alloc &) {
            return E_OUTOFMEMORY;
        }
        ULONG got = 0;
        const HRESULT hr = stream->Read(bytes->data() + used, kReadPiece, &got);
        bytes->resize(used + got);
        if (FAILED(hr)) return hr;
        if (got == 0 || hr == S_FALSE) return S_OK;
    }
}

namespace {

constexpr UINT kMinThumbnail = 16;
constexpr UINT kMaxThumbnail = 5000;
const wchar_t kClassName[] = L"Plotmira thumbnail provider";
const wchar_t *const kExtensions[] = {L".jww", L".jws"};

LONG lockCount = 0;  // IClassFactory::LockServer

HRESULT HresultOf(plotmira_status status)
{
    switch (status) {
    case PLOTMIRA_ERR_NO_MEMORY:
    case PLOTMIRA_ERR_TOO_LARGE: return E_OUTOFMEMORY;
    case PLOTMIRA_ERR_FORMAT: return E_INVALIDARG;
    default: return E_FAIL;
    }
}

// The sheet drawn at width cx into a 32-bit top-down DIB section. A drawing
// of a version the library does not draw has no thumbnail: the shell shows
// its own icon.
HRESULT MakeThumbnail(const std::vector<unsigned char> &bytes, UINT cx, HBITMAP *bitmap)
{
    const UINT clamped = cx < kMinThumbnail ? kMinThumbnail : cx > kMaxThumbnail ? kMaxThumbnail : cx;
    const int32_t width = static_cast<int32_t>(clamped);
    const int32_t height = static_cast<int32_t>(width * PLOTMIRA_RASTER_ASPECT);
    plotmira_document *doc = nullptr;
    plotmira_open_options options;  // the user's settings, as the plug-in takes them
    plotmira_open_options_init(&options);
    options.settings = PLOTMIRA_SETTINGS_USER;
    plotmira_status status = plotmira_open_memory_with(bytes.data(), bytes.size(), &options, &doc);
    if (status != PLOTMIRA_OK) return HresultOf(status);
    plotmira_info info = {};
    info.struct_size = sizeof info;
    status = plotmira_describe(doc, &info);
    if (status == PLOTMIRA_OK && !info.version_drawn) status = PLOTMIRA_ERR_VERSION;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    void *pixels = nullptr;
    HBITMAP made =
        status == PLOTMIRA_OK ? CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &pixels, nullptr, 0) : nullptr;
    if (status == PLOTMIRA_OK && made == nullptr) status = PLOTMIRA_ERR_NO_MEMORY;
    if (status == PLOTMIRA_OK) {
        plotmira_view view;
        plotmira_view_init(&view, width, height);
        const size_t stride = static_cast<size_t>(width) * 4;
        const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_BGRA32, pixels, stride,
                                      stride * static_cast<size_t>(height)};
        status = plotmira_render(doc, &view, &image);
    }
    plotmira_close(doc);
    if (status != PLOTMIRA_OK) {
        if (made != nullptr) DeleteObject(made);
        return HresultOf(status);
    }
    *bitmap = made;
    return S_OK;
}

class ThumbnailProvider : public IThumbnailProvider, public StreamInput {
public:
    ThumbnailProvider() { ObjectMade(); }
    virtual ~ThumbnailProvider() { ObjectGone(); }

    IFACEMETHODIMP QueryInterface(REFIID iid, void **object) override
    {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidThumbnailProvider)) {
            *object = static_cast<IThumbnailProvider *>(this);
        } else if (IsEqualIID(iid, kIidInitializeWithStream)) {
            *object = static_cast<IInitializeWithStream *>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    IFACEMETHODIMP GetThumbnail(UINT cx, HBITMAP *bitmap, WTS_ALPHATYPE *alpha) override
    {
        if (bitmap == nullptr || alpha == nullptr) return E_POINTER;
        *bitmap = nullptr;
        *alpha = WTSAT_UNKNOWN;
        if (stream_ == nullptr) return E_UNEXPECTED;
        if (cx == 0) return E_INVALIDARG;
        try {
            std::vector<unsigned char> bytes;
            HRESULT hr = ReadStream(stream_, &bytes);
            if (FAILED(hr)) return hr;
            if (bytes.size() < 8) return E_INVALIDARG;  // not even the format's magic
            hr = MakeThumbnail(bytes, cx, bitmap);
            if (SUCCEEDED(hr)) *alpha = WTSAT_RGB;
            return hr;
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    LONG references_ = 1;
};

HRESULT CreateThumbnailProvider(REFIID iid, void **object)
{
    auto *provider = new (std::nothrow) ThumbnailProvider();
    if (provider == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = provider->QueryInterface(iid, object);
    provider->Release();
    return hr;
}

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(HRESULT (*create)(REFIID, void **)) : create_(create) { ObjectMade(); }
    virtual ~ClassFactory() { ObjectGone(); }

    IFACEMETHODIMP QueryInterface(REFIID iid, void **object) override
    {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references_); }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    IFACEMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return create_(iid, object);
    }
    IFACEMETHODIMP LockServer(BOOL lock) override
    {
        if (lock) {
            InterlockedIncrement(&lockCount);
        } else {
            InterlockedDecrement(&lockCount);
        }
        return S_OK;
    }

private:
    LONG references_ = 1;
    HRESULT (*create_)(REFIID, void **);
};

// ---- registration ----------------------------------------------------------

std::wstring ClassIdText(REFCLSID classId = kThumbnailProviderClassId)
{
    wchar_t text[64] = {};
    StringFromGUID2(classId, text, 64);
    return text;
}

const wchar_t kPreviewHandlerName[] = L"Plotmira preview handler";
const wchar_t kPreviewHandlersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers";

// The surrogate Explorer runs preview handlers in: prevhost.exe, and on
// 64-bit Windows its 32-bit twin for a 32-bit handler.
const wchar_t *SurrogateAppId()
{
#ifdef _WIN64
    return L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
#else
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 ? L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}" : L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
#endif
}

bool SetDefaultValue(HKEY root, const std::wstring &path, const std::wstring &value, const wchar_t *name = nullptr)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring DefaultValue(HKEY root, const std::wstring &path)
{
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return L"";
    return text;
}

// Deletes the key when it holds nothing: no value, no subkey.
void DeleteIfEmpty(HKEY root, const std::wstring &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD subkeys = 0, values = 0;
    const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    RegCloseKey(key);
    if (empty) RegDeleteKeyW(root, path.c_str());
}

// Under Software\Classes of HKEY_LOCAL_MACHINE (all users) or of
// HKEY_CURRENT_USER: the class with its in-process server, and the
// thumbnail handler of both extensions.
HRESULT Register(HKEY root)
{
    wchar_t modulePath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(ThisModule(), modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    const std::wstring classKey = std::wstring(L"Software\\Classes\\CLSID\\") + ClassIdText();
    bool ok = SetDefaultValue(root, classKey, kClassName) &&
              SetDefaultValue(root, classKey + L"\\InprocServer32", modulePath) &&
              SetDefaultValue(root, classKey + L"\\InprocServer32", L"Apartment", L"ThreadingModel");
    for (const wchar_t *extension : kExtensions) {
        ok = ok && SetDefaultValue(
                       root, std::wstring(L"Software\\Classes\\") + extension + L"\\ShellEx\\" + kThumbnailHandlerKey,
                       ClassIdText());
    }
    // The preview handler: its class, run in Explorer's surrogate, named
    // for both extensions and in the list of preview handlers.
    const std::wstring previewId = ClassIdText(kPreviewHandlerClassId);
    const std::wstring previewKey = L"Software\\Classes\\CLSID\\" + previewId;
    ok = ok && SetDefaultValue(root, previewKey, kPreviewHandlerName) &&
         SetDefaultValue(root, previewKey, SurrogateAppId(), L"AppID") &&
         SetDefaultValue(root, previewKey + L"\\InprocServer32", modulePath) &&
         SetDefaultValue(root, previewKey + L"\\InprocServer32", L"Apartment", L"ThreadingModel") &&
         SetDefaultValue(root, kPreviewHandlersKey, kPreviewHandlerName, previewId.c_str());
    for (const wchar_t *extension : kExtensions) {
        ok = ok && SetDefaultValue(
                       root, std::wstring(L"Software\\Classes\\") + extension + L"\\ShellEx\\" + kPreviewHandlerKey,
                       previewId);
    }
    if (!ok) return SELFREG_E_CLASS;
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return S_OK;
}

// Removes what Register wrote, and nothing else: a handler key that names
// another class, and an extension's own values (its file type, say), stay.
HRESULT Unregister(HKEY root)
{
    const std::wstring previewId = ClassIdText(kPreviewHandlerClassId);
    for (const std::wstring &id : {ClassIdText(), previewId}) {
        const std::wstring classKey = std::wstring(L"Software\\Classes\\CLSID\\") + id;
        RegDeleteTreeW(root, classKey.c_str());
    }
    HKEY handlers = nullptr;
    if (RegOpenKeyExW(root, kPreviewHandlersKey, 0, KEY_SET_VALUE, &handlers) == ERROR_SUCCESS) {
        RegDeleteValueW(handlers, previewId.c_str());
        RegCloseKey(handlers);
    }
    for (const wchar_t *extension : kExtensions) {
        const std::wstring extensionKey = std::wstring(L"Software\\Classes\\") + extension;
        const std::pair<const wchar_t *, std::wstring> ours[] = {{kThumbnailHandlerKey, ClassIdText()},
                                                                 {kPreviewHandlerKey, previewId}};
        for (const auto &handler : ours) {
            const std::wstring handlerKey = extensionKey + L"\\ShellEx\\" + handler.first;
            if (DefaultValue(root, handlerKey) == handler.second) RegDeleteKeyW(root, handlerKey.c_str());
        }
        DeleteIfEmpty(root, extensionKey + L"\\ShellEx");
        DeleteIfEmpty(root, extensionKey);
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return S_OK;
}

// True when this process may write the machine's classes (an elevated
// regsvr32).
bool MayWriteMachineClasses()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void **object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    HRESULT (*create)(REFIID, void **) = nullptr;
    if (IsEqualCLSID(classId, kThumbnailProviderClassId)) create = CreateThumbnailProvider;
    if (IsEqualCLSID(classId, kPreviewHandlerClassId)) create = CreatePreviewHandler;
    if (create == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    auto *factory = new (std::nothrow) ClassFactory(create);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

// Before the DLL goes, its window class goes: a class left behind would
// point at code no longer there.
HRESULT WINAPI DllCanUnloadNow()
{
    if (objectCount != 0 || lockCount != 0) return S_FALSE;
    ForgetPreviewWindowClass();
    return S_OK;
}

// For all users when the caller may write there, else for the current user.
HRESULT WINAPI DllRegisterServer()
{
    return Register(MayWriteMachineClasses() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
}

// From where DllRegisterServer would write: an elevated caller removes the
// registration for all users and leaves a per-user one (an installation of
// its own) alone; /n /i:user removes that.
HRESULT WINAPI DllUnregisterServer()
{
    return Unregister(MayWriteMachineClasses() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
}

// regsvr32 /n /i:user (and /u /n /i:user): the per-user form explicitly.
HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine)
{
    if (commandLine == nullptr || lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
    return install ? Register(HKEY_CURRENT_USER) : Unregister(HKEY_CURRENT_USER);
}

}  // extern "C"
