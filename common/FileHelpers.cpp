#include "common/FileHelpers.h"

#include "platform/WinFile.h"
#include "platform/WinHandle.h"
#include "platform/WinModule.h"
#include "platform/WinSync.h"
#include "platform/WinVersion.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{
constexpr size_t CREATE_PATH_BUFFER = 260;
} // namespace

BOOL CFileUtil::FileExists(const char* pszPath)
{
    if (pszPath == nullptr)
        return FALSE;
    WIN32_FIND_DATAA findData{};
    HANDLE hFind = FindFirstFileA(pszPath, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);
    return TRUE;
}

HRESULT CFileUtil::HResultFromLastError()
{
    const DWORD dwError = GetLastError();
    if (static_cast<HRESULT>(dwError) <= 0)
        return static_cast<HRESULT>(dwError);
    return static_cast<HRESULT>(0x80070000u | (dwError & 0xFFFFu));
}

int CFileUtil::FindMbsChar(const char* pszText, char chWanted, int nStart)
{
    if (pszText == nullptr || nStart < 0)
        return -1;
    const size_t nLength = std::strlen(pszText);
    if (static_cast<size_t>(nStart) >= nLength)
        return -1;
    const char* pFound = std::strchr(pszText + nStart, chWanted);
    return pFound != nullptr && chWanted != '\0' ? static_cast<int>(pFound - pszText) : -1;
}

HRESULT CFileUtil::CreateDirectoryPath(const char* pszPath)
{
    if (pszPath == nullptr || *pszPath == '\0')
        return E_INVALIDARG;
    try
    {
        const std::string strPath = pszPath;
        const int nLast = static_cast<int>(strPath.size()) - 1;
        int nCurrent = 0;
        for (;;)
        {
            const int nNext = FindMbsChar(pszPath, '\\', nCurrent + 1);
            if (nNext == 2)
            {
                nCurrent = nNext;
                continue;
            }
            if (nNext < 0)
                break;
            // A directory name that does not fit the buffer it is copied into is refused, not cut.
            if (static_cast<size_t>(nNext) >= CREATE_PATH_BUFFER)
                return static_cast<HRESULT>(ERROR_FILENAME_EXCED_RANGE);
            char szDirectory[CREATE_PATH_BUFFER] = {};
            std::memcpy(szDirectory, pszPath, static_cast<size_t>(nNext));
            if (!CreateDirectoryA(szDirectory, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return static_cast<HRESULT>(GetLastError());
            nCurrent = nNext;
        }
        if (nCurrent < nLast)
        {
            if (strPath.size() >= CREATE_PATH_BUFFER)
                return static_cast<HRESULT>(ERROR_FILENAME_EXCED_RANGE);
            if (!CreateDirectoryA(pszPath, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return static_cast<HRESULT>(GetLastError());
            return S_OK;
        }
        return nCurrent == 0 ? E_FAIL : S_OK;
    }
    catch (...)
    {
        return E_FAIL;
    }
}

BOOL CFileUtil::GetModulePath(std::string& strDirectory, const char* pszModuleName, BOOL bUseProcess,
                              int nLevelsUp)
{
    HMODULE hModule = nullptr;
    if (!bUseProcess)
    {
        hModule = GetModuleHandleA(pszModuleName);
        if (hModule == nullptr)
            return FALSE;
    }
    char szPath[MAX_PATH + 1] = {};
    if (GetModuleFileNameA(hModule, szPath, MAX_PATH) == 0)
        return FALSE;
    std::string strPath = szPath;
    if (strPath.size() > 4 && strPath.compare(0, 4, "\\\\?\\") == 0)
        strPath.erase(0, 4);
    const size_t nLastSep = strPath.find_last_of('\\');
    strDirectory = nLastSep == std::string::npos ? std::string() : strPath.substr(0, nLastSep + 1);
    if (nLevelsUp > 0 && !strDirectory.empty())
    {
        // The backslash before the trailing one, then nLevelsUp - 1 further ones to the left.
        size_t nCut = strDirectory.size() - 1;
        bool bFound = true;
        for (int i = 0; i < nLevelsUp && bFound; ++i)
        {
            const size_t nPrev = nCut == 0 ? std::string::npos : strDirectory.rfind('\\', nCut - 1);
            bFound = nPrev != std::string::npos;
            if (bFound)
                nCut = nPrev;
        }
        if (bFound)
            strDirectory.erase(nCut + 1);
    }
    return TRUE;
}

HRESULT CFileUtil::GetFileLastWriteTime(const char* pszFileName, FILETIME& ftLastWrite)
{
    HANDLE hFile = CreateFileA(pszFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return HResultFromLastError();
    const BOOL bOk = GetFileTime(hFile, nullptr, nullptr, &ftLastWrite);
    const HRESULT hr = bOk ? S_OK : HResultFromLastError();
    CloseHandle(hFile);
    return hr;
}

BOOL CFileVersionInfo::Load(const char* pszFileName)
{
    Free();
    DWORD dwHandle = 0;
    const DWORD dwSize = GetFileVersionInfoSizeA(pszFileName, &dwHandle);
    if (dwSize == 0)
        return FALSE;
    m_pVersionInfo = new (std::nothrow) BYTE[dwSize];
    if (m_pVersionInfo == nullptr)
        return FALSE;
    LPVOID pTranslation = nullptr;
    UINT uLength = 0;
    if (!GetFileVersionInfoA(pszFileName, dwHandle, dwSize, m_pVersionInfo) ||
        !VerQueryValueA(m_pVersionInfo, "\\VarFileInfo\\Translation", &pTranslation, &uLength) || uLength < 4)
    {
        Free();
        return FALSE;
    }
    WORD wWords[2];
    std::memcpy(wWords, pTranslation, sizeof(wWords));
    m_dwTranslation = (static_cast<DWORD>(wWords[0]) << 16) | wWords[1];
    return TRUE;
}

std::string CFileVersionInfo::GetString(const char* pszKey, DWORD dwTranslation) const
{
    if (m_pVersionInfo == nullptr || pszKey == nullptr)
        return {};
    char szQuery[100] = {};
    std::snprintf(szQuery, sizeof(szQuery), "\\StringFileInfo\\%08lx\\%s",
                  static_cast<unsigned long>(dwTranslation != 0 ? dwTranslation : m_dwTranslation), pszKey);
    LPVOID pValue = nullptr;
    UINT uLength = 0;
    if (!VerQueryValueA(m_pVersionInfo, szQuery, &pValue, &uLength) || pValue == nullptr)
        return {};
    return std::string(static_cast<const char*>(pValue));
}

void CFileVersionInfo::Free()
{
    delete[] m_pVersionInfo;
    m_pVersionInfo = nullptr;
    m_dwTranslation = 0;
}
