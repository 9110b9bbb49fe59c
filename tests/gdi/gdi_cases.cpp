#include "tests/gdi/gdi_cases.h"

#include "platform/dib_rows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/win32.h"

namespace {

COLORREF ParseColor(const std::string &hex)
{
    const unsigned long rgb = std::strtoul(hex.c_str(), nullptr, 16);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

std::string FromHex(const std::string &hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

int Int(const std::vector<std::string> &op, size_t i) { return i < op.size() ? std::atoi(op[i].c_str()) : 0; }

std::string *ddaLog = nullptr;

void CALLBACK RecordDdaPoint(int x, int y, LPARAM data)
{
    (void)data;
    char text[32];
    std::snprintf(text, sizeof text, " %d,%d", x, y);
    *ddaLog += text;
}

size_t Stride(int width) { return DibRowStride(static_cast<uint64_t>(width), 3); }

}  // namespace

std::vector<GdiCase> ParseGdiCases(const std::string &text)
{
    std::vector<GdiCase> cases;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::vector<std::string> op;
        for (std::string word; words >> word;) op.push_back(word);
        if (op.empty()) continue;
        if (op[0] == "case" && op.size() == 4) {
            GdiCase c;
            c.name = op[1];
            c.width = std::atoi(op[2].c_str());
            c.height = std::atoi(op[3].c_str());
            cases.push_back(c);
        } else if (!cases.empty()) {
            cases.back().ops.push_back(op);
        }
    }
    return cases;
}

GdiCaseResult RunGdiCase(const GdiCase &c)
{
    GdiCaseResult result;
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr) return result;
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    HGDIOBJ oldBrush = SelectObject(dc, white);
    PatBlt(dc, 0, 0, c.width, c.height, PATCOPY);
    SelectObject(dc, oldBrush);
    DeleteObject(white);

    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    HGDIOBJ originalFont = nullptr;
    HGDIOBJ originalPen = nullptr;
    HGDIOBJ originalBrush = nullptr;
    ddaLog = &result.ddaPoints;
    for (const std::vector<std::string> &op : c.ops) {
        const std::string &verb = op[0];
        if (verb == "pen" && op.size() >= 3) {
            HPEN next = CreatePen(PS_SOLID, Int(op, 1), ParseColor(op[2]));
            HGDIOBJ previous = SelectObject(dc, next);
            if (originalPen == nullptr) originalPen = previous;
            if (pen != nullptr) DeleteObject(pen);
            pen = next;
        } else if ((verb == "brush" && op.size() >= 2) || verb == "nullbrush") {
            HBRUSH next =
                verb == "brush" ? CreateSolidBrush(ParseColor(op[1])) : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
            HGDIOBJ previous = SelectObject(dc, next);
            if (originalBrush == nullptr) originalBrush = previous;
            if (brush != nullptr) DeleteObject(brush);
            brush = verb == "brush" ? next : nullptr;
        } else if (verb == "move") {
            MoveToEx(dc, Int(op, 1), Int(op, 2), nullptr);
        } else if (verb == "line") {
            LineTo(dc, Int(op, 1), Int(op, 2));
        } else if (verb == "dda") {
            result.ddaPoints += (result.ddaPoints.empty() ? "" : " |");
            LineDDA(Int(op, 1), Int(op, 2), Int(op, 3), Int(op, 4), RecordDdaPoint, 0);
        } else if (verb == "polygon") {
            std::vector<POINT> points;
            for (size_t i = 1; i + 1 < op.size(); i += 2) points.push_back({Int(op, i), Int(op, i + 1)});
            Polygon(dc, points.data(), static_cast<int>(points.size()));
        } else if (verb == "font" && op.size() >= 5) {
            // The face comes as Shift-JIS bytes in hexadecimal, converted as the module converts it.
            const std::string face = FromHex(op[4]);
            WCHAR wide[64] = {};
            MultiByteToWideChar(932, 0, face.c_str(), static_cast<int>(face.size()), wide, 63);
            HFONT next =
                CreateFontW(Int(op, 1), Int(op, 2), Int(op, 3), 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, wide);
            HGDIOBJ previous = SelectObject(dc, next);
            if (originalFont == nullptr) originalFont = previous;
            if (font != nullptr) DeleteObject(font);
            font = next;
        } else if (verb == "textcolor" && op.size() >= 2) {
            SetTextColor(dc, ParseColor(op[1]));
        } else if (verb == "transparent") {
            SetBkMode(dc, TRANSPARENT);
        } else if (verb == "text" && op.size() >= 4) {
            const std::string bytes = FromHex(op[3]);
            TextOutA(dc, Int(op, 1), Int(op, 2), bytes.c_str(), static_cast<int>(bytes.size()));
        } else if (verb == "ellipse") {
            Ellipse(dc, Int(op, 1), Int(op, 2), Int(op, 3), Int(op, 4));
        }
    }
    ddaLog = nullptr;
    if (originalPen != nullptr) SelectObject(dc, originalPen);
    if (originalBrush != nullptr) SelectObject(dc, originalBrush);
    if (originalFont != nullptr) SelectObject(dc, originalFont);
    if (font != nullptr) DeleteObject(font);
    if (pen != nullptr) DeleteObject(pen);
    if (brush != nullptr) DeleteObject(brush);

    result.bgr.assign(Stride(c.width) * c.height, 0);
    info.bmiHeader.biBitCount = 24;
    result.ok =
        GetDIBits(dc, bitmap, 0, static_cast<UINT>(c.height), result.bgr.data(), &info, DIB_RGB_COLORS) == c.height;
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return result;
}

bool WriteCaseBmp(const std::string &path, const GdiCase &c, const GdiCaseResult &result)
{
    uint8_t header[54] = {'B', 'M'};
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(2, static_cast<uint32_t>(sizeof header + result.bgr.size()));
    put32(10, sizeof header);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(c.width));
    put32(22, static_cast<uint32_t>(c.height));
    header[26] = 1;
    header[28] = 24;
    FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header &&
              std::fwrite(result.bgr.data(), 1, result.bgr.size(), out) == result.bgr.size();
    ok = std::fclose(out) == 0 && ok;
    return ok;
}
