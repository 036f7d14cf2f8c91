#include "platform/WinFileMapping.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string UniqueName(const char* pszTag)
{
    return std::string("Global\\dlsw-test-") + pszTag + "-" + std::to_string(::getpid());
}
} // namespace

TEST(WinFileMapping, CreateOpenShareAndRemove)
{
    const std::string sName = UniqueName("share");
    DeleteNamedFileMapping(sName.c_str());
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sName.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    HANDLE hCreated = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, 8192,
                                         sName.c_str());
    ASSERT_NE(hCreated, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(GetFileMappingSize(hCreated), 8192u);
    struct stat st;
    ASSERT_EQ(::stat(("/dev/shm" + SharedMemoryNameOf(sName)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    HANDLE hAgain = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, sName.c_str());
    ASSERT_NE(hAgain, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileMappingSize(hAgain), 8192u); // the existing section keeps its size
    CloseHandle(hAgain);

    HANDLE hOpened = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sName.c_str());
    ASSERT_NE(hOpened, nullptr);
    char* pWriter = static_cast<char*>(MapViewOfFile(hCreated, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    const char* pReader = static_cast<const char*>(MapViewOfFile(hOpened, FILE_MAP_READ, 0, 0, 100));
    ASSERT_NE(pWriter, nullptr);
    ASSERT_NE(pReader, nullptr);
    std::memcpy(pWriter, "shared", 7);
    EXPECT_STREQ(pReader, "shared");
    EXPECT_EQ(pWriter[8191], 0);

    // A view past the section's end is refused rather than faulting on first touch.
    EXPECT_EQ(MapViewOfFile(hOpened, FILE_MAP_READ, 0, 0, 8193), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(MapViewOfFile(hOpened, FILE_MAP_READ, 0, 16384, 0), nullptr);

    EXPECT_TRUE(UnmapViewOfFile(pWriter));
    EXPECT_TRUE(UnmapViewOfFile(pReader));
    EXPECT_FALSE(UnmapViewOfFile(pReader));
    CloseHandle(hOpened);
    CloseHandle(hCreated);
    EXPECT_TRUE(DeleteNamedFileMapping(sName.c_str()));
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, sName.c_str()), nullptr);
}

TEST(WinFileMapping, ReadOnlyAccessAndBadArguments)
{
    const std::string sName = UniqueName("readonly");
    DeleteNamedFileMapping(sName.c_str());
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, sName.c_str());
    ASSERT_NE(h, nullptr);
    HANDLE hRead = OpenFileMappingA(FILE_MAP_READ, FALSE, sName.c_str());
    ASSERT_NE(hRead, nullptr);
    EXPECT_EQ(MapViewOfFile(hRead, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(hRead);
    CloseHandle(h);
    DeleteNamedFileMapping(sName.c_str());

    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, sName.c_str()),
              nullptr);
    EXPECT_EQ(MapViewOfFile(nullptr, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // Separators in a name never leave the shared-memory namespace.
    EXPECT_EQ(SharedMemoryNameOf("Global\\a/../b").find('/', 1), std::string::npos);
}
