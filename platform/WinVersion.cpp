#include "platform/WinVersion.h"

#include "platform/ModuleImage.h"
#include "platform/WinModule.h"
#include "platform/WinResource.h"
#include "platform/WinSync.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace
{
constexpr size_t VERSION_HEADER_SIZE = 16; // magic, total length, translation count

uint32_t Read32(const BYTE* p)
{
    uint32_t n;
    std::memcpy(&n, p, sizeof(n));
    return n;
}

// The block's parts, checked against its own length.
struct CVersionBlock
{
    const BYTE* m_pTranslations = nullptr;
    uint32_t m_nTranslations = 0;
    const BYTE* m_pFixed = nullptr;
    const char* m_pStrings = nullptr;
    const char* m_pEnd = nullptr;
};

bool ParseBlock(const void* pBlock, size_t nAvailable, CVersionBlock& block)
{
    const BYTE* p = static_cast<const BYTE*>(pBlock);
    if (p == nullptr || nAvailable < VERSION_HEADER_SIZE || std::memcmp(p, VERSION_BLOCK_MAGIC, 8) != 0)
        return false;
    const uint64_t nLength = Read32(p + 8);
    const uint64_t nCount = Read32(p + 12);
    if (nLength > nAvailable || nLength < VERSION_HEADER_SIZE + sizeof(VS_FIXEDFILEINFO) ||
        nCount > (nLength - VERSION_HEADER_SIZE - sizeof(VS_FIXEDFILEINFO)) / 4)
        return false;
    block.m_pTranslations = p + VERSION_HEADER_SIZE;
    block.m_nTranslations = static_cast<uint32_t>(nCount);
    block.m_pFixed = block.m_pTranslations + nCount * 4;
    block.m_pStrings = reinterpret_cast<const char*>(block.m_pFixed + sizeof(VS_FIXEDFILEINFO));
    block.m_pEnd = reinterpret_cast<const char*>(p + nLength);
    return true;
}

// The version block of a module file, or null with the last error set.
std::shared_ptr<CModuleImage> ImageOf(LPCSTR lptstrFilename, const CModuleResource*& pResource)
{
    pResource = nullptr;
    const std::string strPath = lptstrFilename != nullptr ? FindModuleFile(lptstrFilename) : std::string();
    if (strPath.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    DWORD dwError = ERROR_SUCCESS;
    auto spImage = CModuleImage::Read(strPath, dwError);
    if (!spImage)
    {
        SetLastError(dwError);
        return nullptr;
    }
    pResource = spImage->Find(static_cast<WORD>(RT_VERSION_ID), 1, 0, dwError);
    CVersionBlock block;
    if (pResource == nullptr || !ParseBlock(pResource->m_pData, pResource->m_dwSize, block))
    {
        pResource = nullptr;
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return spImage;
}
} // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle != nullptr)
        *lpdwHandle = 0;
    const CModuleResource* pResource = nullptr;
    auto spImage = ImageOf(lptstrFilename, pResource);
    return spImage ? pResource->m_dwSize : 0;
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD /*dwHandle*/, DWORD dwLen, LPVOID lpData)
{
    const CModuleResource* pResource = nullptr;
    auto spImage = ImageOf(lptstrFilename, pResource);
    if (!spImage)
        return FALSE;
    if (lpData == nullptr || dwLen < pResource->m_dwSize)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(lpData, pResource->m_pData, pResource->m_dwSize);
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    CVersionBlock block;
    // The block carries its own length; the header is read first to learn it.
    if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr ||
        !ParseBlock(pBlock, Read32(static_cast<const BYTE*>(pBlock) + 8), block))
        return FALSE;
    const std::string strSub = lpSubBlock;
    if (strSub == "\\" || strSub.empty())
    {
        *lplpBuffer = const_cast<BYTE*>(block.m_pFixed);
        if (puLen != nullptr)
            *puLen = sizeof(VS_FIXEDFILEINFO);
        return TRUE;
    }
    if (strcasecmp(strSub.c_str(), "\\VarFileInfo\\Translation") == 0)
    {
        if (block.m_nTranslations == 0)
            return FALSE;
        *lplpBuffer = const_cast<BYTE*>(block.m_pTranslations);
        if (puLen != nullptr)
            *puLen = block.m_nTranslations * 4;
        return TRUE;
    }
    const std::string strPrefix = "\\StringFileInfo\\";
    if (block.m_nTranslations == 0 || strSub.size() <= strPrefix.size() + 9 ||
        strncasecmp(strSub.c_str(), strPrefix.c_str(), strPrefix.size()) != 0)
        return FALSE;
    const uint32_t nTranslation = Read32(block.m_pTranslations);
    char szTable[16];
    std::snprintf(szTable, sizeof(szTable), "%04x%04x", nTranslation & 0xFFFF, nTranslation >> 16);
    const std::string strTable = strSub.substr(strPrefix.size(), 8);
    if (strcasecmp(strTable.c_str(), szTable) != 0 || strSub[strPrefix.size() + 8] != '\\')
        return FALSE;
    const std::string strKey = strSub.substr(strPrefix.size() + 9);
    const char* p = block.m_pStrings;
    while (p < block.m_pEnd)
    {
        const char* pKeyEnd =
            static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(block.m_pEnd - p)));
        if (pKeyEnd == nullptr || pKeyEnd == p)
            break;
        const char* pValue = pKeyEnd + 1;
        const char* pValueEnd =
            pValue < block.m_pEnd ? static_cast<const char*>(
                                        std::memchr(pValue, '\0', static_cast<size_t>(block.m_pEnd - pValue)))
                                  : nullptr;
        if (pValueEnd == nullptr)
            break;
        if (strcasecmp(p, strKey.c_str()) == 0)
        {
            *lplpBuffer = const_cast<char*>(pValue);
            if (puLen != nullptr)
                *puLen = static_cast<UINT>(pValueEnd - pValue + 1);
            return TRUE;
        }
        p = pValueEnd + 1;
    }
    return FALSE;
}
