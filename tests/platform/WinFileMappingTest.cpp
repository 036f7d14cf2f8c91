#include "platform/WinFileMapping.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

namespace
{
// An object under a section's name as another program (or an earlier run) left it.
void MakeRawObject(const std::string& sName, mode_t mode, off_t nSize)
{
    const int fd = ::shm_open(SharedMemoryNameOf(sName).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchmod(fd, mode), 0);
    ASSERT_EQ(::ftruncate(fd, nSize), 0);
    ::close(fd);
}
} // namespace

TEST(WinFileMapping, SectionLivesWhileAHandleOrAViewHoldsIt)
{
    const std::string sName = UniqueName("lifetime");
    DeleteNamedFileMapping(sName.c_str());

    // Two handles in one process: the second finds the first's section.
    HANDLE hFirst = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192, sName.c_str());
    ASSERT_NE(hFirst, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    char* pView = static_cast<char*>(MapViewOfFile(hFirst, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(pView, nullptr);
    std::memcpy(pView, "first run", 10);
    HANDLE hSecond =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, sName.c_str());
    ASSERT_NE(hSecond, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileMappingSize(hSecond), 8192u);

    // The first handle goes, its view stays: the section is still there.
    CloseHandle(hFirst);
    CloseHandle(hSecond);
    HANDLE hOpened = OpenFileMappingA(FILE_MAP_READ, FALSE, sName.c_str());
    ASSERT_NE(hOpened, nullptr);
    const char* pReader = static_cast<const char*>(MapViewOfFile(hOpened, FILE_MAP_READ, 0, 0, 100));
    ASSERT_NE(pReader, nullptr);
    EXPECT_STREQ(pReader, "first run");
    EXPECT_TRUE(UnmapViewOfFile(pReader));
    CloseHandle(hOpened);
    EXPECT_TRUE(UnmapViewOfFile(pView));

    // After the last holder the name opens nothing, and the next creator gets a new, empty section of the
    // size it asks for.
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sName.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE hAgain = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, sName.c_str());
    ASSERT_NE(hAgain, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(GetFileMappingSize(hAgain), 4096u);
    const char* pAgain = static_cast<const char*>(MapViewOfFile(hAgain, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(pAgain, nullptr);
    EXPECT_EQ(pAgain[0], '\0');
    EXPECT_TRUE(UnmapViewOfFile(pAgain));
    CloseHandle(hAgain);
    DeleteNamedFileMapping(sName.c_str());
}

TEST(WinFileMapping, LeftoverObjectOfAnyLengthIsSizedAnew)
{
    // A creator that died before sizing its object, or one that asked for less.
    const std::string sName = UniqueName("leftover");
    for (off_t nLeft : {off_t(0), off_t(100)})
    {
        DeleteNamedFileMapping(sName.c_str());
        MakeRawObject(sName, 0600, nLeft);
        EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sName.c_str()), nullptr);
        HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192, sName.c_str());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        EXPECT_EQ(GetFileMappingSize(h), 8192u);
        CloseHandle(h);
    }
    DeleteNamedFileMapping(sName.c_str());
}

TEST(WinFileMapping, ObjectOthersCanReachIsRefused)
{
    const std::string sName = UniqueName("foreign");
    struct Case
    {
        mode_t mode;
        uid_t uid;
    };
    std::vector<Case> cases{{0666, ::geteuid()}, {0640, ::geteuid()}, {0604, ::geteuid()}};
    if (::geteuid() == 0)
        cases.push_back({0600, 12345}); // made in advance by another account
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.mode);
        DeleteNamedFileMapping(sName.c_str());
        MakeRawObject(sName, c.mode, 8192);
        if (c.uid != ::geteuid())
        {
            ASSERT_EQ(::chown(("/dev/shm" + SharedMemoryNameOf(sName)).c_str(), c.uid, c.uid), 0);
        }
        EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192, sName.c_str()),
                  nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, sName.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, sName.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    DeleteNamedFileMapping(sName.c_str());
}

namespace
{
// What CreateFileMappingA (or, with a zero size, OpenFileMappingA) reports in a child process: the last
// error, or 99 when no handle came back from an open.
int ChildAttachError(const std::string& sName, DWORD dwSize)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        HANDLE h = dwSize != 0 ? CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, dwSize,
                                                    sName.c_str())
                               : OpenFileMappingA(FILE_MAP_READ, FALSE, sName.c_str());
        const DWORD dwError = GetLastError();
        ::_exit(h == nullptr && dwError == ERROR_SUCCESS ? 99 : static_cast<int>(dwError));
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}
} // namespace

TEST(WinFileMapping, AnotherProcessSeesTheSectionOnlyWhileItIsHeld)
{
    const std::string sName = UniqueName("process");
    DeleteNamedFileMapping(sName.c_str());
    // A child's section goes with the child.
    EXPECT_EQ(ChildAttachError(sName, 4096), static_cast<int>(ERROR_SUCCESS));
    EXPECT_EQ(ChildAttachError(sName, 4096), static_cast<int>(ERROR_SUCCESS));

    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, sName.c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(ChildAttachError(sName, 4096), static_cast<int>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ChildAttachError(sName, 0), static_cast<int>(ERROR_SUCCESS));
    CloseHandle(h);
    EXPECT_EQ(ChildAttachError(sName, 0), static_cast<int>(ERROR_FILE_NOT_FOUND));
    DeleteNamedFileMapping(sName.c_str());
}
