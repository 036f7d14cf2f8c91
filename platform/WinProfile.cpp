#include "platform/WinProfile.h"

#include "platform/WinFile.h"
#include "platform/WinSync.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223u
#endif

namespace
{
// An INI file is a few kilobytes; anything this size is no profile, and reading it for every key would
// only cost time.
constexpr size_t MAX_PROFILE_BYTES = size_t{1} << 20;

struct CProfileKey
{
    std::string m_sName;
    std::string m_sValue;
    bool m_bHasValue = false; // a line without "=" names a key but gives it no value
};

struct CProfileSection
{
    std::string m_sName;
    bool m_bNamed = true; // lines before the first section header belong to no section a caller can name
    std::vector<CProfileKey> m_vecKeys;
};

struct CProfile
{
    std::vector<CProfileSection> m_vecSections;
};

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        char ca = a[i];
        char cb = b[i];
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<char>(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<char>(cb - 'a' + 'A');
        if (ca != cb)
            return false;
    }
    return true;
}

// A value ends at an embedded NUL: callers read it as a C string.
std::string_view UpToNul(std::string_view s)
{
    const size_t nNul = s.find('\0');
    return nNul == std::string_view::npos ? s : s.substr(0, nNul);
}

std::string_view StripQuotes(std::string_view s)
{
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

std::shared_ptr<CProfile> Parse(std::string_view text)
{
    auto spProfile = std::make_shared<CProfile>();
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    CProfileSection* pCurrent = nullptr;
    while (!text.empty())
    {
        const size_t nEnd = text.find('\n');
        std::string_view line = text.substr(0, nEnd);
        text.remove_prefix(nEnd == std::string_view::npos ? text.size() : nEnd + 1);
        line = Trim(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[')
        {
            const size_t nClose = line.rfind(']');
            if (nClose != std::string_view::npos)
            {
                CProfileSection& section = spProfile->m_vecSections.emplace_back();
                section.m_sName = UpToNul(Trim(line.substr(1, nClose - 1)));
                pCurrent = &section;
                continue;
            }
            // Without its closing bracket the line is no header: it reads as an ordinary line.
        }
        if (pCurrent == nullptr)
        {
            pCurrent = &spProfile->m_vecSections.emplace_back();
            pCurrent->m_bNamed = false;
        }
        CProfileKey& key = pCurrent->m_vecKeys.emplace_back();
        const size_t nEqual = line.find('=');
        key.m_sName = UpToNul(Trim(line.substr(0, nEqual)));
        if (nEqual != std::string_view::npos)
        {
            key.m_bHasValue = true;
            key.m_sValue = UpToNul(StripQuotes(Trim(line.substr(nEqual + 1))));
        }
    }
    return spProfile;
}

// The file is read whole on every call, and parsed again only when its text changed: a caller reads
// hundreds of keys in a row, and a file rewritten in place within one tick of the clock keeps its times.
std::shared_ptr<const CProfile> LoadProfile(const std::string& sPosixPath, DWORD& dwError)
{
    static std::mutex s_mx;
    static std::string s_sCachedPath;
    static std::string s_sCachedText;
    static std::shared_ptr<const CProfile> s_spCached;

    const int fd = ::open(sPosixPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        dwError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        ::close(fd);
        dwError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::string sText;
    char buffer[16384];
    for (;;)
    {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            ::close(fd);
            dwError = ERROR_READ_FAULT;
            return nullptr;
        }
        if (n == 0)
            break;
        sText.append(buffer, static_cast<size_t>(n));
        if (sText.size() > MAX_PROFILE_BYTES)
        {
            ::close(fd);
            dwError = ERROR_FILE_TOO_LARGE;
            return nullptr;
        }
    }
    ::close(fd);
    {
        std::lock_guard<std::mutex> guard(s_mx);
        if (s_spCached && s_sCachedPath == sPosixPath && s_sCachedText == sText)
            return s_spCached;
    }
    std::shared_ptr<const CProfile> spProfile = Parse(sText);
    std::lock_guard<std::mutex> guard(s_mx);
    s_sCachedPath = sPosixPath;
    s_sCachedText = std::move(sText);
    s_spCached = spProfile;
    return spProfile;
}

const CProfileSection* FindSection(const CProfile& profile, std::string_view sName)
{
    for (const CProfileSection& section : profile.m_vecSections)
    {
        if (section.m_bNamed && EqualNoCase(section.m_sName, sName))
            return &section;
    }
    return nullptr;
}

const CProfileKey* FindKey(const CProfileSection& section, std::string_view sName)
{
    for (const CProfileKey& key : section.m_vecKeys)
    {
        if (EqualNoCase(key.m_sName, sName))
            return &key;
    }
    return nullptr;
}

DWORD CopyValue(std::string_view value, LPSTR pszOut, DWORD nSize)
{
    const size_t nCopy = value.size() < nSize ? value.size() : nSize - 1;
    std::memcpy(pszOut, value.data(), nCopy);
    pszOut[nCopy] = '\0';
    return static_cast<DWORD>(nCopy);
}

// Names, each ended by a NUL, the list by a second one; a name seen before is listed once.
DWORD CopyNameList(const std::vector<std::string_view>& vecNames, LPSTR pszOut, DWORD nSize)
{
    std::string sList;
    std::vector<std::string_view> vecSeen;
    for (std::string_view name : vecNames)
    {
        bool bSeen = false;
        for (std::string_view seen : vecSeen)
            bSeen = bSeen || EqualNoCase(seen, name);
        if (bSeen)
            continue;
        vecSeen.push_back(name);
        sList.append(name);
        sList.push_back('\0');
    }
    if (nSize < 2)
    {
        pszOut[0] = '\0';
        return 0;
    }
    if (sList.size() + 1 <= nSize)
    {
        std::memcpy(pszOut, sList.data(), sList.size());
        pszOut[sList.size()] = '\0';
        if (sList.empty() && nSize >= 2)
            pszOut[1] = '\0';
        return static_cast<DWORD>(sList.empty() ? 0 : sList.size());
    }
    std::memcpy(pszOut, sList.data(), nSize - 2);
    pszOut[nSize - 2] = '\0';
    pszOut[nSize - 1] = '\0';
    return nSize - 2;
}
} // namespace

DWORD GetPrivateProfileStringA(LPCSTR pszAppName, LPCSTR pszKeyName, LPCSTR pszDefault,
                               LPSTR pszReturnedString, DWORD nSize, LPCSTR pszFileName)
{
    if (pszReturnedString == nullptr || nSize == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string_view defaultValue = pszDefault != nullptr ? pszDefault : "";
    std::shared_ptr<const CProfile> spProfile;
    DWORD dwError = ERROR_FILE_NOT_FOUND;
    std::string sPosixPath;
    if (pszFileName != nullptr && MapWindowsPathToPosix(pszFileName, sPosixPath) == ERROR_SUCCESS)
        spProfile = LoadProfile(sPosixPath, dwError);

    if (pszAppName == nullptr)
    {
        std::vector<std::string_view> vecNames;
        if (spProfile)
        {
            for (const CProfileSection& section : spProfile->m_vecSections)
            {
                if (section.m_bNamed)
                    vecNames.push_back(section.m_sName);
            }
        }
        SetLastError(spProfile ? ERROR_SUCCESS : dwError);
        return CopyNameList(vecNames, pszReturnedString, nSize);
    }
    const CProfileSection* pSection = spProfile ? FindSection(*spProfile, pszAppName) : nullptr;
    if (pszKeyName == nullptr)
    {
        std::vector<std::string_view> vecNames;
        if (pSection != nullptr)
        {
            for (const CProfileKey& key : pSection->m_vecKeys)
                vecNames.push_back(key.m_sName);
        }
        SetLastError(pSection != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        return CopyNameList(vecNames, pszReturnedString, nSize);
    }
    const CProfileKey* pKey = pSection != nullptr ? FindKey(*pSection, pszKeyName) : nullptr;
    if (pKey == nullptr || !pKey->m_bHasValue)
    {
        SetLastError(spProfile ? ERROR_FILE_NOT_FOUND : dwError);
        return CopyValue(defaultValue, pszReturnedString, nSize);
    }
    SetLastError(ERROR_SUCCESS);
    return CopyValue(pKey->m_sValue, pszReturnedString, nSize);
}
