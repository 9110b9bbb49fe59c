// The test host's Explorer: finds the thumbnail handler of an extension in
// the registry (the user's classes first, then the machine's), creates it
// with CoCreateInstance (or, for the per-user form that Wine's COM does not
// look up, through the DLL's DllGetClassObject), hands it the file as a
// stream and asks for a thumbnail.
#include "platform/dib_rows.h"
#include "tests/spihost/host_helpers.h"
#include "tests/spihost/thumbnail_client.h"

#include <windows.h>
#include <objbase.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hosts/explorer/thumbnail_ids.h"

namespace {

typedef HRESULT(WINAPI *GetClassObjectFn)(REFCLSID, REFIID, void **);
typedef HRESULT(WINAPI *RegisterFn)();
typedef HRESULT(WINAPI *InstallFn)(BOOL, LPCWSTR);

std::wstring Extension(const std::wstring &path)
{
    const size_t dot = path.find_last_of(L'.');
    return dot == std::wstring::npos ? L"" : path.substr(dot);
}

// The handler's class as Explorer finds it.
bool HandlerClass(const std::wstring &extension, CLSID *classId)
{
    const std::wstring key = L"Software\\Classes\\" + extension + L"\\ShellEx\\" + kThumbnailHandlerKey;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        wchar_t text[64] = {};
        DWORD size = sizeof text - sizeof(wchar_t);
        if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS &&
            SUCCEEDED(CLSIDFromString(text, classId))) {
            return true;
        }
    }
    return false;
}

// The provider for the file, initialised with a stream on its bytes.
HRESULT CreateProvider(const std::wstring &input, const std::wstring &directDll, IThumbnailProvider **provider)
{
    *provider = nullptr;
    CLSID classId = kThumbnailProviderClassId;
    if (directDll.empty() && !HandlerClass(Extension(input), &classId)) return REGDB_E_CLASSNOTREG;
    IInitializeWithStream *initialize = nullptr;
    HRESULT hr = E_FAIL;
    if (directDll.empty()) {
        hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, kIidInitializeWithStream,
                              reinterpret_cast<void **>(&initialize));
    } else {
        HMODULE dll = LoadLibraryW(directDll.c_str());  // kept loaded: the object lives in it
        auto getClassObject = dll != nullptr ? Resolve<GetClassObjectFn>(dll, "DllGetClassObject") : nullptr;
        IClassFactory *factory = nullptr;
        hr = getClassObject != nullptr ? getClassObject(classId, IID_IClassFactory, reinterpret_cast<void **>(&factory))
                                       : E_FAIL;
        if (SUCCEEDED(hr)) {
            hr = factory->CreateInstance(nullptr, kIidInitializeWithStream, reinterpret_cast<void **>(&initialize));
            factory->Release();
        }
    }
    if (FAILED(hr)) return hr;
    std::vector<unsigned char> bytes;
    if (!ReadInput(input, 0, &bytes)) {
        initialize->Release();
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    IStream *stream = SHCreateMemStream(bytes.empty() ? nullptr : bytes.data(), static_cast<UINT>(bytes.size()));
    hr = stream != nullptr ? initialize->Initialize(stream, STGM_READ) : E_OUTOFMEMORY;
    if (stream != nullptr) stream->Release();
    if (SUCCEEDED(hr)) hr = initialize->QueryInterface(kIidThumbnailProvider, reinterpret_cast<void **>(provider));
    initialize->Release();
    return hr;
}

// The bitmap's pixels as 32-bit top-down rows, with its size.
bool PixelsOf(HBITMAP bitmap, int *width, int *height, std::vector<unsigned char> *pixels)
{
    DIBSECTION section = {};
    if (GetObjectW(bitmap, sizeof section, &section) != sizeof section || section.dsBm.bmBits == nullptr) {
        return false;
    }
    *width = section.dsBm.bmWidth;
    *height = section.dsBm.bmHeight;
    if (section.dsBm.bmBitsPixel != 32) return false;
    const auto *bits = static_cast<const unsigned char *>(section.dsBm.bmBits);
    pixels->assign(bits, bits + static_cast<size_t>(*width) * *height * 4);
    return true;
}

// A 24-bit BMP of 32-bit top-down pixels.
bool WriteBmp(const std::wstring &path, int width, int height, const std::vector<unsigned char> &pixels)
{
    const size_t stride = DibRowStride(static_cast<uint64_t>(width), 3);
    std::vector<unsigned char> rows(stride * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char *from = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            unsigned char *to = &rows[static_cast<size_t>(height - 1 - y) * stride + x * 3];
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + rows.size());
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    FILE *out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(rows.data(), 1, rows.size(), out) == rows.size();
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

struct Thumbnail {
    HRESULT hr = E_FAIL;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
};

Thumbnail Take(const std::wstring &input, UINT size, const std::wstring &directDll)
{
    Thumbnail result;
    IThumbnailProvider *provider = nullptr;
    result.hr = CreateProvider(input, directDll, &provider);
    if (FAILED(result.hr)) return result;
    HBITMAP bitmap = nullptr;
    result.hr = provider->GetThumbnail(size, &bitmap, &result.alpha);
    provider->Release();
    if (SUCCEEDED(result.hr) &&
        (bitmap == nullptr || !PixelsOf(bitmap, &result.width, &result.height, &result.pixels))) {
        result.hr = E_UNEXPECTED;
    }
    if (bitmap != nullptr) DeleteObject(bitmap);  // the caller owns the bitmap handed over
    return result;
}

struct Worker {
    std::wstring input;
    UINT size;
    int count;
    const std::vector<unsigned char> *expected;
    int equal = 0;
    int windowsLeft = 0;
};

DWORD WINAPI Work(LPVOID data)
{
    auto *worker = static_cast<Worker *>(data);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // each thread its own apartment, as Explorer's
    for (int i = 0; i < worker->count; ++i) {
        const Thumbnail thumbnail = Take(worker->input, worker->size, L"");
        worker->equal += SUCCEEDED(thumbnail.hr) && thumbnail.pixels == *worker->expected;
    }
    worker->windowsLeft = ThreadWindows();
    CoUninitialize();
    return 0;
}

}  // namespace

int TakeThumbnail(const std::wstring &input, UINT size, const std::wstring &output, const std::wstring &directDll)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int windowsBefore = ThreadWindows();
    const Thumbnail thumbnail = Take(input, size, directDll);
    std::printf("GetThumbnail %u: hr 0x%08lx\n", size, static_cast<unsigned long>(thumbnail.hr));
    int status = 0;
    if (SUCCEEDED(thumbnail.hr)) {
        std::printf("thumbnail %dx%d alpha %d\n", thumbnail.width, thumbnail.height, static_cast<int>(thumbnail.alpha));
        if (!WriteBmp(output, thumbnail.width, thumbnail.height, thumbnail.pixels)) status = 1;
    }
    std::printf("windows before %d after %d\n", windowsBefore, ThreadWindows());
    CoUninitialize();
    return status;
}

int TakeThumbnailsOnThreads(const std::wstring &input, UINT size, int threads, int count)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const Thumbnail first = Take(input, size, L"");  // also makes what lives for the process
    if (FAILED(first.hr)) {
        std::printf("GetThumbnail %u: hr 0x%08lx\n", size, static_cast<unsigned long>(first.hr));
        return 1;
    }
    OutputDebugStringA("hygiene start\n");
    std::vector<Worker> workers(static_cast<size_t>(threads), Worker{input, size, count, &first.pixels});
    std::vector<HANDLE> handles;
    for (Worker &worker : workers) handles.push_back(CreateThread(nullptr, 0, Work, &worker, 0, nullptr));
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
    for (HANDLE handle : handles) CloseHandle(handle);
    OutputDebugStringA("hygiene end\n");
    int equal = 0, windowsLeft = 0;
    for (const Worker &worker : workers) {
        equal += worker.equal;
        windowsLeft += worker.windowsLeft;
    }
    std::printf("threads %d x %d thumbnails: %d equal to the first, windows left %d\n", threads, count, equal,
                windowsLeft);
    CoUninitialize();
    return equal == threads * count && windowsLeft == 0 ? 0 : 1;
}

int RegisterServer(const std::wstring &dll, bool install, bool perUser)
{
    HMODULE module = LoadLibraryW(dll.c_str());
    if (module == nullptr) {
        std::printf("spihost: cannot load %s\n", "the DLL");
        return 1;
    }
    HRESULT hr = E_FAIL;
    if (perUser) {
        auto dllInstall = Resolve<InstallFn>(module, "DllInstall");
        if (dllInstall != nullptr) hr = dllInstall(install, L"user");
    } else {
        auto call = Resolve<RegisterFn>(module, install ? "DllRegisterServer" : "DllUnregisterServer");
        if (call != nullptr) hr = call();
    }
    std::printf("%s%s: hr 0x%08lx\n", install ? "register" : "unregister", perUser ? " (user)" : "",
                static_cast<unsigned long>(hr));
    FreeLibrary(module);
    return SUCCEEDED(hr) ? 0 : 1;
}
