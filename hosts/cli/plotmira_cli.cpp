// plotmira: the native converter. It is a host like any viewer: it calls the
// module's exports (IsSupported, GetPictureInfo, GetPicture or GetPreview)
// and writes the bitmap it receives as PNG or BMP. Descriptions and raster
// widths go through the module's front door as well (host/module_api.h).
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "host/module_api.h"
#include "host/plugin_api.h"
#include "hosts/cli/image_files.h"
#include "platform/portable/registry_file.h"
#include "plotmira_version.h"

namespace {

constexpr size_t kHeadBytes = 2048;  // what viewers hand IsSupported
constexpr int kExitFailed = 1;       // an input could not be converted or described
constexpr int kExitUsage = 2;        // the command line is wrong; nothing was done
constexpr int32_t kMaxJobs = 256;    // worker processes of a batch

const char *const kUsage =
    "usage:\n"
    "  plotmira render INPUT -o OUTPUT.png|OUTPUT.bmp|- [--preview] [--width N]\n"
    "  plotmira render INPUT... -d DIR [-j N] [--preview] [--width N]\n"
    "  plotmira thumbnail -s SIZE INPUT OUTPUT.png\n"
    "  plotmira info INPUT\n"
    "  plotmira settings [--drawing-width N] [--figure-width N] [--reference-file PATH]\n"
    "  plotmira --help | --version\n"
    "\n"
    "render     converts a Jw_cad drawing (.jww) or figure (.jws) to PNG or BMP,\n"
    "           chosen by the output's extension; -o - writes PNG to standard output.\n"
    "           -d DIR writes DIR/NAME.png for each input, in N worker processes\n"
    "           (-j N; default: one per core), messages in the order of the inputs.\n"
    "  --preview  a 320-pixel preview\n"
    "  --width N  pictures N pixels wide (300 to 5000), whatever the settings say\n"
    "thumbnail  a PNG whose longer edge is SIZE pixels (16 to 5000), drawn at that size\n"
    "info       JSON: format, version and object counts\n"
    "settings   shows the settings and where they come from; with options, sets them\n"
    "           in the registry file (widths 300 to 5000, \"\" goes back to the default)\n"
    "\n"
    "Exit status: 0 done, 1 an input failed, 2 wrong command line.\n";

enum class ImageFormat { kPng, kBmp, kUnknown };

const char *ResultText(int code)
{
    switch (code) {
    case kResultNotImplemented: return "not implemented";
    case kResultSuccess: return "success";
    case kResultCancelled: return "cancelled";
    case kResultUnknownFormat: return "not a Jw_cad drawing (.jww) or figure (.jws)";
    case kResultBrokenData: return "the file is damaged";
    case kResultNoMemory: return "not enough memory for the picture";
    case kResultMemoryError: return "the drawing could not be converted";
    case kResultReadError: return "the file cannot be opened or read";
    case kResultInternalError: return "internal error";
    default: return "unknown error";
    }
}

const char *TooLargeText() { return "the file is too large (the limit is 256 MiB)"; }

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

// True when the input is a regular file larger than the module takes: said
// as such rather than as the module's "no memory".
bool TooLarge(const std::string &path)
{
    struct stat status = {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           static_cast<uint64_t>(status.st_size) > kMaxInputBytes;
}

// The picture the module handed over, as the host owns it: its two blocks,
// freed when it goes.
class HostPicture {
   public:
    HostPicture() = default;
    HostPicture(const HostPicture &) = delete;
    HostPicture &operator=(const HostPicture &) = delete;
    ~HostPicture()
    {
        if (info_ != nullptr) {
            LocalUnlock(info_);
            LocalFree(info_);
        }
        if (bits_ != nullptr) {
            LocalUnlock(bits_);
            LocalFree(bits_);
        }
    }
    void Take(HLOCAL info, HLOCAL bits)
    {
        info_ = info;
        bits_ = bits;
        const auto *header = static_cast<const BITMAPINFOHEADER *>(LocalLock(info));
        picture_ = {header->biWidth, header->biHeight, static_cast<const uint8_t *>(LocalLock(bits))};
    }
    const DibPicture &Picture() const { return picture_; }

   private:
    HLOCAL info_ = nullptr;
    HLOCAL bits_ = nullptr;
    DibPicture picture_ = {0, 0, nullptr};
};

// One conversion, the way a viewer calls the plug-in.
bool ConvertOne(const std::string &input, bool preview, HostPicture *picture, std::string *message)
{
    if (TooLarge(input)) {
        *message = input + ": " + TooLargeText();
        return false;
    }
    std::vector<unsigned char> head(kHeadBytes, 0);
    if (FILE *file = std::fopen(input.c_str(), "rb")) {
        const size_t got = std::fread(head.data(), 1, head.size(), file);
        (void)got;
        std::fclose(file);
    } else {
        *message = input + ": " + ResultText(kResultReadError);
        return false;
    }
    if (!IsSupported(input.c_str(), head.data())) {
        *message = input + ": " + ResultText(kResultUnknownFormat);
        return false;
    }
    PictureInfo info = {};
    int result = GetPictureInfo(input.c_str(), 0, 0, &info);
    HLOCAL infoHandle = nullptr;
    HLOCAL bitsHandle = nullptr;
    if (result == kResultSuccess) {
        result = preview ? GetPreview(input.c_str(), 0, 0, &infoHandle, &bitsHandle, nullptr, 0)
                         : GetPicture(input.c_str(), 0, 0, &infoHandle, &bitsHandle, nullptr, 0);
    }
    if (result != kResultSuccess) {
        *message = input + ": " + ResultText(result);
        return false;
    }
    picture->Take(infoHandle, bitsHandle);
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

bool ConvertToFile(const std::string &input, const std::string &output, bool preview, std::string *message)
{
    HostPicture picture;
    return ConvertOne(input, preview, &picture, message) && WriteImage(output, picture.Picture(), message);
}

// The picture of a batch's input: DIR/NAME.png.
std::string BatchOutput(const std::string &directory, const std::string &input)
{
    std::string name = BaseName(input);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return directory + "/" + name + ".png";
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
               bool preview, int out)
{
    for (size_t i = first; i < inputs.size(); i += step) {
        std::string message;
        const bool converted = ConvertToFile(inputs[i], BatchOutput(directory, inputs[i]), preview, &message);
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
int RenderBatch(const std::vector<std::string> &inputs, const std::string &directory, bool preview, int32_t jobs)
{
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
                RunWorker(inputs, k, step, directory, preview, ends[1]);
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
            ConvertToFile(inputs[i], BatchOutput(directory, inputs[i]), preview, &results[i].message);
        results[i].finished = true;
    };
    for (size_t k : unstarted) {
        for (size_t i = k; i < inputs.size(); i += step) convertHere(i);
    }
    size_t reported = 0, failures = 0;
    auto report = [&]() {
        for (; reported < inputs.size() && results[reported].finished; ++reported) {
            if (terminal)
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", reported + 1, inputs.size(), inputs[reported].c_str());
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

int Render(int argc, char **argv)
{
    std::vector<std::string> inputs;
    std::string output;
    std::string directory;
    bool preview = false;
    int32_t width = 0;
    int32_t jobs = static_cast<int32_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == "-d" && i + 1 < argc) {
            directory = argv[++i];
        } else if (arg == "--preview") {
            preview = true;
        } else if (arg == "-j" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 1, kMaxJobs, &jobs)) {
                return Refuse("-j takes a number of worker processes from 1 to " + std::to_string(kMaxJobs) +
                              ", not \"" + std::string(argv[i]) + "\"");
            }
        } else if (arg == "--width" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], kMinConfiguredWidth, kMaxConfiguredWidth, &width)) {
                return Refuse("--width takes a number of pixels from 300 to 5000, not \"" + std::string(argv[i]) +
                              "\"");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty() || (output.empty() == directory.empty()) || (!output.empty() && inputs.size() != 1)) {
        return Usage("render needs one input with -o, or inputs with -d");
    }
    if (!output.empty() && FormatOfOutput(output) == ImageFormat::kUnknown) {
        return Refuse(output + ": the output must end in .png or .bmp (or be - for PNG on standard output)");
    }
    if (output == "-" && isatty(STDOUT_FILENO)) return Refuse("will not write a PNG to a terminal; redirect it");
    if (width != 0) SetRasterWidth(width);

    std::string message;
    if (!output.empty()) {
        if (ConvertToFile(inputs[0], output, preview, &message)) return 0;
        std::fprintf(stderr, "plotmira: %s\n", message.c_str());
        return kExitFailed;
    }

    return RenderBatch(inputs, directory, preview, jobs);
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
            if (!ParseNumber(argv[++i], kMinRequestedWidth, kMaxRequestedWidth, &size)) {
                return Refuse("-s takes a size in pixels from 16 to 5000, not \"" + std::string(argv[i]) + "\"");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            paths.push_back(arg);
        }
    }
    if (size == 0 || paths.size() != 2) return Usage("thumbnail needs -s SIZE, an input and an output");
    SetRasterWidth(size);
    HostPicture picture;
    std::string message;
    std::string error;
    if (!ConvertOne(paths[0], false, &picture, &message)) {
        std::fprintf(stderr, "plotmira: %s\n", message.c_str());
        return kExitFailed;
    }
    if (!WritePng(paths[1], picture.Picture(), &error)) {
        std::fprintf(stderr, "plotmira: %s: %s\n", paths[1].c_str(), error.c_str());
        return kExitFailed;
    }
    return 0;
}

// Reads at most kMaxInputBytes + 1 bytes, so that a device or a pipe
// without end is refused instead of read for ever.
int ReadInput(const std::string &path, std::vector<unsigned char> *bytes)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return kResultReadError;
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes->insert(bytes->end(), buffer, buffer + got);
        if (bytes->size() > kMaxInputBytes) break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? kResultReadError : kResultSuccess;
}

void PrintCounts(const char *name, const ObjectCounts &c, bool withBlocks)
{
    std::printf(
        " \"%s\": {\"lines\": %u, \"arcs\": %u, \"points\": %u, \"texts\": %u, \"dimensions\": %u, "
        "\"solids\": %u",
        name, c.lines, c.arcs, c.points, c.texts, c.dimensions, c.solids);
    if (withBlocks) std::printf(", \"blockRefs\": %u, \"blockDefs\": %u", c.blockRefs, c.blockDefs);
    std::printf("}");
}

int Info(int argc, char **argv)
{
    if (argc != 3) return Usage("info takes one input");
    const std::string input = argv[2];
    std::vector<unsigned char> bytes;
    const int read = ReadInput(input, &bytes);
    if (read != kResultSuccess) {
        std::fprintf(stderr, "plotmira: %s: %s\n", input.c_str(), ResultText(read));
        return kExitFailed;
    }
    if (bytes.size() > kMaxInputBytes) {
        std::fprintf(stderr, "plotmira: %s: %s\n", input.c_str(), TooLargeText());
        return kExitFailed;
    }
    DrawingDescription description = {};
    const int result = DescribeDrawing(bytes.data(), static_cast<LONG_PTR>(bytes.size()), &description);
    if (result != kResultSuccess) {
        std::fprintf(stderr, "plotmira: %s: %s\n", input.c_str(), ResultText(result));
        return kExitFailed;
    }
    std::printf("{\"format\": \"%s\", \"version\": %u,\n", description.format == kFormatFigure ? "jws" : "jww",
                description.version);
    PrintCounts("counts", description.counts, true);
    std::printf(",\n");
    PrintCounts("topLevel", description.topLevel, false);
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

void PrintSettings(const StoredPluginSettings &stored, const std::string &source)
{
    const int32_t desktop = DefaultDrawingWidth();
    PrintWidth("drawing width", "SIZE_JWW", stored.hasDrawingWidth, stored.drawingWidth, desktop, "the desktop's width",
               source);
    PrintWidth("figure width", "SIZE_JWS", stored.hasFigureWidth, stored.figureWidth, desktop / 2,
               "half the desktop's width", source);
    if (stored.hasReferenceFile && !stored.referenceFile.empty()) {
        std::printf("reference file (REF_FILE): %s, from %s\n", stored.referenceFile.c_str(), source.c_str());
    } else {
        std::printf("reference file (REF_FILE): none, default\n");
    }
}

// settings [--drawing-width N] [--figure-width N] [--reference-file PATH]:
// every value is checked before any is written; "" removes a value.
int Settings(int argc, char **argv)
{
    StoredPluginSettings stored;
    ReadModuleSettings(&stored);
    bool change = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc || (arg != "--drawing-width" && arg != "--figure-width" && arg != "--reference-file")) {
            return Usage(("settings: unknown option or missing value: " + arg).c_str());
        }
        const std::string value = argv[++i];
        change = true;
        if (arg == "--reference-file") {
            if (!value.empty() && !AcceptableReferenceFile(value)) {
                return Refuse("--reference-file takes a name of at least two characters, or \"\" for none");
            }
            stored.hasReferenceFile = !value.empty();
            stored.referenceFile = value;
            continue;
        }
        const bool drawing = arg == "--drawing-width";
        uint32_t width = 0;
        if (!value.empty() && !ParseSettingWidth(value, &width)) {
            return Refuse(arg + " takes a number of pixels from 300 to 5000, or \"\" for the default, not \"" + value +
                          "\"");
        }
        (drawing ? stored.hasDrawingWidth : stored.hasFigureWidth) = !value.empty();
        (drawing ? stored.drawingWidth : stored.figureWidth) = width;
    }
    const std::string source = RegistryFilePath();
    if (change && !WriteModuleSettings(stored)) {
        std::fprintf(stderr, "plotmira: %s: the settings could not be written\n", source.c_str());
        return kExitFailed;
    }
    std::printf("registry file: %s\n", source.c_str());
    PrintSettings(stored, source);
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
            std::printf("plotmira %s: pictures of Jw_cad drawings and figures\n\n%s", PLOTMIRA_VERSION, kUsage);
            return 0;
        }
        if (command == "--version") {
            std::printf("plotmira %s\n", PLOTMIRA_VERSION);
            return 0;
        }
        return Usage(command.empty() ? "a command is needed" : ("unknown command " + command).c_str());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "plotmira: %s\n", e.what());
        return kExitFailed;
    }
}
