// gdi_runner CASES OUTDIR: replays every case of the file and writes
// OUTDIR/NAME.bmp per case and OUTDIR/dda.txt with the LineDDA points.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/gdi/gdi_cases.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: gdi_runner CASES OUTDIR\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string out = argv[2];
    std::ofstream dda(out + "/dda.txt", std::ios::binary);
    int failures = 0;
    for (const GdiCase &c : ParseGdiCases(text.str())) {
        const GdiCaseResult result = RunGdiCase(c);
        if (!result.ok || !WriteCaseBmp(out + "/" + c.name + ".bmp", c, result)) {
            std::fprintf(stderr, "gdi_runner: case %s failed\n", c.name.c_str());
            ++failures;
        }
        if (!result.ddaPoints.empty()) dda << c.name << ":" << result.ddaPoints << "\n";
    }
    return failures == 0 ? 0 : 1;
}
