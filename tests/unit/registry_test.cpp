// The native build's registry: the .reg formats, the Win32 calls over the
// file, atomic replacement, and the read-only fallback to Wine's registry.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/portable/registry_file.h"
#include "platform/win32.h"
#include "tests/host/test_files.h"

namespace {

const RegistryValue *Find(const RegistryTree &tree, const char *key, const char *value)
{
    auto found = tree.find(RegistryKeyId(key));
    if (found == tree.end()) return nullptr;
    for (const RegistryValue &v : found->second.values) {
        if (RegistryKeyId(v.name) == RegistryKeyId(value)) return &v;
    }
    return nullptr;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry = folder.Path("config/plotmira/registry.reg");
        setenv("PLOTMIRA_REGISTRY", registry.c_str(), 1);
        setenv("WINEPREFIX", folder.Path("wine").c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PLOTMIRA_REGISTRY", "/nonexistent/registry.reg", 1);
        setenv("WINEPREFIX", "/nonexistent", 1);
    }
    TempFolder folder;
    std::string registry;
};

TEST(RegistryText, ReadsRegeditFiles)
{
    const RegistryTree tree = ParseRegistryText(
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\r\n"
        "\"REF_FILE\"=\"C:\\\\data\\\\ref \\\"1\\\".txt\"\r\n"
        "\"SIZE_JWW\"=dword:000004b0\r\n"
        "\"Blob\"=hex:01,02,\\\r\n  03\r\n"
        "\"Path\"=hex(2):41,00\r\n"
        "garbage line\r\n"
        "\"Broken\"=dword:xyz\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
        "\"Ignored\"=\"yes\"\r\n");
    const RegistryValue *ref = Find(tree, "software\\plotmira_spi\\INI", "ref_file");
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->type, REG_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(ref->data.data())), "C:\\data\\ref \"1\".txt");
    const RegistryValue *size = Find(tree, "Software\\Plotmira_spi\\ini", "SIZE_JWW");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->type, REG_DWORD);
    EXPECT_EQ(size->data, (std::vector<uint8_t>{0xb0, 0x04, 0, 0}));
    const RegistryValue *blob = Find(tree, "Software\\Plotmira_spi\\ini", "Blob");
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob->data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Find(tree, "Software\\Plotmira_spi\\ini", "Path")->type, REG_EXPAND_SZ);
    EXPECT_EQ(Find(tree, "Software\\Plotmira_spi\\ini", "Broken"), nullptr);
    EXPECT_EQ(tree.count(RegistryKeyId("Software\\Other")), 0u);

    // What is written reads back the same.
    const RegistryTree again = ParseRegistryText(SerializeRegistry(tree));
    EXPECT_EQ(Find(again, "Software\\Plotmira_spi\\ini", "REF_FILE")->data, ref->data);
    EXPECT_EQ(Find(again, "Software\\Plotmira_spi\\ini", "SIZE_JWW")->data, size->data);
    EXPECT_EQ(Find(again, "Software\\Plotmira_spi\\ini", "Blob")->data, blob->data);
}

TEST(RegistryText, ReadsWineUserRegistry)
{
    const RegistryTree tree = ParseRegistryText(
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
        "#arch=win64\n\n"
        "[Software\\\\Jw_cad\\\\jw_win\\\\Pen] 1765000000\n"
        "#time=1dc0000000000000\n"
        "\"Color00\"=\"000000\"\n"
        "\"Width05\"=str(2):\"3\"\n\n"
        "[Software\\\\Jw_cad\\\\jw_win\\\\Line] 1765000000\n"
        "\"Pitch11\"=dword:00000008\n");
    const RegistryValue *color = Find(tree, "Software\\Jw_cad\\jw_win\\Pen", "Color00");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(color->data.data())), "000000");
    EXPECT_EQ(Find(tree, "Software\\Jw_cad\\jw_win\\Pen", "Width05")->type, REG_EXPAND_SZ);
    EXPECT_EQ(Find(tree, "Software\\Jw_cad\\jw_win\\Line", "Pitch11")->data, (std::vector<uint8_t>{8, 0, 0, 0}));
}

TEST_F(Registry, MissingOrDamagedFileReadsAsEmpty)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Plotmira_spi\\ini", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    mkdir(folder.Path("config").c_str(), 0700);
    mkdir(folder.Path("config/plotmira").c_str(), 0700);
    WriteText(registry, std::string("\x00\xff[[[\"=\n", 8));
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Plotmira_spi\\ini", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, WritesKeepOtherKeysAndReplaceTheFileWhole)
{
    mkdir(folder.Path("config").c_str(), 0700);
    mkdir(folder.Path("config/plotmira").c_str(), 0700);
    WriteText(registry, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=\"me\"\n");
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Plotmira_spi\\ini", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const DWORD width = 1200;
    ASSERT_EQ(RegSetValueExA(key, "SIZE_JWW", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&width), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "REF_FILE", 0, REG_SZ, reinterpret_cast<const BYTE *>("ref.txt"), 8), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    const std::string text = ReadText(registry);
    EXPECT_NE(text.find("\"SIZE_JWW\"=dword:000004b0"), std::string::npos) << text;
    EXPECT_NE(text.find("\"REF_FILE\"=\"ref.txt\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"Keep\"=\"me\""), std::string::npos) << text;
    // Only the registry file is left in its folder: no temporary file.
    DIR *dir = opendir(folder.Path("config/plotmira").c_str());
    int entries = 0;
    while (dirent *entry = readdir(dir)) entries += entry->d_name[0] != '.';
    closedir(dir);
    EXPECT_EQ(entries, 1);

    // Size query, short buffer, then the value.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\plotmira_spi\\INI", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "ref_file", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 8u);
    char small[4];
    DWORD smallSize = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "REF_FILE", nullptr, &type, reinterpret_cast<BYTE *>(small), &smallSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(smallSize, 8u);
    EXPECT_EQ(RegQueryValueExA(key, "absent", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    // A key opened for reading cannot write.
    EXPECT_EQ(RegSetValueExA(key, "SIZE_JWS", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&width), 4),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    // A parent key exists through its subkeys.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Plotmira_spi", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, CadProgramKeysComeFromWineWhenTheFileHasNone)
{
    mkdir(folder.Path("wine").c_str(), 0700);
    WriteText(folder.Path("wine/user.reg"),
              "WINE REGISTRY Version 2\n\n[Software\\\\Jw_cad\\\\jw_win\\\\Pen] 1\n\"Color00\"=\"000000\"\n"
              "[Software\\\\Wine\\\\Other] 1\n\"X\"=\"y\"\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Jw_cad\\jw_win\\Pen", 0, KEY_READ, &key), ERROR_SUCCESS);
    char text[16] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "Color00", nullptr, nullptr, reinterpret_cast<BYTE *>(text), &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "000000");
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Other", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

    // Writing the module's settings never copies Wine's keys into the file.
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Plotmira_spi\\ini", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(ReadText(registry).find("Jw_cad"), std::string::npos);

    // Once the file has the CAD program's keys, Wine's are not consulted.
    WriteText(registry, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Jw_cad\\jw_win\\Pen]\n\"Color00\"=\"ffffff\"\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Jw_cad\\jw_win\\Pen", 0, KEY_READ, &key), ERROR_SUCCESS);
    size = sizeof text;
    RegQueryValueExA(key, "Color00", nullptr, nullptr, reinterpret_cast<BYTE *>(text), &size);
    EXPECT_STREQ(text, "ffffff");
    RegCloseKey(key);
}

}  // namespace
