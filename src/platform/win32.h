// The one place the module gets its Win32 API from: the real <windows.h> on
// Windows, the portable subset in platform/portable elsewhere. Module code
// includes only this header and never tests _WIN32 itself.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "portable/win32_portable.h"
#endif
