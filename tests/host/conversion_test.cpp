// End to end through the exports, natively: sizes, header, background,
// result codes, cancellation, offsets, and that nothing outlives a request.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "plugin/module_api.h"
#include "plugin/plugin_api.h"
#include "platform/portable/platform_diagnostics.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"
#include "pipeline/module_state.h"
#include "render/scene_walk.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

std::vector<uint8_t> EmptyDrawing() { return MakeEmptyDrawing(DrawingOptions{}); }

std::vector<uint8_t> MinimalFigure() { return MakeMinimalFigure(); }

class Conversions : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
        ResetDetectionState();
        SetRasterWidth(0);
    }
    void TearDown() override { SetRasterWidth(0); }
    TempFolder folder;
};

struct ProgressLog {
    int calls = 0;
    int stopAt = -1;
    int numerators[4] = {};
};

int WINAPI RecordProgress(int numerator, int denominator, LONG_PTR data)
{
    auto *log = reinterpret_cast<ProgressLog *>(data);
    EXPECT_EQ(denominator, 1);
    if (log->calls < 4) log->numerators[log->calls] = numerator;
    return log->calls++ == log->stopAt ? 1 : 0;
}

TEST_F(Conversions, DrawingGivesABackgroundRasterOfTheDesktopWidth)
{
    const std::string path = folder.Write("plan.jww", EmptyDrawing());
    PictureInfo info;
    std::memset(&info, 0x7f, sizeof info);
    ASSERT_EQ(GetPictureInfo(path.c_str(), 0, 0, &info), 0);
    EXPECT_EQ(info.left, 0);
    EXPECT_EQ(info.top, 0);
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1357);
    EXPECT_EQ(info.xDensity, 0);
    EXPECT_EQ(info.yDensity, 0);
    EXPECT_EQ(info.colorDepth, 24);
    EXPECT_EQ(info.hInfo, nullptr);

    ProgressLog log;
    const Conversion c = ConvertFile(path, false, 0, RecordProgress, reinterpret_cast<LONG_PTR>(&log));
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(log.calls, 2);
    EXPECT_EQ(log.numerators[0], 0);
    EXPECT_EQ(log.numerators[1], 1);
    EXPECT_EQ(c.header.biSize, 40u);
    EXPECT_EQ(c.header.biWidth, 1920);
    EXPECT_EQ(c.header.biHeight, 1357);
    EXPECT_EQ(c.header.biPlanes, 1);
    EXPECT_EQ(c.header.biBitCount, 24);
    EXPECT_EQ(c.header.biCompression, 0u);
    EXPECT_EQ(c.header.biSizeImage, 0u);
    EXPECT_EQ(c.header.biXPelsPerMeter, 5000);
    EXPECT_EQ(c.header.biYPelsPerMeter, 5000);
    EXPECT_EQ(c.header.biClrUsed, 0u);
    EXPECT_EQ(c.bits.size(), 5760u * 1357u);
    EXPECT_TRUE(AllPixelsAre(c, kWhite));
}

TEST_F(Conversions, PreviewsAndFiguresHaveTheirOwnWidths)
{
    const std::string drawing = folder.Write("plan.jww", EmptyDrawing());
    Conversion c = ConvertFile(drawing, true);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.width, 320);
    EXPECT_EQ(c.height, 226);
    EXPECT_EQ(c.bits.size(), 960u * 226u);
    EXPECT_TRUE(AllPixelsAre(c, kWhite));

    const std::string figure = folder.Write("part.jws", MinimalFigure());
    c = ConvertFile(figure);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.width, 960);
    EXPECT_EQ(c.height, 678);
    EXPECT_TRUE(BackgroundAndReferenceMark(c, kWhite));  // a figure without CAD settings is white
}

TEST_F(Conversions, ARequestedWidthHoldsForBothKindsButNotForPreviews)
{
    const std::string drawing = folder.Write("plan.jww", EmptyDrawing());
    const std::string figure = folder.Write("part.jws", MinimalFigure());
    EXPECT_EQ(SetRasterWidth(kMinRequestedWidth - 1), -1);
    EXPECT_EQ(SetRasterWidth(kMaxRequestedWidth + 1), -1);
    EXPECT_EQ(ConvertFile(drawing).width, 1920);  // a refused width changes nothing
    ASSERT_EQ(SetRasterWidth(256), 0);
    Conversion c = ConvertFile(drawing);
    EXPECT_EQ(c.width, 256);
    EXPECT_EQ(c.height, 180);
    EXPECT_EQ(ConvertFile(figure).width, 256);
    EXPECT_EQ(ConvertFile(drawing, true).width, 320);
    PictureInfo info = {};
    ASSERT_EQ(GetPictureInfo(drawing.c_str(), 0, 0, &info), 0);
    EXPECT_EQ(info.width, 256);
    SetRasterWidth(0);
    EXPECT_EQ(ConvertFile(figure).width, 960);
}

TEST_F(Conversions, DescriptionsCountTheRecordsOfMemoryImages)
{
    const std::vector<uint8_t> drawing = MakeShowcaseDrawing();
    DrawingDescription d = {};
    ASSERT_EQ(DescribeDrawing(drawing.data(), static_cast<LONG_PTR>(drawing.size()), &d), kResultSuccess);
    EXPECT_EQ(d.format, kFormatDrawing);
    EXPECT_GT(d.counts.lines, 0u);
    EXPECT_GT(d.counts.blockDefs, 0u);
    EXPECT_LT(d.topLevel.lines, d.counts.lines);  // some lines belong to blocks
    const std::vector<uint8_t> figure = MakeMinimalFigure();
    ASSERT_EQ(DescribeDrawing(figure.data(), static_cast<LONG_PTR>(figure.size()), &d), kResultSuccess);
    EXPECT_EQ(d.format, kFormatFigure);

    Request().source.path = "/somewhere/Plotmira.jww";  // the host's last name survives a description
    const std::vector<uint8_t> cut(drawing.begin(), drawing.begin() + 100);
    EXPECT_EQ(DescribeDrawing(cut.data(), static_cast<LONG_PTR>(cut.size()), &d), kResultBrokenData);
    EXPECT_EQ(Request().source.path, "/somewhere/Plotmira.jww");
    const std::vector<uint8_t> text(200, 'x');
    EXPECT_EQ(DescribeDrawing(text.data(), static_cast<LONG_PTR>(text.size()), &d), kResultUnknownFormat);
    EXPECT_EQ(DescribeDrawing(drawing.data(), 10, &d), kResultUnknownFormat);
    EXPECT_EQ(DescribeDrawing(nullptr, 1000, &d), kResultUnknownFormat);
}

TEST_F(Conversions, BadInputsAnswerResultCodes)
{
    HLOCAL info = nullptr, bits = nullptr;
    PictureInfo pictureInfo = {};
    // Missing file: a read error.
    const std::string missing = folder.Path("missing.jww");
    EXPECT_EQ(GetPicture(missing.c_str(), 0, 0, &info, &bits, nullptr, 0), 6);
    EXPECT_EQ(GetPictureInfo(missing.c_str(), 0, 0, &pictureInfo), 6);

    // 57 bytes of a drawing: too short to be one.
    std::vector<uint8_t> drawing = EmptyDrawing();
    const std::string shortFile =
        folder.Write("short.jww", std::vector<uint8_t>(drawing.begin(), drawing.begin() + 57));
    EXPECT_EQ(GetPicture(shortFile.c_str(), 0, 0, &info, &bits, nullptr, 0), 2);
    EXPECT_EQ(GetPictureInfo(shortFile.c_str(), 0, 0, &pictureInfo), 2);

    // A foreign file under a drawing's name, and a drawing under a foreign name.
    const std::string foreign = folder.Write("photo.jww", std::vector<uint8_t>(4096, 0x89));
    EXPECT_EQ(GetPicture(foreign.c_str(), 0, 0, &info, &bits, nullptr, 0), 2);
    const std::string renamed = folder.Write("plan.png", drawing);
    EXPECT_EQ(GetPicture(renamed.c_str(), 0, 0, &info, &bits, nullptr, 0), 2);

    // A drawing header that ends before the reader's minimum fails the conversion.
    const std::string truncated =
        folder.Write("cut.jww", std::vector<uint8_t>(drawing.begin(), drawing.begin() + 1000));
    EXPECT_EQ(GetPicture(truncated.c_str(), 0, 0, &info, &bits, nullptr, 0), 5);

    // Memory input too short, or not a drawing by its first bytes.
    EXPECT_EQ(GetPicture(reinterpret_cast<LPCSTR>(drawing.data()), 57, 1, &info, &bits, nullptr, 0), 2);
    EXPECT_EQ(GetPictureInfo(reinterpret_cast<LPCSTR>(drawing.data()), 57, 1, &pictureInfo), 2);
    const std::vector<uint8_t> foreignBytes(4096, 0x89);
    EXPECT_EQ(GetPicture(reinterpret_cast<LPCSTR>(foreignBytes.data()), 4096, 1, &info, &bits, nullptr, 0), 2);
    EXPECT_EQ(GetPicture(reinterpret_cast<LPCSTR>(drawing.data()), -5, 1, &info, &bits, nullptr, 0), 2);
    // A folder is not a file.
    EXPECT_EQ(GetPicture(folder.Path("").c_str(), 0, 0, &info, &bits, nullptr, 0), 6);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
}

TEST_F(Conversions, ProgressCallbackCancels)
{
    const std::string path = folder.Write("plan.jww", EmptyDrawing());
    HLOCAL sentinel = reinterpret_cast<HLOCAL>(uintptr_t{0x1234});
    HLOCAL info = sentinel, bits = sentinel;
    ProgressLog atStart;
    atStart.stopAt = 0;
    EXPECT_EQ(GetPicture(path.c_str(), 0, 0, &info, &bits, RecordProgress, reinterpret_cast<LONG_PTR>(&atStart)), 1);
    EXPECT_EQ(info, sentinel);  // nothing was allocated or handed over
    EXPECT_EQ(bits, sentinel);

    ProgressLog atEnd;
    atEnd.stopAt = 1;
    ASSERT_EQ(GetPicture(path.c_str(), 0, 0, &info, &bits, RecordProgress, reinterpret_cast<LONG_PTR>(&atEnd)), 1);
    // Cancelled at the end, the finished raster is already the host's.
    ASSERT_NE(info, sentinel);
    EXPECT_EQ(static_cast<BITMAPINFOHEADER *>(LocalLock(info))->biWidth, 1920);
    LocalUnlock(info);
    EXPECT_EQ(LocalFree(info), nullptr);
    EXPECT_EQ(LocalFree(bits), nullptr);
}

TEST_F(Conversions, OffsetSelectsWhereTheImageBegins)
{
    std::vector<uint8_t> bytes(100, 'x');
    const std::vector<uint8_t> drawing = EmptyDrawing();
    bytes.insert(bytes.end(), drawing.begin(), drawing.end());
    const std::string path = folder.Write("wrapped.jww", bytes);
    PictureInfo info = {};
    EXPECT_EQ(GetPictureInfo(path.c_str(), 100, 0, &info), 0);
    EXPECT_EQ(ConvertFile(path, false, 100).result, 0);
    EXPECT_EQ(ConvertFile(path, false, 0).result, 2);
    EXPECT_EQ(ConvertFile(path, false, -1).result, 6);
    EXPECT_EQ(ConvertFile(path, false, static_cast<LONG_PTR>(bytes.size()) - 57).result, 2);
    EXPECT_EQ(ConvertFile(path, false, static_cast<LONG_PTR>(bytes.size()) + 10).result, 2);
}

TEST_F(Conversions, ARasterTooLargeToHandOutIsOutOfMemory)
{
    const std::string path = folder.Write("plan.jww", EmptyDrawing());
    setenv("PLOTMIRA_DESKTOP_WIDTH", "40000", 1);
    EXPECT_EQ(ConvertFile(path).result, 4);
    EXPECT_EQ(ConvertFile(path, true).result, 0);  // the preview is still 320 wide
}

TEST_F(Conversions, RequestsLeaveNoObjectsWindowsOrBlocksBehind)
{
    const std::string drawing = folder.Write("plan.jww", EmptyDrawing());
    const std::string figure = folder.Write("part.jws", MinimalFigure());
    const std::string foreign = folder.Write("photo.jww", std::vector<uint8_t>(4096, 0));
    ConvertFile(drawing, true);  // first use creates the process-wide class and stock objects
    const PlatformLiveCounts before = GetPlatformLiveCounts();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(ConvertFile(drawing, true).result, 0);
        EXPECT_EQ(ConvertFile(figure, true).result, 0);
        EXPECT_EQ(ConvertFile(foreign, true).result, 2);
    }
    const PlatformLiveCounts after = GetPlatformLiveCounts();
    EXPECT_EQ(after.windows, 0u);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.memoryBlocks, before.memoryBlocks);
    EXPECT_EQ(after.files, before.files);
}

// A conversion of the bytes of a file handed over in memory.
Conversion ConvertMemory(const std::vector<uint8_t> &bytes, bool preview = false)
{
    Conversion conversion;
    HLOCAL info = nullptr, bits = nullptr;
    const auto *source = reinterpret_cast<LPCSTR>(bytes.data());
    conversion.result = preview ? GetPreview(source, static_cast<LONG_PTR>(bytes.size()), 1, &info, &bits, nullptr, 0)
                                : GetPicture(source, static_cast<LONG_PTR>(bytes.size()), 1, &info, &bits, nullptr, 0);
    if (conversion.result == 0) {
        const auto *header = static_cast<const BITMAPINFOHEADER *>(LocalLock(info));
        conversion.width = header->biWidth;
        conversion.height = header->biHeight;
        const auto *b = static_cast<const uint8_t *>(LocalLock(bits));
        conversion.bits.assign(b, b + LocalSize(bits));
        LocalFree(info);
        LocalFree(bits);
    }
    return conversion;
}

TEST_F(Conversions, MemoryImagesConvertLikeTheirFiles)
{
    // A real drawing where the corpus is there; else the showcase.
    const std::string corpus = CorpusDir() + "/raw/monozukuri-ai__ezjww/Test2.jww";
    std::vector<uint8_t> bytes;
    if (FILE *file = std::fopen(corpus.c_str(), "rb")) {
        uint8_t buffer[65536];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(file);
    }
    if (bytes.empty()) {
        if (CorpusRequired()) ADD_FAILURE() << "corpus file missing: " << corpus;
        bytes = MakeShowcaseDrawing();
    }
    const std::string path = folder.Write("plan.jww", bytes);
    const Conversion fromFile = ConvertFile(path);
    const Conversion fromMemory = ConvertMemory(bytes);
    ASSERT_EQ(fromFile.result, 0);
    ASSERT_EQ(fromMemory.result, 0);
    EXPECT_EQ(fromMemory.width, fromFile.width);
    EXPECT_TRUE(fromMemory.bits == fromFile.bits);
    PictureInfo info = {};
    EXPECT_EQ(GetPictureInfo(reinterpret_cast<LPCSTR>(bytes.data()), static_cast<LONG_PTR>(bytes.size()), 1, &info), 0);
    EXPECT_EQ(info.width, 1920);
    const std::vector<uint8_t> figure = MakeShowcaseFigure();
    const Conversion figureFromMemory = ConvertMemory(figure, true);
    ASSERT_EQ(figureFromMemory.result, 0);
    EXPECT_EQ(figureFromMemory.width, 320);

    // Without a name, the file macros expand to nothing and no settings file applies.
    const std::vector<uint8_t> macros = MakeMacroDrawing();
    const std::string named = folder.Write("macros.jww", macros);
    const Conversion withName = ConvertFile(named);
    const Conversion nameless = ConvertMemory(macros);
    ASSERT_EQ(nameless.result, 0);
    EXPECT_FALSE(withName.bits == nameless.bits);
    EXPECT_EQ(Request().source.path, named);  // the host's name is back for the next request
}

TEST_F(Conversions, UnicodeExportsOpenAnyName)
{
    const std::vector<uint8_t> macros = MakeMacroDrawing();
    const std::string utf8Name = "\xe5\x9b\xb3\xe9\x9d\xa2.jww";  // 図面.jww
    const std::string path = folder.Write(utf8Name, macros);
    std::u16string wide;
    for (char c : folder.Path("")) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    wide += u"\u56f3\u9762.jww";
    EXPECT_EQ(IsSupportedW(wide.c_str(), macros.data()), 1);
    EXPECT_EQ(Request().source.path, path);
    PictureInfo info = {};
    EXPECT_EQ(GetPictureInfoW(wide.c_str(), 0, 0, &info), 0);
    HLOCAL infoBlock = nullptr, bits = nullptr;
    ASSERT_EQ(GetPictureW(wide.c_str(), 0, 0, &infoBlock, &bits, nullptr, 0), 0);
    LocalFree(infoBlock);
    LocalFree(bits);
    ASSERT_EQ(GetPreviewW(wide.c_str(), 0, 0, &infoBlock, &bits, nullptr, 0), 0);
    LocalFree(infoBlock);
    LocalFree(bits);
    // The file-name macro shows the name in the drawing's Shift-JIS text.
    {
        const ModuleDrawing carried;  // the plug-in's drawing as the next request starts it
        SceneWalk walk(carried.drawing);
        EXPECT_EQ(walk.ExpandTextMacro("%f", 0), 1);
        EXPECT_STREQ(walk.macroBuffer, "\x90\x7d\x96\xca.jww");
    }
    WCHAR text[32];
    EXPECT_EQ(GetPluginInfoW(5, text, 32), 17);  // UTF-16 units
    EXPECT_EQ(text[7], 0x56f3);                  // 図
    EXPECT_EQ(GetPluginInfoW(1, text, 5), 4);
    EXPECT_EQ(text[4], 0);
    EXPECT_EQ(GetPluginInfoW(6, text, 32), 0);
}

TEST_F(Conversions, AThousandMixedConversionsLeaveNothingBehind)
{
    const std::vector<uint8_t> good = MakeShowcaseDrawing();
    std::vector<uint8_t> damaged = good;
    for (size_t i = 900; i < damaged.size(); i += 97) damaged[i] ^= 0x5A;
    const std::vector<std::string> inputs = {
        folder.Write("good.jww", good),
        folder.Write("figure.jws", MakeShowcaseFigure()),
        folder.Write("damaged.jww", damaged),
        folder.Write("cut.jww", std::vector<uint8_t>(good.begin(), good.begin() + 3000)),
        folder.Write("foreign.jww", std::vector<uint8_t>(5000, 0x42)),
        folder.Write("macros.jww", MakeMacroDrawing())};
    for (const std::string &input : inputs) ConvertFile(input, true);
    const PlatformLiveCounts before = GetPlatformLiveCounts();
    for (int i = 0; i < 1000; ++i) {
        const std::string &input = inputs[static_cast<size_t>(i) % inputs.size()];
        const int result = ConvertFile(input, true).result;
        ASSERT_TRUE(result == 0 || result == 2 || result == 5) << input;
        if (i % 7 == 0) ConvertMemory(good, true);
    }
    const PlatformLiveCounts after = GetPlatformLiveCounts();
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.memoryBlocks, before.memoryBlocks);
    EXPECT_EQ(after.files, before.files);
}

TEST_F(Conversions, SharedLibrariesExportTheirInterfacesOnly)
{
    // libplotmira.so.2: the library's interface, nothing of the plug-in's.
    void *shared = dlopen(PLOTMIRA_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(shared, nullptr) << dlerror();
    EXPECT_NE(dlsym(shared, "plotmira_open_memory"), nullptr);
    EXPECT_NE(dlsym(shared, "plotmira_render"), nullptr);
    for (const char *name : {"GetPicture", "IsSupported", "LocalFree", "LocalAlloc", "DescribeDrawing"}) {
        EXPECT_EQ(dlsym(shared, name), nullptr) << name;
    }
    dlclose(shared);
    // libplotmira-susie.so: the plug-in's exports and the blocks' calls.
    void *library = dlopen(PLOTMIRA_SUSIE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using InfoFn = int (*)(int, char *, int);
    using SupportedFn = int (*)(const char *, const void *);
    using PictureFn = int (*)(const char *, LONG_PTR, unsigned, HLOCAL *, HLOCAL *, ProgressCallback, LONG_PTR);
    using FreeFn = HLOCAL (*)(HLOCAL);
    auto info = reinterpret_cast<InfoFn>(dlsym(library, "GetPluginInfo"));
    auto supported = reinterpret_cast<SupportedFn>(dlsym(library, "IsSupported"));
    auto picture = reinterpret_cast<PictureFn>(dlsym(library, "GetPicture"));
    auto preview = reinterpret_cast<PictureFn>(dlsym(library, "GetPreview"));
    auto free = reinterpret_cast<FreeFn>(dlsym(library, "LocalFree"));
    ASSERT_TRUE(info && supported && picture && preview && free && dlsym(library, "GetPictureInfo"));
    EXPECT_EQ(dlsym(library, "plotmira_open_memory"), nullptr);  // the library's interface is libplotmira's
    EXPECT_EQ(dlsym(library, "DescribeDrawing"), nullptr);       // internals stay hidden
    EXPECT_EQ(dlsym(library, "SetRasterWidth"), nullptr);
    EXPECT_EQ(dlsym(library, "ReadDrawingFile"), nullptr);

    char text[16];
    EXPECT_EQ(info(0, text, sizeof text), 4);
    EXPECT_STREQ(text, "00IN");
    const std::vector<uint8_t> drawing = EmptyDrawing();
    const std::string path = folder.Write("plan.jww", drawing);
    EXPECT_EQ(supported(path.c_str(), drawing.data()), 1);
    HLOCAL infoBlock = nullptr, bitsBlock = nullptr;
    ASSERT_EQ(preview(path.c_str(), 0, 0, &infoBlock, &bitsBlock, nullptr, 0), 0);
    EXPECT_EQ(free(infoBlock), nullptr);
    EXPECT_EQ(free(bitsBlock), nullptr);
    dlclose(library);
}

}  // namespace
