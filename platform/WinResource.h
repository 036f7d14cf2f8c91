// Resources of a loaded module, by integer type, id and language. A resource is read-only and lives as
// long as its module stays loaded.
#pragma once

#include "platform/WinTypes.h"

struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;

constexpr uintptr_t RT_STRING_ID = 6;
constexpr uintptr_t RT_VERSION_ID = 16;

// An integer resource id in place of a name.
inline LPCSTR MAKEINTRESOURCEA(uintptr_t uID)
{
    return reinterpret_cast<LPCSTR>(uID);
}
inline bool IS_INTRESOURCE(LPCSTR psz)
{
    return (reinterpret_cast<uintptr_t>(psz) >> 16) == 0;
}
#define RT_STRING MAKEINTRESOURCEA(RT_STRING_ID)
#define RT_VERSION MAKEINTRESOURCEA(RT_VERSION_ID)

// Integer types and ids only (a named one fails with ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_NAME_NOT_FOUND). Language 0 takes the first language found.
DLSW_API HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage);
DLSW_API HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
DLSW_API LPVOID LockResource(HGLOBAL hResData);
DLSW_API DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
