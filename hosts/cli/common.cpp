// What the commands share: the command line's words and numbers, the
// documents, and one picture drawn and written.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hosts/cli/commands.h"

namespace plotmira_cli {

const char *const kUsage =
    "usage:\n"
    "  plotmira render INPUT -o OUTPUT.png|OUTPUT.bmp|OUTPUT.svg|- [OPTIONS]\n"
    "  plotmira render INPUT... -o OUTPUT.pdf [OPTIONS]\n"
    "  plotmira render INPUT... -d DIR [-j N] [--format png|bmp|dxf] [OPTIONS]\n"
    "  plotmira thumbnail -s SIZE INPUT OUTPUT.png\n"
    "  plotmira info [--texts] INPUT\n"
    "  plotmira settings [--drawing-width N] [--figure-width N] [--reference-file PATH]\n"
    "  plotmira --help | --version\n"
    "\n"
    "render     converts a Jw_cad drawing (.jww) or figure (.jws) to PNG or BMP,\n"
    "           chosen by the output's extension; -o - writes PNG to standard output.\n"
    "           -d DIR writes DIR/NAME.png for each input (DIR is made when missing),\n"
    "           in N worker processes (-j N; default: one per core), messages in the\n"
    "           order of the inputs. A .pdf or .svg output is the sheet at its paper\n"
    "           size (a figure's extent at 1:1) with lines as vectors and texts as\n"
    "           text; several inputs with a .pdf output make one page each, in order.\n"
    "           A .dxf output (or -d with --format dxf) is the drawing for other CAD\n"
    "           programs: model space at real scale, a layout of the sheet, layers,\n"
    "           blocks and texts.\n"
    "  --dxf-version V       2018 (UTF-8, the default), 2000 or R12 (Shift-JIS)\n"
    "  --print               the drawing's printer pens (black unless it prints in colour)\n"
    "  --preview             a 320-pixel preview\n"
    "  --width N             pictures N pixels wide (300 to 5000), whatever the settings say\n"
    "  --region X0,Y0,X1,Y1  only that rectangle of the sheet, in the drawing's millimetres\n"
    "                        (origin at the paper's centre, y up), drawn sharp at the\n"
    "                        picture's width, its height in proportion\n"
    "  --hide-layer G[:L]    leaves out layer group G, or layer L of it (0 to 15; repeatable)\n"
    "thumbnail  a PNG whose longer edge is SIZE pixels (16 to 5000), drawn at that size\n"
    "info       JSON: format, version, object counts, sheet, extent, registered views,\n"
    "           layers; --texts adds every text the drawing shows\n"
    "settings   shows the settings and where they come from; with options, sets them\n"
    "           in the registry file (widths 300 to 5000, \"\" goes back to the default)\n"
    "\n"
    "Exit status: 0 done, 1 an input failed, 2 wrong command line.\n";

int Usage(const char *problem)
{
    std::fprintf(stderr, "plotmira: %s\n%s", problem, kUsage);
    return kExitUsage;
}

// A value the command line gives is out of range: said without the usage.
int Refuse(const std::string &problem)
{
    std::fprintf(stderr, "plotmira: %s\n", problem.c_str());
    return kExitUsage;
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWithIgnoringCase(const std::string &text, const char *ending)
{
    const size_t n = std::strlen(ending);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != ending[i]) return false;
    }
    return true;
}

ImageFormat FormatOfOutput(const std::string &path)
{
    if (path == "-" || EndsWithIgnoringCase(path, ".png")) return ImageFormat::kPng;
    if (EndsWithIgnoringCase(path, ".bmp")) return ImageFormat::kBmp;
    if (EndsWithIgnoringCase(path, ".pdf")) return ImageFormat::kPdf;
    if (EndsWithIgnoringCase(path, ".svg")) return ImageFormat::kSvg;
    if (EndsWithIgnoringCase(path, ".dxf")) return ImageFormat::kDxf;
    return ImageFormat::kUnknown;
}

// A whole decimal number in [low, high], or false.
bool ParseNumber(const char *text, long low, long high, int32_t *value)
{
    if (text == nullptr || *text == '\0') return false;
    char *end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || number < low || number > high) return false;
    *value = static_cast<int32_t>(number);
    return true;
}

// "X0,Y0,X1,Y1": four finite numbers making a rectangle of some size.
bool ParseRegion(const char *text, double region[4])
{
    const char *at = text;
    for (int i = 0; i < 4; ++i) {
        char *end = nullptr;
        errno = 0;
        region[i] = std::strtod(at, &end);
        if (end == at || errno != 0 || !std::isfinite(region[i])) return false;
        if (i < 3 && *end != ',') return false;
        at = end + (i < 3 ? 1 : 0);
    }
    return *at == '\0' && region[0] != region[2] && region[1] != region[3];
}

// "G" or "G:L", each 0 to 15.
bool ParseLayer(const char *text, plotmira_view *view)
{
    std::string group = text, layer;
    const size_t colon = group.find(':');
    if (colon != std::string::npos) {
        layer = group.substr(colon + 1);
        group.resize(colon);
    }
    int32_t g = 0, l = 0;
    if (!ParseNumber(group.c_str(), 0, kLayerGroups - 1, &g)) return false;
    if (colon == std::string::npos) {
        view->hide_groups = static_cast<uint16_t>(view->hide_groups | 1u << g);
        return true;
    }
    if (!ParseNumber(layer.c_str(), 0, PLOTMIRA_LAYERS_PER_GROUP - 1, &l)) return false;
    view->hide_layers[g] = static_cast<uint16_t>(view->hide_layers[g] | 1u << l);
    return true;
}

namespace {

int32_t HeightOf(int32_t width) { return static_cast<int32_t>(width * PLOTMIRA_RASTER_ASPECT); }

}  // namespace

std::string Failure(const std::string &input, plotmira_status status, const plotmira_info *info)
{
    if (status == PLOTMIRA_ERR_VERSION && info != nullptr) {
        return input + ": the drawing's version " + std::to_string(info->version) + " is not supported";
    }
    return input + ": " + plotmira_strerror(status);
}

// The view of one picture. The whole sheet is drawn as the plug-in draws the
// file, its upper-case-J rule included: print pens and the print view.
bool MakeView(const plotmira_info &info, const PictureRequest &request, plotmira_view *view, std::string *message)
{
    int32_t width = request.preview ? PLOTMIRA_PREVIEW_WIDTH : request.width != 0 ? request.width : info.natural_width;
    int32_t height = HeightOf(width);
    plotmira_view_init(view, width, height);
    std::memcpy(view->hide_layers, request.layers.hide_layers, sizeof view->hide_layers);
    view->hide_groups = request.layers.hide_groups;
    if (info.print_by_name && info.print_view > 0) {
        view->pens = PLOTMIRA_PENS_PRINT;
        view->registered_view = info.print_view;
    }
    if (request.print) view->pens = PLOTMIRA_PENS_PRINT;
    if (request.hasRegion) {
        const double w = std::fabs(request.region[2] - request.region[0]);
        const double h = std::fabs(request.region[3] - request.region[1]);
        const double rows = std::round(h * width / w);
        if (!(rows >= 1 && rows <= PLOTMIRA_MAX_SIDE) ||
            int64_t{width} * static_cast<int64_t>(rows) > PLOTMIRA_MAX_PIXELS) {
            *message = "the region is too narrow for a picture " + std::to_string(width) + " pixels wide";
            return false;
        }
        view->placement = PLOTMIRA_PLACE_REGION;
        view->registered_view = 0;
        std::memcpy(view->region, request.region, sizeof view->region);
        view->height = static_cast<int32_t>(rows);
    }
    return true;
}

bool Draw(const Document &doc, const plotmira_view &view, Picture *picture, std::string *message)
{
    const size_t stride = plotmira_row_bytes(PLOTMIRA_PIXELS_BGR24_DIB, view.width);
    picture->bits.assign(stride * static_cast<size_t>(view.height), 0);
    const plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_BGR24_DIB, picture->bits.data(), stride,
                                  picture->bits.size()};
    const plotmira_status status = plotmira_render(doc.Get(), &view, &image);
    if (status != PLOTMIRA_OK) {
        *message = plotmira_strerror(status);
        return false;
    }
    picture->dib = {view.width, view.height, picture->bits.data()};
    return true;
}

// One input to one picture.
bool ConvertOne(const std::string &input, const PictureRequest &request, Picture *picture, std::string *message)
{
    Document doc;
    const plotmira_status status = doc.Open(input);
    if (status != PLOTMIRA_OK) {
        *message = Failure(input, status, nullptr);
        return false;
    }
    if (!doc.Info().version_drawn) {
        *message = Failure(input, PLOTMIRA_ERR_VERSION, &doc.Info());
        return false;
    }
    plotmira_view view;
    std::string problem;
    if (!MakeView(doc.Info(), request, &view, &problem) || !Draw(doc, view, picture, &problem)) {
        *message = input + ": " + problem;
        return false;
    }
    return true;
}

bool WriteImage(const std::string &output, const DibPicture &picture, std::string *message)
{
    std::string error;
    const bool written = FormatOfOutput(output) == ImageFormat::kBmp ? WriteBmp(output, picture, &error)
                                                                     : WritePng(output, picture, &error);
    if (!written) *message = (output == "-" ? std::string("standard output") : output) + ": " + error;
    return written;
}

int WriteToFile(void *file, const void *bytes, size_t length)
{
    return std::fwrite(bytes, 1, length, static_cast<FILE *>(file)) == length ? 0 : 1;
}

namespace {

// The DXF file of one input, written whole or not at all.
bool ExportDxf(const std::string &input, const std::string &output, const PictureRequest &request, std::string *message)
{
    Document doc;
    const plotmira_status status = doc.Open(input);
    if (status != PLOTMIRA_OK || !doc.Info().version_drawn) {
        *message = Failure(input, status != PLOTMIRA_OK ? status : PLOTMIRA_ERR_VERSION, &doc.Info());
        return false;
    }
    plotmira_dxf_options options;
    plotmira_dxf_options_init(&options);
    options.version = request.dxfVersion;
    options.pens = request.print ? PLOTMIRA_PENS_PRINT : PLOTMIRA_PENS_SCREEN;
    options.hide_groups = request.layers.hide_groups;
    std::memcpy(options.hide_layers, request.layers.hide_layers, sizeof options.hide_layers);
    const std::string part = output + ".part";
    FILE *file = std::fopen(part.c_str(), "wb");
    if (file == nullptr) {
        *message = output + ": " + std::strerror(errno);
        return false;
    }
    const plotmira_status written = plotmira_export_dxf(doc.Get(), &options, WriteToFile, file);
    const bool closed = std::fclose(file) == 0;
    if (written != PLOTMIRA_OK || !closed || std::rename(part.c_str(), output.c_str()) != 0) {
        const int error = errno;
        std::remove(part.c_str());
        *message = output + ": " + (written != PLOTMIRA_OK ? plotmira_strerror(written) : std::strerror(error));
        return false;
    }
    return true;
}

}  // namespace

bool ConvertToFile(const std::string &input, const std::string &output, const PictureRequest &request,
                   std::string *message)
{
    if (FormatOfOutput(output) == ImageFormat::kDxf) return ExportDxf(input, output, request, message);
    Picture picture;
    return ConvertOne(input, request, &picture, message) && WriteImage(output, picture.dib, message);
}

}  // namespace plotmira_cli
