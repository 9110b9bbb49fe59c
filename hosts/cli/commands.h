// The converter's commands share what the command line asks of a picture,
// the documents it opens and the pictures it writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hosts/cli/image_files.h"
#include "plotmira.h"

namespace plotmira_cli {

constexpr int kExitFailed = 1;     // an input could not be converted or described
constexpr int kExitUsage = 2;      // the command line is wrong; nothing was done
constexpr int32_t kMaxJobs = 256;  // worker processes of a batch
constexpr int32_t kMinThumbnail = 16;
constexpr int32_t kMaxThumbnail = 5000;
constexpr int kLayerGroups = PLOTMIRA_LAYER_GROUPS;

extern const char *const kUsage;

enum class ImageFormat { kPng, kBmp, kPdf, kSvg, kDxf, kUnknown };

// "plotmira: ..." with the usage and exit status 2.
int Usage(const char *problem);
// "plotmira: ..." and exit status 2, without the usage.
int Refuse(const std::string &problem);
std::string BaseName(const std::string &path);
bool EndsWithIgnoringCase(const std::string &text, const char *ending);
ImageFormat FormatOfOutput(const std::string &path);
bool ParseNumber(const char *text, long low, long high, int32_t *value);
bool ParseRegion(const char *text, double region[4]);
bool ParseLayer(const char *text, plotmira_view *view);
// The library's write callback onto a FILE.
int WriteToFile(void *file, const void *bytes, size_t length);

// What the command line asks of every picture.
struct PictureRequest {
    bool preview = false;
    int32_t width = 0;  // 0: the document's natural width
    bool hasRegion = false;
    double region[4] = {0, 0, 0, 0};
    bool print = false;
    plotmira_view layers;                         // only the layer masks are used
    ImageFormat batchFormat = ImageFormat::kPng;  // what -d writes
    plotmira_dxf_version dxfVersion = PLOTMIRA_DXF_2018;
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

// The message for an input that failed with `status`.
std::string Failure(const std::string &input, plotmira_status status, const plotmira_info *info);
bool MakeView(const plotmira_info &info, const PictureRequest &request, plotmira_view *view, std::string *message);
bool Draw(const Document &doc, const plotmira_view &view, Picture *picture, std::string *message);
bool ConvertOne(const std::string &input, const PictureRequest &request, Picture *picture, std::string *message);
bool WriteImage(const std::string &output, const DibPicture &picture, std::string *message);
// One input to a picture or a DXF file, by the output's extension. A file
// is written beside the output and renamed over it once whole.
bool ConvertToFile(const std::string &input, const std::string &output, const PictureRequest &request,
                   std::string *message);

// render -d: every input to DIR/NAME.png (.bmp, .dxf), in JOBS worker processes.
int RenderBatch(const std::vector<std::string> &inputs, const std::string &directory, const PictureRequest &request,
                int32_t jobs);

// The commands: argv as main() has it.
int Render(int argc, char **argv);
int Thumbnail(int argc, char **argv);
int Info(int argc, char **argv);
int Settings(int argc, char **argv);

}  // namespace plotmira_cli
