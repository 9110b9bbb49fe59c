// plotmira render: one picture, or PDF pages and an SVG picture.
#include <unistd.h>

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

// Inputs to one PDF of a page each (or one SVG), written beside the output
// and renamed over it once whole. An input that cannot be read is reported
// and left out; the file holds the others.
int RenderVector(const std::vector<std::string> &inputs, const std::string &output, const PictureRequest &request)
{
    std::vector<std::unique_ptr<Document>> docs;
    int status = 0;
    for (const std::string &input : inputs) {
        auto doc = std::make_unique<Document>();
        const plotmira_status opened = doc->Open(input);
        if (opened != PLOTMIRA_OK || !doc->Info().version_drawn) {
            const plotmira_status why = opened != PLOTMIRA_OK ? opened : PLOTMIRA_ERR_VERSION;
            std::fprintf(stderr, "plotmira: %s\n", Failure(input, why, &doc->Info()).c_str());
            status = kExitFailed;
            continue;
        }
        docs.push_back(std::move(doc));
    }
    if (docs.empty()) return kExitFailed;
    plotmira_vector_options options;
    plotmira_vector_options_init(&options);
    options.pens = request.print ? PLOTMIRA_PENS_PRINT : PLOTMIRA_PENS_SCREEN;
    options.hide_groups = request.layers.hide_groups;
    std::memcpy(options.hide_layers, request.layers.hide_layers, sizeof options.hide_layers);
    if (request.hasRegion) {
        options.use_region = 1;
        std::memcpy(options.region, request.region, sizeof options.region);
    }
    const std::string part = output + ".part";
    FILE *file = std::fopen(part.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "plotmira: %s: %s\n", output.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    std::vector<plotmira_document *> pages;
    for (const auto &doc : docs) pages.push_back(doc->Get());
    const plotmira_status written =
        FormatOfOutput(output) == ImageFormat::kSvg
            ? plotmira_render_vector(pages[0], PLOTMIRA_VECTOR_SVG, &options, WriteToFile, file)
            : plotmira_render_pdf_pages(pages.data(), pages.size(), &options, WriteToFile, file);
    const bool closed = std::fclose(file) == 0;
    if (written != PLOTMIRA_OK || !closed || std::rename(part.c_str(), output.c_str()) != 0) {
        const int error = errno;
        std::remove(part.c_str());
        std::fprintf(stderr, "plotmira: %s: %s\n", output.c_str(),
                     written != PLOTMIRA_OK ? plotmira_strerror(written) : std::strerror(error));
        return kExitFailed;
    }
    return status;
}

}  // namespace

int Render(int argc, char **argv)
{
    std::vector<std::string> inputs;
    std::string output;
    std::string directory;
    PictureRequest request;
    plotmira_view_init(&request.layers, 1, 1);
    int32_t jobs = static_cast<int32_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    bool dxfVersionGiven = false, formatGiven = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == "-d" && i + 1 < argc) {
            directory = argv[++i];
        } else if (arg == "--preview") {
            request.preview = true;
        } else if (arg == "--print") {
            request.print = true;
        } else if (arg == "-j" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 1, kMaxJobs, &jobs)) {
                return Refuse("-j takes a number of worker processes from 1 to " + std::to_string(kMaxJobs) +
                              ", not \"" + std::string(argv[i]) + "\"");
            }
        } else if (arg == "--width" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], PLOTMIRA_MIN_SETTING_WIDTH, PLOTMIRA_MAX_SETTING_WIDTH, &request.width)) {
                return Refuse("--width takes a number of pixels from 300 to 5000, not \"" + std::string(argv[i]) +
                              "\"");
            }
        } else if (arg == "--region" && i + 1 < argc) {
            if (!ParseRegion(argv[++i], request.region)) {
                return Refuse(
                    "--region takes X0,Y0,X1,Y1 in millimetres, a rectangle of some width and height, not \"" +
                    std::string(argv[i]) + "\"");
            }
            request.hasRegion = true;
        } else if (arg == "--dxf-version" && i + 1 < argc) {
            const std::string v = argv[++i];
            if (v == "2018") {
                request.dxfVersion = PLOTMIRA_DXF_2018;
            } else if (v == "2000") {
                request.dxfVersion = PLOTMIRA_DXF_2000;
            } else if (v == "R12" || v == "r12") {
                request.dxfVersion = PLOTMIRA_DXF_R12;
            } else {
                return Refuse("--dxf-version takes 2018, 2000 or R12, not \"" + v + "\"");
            }
            dxfVersionGiven = true;
        } else if (arg == "--format" && i + 1 < argc) {
            const std::string f = argv[++i];
            request.batchFormat = f == "png"   ? ImageFormat::kPng
                                  : f == "bmp" ? ImageFormat::kBmp
                                  : f == "dxf" ? ImageFormat::kDxf
                                               : ImageFormat::kUnknown;
            if (request.batchFormat == ImageFormat::kUnknown) {
                return Refuse("--format takes png, bmp or dxf, not \"" + f + "\"");
            }
            formatGiven = true;
        } else if (arg == "--hide-layer" && i + 1 < argc) {
            if (!ParseLayer(argv[++i], &request.layers)) {
                return Refuse("--hide-layer takes a layer group G or a layer G:L, each 0 to 15, not \"" +
                              std::string(argv[i]) + "\"");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            inputs.push_back(arg);
        }
    }
    const ImageFormat format = output.empty() ? ImageFormat::kPng : FormatOfOutput(output);
    const bool vector = format == ImageFormat::kPdf || format == ImageFormat::kSvg;
    if (inputs.empty() || (output.empty() == directory.empty()) ||
        (!output.empty() && inputs.size() != 1 && format != ImageFormat::kPdf)) {
        return Usage("render needs one input with -o (several with a .pdf), or inputs with -d");
    }
    if (format == ImageFormat::kUnknown) {
        return Refuse(output +
                      ": the output must end in .png, .bmp, .pdf, .svg or .dxf (or be - for PNG on standard output)");
    }
    if (vector && (request.preview || request.width != 0)) {
        return Refuse("--preview and --width size pictures; a PDF or SVG has the sheet's own size");
    }
    if (formatGiven && directory.empty()) return Refuse("--format is for -d; with -o the output's extension says it");
    const bool dxf = format == ImageFormat::kDxf || (!directory.empty() && request.batchFormat == ImageFormat::kDxf);
    if (dxfVersionGiven && !dxf) return Refuse("--dxf-version is for DXF output");
    if (dxf && (request.preview || request.width != 0 || request.hasRegion)) {
        return Refuse("--preview, --width and --region size pictures; a DXF file holds the whole drawing");
    }
    if (vector) return RenderVector(inputs, output, request);
    if (output == "-" && isatty(STDOUT_FILENO)) return Refuse("will not write a PNG to a terminal; redirect it");

    std::string message;
    if (!output.empty()) {
        if (ConvertToFile(inputs[0], output, request, &message)) return 0;
        std::fprintf(stderr, "plotmira: %s\n", message.c_str());
        return kExitFailed;
    }
    return RenderBatch(inputs, directory, request, jobs);
}

}  // namespace plotmira_cli
