// Every drawing and figure of the corpus of real files is read to its last
// byte (a version-700 drawing to 4 bytes before it), with consistent counts;
// damaged copies end cleanly with what was read. Without the corpus the
// project's own drawings (the showcase drawing and figure, the macro
// drawing) take its place, and only what is about the real files skips.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/detection.h"
#include "pipeline/module_state.h"
#include "reader/archive.h"
#include "reader/document_readers.h"
#include "reader/drawing_store.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

constexpr size_t kVersion700Trailer = 4;  // the bytes a version-700 drawing has after its block definitions

struct CorpusFile {
    std::string path;
    std::vector<uint8_t> bytes;
    bool figure;
};

std::vector<CorpusFile> LoadCorpus()
{
    std::vector<CorpusFile> files;
    const std::string root = CorpusDir() + "/raw";
    DIR *top = opendir(root.c_str());
    if (top == nullptr) return files;
    while (dirent *folder = readdir(top)) {
        if (folder->d_name[0] == '.') continue;
        const std::string dir = root + "/" + folder->d_name;
        DIR *inner = opendir(dir.c_str());
        if (inner == nullptr) continue;
        while (dirent *entry = readdir(inner)) {
            if (entry->d_name[0] == '.') continue;
            CorpusFile file;
            file.path = dir + "/" + entry->d_name;
            std::ifstream in(file.path, std::ios::binary);
            file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (file.bytes.size() < 8 || !DetectFormat(file.path.c_str(), file.bytes.data())) continue;
            file.figure = Request().source.isFigure == 1;
            files.push_back(std::move(file));
        }
        closedir(inner);
    }
    closedir(top);
    return files;
}

// What the project writes itself, in the corpus's stead.
std::vector<CorpusFile> OwnDrawings()
{
    return {{"showcase.jww", MakeShowcaseDrawing(), false},
            {"showcase.jws", MakeShowcaseFigure(), true},
            {"macros.jww", MakeMacroDrawing(), false}};
}

// The last file read, in place as the plug-in reads it.
std::unique_ptr<ModuleDrawing> current;

// Its records and header.
const StoreTables &Store() { return current->drawing.store; }
const DocumentSettings &Header() { return current->drawing.header; }

int Read(const CorpusFile &file, const std::vector<uint8_t> &bytes)
{
    current.reset();
    current.reset(new ModuleDrawing);
    const int answer = current->Read(bytes.data(), bytes.size(), file.figure);
    EXPECT_NE(answer, kReadNoStore);
    return answer;
}

class Corpus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        corpus = new std::vector<CorpusFile>(LoadCorpus());
        real = !corpus->empty();
        if (!real) *corpus = OwnDrawings();
    }
    static void TearDownTestSuite() { delete corpus; }
    void SetUp() override
    {
        if (!real && CorpusRequired()) FAIL() << "no corpus at " << CorpusDir() << " (PLOTMIRA_REQUIRE_CORPUS=1)";
    }
    void TearDown() override { current.reset(); }
    static std::vector<CorpusFile> *corpus;
    static bool real;  // the corpus of real files, not the project's own drawings
};

std::vector<CorpusFile> *Corpus::corpus = nullptr;
bool Corpus::real = false;

TEST_F(Corpus, EveryFileIsReadToItsEnd)
{
    if (real) {
        EXPECT_GE(corpus->size(), 70u);
    }
    for (const CorpusFile &file : *corpus) {
        const int result = Read(file, file.bytes);
        EXPECT_GE(result, 0) << file.path;
        EXPECT_FALSE(Header().lastReadExhausted) << file.path;
        const size_t expectedEnd =
            !file.figure && Header().fileVersion == 700 ? file.bytes.size() - kVersion700Trailer : file.bytes.size();
        EXPECT_EQ(Header().lastReadEnd, expectedEnd) << file.path << " version " << Header().fileVersion;
        // Markers and owners agree: top-level records own 100000, members a definition.
        EXPECT_LE(Store().firstBlockLine, Store().lineCount + 1) << file.path;
        for (uint32_t i = 1; i <= Store().lineCount; ++i) {
            const bool topLevel = i < Store().firstBlockLine;
            EXPECT_EQ(Store().lines[i].owner == kTopLevelOwner, topLevel) << file.path << " line " << i;
            if (Store().lines[i].owner != kTopLevelOwner) break;
        }
        for (uint32_t i = 1; i <= Store().textCount; ++i) {
            ASSERT_NE(Store().texts[i].text, nullptr);
            ASSERT_NE(Store().texts[i].fontName, nullptr);
        }
        current.reset();
    }
}

TEST_F(Corpus, KnownCounts)
{
    if (!real) GTEST_SKIP() << "the counts of a real file: no corpus at " << CorpusDir();
    for (const CorpusFile &file : *corpus) {
        if (file.path.find("monozukuri-ai__ezjww/Test1.jww") == std::string::npos) continue;
        EXPECT_EQ(Read(file, file.bytes), 0);
        EXPECT_EQ(Store().lineCount, 1642u);
        EXPECT_EQ(Store().arcCount, 4u);
        EXPECT_EQ(Store().textCount, 36u);
        EXPECT_EQ(Store().pointCount, 4u);
        EXPECT_EQ(Store().dimensionCount, 0u);
        EXPECT_EQ(Store().firstBlockLine, 1643u);
        EXPECT_EQ(Store().firstBlockText, 37u);
        return;
    }
    FAIL() << "Test1.jww is not in the corpus";
}

TEST_F(Corpus, DamagedCopiesEndCleanly)
{
    // Truncations at many points and bytes flipped through the object stream:
    // every read ends, inside the data, with at most the records of the whole file.
    size_t filesTried = 0;
    for (const CorpusFile &file : *corpus) {
        if (file.bytes.size() > 40000 || ++filesTried > 12) continue;
        Read(file, file.bytes);
        const uint32_t wholeLines = Store().lineCount, wholeTexts = Store().textCount;
        current.reset();
        const size_t step = file.bytes.size() / 97 + 1;
        for (size_t cut = 0; cut < file.bytes.size(); cut += step) {
            std::vector<uint8_t> shorter(file.bytes.begin(), file.bytes.begin() + cut);
            if (Read(file, shorter) >= 0) {
                EXPECT_LE(Header().lastReadEnd, shorter.size());
            }
            EXPECT_LE(Store().lineCount, wholeLines) << file.path << " cut at " << cut;
            EXPECT_LE(Store().textCount, wholeTexts) << file.path << " cut at " << cut;
            current.reset();
        }
        uint32_t seed = 12345;
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<uint8_t> damaged = file.bytes;
            for (int flip = 0; flip < 8; ++flip) {
                seed = seed * 1103515245u + 12345u;
                damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(seed >> 24 | 1);
            }
            if (Read(file, damaged) >= 0) {
                EXPECT_LE(Header().lastReadEnd, damaged.size());
            }
            EXPECT_LE(Store().poolCursor, Store().textPoolBytes);
            current.reset();
        }
    }
}

TEST_F(Corpus, EveryFileConvertsToAPictureWithContent)
{
    TempFolder folder;
    for (const CorpusFile &file : *corpus) {
        // Under a plain name with the file's own extension (its case chooses the mode).
        const std::string extension = file.path.substr(file.path.size() - 4);
        const std::string path = folder.Write("drawing" + extension, file.bytes);
        const Conversion c = ConvertFile(path, true);
        ASSERT_EQ(c.result, 0) << file.path;
        bool content = false;
        for (size_t i = 3; i < c.bits.size() && !content; ++i) content = c.bits[i] != c.bits[i % 3];
        // The two converter templates hold only settings texts, placed a metre
        // below the paper where the CAD program keeps them out of sight.
        const bool offPaperOnly = file.path.find("template.jww") != std::string::npos;
        EXPECT_EQ(content, !offPaperOnly) << file.path;
    }
}

TEST_F(Corpus, DamagedCopiesConvertOrFailCleanly)
{
    TempFolder folder;
    size_t tried = 0;
    for (const CorpusFile &file : *corpus) {
        if (file.bytes.size() > 60000 || ++tried > 10) continue;
        const std::string extension = file.path.substr(file.path.size() - 4);
        uint32_t seed = 777;
        for (int trial = 0; trial < 25; ++trial) {
            std::vector<uint8_t> damaged = file.bytes;
            if (trial % 5 == 0) damaged.resize(damaged.size() * static_cast<size_t>(trial + 1) / 26);
            for (int flip = 0; flip < 6 && !damaged.empty(); ++flip) {
                seed = seed * 1103515245u + 12345u;
                damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(seed >> 24 | 1);
            }
            const std::string path = folder.Write("damaged" + extension, damaged);
            const int result = ConvertFile(path, true).result;
            EXPECT_TRUE(result == 0 || result == 2 || result == 5) << file.path << " trial " << trial << ": " << result;
        }
    }
}

}  // namespace
