#include "platform/WinFile.h"

#include "platform/MachineConfig.h"
#include "platform/WinError.h"
#include "platform/WinSync.h"
#include "platform/WinTime.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
class CFileObject : public CWinHandleObject
{
public:
    explicit CFileObject(int fd) : m_fd(fd) {}
    ~CFileObject() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int m_fd;
};

struct FoundEntry
{
    std::string m_sName;
    struct stat m_stat;
};

class CFindObject : public CWinHandleObject
{
public:
    std::vector<FoundEntry> m_entries;
    size_t m_nNext = 0;
};

bool IsInvalidNameChar(char ch, bool bAllowWildcards)
{
    if (static_cast<unsigned char>(ch) < 0x20)
        return true;
    switch (ch)
    {
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
        return true;
    case '*':
    case '?':
        return !bAllowWildcards;
    default:
        return false;
    }
}

// The existing entry of a directory whose name matches without regard to case, or the name itself.
std::string ResolveComponent(const std::string& sDir, const std::string& sName)
{
    std::string sCandidate = sDir == "/" ? "/" + sName : sDir + "/" + sName;
    struct stat st;
    if (::lstat(sCandidate.c_str(), &st) == 0)
        return sName;
    DIR* pDir = ::opendir(sDir.c_str());
    if (pDir == nullptr)
        return sName;
    std::string sFound = sName;
    while (dirent* pEntry = ::readdir(pDir))
    {
        if (::strcasecmp(pEntry->d_name, sName.c_str()) == 0)
        {
            sFound = pEntry->d_name;
            break;
        }
    }
    ::closedir(pDir);
    return sFound;
}

DWORD MapPath(const std::string& sWindowsPath, std::string& sPosixPath, bool bAllowWildcardsInLast)
{
    if (sWindowsPath.empty())
        return ERROR_PATH_NOT_FOUND;
    std::string sPath = sWindowsPath;
    for (char& ch : sPath)
    {
        if (ch == '/')
            ch = '\\';
    }
    if (sPath.rfind("\\\\?\\", 0) == 0)
        sPath.erase(0, 4);
    else if (sPath.rfind("\\\\", 0) == 0)
        return ERROR_BAD_NETPATH;

    std::string sRoot;
    std::string sRest;
    if (sPath.size() >= 2 && std::isalpha(static_cast<unsigned char>(sPath[0])) && sPath[1] == ':')
    {
        if (!CMachineConfig::Instance().GetDriveRoot(sPath[0], sRoot))
            return ERROR_PATH_NOT_FOUND;
        sRest = sPath.substr(2);
    }
    else if (sPath[0] == '\\')
    {
        // A rooted path without a drive is on Z:, the POSIX root.
        sRoot = "/";
        sRest = sPath;
    }
    else
    {
        std::error_code ec;
        sRoot = std::filesystem::current_path(ec).string();
        if (ec)
            return ERROR_PATH_NOT_FOUND;
        sRest = sPath;
    }

    std::vector<std::string> components;
    size_t nPos = 0;
    while (nPos <= sRest.size())
    {
        size_t nEnd = sRest.find('\\', nPos);
        if (nEnd == std::string::npos)
            nEnd = sRest.size();
        std::string sPart = sRest.substr(nPos, nEnd - nPos);
        nPos = nEnd + 1;
        if (sPart.empty() || sPart == ".")
            continue;
        if (sPart == "..")
        {
            if (!components.empty())
                components.pop_back();
            continue;
        }
        components.push_back(sPart);
    }
    for (size_t i = 0; i < components.size(); ++i)
    {
        const bool bLast = i + 1 == components.size();
        for (char ch : components[i])
        {
            if (IsInvalidNameChar(ch, bLast && bAllowWildcardsInLast))
                return ERROR_INVALID_NAME;
        }
    }

    std::string sResult = sRoot.empty() ? "/" : sRoot;
    while (sResult.size() > 1 && sResult.back() == '/')
        sResult.pop_back();
    for (size_t i = 0; i < components.size(); ++i)
    {
        const bool bLast = i + 1 == components.size();
        const std::string sName =
            (bLast && bAllowWildcardsInLast) ? components[i] : ResolveComponent(sResult, components[i]);
        sResult = sResult == "/" ? "/" + sName : sResult + "/" + sName;
    }
    sPosixPath = sResult;
    return ERROR_SUCCESS;
}

FILETIME ToFileTime(const timespec& ts)
{
    if (ts.tv_sec < 0)
        return UInt64ToFileTime(FILETIME_UNIX_EPOCH);
    return UInt64ToFileTime(FILETIME_UNIX_EPOCH +
                            static_cast<ULONGLONG>(ts.tv_sec) * FILETIME_TICKS_PER_SECOND +
                            static_cast<ULONGLONG>(ts.tv_nsec) / 100);
}

DWORD AttributesOf(const struct stat& st, const std::string& sName)
{
    DWORD dwAttributes = 0;
    if (S_ISDIR(st.st_mode))
        dwAttributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & S_IWUSR) == 0)
        dwAttributes |= FILE_ATTRIBUTE_READONLY;
    if (!sName.empty() && sName[0] == '.')
        dwAttributes |= FILE_ATTRIBUTE_HIDDEN;
    return dwAttributes == 0 ? FILE_ATTRIBUTE_NORMAL : dwAttributes;
}

std::string BaseName(const std::string& sPosixPath)
{
    const size_t nSlash = sPosixPath.rfind('/');
    return nSlash == std::string::npos ? sPosixPath : sPosixPath.substr(nSlash + 1);
}

// ERROR_PATH_NOT_FOUND when the directory part is missing, else the plain translation.
DWORD ErrorForPath(int nErrno, const std::string& sPosixPath)
{
    if (nErrno == ENOENT)
    {
        const size_t nSlash = sPosixPath.rfind('/');
        const std::string sDir = nSlash == 0 ? "/" : sPosixPath.substr(0, nSlash);
        struct stat st;
        if (nSlash != std::string::npos && ::stat(sDir.c_str(), &st) != 0)
            return ERROR_PATH_NOT_FOUND;
        return ERROR_FILE_NOT_FOUND;
    }
    return Win32ErrorFromErrno(nErrno);
}

// The shared start of every call that takes a path: a missing path is a bad parameter, and a path
// that does not map sets the mapping's error. Returns false with the last error set.
bool MapArgument(LPCSTR pszPath, std::string& sPosixPath, bool bAllowWildcardsInLast = false)
{
    if (pszPath == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const DWORD dwMap = MapPath(pszPath, sPosixPath, bAllowWildcardsInLast);
    if (dwMap != ERROR_SUCCESS)
    {
        SetLastError(dwMap);
        return false;
    }
    return true;
}

std::shared_ptr<CFileObject> FileOf(HANDLE hFile)
{
    auto spFile = LookupHandleAs<CFileObject>(hFile);
    if (!spFile)
        SetLastError(ERROR_INVALID_HANDLE);
    return spFile;
}

// The attributes, times and size both the attribute query and the directory search report; a directory
// has no size.
template <class TData> void FillFromStat(const struct stat& st, const std::string& sName, TData& data)
{
    data.dwFileAttributes = AttributesOf(st, sName);
    data.ftCreationTime = ToFileTime(st.st_ctim);
    data.ftLastAccessTime = ToFileTime(st.st_atim);
    data.ftLastWriteTime = ToFileTime(st.st_mtim);
    const ULONGLONG ullSize = S_ISDIR(st.st_mode) ? 0 : static_cast<ULONGLONG>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(ullSize >> 32);
    data.nFileSizeLow = static_cast<DWORD>(ullSize & 0xFFFFFFFFu);
}

void FillFindData(const FoundEntry& entry, WIN32_FIND_DATAA& data)
{
    std::memset(&data, 0, sizeof(data));
    FillFromStat(entry.m_stat, entry.m_sName, data);
    std::strncpy(data.cFileName, entry.m_sName.c_str(), MAX_PATH - 1);
}
} // namespace

DWORD MapWindowsPathToPosix(const std::string& sWindowsPath, std::string& sPosixPath)
{
    return MapPath(sWindowsPath, sPosixPath, false);
}

std::string MapPosixPathToWindows(const std::string& sPosixPath)
{
    char chBest = 0;
    size_t nBestLen = 0;
    for (const auto& [chDrive, sRoot] : CMachineConfig::Instance().GetDriveRoots())
    {
        std::string sBase = sRoot;
        while (sBase.size() > 1 && sBase.back() == '/')
            sBase.pop_back();
        if (sBase == "/")
            continue;
        if (sPosixPath.rfind(sBase, 0) == 0 &&
            (sPosixPath.size() == sBase.size() || sPosixPath[sBase.size()] == '/') && sBase.size() > nBestLen)
        {
            chBest = chDrive;
            nBestLen = sBase.size();
        }
    }
    std::string sRest = chBest != 0 ? sPosixPath.substr(nBestLen) : sPosixPath;
    if (sRest.empty())
        sRest = "/";
    for (char& ch : sRest)
    {
        if (ch == '/')
            ch = '\\';
    }
    return std::string(1, chBest != 0 ? chBest : 'Z') + ":" + sRest;
}

HANDLE CreateFileA(LPCSTR pszFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*pSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    std::string sPath;
    if (!MapArgument(pszFileName, sPath))
        return INVALID_HANDLE_VALUE;
    const bool bRead = (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    const bool bWrite =
        (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    int nFlags = O_CLOEXEC;
    nFlags |= bWrite ? (bRead ? O_RDWR : O_WRONLY) : O_RDONLY;

    struct stat stBefore;
    const bool bExisted = ::stat(sPath.c_str(), &stBefore) == 0;
    switch (dwCreationDisposition)
    {
    case CREATE_NEW:
        nFlags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        nFlags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        nFlags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!bWrite)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        nFlags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (bExisted && S_ISDIR(stBefore.st_mode))
    {
        // Directories open only for their times and attributes, and only when asked for explicitly.
        if ((dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0 || bWrite)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        nFlags = O_RDONLY | O_CLOEXEC | O_DIRECTORY;
    }
    const int fd = ::open(sPath.c_str(), nFlags, 0600);
    if (fd < 0)
    {
        const int nErrno = errno;
        SetLastError(nErrno == EEXIST ? ERROR_FILE_EXISTS : ErrorForPath(nErrno, sPath));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE hFile = RegisterHandleObject(std::make_shared<CFileObject>(fd));
    const bool bReportExisting =
        bExisted && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
    SetLastError(bReportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return hFile;
}

BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD nNumberOfBytesToRead, LPDWORD pNumberOfBytesRead,
              LPOVERLAPPED pOverlapped)
{
    if (pNumberOfBytesRead != nullptr)
        *pNumberOfBytesRead = 0;
    auto spFile = FileOf(hFile);
    if (!spFile)
        return FALSE;
    if ((pBuffer == nullptr && nNumberOfBytesToRead != 0) || pOverlapped != nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD dwDone = 0;
    while (dwDone < nNumberOfBytesToRead)
    {
        const ssize_t n =
            ::read(spFile->m_fd, static_cast<char*>(pBuffer) + dwDone, nNumberOfBytesToRead - dwDone);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            SetLastError(errno == EISDIR ? ERROR_INVALID_FUNCTION : Win32ErrorFromErrno(errno));
            if (pNumberOfBytesRead != nullptr)
                *pNumberOfBytesRead = dwDone;
            return FALSE;
        }
        if (n == 0)
            break;
        dwDone += static_cast<DWORD>(n);
    }
    if (pNumberOfBytesRead != nullptr)
        *pNumberOfBytesRead = dwDone;
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD nNumberOfBytesToWrite, LPDWORD pNumberOfBytesWritten,
               LPOVERLAPPED pOverlapped)
{
    if (pNumberOfBytesWritten != nullptr)
        *pNumberOfBytesWritten = 0;
    auto spFile = FileOf(hFile);
    if (!spFile)
        return FALSE;
    if ((pBuffer == nullptr && nNumberOfBytesToWrite != 0) || pOverlapped != nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD dwDone = 0;
    while (dwDone < nNumberOfBytesToWrite)
    {
        const ssize_t n =
            ::write(spFile->m_fd, static_cast<const char*>(pBuffer) + dwDone, nNumberOfBytesToWrite - dwDone);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno));
            if (pNumberOfBytesWritten != nullptr)
                *pNumberOfBytesWritten = dwDone;
            return FALSE;
        }
        dwDone += static_cast<DWORD>(n);
    }
    if (pNumberOfBytesWritten != nullptr)
        *pNumberOfBytesWritten = dwDone;
    return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG pDistanceToMoveHigh, DWORD dwMoveMethod)
{
    auto spFile = FileOf(hFile);
    if (!spFile)
        return INVALID_SET_FILE_POINTER;
    LONGLONG llDistance =
        pDistanceToMoveHigh != nullptr
            ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*pDistanceToMoveHigh)) << 32) |
                                    static_cast<DWORD>(lDistanceToMove))
            : static_cast<LONGLONG>(lDistanceToMove);
    int nWhence = SEEK_SET;
    if (dwMoveMethod == FILE_CURRENT)
        nWhence = SEEK_CUR;
    else if (dwMoveMethod == FILE_END)
        nWhence = SEEK_END;
    else if (dwMoveMethod != FILE_BEGIN)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const off_t nResult = ::lseek(spFile->m_fd, static_cast<off_t>(llDistance), nWhence);
    if (nResult < 0)
    {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : Win32ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    const ULONGLONG ullResult = static_cast<ULONGLONG>(nResult);
    if (pDistanceToMoveHigh != nullptr)
        *pDistanceToMoveHigh = static_cast<LONG>(ullResult >> 32);
    else if (ullResult > 0xFFFFFFFEull)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(ullResult & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE hFile)
{
    auto spFile = FileOf(hFile);
    if (!spFile)
        return FALSE;
    const off_t nPos = ::lseek(spFile->m_fd, 0, SEEK_CUR);
    if (nPos < 0 || ::ftruncate(spFile->m_fd, nPos) != 0)
    {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile)
{
    auto spFile = FileOf(hFile);
    if (!spFile)
        return FALSE;
    if (::fsync(spFile->m_fd) != 0 && errno != EINVAL)
    {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD pFileSizeHigh)
{
    auto spFile = FileOf(hFile);
    struct stat st;
    if (!spFile || ::fstat(spFile->m_fd, &st) != 0)
    {
        if (spFile)
            SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const ULONGLONG ullSize = static_cast<ULONGLONG>(st.st_size);
    if (pFileSizeHigh != nullptr)
        *pFileSizeHigh = static_cast<DWORD>(ullSize >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(ullSize & 0xFFFFFFFFu);
}

BOOL GetFileTime(HANDLE hFile, LPFILETIME pCreationTime, LPFILETIME pLastAccessTime,
                 LPFILETIME pLastWriteTime)
{
    auto spFile = FileOf(hFile);
    if (!spFile)
        return FALSE;
    struct stat st;
    if (::fstat(spFile->m_fd, &st) != 0)
    {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (pCreationTime != nullptr)
        *pCreationTime = ToFileTime(st.st_ctim);
    if (pLastAccessTime != nullptr)
        *pLastAccessTime = ToFileTime(st.st_atim);
    if (pLastWriteTime != nullptr)
        *pLastWriteTime = ToFileTime(st.st_mtim);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR pszFileName)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(pszFileName, GetFileExInfoStandard, &data))
        return INVALID_FILE_ATTRIBUTES;
    return data.dwFileAttributes;
}

BOOL GetFileAttributesExA(LPCSTR pszFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID pFileInformation)
{
    if (pszFileName == nullptr || pFileInformation == nullptr || fInfoLevelId != GetFileExInfoStandard)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string sPath;
    if (!MapArgument(pszFileName, sPath))
        return FALSE;
    struct stat st;
    if (::stat(sPath.c_str(), &st) != 0)
    {
        SetLastError(ErrorForPath(errno, sPath));
        return FALSE;
    }
    FillFromStat(st, BaseName(sPath), *static_cast<LPWIN32_FILE_ATTRIBUTE_DATA>(pFileInformation));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR pszFileName)
{
    std::string sPath;
    if (!MapArgument(pszFileName, sPath))
        return FALSE;
    if (::unlink(sPath.c_str()) != 0)
    {
        SetLastError(ErrorForPath(errno, sPath));
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pszPathName, LPSECURITY_ATTRIBUTES /*pSecurityAttributes*/)
{
    std::string sPath;
    if (!MapArgument(pszPathName, sPath))
        return FALSE;
    if (::mkdir(sPath.c_str(), 0700) != 0)
    {
        const int nErrno = errno;
        SetLastError(nErrno == EEXIST
                         ? ERROR_ALREADY_EXISTS
                         : (nErrno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(nErrno)));
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR pszPathName)
{
    std::string sPath;
    if (!MapArgument(pszPathName, sPath))
        return FALSE;
    if (::rmdir(sPath.c_str()) != 0)
    {
        SetLastError(ErrorForPath(errno, sPath));
        return FALSE;
    }
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pszFileName, LPWIN32_FIND_DATAA pFindFileData)
{
    if (pszFileName == nullptr || pFindFileData == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string sPath;
    if (!MapArgument(pszFileName, sPath, true))
        return INVALID_HANDLE_VALUE;
    const size_t nSlash = sPath.rfind('/');
    const std::string sDir = nSlash == 0 ? "/" : sPath.substr(0, nSlash);
    std::string sPattern = sPath.substr(nSlash + 1);
    if (sPattern.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto spFind = std::make_shared<CFindObject>();
    if (sPattern.find_first_of("*?") == std::string::npos)
    {
        // A plain name: the one entry, found without regard to case.
        const std::string sName = ResolveComponent(sDir, sPattern);
        FoundEntry entry;
        entry.m_sName = sName;
        const std::string sFull = sDir == "/" ? "/" + sName : sDir + "/" + sName;
        if (::stat(sFull.c_str(), &entry.m_stat) != 0)
        {
            SetLastError(ErrorForPath(errno, sFull));
            return INVALID_HANDLE_VALUE;
        }
        spFind->m_entries.push_back(std::move(entry));
    }
    else
    {
        if (sPattern == "*.*")
            sPattern = "*";
        DIR* pDir = ::opendir(sDir.c_str());
        if (pDir == nullptr)
        {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        while (dirent* pEntry = ::readdir(pDir))
        {
            const std::string sName = pEntry->d_name;
            if (sName == "." || sName == "..")
                continue;
            if (::fnmatch(sPattern.c_str(), sName.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) != 0)
                continue;
            FoundEntry entry;
            entry.m_sName = sName;
            const std::string sFull = sDir == "/" ? "/" + sName : sDir + "/" + sName;
            if (::stat(sFull.c_str(), &entry.m_stat) == 0)
                spFind->m_entries.push_back(std::move(entry));
        }
        ::closedir(pDir);
        if (spFind->m_entries.empty())
        {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    }
    FillFindData(spFind->m_entries[0], *pFindFileData);
    spFind->m_nNext = 1;
    SetLastError(ERROR_SUCCESS);
    return RegisterHandleObject(spFind);
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA pFindFileData)
{
    auto spFind = LookupHandleAs<CFindObject>(hFindFile);
    if (!spFind || pFindFileData == nullptr)
    {
        SetLastError(spFind ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (spFind->m_nNext >= spFind->m_entries.size())
    {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    FillFindData(spFind->m_entries[spFind->m_nNext++], *pFindFileData);
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile)
{
    if (!LookupHandleAs<CFindObject>(hFindFile))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(hFindFile);
}
