// Small helpers the test host's parts share.
#pragma once

#include <windows.h>

// GetProcAddress answers a generic function pointer; going through
// void (*)() converts it without a warning about incompatible types.
template <typename Function>
Function Resolve(HMODULE module, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

inline BOOL CALLBACK CountThreadWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int *>(count);
    return TRUE;
}

// The windows the calling thread owns.
inline int ThreadWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountThreadWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}
