#include "platform/WinFileMapping.h"

#include "platform/WinError.h"
#include "platform/WinSync.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
class CSectionObject : public CWinHandleObject
{
public:
    CSectionObject(int fd, bool bWritable) : m_fd(fd), m_bWritable(bWritable) {}
    ~CSectionObject() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int m_fd;
    bool m_bWritable;
};

// Views by base address, for UnmapViewOfFile.
std::mutex& ViewMutex()
{
    static std::mutex* s_pMutex = new std::mutex();
    return *s_pMutex;
}
std::map<const void*, size_t>& Views()
{
    static auto* s_pViews = new std::map<const void*, size_t>();
    return *s_pViews;
}

ULONGLONG SizeOf(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<ULONGLONG>(st.st_size);
}
} // namespace

std::string SharedMemoryNameOf(const std::string& sName)
{
    std::string sResult = "/dlsw." + std::to_string(::getuid()) + ".";
    for (char ch : sName)
        sResult.push_back(ch == '\\' || ch == '/' ? '_' : ch);
    // NAME_MAX bounds a shared memory name.
    if (sResult.size() > 250)
        sResult.resize(250);
    return sResult;
}

HANDLE CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES /*pAttributes*/, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR pszName)
{
    if (hFile != INVALID_HANDLE_VALUE)
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const ULONGLONG ullSize = (static_cast<ULONGLONG>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    const bool bWritable = (flProtect & 0xFFu) == PAGE_READWRITE;
    if (ullSize == 0 || ullSize > static_cast<ULONGLONG>(INT64_MAX))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = -1;
    bool bExisted = false;
    if (pszName == nullptr)
    {
        fd = ::memfd_create("dlsw-section", MFD_CLOEXEC);
    }
    else
    {
        const std::string sShmName = SharedMemoryNameOf(pszName);
        fd = ::shm_open(sShmName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
        {
            bExisted = true;
            fd = ::shm_open(sShmName.c_str(), bWritable ? O_RDWR | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0600);
        }
        else if (fd >= 0)
        {
            // The mode of a new object is narrowed by the umask; make it exactly owner read and write.
            ::fchmod(fd, 0600);
        }
    }
    if (fd < 0)
    {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    if (!bExisted && ::ftruncate(fd, static_cast<off_t>(ullSize)) != 0)
    {
        const int nErrno = errno;
        ::close(fd);
        if (pszName != nullptr)
            ::shm_unlink(SharedMemoryNameOf(pszName).c_str());
        SetLastError(Win32ErrorFromErrno(nErrno));
        return nullptr;
    }
    HANDLE h = RegisterHandleObject(std::make_shared<CSectionObject>(fd, bWritable));
    SetLastError(bExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE OpenFileMappingA(DWORD dwDesiredAccess, BOOL /*bInheritHandle*/, LPCSTR pszName)
{
    if (pszName == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool bWritable = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
    const int fd =
        ::shm_open(SharedMemoryNameOf(pszName).c_str(), (bWritable ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
    if (fd < 0)
    {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return RegisterHandleObject(std::make_shared<CSectionObject>(fd, bWritable));
}

LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                     DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap)
{
    auto spSection = LookupHandleAs<CSectionObject>(hFileMappingObject);
    if (!spSection)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const bool bWrite = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
    if (bWrite && !spSection->m_bWritable)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const ULONGLONG ullOffset = (static_cast<ULONGLONG>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    const ULONGLONG ullSize = SizeOf(spSection->m_fd);
    if (ullOffset % static_cast<ULONGLONG>(::sysconf(_SC_PAGESIZE)) != 0 || ullOffset >= ullSize)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const ULONGLONG ullBytes = dwNumberOfBytesToMap == 0 ? ullSize - ullOffset : dwNumberOfBytesToMap;
    if (ullBytes > ullSize - ullOffset)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    void* p = ::mmap(nullptr, static_cast<size_t>(ullBytes), bWrite ? PROT_READ | PROT_WRITE : PROT_READ,
                     MAP_SHARED, spSection->m_fd, static_cast<off_t>(ullOffset));
    if (p == MAP_FAILED)
    {
        SetLastError(Win32ErrorFromErrno(errno));
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(ViewMutex());
    Views()[p] = static_cast<size_t>(ullBytes);
    return p;
}

BOOL UnmapViewOfFile(LPCVOID pBaseAddress)
{
    size_t nBytes = 0;
    {
        std::lock_guard<std::mutex> lock(ViewMutex());
        auto it = Views().find(pBaseAddress);
        if (it == Views().end())
        {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        nBytes = it->second;
        Views().erase(it);
    }
    ::munmap(const_cast<void*>(pBaseAddress), nBytes);
    return TRUE;
}

ULONGLONG GetFileMappingSize(HANDLE hFileMappingObject)
{
    auto spSection = LookupHandleAs<CSectionObject>(hFileMappingObject);
    return spSection ? SizeOf(spSection->m_fd) : 0;
}

BOOL DeleteNamedFileMapping(LPCSTR pszName)
{
    if (pszName == nullptr || ::shm_unlink(SharedMemoryNameOf(pszName).c_str()) != 0)
    {
        SetLastError(pszName == nullptr ? ERROR_INVALID_PARAMETER : Win32ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
