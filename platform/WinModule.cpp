#include "platform/WinModule.h"

#include "platform/MachineConfig.h"
#include "platform/ModuleImage.h"
#include "platform/WinFile.h"
#include "platform/WinSync.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string BaseName(const char* pszPath)
{
    if (pszPath == nullptr)
        return {};
    const char* pszSlash = std::strrchr(pszPath, '/');
    return pszSlash != nullptr ? std::string(pszSlash + 1) : std::string(pszPath);
}

struct CFindByName
{
    std::string m_strWanted;
    std::string m_strFound;
};

int FindByNameCallback(struct dl_phdr_info* pInfo, size_t, void* pvData)
{
    auto* pFind = static_cast<CFindByName*>(pvData);
    if (pInfo->dlpi_name == nullptr || pInfo->dlpi_name[0] == '\0')
        return 0;
    if (strcasecmp(BaseName(pInfo->dlpi_name).c_str(), pFind->m_strWanted.c_str()) != 0)
        return 0;
    pFind->m_strFound = pInfo->dlpi_name;
    return 1;
}

// The handle of a module that is loaded already, without keeping a reference to it.
HMODULE HandleOfLoadedPath(const std::string& strPath)
{
    void* pHandle = dlopen(strPath.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (pHandle != nullptr)
        dlclose(pHandle); // the module stays loaded: RTLD_NOLOAD found it held by someone else
    return pHandle;
}

std::string ProgramPath()
{
    char szPath[4096];
    const ssize_t nLen = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (nLen <= 0)
        return {};
    szPath[nLen] = '\0';
    return szPath;
}

std::string PosixPathOf(HMODULE hModule)
{
    if (hModule == nullptr)
        return ProgramPath();
    struct link_map* pMap = nullptr;
    if (dlinfo(hModule, RTLD_DI_LINKMAP, &pMap) != 0 || pMap == nullptr)
        return {};
    if (pMap->l_name == nullptr || pMap->l_name[0] == '\0')
        return ProgramPath();
    char szReal[4096];
    if (realpath(pMap->l_name, szReal) != nullptr)
        return szReal;
    return pMap->l_name;
}
} // namespace

std::string ModuleNameToFileName(const std::string& strModuleName)
{
    const size_t nLen = strModuleName.size();
    if (nLen >= 4 && strcasecmp(strModuleName.c_str() + nLen - 4, ".dll") == 0)
        return strModuleName.substr(0, nLen - 4) + ".so";
    return strModuleName;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    if (lpModuleName == nullptr)
    {
        void* pSelf = dlopen(nullptr, RTLD_LAZY);
        if (pSelf != nullptr)
            dlclose(pSelf);
        return pSelf;
    }
    // Windows names may carry a directory; only the file name decides here.
    std::string strName = lpModuleName;
    const size_t nSep = strName.find_last_of("\\/");
    if (nSep != std::string::npos)
        strName.erase(0, nSep + 1);
    CFindByName find{ModuleNameToFileName(strName), {}};
    dl_iterate_phdr(&FindByNameCallback, &find);
    if (find.m_strFound.empty())
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE hModule = HandleOfLoadedPath(find.m_strFound);
    if (hModule == nullptr)
        SetLastError(ERROR_MOD_NOT_FOUND);
    return hModule;
}

BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule)
{
    if (phModule == nullptr || (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0)
    {
        *phModule = GetModuleHandleA(lpModuleName);
        return *phModule != nullptr ? TRUE : FALSE;
    }
    Dl_info info{};
    if (lpModuleName == nullptr || dladdr(lpModuleName, &info) == 0 || info.dli_fname == nullptr)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    const std::string strProgram = ProgramPath();
    char szReal[4096];
    const std::string strPath = realpath(info.dli_fname, szReal) != nullptr ? szReal : info.dli_fname;
    if (strPath == strProgram)
        return (*phModule = GetModuleHandleA(nullptr)) != nullptr ? TRUE : FALSE;
    *phModule = HandleOfLoadedPath(strPath);
    if (*phModule == nullptr)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    const std::string strPosix = PosixPathOf(hModule);
    if (strPosix.empty())
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::string strWindows = MapPosixPathToWindows(strPosix);
    if (lpFilename == nullptr || nSize == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (strWindows.size() >= nSize)
    {
        std::memcpy(lpFilename, strWindows.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, strWindows.c_str(), strWindows.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(strWindows.size());
}

namespace
{
std::mutex& LoadCountMutex()
{
    static std::mutex s_mutex;
    return s_mutex;
}

// LoadLibrary references per module loaded as code.
std::map<void*, LONG>& LoadCounts()
{
    static auto* s_pMap = new std::map<void*, LONG>();
    return *s_pMap;
}

bool PosixFileExists(const std::string& strPath)
{
    struct stat st
    {
    };
    return ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The module file name a Windows name stands for: ".dll" added when it has no extension, then "X.dll"
// becomes "X.so".
std::string ModuleFileOf(std::string strFile)
{
    if (strFile.find('.') == std::string::npos)
        strFile += ".dll";
    return ModuleNameToFileName(strFile);
}

std::string JoinWindows(std::string strDirectory, const std::string& strFile)
{
    if (!strDirectory.empty() && strDirectory.back() != '\\' && strDirectory.back() != '/')
        strDirectory += '\\';
    return strDirectory + strFile;
}
} // namespace

std::string FindModuleFile(const std::string& strName)
{
    if (strName.empty())
        return {};
    const size_t nSep = strName.find_last_of("\\/");
    const bool bPath = nSep != std::string::npos || (strName.size() > 1 && strName[1] == ':');
    if (bPath)
    {
        const std::string strDirectory =
            nSep != std::string::npos ? strName.substr(0, nSep + 1) : strName.substr(0, 2);
        const std::string strFile = ModuleFileOf(strName.substr(nSep != std::string::npos ? nSep + 1 : 2));
        std::string strPosix;
        if (MapWindowsPathToPosix(strDirectory + strFile, strPosix) != ERROR_SUCCESS ||
            !PosixFileExists(strPosix))
            return {};
        return strPosix;
    }
    const std::string strFile = ModuleFileOf(strName);
    if (HMODULE hLoaded = GetModuleHandleA(strFile.c_str()); hLoaded != nullptr)
    {
        const std::string strPath = PosixPathOf(hLoaded);
        if (!strPath.empty())
            return strPath;
    }
    std::vector<std::string> vecDirectories = CMachineConfig::Instance().GetLibrarySearchPath();
    vecDirectories.push_back(CMachineConfig::Instance().GetSystemDirectory());
    for (const std::string& strDirectory : vecDirectories)
    {
        std::string strPosix;
        if (MapWindowsPathToPosix(JoinWindows(strDirectory, strFile), strPosix) == ERROR_SUCCESS &&
            PosixFileExists(strPosix))
            return strPosix;
    }
    return {};
}

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    return LoadLibraryExA(lpLibFileName, nullptr, 0);
}

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE /*hFile*/, DWORD dwFlags)
{
    if (lpLibFileName == nullptr || *lpLibFileName == '\0')
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string strPath = FindModuleFile(lpLibFileName);
    if (strPath.empty())
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if ((dwFlags & LOAD_LIBRARY_AS_DATAFILE) != 0)
    {
        DWORD dwError = ERROR_SUCCESS;
        auto spImage = CModuleImage::Read(strPath, dwError);
        if (!spImage)
        {
            SetLastError(dwError);
            return nullptr;
        }
        SetLastError(ERROR_SUCCESS);
        return RegisterDataFileModule(spImage);
    }
    void* pHandle = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (pHandle == nullptr)
    {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(LoadCountMutex());
    ++LoadCounts()[pHandle];
    SetLastError(ERROR_SUCCESS);
    return pHandle;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (hModule == nullptr || lpProcName == nullptr || IsDataFileModuleHandle(hModule))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    dlerror();
    void* pSymbol = dlsym(hModule, lpProcName);
    if (pSymbol == nullptr)
    {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC pfn = nullptr;
    static_assert(sizeof(pfn) == sizeof(pSymbol));
    std::memcpy(&pfn, &pSymbol, sizeof(pfn));
    return pfn;
}

BOOL FreeLibrary(HMODULE hModule)
{
    if (hModule == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (IsDataFileModuleHandle(hModule))
    {
        if (ReleaseDataFileModule(hModule))
            return TRUE;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(LoadCountMutex());
        auto it = LoadCounts().find(hModule);
        // Only references LoadLibrary counted are given back: a handle from GetModuleHandleA holds none.
        if (it == LoadCounts().end())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second == 0)
            LoadCounts().erase(it);
    }
    if (dlclose(hModule) != 0)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

LONG GetModuleLoadCount(HMODULE hModule)
{
    if (IsDataFileModuleHandle(hModule))
        return DataFileModuleImage(hModule) ? 1 : 0;
    std::lock_guard<std::mutex> lock(LoadCountMutex());
    auto it = LoadCounts().find(hModule);
    return it != LoadCounts().end() ? it->second : 0;
}
