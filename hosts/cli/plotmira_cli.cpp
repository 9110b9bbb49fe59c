// plotmira: the native converter. A host of the library like any other: it
// opens each drawing through include/plotmira.h, draws the view the command
// line asks for (the whole sheet as the plug-in draws it, a region, a
// thumbnail) and writes it as PNG or BMP.
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hosts/cli/image_files.h"
#include "plotmira.h"

namespace {

constexpr int kExitFailed = 1;     // an input could not be converted or described
constexpr int kExitUsage = 2;      // the command line is wrong; nothing was done
constexpr int32_t kMaxJobs = 256;  // worker processes of a batch
constexpr int32_t kMinThumbnail = 16;
constexpr int32_t kMaxThumbnail = 5000;
constexpr int kLayerGroups = PLOTMIRA_LAYER_GROUPS;

const char *const kUsage =
    "usage:\n"
    "  plotmira render INPUT -o OUTPUT.png|OUTPUT.bmp|OUTPUT.svg|- [OPTIONS]\n"
    "  plotmira render INPUT... -o OUTPUT.pdf [OPTIONS]\n"
    "  plotmira render INPUT... -d DIR [-j N] [OPTIONS]\n"
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

enum class ImageFormat { kPng, kBmp, kPdf, kSvg, kUnknown };

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

int32_t HeightOf(int32_t width) { return static_cast<int32_t>(width * PLOTMIRA_RASTER_ASPECT); }

// What the command line asks of every picture.
struct PictureRequest {
    bool preview = false;
    int32_t width = 0;  // 0: the document's natural width
    bool hasRegion = false;
    double region[4] = {0, 0, 0, 0};
    bool print = false;
    plotmira_view layers;  // only the layer masks are used
};

class Document {
public:
    Document() = default;
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;
    ~Document() { plotmira_close(doc_); }
    plotmira_status Open(const std::string &path)
    {
        // The user's settings, as the plug-in takes them.
        plotmira_open_options options;
        plotmira_open_options_init(&options);
        options.settings = PLOTMIRA_SETTINGS_USER;
        plotmira_status status = plotmira_open_file_with(path.c_str(), &options, &doc_);
        if (status != PLOTMIRA_OK) return status;
        info_.struct_size = sizeof info_;
        return plotmira_describe(doc_, &info_);
    }
    plotmira_document *Get() const { return doc_; }
    const plotmira_info &Info() const { return info_; }

private:
    plotmira_document *doc_ = nullptr;
    plotmira_info info_ = {};
};

// A picture in the DIB form the writers take.
struct Picture {
    std::vector<uint8_t> bits;
    DibPicture dib = {0, 0, nullptr};
};

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

bool ConvertToFile(const std::string &input, const std::string &output, const PictureRequest &request,
                   std::string *message)
{
    Picture picture;
    return ConvertOne(input, request, &picture, message) && WriteImage(output, picture.dib, message);
}

// The picture of a batch's input: DIR/NAME.png.
std::string BatchOutput(const std::string &directory, const std::string &input)
{
    std::string name = BaseName(input);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return directory + "/" + name + ".png";
}

// Makes the folder and the folders above it that are missing.
bool MakeFolder(const std::string &path, std::string *message)
{
    struct stat status = {};
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return true;
        *message = path + ": not a folder";
        return false;
    }
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolder(path.substr(0, slash), message)) return false;
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        *message = path + ": the folder cannot be made (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

// What a worker reports of one input: done or not, and the message.
struct BatchResult {
    bool finished = false;
    bool converted = false;
    std::string message;
};

struct Worker {
    pid_t pid;
    int pipe;
    size_t first;      // the worker converts inputs first, first + jobs, ...
    std::string line;  // a report not yet whole
};

// A worker process: converts its share of the inputs and reports each as a
// line "INDEX STATUS MESSAGE" on its pipe. Staying alive from one input to
// the next keeps its memory and fonts warm.
void RunWorker(const std::vector<std::string> &inputs, size_t first, size_t step, const std::string &directory,
               const PictureRequest &request, int out)
{
    for (size_t i = first; i < inputs.size(); i += step) {
        std::string message;
        const bool converted = ConvertToFile(inputs[i], BatchOutput(directory, inputs[i]), request, &message);
        for (char &c : message) {
            if (c == '\n') c = ' ';
        }
        const std::string report = std::to_string(i) + (converted ? " 1 " : " 0 ") + message + "\n";
        size_t sent = 0;
        while (sent < report.size()) {
            const ssize_t n = write(out, report.data() + sent, report.size() - sent);
            if (n <= 0) _exit(1);
            sent += static_cast<size_t>(n);
        }
    }
    _exit(0);
}

// Takes the whole report lines that came from a worker.
void TakeReports(Worker *worker, const char *data, size_t size, std::vector<BatchResult> *results)
{
    worker->line.append(data, size);
    size_t end = 0;
    while ((end = worker->line.find('\n')) != std::string::npos) {
        const std::string report = worker->line.substr(0, end);
        worker->line.erase(0, end + 1);
        char *rest = nullptr;
        const unsigned long long index = std::strtoull(report.c_str(), &rest, 10);
        if (index >= results->size() || rest == nullptr || std::strlen(rest) < 2) continue;
        BatchResult &result = (*results)[index];
        result.finished = true;
        result.converted = rest[1] == '1';
        result.message = std::strlen(rest) > 3 ? rest + 3 : "";
    }
}

// render -d: every input to DIR/NAME.png, in JOBS worker processes (one:
// in this process). Messages come in the order of the inputs, whatever
// order the workers finish in; a line shows the progress on a terminal.
int RenderBatch(const std::vector<std::string> &inputs, const std::string &directory, const PictureRequest &request,
                int32_t jobs)
{
    // Two inputs of the same name would write one picture over the other:
    // refused before anything is written.
    std::map<std::string, std::string> firstOf;
    for (const std::string &input : inputs) {
        const std::string output = BatchOutput(directory, input);
        const auto found = firstOf.find(output);
        if (found != firstOf.end() && found->second != input) {
            return Refuse(found->second + " and " + input + " would both be written to " + output);
        }
        firstOf.emplace(output, input);
    }
    std::string problem;
    if (!MakeFolder(directory, &problem)) {
        std::fprintf(stderr, "plotmira: %s\n", problem.c_str());
        return kExitFailed;
    }
    const bool terminal = isatty(STDERR_FILENO) != 0;
    std::vector<BatchResult> results(inputs.size());
    const size_t step = std::min(static_cast<size_t>(jobs), inputs.size());
    std::vector<Worker> workers;
    std::vector<size_t> unstarted;  // shares no process could be had for: converted here
    if (step > 1) {
        std::fflush(nullptr);
        for (size_t k = 0; k < step; ++k) {
            int ends[2];
            const pid_t child = pipe(ends) == 0 ? fork() : -1;
            if (child == 0) {
                close(ends[0]);
                for (const Worker &other : workers) close(other.pipe);
                RunWorker(inputs, k, step, directory, request, ends[1]);
            }
            if (child < 0) {
                unstarted.push_back(k);
                continue;
            }
            close(ends[1]);
            workers.push_back(Worker{child, ends[0], k, {}});
        }
    }
    auto convertHere = [&](size_t i) {
        results[i].converted =
            ConvertToFile(inputs[i], BatchOutput(directory, inputs[i]), request, &results[i].message);
        results[i].finished = true;
    };
    for (size_t k : unstarted) {
        for (size_t i = k; i < inputs.size(); i += step) convertHere(i);
    }
    size_t reported = 0, failures = 0;
    auto report = [&]() {
        for (; reported < inputs.size() && results[reported].finished; ++reported) {
            if (terminal) {
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", reported + 1, inputs.size(), inputs[reported].c_str());
            }
            if (!results[reported].converted) {
                ++failures;
                std::fprintf(stderr, "%splotmira: %s\n", terminal ? "\r\033[K" : "", results[reported].message.c_str());
            }
        }
    };
    if (step <= 1) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            convertHere(i);
            report();
        }
    }
    while (!workers.empty()) {
        std::vector<pollfd> waiting;
        for (const Worker &worker : workers) waiting.push_back(pollfd{worker.pipe, POLLIN, 0});
        if (poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR) break;
        for (size_t w = workers.size(); w-- > 0;) {
            if (waiting[w].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(workers[w].pipe, buffer, sizeof buffer);
            if (n > 0) {
                TakeReports(&workers[w], buffer, static_cast<size_t>(n), &results);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // The worker is done, or died: what it did not report failed.
            close(workers[w].pipe);
            waitpid(workers[w].pid, nullptr, 0);
            for (size_t i = workers[w].first; i < inputs.size(); i += step) {
                if (results[i].finished) continue;
                results[i].finished = true;
                results[i].message = inputs[i] + ": the conversion stopped abnormally";
            }
            workers.erase(workers.begin() + static_cast<std::ptrdiff_t>(w));
        }
        report();
    }
    report();
    if (terminal) std::fprintf(stderr, "\r\033[K%zu of %zu converted\n", inputs.size() - failures, inputs.size());
    return failures == 0 ? 0 : kExitFailed;
}

int WriteToFile(void *file, const void *bytes, size_t length)
{
    return std::fwrite(bytes, 1, length, static_cast<FILE *>(file)) == length ? 0 : 1;
}

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

int Render(int argc, char **argv)
{
    std::vector<std::string> inputs;
    std::string output;
    std::string directory;
    PictureRequest request;
    plotmira_view_init(&request.layers, 1, 1);
    int32_t jobs = static_cast<int32_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
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
                      ": the output must end in .png, .bmp, .pdf or .svg (or be - for PNG on standard output)");
    }
    if (vector && (request.preview || request.width != 0)) {
        return Refuse("--preview and --width size pictures; a PDF or SVG has the sheet's own size");
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

// A JSON string of UTF-8 text.
std::string Quoted(const char *text)
{
    std::string out = "\"";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
            out += escaped;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out + "\"";
}

// A number as JSON has it: shortest round trip, no infinities.
std::string Number(double value)
{
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    // Fewer digits where they say the same.
    for (int digits = 6; digits < 17; ++digits) {
        char shorter[32];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, value);
        if (std::strtod(shorter, nullptr) == value) return shorter;
    }
    return text;
}

std::string Rect(const plotmira_rect &r)
{
    return "{\"minX\": " + Number(r.min_x) + ", \"minY\": " + Number(r.min_y) + ", \"maxX\": " + Number(r.max_x) +
           ", \"maxY\": " + Number(r.max_y) + "}";
}

void PrintCounts(const char *name, const plotmira_counts &c, bool withBlocks)
{
    std::printf(
        " \"%s\": {\"lines\": %u, \"arcs\": %u, \"points\": %u, \"texts\": %u, \"dimensions\": %u, "
        "\"solids\": %u",
        name, c.lines, c.arcs, c.points, c.texts, c.dimensions, c.solids);
    if (withBlocks) std::printf(", \"blockRefs\": %u, \"blockDefs\": %u", c.block_refs, c.block_defs);
    std::printf("}");
}

int PrintText(const plotmira_text *text, void *data)
{
    bool *first = static_cast<bool *>(data);
    std::printf(
        "%s\n  {\"text\": %s, \"x\": %s, \"y\": %s, \"height\": %s, \"angle\": %s, \"layerGroup\": %d, "
        "\"layer\": %d, \"inBlock\": %s, \"dimension\": %s}",
        *first ? "" : ",", Quoted(text->text).c_str(), Number(text->x).c_str(), Number(text->y).c_str(),
        Number(text->height).c_str(), Number(text->angle).c_str(), text->layer_group, text->layer,
        (text->kind & PLOTMIRA_TEXT_IN_BLOCK) != 0 ? "true" : "false",
        (text->kind & PLOTMIRA_TEXT_DIMENSION) != 0 ? "true" : "false");
    *first = false;
    return 0;
}

int Info(int argc, char **argv)
{
    bool texts = false;
    std::vector<std::string> inputs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--texts") {
            texts = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.size() != 1) return Usage("info takes one input");
    const std::string &input = inputs[0];
    Document doc;
    const plotmira_status status = doc.Open(input);
    if (status != PLOTMIRA_OK) {
        std::fprintf(stderr, "plotmira: %s\n", Failure(input, status, nullptr).c_str());
        return kExitFailed;
    }
    const plotmira_info &d = doc.Info();
    std::printf("{\"format\": \"%s\", \"version\": %u,\n", d.format == PLOTMIRA_FORMAT_JWS ? "jws" : "jww", d.version);
    PrintCounts("counts", d.counts, true);
    std::printf(",\n");
    PrintCounts("topLevel", d.top_level, false);
    std::printf(",\n \"versionDrawn\": %s, \"complete\": %s,\n", d.version_drawn ? "true" : "false",
                d.complete ? "true" : "false");
    std::printf(" \"sheet\": {\"paper\": %s, \"paperSize\": %u, \"widthMm\": %s, \"heightMm\": %s, \"rect\": %s},\n",
                Quoted(d.paper_name).c_str(), d.paper_size, Number(d.sheet.max_x - d.sheet.min_x).c_str(),
                Number(d.sheet.max_y - d.sheet.min_y).c_str(), Rect(d.sheet).c_str());
    std::printf(" \"extent\": %s,\n", d.has_extent ? Rect(d.extent).c_str() : "null");
    std::printf(" \"picture\": {\"width\": %d, \"height\": %d},\n", d.natural_width, d.natural_height);
    std::printf(" \"printView\": %d, \"views\": [", d.print_view);
    for (uint32_t v = 0; v < d.view_count; ++v) {
        std::printf("%s{\"number\": %u, \"centerX\": %s, \"centerY\": %s, \"zoom\": %s}", v == 0 ? "" : ", ", v + 1,
                    Number(d.views[v].center_x).c_str(), Number(d.views[v].center_y).c_str(),
                    Number(d.views[v].zoom).c_str());
    }
    std::printf("],\n \"layerGroups\": [");
    for (int g = 0; g < kLayerGroups; ++g) {
        const plotmira_layer_group &group = d.groups[g];
        std::printf("%s\n  {\"group\": %d, \"name\": %s, \"state\": %u, \"scale\": %s, \"layers\": [",
                    g == 0 ? "" : ",", g, Quoted(group.name).c_str(), group.state, Number(group.scale).c_str());
        for (int l = 0; l < PLOTMIRA_LAYERS_PER_GROUP; ++l) {
            std::printf("%s{\"layer\": %d, \"name\": %s, \"state\": %u}", l == 0 ? "" : ", ", l,
                        Quoted(group.layers[l].name).c_str(), group.layers[l].state);
        }
        std::printf("]}");
    }
    std::printf("]");
    if (texts) {
        std::printf(",\n \"texts\": [");
        bool first = true;
        plotmira_texts(doc.Get(), PrintText, &first);
        std::printf("]");
    }
    std::printf("}\n");
    return 0;
}

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
    const std::string source = stored.location;
    PrintWidth("drawing width", "SIZE_JWW", stored.has_drawing_width, stored.drawing_width,
               stored.default_drawing_width, "the desktop's width", source);
    PrintWidth("figure width", "SIZE_JWS", stored.has_figure_width, stored.figure_width, stored.default_figure_width,
               "half the desktop's width", source);
    if (stored.has_reference_file && stored.reference_file[0] != '\0') {
        std::printf("reference file (REF_FILE): %s, from %s\n", stored.reference_file, source.c_str());
    } else {
        std::printf("reference file (REF_FILE): none, default\n");
    }
}

// settings [--drawing-width N] [--figure-width N] [--reference-file PATH]:
// every value is checked before any is written; "" removes a value.
int Settings(int argc, char **argv)
{
    std::vector<plotmira_settings> holder(1);  // large: kept off the stack
    plotmira_settings &stored = holder[0];
    stored.struct_size = sizeof stored;
    plotmira_settings_read(&stored);
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
            if (value.size() >= sizeof stored.reference_file) {
                return Refuse("--reference-file takes a name of at least two characters, or \"\" for none");
            }
            std::memcpy(stored.reference_file, value.c_str(), value.size() + 1);
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

}  // namespace

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
