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
// Every handle (and every view) of a named section holds a shared lock on byte 0 of its object, so the
// section lives, as on Windows, exactly as long as someone holds it: an object nobody holds is a
// leftover of an earlier run and is sized and cleared anew by the next creator. Byte 1 is held
// exclusively while an opener decides whether it is the first, so two openers never both take an
// uninitialised object for an existing one. The locks belong to the open file description: two handles
// in one process count as two holders.
constexpr off_t ATTACH_BYTE = 0;
constexpr off_t OPENING_BYTE = 1;

bool LockByte(int fd, off_t nByte, short nType, bool bWait)
{
    struct flock fl = {};
    fl.l_type = nType;
    fl.l_whence = SEEK_SET;
    fl.l_start = nByte;
    fl.l_len = 1;
    for (;;)
    {
        if (::fcntl(fd, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

class CSectionObject : public CWinHandleObject
{
public:
    CSectionObject(int fd, bool bWritable, bool bNamed) : m_fd(fd), m_bWritable(bWritable), m_bNamed(bNamed)
    {
    }
    ~CSectionObject() override
    {
        if (m_fd < 0)
            return;
        // The last holder gives the memory back; the object itself stays for the next creator.
        if (m_bNamed && LockByte(m_fd, OPENING_BYTE, F_WRLCK, true) &&
            LockByte(m_fd, ATTACH_BYTE, F_WRLCK, false))
            static_cast<void>(::ftruncate(m_fd, 0));
        ::close(m_fd);
    }
    int m_fd;
    bool m_bWritable;
    bool m_bNamed;
};

// A view keeps its section alive after the handle is closed, as on Windows.
struct CView
{
    size_t m_nBytes;
    std::shared_ptr<CSectionObject> m_spSection;
};

// Views by base address, for UnmapViewOfFile.
std::mutex& ViewMutex()
{
    static std::mutex* s_pMutex = new std::mutex();
    return *s_pMutex;
}
std::map<const void*, CView>& Views()
{
    static auto* s_pViews = new std::map<const void*, CView>();
    return *s_pViews;
}

ULONGLONG SizeOf(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<ULONGLONG>(st.st_size);
}

// /dev/shm is writable by everyone: an object that another account made, or that others may read or
// write, is refused rather than trusted with the log.
DWORD CheckOwnObject(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return Win32ErrorFromErrno(errno);
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// Opens (or, with bCreate, creates) the named object, checks who owns it and attaches to it under the
// opening lock. On success bFirst tells whether nobody else held it; the caller then still holds the
// attach byte exclusively and the opening lock, and must call FinishAttach.
DWORD AttachNamedObject(const std::string& sShmName, bool bCreate, int& fd, bool& bFirst)
{
    fd = ::shm_open(sShmName.c_str(), O_RDWR | O_CLOEXEC | (bCreate ? O_CREAT : 0), 0600);
    if (fd < 0)
        return Win32ErrorFromErrno(errno);
    DWORD dwError = CheckOwnObject(fd);
    if (dwError == ERROR_SUCCESS && !LockByte(fd, OPENING_BYTE, F_WRLCK, true))
        dwError = Win32ErrorFromErrno(errno);
    if (dwError == ERROR_SUCCESS)
    {
        bFirst = LockByte(fd, ATTACH_BYTE, F_WRLCK, false);
        // Others hold it shared only; nobody holds it exclusively outside the opening lock.
        if (!bFirst && !LockByte(fd, ATTACH_BYTE, F_RDLCK, false))
            dwError = Win32ErrorFromErrno(errno);
    }
    if (dwError != ERROR_SUCCESS)
    {
        ::close(fd); // lets go of every lock taken here
        fd = -1;
    }
    return dwError;
}

// Turns an exclusive attach into a shared one (in one step: nobody can slip in between) and lets the
// next opener decide.
void FinishAttach(int fd)
{
    LockByte(fd, ATTACH_BYTE, F_RDLCK, false);
    LockByte(fd, OPENING_BYTE, F_UNLCK, false);
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
    if (pszName == nullptr)
    {
        const int fd = ::memfd_create("dlsw-section", MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(ullSize)) != 0)
        {
            const int nErrno = errno;
            if (fd >= 0)
                ::close(fd);
            SetLastErrorFromErrno(nErrno);
            return nullptr;
        }
        HANDLE h = RegisterHandleObject(std::make_shared<CSectionObject>(fd, bWritable, false));
        SetLastError(ERROR_SUCCESS);
        return h;
    }
    int fd = -1;
    bool bFirst = false;
    const DWORD dwError = AttachNamedObject(SharedMemoryNameOf(pszName), true, fd, bFirst);
    if (dwError != ERROR_SUCCESS)
    {
        SetLastError(dwError);
        return nullptr;
    }
    if (bFirst)
    {
        // A new section: whatever an earlier run left (even an object that was never sized) is cleared.
        if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(ullSize)) != 0 ||
            ::fchmod(fd, 0600) != 0)
        {
            const int nErrno = errno;
            ::close(fd);
            SetLastErrorFromErrno(nErrno);
            return nullptr;
        }
    }
    FinishAttach(fd);
    HANDLE h = RegisterHandleObject(std::make_shared<CSectionObject>(fd, bWritable, true));
    SetLastError(bFirst ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return h;
}

HANDLE OpenFileMappingA(DWORD dwDesiredAccess, BOOL /*bInheritHandle*/, LPCSTR pszName)
{
    if (pszName == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = -1;
    bool bFirst = false;
    const DWORD dwError = AttachNamedObject(SharedMemoryNameOf(pszName), false, fd, bFirst);
    if (dwError != ERROR_SUCCESS)
    {
        SetLastError(dwError);
        return nullptr;
    }
    if (bFirst)
    {
        // Nobody holds it: the section no longer exists.
        ::close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    FinishAttach(fd);
    SetLastError(ERROR_SUCCESS);
    return RegisterHandleObject(
        std::make_shared<CSectionObject>(fd, (dwDesiredAccess & FILE_MAP_WRITE) != 0, true));
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
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(ViewMutex());
    Views()[p] = CView{static_cast<size_t>(ullBytes), spSection};
    return p;
}

BOOL UnmapViewOfFile(LPCVOID pBaseAddress)
{
    CView view{};
    {
        std::lock_guard<std::mutex> lock(ViewMutex());
        auto it = Views().find(pBaseAddress);
        if (it == Views().end())
        {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        view = std::move(it->second);
        Views().erase(it);
    }
    ::munmap(const_cast<void*>(pBaseAddress), view.m_nBytes);
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
