// Raster sizes: desktop width, figure halving, previews, and the limits that
// keep a size from wrapping around.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "settings/plugin_settings.h"

namespace {

class RasterSizing : public ::testing::Test {
protected:
    void SetUp() override { setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1); }
    void TearDown() override
    {
        setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
        Request().source.isFigure = 0;
    }
};

TEST_F(RasterSizing, DesktopWidthDrivesDrawingsFiguresAndPreviews)
{
    EXPECT_EQ(DesktopWidth(), 1920);
    Request().source.isFigure = 0;
    RasterSize size = ComputeRasterSize(0, Request().source.isFigure, Request().settings);
    EXPECT_EQ(size.width, 1920);
    EXPECT_EQ(size.height, 1357);
    EXPECT_EQ(size.bitCount, 24u);
    Request().source.isFigure = 1;
    size = ComputeRasterSize(0, Request().source.isFigure, Request().settings);
    EXPECT_EQ(size.width, 960);
    EXPECT_EQ(size.height, 678);
    size = ComputeRasterSize(1, Request().source.isFigure, Request().settings);
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 226);  // 226.24 truncated

    setenv("PLOTMIRA_DESKTOP_WIDTH", "1001", 1);
    Request().source.isFigure = 1;
    EXPECT_EQ(ComputeRasterSize(0, Request().source.isFigure, Request().settings).width, 500);  // halved toward zero
    setenv("PLOTMIRA_DESKTOP_WIDTH", "garbage", 1);
    EXPECT_EQ(DesktopWidth(), 1920);
}

TEST_F(RasterSizing, RowsArePaddedToFourBytes)
{
    RasterGeometry g = ComputeRasterGeometry(1000, 707);
    EXPECT_EQ(g.rowStride, 3000u);
    EXPECT_EQ(g.imageSize, 2121000u);
    EXPECT_EQ(ComputeRasterGeometry(1001, 707).rowStride, 3004u);
    EXPECT_EQ(ComputeRasterGeometry(1, 1).rowStride, 4u);
}

TEST_F(RasterSizing, SizesThatCannotBeHandedOutAreRefused)
{
    EXPECT_TRUE(RasterSizeAcceptable(320, 226));
    EXPECT_TRUE(RasterSizeAcceptable(30000, 21210));
    EXPECT_FALSE(RasterSizeAcceptable(0, 0));
    EXPECT_FALSE(RasterSizeAcceptable(1, 0));
    EXPECT_FALSE(RasterSizeAcceptable(-1920, 1357));
    EXPECT_FALSE(RasterSizeAcceptable(kMaxRasterWidth + 1, 100));
    // 32768 pixels wide is within the width cap but its rows exceed 2 GiB.
    EXPECT_FALSE(RasterSizeAcceptable(32768, 23166));
    // The 64-bit size of a width near 2^31 does not wrap.
    RasterGeometry huge = ComputeRasterGeometry(0x7FFFFFFF, 0x7FFFFFFF);
    EXPECT_GT(huge.imageSize, uint64_t{1} << 32);
}

}  // namespace
