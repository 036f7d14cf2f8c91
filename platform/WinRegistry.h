// The registry, read from a ".reg" text file in the format the registry editor exports ("Windows
// Registry Editor Version 5.00" in UTF-16LE or UTF-8, or "REGEDIT4"). The file is the machine
// configuration's registry file; it is read again when it changes. Read-only: the worker never writes
// the registry.
#pragma once

#include "platform/WinTypes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000003u)))
#define HKEY_CURRENT_CONFIG (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000005u)))

#define KEY_QUERY_VALUE 0x0001u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

// ERROR_FILE_NOT_FOUND when the key does not exist.
DLSW_API LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD ulOptions, REGSAM samDesired,
                               PHKEY phkResult);
// A null or empty name reads the key's default value. Texts come back narrow (UTF-8) with their NUL.
// With pData null the size needed is returned; a buffer too small gives ERROR_MORE_DATA and the size.
DLSW_API LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD pReserved, LPDWORD pType,
                                  LPBYTE pData, LPDWORD pcbData);
DLSW_API LSTATUS RegCloseKey(HKEY hKey);

struct RegistryValue
{
    DWORD m_dwType = REG_NONE;
    std::vector<BYTE> m_data;
};

// Keys by full path ("HKEY_CLASSES_ROOT\.pdf"), names compared without regard to case; values by name
// ("" for the default value), likewise.
struct RegistryNameLess
{
    bool operator()(const std::string& a, const std::string& b) const;
};
struct RegistryData
{
    std::map<std::string, std::map<std::string, RegistryValue, RegistryNameLess>, RegistryNameLess> m_keys;
};

// Parses the text of a ".reg" file. False when the text has no registry header; lines that cannot be
// read are skipped and counted in nBadLines. Work is linear in the text's length.
DLSW_API bool ParseRegistryText(const std::string& sText, RegistryData& data, size_t& nBadLines);
