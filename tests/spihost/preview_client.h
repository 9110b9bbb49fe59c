// The test host's side of Explorer's preview pane (preview_client.cpp).
#pragma once

#include <string>

// Plays the preview pane with the handler of DLL on INPUT: fitted at two
// sizes, zoomed by the wheel, moved by a drag, each picture compared with
// the library's own (from the plug-in SPH) at that view; then unloaded.
// With SPH empty, INPUT is a file the handler cannot show: its window must
// show a message. Prints a line per step; 0 when all held.
int PlayPreviewPane(const std::wstring &input, const std::wstring &dll, const std::wstring &sph);
// COUNT previews made and unloaded, framed by the marks "hygiene start" and
// "hygiene end" for Wine's +gdi trace; no window may be left.
int PreviewCycles(const std::wstring &input, const std::wstring &dll, int count);
