// What the module layer knows of a module's file: its resource section, read straight from the file so
// that a library loaded as a data file runs none of its code. The section (".dlsw_rsrc") starts with the
// magic "DLSWRES1", a 32-bit entry count and a 32-bit reserved word, then the entries {u16 type, u16 id,
// u16 language, u16 reserved, u32 offset from the section's start, u32 size}, then the data.
#pragma once

#include "platform/WinTypes.h"

#include <memory>
#include <string>
#include <vector>

constexpr const char* MODULE_RESOURCE_SECTION = ".dlsw_rsrc";
constexpr char MODULE_RESOURCE_MAGIC[8] = {'D', 'L', 'S', 'W', 'R', 'E', 'S', '1'};
constexpr size_t MODULE_RESOURCE_HEADER_SIZE = 16;
constexpr size_t MODULE_RESOURCE_ENTRY_SIZE = 16;

struct CModuleResource
{
    WORD m_wType = 0;
    WORD m_wID = 0;
    WORD m_wLanguage = 0;
    const BYTE* m_pData = nullptr;
    DWORD m_dwSize = 0;
};

class CModuleImage
{
public:
    // Reads the file's resource section. A file that is not a 64-bit ELF module fails with
    // ERROR_BAD_EXE_FORMAT; one that cannot be read with its own error. A module without the section, or
    // whose section is malformed, has no resources.
    static std::shared_ptr<CModuleImage> Read(const std::string& strPosixPath, DWORD& dwError);

    // The resource of that type and id in that language (any language for 0); an error code from 1813 to
    // 1815 otherwise.
    const CModuleResource* Find(WORD wType, WORD wID, WORD wLanguage, DWORD& dwError) const;

    std::string m_strPath;
    std::vector<BYTE> m_vecSection;
    std::vector<CModuleResource> m_vecResources;

private:
    void ParseSection();
};

// Handles of modules loaded as data files: the low bit is set, as no loaded image has it.
HMODULE RegisterDataFileModule(const std::shared_ptr<CModuleImage>& spImage);
std::shared_ptr<CModuleImage> DataFileModuleImage(HMODULE hModule);
bool IsDataFileModuleHandle(HMODULE hModule);
// Drops one reference; false for a handle that is not a loaded data file.
bool ReleaseDataFileModule(HMODULE hModule);
// The image of a module loaded as code, or of a data-file module; null when neither.
std::shared_ptr<CModuleImage> ModuleImageOf(HMODULE hModule, DWORD& dwError);
