// Loaded modules by name and by address, and their file names as Windows paths. A module name "X.dll"
// stands for the shared object "X.so"; file names come back as Windows paths
// (under the configured drive whose root holds them, else on drive Z:, which is the POSIX root).
#pragma once

#include "platform/WinTypes.h"

#include <string>

constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x00000002;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x00000004;

// The loaded module of that file name (compared without regard to case, the directory ignored); null
// (ERROR_MOD_NOT_FOUND) when none is loaded. A null name gives the program itself. The module's
// reference count is not changed.
DLSW_API HMODULE GetModuleHandleA(LPCSTR lpModuleName);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, lpModuleName is an address inside the module. Only
// unchanged-reference-count look-ups are offered.
DLSW_API BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
// The module's full path as a Windows path. Returns the length copied without the terminator; a buffer
// too small gets the path cut to nSize - 1 characters and ERROR_INSUFFICIENT_BUFFER, returning nSize.
// A null module gives the program's own path.
DLSW_API DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// "X.dll" becomes "X.so"; other names are kept.
DLSW_API std::string ModuleNameToFileName(const std::string& strModuleName);
