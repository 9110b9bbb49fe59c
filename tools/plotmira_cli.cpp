// plotmira: the native converter. It is a host like any viewer: it calls the
// module's exports (IsSupported, GetPictureInfo, GetPicture or GetPreview)
// and writes the bitmap it receives as PNG or BMP.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/detection.h"
#include "host/plugin_api.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "tools/image_files.h"

namespace {

constexpr size_t kHeadBytes = 2048;   // what viewers hand IsSupported

const char *const kUsage =
    "usage:\n"
    "  plotmira render INPUT -o OUTPUT.png|OUTPUT.bmp [--preview]\n"
    "  plotmira render INPUT... -d DIR [--preview]\n"
    "  plotmira info INPUT\n";

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

bool ReadWholeFile(const std::string &path, std::vector<unsigned char> *bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::string &text, const char *ending)
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

// One conversion, the way a viewer calls the plug-in.
bool ConvertOne(const std::string &input, const std::string &output, bool preview, std::string *message)
{
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
    const auto *header = static_cast<const BITMAPINFOHEADER *>(LocalLock(infoHandle));
    const auto *bits = static_cast<const uint8_t *>(LocalLock(bitsHandle));
    const RgbImage image = ImageFromDib(header->biWidth, header->biHeight, bits);
    LocalUnlock(infoHandle);
    LocalUnlock(bitsHandle);
    LocalFree(infoHandle);
    LocalFree(bitsHandle);

    std::string error;
    const bool written = EndsWith(output, ".bmp") ? WriteBmp(output, image, &error) : WritePng(output, image, &error);
    if (!written) {
        *message = output + ": " + error;
        return false;
    }
    return true;
}

int Render(int argc, char **argv)
{
    std::vector<std::string> inputs;
    std::string output;
    std::string directory;
    bool preview = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == "-d" && i + 1 < argc) {
            directory = argv[++i];
        } else if (arg == "--preview") {
            preview = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "plotmira: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty() || (output.empty() == directory.empty()) || (!output.empty() && inputs.size() != 1)) {
        std::fprintf(stderr, "plotmira: render needs one input with -o, or inputs with -d\n%s", kUsage);
        return 2;
    }
    std::string message;
    if (!output.empty()) {
        if (ConvertOne(inputs[0], output, preview, &message)) return 0;
        std::fprintf(stderr, "plotmira: %s\n", message.c_str());
        return 1;
    }

    const bool terminal = isatty(STDERR_FILENO) != 0;
    size_t failures = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (terminal) std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", i + 1, inputs.size(), inputs[i].c_str());
        std::string name = BaseName(inputs[i]);
        const size_t dot = name.find_last_of('.');
        if (dot != std::string::npos) name.resize(dot);
        if (!ConvertOne(inputs[i], directory + "/" + name + ".png", preview, &message)) {
            ++failures;
            std::fprintf(stderr, "%splotmira: %s\n", terminal ? "\r\033[K" : "", message.c_str());
        }
    }
    if (terminal) std::fprintf(stderr, "\r\033[K%zu of %zu converted\n", inputs.size() - failures, inputs.size());
    return failures == 0 ? 0 : 1;
}

int Info(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const std::string input = argv[2];
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(input, &bytes)) {
        std::fprintf(stderr, "plotmira: %s: %s\n", input.c_str(), ResultText(kResultReadError));
        return 1;
    }
    if (bytes.size() < kMinimumHeaderBytes || !DetectFormat(input.c_str(), bytes.data())) {
        std::fprintf(stderr, "plotmira: %s: %s\n", input.c_str(), ResultText(kResultUnknownFormat));
        return 1;
    }
    const bool figure = isFigureFile == 1;
    if (!AllocateStore(bytes.size())) {
        ReleaseStore();
        std::fprintf(stderr, "plotmira: %s: %s\n", input.c_str(), ResultText(kResultNoMemory));
        return 1;
    }
    const int read = figure ? ReadFigureFile(bytes.data(), bytes.size()) : ReadDrawingFile(bytes.data(), bytes.size());
    if (read < 0) {
        ReleaseStore();
        std::fprintf(stderr, "plotmira: %s: too short to be a %s\n", input.c_str(), figure ? "figure" : "drawing");
        return 1;
    }
    std::printf("{\"format\": \"%s\", \"version\": %u,\n", figure ? "jws" : "jww", fileVersion);
    std::printf(" \"counts\": {\"lines\": %u, \"arcs\": %u, \"points\": %u, \"texts\": %u, \"dimensions\": %u, "
                "\"solids\": %u, \"blockRefs\": %u, \"blockDefs\": %u},\n",
                lineCount, arcCount, pointCount, textCount, dimensionCount, solidCount, blockRefCount, blockDefCount);
    std::printf(" \"topLevel\": {\"lines\": %u, \"arcs\": %u, \"points\": %u, \"texts\": %u, \"dimensions\": %u, "
                "\"solids\": %u}}\n",
                firstBlockLine - 1, firstBlockArc - 1, firstBlockPoint - 1, firstBlockText - 1, firstBlockDimension - 1,
                firstBlockSolid - 1);
    ReleaseStore();
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        if (argc >= 2 && std::strcmp(argv[1], "render") == 0) return Render(argc, argv);
        if (argc >= 2 && std::strcmp(argv[1], "info") == 0) return Info(argc, argv);
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "plotmira: %s\n", e.what());
        return 1;
    }
}
