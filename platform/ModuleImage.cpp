#include "platform/ModuleImage.h"

#include "platform/SlotSharedMutex.h"
#include "platform/WinFile.h"
#include "platform/WinModule.h"

#include <cstring>
#include <elf.h>
#include <fstream>
#include <map>
#include <mutex>
#include <shared_mutex>

namespace
{
template <typename T> bool ReadAt(std::ifstream& in, uint64_t nOffset, T& value)
{
    in.seekg(static_cast<std::streamoff>(nOffset));
    in.read(reinterpret_cast<char*>(&value), sizeof(T));
    return static_cast<bool>(in);
}

uint16_t Read16(const BYTE* p)
{
    uint16_t n;
    std::memcpy(&n, p, sizeof(n));
    return n;
}

uint32_t Read32(const BYTE* p)
{
    uint32_t n;
    std::memcpy(&n, p, sizeof(n));
    return n;
}

struct CDataFileEntry
{
    std::shared_ptr<CModuleImage> m_spImage;
    LONG m_nReferences = 0;
};

// Requests look resources up on every thread; only loads and unloads change the tables.
CSlotSharedMutex& RegistryMutex()
{
    static CSlotSharedMutex s_mutex;
    return s_mutex;
}

std::map<uintptr_t, CDataFileEntry>& DataFiles()
{
    static auto* s_pMap = new std::map<uintptr_t, CDataFileEntry>();
    return *s_pMap;
}

// Images of modules loaded as code, by path; a file that changed on disk is not reread.
std::map<std::string, std::shared_ptr<CModuleImage>>& CodeImages()
{
    static auto* s_pMap = new std::map<std::string, std::shared_ptr<CModuleImage>>();
    return *s_pMap;
}
} // namespace

std::shared_ptr<CModuleImage> CModuleImage::Read(const std::string& strPosixPath, DWORD& dwError)
{
    std::ifstream in(strPosixPath, std::ios::binary);
    if (!in)
    {
        dwError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    Elf64_Ehdr header{};
    if (!ReadAt(in, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr))
    {
        dwError = ERROR_BAD_EXE_FORMAT;
        return nullptr;
    }
    auto spImage = std::make_shared<CModuleImage>();
    spImage->m_strPath = strPosixPath;
    Elf64_Shdr names{};
    if (header.e_shstrndx == SHN_UNDEF || header.e_shstrndx >= header.e_shnum ||
        !ReadAt(in, header.e_shoff + uint64_t{header.e_shstrndx} * sizeof(Elf64_Shdr), names))
        return spImage;
    const size_t nNameLength = std::strlen(MODULE_RESOURCE_SECTION);
    for (uint16_t i = 0; i < header.e_shnum; ++i)
    {
        Elf64_Shdr section{};
        if (!ReadAt(in, header.e_shoff + uint64_t{i} * sizeof(Elf64_Shdr), section))
            break;
        if (section.sh_name >= names.sh_size || section.sh_type == SHT_NOBITS)
            continue;
        char szName[32] = {};
        in.seekg(static_cast<std::streamoff>(names.sh_offset + section.sh_name));
        in.read(szName, static_cast<std::streamsize>(nNameLength + 1));
        if (!in || std::memcmp(szName, MODULE_RESOURCE_SECTION, nNameLength + 1) != 0)
        {
            in.clear();
            continue;
        }
        // A resource section is small; a size beyond reason is a damaged file, not a resource.
        if (section.sh_size > (uint64_t{1} << 30))
            break;
        spImage->m_vecSection.resize(section.sh_size);
        in.seekg(static_cast<std::streamoff>(section.sh_offset));
        in.read(reinterpret_cast<char*>(spImage->m_vecSection.data()),
                static_cast<std::streamsize>(section.sh_size));
        if (!in)
            spImage->m_vecSection.clear();
        break;
    }
    spImage->ParseSection();
    return spImage;
}

void CModuleImage::ParseSection()
{
    const size_t nSize = m_vecSection.size();
    const BYTE* pBase = m_vecSection.data();
    if (nSize < MODULE_RESOURCE_HEADER_SIZE || std::memcmp(pBase, MODULE_RESOURCE_MAGIC, 8) != 0)
        return;
    const uint64_t nCount = Read32(pBase + 8);
    if (nCount > (nSize - MODULE_RESOURCE_HEADER_SIZE) / MODULE_RESOURCE_ENTRY_SIZE)
        return;
    for (uint64_t i = 0; i < nCount; ++i)
    {
        const BYTE* pEntry = pBase + MODULE_RESOURCE_HEADER_SIZE + i * MODULE_RESOURCE_ENTRY_SIZE;
        const uint64_t nOffset = Read32(pEntry + 8);
        const uint64_t nLength = Read32(pEntry + 12);
        if (nOffset > nSize || nLength > nSize - nOffset)
            continue; // an entry pointing outside the section is left out
        CModuleResource resource;
        resource.m_wType = Read16(pEntry);
        resource.m_wID = Read16(pEntry + 2);
        resource.m_wLanguage = Read16(pEntry + 4);
        resource.m_pData = pBase + nOffset;
        resource.m_dwSize = static_cast<DWORD>(nLength);
        m_vecResources.push_back(resource);
    }
}

const CModuleResource* CModuleImage::Find(WORD wType, WORD wID, WORD wLanguage, DWORD& dwError) const
{
    bool bType = false;
    bool bName = false;
    for (const CModuleResource& resource : m_vecResources)
    {
        if (resource.m_wType != wType)
            continue;
        bType = true;
        if (resource.m_wID != wID)
            continue;
        bName = true;
        if (wLanguage == 0 || resource.m_wLanguage == wLanguage)
            return &resource;
    }
    dwError = !bType ? ERROR_RESOURCE_TYPE_NOT_FOUND
                     : (!bName ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
}

HMODULE RegisterDataFileModule(const std::shared_ptr<CModuleImage>& spImage)
{
    std::lock_guard<CSlotSharedMutex> lock(RegistryMutex());
    // One handle per file, as for modules loaded as code.
    for (auto& [uHandle, entry] : DataFiles())
    {
        if (entry.m_spImage->m_strPath == spImage->m_strPath)
        {
            ++entry.m_nReferences;
            return reinterpret_cast<HMODULE>(uHandle);
        }
    }
    // The image object's address is even; the set low bit marks the handle as a data file's.
    const uintptr_t uHandle = reinterpret_cast<uintptr_t>(spImage.get()) | 1u;
    DataFiles()[uHandle] = CDataFileEntry{spImage, 1};
    return reinterpret_cast<HMODULE>(uHandle);
}

bool IsDataFileModuleHandle(HMODULE hModule)
{
    return (reinterpret_cast<uintptr_t>(hModule) & 1u) != 0;
}

std::shared_ptr<CModuleImage> DataFileModuleImage(HMODULE hModule)
{
    std::shared_lock<CSlotSharedMutex> lock(RegistryMutex());
    auto it = DataFiles().find(reinterpret_cast<uintptr_t>(hModule));
    return it != DataFiles().end() ? it->second.m_spImage : nullptr;
}

bool ReleaseDataFileModule(HMODULE hModule)
{
    std::lock_guard<CSlotSharedMutex> lock(RegistryMutex());
    auto it = DataFiles().find(reinterpret_cast<uintptr_t>(hModule));
    if (it == DataFiles().end())
        return false;
    if (--it->second.m_nReferences <= 0)
        DataFiles().erase(it);
    return true;
}

std::shared_ptr<CModuleImage> ModuleImageOf(HMODULE hModule, DWORD& dwError)
{
    if (IsDataFileModuleHandle(hModule))
    {
        auto spImage = DataFileModuleImage(hModule);
        if (!spImage)
            dwError = ERROR_INVALID_HANDLE;
        return spImage;
    }
    char szPath[4096] = {};
    if (hModule == nullptr || GetModuleFileNameA(hModule, szPath, sizeof(szPath)) == 0)
    {
        dwError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    std::string strPosix;
    dwError = MapWindowsPathToPosix(szPath, strPosix);
    if (dwError != ERROR_SUCCESS)
        return nullptr;
    {
        std::shared_lock<CSlotSharedMutex> lock(RegistryMutex());
        auto it = CodeImages().find(strPosix);
        if (it != CodeImages().end())
            return it->second;
    }
    auto spImage = CModuleImage::Read(strPosix, dwError);
    if (spImage)
    {
        std::lock_guard<CSlotSharedMutex> lock(RegistryMutex());
        CodeImages()[strPosix] = spImage;
    }
    return spImage;
}
