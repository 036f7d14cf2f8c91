#include "platform/WinFile.h"
#include "platform/WinError.h"
#include "platform/WinMemory.h"
#include "platform/WinSync.h"
#include "platform/WinTime.h"

#include "tests/support/TestFiles.h"

#include <cstring>
#include <fstream>
#include <set>
#include <sys/stat.h>

using WinFileTest = CTempDriveTest;

TEST_F(WinFileTest, MapsDrivesAndResolvesDotsWithinTheRoot)
{
    std::filesystem::create_directories(m_root / "Program Files" / "Settings");
    const std::string sRoot = m_root.string();
    struct Case
    {
        std::string m_sWindows;
        DWORD m_dwError;
        std::string m_sPosix;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Settings\\SWSettings.xml", 0, sRoot + "/Program Files/Settings/SWSettings.xml"},
        {"c:/program files/SETTINGS/x.xml", 0, sRoot + "/Program Files/Settings/x.xml"}, // case found on disk
        {"C:\\..\\..\\etc\\passwd", 0, sRoot + "/etc/passwd"}, // never above the root
        {"C:\\a\\.\\b\\..\\c", 0, sRoot + "/a/c"},
        {"C:\\", 0, sRoot},
        {"Z:\\tmp\\x", 0, "/tmp/x"},
        {"\\tmp\\x", 0, "/tmp/x"},
        {"D:\\x", ERROR_PATH_NOT_FOUND, ""},
        {"", ERROR_PATH_NOT_FOUND, ""},
        {"\\\\server\\share\\x", ERROR_BAD_NETPATH, ""},
        {"C:\\a\\b:stream", ERROR_INVALID_NAME, ""},
        {"C:\\a\\b*", ERROR_INVALID_NAME, ""},
        {"\\\\?\\C:\\a", 0, sRoot + "/a"},
    };
    for (const Case& c : cases)
    {
        std::string sPosix;
        EXPECT_EQ(MapWindowsPathToPosix(c.m_sWindows, sPosix), c.m_dwError) << c.m_sWindows;
        if (c.m_dwError == 0)
        {
            EXPECT_EQ(sPosix, c.m_sPosix) << c.m_sWindows;
        }
    }
    EXPECT_EQ(MapPosixPathToWindows(sRoot + "/Program Files/x.log"), "C:\\Program Files\\x.log");
    EXPECT_EQ(MapPosixPathToWindows("/usr/lib/x.so"), "Z:\\usr\\lib\\x.so");
}

TEST_F(WinFileTest, CreateWriteSeekReadAndTimes)
{
    const std::string sPath = "C:\\log.txt";
    HANDLE h = CreateFileA(sPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    struct stat st;
    ASSERT_EQ(::stat((m_root / "log.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_EQ(SetFilePointer(h, 100, nullptr, FILE_BEGIN), 100u);
    DWORD dwWritten = 0;
    ASSERT_TRUE(WriteFile(h, "hello", 5, &dwWritten, nullptr));
    EXPECT_EQ(dwWritten, 5u);
    DWORD dwHigh = 0;
    EXPECT_EQ(GetFileSize(h, &dwHigh), 105u);
    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 100u);
    char buf[16] = {};
    DWORD dwRead = 0;
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &dwRead, nullptr));
    EXPECT_EQ(std::string(buf, dwRead), "hello");
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &dwRead, nullptr)); // end of file: success with 0 bytes
    EXPECT_EQ(dwRead, 0u);
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_TRUE(FlushFileBuffers(h));

    FILETIME ftWrite{};
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &ftWrite));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA(sPath.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(CompareFileTime(&ftWrite, &data.ftLastWriteTime), 0);
    EXPECT_EQ(data.nFileSizeLow, 105u);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(::stat((m_root / "log.txt").c_str(), &st), 0);
    const ULONGLONG ullExpected = FILETIME_UNIX_EPOCH +
                                  static_cast<ULONGLONG>(st.st_mtim.tv_sec) * FILETIME_TICKS_PER_SECOND +
                                  static_cast<ULONGLONG>(st.st_mtim.tv_nsec) / 100;
    EXPECT_EQ(FileTimeToUInt64(ftWrite), ullExpected);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h)); // a stale handle is refused
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(WriteFile(h, "x", 1, &dwWritten, nullptr));

    // The first 100 bytes were never written: they read as zeros.
    const std::string sContent = ReadFileText(m_root / "log.txt");
    EXPECT_EQ(sContent, std::string(100, '\0') + "hello");
}

TEST_F(WinFileTest, DispositionsAndErrors)
{
    const char* pszPath = "C:\\f.bin";
    EXPECT_EQ(CreateFileA(pszPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileA("C:\\no\\f.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    HANDLE h = CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD dw = 0;
    ASSERT_TRUE(WriteFile(h, "abc", 3, &dw, nullptr));
    CloseHandle(h);
    EXPECT_EQ(CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    h = CreateFileA(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileSize(h, nullptr), 0u); // truncated
    CloseHandle(h);

    std::filesystem::create_directory(m_root / "dir");
    EXPECT_EQ(CreateFileA("C:\\dir", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    h = CreateFileA("C:\\dir", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME ft{};
    EXPECT_TRUE(GetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);

    EXPECT_EQ(GetFileAttributesA("C:\\dir"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(DeleteFileA(pszPath));
    EXPECT_FALSE(DeleteFileA(pszPath));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(WinFileTest, DirectoriesAndSearch)
{
    EXPECT_TRUE(CreateDirectoryA("C:\\Logs", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\Logs", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    for (const char* pszName : {"one.xml", "Two.XML", "three.txt"})
        std::ofstream(m_root / "Logs" / pszName) << "x";

    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFileA("C:\\Logs\\*.xml", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::set<std::string> found{data.cFileName};
    while (FindNextFileA(h, &data))
        found.insert(data.cFileName);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    EXPECT_EQ(found, (std::set<std::string>{"one.xml", "Two.XML"}));

    h = FindFirstFileA("C:\\logs\\TWO.xml", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Two.XML");
    EXPECT_EQ(data.nFileSizeLow, 1u);
    FindClose(h);

    EXPECT_EQ(FindFirstFileA("C:\\Logs\\*.ini", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstFileA("C:\\Nowhere\\*.ini", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(WinError, FormatMessageFromSystem)
{
    char* pszText = nullptr;
    const DWORD dwLen = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                       2, 0, reinterpret_cast<LPSTR>(&pszText), 0, nullptr);
    ASSERT_NE(pszText, nullptr);
    EXPECT_STREQ(pszText, "The system cannot find the file specified.\r\n");
    EXPECT_EQ(dwLen, std::strlen(pszText));
    LocalFree(pszText);

    char buf[256];
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80070057u, 0, buf, sizeof(buf), nullptr),
              0u);
    EXPECT_STREQ(buf, "The parameter is incorrect.\r\n");
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80004005u, 0, buf, sizeof(buf), nullptr),
              0u);
    EXPECT_STREQ(buf, "Unspecified error\r\n");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x12345678u, 0, buf, sizeof(buf), nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buf, 8, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}
