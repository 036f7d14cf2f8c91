// Named file mappings backed by the paging file, over POSIX shared memory. A name maps to the shared
// memory object "/dlsw.<uid>.<name>" (backslashes and slashes become "_"), created with mode 0600. As on
// Windows, a section exists while a handle or a view holds it: an object left behind once nobody holds it
// (the last holder empties it) is opened by nobody and is sized and cleared anew by the next creator. An
// object that another account owns, or that others may read or write, is refused (ERROR_ACCESS_DENIED).
// DeleteNamedFileMapping removes the object's name.
#pragma once

#include "platform/WinHandle.h"
#include "platform/WinTypes.h"

#include <string>

#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define SEC_COMMIT 0x08000000u
#define SEC_RESERVE 0x04000000u

#define FILE_MAP_COPY 0x0001u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u
#define FILE_MAP_ALL_ACCESS 0x000F001Fu

// Only hFile == INVALID_HANDLE_VALUE (the paging file) is served. An existing section of that name is
// opened instead, keeping its size, with ERROR_ALREADY_EXISTS as last error. A null name gives an
// anonymous section.
DLSW_API HANDLE CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES pAttributes, DWORD flProtect,
                                   DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR pszName);
// Null with ERROR_FILE_NOT_FOUND when no section has that name.
DLSW_API HANDLE OpenFileMappingA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR pszName);
// A view of dwNumberOfBytesToMap bytes (0: the whole section) from the offset; a view that would reach
// past the section's end is refused (ERROR_ACCESS_DENIED) instead of faulting later.
DLSW_API LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                              DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
DLSW_API BOOL UnmapViewOfFile(LPCVOID pBaseAddress);

// The size of the section behind a handle, 0 when it is no section.
DLSW_API ULONGLONG GetFileMappingSize(HANDLE hFileMappingObject);
// Removes a named section from the system (its open handles and views stay valid).
DLSW_API BOOL DeleteNamedFileMapping(LPCSTR pszName);
// The shared memory object name a section name maps to.
DLSW_API std::string SharedMemoryNameOf(const std::string& sName);
