// Scene drivers: draw a whole drawing or figure into the render context.
#pragma once

void DrawDrawingScene();
void DrawFigureScene();
