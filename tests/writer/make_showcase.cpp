// Writes the drawing bundled for the README's first command, and a figure
// beside it.
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
    if (!SaveFile(folder + "/showcase.jww", MakeShowcaseDrawing()) ||
        !SaveFile(folder + "/showcase.jws", MakeShowcaseFigure())) {
        std::fprintf(stderr, "make_showcase: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
