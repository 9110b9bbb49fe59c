#include "hosts/cli/image_files.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kBmpFileHeaderBytes = 14;
constexpr size_t kBmpInfoHeaderBytes = 40;
constexpr int32_t kMaxSide = 1 << 16;

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

size_t DibStride(int32_t width) { return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3}; }

void PutU16(uint8_t *at, uint16_t v) { at[0] = v & 0xFF; at[1] = v >> 8; }
void PutU32(uint8_t *at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetU32(const uint8_t *at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t{at[3]} << 24; }
uint16_t GetU16(const uint8_t *at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

bool ReadPng(FILE *file, RgbImage *image, std::string *error)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        *error = "out of memory";
        return false;
    }
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        *error = "damaged PNG";
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_palette_to_rgb(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || png_get_rowbytes(png, info) != width * 3) {
        png_destroy_read_struct(&png, &info, nullptr);
        *error = "unsupported PNG layout";
        return false;
    }
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = image->rgb.data() + static_cast<size_t>(y) * width * 3;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool ReadBmp(FILE *file, RgbImage *image, std::string *error)
{
    uint8_t headers[kBmpFileHeaderBytes + kBmpInfoHeaderBytes];
    if (std::fread(headers, 1, sizeof headers, file) != sizeof headers) {
        *error = "truncated BMP header";
        return false;
    }
    const uint32_t offset = GetU32(headers + 10);
    const int32_t width = static_cast<int32_t>(GetU32(headers + 18));
    const int32_t height = static_cast<int32_t>(GetU32(headers + 22));
    if (GetU16(headers + 28) != 24 || GetU32(headers + 30) != 0 || width <= 0 || height == 0 ||
        width > kMaxSide || height > kMaxSide || height < -kMaxSide) {
        *error = "not a 24-bit uncompressed BMP";
        return false;
    }
    const int32_t rows = height < 0 ? -height : height;
    std::vector<uint8_t> bits(DibStride(width) * rows);
    if (std::fseek(file, offset, SEEK_SET) != 0 || std::fread(bits.data(), 1, bits.size(), file) != bits.size()) {
        *error = "truncated BMP pixels";
        return false;
    }
    if (height > 0) {
        *image = ImageFromDib(width, rows, bits.data());
        return true;
    }
    // Top-down rows: read them as bottom-up and turn the picture over.
    RgbImage flipped = ImageFromDib(width, rows, bits.data());
    image->width = width;
    image->height = rows;
    image->rgb.resize(flipped.rgb.size());
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(&image->rgb[y * rowBytes], &flipped.rgb[(rows - 1 - y) * rowBytes], rowBytes);
    }
    return true;
}

}  // namespace

RgbImage ImageFromDib(int32_t width, int32_t height, const uint8_t *bits)
{
    RgbImage image;
    image.width = width;
    image.height = height;
    image.rgb.resize(static_cast<size_t>(width) * height * 3);
    const size_t stride = DibStride(width);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *source = bits + static_cast<size_t>(height - 1 - y) * stride;
        uint8_t *target = &image.rgb[static_cast<size_t>(y) * width * 3];
        for (int32_t x = 0; x < width; ++x) {
            target[0] = source[2];
            target[1] = source[1];
            target[2] = source[0];
            source += 3;
            target += 3;
        }
    }
    return image;
}

namespace {

bool WritePngStream(FILE *file, const RgbImage &image, std::string *error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        *error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *error = "cannot write the PNG";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < image.height; ++y) {
        png_write_row(png, image.rgb.data() + static_cast<size_t>(y) * image.width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePng(const std::string &path, const RgbImage &image, std::string *error)
{
    if (path == "-") {
        if (!WritePngStream(stdout, image, error)) return false;
        if (std::fflush(stdout) != 0) {
            *error = "cannot write to standard output";
            return false;
        }
        return true;
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        *error = "cannot create the file";
        return false;
    }
    if (!WritePngStream(file.get(), image, error)) return false;
    FILE *raw = file.release();
    if (std::fclose(raw) != 0) {
        *error = "cannot finish the file";
        return false;
    }
    return true;
}

bool WriteBmp(const std::string &path, const RgbImage &image, std::string *error)
{
    const size_t stride = DibStride(image.width);
    const size_t imageSize = stride * image.height;
    std::vector<uint8_t> bytes(kBmpFileHeaderBytes + kBmpInfoHeaderBytes + imageSize, 0);
    uint8_t *h = bytes.data();
    PutU16(h, 0x4D42);
    PutU32(h + 2, static_cast<uint32_t>(bytes.size()));
    PutU32(h + 10, kBmpFileHeaderBytes + kBmpInfoHeaderBytes);
    PutU32(h + 14, kBmpInfoHeaderBytes);
    PutU32(h + 18, static_cast<uint32_t>(image.width));
    PutU32(h + 22, static_cast<uint32_t>(image.height));
    PutU16(h + 26, 1);
    PutU16(h + 28, 24);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t *source = &image.rgb[static_cast<size_t>(y) * image.width * 3];
        uint8_t *target = h + kBmpFileHeaderBytes + kBmpInfoHeaderBytes + (image.height - 1 - y) * stride;
        for (int32_t x = 0; x < image.width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        *error = "cannot write the file";
        return false;
    }
    if (std::fclose(file.release()) != 0) {
        *error = "cannot finish the file";
        return false;
    }
    return true;
}

bool ReadImage(const std::string &path, RgbImage *image, std::string *error)
{
    FilePtr file(path == "-" ? std::tmpfile() : std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot open the file";
        return false;
    }
    if (path == "-") {  // standard input cannot seek: read it into a temporary file first
        char buffer[65536];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) std::fwrite(buffer, 1, got, file.get());
        std::rewind(file.get());
    }
    uint8_t signature[8] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, file.get());
    std::rewind(file.get());
    if (got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0) {
        return ReadPng(file.get(), image, error);
    }
    if (got >= 2 && signature[0] == 'B' && signature[1] == 'M') return ReadBmp(file.get(), image, error);
    *error = "neither PNG nor BMP";
    return false;
}
