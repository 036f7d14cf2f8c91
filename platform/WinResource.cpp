#include "platform/WinResource.h"

#include "platform/ModuleImage.h"
#include "platform/WinSync.h"

HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage)
{
    if (!IS_INTRESOURCE(lpType))
    {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(lpName))
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    DWORD dwError = ERROR_SUCCESS;
    std::shared_ptr<CModuleImage> spImage = ModuleImageOf(hModule, dwError);
    if (!spImage)
    {
        SetLastError(dwError);
        return nullptr;
    }
    const CModuleResource* pResource =
        spImage->Find(static_cast<WORD>(reinterpret_cast<uintptr_t>(lpType)),
                      static_cast<WORD>(reinterpret_cast<uintptr_t>(lpName)), wLanguage, dwError);
    if (pResource == nullptr)
    {
        SetLastError(dwError);
        return nullptr;
    }
    // The image stays alive without this reference: the data-file registry holds it while the module is
    // loaded, the image cache for modules loaded as code.
    return reinterpret_cast<HRSRC>(const_cast<CModuleResource*>(pResource));
}

HGLOBAL LoadResource(HMODULE /*hModule*/, HRSRC hResInfo)
{
    if (hResInfo == nullptr)
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return const_cast<BYTE*>(reinterpret_cast<const CModuleResource*>(hResInfo)->m_pData);
}

LPVOID LockResource(HGLOBAL hResData)
{
    return hResData;
}

DWORD SizeofResource(HMODULE /*hModule*/, HRSRC hResInfo)
{
    if (hResInfo == nullptr)
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return reinterpret_cast<const CModuleResource*>(hResInfo)->m_dwSize;
}
