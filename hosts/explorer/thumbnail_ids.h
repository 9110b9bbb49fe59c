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

// The preview handler's class: {3F0B8E52-6C2D-4A7B-9E14-52D8C1A7B640}.
static const CLSID kPreviewHandlerClassId = {
    0x3f0b8e52, 0x6c2d, 0x4a7b, {0x9e, 0x14, 0x52, 0xd8, 0xc1, 0xa7, 0xb6, 0x40}};
static const IID kIidPreviewHandler = {0x8895b1c6, 0xb41f, 0x4c1c, {0xa5, 0x62, 0x0d, 0x56, 0x42, 0x50, 0x83, 0x6f}};
// The key under an extension's ShellEx that names its preview handler.
static const wchar_t kPreviewHandlerKey[] = L"{8895b1c6-b41f-4c1c-a562-0d564250836f}";
