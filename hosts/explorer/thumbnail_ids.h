// Identifiers of the thumbnail provider, shared by the DLL and the test host.
#pragma once

#include <windows.h>

// The provider's class: {3F0B8E51-6C2D-4A7B-9E14-52D8C1A7B640}.
static const CLSID kThumbnailProviderClassId = {
    0x3f0b8e51, 0x6c2d, 0x4a7b, {0x9e, 0x14, 0x52, 0xd8, 0xc1, 0xa7, 0xb6, 0x40}};
// The interfaces Explorer asks for (spelt out: not every import library has them).
static const IID kIidThumbnailProvider = {0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
static const IID kIidInitializeWithStream = {
    0xb824b49d, 0x22ac, 0x4161, {0xac, 0x8a, 0x99, 0x16, 0xe8, 0xfa, 0x3f, 0x7f}};
// The key under an extension's ShellEx that names its thumbnail handler: the
// interface's own identifier.
static const wchar_t kThumbnailHandlerKey[] = L"{e357fccd-a995-4576-b01f-234630154e96}";
