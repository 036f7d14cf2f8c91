#include "common/ContentType.h"
#include "common/TraceLog.h"
#include "general/DLSWGeneralSettings.h"

#include <algorithm>

HRESULT CDLGeneralSettings::ReadOWAAD()
{
    m_OWAADConfig.m_wstrServerName.assign(m_strDnsHostName.begin(), m_strDnsHostName.end());
    return m_OWAADConfig.ReadProperties(m_strDnsFullyQualifiedName, std::string());
}

HRESULT CDLGeneralSettings::GetADProperty(const std::string& strUserName, const std::string& strPropertyName,
                                          std::string& /*strValue*/, const std::string& /*strRequestData*/)
{
    std::string strStripped = strUserName;
    const bool bStripped = ExtractUserName(strStripped);
    TraceLog(
        "[CDLGeneralSettings::GetADProperty] Get property from cache, User: %s, SessionId: %s, Parameter "
        "Name: %s",
        strUserName.c_str(), "", strPropertyName.c_str());
    if (!bStripped)
        return S_OK;
    // Neither the session cache nor a directory is reachable from this server.
    return HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
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

OWAFileAccessLevel LevelOfUnknownAction(int32_t nAction)
{
    switch (nAction)
    {
    case 0:
        return OWA_ACCESS_ALLOWED;
    case 2:
        return OWA_ACCESS_BLOCKED;
    case -1:
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
