// Writes the drawing bundled for the README's first command.
#include <cstdio>

#include "tests/writer/jw_writer.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_showcase OUTPUT.jww\n");
        return 2;
    }
    DrawingOptions options;
    options.memo = "Plotmira showcase";
    if (!SaveFile(argv[1], MakeEmptyDrawing(options))) {
        std::fprintf(stderr, "make_showcase: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
