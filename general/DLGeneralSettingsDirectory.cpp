#include "common/ContentType.h"
#include "common/RestoreThreadToken.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/CountedPtr.h"
#include "general/ADUserConfig.h"
#include "general/DLSWGeneralSettings.h"
#include "general/DirectoryText.h"

#include <algorithm>
#include <memory>

namespace
{
constexpr const char* USER_CONTEXT_COOKIE = "UserContext=";
constexpr const char* SESSION_ID_COOKIE = "sessionid=";

// Session values are credentials: the event log gets their first four characters only, and nothing of a
// value that short.
std::string MaskedForEventLog(const std::string& strValue)
{
    return (strValue.size() > 4 ? strValue.substr(0, 4) : std::string()) + "...";
}
} // namespace

HRESULT CDLGeneralSettings::ReadOWAAD()
{
    if (m_OWAADConfig.m_bReadCompleted)
        return S_OK;
    RestoreThreadToken restore;
    restore.Revert();
    m_OWAADConfig.m_wstrServerName = WideFromAnsi(m_strDnsHostName);
    const HRESULT hr = m_OWAADConfig.ReadProperties(m_strDnsFullyQualifiedName, std::string());
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "Reading OWA configuration failed 0x%x for %s %s",
                      static_cast<unsigned>(hr), m_strDnsHostName.c_str(),
                      m_strDnsFullyQualifiedName.c_str());
        WriteEventText(1, "Reading OWA configuration failed HR: 0x%x for FQDNS: %s, DNS: %s",
                       static_cast<unsigned>(hr), m_strDnsFullyQualifiedName.c_str(),
                       m_strDnsHostName.c_str());
    }
    else
        m_OWAADConfig.m_bReadCompleted = true;
    return hr;
}

HRESULT CDLGeneralSettings::GetADProperty(const std::string& strUserName, const std::string& strPropertyName,
                                          std::string& strValue, const std::string& strRequestData)
{
    std::string strUser = strUserName;
    const bool bStripped = ExtractUserName(strUser);
    std::string strSession;
    TraceLog(
        "[CDLGeneralSettings::GetADProperty] Get property from cache, User: %s, SessionId: %s, Parameter "
        "Name: %s",
        strUserName.c_str(), strSession.c_str(), strPropertyName.c_str());
    if (!bStripped)
        return S_OK;

    const ci_string csCookies(strRequestData.data(), strRequestData.size());
    ci_string csSession = GetNextToken(csCookies, USER_CONTEXT_COOKIE, ";", 0);
    if (csSession.empty())
    {
        TraceLog("[CDLGeneralSettings::GetADProperty] Warning!: couldn't retrieve cookie or the cookie (%s) "
                 "value is "
                 "empty",
                 USER_CONTEXT_COOKIE);
        csSession = GetNextToken(csCookies, SESSION_ID_COOKIE, ";", 0);
        if (csSession.empty())
        {
            TraceLog("[CDLGeneralSettings::GetADProperty] Warning!: couldn't retrieve cookie or the cookie "
                     "(%s) value "
                     "is empty",
                     SESSION_ID_COOKIE);
            csSession.assign(strUser.data(), strUser.size());
        }
    }
    strSession.assign(csSession.data(), csSession.size());

    char* pszCached = nullptr;
    if (m_KSCache.GetItemSessionProperty(AD_USER_CONFIG_CACHE, strUser.c_str(), &pszCached,
                                         strSession.c_str(), strPropertyName.c_str()) &&
        pszCached != nullptr)
    {
        const std::unique_ptr<char[]> spCached(pszCached);
        strValue = spCached.get();
        TraceLog("[CDLGeneralSettings::GetADProperty] Get property from cache successfull, Value: %s !",
                 strValue.c_str());
        return S_OK;
    }
    TraceLog("[CDLGeneralSettings::GetADProperty] Warning!: Get property from cache FAILED, query AD");

    std::string strRead;
    HRESULT hr = S_OK;
    {
        CCountedPtr<CADUserConfig> spUserConfig(new CADUserConfig());
        spUserConfig->SetFilter(ci_string(strUser.data(), strUser.size()),
                                CADUserConfig::FILTER_ACCOUNT_NAME);
        hr = spUserConfig->GetProperty(strPropertyName, strRead);
        if (FAILED(hr) && strUserName.find('@') != std::string::npos)
        {
            spUserConfig->SetFilter(ci_string(strUserName.data(), strUserName.size()),
                                    CADUserConfig::FILTER_MAIL_ADDRESS);
            hr = spUserConfig->GetProperty(strPropertyName, strRead);
        }
    }
    if (FAILED(hr))
    {
        // Nothing is cached: the next request asks the directory again.
        WriteErrorEvent(static_cast<DWORD>(hr), 1,
                        "Dorvel could not access AD to get property %s for User %s Session %s",
                        strPropertyName.c_str(), strUser.c_str(), MaskedForEventLog(strSession).c_str());
        return hr;
    }
    strValue = strRead;
    TraceLog(
        "[CDLGeneralSettings::GetADProperty] Get property from AD successfull, Value: %s.! Add to cache.",
        strValue.c_str());
    if (!m_KSCache.AddItemSessionProperty(AD_USER_CONFIG_CACHE, strUser.c_str(), strValue.c_str(),
                                          strSession.c_str(), strPropertyName.c_str()))
        WriteEventText(1, "Dorvel failed to store in cache AD property %s for User %s Session %s Value %s",
                       strPropertyName.c_str(), strUser.c_str(), MaskedForEventLog(strSession).c_str(),
                       strValue.c_str());
    return hr;
}

const char* OWAFileAccessLevelName(OWAFileAccessLevel nLevel)
{
    switch (nLevel)
    {
    case OWA_ACCESS_BLOCKED:
        return "blocked";
    case OWA_ACCESS_FORCE_SAVE:
        return "force-save";
    case OWA_ACCESS_ALLOWED:
        return "allowed";
    default:
        return "unknown";
    }
}

namespace
{
bool ListHolds(const std::vector<ci_string>& vecList, const ci_string& csValue)
{
    return std::find(vecList.begin(), vecList.end(), csValue) != vecList.end();
}

bool IsExtensionInOWAList(const char* pszName, const char* pszWords,
                          const std::vector<ci_string>& vecFileTypes,
                          const std::vector<ci_string>& vecMimeTypes, const ci_string& csExtension)
{
    TraceLog("[CDLSWGeneralSettings::%s] Starts. csExt <%s>.", pszName, csExtension.c_str());
    if (csExtension.empty() || csExtension[0] != '.')
    {
        TraceLog("[CDLSWGeneralSettings::%s] Invalid extension <%s>.", pszName, csExtension.c_str());
        return false;
    }
    bool bReturn = false;
    if (!vecFileTypes.empty() && ListHolds(vecFileTypes, csExtension))
    {
        TraceLog("[CDLSWGeneralSettings::%s]  Extension %s, %s", pszName, csExtension.c_str(), pszWords);
        return true;
    }
    std::string strContentType;
    if (!vecMimeTypes.empty() && IdentifyContentType(csExtension.c_str(), strContentType) &&
        ListHolds(vecMimeTypes, ci_string(strContentType.c_str())))
    {
        TraceLog("[CDLSWGeneralSettings::%s] Extension %s with MIME type %s, %s", pszName,
                 csExtension.c_str(), strContentType.c_str(), pszWords);
        return true;
    }
    TraceLog("[CDLSWGeneralSettings::%s] returned bReturn <%s>.", pszName, bReturn ? "TRUE" : "FALSE");
    return bReturn;
}

// OWA's own values: 0 allow, 1 force-save, 2 block; -1 when never read, which OWA treats as force-save.
OWAFileAccessLevel LevelOfUnknownAction(int32_t nAction)
{
    switch (nAction)
    {
    case 0:
        return OWA_ACCESS_ALLOWED;
    case 2:
        return OWA_ACCESS_BLOCKED;
    case -1:
    case 1:
        return OWA_ACCESS_FORCE_SAVE;
    default:
        return OWA_ACCESS_NOT_DETERMINED;
    }
}
} // namespace

bool CDLSWGeneralSettings::IsExtensionInOWAAllowList(const ci_string& csExtension)
{
    return IsExtensionInOWAList("IsExtensionInOWAAllowList", "allowed by OWA",
                                m_OWAADConfig.m_vecAllowedFileTypes, m_OWAADConfig.m_vecAllowedMimeTypes,
                                csExtension);
}

bool CDLSWGeneralSettings::IsExtensionInOWABlockList(const ci_string& csExtension)
{
    return IsExtensionInOWAList("IsExtensionInOWABlockList", "blocked by OWA",
                                m_OWAADConfig.m_vecBlockedFileTypes, m_OWAADConfig.m_vecBlockedMimeTypes,
                                csExtension);
}

bool CDLSWGeneralSettings::IsExtensionInOWAForceSaveList(const ci_string& csExtension)
{
    return IsExtensionInOWAList("IsExtensionInOWAForceSaveList", "set to \"Force-save\" by OWA",
                                m_OWAADConfig.m_vecForceSaveFileTypes, m_OWAADConfig.m_vecForceSaveMimeTypes,
                                csExtension);
}

DWORD CDLSWGeneralSettings::GetOWAFileAccessLevel(const ci_string& csExtension, bool bPublicClient,
                                                  OWAFileAccessLevel& nLevel)
{
    nLevel = OWA_ACCESS_NOT_DETERMINED;
    DWORD dwRet = ERROR_SUCCESS;
    TraceLog("[CDLSWGeneralSettings::GetOWAFileAccessLevel] Starts. csExt <%s> Public client <%s>.",
             csExtension.c_str(), bPublicClient ? "Y" : "N");
    const int32_t nControl = bPublicClient ? m_OWAADConfig.m_nFileAccessControlOnPublicComputers
                                           : m_OWAADConfig.m_nFileAccessControlOnPrivateComputers;
    if ((nControl & 1) == 0)
    {
        nLevel = OWA_ACCESS_BLOCKED;
        TraceLog(
            "[CDLSWGeneralSettings::GetOWAFileAccessLevel] Direct file access is disabled for <%s> clients.",
            bPublicClient ? "public" : "private");
    }
    else if (!csExtension.empty() && csExtension[0] == '.')
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog("[CDLSWGeneralSettings::GetOWAFileAccessLevel] Invalid extension <%s>.",
                 csExtension.c_str());
    }
    else
    {
        bool bListed = false;
        if (!csExtension.empty())
        {
            const ci_string csDotted = "." + csExtension;
            if (IsExtensionInOWAAllowList(csDotted))
                nLevel = OWA_ACCESS_ALLOWED;
            else if (IsExtensionInOWABlockList(csDotted))
                nLevel = OWA_ACCESS_BLOCKED;
            else if (IsExtensionInOWAForceSaveList(csDotted))
                nLevel = OWA_ACCESS_FORCE_SAVE;
            bListed = nLevel != OWA_ACCESS_NOT_DETERMINED;
        }
        if (!bListed)
        {
            nLevel = LevelOfUnknownAction(m_OWAADConfig.m_nActionForUnknownFileAndMIMETypes);
            if (nLevel == OWA_ACCESS_NOT_DETERMINED)
            {
                dwRet = ERROR_INVALID_DATA;
                TraceLog("[CDLSWGeneralSettings::GetOWAFileAccessLevel] Default OWA access level for unknown "
                         "files "
                         "is invalid <%d>.",
                         nLevel);
            }
            else
                TraceLog("[CDLSWGeneralSettings::GetOWAFileAccessLevel] Default OWA access level for unknown "
                         "files "
                         "is <%d> <%s>.",
                         nLevel, OWAFileAccessLevelName(nLevel));
        }
    }
    TraceLog("[CDLSWGeneralSettings::GetOWAFileAccessLevel] returns dwRet <%d>. For extension <%s> "
             "nOWAFileAccessLevel is <%d> <%s>.",
             static_cast<int>(dwRet), csExtension.c_str(), nLevel, OWAFileAccessLevelName(nLevel));
    return dwRet;
}
