// The test host's side of Explorer's thumbnails (thumbnail_client.cpp).
#pragma once

#include <windows.h>

#include <string>

// One thumbnail of INPUT at SIZE, written as a BMP; directDll names the DLL
// to create the provider from without the registry. Prints the HRESULT.
int TakeThumbnail(const std::wstring &input, UINT size, const std::wstring &output, const std::wstring &directDll);
// THREADS threads, each in its own apartment, COUNT thumbnails each; all
// must equal the first, and leave no window behind. The marks "hygiene
// start" and "hygiene end" frame them for Wine's +gdi trace.
int TakeThumbnailsOnThreads(const std::wstring &input, UINT size, int threads, int count);
// DllRegisterServer / DllUnregisterServer, or DllInstall(…, "user").
int RegisterServer(const std::wstring &dll, bool install, bool perUser);
