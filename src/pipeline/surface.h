// The off-screen drawing surface: a memory device context holding a 32-bit
// DIB section of the raster's size, filled with the background colour,
// created from the creation handler of a hidden window.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

constexpr char kSurfaceClassName[] = "grph01";

// The surface window's class name for this copy of the module: the name
// followed by an address inside it. The class belongs to the process, and a
// process may hold several copies (a viewer's plug-in and Explorer's
// thumbnail and preview DLL in its file dialog): with one name for all, a
// copy's window would be made by another copy's window procedure, its own
// surface never set up.
std::string SurfaceClassName();

struct RenderContext;  // render/render_context.h

// Registers the class (once a process may do it again: a class already
// there answers 0 and stays as it is).
ATOM RegisterSurfaceClass(HINSTANCE instance, const char *className);
// 1 when the window exists; its creation has then set up the render
// context's targetDc, surfaceBitmap, surfacePixels and surfaceError, the
// surface filled with the background colour.
int CreateSurfaceWindow(HINSTANCE instance, const char *className, int showCommand, RenderContext &rc,
                        COLORREF background);
LRESULT CALLBACK SurfaceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Deletes targetDc and surfaceBitmap where they still exist.
void ReleaseSurface(RenderContext &rc);
// Destroys the render's hidden window, releasing the surface with it.
void DestroySurfaceWindow(RenderContext &rc);
