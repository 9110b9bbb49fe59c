// The five exports of the plug-in interface.
#include <cstring>
#include <new>

#include "host/conversion_driver.h"
#include "host/detection.h"
#include "host/plugin_api.h"

namespace {

constexpr int kInfoEntryCount = 6;
// Information texts in code page 932.
const char *const kPluginInfo[kInfoEntryCount] = {
    "00IN",
    "JWW to DIB(ver1.2)",
    "*.JWS",
    "Jw_win \x90\x7d\x8c\x60\x83\x66\x81\x5b\x83\x5e(JWS)",  // Jw_win 図形データ(JWS)
    "*.JWW",
    "Jw_win \x90\x7d\x96\xca\x83\x66\x81\x5b\x83\x5e(JWW)",  // Jw_win 図面データ(JWW)
};

constexpr UINT kInputKindMask = 7;  // flag & 7 != 0: the source is a memory image
// Larger inputs are refused as out of memory: the store takes several times
// the input's size.
constexpr uint64_t kMaxInputBytes = uint64_t{256} << 20;

bool IsMemoryInput(UINT flag) { return (flag & kInputKindMask) != 0; }

// True when the value is a pointer rather than a small handle value; the
// mask is as wide as a pointer so 64-bit addresses are never mistaken.
bool IsPointerValue(ULONG_PTR value) { return (value & ~ULONG_PTR{0xFFFF}) != 0; }

HANDLE OpenForReading(LPCSTR name)
{
    return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
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

int ConvertPicture(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoOut,
                   HLOCAL *bitsOut, ProgressCallback progress, LONG_PTR userData, int preview)
{
    if (source == nullptr || infoOut == nullptr || bitsOut == nullptr) return kResultUnknownFormat;
    if (IsMemoryInput(flag)) {
        // A memory image carries no name, and detection needs one.
        return kResultUnknownFormat;
    }

    HANDLE file = OpenForReading(source);
    if (file == INVALID_HANDLE_VALUE) return kResultReadError;
    uint64_t fileSize = 0;
    if (!FileSize(file, &fileSize) || lengthOrOffset < 0) {
        CloseHandle(file);
        return kResultReadError;
    }
    const uint64_t offset = static_cast<uint64_t>(lengthOrOffset);
    if (fileSize < offset || fileSize - offset < kMinimumHeaderBytes) {
        CloseHandle(file);
        return kResultUnknownFormat;
    }
    const uint64_t dataLength = fileSize - offset;
    if (dataLength > kMaxInputBytes) {
        CloseHandle(file);
        return kResultNoMemory;
    }
    if (!SeekTo(file, lengthOrOffset)) {
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
    if (DetectFormat(source, image)) {
        result = BuildRaster(source, image, static_cast<uint32_t>(dataLength), infoOut, bitsOut,
                             progress, userData, preview);
    }
    LocalFree(block);
    return result;
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

PLOTMIRA_EXPORT int WINAPI IsSupported(LPCSTR fileName, SupportedData data)
{
    try {
        if (fileName != nullptr) drawingPath = fileName;
        const ULONG_PTR value = (ULONG_PTR)data;
        unsigned char head[kMinimumHeaderBytes] = {};
        const unsigned char *bytes = nullptr;
        if (!IsPointerValue(value)) {
            DWORD got = 0;
            if (!ReadFile(reinterpret_cast<HANDLE>(value), head, kMinimumHeaderBytes, &got, nullptr)) {
                return 0;
            }
            if (got < static_cast<DWORD>(kMagicLength)) return 0;
            bytes = head;
        } else {
            bytes = reinterpret_cast<const unsigned char *>(value);
        }
        return DetectFormat(fileName, bytes) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

PLOTMIRA_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag,
                                          PictureInfo *info)
{
    try {
        if (source == nullptr || info == nullptr) return kResultUnknownFormat;
        if (IsMemoryInput(flag)) return kResultUnknownFormat;
        HANDLE file = OpenForReading(source);
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
        if (!DetectFormat(source, head)) return kResultUnknownFormat;

        const RasterSize size = ComputeRasterSize(0);
        info->left = 0;
        info->top = 0;
        info->width = size.width;
        info->height = size.height;
        info->xDensity = 0;
        info->yDensity = 0;
        info->colorDepth = static_cast<SHORT>(size.bitCount);
        info->hInfo = nullptr;
        return kResultSuccess;
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}

PLOTMIRA_EXPORT int WINAPI GetPicture(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag,
                                      HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                      ProgressCallback progress, LONG_PTR userData)
{
    try {
        return ConvertPicture(source, lengthOrOffset, flag, infoHandleOut, bitsHandleOut, progress,
                              userData, 0);
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}

PLOTMIRA_EXPORT int WINAPI GetPreview(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag,
                                      HLOCAL *infoHandleOut, HLOCAL *bitsHandleOut,
                                      ProgressCallback progress, LONG_PTR userData)
{
    try {
        return ConvertPicture(source, lengthOrOffset, flag, infoHandleOut, bitsHandleOut, progress,
                              userData, 1);
    } catch (const std::bad_alloc &) {
        return kResultNoMemory;
    } catch (...) {
        return kResultInternalError;
    }
}

}  // extern "C"
