// Text macros with a clock the test controls.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <time.h>
#include <utime.h>

#include <cstring>
#include <string>

#include "reader/document_readers.h"
#include "reader/drawing.h"
#include "render/scene_walk.h"
#include "render/text_macros.h"
#include "settings/plugin_settings.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

SYSTEMTIME clockNow;
void TestClock(SYSTEMTIME *time) { *time = clockNow; }

class Macros : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMacroClock(TestClock);
        SetClock(2008, 1, 0, 6, 9, 5, 7);  // Sunday 6 January 2008, 09:05:07
    }
    void TearDown() override { SetMacroClock(nullptr); }
    static void SetClock(int year, int month, int weekday, int day, int hour, int minute, int second)
    {
        clockNow = {
            static_cast<WORD>(year), static_cast<WORD>(month),  static_cast<WORD>(weekday), static_cast<WORD>(day),
            static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second),  0};
    }
    // Expanded as a walk of the test's drawing expands it.
    std::string Expand(const char *text, uint16_t group = 0)
    {
        SceneWalk walk(drawing);
        return walk.ExpandTextMacro(text, group) ? std::string(walk.macroBuffer) : std::string("<none>");
    }
    Drawing drawing;
    PluginSettingsState &pluginSettings = drawing.references;
};

TEST_F(Macros, DateAndTime)
{
    EXPECT_EQ(Expand("$y"), "8");
    EXPECT_EQ(Expand("&y"), " 8");
    EXPECT_EQ(Expand("%y"), "08");
    EXPECT_EQ(Expand("=Y"), "20");
    EXPECT_EQ(Expand("%m"), "01");
    EXPECT_EQ(Expand("%ma"), "JAN");
    EXPECT_EQ(Expand("$d"), "6");
    EXPECT_EQ(Expand("%h"), "09");
    EXPECT_EQ(Expand("$M"), "5");
    EXPECT_EQ(Expand("%S"), "07");
    EXPECT_EQ(Expand("$n"), "AM");
    EXPECT_EQ(Expand("%N"), "\x91\x4f");  // 前
    EXPECT_EQ(Expand("%w"), "\x93\xfa");  // 日
    EXPECT_EQ(Expand("%wa"), "SUN");
    EXPECT_EQ(Expand("$SS"), "7");  // scales exist only with "%": this is the second
    EXPECT_EQ(Expand("=5"), "00");
    EXPECT_EQ(Expand("%qq"), "00");
    SetClock(2008, 1, 0, 6, 15, 30, 0);
    EXPECT_EQ(Expand("%h"), "03");
    EXPECT_EQ(Expand("%H"), "15");
    EXPECT_EQ(Expand("$n"), "PM");
    EXPECT_EQ(Expand("=N"), "\x8c\xe3");  // 後
    EXPECT_EQ(Expand("plain"), "<none>");
    EXPECT_EQ(Expand(""), "<none>");
}

TEST_F(Macros, FileMemoAndScale)
{
    TempFolder folder;
    const std::string path = folder.Write("plan.jww", MakeEmptyDrawing(DrawingOptions{}));
    struct tm when = {};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 5;
    when.tm_min = 6;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    const time_t stamp = mktime(&when);
    struct utimbuf times = {stamp, stamp};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    drawing.source.path = path;
    EXPECT_EQ(Expand("%f"), "plan.jww");
    EXPECT_EQ(Expand("$f"), "plan");
    EXPECT_EQ(Expand("&F"), path);
    EXPECT_EQ(Expand("=f"), "2021/03/04");
    EXPECT_EQ(Expand("=F"), "2021/03/04 05:06:07");
    drawing.source.path = "C:\\dwg\\x.jw";
    EXPECT_EQ(Expand("$f"), "");  // shorter than its extension
    EXPECT_EQ(Expand("=f"), "");  // a file that cannot be opened has no date

    drawing.header.memoText = "first";
    drawing.header.memoSecondLine = "second";
    EXPECT_EQ(Expand("%m1"), "first");
    EXPECT_EQ(Expand("%m2"), "second");
    drawing.header.memoText = drawing.header.memoSecondLine = "";
    drawing.header.layerGroupScale[3] = 100;
    drawing.header.layerGroupScale[4] = 0.5;
    EXPECT_EQ(Expand("%SS", 3), "1/100");
    EXPECT_EQ(Expand("%ss", 3), "100");
    EXPECT_EQ(Expand("%SP", 4), "2/1");
    EXPECT_EQ(Expand("%sp", 4), "2");
    EXPECT_EQ(Expand("%SS", 16), "");  // no such layer group
}

TEST_F(Macros, UserVariablesStayInTheBuffer)
{
    EXPECT_EQ(Expand("%%NAME"), "<none>");  // nothing loaded
    std::strcpy(pluginSettings.referenceNames[1], "NAME");
    std::strcpy(pluginSettings.referenceValues[1], "first");
    std::strcpy(pluginSettings.referenceNames[2], "name");
    std::strcpy(pluginSettings.referenceValues[2], "second");
    std::memset(pluginSettings.referenceValues[3], 'v', kReferenceRowBytes - 1);
    pluginSettings.referenceValues[3][kReferenceRowBytes - 1] = '\0';
    std::strcpy(pluginSettings.referenceNames[3], "long");
    pluginSettings.referenceCount = 3;
    EXPECT_EQ(Expand("%%Name"), "first");
    EXPECT_EQ(Expand("%%missing"), "<none>");
    EXPECT_EQ(Expand("%%LONG").size(), static_cast<size_t>(kReferenceRowBytes - 1));
    // A count beyond the table never reads outside it.
    pluginSettings.referenceCount = 100000;
    EXPECT_EQ(Expand("%%nothing"), "<none>");
    // A path longer than the buffer is cut at 511 bytes.
    drawing.source.path = std::string(2000, 'p');
    EXPECT_EQ(Expand("%F").size(), static_cast<size_t>(kMacroBufferBytes - 1));
}

}  // namespace
