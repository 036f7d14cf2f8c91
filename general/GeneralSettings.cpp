#include "general/GeneralSettings.h"

#include "common/FileHelpers.h"
#include "common/TraceLog.h"
#include "common/TraceText.h"
#include "platform/WinError.h"
#include "platform/WinFile.h"
#include "platform/WinMemory.h"
#include "platform/WinModule.h"
#include "platform/WinRegistry.h"
#include "platform/WinSync.h"
#include "platform/WinSystemInfo.h"
#include "platform/WinTime.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

namespace
{
constexpr size_t EVENT_TEXT_SIZE = 2048;
constexpr size_t ERROR_MESSAGE_SIZE = 24576;
constexpr size_t ERROR_EVENT_SIZE = 25108;
constexpr const char* EXCHANGE_SETUP_KEY = "Software\\Microsoft\\Exchange\\Setup";

// A 4-byte registry value, 0 when absent; bDword tells whether it was a REG_DWORD.
DWORD ReadRegistryDword(HKEY hKey, const char* pszName, bool& bDword)
{
    DWORD dwValue = 0;
    DWORD dwType = 0;
    DWORD dwSize = sizeof(dwValue);
    const LSTATUS nStatus =
        RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<LPBYTE>(&dwValue), &dwSize);
    bDword = nStatus == ERROR_SUCCESS && dwType == REG_DWORD && dwSize == sizeof(dwValue);
    return nStatus == ERROR_SUCCESS ? dwValue : 0;
}

// Holds the lines traced before the log is set up while it lives; releases them at the latest when it goes.
class CEarlyTraceLines
{
public:
    CEarlyTraceLines() { HoldEarlyTraceLines(); }
    ~CEarlyTraceLines() { ReleaseEarlyTraceLines(); }
    CEarlyTraceLines(const CEarlyTraceLines&) = delete;
    CEarlyTraceLines& operator=(const CEarlyTraceLines&) = delete;
    void Release() { ReleaseEarlyTraceLines(); }
};

ExchangeVersionClass ClassOfBuild(DWORD dwBuild)
{
    if (dwBuild >= 14000)
        return 8;
    if (dwBuild >= 10000)
        return 4;
    if (dwBuild >= 6001)
        return 2;
    if (dwBuild >= 4001 && dwBuild <= 5999)
        return 1;
    return 0;
}
} // namespace

std::string IntToDecimalString(int32_t nValue)
{
    std::ostringstream text;
    text << nValue;
    return text.str();
}

std::string IntToDecimalString(uint16_t wValue)
{
    std::ostringstream text;
    text << wValue;
    return text.str();
}

CGeneralSettings::CGeneralSettings() : m_vecReservedNames{"AUX", "CON", "NUL", "PRN", "CLOCKS$"} {}

CGeneralSettings::~CGeneralSettings()
{
    // The log lock lives in the log module, which goes with this object: no sink may take it afterwards.
    if (m_spLogModule)
        SetTraceLogLock(nullptr);
}

bool CGeneralSettings::Init(const char* pszProductName, const char* pszModuleName,
                            const char* pszResourceLibName, const char* pszRegistryPath, int nLevels)
{
    BuildLanguageTagMap();
    BuildBrowserLanguageList();
    if (m_bInitialized)
        return true;
    m_EventLog.Register(pszProductName);
    m_strRegistryPath = pszRegistryPath != nullptr ? pszRegistryPath : "";
    // The settings say where the log goes, so what their load traces (the files read, the engine options
    // found or missing) waits in memory until the log is set up.
    CEarlyTraceLines earlyLines;
    std::string strErrorText;
    const bool bRet = LoadSettings(pszModuleName, pszResourceLibName, strErrorText, nLevels);
    if (bRet)
    {
        m_strModuleName = pszModuleName;
        InitLog(pszModuleName, -1);
        earlyLines.Release();
        m_dwExchangeVersion = GetExchangeVersion();
        const DWORD dwRSA = m_RSACookieAPI.RSALoad();
        if (dwRSA != ERROR_SUCCESS)
            TraceLogError(dwRSA, "Load RSA KS_RSALoad.dll failed with error %d", static_cast<int>(dwRSA));
        else
            TraceLog("RSA loaded");
        LogModuleFileVersion();
    }
    m_bInitialized = bRet;
    TraceLog("General Settings %s initialization %s", bRet ? "successful" : "failed", strErrorText.c_str());
    if (bRet)
        m_EventLog.WriteEvent(4, 0, m_idInitSucceeded, 0, nullptr, static_cast<const char*>(nullptr));
    else
    {
        m_EventLog.WriteEvent(1, 0, m_idFailureText, 0, nullptr, strErrorText.c_str(),
                              static_cast<const char*>(nullptr));
        m_EventLog.WriteEvent(1, 0, m_idInitFailed, 0, nullptr, static_cast<const char*>(nullptr));
    }
    return bRet;
}

bool CGeneralSettings::LoadSettings(const char* pszModuleName, const char* pszResourceLibName,
                                    std::string& strErrorText, int nLevels)
{
    if (pszModuleName == nullptr)
    {
        TraceLog("LoadSettings has NULL ModuleName");
        return false;
    }
    std::string strDirectory;
    if (!CFileUtil::GetModulePath(strDirectory, pszModuleName, FALSE, nLevels))
    {
        strErrorText = std::string("Can not get module path ") + pszModuleName;
        TraceLog("GetModulePath didn't find the module %s", pszModuleName);
        WriteEventText(1, "%s", strErrorText.c_str());
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
    const std::string strResourcePath =
        strDirectory + "Resource\\" + (pszResourceLibName != nullptr ? pszResourceLibName : "");
    m_strSettingsDirectory = strDirectory + "Settings\\";
    if (m_strSettingsDirectory.empty() || m_strSettingsDirectory.size() > MAX_PATH)
    {
        strErrorText = "Path length exceeded MAX_PATH ";
        TraceLog(" LoadSettings incorrect path %s", m_strSettingsDirectory.c_str());
        return false;
    }
    bool bRet = false;
    std::string strSettingsFolder = m_strSettingsDirectory;
    const HRESULT hr = m_Settings.LoadSettings(strSettingsFolder);
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "Failed to load settings from  %s HR 0x%x",
                      m_strSettingsDirectory.c_str(), static_cast<unsigned>(hr));
        strErrorText = "Loading Settings failed " + m_strSettingsDirectory + " " + std::to_string(hr);
        WriteErrorEvent(static_cast<DWORD>(hr), 1, "%s", strErrorText.c_str());
        // The code alone does not tell an administrator where a file went wrong; the parser knows.
        const std::string strParseFailure = m_Settings.GetParseFailure();
        if (!strParseFailure.empty())
            WriteEventText(1, "Settings file %s", strParseFailure.c_str());
    }
    else
    {
        CResource::SetTraceHook(&TraceLogToFile);
        CResource::SetEventHook(&WriteEventLogEntry);
        bRet = m_Resource.LoadModule(strResourcePath);
        if (!bRet)
        {
            strErrorText = "Load resource file failed " + strResourcePath;
            WriteEventText(1, "%s", strErrorText.c_str());
        }
    }
    const DWORD dwRSA = m_RSACookieAPI.RSALoad();
    if (dwRSA != ERROR_SUCCESS)
        TraceLogError(dwRSA, "Load RSA failed with error %d", static_cast<int>(dwRSA));
    else
        TraceLog("RSA loaded");
    m_bRSAAvailable = m_RSACookieAPI.m_bAvailable;
    return bRet;
}

DWORD CGeneralSettings::Uninitialize()
{
    m_bInitialized = false;
    m_Resource.UnloadModule();
    const int nDeregistered = m_EventLog.Deregister();
    m_RSACookieAPI.Unload();
    return static_cast<DWORD>(nDeregistered);
}

bool CGeneralSettings::GetSettingFromID(int nID, ci_string& csValue, int nSettingID, int nEngineID)
{
    const bool bRet = m_Settings.GetSettingFromID(nID, &csValue, nSettingID, nEngineID);
    if (!bRet)
        TraceLog("GetSettingFromID ci_string failed ID %d, SettingID %d, EngineID %d", nID, nSettingID,
                 nEngineID);
    return bRet;
}

bool CGeneralSettings::GetSettingFromID(int nID, int& nValue, int nSettingID, int nEngineID)
{
    const bool bRet = m_Settings.GetSettingFromID(nID, &nValue, nSettingID, nEngineID);
    if (!bRet)
        TraceLog("GetSettingFromID int failed ID %d, SettingID %d, EngineID %d", nID, nSettingID, nEngineID);
    return bRet;
}

bool CGeneralSettings::GetHighSpeedAction(const ci_string& csExtension, int& nAction, int nSettingID,
                                          int nEngineID)
{
    return m_Settings.GetHighSpeedAction(csExtension, &nAction, nSettingID, nEngineID);
}

bool CGeneralSettings::GetSettingIDFromCriteriaID(int nCriteriaID, int& nSettingID)
{
    return m_Settings.GetSettingIDFromCriteriaID(nCriteriaID, &nSettingID);
}

namespace
{
template <class TString> bool ExtractUserNameOf(TString& strName)
{
    if (strName.empty())
    {
        TraceLog("[CGeneralSettings::ExtractUserName] Username is empty.");
        return false;
    }
    for (char chSep : {'\\', '@', '/'})
    {
        const size_t nPos = strName.find(chSep);
        if (nPos == TString::npos)
            continue;
        if (nPos + 1 == strName.size())
        {
            if (chSep == '@')
                return true;
            TraceLog("CGeneralSettings::ExtractUserName got an invalid Username format %s ", strName.c_str());
            return false;
        }
        strName = chSep == '@' ? strName.substr(0, nPos) : strName.substr(nPos + 1);
        return true;
    }
    return true;
}
} // namespace

bool CGeneralSettings::ExtractUserName(std::string& strUserName)
{
    return ExtractUserNameOf(strUserName);
}

bool CGeneralSettings::ExtractUserName(ci_string& csUserName)
{
    return ExtractUserNameOf(csUserName);
}

void CGeneralSettings::WriteEventText(DWORD dwType, const char* pszFormat, ...)
{
    try
    {
        char szText[EVENT_TEXT_SIZE] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szText, sizeof(szText), pszFormat, args);
        va_end(args);
        if (szText[0] != '\0')
            m_EventLog.WriteEvent(static_cast<int>(dwType), 0, m_idFailureText, 0, nullptr, szText,
                                  static_cast<const char*>(nullptr));
    }
    catch (...)
    {
        // An event that cannot be written is dropped.
    }
}

void CGeneralSettings::WriteErrorEvent(DWORD dwError, DWORD dwType, const char* pszFormat, ...)
{
    try
    {
        std::vector<char> vecMessage(ERROR_MESSAGE_SIZE, '\0');
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(vecMessage.data(), vecMessage.size(), pszFormat, args);
        va_end(args);
        char* pszSystem = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError, 0,
                       reinterpret_cast<LPSTR>(&pszSystem), 0, nullptr);
        std::vector<char> vecText(ERROR_EVENT_SIZE, '\0');
        std::snprintf(vecText.data(), vecText.size(), "ERROR: %s. %s", pszSystem != nullptr ? pszSystem : "",
                      vecMessage.data());
        if (pszSystem != nullptr)
            LocalFree(pszSystem);
        if (vecText[0] != '\0')
            m_EventLog.WriteEvent(static_cast<int>(dwType), 0, m_idFailureText, 0, nullptr, vecText.data(),
                                  static_cast<const char*>(nullptr));
    }
    catch (...)
    {
        // An event that cannot be written is dropped.
    }
}

ExchangeVersionClass CGeneralSettings::GetExchangeVersion()
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EXCHANGE_SETUP_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    bool bDword = false;
    const DWORD dwNewestBuild = ReadRegistryDword(hKey, "NewestBuild", bDword);
    const ExchangeVersionClass dwClass = bDword ? ClassOfBuild(dwNewestBuild) : 0;
    bool bIgnored = false;
    const DWORD dwBuildMajor = ReadRegistryDword(hKey, "MsiBuildMajor", bIgnored);
    const DWORD dwBuildMinor = ReadRegistryDword(hKey, "MsiBuildMinor", bIgnored);
    const DWORD dwProductMajor = ReadRegistryDword(hKey, "MsiProductMajor", bIgnored);
    const DWORD dwProductMinor = ReadRegistryDword(hKey, "MsiProductMinor", bIgnored);
    TraceLog("Exchange NewestBuild %d, Version %d.%d.%d.%d", static_cast<int>(dwNewestBuild),
             static_cast<int>(dwProductMajor), static_cast<int>(dwProductMinor),
             static_cast<int>(dwBuildMajor), static_cast<int>(dwBuildMinor));
    RegCloseKey(hKey);
    return dwClass;
}

bool CGeneralSettings::GetComputerNames(std::string& strFullyQualifiedName, std::string& strHostName)
{
    DWORD dwSize = 0;
    std::vector<char> vecBuffer;
    const BOOL bSize = GetComputerNameExA(ComputerNameDnsFullyQualified, nullptr, &dwSize);
    DWORD dwError = GetLastError();
    if (!bSize && dwError == ERROR_MORE_DATA)
    {
        vecBuffer.assign(size_t{dwSize} + 1, '\0');
        DWORD dwRead = dwSize;
        if (GetComputerNameExA(ComputerNameDnsFullyQualified, vecBuffer.data(), &dwRead))
        {
            strFullyQualifiedName = vecBuffer.data();
            TraceLog("GetComputerName ComputerNameDnsFullyQualified %s", strFullyQualifiedName.c_str());
        }
        else
            TraceLogError(GetLastError(),
                          "Failed to get computer name ComputerNameDnsFullyQualified Error: %d",
                          static_cast<int>(GetLastError()));
    }
    else
        TraceLog("Failed to get the size for computer name  Error: %d Ret %d", static_cast<int>(dwError),
                 static_cast<int>(bSize));

    std::fill(vecBuffer.begin(), vecBuffer.end(), '\0');
    DWORD dwHostSize = static_cast<DWORD>(vecBuffer.size() > 0 ? vecBuffer.size() - 1 : 0);
    const BOOL bHost = GetComputerNameExA(ComputerNameDnsHostname,
                                          vecBuffer.empty() ? nullptr : vecBuffer.data(), &dwHostSize);
    dwError = bHost ? ERROR_SUCCESS : GetLastError();
    if (dwError != ERROR_MORE_DATA)
    {
        if (!vecBuffer.empty() && vecBuffer[0] != '\0')
        {
            strHostName = vecBuffer.data();
            TraceLogError(dwError, "GetComputerName ComputerNameDnsHostname %s Err: %d", strHostName.c_str(),
                          static_cast<int>(dwError));
            return true;
        }
        TraceLog("Failed to get the size for computer name ComputerNameDnsHostname Error: %d Ret %d",
                 static_cast<int>(dwError), static_cast<int>(bHost));
        return false;
    }
    vecBuffer.assign(size_t{dwHostSize} + 1, '\0');
    DWORD dwRead = dwHostSize;
    if (GetComputerNameExA(ComputerNameDnsHostname, vecBuffer.data(), &dwRead))
    {
        strHostName = vecBuffer.data();
        TraceLog("GetComputerName ComputerNameDnsHostname %s", strHostName.c_str());
        return true;
    }
    TraceLog("Failed to get computer name ComputerNameDnsHostname Error: %d",
             static_cast<int>(GetLastError()));
    return false;
}

std::string CGeneralSettings::GetFileVersionString(CFileVersionInfo& versionInfo)
{
    return versionInfo.GetString("FileVersion");
}

std::string CGeneralSettings::GetProductVersionString(CFileVersionInfo& versionInfo)
{
    return versionInfo.GetString("ProductVersion");
}

void CGeneralSettings::LogModuleFileVersion()
{
    CFileVersionInfo versionInfo;
    if (!versionInfo.Load(m_strModuleName.c_str()))
    {
        TraceLogError(GetLastError(), "Can not open to read FileVer for %s", m_strModuleName.c_str());
        return;
    }
    const std::string strFileVersion = GetFileVersionString(versionInfo);
    const std::string strProductVersion = GetProductVersionString(versionInfo);
    std::string strTime;
    FILETIME ftWrite{};
    SYSTEMTIME st{};
    if (SUCCEEDED(
            CFileUtil::GetFileLastWriteTime((m_strInstallDirectory + m_strModuleName).c_str(), ftWrite)) &&
        FileTimeToSystemTime(&ftWrite, &st))
        strTime = "DD.MM.YYY H:MM:S:MS " + IntToDecimalString(st.wDay) + "." + IntToDecimalString(st.wMonth) +
                  "." + IntToDecimalString(st.wYear) + " " + IntToDecimalString(st.wHour) + ":" +
                  IntToDecimalString(st.wMinute) + ":" + IntToDecimalString(st.wSecond) + ":" +
                  IntToDecimalString(st.wMilliseconds);
    TraceLog("%s FileVer: %s, Product Ver: %s  %s", m_strModuleName.c_str(), strFileVersion.c_str(),
             strProductVersion.c_str(), strTime.c_str());
    versionInfo.Free();
}
