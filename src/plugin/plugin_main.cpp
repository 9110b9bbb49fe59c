// Entry point of the Windows DLLs built on the module (the plug-ins and the
// thumbnail provider).
//
// The surface's window class is registered without an instance handle, so
// it belongs to the host process and outlives the plug-in: after a host
// unloads the plug-in and loads it again at another address, the class
// would still name the old, unmapped window procedure, and the next
// conversion would call into nothing. So the class goes with the DLL.
#include "pipeline/surface.h"

// The DLL's own handle: where its resources and its file name are found.
HINSTANCE pluginInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) pluginInstance = instance;
    // reserved is null when the host calls FreeLibrary; at process exit the
    // class goes with the process anyway.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) UnregisterClassA(SurfaceClassName().c_str(), nullptr);
    return TRUE;
}
