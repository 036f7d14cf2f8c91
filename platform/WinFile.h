// Files under Windows-style paths. The worker keeps Windows paths; the layer maps drive Z: to "/" and
// other drives to the roots of the machine configuration, as Wine does. Names are matched without
// regard to case when the exact name does not exist. Files the layer creates are mode 0600.
#pragma once

#include "platform/WinHandle.h"
#include "platform/WinTypes.h"

#include <string>

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

enum GET_FILEEX_INFO_LEVELS
{
    GetFileExInfoStandard = 0,
    GetFileExMaxInfoLevel = 1
};

struct WIN32_FILE_ATTRIBUTE_DATA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
using LPWIN32_FILE_ATTRIBUTE_DATA = WIN32_FILE_ATTRIBUTE_DATA*;

struct WIN32_FIND_DATAA
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// An overlapped structure is accepted for signature's sake and must be null.
using LPOVERLAPPED = void*;

DLSW_API HANDLE CreateFileA(LPCSTR pszFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                            LPSECURITY_ATTRIBUTES pSecurityAttributes, DWORD dwCreationDisposition,
                            DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
DLSW_API BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD nNumberOfBytesToRead, LPDWORD pNumberOfBytesRead,
                       LPOVERLAPPED pOverlapped);
DLSW_API BOOL WriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD nNumberOfBytesToWrite,
                        LPDWORD pNumberOfBytesWritten, LPOVERLAPPED pOverlapped);
DLSW_API DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG pDistanceToMoveHigh,
                              DWORD dwMoveMethod);
DLSW_API BOOL SetEndOfFile(HANDLE hFile);
DLSW_API BOOL FlushFileBuffers(HANDLE hFile);
DLSW_API DWORD GetFileSize(HANDLE hFile, LPDWORD pFileSizeHigh);
DLSW_API BOOL GetFileTime(HANDLE hFile, LPFILETIME pCreationTime, LPFILETIME pLastAccessTime,
                          LPFILETIME pLastWriteTime);
DLSW_API DWORD GetFileAttributesA(LPCSTR pszFileName);
DLSW_API BOOL GetFileAttributesExA(LPCSTR pszFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                   LPVOID pFileInformation);
DLSW_API BOOL DeleteFileA(LPCSTR pszFileName);
DLSW_API BOOL CreateDirectoryA(LPCSTR pszPathName, LPSECURITY_ATTRIBUTES pSecurityAttributes);
DLSW_API BOOL RemoveDirectoryA(LPCSTR pszPathName);
// Wildcards "*" and "?" in the last component, matched without regard to case; "." and ".." are not
// reported.
DLSW_API HANDLE FindFirstFileA(LPCSTR pszFileName, LPWIN32_FIND_DATAA pFindFileData);
DLSW_API BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA pFindFileData);
DLSW_API BOOL FindClose(HANDLE hFindFile);

// The POSIX path of a Windows path, or a Win32 error: ERROR_PATH_NOT_FOUND for an empty path or an
// unconfigured drive, ERROR_BAD_NETPATH for a UNC path, ERROR_INVALID_NAME for a name Windows refuses.
// "." and ".." are resolved as Windows does, never above the drive's root.
DLSW_API DWORD MapWindowsPathToPosix(const std::string& sWindowsPath, std::string& sPosixPath);
// The Windows path of a POSIX path: under the configured drive whose root holds it, else under Z:.
DLSW_API std::string MapPosixPathToWindows(const std::string& sPosixPath);
