#include "settings/drawing_source.h"

std::string drawingPath;
uint32_t isFigureFile = 0;
char nameExtension[4] = {0, 0, 0, 0};
