// spihost: a small Windows host that calls an import plug-in the way image
// viewers do, checks what comes back and writes the picture as a BMP file.
//
//   spihost.exe PLUGIN INPUT OUTPUT.bmp [--preview] [--offset N] [--repeat N] [--cancel-at N]
//               [--unicode] [--memory]
//   spihost.exe PLUGIN --hygiene LIST COUNT
//   spihost.exe PLUGIN --reload INPUT
//   spihost.exe --version-of FILE
//   spihost.exe --batch LIST
//   spihost.exe PLUGIN --dialog FUNCTION [STEP...]
//   spihost.exe --registry NAME=VALUE...
//   spihost.exe --thumbnail INPUT SIZE OUTPUT.bmp [DLL]
//   spihost.exe --thumbnail-threads INPUT SIZE THREADS COUNT
//   spihost.exe --preview-pane INPUT DLL [PLUGIN.sph]   (see preview_client.h)
//   spihost.exe --preview-cycles INPUT DLL COUNT
//   spihost.exe --register DLL | --unregister DLL [user]
// --unicode calls the UTF-16 exports with the names as given; --memory hands
// the file over as a memory image. --hygiene converts the files named in
// LIST (one per line) COUNT times in turn, as previews, and reports the
// thread's windows before and after; with WINEDEBUG=+gdi,+debugstr the GDI
// handle counts around the marks "hygiene start" and "hygiene end" show
// what the conversions left alive. --reload converts, unloads the plug-in,
// keeps its old address taken so that it must load elsewhere, loads it
// again and converts once more: the two previews must be equal.
// --version-of prints the version resource
// of a file. --batch runs many of these in one process, which matters where
// every start of a program is slow (32-bit Wine under emulation): each line
// of LIST (UTF-8) is a log file and the arguments of one run, separated by
// tabs; the run's output goes to its log, which ends with "status N".
// --dialog drives ConfigurationDlg (dialog_driver.cpp); --registry sets or
// (NAME=) deletes the module's registry values. --thumbnail and the rest
// play Explorer against the thumbnail provider (thumbnail_client.cpp).
#include <windows.h>
#include <shellapi.h>
#include <winver.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dib_rows.h"
#include "tests/spihost/dialog_driver.h"
#include "tests/spihost/host_helpers.h"
#include "tests/spihost/preview_client.h"
#include "tests/spihost/thumbnail_client.h"

namespace {

#pragma pack(push, 1)
struct PictureInfo {
    LONG left, top, width, height;
    WORD xDensity, yDensity;
    SHORT colorDepth;
#ifdef _WIN64
    char dummy[2];
#endif
    HLOCAL hInfo;
};
#pragma pack(pop)
#ifdef _WIN64
static_assert(sizeof(PictureInfo) == 32 && offsetof(PictureInfo, hInfo) == 24, "64-bit layout");
#else
static_assert(sizeof(PictureInfo) == 26 && offsetof(PictureInfo, hInfo) == 22, "32-bit layout");
#endif

typedef int(WINAPI *ProgressCallback)(int, int, LONG_PTR);
typedef int(WINAPI *GetPluginInfoFn)(int, LPSTR, int);
typedef int(WINAPI *IsSupportedFn)(LPCSTR, const void *);
typedef int(WINAPI *GetPictureInfoFn)(LPCSTR, LONG_PTR, UINT, PictureInfo *);
typedef int(WINAPI *GetPictureFn)(LPCSTR, LONG_PTR, UINT, HLOCAL *, HLOCAL *, ProgressCallback, LONG_PTR);
typedef int(WINAPI *GetPluginInfoWFn)(int, LPWSTR, int);
typedef int(WINAPI *IsSupportedWFn)(LPCWSTR, const void *);
typedef int(WINAPI *GetPictureInfoWFn)(LPCWSTR, LONG_PTR, UINT, PictureInfo *);
typedef int(WINAPI *GetPictureWFn)(LPCWSTR, LONG_PTR, UINT, HLOCAL *, HLOCAL *, ProgressCallback, LONG_PTR);

constexpr size_t kHeadBytes = 2048;  // what viewers hand IsSupported
constexpr int kInfoEntries = 6;
// Some hosts preset hInfo so that a field written at the wrong offset shows.
const HLOCAL kPresetHandle = reinterpret_cast<HLOCAL>(static_cast<ULONG_PTR>(0x7f7f7f7f7f7f7f7fULL));

struct Progress {
    int calls = 0;
    int cancelAt = -1;  // answer "stop" on this call (0-based), -1 never
};

int WINAPI OnProgress(int numerator, int denominator, LONG_PTR data)
{
    auto *progress = reinterpret_cast<Progress *>(data);
    const int call = progress->calls++;
    std::printf("progress %d/%d\n", numerator, denominator);
    return call == progress->cancelAt ? 1 : 0;
}

bool WriteBmp(const char *path, const BITMAPINFOHEADER &header, const unsigned char *bits, size_t imageSize)
{
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + imageSize);
    FILE *out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
              std::fwrite(bits, 1, imageSize, out) == imageSize;
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

// Failures go to standard output with the rest, so a batch run's log has them.
int Fail(const char *what)
{
    std::printf("spihost: %s\n", what);
    return 1;
}

}  // namespace

std::string Narrow(const std::wstring &wide)
{
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

int Hygiene(const std::wstring &pluginPath, const std::wstring &listPath, int count)
{
    HMODULE plugin = LoadLibraryW(pluginPath.c_str());
    if (plugin == nullptr) return Fail("cannot load the plug-in");
    auto isSupported = Resolve<IsSupportedFn>(plugin, "IsSupported");
    auto getPreview = Resolve<GetPictureFn>(plugin, "GetPreview");
    if (!isSupported || !getPreview) return Fail("the plug-in lacks its exports");
    std::vector<unsigned char> listBytes;
    if (!ReadInput(listPath, 0, &listBytes)) return Fail("cannot read the list");
    std::vector<std::string> inputs;
    std::string line;
    for (unsigned char c : listBytes) {
        if (c == '\n' || c == '\r') {
            if (!line.empty()) inputs.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty()) inputs.push_back(line);
    if (inputs.empty()) return Fail("the list is empty");
    std::vector<unsigned char> head(kHeadBytes, 0);
    auto convert = [&](const std::string &input) {
        isSupported(input.c_str(), head.data());
        HLOCAL info = nullptr, bits = nullptr;
        const int result = getPreview(input.c_str(), 0, 0, &info, &bits, nullptr, 0);
        if (result == 0) {
            LocalFree(info);
            LocalFree(bits);
        }
        return result;
    };
    // One round first, so that what lives for the process (the window class,
    // fonts the system caches) exists before the count starts.
    for (const std::string &input : inputs) convert(input);
    const int windowsBefore = ThreadWindows();
    OutputDebugStringA("hygiene start\n");
    int converted = 0;
    for (int i = 0; i < count; ++i) converted += convert(inputs[static_cast<size_t>(i) % inputs.size()]) == 0;
    OutputDebugStringA("hygiene end\n");
    const int windowsAfter = ThreadWindows();
    std::printf("hygiene: %d conversions, %d pictures, windows before %d after %d\n", count, converted, windowsBefore,
                windowsAfter);
    FreeLibrary(plugin);
    return windowsBefore == windowsAfter ? 0 : 1;
}

// Unloads the plug-in on every path out of a run.
struct LoadedPlugin {
    HMODULE module;
    ~LoadedPlugin()
    {
        if (module != nullptr) FreeLibrary(module);
    }
};

// A preview of a memory image; its pixels in *pixels. Answers the result code.
int PreviewFromMemory(HMODULE plugin, const std::vector<unsigned char> &image, std::vector<unsigned char> *pixels)
{
    auto getPreview = Resolve<GetPictureFn>(plugin, "GetPreview");
    if (getPreview == nullptr) return -1;
    HLOCAL info = nullptr, bits = nullptr;
    const int result = getPreview(reinterpret_cast<LPCSTR>(image.data()), static_cast<LONG_PTR>(image.size()), 1, &info,
                                  &bits, nullptr, 0);
    if (result != 0) return result;
    const auto *bytes = static_cast<const unsigned char *>(LocalLock(bits));
    pixels->assign(bytes, bytes + LocalSize(bits));
    LocalUnlock(bits);
    LocalFree(info);
    LocalFree(bits);
    return 0;
}

int Reload(const std::wstring &pluginPath, const std::wstring &inputPath)
{
    std::vector<unsigned char> image;
    if (!ReadInput(inputPath, 0, &image)) return Fail("cannot open the input");
    HMODULE first = LoadLibraryW(pluginPath.c_str());
    if (first == nullptr) return Fail("cannot load the plug-in");
    std::vector<unsigned char> before, after;
    const int firstResult = PreviewFromMemory(first, image, &before);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(first);
    const auto *nt =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(reinterpret_cast<const unsigned char *>(first) + dos->e_lfanew);
    const SIZE_T imageSize = nt->OptionalHeader.SizeOfImage;
    FreeLibrary(first);
    // Hold the old address, so that the plug-in comes back somewhere else.
    void *hold = VirtualAlloc(first, imageSize, MEM_RESERVE, PAGE_NOACCESS);
    HMODULE second = LoadLibraryW(pluginPath.c_str());
    if (second == nullptr) return Fail("cannot load the plug-in again");
    std::printf("reload: first at %p, then at %p\n", static_cast<void *>(first), static_cast<void *>(second));
    const int secondResult = PreviewFromMemory(second, image, &after);
    FreeLibrary(second);
    if (hold != nullptr) VirtualFree(hold, 0, MEM_RELEASE);
    std::printf("reload: GetPreview %d, then %d\n", firstResult, secondResult);
    if (hold == nullptr || second == first) return Fail("the plug-in could not be made to load elsewhere");
    if (firstResult != 0 || secondResult != 0) return Fail("a conversion failed");
    if (before != after) return Fail("the reloaded plug-in draws otherwise");
    std::printf("reload: equal pictures\n");
    return 0;
}

// The FileVersion and ProductVersion texts of a file's version resource.
int PrintVersionOf(const std::wstring &path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return Fail("the file has no version resource");
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return Fail("cannot read the version resource");
    struct Translation {
        WORD language;
        WORD codePage;
    } *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length) ||
        length < sizeof *translation) {
        return Fail("the version resource has no translation");
    }
    for (const wchar_t *name : {L"FileVersion", L"ProductVersion", L"OriginalFilename", L"ProductName"}) {
        wchar_t query[128];
        _snwprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->codePage, name);
        query[127] = 0;
        wchar_t *text = nullptr;
        if (VerQueryValueW(data.data(), query, reinterpret_cast<void **>(&text), &length) && text != nullptr) {
            std::printf("%s: %s\n", Narrow(name).c_str(), Narrow(text).c_str());
        }
    }
    return 0;
}

int Run(const std::vector<std::wstring> &args);

std::vector<std::wstring> SplitTabs(const std::wstring &line)
{
    std::vector<std::wstring> fields(1);
    for (wchar_t c : line) {
        if (c == L'\t') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

int Batch(const std::wstring &listPath)
{
    std::vector<unsigned char> bytes;
    if (!ReadInput(listPath, 0, &bytes)) return Fail("cannot read the batch list");
    bytes.push_back('\n');
    int failed = 0;
    std::string line;
    for (unsigned char c : bytes) {
        if (c != '\n' && c != '\r') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (line.empty()) continue;
        const int units = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
        std::wstring wide(units > 0 ? units : 1, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &wide[0], units);
        wide.resize(wcslen(wide.c_str()));
        line.clear();
        std::vector<std::wstring> fields = SplitTabs(wide);
        const std::wstring log = fields[0];
        fields[0] = L"spihost.exe";
        std::fflush(stdout);
        if (_wfreopen(log.c_str(), L"w", stdout) == nullptr) return Fail("cannot write a batch log");
        const int status = Run(fields);
        std::printf("status %d\n", status);
        std::fflush(stdout);
        failed += status != 0;
    }
    return failed == 0 ? 0 : 1;
}

int Run(const std::vector<std::wstring> &args)
{
    const int argc = static_cast<int>(args.size());
    std::vector<const wchar_t *> pointers;
    for (const std::wstring &arg : args) pointers.push_back(arg.c_str());
    const wchar_t *const *argv = pointers.data();
    if (argc == 5 && args[2] == L"--hygiene") return Hygiene(argv[1], argv[3], _wtoi(argv[4]));
    if (argc == 3 && args[1] == L"--version-of") return PrintVersionOf(args[2]);
    if (argc == 4 && args[2] == L"--reload") return Reload(args[1], args[3]);
    if (argc == 3 && args[1] == L"--batch") return Batch(args[2]);
    if (argc >= 4 && args[2] == L"--dialog") {
        return DriveConfigurationDialog(args[1], _wtoi(argv[3]),
                                        std::vector<std::wstring>(args.begin() + 4, args.end()));
    }
    if ((argc == 5 || argc == 6) && args[1] == L"--thumbnail") {
        return TakeThumbnail(args[2], static_cast<UINT>(_wtoi(argv[3])), args[4], argc == 6 ? args[5] : L"");
    }
    if ((argc == 4 || argc == 5) && args[1] == L"--preview-pane") {
        return PlayPreviewPane(args[2], args[3], argc == 5 ? args[4] : L"");
    }
    if (argc == 5 && args[1] == L"--preview-cycles") return PreviewCycles(args[2], args[3], _wtoi(argv[4]));
    if (argc == 6 && args[1] == L"--thumbnail-threads") {
        return TakeThumbnailsOnThreads(args[2], static_cast<UINT>(_wtoi(argv[3])), _wtoi(argv[4]), _wtoi(argv[5]));
    }
    if ((argc == 3 || argc == 4) && (args[1] == L"--register" || args[1] == L"--unregister")) {
        return RegisterServer(args[2], args[1] == L"--register", argc == 4 && args[3] == L"user");
    }
    if (argc >= 2 && args[1] == L"--registry")
        return SetRegistryValues(std::vector<std::wstring>(args.begin() + 2, args.end()));
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: spihost PLUGIN INPUT OUTPUT.bmp [--preview] [--offset N] [--repeat N] [--cancel-at N] "
                     "[--unicode] [--memory]\n");
        return 2;
    }
    const std::wstring pluginPath = argv[1];
    const std::wstring inputPath = argv[2];
    const std::string outputPath = Narrow(argv[3]);
    bool preview = false, unicode = false, memory = false;
    long long offset = 0;
    int repeat = 1;
    int cancelAt = -1;
    for (int i = 4; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--preview") {
            preview = true;
        } else if (arg == L"--unicode") {
            unicode = true;
        } else if (arg == L"--memory") {
            memory = true;
        } else if (arg == L"--offset" && i + 1 < argc) {
            offset = _wtoi64(argv[++i]);
        } else if (arg == L"--repeat" && i + 1 < argc) {
            repeat = _wtoi(argv[++i]);
        } else if (arg == L"--cancel-at" && i + 1 < argc) {
            cancelAt = _wtoi(argv[++i]);
        } else {
            return Fail("unknown option");
        }
    }
    const std::string inputAnsi = Narrow(inputPath);

    HMODULE plugin = LoadLibraryW(pluginPath.c_str());
    if (plugin == nullptr) return Fail("cannot load the plug-in");
    const LoadedPlugin loaded{plugin};
    auto getPluginInfo = Resolve<GetPluginInfoFn>(plugin, "GetPluginInfo");
    auto isSupported = Resolve<IsSupportedFn>(plugin, "IsSupported");
    auto getPictureInfo = Resolve<GetPictureInfoFn>(plugin, "GetPictureInfo");
    auto getPicture = Resolve<GetPictureFn>(plugin, "GetPicture");
    auto getPreview = Resolve<GetPictureFn>(plugin, "GetPreview");
    auto getPluginInfoW = Resolve<GetPluginInfoWFn>(plugin, "GetPluginInfoW");
    auto isSupportedW = Resolve<IsSupportedWFn>(plugin, "IsSupportedW");
    auto getPictureInfoW = Resolve<GetPictureInfoWFn>(plugin, "GetPictureInfoW");
    auto getPictureW = Resolve<GetPictureWFn>(plugin, "GetPictureW");
    auto getPreviewW = Resolve<GetPictureWFn>(plugin, "GetPreviewW");
    if (!getPluginInfo || !isSupported || !getPictureInfo || !getPicture || !getPreview) {
        return Fail("the plug-in lacks one of the five exports");
    }
    if (unicode && (!getPluginInfoW || !isSupportedW || !getPictureInfoW || !getPictureW || !getPreviewW)) {
        return Fail("the plug-in lacks one of the five Unicode exports");
    }

    std::printf("ConfigurationDlg %s\n", GetProcAddress(plugin, "ConfigurationDlg") != nullptr ? "present" : "missing");
    char text[256];
    WCHAR wideText[256];
    for (int i = 0; i < kInfoEntries; ++i) {
        if (unicode) {
            const int length = getPluginInfoW(i, wideText, 256);
            std::printf("info %d: %d \"%s\"\n", i, length, Narrow(wideText).c_str());
        } else {
            const int length = getPluginInfo(i, text, sizeof text);
            std::printf("info %d: %d \"%s\"\n", i, length, text);
        }
    }

    std::vector<unsigned char> image;
    if (!ReadInput(inputPath, offset, &image)) return Fail("cannot open the input");
    std::vector<unsigned char> head(kHeadBytes, 0);
    std::memcpy(head.data(), image.data(), image.size() < kHeadBytes ? image.size() : kHeadBytes);
    std::printf("read %u head bytes\n", static_cast<unsigned>(image.size() < kHeadBytes ? image.size() : kHeadBytes));
    const int supported =
        unicode ? isSupportedW(inputPath.c_str(), head.data()) : isSupported(inputAnsi.c_str(), head.data());
    std::printf("IsSupported %d\n", supported);

    // A memory image goes with flag 1 and its length; a file with flag 0 and the offset.
    const UINT flag = memory ? 1 : 0;
    const LONG_PTR lengthOrOffset = memory ? static_cast<LONG_PTR>(image.size()) : static_cast<LONG_PTR>(offset);
    const void *source = memory ? static_cast<const void *>(image.data())
                                : (unicode ? static_cast<const void *>(inputPath.c_str())
                                           : static_cast<const void *>(inputAnsi.c_str()));

    PictureInfo info;
    std::memset(&info, 0x7f, sizeof info);
    info.hInfo = kPresetHandle;
    const int infoResult = unicode ? getPictureInfoW(static_cast<LPCWSTR>(source), lengthOrOffset, flag, &info)
                                   : getPictureInfo(static_cast<LPCSTR>(source), lengthOrOffset, flag, &info);
    std::printf("GetPictureInfo %d width %ld height %ld depth %d\n", infoResult, static_cast<long>(info.width),
                static_cast<long>(info.height), info.colorDepth);
    if (infoResult == 0 && (info.hInfo != nullptr || info.left != 0 || info.top != 0 || info.colorDepth != 24)) {
        return Fail("PictureInfo fields are misplaced");
    }

    int status = supported && infoResult == 0 ? 0 : 1;
    std::vector<unsigned char> first;
    for (int attempt = 0; attempt < repeat; ++attempt) {
        Progress progress;
        progress.cancelAt = cancelAt;
        HLOCAL infoHandle = nullptr;
        HLOCAL bitsHandle = nullptr;
        const LONG_PTR data = reinterpret_cast<LONG_PTR>(&progress);
        int result;
        if (unicode) {
            GetPictureWFn convert = preview ? getPreviewW : getPictureW;
            result =
                convert(static_cast<LPCWSTR>(source), lengthOrOffset, flag, &infoHandle, &bitsHandle, OnProgress, data);
        } else {
            GetPictureFn convert = preview ? getPreview : getPicture;
            result =
                convert(static_cast<LPCSTR>(source), lengthOrOffset, flag, &infoHandle, &bitsHandle, OnProgress, data);
        }
        std::printf("%s %d\n", preview ? "GetPreview" : "GetPicture", result);
        if (result != 0) {
            if (result == 1 && infoHandle != nullptr) LocalFree(infoHandle);
            if (result == 1 && bitsHandle != nullptr) LocalFree(bitsHandle);
            return 1;
        }
        auto *header = static_cast<BITMAPINFOHEADER *>(LocalLock(infoHandle));
        auto *bits = static_cast<unsigned char *>(LocalLock(bitsHandle));
        if (header == nullptr || bits == nullptr) return Fail("cannot lock the returned blocks");
        const size_t stride = DibRowStride(static_cast<uint64_t>(header->biWidth), 3);
        const size_t imageSize = stride * static_cast<size_t>(header->biHeight);
        std::printf("header %ld x %ld, %d bits, compression %lu, blocks %u and %u bytes\n",
                    static_cast<long>(header->biWidth), static_cast<long>(header->biHeight), header->biBitCount,
                    static_cast<unsigned long>(header->biCompression), static_cast<unsigned>(LocalSize(infoHandle)),
                    static_cast<unsigned>(LocalSize(bitsHandle)));
        if (header->biSize != sizeof(BITMAPINFOHEADER) || header->biBitCount != 24 || header->biCompression != BI_RGB ||
            header->biPlanes != 1 || header->biHeight <= 0 || LocalSize(infoHandle) < sizeof(BITMAPINFOHEADER) ||
            LocalSize(bitsHandle) < imageSize) {
            return Fail("the returned header and blocks disagree");
        }
        if (!preview && infoResult == 0 && (header->biWidth != info.width || header->biHeight != info.height)) {
            return Fail("GetPictureInfo and GetPicture disagree on the size");
        }
        std::vector<unsigned char> pixels(bits, bits + imageSize);
        if (attempt == 0) {
            if (!WriteBmp(outputPath.c_str(), *header, bits, imageSize)) return Fail("cannot write the output");
            first = pixels;
        } else if (pixels != first) {
            status = Fail("a repeated conversion gave other pixels");
        }
        LocalUnlock(infoHandle);
        LocalUnlock(bitsHandle);
        if (LocalFree(infoHandle) != nullptr || LocalFree(bitsHandle) != nullptr) return Fail("LocalFree failed");
    }
    return status;
}

int main()
{
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return Fail("cannot read the command line");
    const std::vector<std::wstring> args(argv, argv + argc);
    LocalFree(argv);
    return Run(args);
}
