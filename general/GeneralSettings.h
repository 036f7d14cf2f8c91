// The process-wide general settings, base level: languages, the event source, the settings holder, the
// product's directories, the resource library, the RSA loader, Exchange's version and the module's own.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "general/EventLog.h"
#include "general/RSACookieAPI.h"
#include "general/Resource.h"
#include "platform/WinTypes.h"
#include "settings/HandleDLSettings.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class CFileVersionInfo;

using GeneralSettingsEventID = DWORD;
// 0 unknown, 1 (builds 4001-5999), 2 (6001-9999), 4 (10000-13999), 8 (14000 and above).
using ExchangeVersionClass = DWORD;
// Lower-case language tag -> LANGID in the low 16 bits.
using LanguageTagMap = std::map<ci_string, DWORD>;
// {browser tag, product language code}, searched in order.
using BrowserLanguageList = std::vector<std::pair<ci_string, ci_string>>;

class CGeneralSettings
{
public:
    CGeneralSettings();
    CGeneralSettings(const CGeneralSettings&) = delete;
    CGeneralSettings& operator=(const CGeneralSettings&) = delete;
    virtual ~CGeneralSettings();

    virtual bool Init(const char* pszProductName, const char* pszModuleName, const char* pszResourceLibName,
                      const char* pszRegistryPath, int nLevels);
    virtual DWORD Uninitialize();
    virtual void InitLog(const char* pszModuleName, int nSettingID) = 0;
    virtual void BuildBrowserLanguageList();
    virtual bool LoadSettings(const char* pszModuleName, const char* pszResourceLibName,
                              std::string& strErrorText, int nLevels);

    void SetServiceWorkerID(DWORD dwID) { m_Settings.SetServiceWorkerID(static_cast<int>(dwID)); }
    void SetEventIDs(GeneralSettingsEventID idInitSucceeded, GeneralSettingsEventID idInitFailed,
                     GeneralSettingsEventID idFailureText)
    {
        m_idInitSucceeded = idInitSucceeded;
        m_idInitFailed = idInitFailed;
        m_idFailureText = idFailureText;
    }

    // Setting lookups through the settings holder; a failed one is traced with its ids.
    bool GetSettingFromID(int nID, ci_string& csValue, int nSettingID, int nEngineID);
    bool GetSettingFromID(int nID, int& nValue, int nSettingID, int nEngineID);
    bool GetHighSpeedAction(const ci_string& csExtension, int& nAction, int nSettingID, int nEngineID);
    bool GetSettingIDFromCriteriaID(int nCriteriaID, int& nSettingID);

    // "dom\user", "dom/user" and "user@dom" become "user"; false for an empty name or one that ends in
    // its first backslash or slash.
    static bool ExtractUserName(std::string& strUserName);
    static bool ExtractUserName(ci_string& csUserName);

    // One error or information event with the failure-text id and the formatted text (at most 2047
    // characters); an empty text writes nothing. Never throws.
    void WriteEventText(DWORD dwType, const char* pszFormat, ...) __attribute__((format(printf, 3, 4)));
    // "ERROR: <system text of the code>. <message>" as one event with the failure-text id.
    void WriteErrorEvent(DWORD dwError, DWORD dwType, const char* pszFormat, ...)
        __attribute__((format(printf, 4, 5)));

    ExchangeVersionClass GetExchangeVersion();
    // The computer's fully qualified DNS name and DNS host name; the result is the host name's.
    bool GetComputerNames(std::string& strFullyQualifiedName, std::string& strHostName);
    void LogModuleFileVersion();
    static std::string GetFileVersionString(CFileVersionInfo& versionInfo);
    static std::string GetProductVersionString(CFileVersionInfo& versionInfo);
    void BuildLanguageTagMap();

    CResource m_Resource;
    CEventLog m_EventLog;
    // The settings holder; every setting lookup and the reload check go through it.
    CHandleDLSettings m_Settings;
    std::string m_strRegistryPath;
    std::string m_strProductFolderName;
    std::string m_strCommonFilesDirectory;
    std::string m_strInstallDirectory;
    std::string m_strSettingsDirectory;
    bool m_bInitialized = false;
    CRSACookieAPI m_RSACookieAPI;
    bool m_bRSAAvailable = false;
    ExchangeVersionClass m_dwExchangeVersion = 0;
    GeneralSettingsEventID m_idInitSucceeded = 0;
    GeneralSettingsEventID m_idInitFailed = 0;
    GeneralSettingsEventID m_idFailureText = 0;
    LanguageTagMap m_mapLanguageTags;
    BrowserLanguageList m_listBrowserLanguages;
    std::string m_strModuleName;
    // The log module, freed when the last holder lets it go.
    CCountedPtr<void, CFreeLibraryDelete> m_spLogModule;
    // File names the log set-up refuses as they stand.
    std::vector<ci_string> m_vecReservedNames;
};

// 32-bit and unsigned 16-bit numbers in plain decimal.
std::string IntToDecimalString(int32_t nValue);
std::string IntToDecimalString(uint16_t wValue);
