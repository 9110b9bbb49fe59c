// Writes the drawing bundled for the README's first command, a figure
// beside it, a drawing of a version the module does not read, one whose
// texts show its own file name and memo, and one to measure.
#include <cstdio>
#include <string>

#include "tests/writer/jw_writer.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_showcase FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    DrawingOptions version250;  // a version the module does not read: it shows its version line
    version250.version = 250;
    if (!SaveFile(folder + "/showcase.jww", MakeShowcaseDrawing()) ||
        !SaveFile(folder + "/showcase.jws", MakeShowcaseFigure()) ||
        !SaveFile(folder + "/version250.jww", MakeEmptyDrawing(version250)) ||
        !SaveFile(folder + "/macros.jww", MakeMacroDrawing()) ||
        !SaveFile(folder + "/measuring.jww", MakeMeasuringDrawing())) {
        std::fprintf(stderr, "make_showcase: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
