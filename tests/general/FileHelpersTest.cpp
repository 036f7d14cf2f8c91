#include "common/FileHelpers.h"
#include "platform/WinFile.h"
#include "platform/WinSync.h"
#include "tests/general/GeneralTestSupport.h"

namespace
{
class FileHelpers : public CGeneralSettingsTest
{
};

TEST_F(FileHelpers, CreateDirectoryPathMakesEveryLevel)
{
    EXPECT_EQ(CFileUtil::CreateDirectoryPath("D:\\a\\b"), S_OK);
    EXPECT_TRUE(fs::is_directory(m_root / "a" / "b"));
    // Existing levels are passed over; a trailing backslash ends the path.
    EXPECT_EQ(CFileUtil::CreateDirectoryPath("D:\\a\\b\\c\\d\\"), S_OK);
    EXPECT_TRUE(fs::is_directory(m_root / "a" / "b" / "c" / "d"));
    EXPECT_EQ(CFileUtil::CreateDirectoryPath("D:\\a\\b"), S_OK);

    EXPECT_EQ(CFileUtil::CreateDirectoryPath(""), E_INVALIDARG);
    EXPECT_EQ(CFileUtil::CreateDirectoryPath(nullptr), E_INVALIDARG);
    EXPECT_EQ(CFileUtil::CreateDirectoryPath("x"), E_FAIL);
    // A failing level's Win32 code comes back as it is.
    EXPECT_EQ(CFileUtil::CreateDirectoryPath("Q:\\x\\y"), static_cast<HRESULT>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileHelpers, CreateDirectoryPathRefusesWhatItsBufferCannotHold)
{
    // A level of 260 characters or more would overrun the 260-byte copy: refused, nothing created.
    const std::string strLong = "D:\\" + std::string(300, 'x') + "\\sub";
    EXPECT_EQ(CFileUtil::CreateDirectoryPath(strLong.c_str()),
              static_cast<HRESULT>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(fs::is_empty(m_root));
    const std::string strWhole = "D:\\" + std::string(257, 'y');
    EXPECT_EQ(CFileUtil::CreateDirectoryPath(strWhole.c_str()),
              static_cast<HRESULT>(ERROR_FILENAME_EXCED_RANGE));
    // 259 characters before the backslash still fit with their terminator.
    const std::string strFits = "D:\\" + std::string(200, 'z') + "\\" + std::string(55, 'w') + "\\";
    EXPECT_EQ(CFileUtil::CreateDirectoryPath(strFits.c_str()), S_OK);
    EXPECT_TRUE(fs::is_directory(m_root / std::string(200, 'z') / std::string(55, 'w')));
}

TEST_F(FileHelpers, ModulePathLevelsUp)
{
    CLoadedTestModule module(m_root, "p/q");
    std::string strDirectory;
    const struct
    {
        int m_nLevels;
        const char* m_pszExpected;
    } cases[] = {{0, "D:\\p\\q\\"}, {1, "D:\\p\\"}, {2, "D:\\"}, {3, "D:\\p\\q\\"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_nLevels);
        EXPECT_TRUE(CFileUtil::GetModulePath(strDirectory, module.ModuleName().c_str(), FALSE, c.m_nLevels));
        EXPECT_EQ(strDirectory, c.m_pszExpected);
    }
    EXPECT_FALSE(CFileUtil::GetModulePath(strDirectory, "NotLoaded.dll", FALSE, 1));
    EXPECT_TRUE(CFileUtil::GetModulePath(strDirectory, nullptr, TRUE, 0));
    EXPECT_EQ(strDirectory.back(), '\\');
}

TEST_F(FileHelpers, SmallHelpers)
{
    EXPECT_EQ(CFileUtil::FindMbsChar("a\\b\\c", '\\', 0), 1);
    EXPECT_EQ(CFileUtil::FindMbsChar("a\\b\\c", '\\', 2), 3);
    EXPECT_EQ(CFileUtil::FindMbsChar("a\\b\\c", '\\', 4), -1);
    EXPECT_EQ(CFileUtil::FindMbsChar("abc", 'a', 3), -1);
    EXPECT_EQ(CFileUtil::FindMbsChar("abc", 'a', -1), -1);
    EXPECT_EQ(CFileUtil::FindMbsChar(nullptr, 'a', 0), -1);

    SetLastError(0);
    EXPECT_EQ(CFileUtil::HResultFromLastError(), S_OK);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CFileUtil::HResultFromLastError(), static_cast<HRESULT>(0x80070002u));
    SetLastError(0x80004005u);
    EXPECT_EQ(CFileUtil::HResultFromLastError(), E_FAIL);
    SetLastError(0x12345);
    EXPECT_EQ(CFileUtil::HResultFromLastError(), static_cast<HRESULT>(0x80072345u));

    fs::create_directories(m_root / "dir");
    std::ofstream(m_root / "dir" / "file.txt") << "x";
    EXPECT_TRUE(CFileUtil::FileExists("D:\\dir\\file.txt"));
    EXPECT_TRUE(CFileUtil::FileExists("D:\\dir\\*.txt"));
    EXPECT_FALSE(CFileUtil::FileExists("D:\\dir\\none.txt"));
    EXPECT_FALSE(CFileUtil::FileExists(nullptr));
    FILETIME ft{};
    EXPECT_EQ(CFileUtil::GetFileLastWriteTime("D:\\dir\\file.txt", ft), S_OK);
    EXPECT_NE(ft.dwHighDateTime, 0u);
    EXPECT_EQ(CFileUtil::GetFileLastWriteTime("D:\\dir\\none.txt", ft), static_cast<HRESULT>(0x80070002u));
}

TEST_F(FileHelpers, VersionOfTheBuiltWorker)
{
    const std::string strWorker =
        MapPosixPathToWindows(std::string(DLSW_INSTALL_TREE) + "/bin/DL_ServiceWorker.dll");
    CFileVersionInfo version;
    ASSERT_TRUE(version.Load(strWorker.c_str()));
    EXPECT_EQ(version.m_dwTranslation, 0x040904B0u);
    EXPECT_EQ(version.GetString("FileVersion"), std::string(DLSW_PROJECT_VERSION) + ".0");
    EXPECT_EQ(version.GetString("ProductName"), "Kestrune Dorvel");
    EXPECT_EQ(version.GetString("productversion"), std::string(DLSW_PROJECT_VERSION) + ".0");
    EXPECT_EQ(version.GetString("NoSuchKey"), "");
    EXPECT_EQ(version.GetString("FileVersion", 0x040704B0u), "");
    version.Free();
    EXPECT_EQ(version.m_pVersionInfo, nullptr);
    EXPECT_EQ(version.GetString("FileVersion"), "");

    // A module without a version resource, and a file that is no module.
    EXPECT_FALSE(version.Load(MapPosixPathToWindows(FixtureModule("MarkerModule.so")).c_str()));
    EXPECT_EQ(version.m_dwTranslation, 0u);
    std::ofstream(m_root / "text.dll") << "not a module";
    EXPECT_FALSE(version.Load("D:\\text.dll"));
}
} // namespace
