// Readers of the two document kinds. Both parse the file image the host
// handed over (already read from its offset) and fill the drawing store.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxRegisteredViews = 8;

// DocumentSettings kept from a drawing's header for the renderer.
extern uint32_t fileVersion;
extern uint32_t paperSize;
extern uint32_t drawSolidsFirst;
extern uint32_t usePrintColors;
extern double viewZoom[kMaxRegisteredViews + 1];
extern double viewOriginX[kMaxRegisteredViews + 1];
extern double viewOriginY[kMaxRegisteredViews + 1];

// Figure header values.
extern double extentMinX, extentMinY, extentMaxX, extentMaxY;
extern double figureRefX, figureRefY;

// −1 when the data is unreadable; 1..4 the registered view to use in print
// mode; any other value means no view.
int ReadDrawingFile(const unsigned char *data, size_t length);
// −1 when the data is unreadable, otherwise 0.
int ReadFigureFile(const unsigned char *data, size_t length);
