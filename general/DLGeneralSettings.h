// The general settings of this worker: page character sets, the temp directory, the log set-up, OWA's
// settings from the directory, the session cache, the computer's names, the viewer's virtual folder, and
// the language and string services the handlers and rewriters ask for.
#pragma once

#include "common/CiString.h"
#include "general/GeneralSettings.h"
#include "general/KSCache.h"
#include "general/OWAADConfig.h"
#include "general/PageCharSet.h"

#include <map>
#include <string>
#include <vector>

// How GetResources hands strings over: UTF-8 with HTML escaping, or converted into a page's character set
// (modes 2 and 3); any other mode is taken as UTF-8.
constexpr int RESOURCE_MODE_UTF8 = 1;
constexpr int RESOURCE_MODE_CHARSET = 2;

// The session cache of users' directory properties.
constexpr const char* AD_USER_CONFIG_CACHE = "ADUserConfig";

class CDLGeneralSettings : public CGeneralSettings
{
public:
    CDLGeneralSettings();
    ~CDLGeneralSettings() override;

    bool Init(const char* pszProductName, const char* pszModuleName, const char* pszResourceLibName,
              const char* pszRegistryPath, int nLevels) override;
    DWORD Uninitialize() override;
    void InitLog(const char* pszModuleName, int nSettingID) override;
    bool LoadSettings(const char* pszModuleName, const char* pszResourceLibName, std::string& strErrorText,
                      int nLevels) override;

    // Languages and strings.
    // The user's language: the directory's culture when it can be read, else the browser's header.
    // True when a product language matched; else "en" and the LANGID as far as it was found.
    bool DetectUserLanguage(const ci_string& csUserName, const ci_string& csAcceptLanguage, ci_string& csCode,
                            LANGID& wLangID, const std::string& strRequestData);
    bool DetectBrowserLanguage(const ci_string& csAcceptLanguage, ci_string& csCode, LANGID& wLangID);
    bool GetLanguageIDFromTag(const ci_string& csTag, LANGID& wLangID);
    bool MatchBrowserLanguage(const ci_string& csText, ci_string& csCode);
    // Each id in that language, else in English; true only when every id was delivered.
    bool GetResources(const std::vector<int>& vecIDs, std::map<int, ci_string>& mapStrings, int nMode,
                      LANGID wLangID, const ci_string& csCharSet);

    // The log set-up's second half: the log module, its lock, the log file's name and path.
    void SetupLogModule(const char* pszModuleName, int nSettingID, int nDestination);

    // The directory: OWA's settings of this server, one property of a user (through the session cache),
    // and the OWA access level of a file extension.
    HRESULT ReadOWAAD();
    HRESULT GetADProperty(const std::string& strUserName, const std::string& strPropertyName,
                          std::string& strValue, const std::string& strRequestData);

    CPageCharSet m_PageCharSet;
    std::string m_strTempDirectory;
    // The log path the log set-up chose.
    std::string m_strLogPath;
    COWAADConfig m_OWAADConfig;
    CKSCache m_KSCache;
    std::string m_strDnsHostName;
    std::string m_strDnsFullyQualifiedName;
    // The viewer's virtual folder.
    ci_string m_csVirtualFolderName;
};

// Trims blanks and replaces each of \ / : " ? * < > | by "_".
void SanitizeLogFileName(CGeneralSettings& settings, ci_string& csName);
// False for a reserved device name ("CON", "COM1", "LPT2.txt"...).
bool IsValidLogFileName(CGeneralSettings& settings, const ci_string& csName);
// One string in UTF-8 (no English fallback); 1 when more than three bytes were delivered, else 0.
int GetUTF8ResourceString(CGeneralSettings& settings, int nID, ci_string& csText, LANGID wLangID);
