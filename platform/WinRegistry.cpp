#include "platform/WinRegistry.h"

#include "platform/MachineConfig.h"
#include "platform/WinHandle.h"
#include "platform/WinSync.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>

namespace
{
struct RootName
{
    const char* m_pszName;
    const char* m_pszAbbreviation;
    uintptr_t m_nValue;
};

const RootName g_roots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", 0x80000000u},   {"HKEY_CURRENT_USER", "HKCU", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", "HKLM", 0x80000002u},  {"HKEY_USERS", "HKU", 0x80000003u},
    {"HKEY_CURRENT_CONFIG", "HKCC", 0x80000005u},
};

class CKeyObject : public CWinHandleObject
{
public:
    explicit CKeyObject(std::string sPath) : m_sPath(std::move(sPath)) {}
    std::string m_sPath;
};

// The parsed file, reread when its path, size or time changes.
struct RegistryCache
{
    std::mutex m_mutex;
    std::string m_sPath;
    off_t m_nSize = -1;
    timespec m_mtime{};
    std::shared_ptr<const RegistryData> m_spData;
};

RegistryCache& Cache()
{
    static RegistryCache* s_pCache = new RegistryCache();
    return *s_pCache;
}

std::shared_ptr<const RegistryData> CurrentRegistry()
{
    const std::string sPath = CMachineConfig::Instance().GetRegistryFile();
    RegistryCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.m_mutex);
    struct stat st;
    if (sPath.empty() || ::stat(sPath.c_str(), &st) != 0)
    {
        cache.m_sPath.clear();
        cache.m_spData = std::make_shared<RegistryData>();
        return cache.m_spData;
    }
    if (cache.m_spData && cache.m_sPath == sPath && cache.m_nSize == st.st_size &&
        cache.m_mtime.tv_sec == st.st_mtim.tv_sec && cache.m_mtime.tv_nsec == st.st_mtim.tv_nsec)
        return cache.m_spData;
    std::ifstream in(sPath, std::ios::binary);
    const std::string sText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto spData = std::make_shared<RegistryData>();
    size_t nBadLines = 0;
    ParseRegistryText(sText, *spData, nBadLines);
    cache.m_sPath = sPath;
    cache.m_nSize = st.st_size;
    cache.m_mtime = st.st_mtim;
    cache.m_spData = spData;
    return spData;
}

void AppendUtf8(std::string& s, uint32_t nCode)
{
    if (nCode < 0x80)
    {
        s.push_back(static_cast<char>(nCode));
    }
    else if (nCode < 0x800)
    {
        s.push_back(static_cast<char>(0xC0 | (nCode >> 6)));
        s.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
    }
    else if (nCode < 0x10000)
    {
        s.push_back(static_cast<char>(0xE0 | (nCode >> 12)));
        s.push_back(static_cast<char>(0x80 | ((nCode >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
    }
    else
    {
        s.push_back(static_cast<char>(0xF0 | (nCode >> 18)));
        s.push_back(static_cast<char>(0x80 | ((nCode >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((nCode >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (nCode & 0x3F)));
    }
}

// UTF-16LE bytes as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const BYTE* p, size_t nBytes)
{
    std::string s;
    s.reserve(nBytes / 2);
    for (size_t i = 0; i + 1 < nBytes; i += 2)
    {
        uint32_t nUnit = p[i] | (static_cast<uint32_t>(p[i + 1]) << 8);
        if (nUnit >= 0xD800 && nUnit <= 0xDBFF && i + 3 < nBytes)
        {
            const uint32_t nLow = p[i + 2] | (static_cast<uint32_t>(p[i + 3]) << 8);
            if (nLow >= 0xDC00 && nLow <= 0xDFFF)
            {
                nUnit = 0x10000 + ((nUnit - 0xD800) << 10) + (nLow - 0xDC00);
                i += 2;
            }
            else
            {
                nUnit = 0xFFFD;
            }
        }
        else if (nUnit >= 0xD800 && nUnit <= 0xDFFF)
        {
            nUnit = 0xFFFD;
        }
        AppendUtf8(s, nUnit);
    }
    return s;
}

std::string Trim(const std::string& s)
{
    size_t nBegin = 0;
    size_t nEnd = s.size();
    while (nBegin < nEnd && (s[nBegin] == ' ' || s[nBegin] == '\t'))
        ++nBegin;
    while (nEnd > nBegin && (s[nEnd - 1] == ' ' || s[nEnd - 1] == '\t' || s[nEnd - 1] == '\r'))
        --nEnd;
    return s.substr(nBegin, nEnd - nBegin);
}

int HexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// A quoted text from nPos (at the opening quote) with the escapes \\ and \"; nPos ends behind it.
bool ParseQuoted(const std::string& s, size_t& nPos, std::string& sOut)
{
    if (nPos >= s.size() || s[nPos] != '"')
        return false;
    sOut.clear();
    for (size_t i = nPos + 1; i < s.size(); ++i)
    {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"'))
        {
            sOut.push_back(s[++i]);
            continue;
        }
        if (s[i] == '"')
        {
            nPos = i + 1;
            return true;
        }
        sOut.push_back(s[i]);
    }
    return false;
}

// "hh,hh,..." into bytes.
bool ParseHexBytes(const std::string& s, std::vector<BYTE>& bytes)
{
    bytes.clear();
    size_t i = 0;
    while (i < s.size())
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i >= s.size())
            break;
        const int nHigh = HexDigit(s[i]);
        const int nLow = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
        if (nHigh < 0)
            return false;
        if (nLow < 0)
        {
            bytes.push_back(static_cast<BYTE>(nHigh));
            i += 1;
        }
        else
        {
            bytes.push_back(static_cast<BYTE>(nHigh * 16 + nLow));
            i += 2;
        }
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i < s.size())
        {
            if (s[i] != ',')
                return false;
            ++i;
        }
    }
    return true;
}

// "HKEY_...\a\b" with its root spelled out in full, or empty when the root is unknown.
std::string NormalizeKeyPath(const std::string& sPath)
{
    // The registry's own limits: key paths of at most 512 levels and 32767 characters.
    constexpr size_t MAX_PATH_LENGTH = 32767;
    constexpr size_t MAX_DEPTH = 512;
    if (sPath.size() > MAX_PATH_LENGTH)
        return std::string();
    std::string sResult;
    size_t nStart = 0;
    std::vector<std::string> parts;
    while (nStart <= sPath.size())
    {
        size_t nEnd = sPath.find('\\', nStart);
        if (nEnd == std::string::npos)
            nEnd = sPath.size();
        if (nEnd > nStart)
            parts.push_back(sPath.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    if (parts.empty() || parts.size() > MAX_DEPTH)
        return std::string();
    const RootName* pRoot = nullptr;
    for (const RootName& root : g_roots)
    {
        if (::strcasecmp(parts[0].c_str(), root.m_pszName) == 0 ||
            ::strcasecmp(parts[0].c_str(), root.m_pszAbbreviation) == 0)
            pRoot = &root;
    }
    if (pRoot == nullptr)
        return std::string();
    sResult = pRoot->m_pszName;
    for (size_t i = 1; i < parts.size(); ++i)
        sResult += "\\" + parts[i];
    return sResult;
}

void AddKeyWithParents(RegistryData& data, const std::string& sPath)
{
    size_t nPos = sPath.find('\\');
    while (nPos != std::string::npos)
    {
        data.m_keys[sPath.substr(0, nPos)];
        nPos = sPath.find('\\', nPos + 1);
    }
    data.m_keys[sPath];
}

bool ParseValue(const std::string& sData, bool bUnicode, RegistryValue& value, bool& bDelete)
{
    bDelete = false;
    if (sData == "-")
    {
        bDelete = true;
        return true;
    }
    if (!sData.empty() && sData[0] == '"')
    {
        size_t nPos = 0;
        std::string sText;
        if (!ParseQuoted(sData, nPos, sText) || !Trim(sData.substr(nPos)).empty())
            return false;
        value.m_dwType = REG_SZ;
        value.m_data.assign(sText.begin(), sText.end());
        value.m_data.push_back(0);
        return true;
    }
    if (::strncasecmp(sData.c_str(), "dword:", 6) == 0)
    {
        const std::string sHex = Trim(sData.substr(6));
        if (sHex.empty() || sHex.size() > 8)
            return false;
        DWORD dw = 0;
        for (char ch : sHex)
        {
            const int n = HexDigit(ch);
            if (n < 0)
                return false;
            dw = dw * 16 + static_cast<DWORD>(n);
        }
        value.m_dwType = REG_DWORD;
        value.m_data.resize(4);
        std::memcpy(value.m_data.data(), &dw, 4);
        return true;
    }
    if (::strncasecmp(sData.c_str(), "hex", 3) != 0)
        return false;
    size_t nPos = 3;
    DWORD dwType = REG_BINARY;
    if (nPos < sData.size() && sData[nPos] == '(')
    {
        const size_t nClose = sData.find(')', nPos);
        if (nClose == std::string::npos || nClose == nPos + 1 || nClose - nPos - 1 > 8)
            return false;
        dwType = 0;
        for (size_t i = nPos + 1; i < nClose; ++i)
        {
            const int n = HexDigit(sData[i]);
            if (n < 0)
                return false;
            dwType = dwType * 16 + static_cast<DWORD>(n);
        }
        nPos = nClose + 1;
    }
    if (nPos >= sData.size() || sData[nPos] != ':')
        return false;
    std::vector<BYTE> bytes;
    if (!ParseHexBytes(sData.substr(nPos + 1), bytes))
        return false;
    value.m_dwType = dwType;
    if (bUnicode && (dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ))
    {
        // Texts are UTF-16LE in the Unicode format; the narrow interface answers them in UTF-8.
        const std::string sText = Utf16LeToUtf8(bytes.data(), bytes.size());
        value.m_data.assign(sText.begin(), sText.end());
        if (value.m_data.empty() || value.m_data.back() != 0)
            value.m_data.push_back(0);
    }
    else
    {
        value.m_data = std::move(bytes);
    }
    return true;
}

std::string DecodeFileText(const std::string& sRaw)
{
    if (sRaw.size() >= 2 && static_cast<BYTE>(sRaw[0]) == 0xFF && static_cast<BYTE>(sRaw[1]) == 0xFE)
        return Utf16LeToUtf8(reinterpret_cast<const BYTE*>(sRaw.data()) + 2, sRaw.size() - 2);
    if (sRaw.size() >= 3 && static_cast<BYTE>(sRaw[0]) == 0xEF && static_cast<BYTE>(sRaw[1]) == 0xBB &&
        static_cast<BYTE>(sRaw[2]) == 0xBF)
        return sRaw.substr(3);
    return sRaw;
}

// The open key's full path, or empty.
std::string PathOfKey(HKEY hKey)
{
    for (const RootName& root : g_roots)
    {
        if (reinterpret_cast<uintptr_t>(hKey) == root.m_nValue)
            return root.m_pszName;
    }
    auto spKey = LookupHandleAs<CKeyObject>(hKey);
    return spKey ? spKey->m_sPath : std::string();
}
} // namespace

bool RegistryNameLess::operator()(const std::string& a, const std::string& b) const
{
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
}

bool ParseRegistryText(const std::string& sRawText, RegistryData& data, size_t& nBadLines)
{
    nBadLines = 0;
    const std::string sText = DecodeFileText(sRawText);
    // Logical lines: a line ending in a backslash continues on the next.
    std::vector<std::string> lines;
    std::string sCurrent;
    bool bContinued = false;
    size_t nStart = 0;
    while (nStart < sText.size())
    {
        size_t nEnd = sText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = sText.size();
        std::string sLine = Trim(sText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
        if (bContinued)
        {
            sCurrent += sLine;
        }
        else
        {
            sCurrent = std::move(sLine);
        }
        // Only value lines continue (long hex data); a key line never does.
        const bool bValueLine = !sCurrent.empty() && sCurrent[0] != '[' && sCurrent[0] != ';';
        bContinued = bValueLine && sCurrent.back() == '\\';
        if (bContinued)
        {
            sCurrent.pop_back();
            continue;
        }
        lines.push_back(std::move(sCurrent));
        sCurrent.clear();
    }
    if (bContinued)
        lines.push_back(sCurrent);

    size_t nFirst = 0;
    while (nFirst < lines.size() && lines[nFirst].empty())
        ++nFirst;
    if (nFirst >= lines.size())
        return false;
    bool bUnicode = false;
    if (lines[nFirst] == "Windows Registry Editor Version 5.00")
        bUnicode = true;
    else if (lines[nFirst] != "REGEDIT4")
        return false;

    std::string sKey;
    for (size_t i = nFirst + 1; i < lines.size(); ++i)
    {
        const std::string& sLine = lines[i];
        if (sLine.empty() || sLine[0] == ';')
            continue;
        if (sLine[0] == '[')
        {
            const size_t nClose = sLine.rfind(']');
            if (nClose == std::string::npos)
            {
                sKey.clear();
                ++nBadLines;
                continue;
            }
            const bool bDelete = sLine.size() > 1 && sLine[1] == '-';
            const std::string sPath =
                NormalizeKeyPath(sLine.substr(bDelete ? 2 : 1, nClose - (bDelete ? 2 : 1)));
            sKey.clear();
            if (sPath.empty())
            {
                ++nBadLines;
                continue;
            }
            if (bDelete)
            {
                // The key and its subkeys: "path" itself, then "path\..." up to "path]", as ']' follows
                // '\\' in every comparison.
                data.m_keys.erase(sPath);
                data.m_keys.erase(data.m_keys.lower_bound(sPath + "\\"),
                                  data.m_keys.lower_bound(sPath + "]"));
                continue;
            }
            sKey = sPath;
            AddKeyWithParents(data, sKey);
            continue;
        }
        if (sKey.empty())
        {
            ++nBadLines;
            continue;
        }
        std::string sName;
        size_t nPos = 0;
        if (sLine[0] == '@')
        {
            nPos = 1;
        }
        else if (!ParseQuoted(sLine, nPos, sName))
        {
            ++nBadLines;
            continue;
        }
        while (nPos < sLine.size() && (sLine[nPos] == ' ' || sLine[nPos] == '\t'))
            ++nPos;
        if (nPos >= sLine.size() || sLine[nPos] != '=')
        {
            ++nBadLines;
            continue;
        }
        RegistryValue value;
        bool bDelete = false;
        if (!ParseValue(Trim(sLine.substr(nPos + 1)), bUnicode, value, bDelete))
        {
            ++nBadLines;
            continue;
        }
        auto& values = data.m_keys[sKey];
        if (bDelete)
            values.erase(sName);
        else
            values[sName] = std::move(value);
    }
    return true;
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                      PHKEY phkResult)
{
    if (phkResult == nullptr)
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    const std::string sBase = PathOfKey(hKey);
    if (sBase.empty())
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    std::string sPath = sBase;
    if (pszSubKey != nullptr && *pszSubKey != 0)
    {
        if (*pszSubKey == '\\')
            return static_cast<LSTATUS>(ERROR_BAD_PATHNAME);
        sPath = NormalizeKeyPath(sBase + "\\" + pszSubKey);
    }
    const bool bRoot = sPath.find('\\') == std::string::npos;
    if (!bRoot)
    {
        auto spData = CurrentRegistry();
        auto it = spData->m_keys.find(sPath);
        if (it == spData->m_keys.end())
            return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
        sPath = it->first;
    }
    *phkResult = static_cast<HKEY>(RegisterHandleObject(std::make_shared<CKeyObject>(sPath)));
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD pReserved, LPDWORD pType, LPBYTE pData,
                         LPDWORD pcbData)
{
    if (pReserved != nullptr || (pData != nullptr && pcbData == nullptr))
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    const std::string sPath = PathOfKey(hKey);
    if (sPath.empty())
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    auto spData = CurrentRegistry();
    auto itKey = spData->m_keys.find(sPath);
    if (itKey == spData->m_keys.end())
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    auto itValue = itKey->second.find(pszValueName != nullptr ? pszValueName : "");
    if (itValue == itKey->second.end())
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    const RegistryValue& value = itValue->second;
    if (pType != nullptr)
        *pType = value.m_dwType;
    const DWORD cbNeeded = static_cast<DWORD>(value.m_data.size());
    if (pcbData == nullptr)
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    if (pData == nullptr)
    {
        *pcbData = cbNeeded;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    if (*pcbData < cbNeeded)
    {
        *pcbData = cbNeeded;
        return static_cast<LSTATUS>(ERROR_MORE_DATA);
    }
    if (cbNeeded != 0)
        std::memcpy(pData, value.m_data.data(), cbNeeded);
    *pcbData = cbNeeded;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY hKey)
{
    for (const RootName& root : g_roots)
    {
        if (reinterpret_cast<uintptr_t>(hKey) == root.m_nValue)
            return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    if (!LookupHandleAs<CKeyObject>(hKey))
        return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
    CloseHandle(hKey);
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}
