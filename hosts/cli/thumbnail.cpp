// plotmira thumbnail: a freedesktop thumbnailer's picture.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hosts/cli/commands.h"

namespace plotmira_cli {

// thumbnail -s SIZE INPUT OUTPUT: the freedesktop thumbnailer's call. The
// picture is drawn at SIZE pixels wide (its longer edge), not scaled down.
int Thumbnail(int argc, char **argv)
{
    int32_t size = 0;
    std::vector<std::string> paths;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-s" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], kMinThumbnail, kMaxThumbnail, &size)) {
                return Refuse("-s takes a size in pixels from 16 to 5000, not \"" + std::string(argv[i]) + "\"");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            paths.push_back(arg);
        }
    }
    if (size == 0 || paths.size() != 2) return Usage("thumbnail needs -s SIZE, an input and an output");
    PictureRequest request;
    plotmira_view_init(&request.layers, 1, 1);
    request.width = size;
    Picture picture;
    std::string message;
    std::string error;
    if (!ConvertOne(paths[0], request, &picture, &message)) {
        std::fprintf(stderr, "plotmira: %s\n", message.c_str());
        return kExitFailed;
    }
    if (!WritePng(paths[1], picture.dib, &error)) {
        std::fprintf(stderr, "plotmira: %s: %s\n", paths[1].c_str(), error.c_str());
        return kExitFailed;
    }
    return 0;
}

}  // namespace plotmira_cli
