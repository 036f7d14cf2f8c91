#include "general/GeneralSettings.h"

#include "common/TraceLog.h"
#include "platform/WinModule.h"

namespace
{
// The directory part of a module's path, ending in a backslash, taken nLevels directories up. Fewer
// backslashes than needed leave it as it is.
bool GetModuleDirectory(std::string& strDirectory, const char* pszModuleName, int nLevels)
{
    HMODULE hModule = GetModuleHandleA(pszModuleName);
    if (hModule == nullptr)
        return false;
    char szPath[MAX_PATH + 1] = {};
    if (GetModuleFileNameA(hModule, szPath, MAX_PATH) == 0)
        return false;
    std::string strPath = szPath;
    if (strPath.size() > 4 && strPath.compare(0, 4, "\\\\?\\") == 0)
        strPath.erase(0, 4);
    const size_t nLastSep = strPath.find_last_of('\\');
    strDirectory = nLastSep == std::string::npos ? std::string() : strPath.substr(0, nLastSep + 1);
    if (nLevels > 0 && strDirectory.size() > 1)
    {
        size_t nCut = strDirectory.size() - 1; // the trailing backslash
        bool bFound = true;
        for (int i = 0; i < nLevels && bFound; ++i)
        {
            const size_t nPrev = nCut == 0 ? std::string::npos : strDirectory.rfind('\\', nCut - 1);
            bFound = nPrev != std::string::npos;
            if (bFound)
                nCut = nPrev;
        }
        if (bFound)
            strDirectory.erase(nCut + 1);
    }
    return true;
}
} // namespace

bool CGeneralSettings::Init(const char* /*pszProductName*/, const char* pszModuleName,
                            const char* pszResourceLibName, const char* pszRegistryPath, int nLevels)
{
    if (m_bInitialized)
        return true;
    m_strRegistryPath = pszRegistryPath != nullptr ? pszRegistryPath : "";
    std::string strErrorText;
    const bool bRet = LoadSettings(pszModuleName, pszResourceLibName, strErrorText, nLevels);
    if (bRet)
    {
        m_strModuleName = pszModuleName;
        InitLog(pszModuleName, -1);
    }
    m_bInitialized = bRet;
    TraceLog("General Settings %s initialization %s", bRet ? "successful" : "failed", strErrorText.c_str());
    return bRet;
}

bool CGeneralSettings::LoadSettings(const char* pszModuleName, const char* /*pszResourceLibName*/,
                                    std::string& strErrorText, int nLevels)
{
    if (pszModuleName == nullptr)
    {
        TraceLog("LoadSettings has NULL ModuleName");
        return false;
    }
    std::string strDirectory;
    if (!GetModuleDirectory(strDirectory, pszModuleName, nLevels))
    {
        strErrorText = std::string("Can not get module path ") + pszModuleName;
        TraceLog("GetModulePath didn't find the module %s", pszModuleName);
        return false;
    }
    if (strDirectory.empty())
    {
        TraceLog("Can not get ModulePath %s", pszModuleName);
        return false;
    }
    m_strInstallDirectory = strDirectory;
    m_strCommonFilesDirectory = strDirectory;
    if (strDirectory.size() > 2)
    {
        const size_t nSep = strDirectory.rfind('\\', strDirectory.size() - 2);
        if (nSep != std::string::npos)
        {
            m_strProductFolderName = strDirectory.substr(nSep + 1, strDirectory.size() - nSep - 2);
            m_strCommonFilesDirectory = strDirectory.substr(0, nSep + 1) + "Common Files\\";
        }
    }
    m_strSettingsDirectory = strDirectory + "Settings\\";
    if (m_strSettingsDirectory.empty() || m_strSettingsDirectory.size() > MAX_PATH)
    {
        strErrorText = "Path length exceeded MAX_PATH ";
        TraceLog(" LoadSettings incorrect path %s", m_strSettingsDirectory.c_str());
        return false;
    }
    std::string strSettingsFolder = m_strSettingsDirectory;
    const HRESULT hr = m_Settings.LoadSettings(strSettingsFolder);
    if (hr != S_OK)
    {
        TraceLogError(static_cast<DWORD>(hr), "Failed to load settings from  %s HR 0x%x",
                      m_strSettingsDirectory.c_str(), static_cast<unsigned>(hr));
        strErrorText = "Loading Settings failed " + m_strSettingsDirectory + " " + std::to_string(hr);
        return false;
    }
    return true;
}

DWORD CGeneralSettings::Uninitialize()
{
    m_bInitialized = false;
    return ERROR_SUCCESS;
}
