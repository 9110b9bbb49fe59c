// plotmira: the native converter. A host of the library like any other: it
// opens each drawing through include/plotmira.h, draws the view the command
// line asks for (the whole sheet as the plug-in draws it, a region, a
// thumbnail) and writes it as PNG or BMP, PDF or SVG; or describes it.
// A file a command: render.cpp (batch.cpp for -d), thumbnail.cpp, info.cpp,
// settings.cpp; what they share in common.cpp.
#include <cstdio>
#include <exception>
#include <string>

#include "hosts/cli/commands.h"

using namespace plotmira_cli;

int main(int argc, char **argv)
{
    try {
        const std::string command = argc >= 2 ? argv[1] : "";
        if (command == "render") return Render(argc, argv);
        if (command == "thumbnail") return Thumbnail(argc, argv);
        if (command == "info") return Info(argc, argv);
        if (command == "settings") return Settings(argc, argv);
        if (command == "--help" || command == "-h") {
            std::printf("plotmira %s: pictures of Jw_cad drawings and figures\n\n%s", plotmira_version(), kUsage);
            return 0;
        }
        if (command == "--version") {
            std::printf("plotmira %s\n", plotmira_version());
            return 0;
        }
        return Usage(command.empty() ? "a command is needed" : ("unknown command " + command).c_str());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "plotmira: %s\n", e.what());
        return kExitFailed;
    }
}
