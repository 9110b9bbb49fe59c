// Scene drivers: draw a whole drawing or figure through the render
// context's device, in the view its transform already holds (the callers
// set it up: FitToRaster and the view setup, or a library view).
#pragma once

void DrawDrawingScene();
void DrawFigureScene();
