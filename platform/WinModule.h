// Loaded modules by name and by address, and their file names as Windows paths. A module name "X.dll"
// stands for the shared object "X.so"; file names come back as Windows paths
// (under the configured drive whose root holds them, else on drive Z:, which is the POSIX root).
#pragma once

#include "platform/LibraryApi.h"
#include "platform/WinTypes.h"

#include <string>
#include <vector>

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

// An exported function as GetProcAddress hands it out.
using FARPROC = intptr_t (*)();

constexpr DWORD DONT_RESOLVE_DLL_REFERENCES = 0x00000001;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;

// Loads a module and counts one more reference to it. A name with a drive or a backslash is a Windows path;
// a bare name is first taken from the modules already loaded, then looked for in the machine's library
// search path and its system directory. "X.dll" loads "X.so"; a name without an extension gets ".dll".
// Errors: ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT for a file that is no loadable module.
DLSW_API HMODULE LoadLibraryA(LPCSTR lpLibFileName);
// With LOAD_LIBRARY_AS_DATAFILE the file is only read for its resources: none of its code runs, and the
// handle (its low bit set) serves FindResourceExA and FreeLibrary only. Other flags load as LoadLibraryA.
DLSW_API HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// ERROR_PROC_NOT_FOUND when the module exports no such name; ERROR_INVALID_HANDLE for a data-file module.
DLSW_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// How many LoadLibrary references this process holds on a module (0 when none or not loaded).
DLSW_API LONG GetModuleLoadCount(HMODULE hModule);
// The POSIX file a module name or Windows path stands for, as LoadLibraryA would find it; empty when none.
DLSW_API std::string FindModuleFile(const std::string& strName);
