#include "render/text.h"

// Texts need the fonts of the platform layer, which the native build does
// not have yet: until they arrive a text draws nothing, on every platform,
// so that both builds keep drawing the same picture.
void DrawTextEntity(double x1, double y1, double x2, double y2, const char *fontName, double halfWidth,
                    double height, double halfSpacing, const char *text, uint16_t pen, uint16_t flags,
                    uint16_t layerGroup)
{
    (void)x1;
    (void)y1;
    (void)x2;
    (void)y2;
    (void)fontName;
    (void)halfWidth;
    (void)height;
    (void)halfSpacing;
    (void)text;
    (void)pen;
    (void)flags;
    (void)layerGroup;
}
