// Writes the fuzz seed corpus with the test-side writer: every version's
// drawing, the showcase drawing and figure, and the macro drawing. The first
// byte of a seed chooses drawing (even) or figure (odd); the magic is added
// by the target, so it is left out here.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/writer/jw_writer.h"

namespace {

bool Seed(const std::string &folder, const std::string &name, const std::vector<uint8_t> &file, uint8_t kind)
{
    // The seed is the file from its eighth byte on, that byte replaced by the kind.
    std::vector<uint8_t> seed(file.begin() + 7, file.end());
    seed[0] = kind;
    return SaveFile(folder + "/" + name, seed);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = Seed(folder, "showcase", MakeShowcaseDrawing(), 0) && Seed(folder, "figure", MakeShowcaseFigure(), 1) &&
              Seed(folder, "macros", MakeMacroDrawing(), 2);
    for (uint32_t version : {230u, 300u, 351u, 420u, 600u, 700u}) {
        DrawingOptions options;
        options.version = version;
        ok = ok && Seed(folder, "empty" + std::to_string(version), MakeEmptyDrawing(options), 0);
    }
    return ok ? 0 : 1;
}
