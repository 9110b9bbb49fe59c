// plotmira settings: the module's settings shown and set.
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

namespace {

void PrintWidth(const char *what, const char *name, bool present, uint32_t width, int32_t fallback,
                const char *fallbackText, const std::string &source)
{
    if (present && width != 0) {
        std::printf("%s (%s): %u, from %s\n", what, name, width, source.c_str());
    } else {
        std::printf("%s (%s): %d, default (%s)\n", what, name, fallback, fallbackText);
    }
}

void PrintSettings(const plotmira_settings &stored)
{
    const std::string source = stored.location != nullptr ? stored.location : "";
    PrintWidth("drawing width", "SIZE_JWW", stored.has_drawing_width, stored.drawing_width,
               stored.default_drawing_width, "the desktop's width", source);
    PrintWidth("figure width", "SIZE_JWS", stored.has_figure_width, stored.figure_width, stored.default_figure_width,
               "half the desktop's width", source);
    if (stored.has_reference_file && stored.reference_file != nullptr && stored.reference_file[0] != '\0') {
        std::printf("reference file (REF_FILE): %s, from %s\n", stored.reference_file, source.c_str());
    } else {
        std::printf("reference file (REF_FILE): none, default\n");
    }
}

}  // namespace

// settings [--drawing-width N] [--figure-width N] [--reference-file PATH]:
// every value is checked before any is written; "" removes a value.
int Settings(int argc, char **argv)
{
    // The texts' lengths first, then the texts into buffers of that size.
    // (again while they grow in between).
    plotmira_settings stored;
    plotmira_settings_init(&stored);
    std::vector<char> referenceFile, location;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (plotmira_settings_read(&stored) == PLOTMIRA_OK && stored.location != nullptr) break;
        referenceFile.assign(stored.reference_file_length + 1, '\0');
        location.assign(stored.location_length + 1, '\0');
        stored.reference_file = referenceFile.data();
        stored.reference_file_size = referenceFile.size();
        stored.location = location.data();
        stored.location_size = location.size();
    }
    std::string newReferenceFile;
    bool change = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc || (arg != "--drawing-width" && arg != "--figure-width" && arg != "--reference-file")) {
            return Usage(("settings: unknown option or missing value: " + arg).c_str());
        }
        const std::string value = argv[++i];
        change = true;
        if (arg == "--reference-file") {
            stored.has_reference_file = !value.empty();
            newReferenceFile = value;
            stored.reference_file = &newReferenceFile[0];
            stored.reference_file_size = newReferenceFile.size() + 1;
            continue;
        }
        const bool drawing = arg == "--drawing-width";
        uint32_t width = 0;
        if (!value.empty() && plotmira_settings_parse_width(value.c_str(), &width) != PLOTMIRA_OK) {
            return Refuse(arg + " takes a number of pixels from 300 to 5000, or \"\" for the default, not \"" + value +
                          "\"");
        }
        (drawing ? stored.has_drawing_width : stored.has_figure_width) = !value.empty();
        (drawing ? stored.drawing_width : stored.figure_width) = width;
    }
    if (change) {
        int bad = 0;
        const plotmira_status status = plotmira_settings_write(&stored, &bad);
        if (status == PLOTMIRA_ERR_SETTING && bad == PLOTMIRA_SETTING_REFERENCE_FILE) {
            return Refuse("--reference-file takes a name of at least two characters, or \"\" for none");
        }
        if (status != PLOTMIRA_OK) {
            std::fprintf(stderr, "plotmira: %s: the settings could not be written\n", stored.location);
            return kExitFailed;
        }
    }
    std::printf("registry file: %s\n", stored.location);
    PrintSettings(stored);
    return 0;
}

}  // namespace plotmira_cli
