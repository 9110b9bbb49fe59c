// Test-side writer of drawing (.jww) and figure (.jws) files: the archive's
// primitives and the document header, so tests build their inputs instead of
// keeping binary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ArchiveWriter {
public:
    void Byte(uint8_t v) { bytes_.push_back(v); }
    void Word(uint16_t v);
    void Dword(uint32_t v);
    void Double(double v);
    void Raw(const std::string &text);
    // The archive's string: a length byte and the bytes (short form).
    void ShortString(const std::string &text);
    // The archive's object count: a word, or 0xFFFF and a 32-bit count.
    void Count(uint32_t n);
    void Repeat(size_t times, uint32_t dword);
    void RepeatDoubles(size_t times, double v);
    const std::vector<uint8_t> &Bytes() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

struct DrawingOptions {
    uint32_t version = 600;
    std::string memo;
    uint32_t paperSize = 3;  // A3
    uint32_t backgroundColor = 0xFFFFFF;
};

// Writes the whole header of a drawing up to, not including, the main
// object list's count.
void WriteDrawingHeader(ArchiveWriter &out, const DrawingOptions &options);

// A drawing without objects or block definitions.
std::vector<uint8_t> MakeEmptyDrawing(const DrawingOptions &options);

// The start of a figure file: its magic and version, padded past the
// shortest input the exports accept. Enough for everything before reading.
std::vector<uint8_t> MakeMinimalFigure();

bool SaveFile(const std::string &path, const std::vector<uint8_t> &bytes);
