// File-system and version-resource services of the general settings and the tracing: module and log
// directories, file times, module versions. They return BOOL or HRESULT codes and trace nothing.
#pragma once

#include "platform/WinTypes.h"

#include <string>

class CFileUtil
{
public:
    // FALSE for a null path or when nothing matches it.
    static BOOL FileExists(const char* pszPath);
    // The last error as an HRESULT: 0 and negative values as they are, else 0x8007 with its low 16 bits.
    static HRESULT HResultFromLastError();
    // The index of the first occurrence at or after nStart, or -1 (also for a start outside the text).
    static int FindMbsChar(const char* pszText, char chWanted, int nStart);
    // Creates every missing directory of the path. 0 on success; 0x80070057 for an empty path;
    // ERROR_FILENAME_EXCED_RANGE (206) for a directory name longer than 259 characters; another failing
    // creation's Win32 code as it is.
    static HRESULT CreateDirectoryPath(const char* pszPath);
    // The directory (ending in a backslash) of the named loaded module, or of the program with bUseProcess,
    // nLevelsUp directories higher. FALSE when the module's file name could not be had.
    static BOOL GetModulePath(std::string& strDirectory, const char* pszModuleName, BOOL bUseProcess,
                              int nLevelsUp);
    static HRESULT GetFileLastWriteTime(const char* pszFileName, FILETIME& ftLastWrite);
};

// A module file's version resource.
class CFileVersionInfo
{
public:
    CFileVersionInfo() = default;
    ~CFileVersionInfo() { Free(); }
    CFileVersionInfo(const CFileVersionInfo&) = delete;
    CFileVersionInfo& operator=(const CFileVersionInfo&) = delete;

    BOOL Load(const char* pszFileName);
    // The value of the key in the given translation (the loaded one for 0); empty when absent.
    std::string GetString(const char* pszKey, DWORD dwTranslation = 0) const;
    void Free();

    BYTE* m_pVersionInfo = nullptr;
    // Language in the high word, code page in the low word.
    DWORD m_dwTranslation = 0;
};
