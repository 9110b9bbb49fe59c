// Shared between the portable platform's own sources; not for module code.
#pragma once

#include <cstddef>

size_t LiveFileCount();
size_t LiveMemoryBlockCount();
size_t LiveGdiObjectCount();
size_t LiveWindowCount();
