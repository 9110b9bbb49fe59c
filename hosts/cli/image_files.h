// Reading and writing the pictures the converter produces: 24-bit DIB rows
// as PNG (through libpng) or BMP files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture as top-down rows of RGB bytes.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3
};

// A 24-bit DIB as the module hands it over: bottom-up, 4-byte-padded BGR rows.
struct DibPicture {
    int32_t width;
    int32_t height;
    const uint8_t *bits;
};

// Converts a DIB to an RgbImage; one top-down row of it to RGB bytes.
RgbImage ImageFromDib(int32_t width, int32_t height, const uint8_t *bits);
void DibRowAsRgb(const DibPicture &picture, int32_t y, uint8_t *rgb);

// "-" as the path writes the PNG to standard output. The DIB forms write
// straight from the module's rows, without a copy of the picture.
bool WritePng(const std::string &path, const DibPicture &picture, std::string *error);
bool WriteBmp(const std::string &path, const DibPicture &picture, std::string *error);
bool WritePng(const std::string &path, const RgbImage &image, std::string *error);
bool WriteBmp(const std::string &path, const RgbImage &image, std::string *error);
// Reads a PNG or a 24-bit uncompressed BMP, chosen by the file's signature;
// "-" reads standard input.
bool ReadImage(const std::string &path, RgbImage *image, std::string *error);
