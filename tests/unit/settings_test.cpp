// The module's settings (registry, settings file, reference file) and the
// CAD program's pen and line settings, natively over temporary registry files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "pipeline/conversion_driver.h"
#include "pipeline/detection.h"
#include "pipeline/module_state.h"
#include "settings/cad_settings.h"
#include "settings/plugin_settings.h"
#include "settings/setting_tables.h"
#include "tests/host/test_files.h"
#include "tests/writer/jw_writer.h"

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry = folder.Path("registry.reg");
        setenv("PLOTMIRA_REGISTRY", registry.c_str(), 1);
        setenv("WINEPREFIX", folder.Path("no-wine").c_str(), 1);
        setenv("PLOTMIRA_DESKTOP_WIDTH", "1920", 1);
        ResetPluginSettings();
        ResetModuleDrawing();
        ResetDetectionState();
    }
    void TearDown() override
    {
        setenv("PLOTMIRA_REGISTRY", "/nonexistent/registry.reg", 1);
        setenv("WINEPREFIX", "/nonexistent", 1);
        ResetPluginSettings();
        ResetModuleDrawing();
    }
    void Registry(const std::string &body) { WriteText(registry, "REGEDIT4\n\n" + body); }
    // Runs the settings-file step for a drawing at the given name.
    int ApplyFor(const std::string &drawingName, const std::string &ini)
    {
        WriteText(folder.Path("Plotmira.ini"), ini);
        Request().source.path = folder.Path(drawingName);
        return ApplySettingsFile(Request().source.path, Request().settings, true);
    }
    int LoadReferences(const std::string &text)
    {
        WriteText(folder.Path("ref.txt"), text);
        Request().source.path = folder.Path("plan.jww");
        Request().settings.refFile = "ref.txt";
        return LoadReferenceFile(Request().source.path, Request().settings);
    }

    TempFolder folder;
    std::string registry;
};

TEST_F(Settings, RegistryWidthsSizeDrawingsAndFigures)
{
    Registry(
        "[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\n\"SIZE_JWW\"=dword:000003e8\n"
        "\"SIZE_JWS\"=dword:00000258\n\"REF_FILE\"=\"vars.txt\"\n");
    Request().source.isFigure = 0;
    RasterSize size = ComputeRasterSize(0, Request().source.isFigure, Request().settings);
    EXPECT_EQ(size.width, 1000);
    EXPECT_EQ(size.height, 707);
    EXPECT_EQ(Request().settings.refFile, "vars.txt");
    Request().source.isFigure = 1;
    EXPECT_EQ(ComputeRasterSize(0, Request().source.isFigure, Request().settings).width, 600);
    EXPECT_EQ(ComputeRasterSize(1, Request().source.isFigure, Request().settings).width, 320);
    Request().source.isFigure = 0;
}

TEST_F(Settings, RegistryValuesOfTheWrongKindAreIgnored)
{
    const std::string longName(5000, 'r');
    Registry(
        "[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\n\"SIZE_JWW\"=\"1000\"\n"
        "\"SIZE_JWS\"=hex:e8,03\n\"REF_FILE\"=\"" +
        longName + "\"\n");
    uint32_t jws = 1, jww = 1;
    EXPECT_EQ(LoadPluginSettings(Request().settings, &jws, &jww), 1);
    EXPECT_EQ(jww, 0u);
    EXPECT_EQ(jws, 0u);
    EXPECT_EQ(Request().settings.refFile, longName);  // a long name arrives whole, not cut or overrun
    Registry("[HKEY_CURRENT_USER\\Software\\Other]\n");
    EXPECT_EQ(LoadPluginSettings(Request().settings, &jws, &jww), 0);
}

TEST_F(Settings, SettingsFileBesidePlotmiraJwwWritesTheRegistry)
{
    ASSERT_EQ(ApplyFor("Plotmira.jww", "Plotmira_ini\nREF_FILE=ref.txt\nSIZE_JWW=1200\nSIZE_JWS=800\n"), 1);
    const std::string text = ReadText(registry);
    EXPECT_NE(text.find("\"SIZE_JWW\"=dword:000004b0"), std::string::npos) << text;
    EXPECT_NE(text.find("\"SIZE_JWS\"=dword:00000320"), std::string::npos) << text;
    EXPECT_NE(text.find("\"REF_FILE\"=\"ref.txt\""), std::string::npos) << text;
    EXPECT_EQ(ComputeRasterSize(0, Request().source.isFigure, Request().settings).width, 1200);
}

TEST_F(Settings, SettingsFileRangeRules)
{
    struct Case {
        const char *ini;
        uint32_t jww;
        const char *ref;
    } cases[] = {
        {"Plotmira_ini\nSIZE_JWW=250\n", 0, ""},
        {"Plotmira_ini\nSIZE_JWW=6000\n", 0, ""},
        {"Plotmira_ini\nSIZE_JWW=12345\n", 0, ""},  // five digits: ignored, and the value was cleared
        {"Plotmira_ini\nSIZE_JWW=-500\n", 0, ""},
        {"Plotmira_ini\r\nSIZE_JWW=300\r\nSIZE_JWW=5000\r\n", 5000, ""},  // the later line wins
        {"Plotmira_ini\nREF_FILE=a\n", 0, ""},
        {"Plotmira_iniSIZE_JWW=400\n", 400, ""},  // the marker's line goes on as the next line
        {"Plotmira_ini\n SIZE_JWW=400\nsize_jww=400\n", 0, ""},
        {"Plotmira_ini\nREF_FILE=ab", 0, "ab"},  // a last line without a line break counts
    };
    for (const Case &c : cases) {
        ASSERT_EQ(ApplyFor("Plotmira.jww", c.ini), 1) << c.ini;
        EXPECT_EQ(Request().settings.sizeJww, c.jww) << c.ini;
        EXPECT_EQ(Request().settings.refFile, c.ref) << c.ini;
    }
}

TEST_F(Settings, SettingsFileIsAppliedOnlyWhenEverythingFits)
{
    EXPECT_EQ(ApplyFor("plotmira.jww", "Plotmira_ini\nSIZE_JWW=1200\n"), 0);
    EXPECT_EQ(ApplyFor("Plotmira.JWW", "Plotmira_ini\nSIZE_JWW=1200\n"), 0);
    EXPECT_FALSE(std::ifstream(registry).good());

    Request().settings.refFile = "old";
    Request().settings.sizeJww = 999;
    EXPECT_EQ(ApplyFor("Plotmira.jww", "plotmira_ini\nSIZE_JWW=1200\n"), 0);
    EXPECT_EQ(Request().settings.sizeJww, 0u);  // cleared for this conversion
    EXPECT_EQ(Request().settings.refFile, "");
    EXPECT_FALSE(std::ifstream(registry).good());  // but the registry is untouched

    // A line longer than the line buffer is ignored whole, its tail included.
    const std::string longLine = "REF_FILE=" + std::string(300, 'x') + "SIZE_JWW=1200\n";
    ASSERT_EQ(ApplyFor("Plotmira.jww", "Plotmira_ini\n" + longLine + "SIZE_JWS=700\n"), 1);
    EXPECT_EQ(Request().settings.refFile, "");
    EXPECT_EQ(Request().settings.sizeJww, 0u);
    EXPECT_EQ(Request().settings.sizeJws, 700u);
    // A drawing path with no folder at all.
    Request().source.path = "Plotmira.jww";
    EXPECT_EQ(ApplySettingsFile(Request().source.path, Request().settings, true), 0);
}

TEST_F(Settings, ReferenceEntries)
{
    EXPECT_EQ(LoadReferences("%%AB\tx\r\n%%A\t\r\n%%A\tB\tz\r\nplain line\r\n%%last\tnone"), 2);
    EXPECT_STREQ(Request().settings.referenceNames[1], "AB");
    EXPECT_STREQ(Request().settings.referenceValues[1], "x");
    EXPECT_STREQ(Request().settings.referenceNames[2], "A\tB");  // the last TAB of a line separates
    EXPECT_STREQ(Request().settings.referenceValues[2], "z");

    // Lines ended by LF alone run together until the next CR LF.
    EXPECT_EQ(LoadReferences("%%one\t1\n%%two\t2\r\n"), 1);
    EXPECT_STREQ(Request().settings.referenceNames[1], "one\t1\n%%two");
    EXPECT_STREQ(Request().settings.referenceValues[1], "2");
}

TEST_F(Settings, ReferenceEntriesStayInsideTheirTables)
{
    std::string text;
    for (int i = 0; i < 150; ++i) text += "%%n" + std::to_string(i) + "\tv" + std::to_string(i) + "\r\n";
    EXPECT_EQ(LoadReferences(text), 99);
    EXPECT_STREQ(Request().settings.referenceNames[99], "n98");

    // A name that does not fit a row is passed over; a value keeps 99 bytes.
    const std::string longName(150, 'N'), longValue(150, 'V');
    EXPECT_EQ(LoadReferences("%%" + longName + "\tv\r\n%%k\t" + longValue + "\r\n"), 1);
    EXPECT_STREQ(Request().settings.referenceNames[1], "k");
    EXPECT_EQ(std::string(Request().settings.referenceValues[1]), std::string(99, 'V'));

    // Too short a file leaves the tables as they were; a missing one empties them.
    EXPECT_EQ(LoadReferences("%%a\t"), 0);
    EXPECT_STREQ(Request().settings.referenceNames[1], "k");
    Request().settings.refFile = "absent.txt";
    EXPECT_EQ(LoadReferenceFile(Request().source.path, Request().settings), 0);
    EXPECT_STREQ(Request().settings.referenceNames[1], "");
}

TEST_F(Settings, ReferenceFileLocation)
{
    WriteText(folder.Path("abs.txt"), "%%where\tabsolute\r\n");
    Request().settings.refFile = folder.Path("abs.txt");  // begins with '/'
    Request().source.path = "elsewhere/plan.jww";
    EXPECT_EQ(LoadReferenceFile(Request().source.path, Request().settings), 1);
    EXPECT_STREQ(Request().settings.referenceValues[1], "absolute");
    Request().settings.refFile = "abs.txt";
    Request().source.path = folder.Path("plan.jww");  // relative: next to the drawing
    EXPECT_EQ(LoadReferenceFile(Request().source.path, Request().settings), 1);
    Request().source.path = "plan.jww";  // no folder to look in
    EXPECT_EQ(LoadReferenceFile(Request().source.path, Request().settings), 0);
    Request().settings.refFile = "";
    EXPECT_EQ(LoadReferenceFile(Request().source.path, Request().settings), 0);
}

TEST_F(Settings, CadProgramSettingsOverlayTheDefaults)
{
    SettingTables t;
    DefaultSettingTables(&t);
    LoadCadSettings(t);  // no keys: the defaults stay
    EXPECT_EQ(t.penColor[0], 0xFFFFFFu);
    EXPECT_EQ(t.penColor[3], 0x00C000u);
    EXPECT_EQ(t.penWidth[8], 5u);
    EXPECT_EQ(t.linePattern[2], 0x99999999u);
    EXPECT_EQ(t.linePitch[11], 3u);
    EXPECT_EQ(t.randomWidth[13], 2u);

    Registry(
        "[HKEY_CURRENT_USER\\Software\\Jw_cad\\jw_win\\Pen]\n\"Color00\"=\"000000\"\n"
        "\"Color03\"=\"ff0000\"\n\"Color04\"=\"123456789\"\n\"Color05\"=\"xyz\"\n"
        "\"Color06\"=\"123456789012345678\"\n\"Width05\"=\"3\"\n\"Width06\"=\" -2\"\n"
        "[HKEY_CURRENT_USER\\Software\\Jw_cad\\jw_win\\Line]\n\"Type_02\"=\"f0f0f0f0\"\n"
        "\"Type_03\"=\"0x1234\"\n\"Pitch11\"=dword:00000008\n\"Pitch12\"=hex:08,00\n"
        "\"RandW15\"=dword:00000009\n");
    LoadCadSettings(t);
    EXPECT_EQ(t.penColor[0], 0u);
    EXPECT_EQ(t.penColor[3], 0xFF0000u);
    EXPECT_EQ(t.penColor[4], 0xFFFFFFFFu);  // beyond 32 bits
    EXPECT_EQ(t.penColor[5], 0u);           // no hexadecimal digit
    EXPECT_EQ(t.penColor[6], 0x0000FFu);    // 18 characters: too long, default kept
    EXPECT_EQ(t.penWidth[5], 3u);
    EXPECT_EQ(t.penWidth[6], static_cast<uint32_t>(-2));
    EXPECT_EQ(t.linePattern[2], 0xF0F0F0F0u);
    EXPECT_EQ(t.linePattern[3], 0u);  // its own 0x prefix is not hexadecimal text
    EXPECT_EQ(t.linePitch[11], 8u);
    EXPECT_EQ(t.linePitch[12], 4u);  // two bytes are not a number: default kept
    EXPECT_EQ(t.randomWidth[15], 9u);

    // Without a Pen key the Line key is not read either.
    DefaultSettingTables(&t);
    Registry("[HKEY_CURRENT_USER\\Software\\Jw_cad\\jw_win\\Line]\n\"Type_02\"=\"f0f0f0f0\"\n");
    LoadCadSettings(t);
    EXPECT_EQ(t.linePattern[2], 0x99999999u);
}

TEST_F(Settings, ConversionsFollowTheSettings)
{
    // A drawing named Plotmira.jww applies the settings file when converted;
    // the next drawing takes the new width.
    folder.Write("Plotmira.jww", MakeEmptyDrawing(DrawingOptions{}));
    WriteText(folder.Path("Plotmira.ini"), "Plotmira_ini\nSIZE_JWW=1200\n");
    ASSERT_EQ(ConvertFile(folder.Path("Plotmira.jww"), true).result, 0);
    EXPECT_NE(ReadText(registry).find("\"SIZE_JWW\"=dword:000004b0"), std::string::npos);
    const std::string next = folder.Write("next.jww", MakeEmptyDrawing(DrawingOptions{}));
    Conversion c = ConvertFile(next);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.width, 1200);
    EXPECT_EQ(c.height, 848);

    // A figure's background follows the CAD program's pen 0.
    const std::string figure = folder.Write("part.jws", MakeMinimalFigure());
    c = ConvertFile(figure, true);
    ASSERT_EQ(c.result, 0);
    EXPECT_TRUE(BackgroundAndReferenceMark(c, 0xFFFFFF));
    WriteText(registry,
              ReadText(registry) + "\n[HKEY_CURRENT_USER\\Software\\Jw_cad\\jw_win\\Pen]\n\"Color00\"=\"000000\"\n");
    c = ConvertFile(figure, true);
    ASSERT_EQ(c.result, 0);
    EXPECT_TRUE(BackgroundAndReferenceMark(c, 0x000000));
}

}  // namespace
