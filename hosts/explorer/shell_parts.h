// What the thumbnail provider and the preview handler of the shell DLL share.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <vector>

// This DLL, found by an address inside it.
HMODULE ThisModule();
// The whole stream, at most the module's input limit.
HRESULT ReadStream(IStream *stream, std::vector<unsigned char> *bytes);
// Live objects of the DLL, for DllCanUnloadNow.
void ObjectMade();
void ObjectGone();

// A new preview handler, asked for interface iid.
HRESULT CreatePreviewHandler(REFIID iid, void **object);
// Destroys the preview window class when the DLL goes.
void ForgetPreviewWindowClass();
