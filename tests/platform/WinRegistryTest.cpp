#include "platform/WinRegistry.h"
#include "platform/MachineConfig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace
{
const std::string REG_FILE = std::string(DLSW_FIXTURES) + "/common/machine.reg";

class WinRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMachineConfig::Instance().Reset();
        CMachineConfig::Instance().SetRegistryFile(REG_FILE);
    }
    void TearDown() override { CMachineConfig::Instance().Reset(); }

    static std::string ReadText(HKEY hRoot, const char* pszKey, const char* pszValue,
                                DWORD* pdwType = nullptr)
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, pszKey, 0, KEY_READ, &hKey) != 0)
            return "<no key>";
        char sz[512] = {};
        DWORD cb = sizeof(sz);
        DWORD dwType = 0;
        const LSTATUS l =
            RegQueryValueExA(hKey, pszValue, nullptr, &dwType, reinterpret_cast<LPBYTE>(sz), &cb);
        RegCloseKey(hKey);
        if (pdwType != nullptr)
            *pdwType = dwType;
        return l == 0 ? std::string(sz, cb) : "<error " + std::to_string(l) + ">";
    }
};
} // namespace

TEST_F(WinRegistryTest, ReadsTextsNumbersAndDefaultValues)
{
    using namespace std::string_literals;
    DWORD dwType = 0;
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ".pdf", "Content Type", &dwType), "application/pdf\0"s);
    EXPECT_EQ(dwType, REG_SZ);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ".pdf", nullptr), "AcroExch.Document\0"s);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ".Pdf", "content type"), "application/pdf\0"s); // any case
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ".exp", "Content Type", &dwType), "text/x\0"s);
    EXPECT_EQ(dwType, REG_EXPAND_SZ);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Exchange\\Setup", "MsiInstallPath"),
              "C:\\Program Files\\Microsoft\\Exchange Server\\V15\\\0"s);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Exchange\\Setup", "Quoted"),
              "say \"hi\"\0"s);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Exchange\\Setup", "Multi", &dwType),
              "a\0b\0\0"s);
    EXPECT_EQ(dwType, REG_MULTI_SZ);
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Exchange\\Setup", "Gone"), "<error 2>");

    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft", 0, KEY_READ, &hKey), 0); // a parent
    HKEY hSetup = nullptr;
    ASSERT_EQ(RegOpenKeyExA(hKey, "Exchange\\Setup", 0, KEY_READ, &hSetup), 0); // relative to an open key
    DWORD dwMajor = 0;
    DWORD cb = sizeof(dwMajor);
    ASSERT_EQ(RegQueryValueExA(hSetup, "MsiProductMajor", nullptr, &dwType,
                               reinterpret_cast<LPBYTE>(&dwMajor), &cb),
              0);
    EXPECT_EQ(dwType, REG_DWORD);
    EXPECT_EQ(dwMajor, 15u);
    EXPECT_EQ(RegCloseKey(hSetup), 0);
    EXPECT_EQ(RegCloseKey(hKey), 0);
    EXPECT_NE(RegCloseKey(hKey), 0);
}

TEST_F(WinRegistryTest, SizesMissingKeysAndDeletedKeys)
{
    HKEY hKey = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".nothing", 0, KEY_READ, &hKey), 2);
    EXPECT_EQ(hKey, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Old", 0, KEY_READ, &hKey), 2);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Old\\Child", 0, KEY_READ, &hKey), 2);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Older", 0, KEY_READ, &hKey), 0); // kept
    RegCloseKey(hKey);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".long", 0, KEY_READ, &hKey), 0);
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExA(hKey, "Content Type", nullptr, nullptr, nullptr, &cb), 0);
    EXPECT_EQ(cb, 301u);
    char sz[16];
    cb = sizeof(sz);
    EXPECT_EQ(RegQueryValueExA(hKey, "Content Type", nullptr, nullptr, reinterpret_cast<LPBYTE>(sz), &cb),
              static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(cb, 301u);
    RegCloseKey(hKey);

    // Without a registry file the registry is empty.
    CMachineConfig::Instance().SetRegistryFile("");
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".pdf", 0, KEY_READ, &hKey), 2);
}

TEST_F(WinRegistryTest, ParsesUnicodeExportsAndRejectsOtherText)
{
    const std::string sText =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n"
        "\"Content Type\"=\"text/plain\"\r\n\"Wide\"=hex(2):e9,00,3d,d8,00,de,00,00\r\n";
    std::string sUtf16 = "\xFF\xFE";
    for (char ch : sText)
    {
        sUtf16.push_back(ch);
        sUtf16.push_back('\0');
    }
    RegistryData data;
    size_t nBad = 0;
    ASSERT_TRUE(ParseRegistryText(sUtf16, data, nBad));
    EXPECT_EQ(nBad, 0u);
    const auto& values = data.m_keys.at("HKEY_CLASSES_ROOT\\.TXT");
    const auto& ct = values.at("content type");
    EXPECT_EQ(std::string(ct.m_data.begin(), ct.m_data.end()), std::string("text/plain\0", 11));
    const auto& wide = values.at("Wide");
    EXPECT_EQ(std::string(wide.m_data.begin(), wide.m_data.end()),
              std::string("\xC3\xA9\xF0\x9F\x98\x80\0", 7));

    const char* rejected[] = {"", "[HKEY_CLASSES_ROOT\\.x]\n\"a\"=\"b\"\n", "REGEDIT5\n"};
    for (const char* psz : rejected)
    {
        RegistryData other;
        EXPECT_FALSE(ParseRegistryText(psz, other, nBad)) << psz;
    }

    // Bad lines are skipped and counted; the rest is read.
    RegistryData partial;
    ASSERT_TRUE(
        ParseRegistryText("REGEDIT4\n[HKEY_NOWHERE\\x]\n\"a\"=\"b\"\n[HKLM\\k]\n\"d\"=dword:123456789\n"
                          "\"e\"=hex:zz\n\"f\"=\"unterminated\n\"g\"=dword:ff\n",
                          partial, nBad));
    EXPECT_EQ(nBad, 5u);
    ASSERT_EQ(partial.m_keys.count("HKEY_LOCAL_MACHINE\\k"), 1u);
    EXPECT_EQ(partial.m_keys.at("HKEY_LOCAL_MACHINE\\k").size(), 1u);
}

TEST_F(WinRegistryTest, RereadsTheFileWhenItChanges)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("dlsw-reg-" + std::to_string(::getpid()) + ".reg");
    std::ofstream(path) << "REGEDIT4\n[HKEY_CLASSES_ROOT\\.a]\n\"Content Type\"=\"one\"\n";
    CMachineConfig::Instance().SetRegistryFile(path.string());
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ".a", "Content Type"), std::string("one\0", 4));
    std::ofstream(path) << "REGEDIT4\n[HKEY_CLASSES_ROOT\\.a]\n\"Content Type\"=\"second\"\n";
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, ".a", "Content Type"), std::string("second\0", 7));
    std::filesystem::remove(path);
}
