#include "tests/host/test_files.h"

#include "platform/dib_rows.h"

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/writer/jw_writer.h"

namespace {

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) { return std::remove(path); }

}  // namespace

std::string CorpusDir()
{
    const char *configured = std::getenv("PLOTMIRA_CORPUS_DIR");
    return configured != nullptr && *configured != '\0' ? configured : PLOTMIRA_CORPUS_DIR;
}

bool CorpusRequired()
{
    const char *required = std::getenv("PLOTMIRA_REQUIRE_CORPUS");
    return required != nullptr && std::strcmp(required, "1") == 0;
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

TempFolder::TempFolder()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/plotmira-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = buffer.data();
}

TempFolder::~TempFolder() { nftw(path_.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS); }

std::string TempFolder::Write(const std::string &name, const std::vector<uint8_t> &bytes) const
{
    const std::string path = Path(name);
    if (!SaveFile(path, bytes)) throw std::runtime_error("cannot write " + path);
    return path;
}

Conversion ConvertFile(const std::string &path, bool preview, LONG_PTR offset, ProgressCallback progress,
                       LONG_PTR userData)
{
    Conversion conversion;
    std::vector<uint8_t> head(2048, 0);
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        std::fseek(file, static_cast<long>(offset), SEEK_SET);
        const size_t got = std::fread(head.data(), 1, head.size(), file);
        (void)got;
        std::fclose(file);
    }
    IsSupported(path.c_str(), head.data());
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    conversion.result = preview ? GetPreview(path.c_str(), offset, 0, &info, &bits, progress, userData)
                                : GetPicture(path.c_str(), offset, 0, &info, &bits, progress, userData);
    if (info != nullptr && bits != nullptr) {
        const auto *header = static_cast<const BITMAPINFOHEADER *>(LocalLock(info));
        const auto *bytes = static_cast<const uint8_t *>(LocalLock(bits));
        conversion.header = *header;
        conversion.width = header->biWidth;
        conversion.height = header->biHeight;
        conversion.bits.assign(bytes, bytes + LocalSize(bits));
        LocalUnlock(info);
        LocalUnlock(bits);
        LocalFree(info);
        LocalFree(bits);
    }
    return conversion;
}

bool AllPixelsAre(const Conversion &conversion, uint32_t color)
{
    const size_t stride = DibRowStride(static_cast<uint64_t>(conversion.width), 3);
    if (conversion.bits.size() < stride * conversion.height) return false;
    const uint8_t blue = static_cast<uint8_t>(color >> 16);
    const uint8_t green = static_cast<uint8_t>(color >> 8);
    const uint8_t red = static_cast<uint8_t>(color);
    for (int32_t y = 0; y < conversion.height; ++y) {
        const uint8_t *row = conversion.bits.data() + y * stride;
        for (int32_t x = 0; x < conversion.width; ++x) {
            if (row[3 * x] != blue || row[3 * x + 1] != green || row[3 * x + 2] != red) return false;
        }
    }
    return true;
}

bool BackgroundAndReferenceMark(const Conversion &conversion, uint32_t color)
{
    const size_t stride = DibRowStride(static_cast<uint64_t>(conversion.width), 3);
    if (conversion.bits.size() < stride * conversion.height) return false;
    int red = 0;
    for (int32_t y = 0; y < conversion.height; ++y) {
        const uint8_t *row = conversion.bits.data() + y * stride;
        for (int32_t x = 0; x < conversion.width; ++x) {
            const uint32_t pixel = row[3 * x] << 16 | row[3 * x + 1] << 8 | row[3 * x + 2];
            if (pixel == color) continue;
            if (pixel != 0x0000FF) return false;
            ++red;
        }
    }
    return red > 0 && red <= 36;
}
