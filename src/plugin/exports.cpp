// The exports of the plug-in interface: the five of the ANSI interface and
// their UTF-16 twins, which hosts of the 64-bit edition prefer. Each holds
// the module lock while it uses the plug-in's carry-over from one request
// to the next, so that a host calling from several threads takes turns.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "plugin/module_api.h"
#include "pipeline/module_state.h"
#include "plugin/plugin_api.h"
#include "settings/paths.h"

namespace {

constexpr int kInfoEntryCount = 6;
// Information texts in code page 932.
const char kPluginInfo[kInfoEntryCount][32] = {
    "00IN",
    "JWW to DIB(ver1.2)",
    "*.JWS",
    "Jw_win \x90\x7d\x8c\x60\x83\x66\x81\x5b\x83\x5e(JWS)",  // Jw_win 図形データ(JWS)
    "*.JWW",
    "Jw_win \x90\x7d\x96\xca\x83\x66\x81\x5b\x83\x5e(JWW)",  // Jw_win 図面データ(JWW)
};
constexpr UINT kShiftJisCodePage = 932;

constexpr UINT kInputKindMask = 7;  // flag & 7 != 0: the source is a memory image

bool IsMemoryInput(UINT flag) { return (flag & kInputKindMask) != 0; }

// True when the value is a pointer rather than a small handle value; the
// mask is as wide as a pointer so 64-bit addresses are never mistaken.
bool IsPointerValue(ULONG_PTR value) { return (value & ~ULONG_PTR{0xFFFF}) != 0; }

// How the host named its file: ANSI text (opened as given) or UTF-16.
struct FileName {
    const char *ansi;
    const WCHAR *wide;
    std::string utf8;  // for detection by the name's ending
};

FileName AnsiName(const char *name) { return {name, nullptr, name != nullptr ? name : ""}; }
FileName WideName(const WCHAR *name) { return {nullptr, name, PathFromWide(name)}; }

HANDLE OpenForReading(const FileName &name)
{
    if (name.wide != nullptr) {
        return CreateFileW(name.wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    return CreateFileA(name.ansi, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Moves to a byte offset from the file's start; false when the position
// reached differs from the one asked for.
bool SeekTo(HANDLE file, LONG_PTR offset)
{
    if (offset < 0) return false;
    const uint64_t wanted = static_cast<uint64_t>(offset);
    LONG high = static_cast<LONG>(wanted >> 32);
    const DWORD low = SetFilePointer(file, static_cast<LONG>(wanted & 0xFFFFFFFFu), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && high == -1) return false;
    const uint64_t reached = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return reached == wanted;
}

bool FileSize(HANDLE file, uint64_t *size)
{
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && high == 0xFFFFFFFFu) return false;
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

int ConvertMemory(const unsigned char *image, LONG_PTR length, HLOCAL *infoOut, HLOCAL *bitsOut,
                  ProgressCallback progress, LONG_PTR userData, int preview)
{
    if (image == nullptr || length < static_cast<LONG_PTR>(kMinimumHeaderBytes)) return kResultUnknownFormat;
    if (static_cast<uint64_t>(length) > kMaxInputBytes) return kResultNoMemory;
    if (!DetectFormatByMagic(image)) return kResultUnknownFormat;
    NamelessConversion nameless;
    return BuildRaster(nullptr, image, static_cast<uint32_t>(length), infoOut, bitsOut, progress, userData, preview);
}

int ConvertFile(const FileName &name, LONG_PTR offset, HLOCAL *infoOut, HLOCAL *bitsOut, ProgressCallback progress,
                LONG_PTR userData, int preview)
{
    HANDLE file = OpenForReading(name);
    if (file == INVALID_HANDLE_VALUE) return kResultReadError;
    uint64_t fileSize = 0;
    if (!FileSize(file, &fileSize) || offset < 0) {
        CloseHandle(file);
        return kResultReadError;
    }
    const uint64_t start = static_cast<uint64_t>(offset);
    if (fileSize < start || fileSize - start < kMinimumHeaderBytes) {
        CloseHandle(file);
        return kResultUnknownFormat;
    }
    const uint64_t dataLength = fileSize - start;
    if (dataLength > kMaxInputBytes) {
        CloseHandle(file);
        return kResultNoMemory;
    }
    if (!SeekTo(file, offset)) {
        CloseHandle(file);
        return kResultReadError;
    }
    HLOCAL block = LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(dataLength));
    if (block == nullptr) {
        CloseHandle(file);
        return kResultNoMemory;
    }
    auto *image = static_cast<unsigned char *>(block);
    DWORD bytesRead = 0;
    const BOOL readOk = ReadFile(file, image, static_cast<DWORD>(dataLength), &bytesRead, nullptr);
    CloseHandle(file);
    if (!readOk || bytesRead != dataLength) {
        LocalFree(block);
        return kResultReadError;
    }
    int result = kResultUnknownFormat;
    if (DetectFormat(name.utf8.c_str(), image)) {
        result = BuildRaster(name.utf8.c_str(), image, static_cast<uint32_t>(dataLength), infoOut, bitsOut, progress,
                             userData, preview);
    }
    LocalFree(block);
    return result;
}

int Convert(const FileName &name, const void *source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoOut,
            HLOCAL *bitsOut, ProgressCallback progress, LONG_PTR userData, int preview)
{
    try {
        ModuleLock lock;
        if (source == nullptr || infoOut == nullptr || bitsOut == nullptr) return kResultUnknownFormat;
        if (IsMemoryInput(flag)) {
            return ConvertMemory(static_cast<const unsigned char *>(source), lengthOrOffset, infoOut, bitsOut, progress,
                                 userData, preview);
        }
        return ConvertFile(name, lengthOrOffset, infoOut, bitsOut, progress, userData, preview);
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}

void FillPictureInfo(PictureInfo *info)
{
    const RasterSize size = PluginRasterSize(0, Request().source.isFigure);
    info->left = 0;
    info->top = 0;
    info->width = size.width;
    info->height = size.height;
    info->xDensity = 0;
    info->yDensity = 0;
    info->colorDepth = static_cast<SHORT>(size.bitCount);
    info->hInfo = nullptr;
}

int PictureInfoOf(const FileName &name, const void *source, LONG_PTR lengthOrOffset, UINT flag, PictureInfo *info)
{
    try {
        ModuleLock lock;
        if (source == nullptr || info == nullptr) return kResultUnknownFormat;
        if (IsMemoryInput(flag)) {
            if (lengthOrOffset < static_cast<LONG_PTR>(kMinimumHeaderBytes)) return kResultUnknownFormat;
            if (!DetectFormatByMagic(static_cast<const unsigned char *>(source))) return kResultUnknownFormat;
            FillPictureInfo(info);
            return kResultSuccess;
        }
        HANDLE file = OpenForReading(name);
        if (file == INVALID_HANDLE_VALUE) return kResultReadError;
        if (!SeekTo(file, lengthOrOffset)) {
            CloseHandle(file);
            return kResultReadError;
        }
        unsigned char head[kMinimumHeaderBytes] = {};
        DWORD got = 0;
        const BOOL readOk = ReadFile(file, head, kMinimumHeaderBytes, &got, nullptr);
        CloseHandle(file);
        if (!readOk) return kResultReadError;
        if (got < kMinimumHeaderBytes) return kResultUnknownFormat;
        if (!DetectFormat(name.utf8.c_str(), head)) return kResultUnknownFormat;
        FillPictureInfo(info);
        return kResultSuccess;
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}

int Supported(const char *ansiName, const WCHAR *wideName, SupportedData data)
{
    try {
        ModuleLock lock;
        std::string name;
        if (ansiName != nullptr || wideName != nullptr) {
            name = wideName != nullptr ? PathFromWide(wideName) : PathFromAnsi(ansiName);
            Request().source.path = name;
        }
        const ULONG_PTR value = (ULONG_PTR)data;
        unsigned char head[kMinimumHeaderBytes] = {};
        const unsigned char *bytes = nullptr;
        if (!IsPointerValue(value)) {
            DWORD got = 0;
            if (!ReadFile(reinterpret_cast<HANDLE>(value), head, kMinimumHeaderBytes, &got, nullptr)) return 0;
            if (got < static_cast<DWORD>(kMagicLength)) return 0;
            bytes = head;
        } else {
            bytes = reinterpret_cast<const unsigned char *>(value);
        }
        if (ansiName == nullptr && wideName == nullptr) return DetectFormat(nullptr, bytes) ? 1 : 0;
        return DetectFormat(name.c_str(), bytes) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" {

PLOTMIRA_EXPORT int WINAPI GetPluginInfo(int infoNumber, LPSTR buffer, int bufferLength)
{
    if (infoNumber < 0 || infoNumber >= kInfoEntryCount) return 0;
    if (buffer == nullptr || bufferLength <= 0) return 0;
    lstrcpynA(buffer, kPluginInfo[infoNumber], bufferLength);
    return static_cast<int>(std::strlen(buffer));
}

PLOTMIRA_EXPORT int WINAPI GetPluginInfoW(int infoNumber, LPWSTR buffer, int bufferLength)
{
    if (infoNumber < 0 || infoNumber >= kInfoEntryCount) return 0;
    if (buffer == nullptr || bufferLength <= 0) return 0;
    WCHAR text[64] = {};
    const char *ansi = kPluginInfo[infoNumber];
    const int units = MultiByteToWideChar(kShiftJisCodePage, 0, ansi, static_cast<int>(std::strlen(ansi)), text, 63);
    // Truncated to bufferLength - 1 units and always terminated, as the ANSI twin.
    const int copied = units < bufferLength - 1 ? units : bufferLength - 1;
    for (int i = 0; i < copied; ++i) buffer[i] = text[i];
    buffer[copied > 0 ? copied : 0] = 0;
    return copied > 0 ? copied : 0;
}

PLOTMIRA_EXPORT int WINAPI IsSupported(LPCSTR fileName, SupportedData data)
{
    return Supported(fileName, nullptr, data);
}

PLOTMIRA_EXPORT int WINAPI IsSupportedW(LPCWSTR fileName, SupportedData data)
{
    return Supported(nullptr, fileName, data);
}

PLOTMIRA_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, PictureInfo *info)
{
    return PictureInfoOf(AnsiName(IsMemoryInput(flag) ? nullptr : source), source, lengthOrOffset, flag, info);
}

PLOTMIRA_EXPORT int WINAPI GetPictureInfoW(LPCWSTR source, LONG_PTR lengthOrOffset, UINT flag, PictureInfo *info)
{
    return PictureInfoOf(IsMemoryInput(flag) ? AnsiName(nullptr) : WideName(source), source, lengthOrOffset, flag,
                         info);
}

PLOTMIRA_EXPORT int WINAPI GetPicture(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                      HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData)
{
    return Convert(AnsiName(IsMemoryInput(flag) ? nullptr : source), source, lengthOrOffset, flag, infoHandleOut,
                   bitsHandleOut, progress, userData, 0);
}

PLOTMIRA_EXPORT int WINAPI GetPictureW(LPCWSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                       HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData)
{
    return Convert(IsMemoryInput(flag) ? AnsiName(nullptr) : WideName(source), source, lengthOrOffset, flag,
                   infoHandleOut, bitsHandleOut, progress, userData, 0);
}

PLOTMIRA_EXPORT int WINAPI GetPreview(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                      HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData)
{
    return Convert(AnsiName(IsMemoryInput(flag) ? nullptr : source), source, lengthOrOffset, flag, infoHandleOut,
                   bitsHandleOut, progress, userData, 1);
}

PLOTMIRA_EXPORT int WINAPI GetPreviewW(LPCWSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                       HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData)
{
    return Convert(IsMemoryInput(flag) ? AnsiName(nullptr) : WideName(source), source, lengthOrOffset, flag,
                   infoHandleOut, bitsHandleOut, progress, userData, 1);
}

}  // extern "C"
