// The binary contract with the host viewer: the five exports, their argument
// types on both pointer widths, the PictureInfo record and the result codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

#ifdef _WIN32
#define PLOTMIRA_EXPORT
#else
#define PLOTMIRA_EXPORT __attribute__((visibility("default")))
#endif

// Result codes of the plug-in interface.
constexpr int kResultNotImplemented = -1;
constexpr int kResultSuccess = 0;
constexpr int kResultCancelled = 1;
constexpr int kResultUnknownFormat = 2;
constexpr int kResultBrokenData = 3;
constexpr int kResultNoMemory = 4;
constexpr int kResultMemoryError = 5;
constexpr int kResultReadError = 6;
constexpr int kResultInternalError = 8;

// Host's progress callback; a nonzero answer asks the module to stop.
typedef int(WINAPI *ProgressCallback)(int numerator, int denominator, LONG_PTR userData);

#if UINTPTR_MAX > 0xFFFFFFFFu
// 64-bit hosts pass a pointer to the first bytes; the handle form is gone.
typedef const void *SupportedData;
#else
// 32-bit hosts pass a pointer, or a file handle when the upper 16 bits are 0.
typedef DWORD SupportedData;
#endif

#pragma pack(push, 1)
struct PictureInfo {
    LONG left;
    LONG top;
    LONG width;
    LONG height;
    WORD xDensity;
    WORD yDensity;
    SHORT colorDepth;
#if UINTPTR_MAX > 0xFFFFFFFFu
    char dummy[2];  // the 64-bit edition aligns hInfo to 8 within the packed record
#endif
    HLOCAL hInfo;
};
#pragma pack(pop)

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(PictureInfo) == 32, "64-bit PictureInfo is 32 bytes");
static_assert(offsetof(PictureInfo, hInfo) == 24, "64-bit hInfo sits at offset 24");
#else
static_assert(sizeof(PictureInfo) == 26, "32-bit PictureInfo is 26 bytes");
static_assert(offsetof(PictureInfo, hInfo) == 22, "32-bit hInfo sits at offset 22");
#endif

extern "C" {
PLOTMIRA_EXPORT int WINAPI GetPluginInfo(int infoNumber, LPSTR buffer, int bufferLength);
PLOTMIRA_EXPORT int WINAPI IsSupported(LPCSTR fileName, SupportedData data);
PLOTMIRA_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, PictureInfo *info);
PLOTMIRA_EXPORT int WINAPI GetPicture(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                      HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData);
PLOTMIRA_EXPORT int WINAPI GetPreview(LPCSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                      HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData);

// The UTF-16 twins: the same behaviour, with file names in UTF-16.
PLOTMIRA_EXPORT int WINAPI GetPluginInfoW(int infoNumber, LPWSTR buffer, int bufferLength);
PLOTMIRA_EXPORT int WINAPI IsSupportedW(LPCWSTR fileName, SupportedData data);
PLOTMIRA_EXPORT int WINAPI GetPictureInfoW(LPCWSTR source, LONG_PTR lengthOrOffset, UINT flag, PictureInfo *info);
PLOTMIRA_EXPORT int WINAPI GetPictureW(LPCWSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                       HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData);
PLOTMIRA_EXPORT int WINAPI GetPreviewW(LPCWSTR source, LONG_PTR lengthOrOffset, UINT flag, HLOCAL *infoHandleOut,
                                       HLOCAL *bitsHandleOut, ProgressCallback progress, LONG_PTR userData);
}
