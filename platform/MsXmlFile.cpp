#include "platform/MsXmlFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// As many links as the system itself follows in one path.
constexpr int MAX_LINKS_FOLLOWED = 40;
constexpr mode_t NEW_FILE_MODE = 0600;

std::atomic<int> g_nOwnershipFailure{0};
thread_local DlswSaveOwnership t_lastSave;

int ChangeOwner(int fd, uid_t uid, gid_t gid)
{
    const int nFailure = g_nOwnershipFailure.load(std::memory_order_relaxed);
    if (nFailure != 0)
    {
        errno = nFailure;
        return -1;
    }
    return ::fchown(fd, uid, gid);
}

// The file a path names once its symbolic links are followed; a link to nothing names the file it would
// create. False when the links go round.
bool FollowLinks(const std::string& sPath, std::string& sTarget)
{
    sTarget = sPath;
    for (int nLinks = 0; nLinks <= MAX_LINKS_FOLLOWED; ++nLinks)
    {
        struct stat st = {};
        if (::lstat(sTarget.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        char szLink[PATH_MAX + 1] = {};
        const ssize_t n = ::readlink(sTarget.c_str(), szLink, PATH_MAX);
        if (n <= 0)
            return false;
        const std::string sLink(szLink, static_cast<size_t>(n));
        const size_t nSlash = sTarget.rfind('/');
        if (sLink.front() == '/' || nSlash == std::string::npos)
            sTarget = sLink;
        else
            sTarget = sTarget.substr(0, nSlash + 1) + sLink;
    }
    return false;
}

// The file that replaces an existing one keeps its owner, group and mode, so that the readers the
// administrator let in keep their access. When the owner or the group cannot be given, the mode would
// hand the group's access to another group (or the owner's to this process): the file then stays 0600,
// readable by the worker's account alone, as a new file is.
DlswSaveOwnership KeepOwnerAndMode(const std::string& sTarget, int fd)
{
    DlswSaveOwnership result;
    result.m_nModeWritten = NEW_FILE_MODE;
    struct stat st = {};
    if (::stat(sTarget.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    result.m_bReplaced = true;
    result.m_nOwner = st.st_uid;
    result.m_nGroup = st.st_gid;
    result.m_nModeBefore = st.st_mode & 07777;
    if (ChangeOwner(fd, st.st_uid, st.st_gid) != 0)
    {
        const int nErrno = errno;
        // The new file is this process's own: when the old one was too, only its group is left to give.
        struct stat own = {};
        const bool bOwnerKept = ::fstat(fd, &own) == 0 && own.st_uid == st.st_uid;
        if (!bOwnerKept ||
            (own.st_gid != st.st_gid && ChangeOwner(fd, static_cast<uid_t>(-1), st.st_gid) != 0))
        {
            result.m_nErrno = bOwnerKept ? errno : nErrno;
            result.m_bKept = false;
            return result;
        }
    }
    // After the owner: a change of owner clears the set-id bits.
    if (::fchmod(fd, st.st_mode & 07777) == 0)
        result.m_nModeWritten = st.st_mode & 07777;
    else
    {
        result.m_nErrno = errno;
        result.m_bKept = false;
    }
    return result;
}

bool WriteAllBytes(int fd, const char* p, size_t nLeft)
{
    while (nLeft > 0)
    {
        const ssize_t n = ::write(fd, p, nLeft);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        nLeft -= static_cast<size_t>(n);
    }
    return true;
}
} // namespace

DlswSaveOwnership DlswLastSaveOwnership()
{
    return t_lastSave;
}

void DlswSetSaveOwnershipFailure(int nErrno)
{
    g_nOwnershipFailure.store(nErrno, std::memory_order_relaxed);
}

namespace dlsw_msxml
{
HRESULT ReadDocumentFile(const std::string& sHostPath, size_t nMaxBytes, std::string& sData,
                         std::string& sReason)
{
    // Without blocking: a pipe where a file should be must not hold the loader until someone writes to it.
    const int fd = ::open(sHostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
    {
        sReason = "The system cannot find the file specified.";
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    struct stat st = {};
    HRESULT hr = S_OK;
    if (::fstat(fd, &st) != 0)
    {
        sReason = "The file could not be read.";
        hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    else if (S_ISDIR(st.st_mode))
    {
        sReason = "The path names a folder, not a file.";
        hr = HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED);
    }
    else if (!S_ISREG(st.st_mode))
    {
        sReason = "The path names no regular file.";
        hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    else if (static_cast<unsigned long long>(st.st_size) > nMaxBytes)
    {
        sReason = "The file is too large to be read.";
        hr = E_OUTOFMEMORY;
    }
    sData.clear();
    char buffer[16384];
    while (SUCCEEDED(hr))
    {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            break;
        if (n < 0)
        {
            sReason = "The file could not be read.";
            hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        }
        else if (sData.size() + static_cast<size_t>(n) > nMaxBytes) // grown since it was measured
        {
            sReason = "The file is too large to be read.";
            hr = E_OUTOFMEMORY;
        }
        else
            sData.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (FAILED(hr))
        sData.clear();
    return hr;
}

HRESULT WriteDocumentFile(const std::string& sHostPath, const char* pData, size_t nLength)
{
    t_lastSave = DlswSaveOwnership();
    std::string sTarget;
    if (!FollowLinks(sHostPath, sTarget))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::string sTemp = sTarget + ".XXXXXX";
    const int fd = ::mkstemp(sTemp.data()); // created with mode 0600
    if (fd < 0)
        return HRESULT_FROM_WIN32(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    const DlswSaveOwnership ownership = KeepOwnerAndMode(sTarget, fd);
    bool bOk = WriteAllBytes(fd, pData, nLength);
    if (::close(fd) != 0)
        bOk = false;
    if (!bOk || std::rename(sTemp.c_str(), sTarget.c_str()) != 0)
    {
        ::unlink(sTemp.c_str());
        return E_FAIL;
    }
    t_lastSave = ownership;
    return S_OK;
}
} // namespace dlsw_msxml
