// Small helpers the test host's parts share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// The whole input from the offset on, read by its UTF-16 name.
inline bool ReadInput(const std::wstring &path, long long offset, std::vector<unsigned char> *bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) != 0 && size.QuadPart >= offset;
    if (ok) {
        LARGE_INTEGER position;
        position.QuadPart = offset;
        ok = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
    }
    if (ok) {
        bytes->assign(static_cast<size_t>(size.QuadPart - offset), 0);
        DWORD got = 0;
        ok = bytes->empty() ||
             (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) && got == bytes->size());
    }
    CloseHandle(file);
    return ok;
}
