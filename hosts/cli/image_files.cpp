#include "hosts/cli/image_files.h"
#include "plotmira.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace {

constexpr size_t kBmpFileHeaderBytes = 14;
constexpr size_t kBmpInfoHeaderBytes = 40;
constexpr int32_t kMaxSide = 1 << 16;

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

size_t DibStride(int32_t width) { return plotmira_row_bytes(PLOTMIRA_PIXELS_BGR24_DIB, width); }

void PutU16(uint8_t *at, uint16_t v)
{
    at[0] = v & 0xFF;
    at[1] = v >> 8;
}
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
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        png_get_rowbytes(png, info) != width * 3) {
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
    if (GetU16(headers + 28) != 24 || GetU32(headers + 30) != 0 || width <= 0 || height == 0 || width > kMaxSide ||
        height > kMaxSide || height < -kMaxSide) {
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
    for (int32_t y = 0; y < height; ++y)
        DibRowAsRgb({width, height, bits}, y, &image.rgb[static_cast<size_t>(y) * width * 3]);
    return image;
}

void DibRowAsRgb(const DibPicture &picture, int32_t y, uint8_t *rgb)
{
    const uint8_t *source = picture.bits + static_cast<size_t>(picture.height - 1 - y) * DibStride(picture.width);
    for (int32_t x = 0; x < picture.width; ++x, source += 3, rgb += 3) {
        rgb[0] = source[2];
        rgb[1] = source[1];
        rgb[2] = source[0];
    }
}

namespace {

constexpr size_t kMaxPaletteColors = 256;

// Drawings have few colours: as palette indices the picture is a third of
// the bytes to compress. Answers false (indices unusable) beyond 256 colours.
bool IndexColors(const DibPicture &picture, std::vector<png_color> *palette, std::vector<uint8_t> *indices)
{
    std::unordered_map<uint32_t, uint8_t> known;
    indices->resize(static_cast<size_t>(picture.width) * picture.height);
    uint32_t last = 0xFFFFFFFFu;  // no colour: the first pixel always looks up
    uint8_t lastIndex = 0;
    uint8_t *index = indices->data();
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t *pixel = picture.bits + static_cast<size_t>(picture.height - 1 - y) * DibStride(picture.width);
        for (int32_t x = 0; x < picture.width; ++x, pixel += 3) {
            // Four bytes at once, but never past the row's last pixel.
            uint32_t color = 0;
            if (x + 1 < picture.width) {
                std::memcpy(&color, pixel, sizeof color);
                color &= 0xFFFFFFu;
            } else {
                color = uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
            }
            if (color != last) {
                auto found = known.find(color);
                if (found == known.end()) {
                    if (palette->size() == kMaxPaletteColors) return false;
                    found = known.emplace(color, static_cast<uint8_t>(palette->size())).first;
                    palette->push_back(png_color{pixel[2], pixel[1], pixel[0]});
                }
                last = color;
                lastIndex = found->second;
            }
            *index++ = lastIndex;
        }
    }
    return true;
}

// Few colours take fewer bits an index: 1, 2, 4 or 8.
int PaletteBitDepth(size_t colors) { return colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8; }

bool WritePngRows(FILE *file, const DibPicture &picture, bool indexed, const std::vector<png_color> &palette,
                  const std::vector<uint8_t> &indices, std::vector<uint8_t> *row, std::string *error)
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
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    const int depth = indexed ? PaletteBitDepth(palette.size()) : 8;
    if (indexed && depth == 8) {
        png_set_compression_level(png, 1);
        png_set_compression_strategy(png, Z_RLE);
    } else {
        png_set_compression_level(png, indexed ? 3 : 6);
    }
    png_set_IHDR(png, info, picture.width, picture.height, depth, indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    if (depth < 8) png_set_packing(png);  // one index a byte in, packed in the file
    for (int32_t y = 0; y < picture.height; ++y) {
        if (indexed) {
            png_write_row(png, &indices[static_cast<size_t>(y) * picture.width]);
        } else {
            DibRowAsRgb(picture, y, row->data());
            png_write_row(png, row->data());
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// PNG as drawings compress best and fast, measured over the corpus: palette
// rows, no filter; up to 16 colours packed into 1, 2 or 4 bits an index at
// zlib level 3, up to 256 colours a byte an index with zlib's run-length
// strategy at level 1 (about a fifth of the time of libpng's defaults, and
// smaller files); more colours as RGB rows, unfiltered, at level 6.
bool WritePngStream(FILE *file, const DibPicture &picture, std::string *error)
{
    std::vector<png_color> palette;
    std::vector<uint8_t> indices;
    const bool indexed = IndexColors(picture, &palette, &indices);
    std::vector<uint8_t> row(indexed ? 0 : static_cast<size_t>(picture.width) * 3);
    return WritePngRows(file, picture, indexed, palette, indices, &row, error);
}

// The bottom-up, padded BGR rows of an RgbImage.
std::vector<uint8_t> DibBitsOf(const RgbImage &image)
{
    const size_t stride = DibStride(image.width);
    std::vector<uint8_t> bits(stride * image.height, 0);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t *source = &image.rgb[static_cast<size_t>(y) * image.width * 3];
        uint8_t *target = &bits[(image.height - 1 - y) * stride];
        for (int32_t x = 0; x < image.width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return bits;
}

}  // namespace

bool WritePng(const std::string &path, const DibPicture &picture, std::string *error)
{
    if (path == "-") {
        if (!WritePngStream(stdout, picture, error)) return false;
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
    if (!WritePngStream(file.get(), picture, error)) return false;
    if (std::fclose(file.release()) != 0) {
        *error = "cannot finish the file";
        return false;
    }
    return true;
}

// The DIB's rows are a BMP's rows: the headers, then the bits as they are.
bool WriteBmp(const std::string &path, const DibPicture &picture, std::string *error)
{
    const size_t imageSize = DibStride(picture.width) * picture.height;
    uint8_t h[kBmpFileHeaderBytes + kBmpInfoHeaderBytes] = {};
    PutU16(h, 0x4D42);
    PutU32(h + 2, static_cast<uint32_t>(sizeof h + imageSize));
    PutU32(h + 10, kBmpFileHeaderBytes + kBmpInfoHeaderBytes);
    PutU32(h + 14, kBmpInfoHeaderBytes);
    PutU32(h + 18, static_cast<uint32_t>(picture.width));
    PutU32(h + 22, static_cast<uint32_t>(picture.height));
    PutU16(h + 26, 1);
    PutU16(h + 28, 24);
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(h, 1, sizeof h, file.get()) != sizeof h ||
        std::fwrite(picture.bits, 1, imageSize, file.get()) != imageSize) {
        *error = "cannot write the file";
        return false;
    }
    if (std::fclose(file.release()) != 0) {
        *error = "cannot finish the file";
        return false;
    }
    return true;
}

bool WritePng(const std::string &path, const RgbImage &image, std::string *error)
{
    const std::vector<uint8_t> bits = DibBitsOf(image);
    return WritePng(path, DibPicture{image.width, image.height, bits.data()}, error);
}

bool WriteBmp(const std::string &path, const RgbImage &image, std::string *error)
{
    const std::vector<uint8_t> bits = DibBitsOf(image);
    return WriteBmp(path, DibPicture{image.width, image.height, bits.data()}, error);
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
