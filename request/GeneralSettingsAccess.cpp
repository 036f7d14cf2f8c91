#include "request/GeneralSettingsAccess.h"

bool GetRequestSetting(int nID, int& nValue, DWORD dwSettingID, int nEngineID)
{
    return GeneralSettings()->GetSettingFromID(nID, nValue, static_cast<int>(dwSettingID), nEngineID);
}

bool GetRequestSetting(int nID, ci_string& csValue, DWORD dwSettingID, int nEngineID)
{
    return GeneralSettings()->GetSettingFromID(nID, csValue, static_cast<int>(dwSettingID), nEngineID);
}

DWORD GetOWAFileAccessLevel(const ci_string& csExtension, bool bPublicClient, int& nLevel)
{
    OWAFileAccessLevel nOWALevel = OWA_ACCESS_NOT_DETERMINED;
    const DWORD dwRet = GeneralSettings()->GetOWAFileAccessLevel(csExtension, bPublicClient, nOWALevel);
    nLevel = nOWALevel;
    return dwRet;
}

bool DetectUserLanguageOf(const std::string& strUser, const std::string& strAcceptLanguage,
                          std::string& strLanguage, WORD& wLangID, const std::string& strCookie)
{
    ci_string csLanguage;
    const bool bRet = GeneralSettings()->DetectUserLanguage(ToCi(strUser), ToCi(strAcceptLanguage),
                                                            csLanguage, wLangID, strCookie);
    strLanguage = FromCi(csLanguage);
    return bRet;
}

bool DetectResourceLanguage(const std::string& strLanguage, WORD& wLangID)
{
    return GeneralSettings()->m_Resource.DetectLanguage(strLanguage, wLangID);
}

bool GetUTF8Resource(int nResourceID, std::string& strText, WORD wLangID)
{
    ci_string csText;
    if (GetUTF8ResourceString(*GeneralSettings(), nResourceID, csText, wLangID) == 0)
        return false;
    strText = FromCi(csText);
    return true;
}

std::string GetVirtualFolderName()
{
    return FromCi(GeneralSettings()->m_csVirtualFolderName);
}

bool GetSettingIDFromCriteriaID(DWORD dwCriteriaID, DWORD& dwSettingID)
{
    int nSettingID = static_cast<int>(dwSettingID);
    const bool bRet =
        GeneralSettings()->GetSettingIDFromCriteriaID(static_cast<int>(dwCriteriaID), nSettingID);
    dwSettingID = static_cast<DWORD>(nSettingID);
    return bRet;
}
