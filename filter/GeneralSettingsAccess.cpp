#include "filter/GeneralSettingsAccess.h"

#include "common/TraceLog.h"

bool GetRequestSetting(int nID, int& nValue, DWORD dwSettingID, int nEngineID)
{
    const int nSettingID = static_cast<int>(dwSettingID);
    const bool bRet = GeneralSettings()->m_Settings.GetSettingFromID(nID, &nValue, nSettingID, nEngineID);
    if (!bRet)
        TraceLog("GetSettingFromID int failed ID %d, SettingID %d, EngineID %d", nID, nSettingID, nEngineID);
    return bRet;
}

bool GetRequestSetting(int nID, ci_string& csValue, DWORD dwSettingID, int nEngineID)
{
    const int nSettingID = static_cast<int>(dwSettingID);
    const bool bRet = GeneralSettings()->m_Settings.GetSettingFromID(nID, &csValue, nSettingID, nEngineID);
    if (!bRet)
        TraceLog("GetSettingFromID ci_string failed ID %d, SettingID %d, EngineID %d", nID, nSettingID,
                 nEngineID);
    return bRet;
}

DWORD GetOWAFileAccessLevel(const ci_string& /*csExtension*/, bool /*bPublicClient*/, int& nLevel)
{
    nLevel = 0;
    return ERROR_INVALID_DATA;
}

bool DetectUserLanguageOf(const std::string& /*strUser*/, const std::string& /*strAcceptLanguage*/,
                          std::string& strLanguage, WORD& wLangID, const std::string& /*strCookie*/)
{
    strLanguage = "en";
    wLangID = 9;
    return false;
}

bool DetectResourceLanguage(const std::string& strLanguage, WORD& wLangID)
{
    wLangID = 0x1009;
    return strLanguage == "en";
}

bool GetUTF8Resource(int /*nResourceID*/, std::string& /*strText*/, WORD /*wLangID*/)
{
    return false;
}

std::string GetVirtualFolderName()
{
    return FromCi(GeneralSettings()->m_csVirtualFolderName);
}

bool GetSettingIDFromCriteriaID(DWORD dwCriteriaID, DWORD& dwSettingID)
{
    int nSettingID = static_cast<int>(dwSettingID);
    const bool bRet =
        GeneralSettings()->m_Settings.GetSettingIDFromCriteriaID(static_cast<int>(dwCriteriaID), &nSettingID);
    dwSettingID = static_cast<DWORD>(nSettingID);
    return bRet;
}
