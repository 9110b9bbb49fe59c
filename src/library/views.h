// The library's views: checking what a caller asks for, placing it on the
// document in place (pens, layers, the transform onto the canvas and the
// raster's cut of it), and handing the pixels over in the caller's format.
#pragma once

#include <cstddef>
#include <cstring>

#include "library/documents.h"
#include "plotmira.h"

// A caller's struct over this library's defaults in `taken`: a caller built
// against an older header hands a smaller one, and the fields past its size
// keep their defaults; one smaller than `smallest`, or larger than this
// library's (a newer header's), is refused.
template <typename Struct>
bool TakeSized(const Struct *given, Struct *taken, size_t smallest)
{
    if (given == nullptr || given->struct_size < smallest || given->struct_size > sizeof *taken) return false;
    std::memcpy(static_cast<void *>(taken), given, given->struct_size);
    taken->struct_size = sizeof *taken;
    return true;
}

// A field of a caller's enumeration type as the int it holds, whatever the
// caller put there (no C++ load of an out-of-range enumerator).
template <typename Enum>
int RawValue(const Enum &field)
{
    static_assert(sizeof(Enum) == sizeof(int), "the header's enumerations are as wide as an int");
    int value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// The caller's view, grown to this library's size (fields it does not know
// are zero). PLOTMIRA_ERR_ARGUMENT when its size is too small to hold a view.
plotmira_status TakeView(const plotmira_view *given, plotmira_view *view);
// Checks the view against the limits and the document.
plotmira_status CheckView(const plotmira_view &view, const plotmira_document &doc);
// Checks the image for a picture of width x height; answers its stride.
plotmira_status CheckImage(const plotmira_image *image, int32_t width, int32_t height, size_t *stride);

// Sets a walk of the document up for the view: pens, layer states, the
// transform, the raster's size and origin, the cancel callback.
void PlaceView(const plotmira_view &view, const plotmira_document &doc, SceneWalk &walk);

// Copies the surface (32-bit rows, the bottom row first) into the image.
void CopySurfacePixels(const void *surface, int32_t width, int32_t height, const plotmira_image &image, size_t stride);
