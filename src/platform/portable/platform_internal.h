// Shared between the portable platform's own sources; not for module code.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32.h"

size_t LiveFileCount();
size_t LiveMemoryBlockCount();
size_t LiveGdiObjectCount();
size_t LiveWindowCount();

// UTF-16 to UTF-8, the native build's narrow text (text.cpp).
std::string Utf16ToUtf8Text(const WCHAR *wide, size_t units);
// The POSIX descriptor behind a file handle, or -1 (files.cpp).
int DescriptorOfHandle(HANDLE handle);
