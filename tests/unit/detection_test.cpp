// Detection, the information texts and what IsSupported leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pipeline/detection.h"
#include "plugin/plugin_api.h"
#include "tests/host/test_files.h"

namespace {

const unsigned char kDrawingHead[] = "JwwData.\x58\x02\0\0";
const unsigned char kFigureHead[] = "JwsData.\x58\x02\0\0";

class Detection : public ::testing::Test {
protected:
    void SetUp() override { ResetDetectionState(); }
};

TEST_F(Detection, InformationTextsAreTheInterfaceTable)
{
    char buffer[64];
    const char *expected[] = {"00IN", "JWW to DIB(ver1.2)", "*.JWS", nullptr, "*.JWW", nullptr};
    for (int i = 0; i < 6; ++i) {
        std::memset(buffer, 'x', sizeof buffer);
        const int length = GetPluginInfo(i, buffer, sizeof buffer);
        EXPECT_EQ(length, static_cast<int>(std::strlen(buffer)));
        if (expected[i] != nullptr) {
            EXPECT_STREQ(buffer, expected[i]);
        }
    }
    // The format descriptions are Shift-JIS: 図形データ and 図面データ.
    GetPluginInfo(3, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Jw_win \x90\x7d\x8c\x60\x83\x66\x81\x5b\x83\x5e(JWS)");
    GetPluginInfo(5, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Jw_win \x90\x7d\x96\xca\x83\x66\x81\x5b\x83\x5e(JWW)");
}

TEST_F(Detection, InformationOutOfRangeOrTruncated)
{
    char buffer[16] = "untouched";
    EXPECT_EQ(GetPluginInfo(6, buffer, sizeof buffer), 0);
    EXPECT_EQ(GetPluginInfo(-1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetPluginInfo(1, buffer, 5), 4);
    EXPECT_STREQ(buffer, "JWW ");
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(GetPluginInfo(1, buffer, 0), 0);
    EXPECT_EQ(GetPluginInfo(1, nullptr, 10), 0);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(GetPluginInfo(0, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(Detection, NameEndingAndMagicMustAgree)
{
    EXPECT_EQ(DetectFormat("PLAN.JWW", kDrawingHead), 1);
    EXPECT_EQ(Request().source.isFigure, 0u);
    EXPECT_STREQ(Request().source.extension, "JWW");
    EXPECT_EQ(DetectFormat("dir/plan.jww", kDrawingHead), 1);
    EXPECT_STREQ(Request().source.extension, "jww");
    EXPECT_EQ(DetectFormat("plan.Jww", kDrawingHead), 1);
    EXPECT_STREQ(Request().source.extension, "Jww");

    EXPECT_EQ(DetectFormat("part.jws", kFigureHead), 1);
    EXPECT_EQ(Request().source.isFigure, 1u);
    EXPECT_STREQ(Request().source.extension, "jws");

    // A figure's bytes under a drawing's name are not recognised, and the
    // failed attempt clears the figure flag.
    EXPECT_EQ(DetectFormat("part.jww", kFigureHead), 0);
    EXPECT_EQ(Request().source.isFigure, 0u);
    EXPECT_STREQ(Request().source.extension, "jws");
    EXPECT_EQ(DetectFormat("part.jws", kDrawingHead), 0);
    EXPECT_EQ(DetectFormat("part.jwx", kDrawingHead), 0);
    EXPECT_EQ(DetectFormat("jww", kDrawingHead), 0);
    EXPECT_EQ(DetectFormat(".jww", kDrawingHead), 1);
    EXPECT_EQ(DetectFormat(nullptr, kDrawingHead), 0);
}

TEST_F(Detection, MagicIsCaseSensitiveAndStopsAtNul)
{
    const unsigned char lower[] = "jwwdata.";
    const unsigned char withNul[] = "Jww\0ata.";
    EXPECT_EQ(DetectFormat("plan.jww", lower), 0);
    EXPECT_EQ(DetectFormat("plan.jww", withNul), 0);
}

TEST_F(Detection, IsSupportedRemembersTheLastNamedPath)
{
    EXPECT_EQ(IsSupported("first.jww", kDrawingHead), 1);
    EXPECT_EQ(Request().source.path, "first.jww");
    EXPECT_EQ(IsSupported("photo.png", kDrawingHead), 0);
    EXPECT_EQ(Request().source.path, "photo.png");
    EXPECT_EQ(IsSupported(nullptr, kDrawingHead), 0);
    EXPECT_EQ(Request().source.path, "photo.png");
}

TEST_F(Detection, IsSupportedReadsFromAFileHandle)
{
    TempFolder folder;
    std::vector<uint8_t> bytes(kDrawingHead, kDrawingHead + 12);
    bytes.resize(100, 0);
    const std::string path = folder.Write("handle.jww", bytes);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(IsSupported(path.c_str(), reinterpret_cast<SupportedData>(file)), 1);
    CloseHandle(file);
    // A closed or bogus handle is a failed read, not a crash.
    EXPECT_EQ(IsSupported(path.c_str(), reinterpret_cast<SupportedData>(file)), 0);
    EXPECT_EQ(IsSupported(path.c_str(), reinterpret_cast<SupportedData>(uintptr_t{0})), 0);
}

}  // namespace
