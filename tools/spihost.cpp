// spihost: a small Windows host that calls an import plug-in the way image
// viewers do, checks what comes back and writes the picture as a BMP file.
//
//   spihost.exe PLUGIN INPUT OUTPUT.bmp [--preview] [--offset N] [--repeat N] [--cancel-at N]
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

constexpr size_t kHeadBytes = 2048;  // what viewers hand IsSupported
constexpr int kInfoEntries = 6;
// Some hosts preset hInfo so that a field written at the wrong offset shows.
const HLOCAL kPresetHandle = reinterpret_cast<HLOCAL>(static_cast<ULONG_PTR>(0x7f7f7f7f7f7f7f7fULL));

struct Progress {
    int calls = 0;
    int cancelAt = -1;  // answer "stop" on this call (0-based), -1 never
};

// GetProcAddress answers a generic function pointer; going through
// void (*)() converts it without a warning about incompatible types.
template <typename Function>
Function Resolve(HMODULE module, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

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

int Fail(const char *what)
{
    std::fprintf(stderr, "spihost: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: spihost PLUGIN INPUT OUTPUT.bmp [--preview] [--offset N] [--repeat N] [--cancel-at N]\n");
        return 2;
    }
    const char *pluginPath = argv[1];
    const char *inputPath = argv[2];
    const char *outputPath = argv[3];
    bool preview = false;
    long long offset = 0;
    int repeat = 1;
    int cancelAt = -1;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--preview") == 0) {
            preview = true;
        } else if (std::strcmp(argv[i], "--offset") == 0 && i + 1 < argc) {
            offset = std::atoll(argv[++i]);
        } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--cancel-at") == 0 && i + 1 < argc) {
            cancelAt = std::atoi(argv[++i]);
        } else {
            return Fail("unknown option");
        }
    }

    HMODULE plugin = LoadLibraryA(pluginPath);
    if (plugin == nullptr) return Fail("cannot load the plug-in");
    auto getPluginInfo = Resolve<GetPluginInfoFn>(plugin, "GetPluginInfo");
    auto isSupported = Resolve<IsSupportedFn>(plugin, "IsSupported");
    auto getPictureInfo = Resolve<GetPictureInfoFn>(plugin, "GetPictureInfo");
    auto getPicture = Resolve<GetPictureFn>(plugin, "GetPicture");
    auto getPreview = Resolve<GetPictureFn>(plugin, "GetPreview");
    if (!getPluginInfo || !isSupported || !getPictureInfo || !getPicture || !getPreview) {
        return Fail("the plug-in lacks one of the five exports");
    }

    char text[256];
    for (int i = 0; i < kInfoEntries; ++i) {
        const int length = getPluginInfo(i, text, sizeof text);
        std::printf("info %d: %d \"%s\"\n", i, length, text);
    }

    std::vector<unsigned char> head(kHeadBytes, 0);
    FILE *in = std::fopen(inputPath, "rb");
    if (in == nullptr) return Fail("cannot open the input");
    if (offset > 0) std::fseek(in, static_cast<long>(offset), SEEK_SET);
    const size_t headRead = std::fread(head.data(), 1, head.size(), in);
    std::fclose(in);
    std::printf("read %u head bytes\n", static_cast<unsigned>(headRead));
    const int supported = isSupported(inputPath, head.data());
    std::printf("IsSupported %d\n", supported);

    PictureInfo info;
    std::memset(&info, 0x7f, sizeof info);
    info.hInfo = kPresetHandle;
    const int infoResult = getPictureInfo(inputPath, static_cast<LONG_PTR>(offset), 0, &info);
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
        GetPictureFn convert = preview ? getPreview : getPicture;
        const int result = convert(inputPath, static_cast<LONG_PTR>(offset), 0, &infoHandle, &bitsHandle,
                                   OnProgress, reinterpret_cast<LONG_PTR>(&progress));
        std::printf("%s %d\n", preview ? "GetPreview" : "GetPicture", result);
        if (result != 0) {
            if (result == 1 && infoHandle != nullptr) LocalFree(infoHandle);
            if (result == 1 && bitsHandle != nullptr) LocalFree(bitsHandle);
            return 1;
        }
        auto *header = static_cast<BITMAPINFOHEADER *>(LocalLock(infoHandle));
        auto *bits = static_cast<unsigned char *>(LocalLock(bitsHandle));
        if (header == nullptr || bits == nullptr) return Fail("cannot lock the returned blocks");
        const size_t stride = (static_cast<size_t>(header->biWidth) * 3 + 3) & ~size_t{3};
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
            if (!WriteBmp(outputPath, *header, bits, imageSize)) return Fail("cannot write the output");
            first = pixels;
        } else if (pixels != first) {
            status = Fail("a repeated conversion gave other pixels");
        }
        LocalUnlock(infoHandle);
        LocalUnlock(bitsHandle);
        if (LocalFree(infoHandle) != nullptr || LocalFree(bitsHandle) != nullptr) return Fail("LocalFree failed");
    }
    FreeLibrary(plugin);
    return status;
}
