#include "filter/AuthCompleteHelper.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "request/BaseNotifications.h"
#include "request/GeneralSettingsAccess.h"
#include "request/NotificationsHelper.h"
#include "settings/SettingItemIDs.h"

namespace
{
const char* YesNo(bool b)
{
    return b ? "Y" : "N";
}

const char* TrueFalse(bool b)
{
    return b ? "TRUE" : "FALSE";
}

bool HasRequestInfo(const CDLLContext* pContext)
{
    return pContext != nullptr && !pContext->m_spRequestInfo.IsNull();
}

bool GetParam(CDLLContext* pContext, const char* pszName, std::string& strValue)
{
    return pContext->m_spRequestInfo->GetParamValue(pszName, strValue);
}

// Open and Save as the request's settings set has them; both on unless it says otherwise.
void ReadOpenSaveRestrictions(CDLLContext* pContext, const char* pszOperation, int& nOpen, int& nSave)
{
    nOpen = 1;
    nSave = 1;
    for (const auto& item :
         {std::pair<int, int*>{SETTING_OPEN_ALLOWED, &nOpen}, {SETTING_SAVE_ALLOWED, &nSave}})
    {
        if (!GetRequestSetting(item.first, *item.second, pContext->SettingID, ENGINE_DEFAULT))
            TraceLog(
                "[CAuthCompleteHelper::%s] CSWGenerSettings::GetSettingFromID() failed. ID <%d> SettingID "
                "<%d>.",
                pszOperation, item.first, static_cast<int>(pContext->SettingID));
    }
}

// The answer of the client-address check, as the level's fallback.
DWORD ClientAddressDecides(CDLLContext* pContext, bool& bEnabled)
{
    BOOL bAllowed = FALSE;
    const DWORD dwRet = CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange(pContext, bAllowed);
    bEnabled = bAllowed != FALSE;
    return dwRet;
}

// Removes one hash parameter from the query string being rewritten; true when it was there.
bool RemoveHashParam(ci_string& csQuery, const char* pszName)
{
    const bool bRemoved = CNotificationsHelper::RemoveParamFromQueryString(csQuery, pszName) != FALSE;
    if (bRemoved)
        TraceLog(
            "[CAuthCompleteHelper::HandleDirectFileAccessRequest] Param <%s> was successfully removed from "
            "the query string.",
            pszName);
    else
        TraceLog("[CAuthCompleteHelper::HandleDirectFileAccessRequest] Param <%s> was not found in the query "
                 "string.",
                 pszName);
    return bRemoved;
}
} // namespace

const char* CAuthCompleteHelper::FileAccessLevelToString(int nLevel)
{
    return OWAFileAccessLevelName(nLevel);
}

bool CAuthCompleteHelper::IsExtensionInBlockedList(const ci_string& csExtension, const ci_string& csList)
{
    size_t nStart = 0;
    while (nStart <= csList.size())
    {
        size_t nEnd = csList.find(';', nStart);
        if (nEnd == ci_string::npos)
            nEnd = csList.size();
        ci_string csEntry = csList.substr(nStart, nEnd - nStart);
        TrimChars(csEntry, " \t");
        // An empty list has no entry at all; an empty entry stands between separators or at an end.
        if (csEntry == csExtension && !(csList.empty() && csExtension.empty()))
            return true;
        nStart = nEnd + 1;
    }
    return false;
}

bool CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved(ci_string& csQueryString)
{
    const char* const pszName = "id";
    bool bRet = false;
    size_t nStart = ci_string::npos;
    size_t nKeyLength = 0;
    if (csQueryString.compare(0, 3, "id=") == 0)
    {
        nStart = 0;
        nKeyLength = 3;
    }
    else
    {
        nStart = csQueryString.find("&id=");
        nKeyLength = 4;
    }
    if (nStart == ci_string::npos)
    {
        TraceLog(
            "[CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved] Param <%s> was not found "
            "in query string <%s>.",
            pszName, csQueryString.c_str());
    }
    else
    {
        const size_t nValue = nStart + nKeyLength;
        const size_t nEnd = csQueryString.find('&', nValue);
        const size_t nValueLength = (nEnd == ci_string::npos ? csQueryString.size() : nEnd) - nValue;
        if (nValueLength == 10 && csQueryString.compare(nValue, nValueLength, "unresolved") == 0)
        {
            TraceLog(
                "[CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved] Param <%s> is set to "
                "'unresolved'. Remove param from query string <%s>.",
                pszName, csQueryString.c_str());
            csQueryString.erase(nStart, nEnd == ci_string::npos ? ci_string::npos : nEnd - nStart);
            if (!csQueryString.empty() && csQueryString[0] == '&')
                csQueryString.erase(0, 1);
            TraceLog("[CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved] New query string "
                     "<%s>.",
                     csQueryString.c_str());
            bRet = true;
        }
        else
        {
            TraceLog(
                "[CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved] Param <%s> was found "
                "in query string <%s> but its value is not set to 'unresolved'. There's nothing to do, "
                "return.",
                pszName, csQueryString.c_str());
        }
    }
    TraceLog("[CAuthCompleteHelper::RemoveDocViewForceSaveIDParamIfSetToUnresolved] returned <%s>.",
             TrueFalse(bRet));
    return bRet;
}

DWORD CAuthCompleteHelper::HandleDirectFileAccessRequest(CDLLContext* pContext, const std::string& strURL,
                                                         const std::string& strQueryString,
                                                         DirectFileAccessType eType,
                                                         bool& bAccessDeniedPageSent,
                                                         bool& bForceSaveIDRemoved)
{
    TraceLog("[CAuthCompleteHelper::HandleDirectFileAccessRequest] Starts.");
    bAccessDeniedPageSent = false;
    bForceSaveIDRemoved = false;
    DWORD dwRet = ERROR_SUCCESS;
    bool bEnabled = false;
    if (!HasRequestInfo(pContext))
    {
        TraceLog(
            "[CAuthCompleteHelper::HandleDirectFileAccessRequest] pContext and/or m_spRequestInfo is NULL.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else if ((dwRet = CheckIfDirectFileAccessIsEnabled(pContext, bEnabled, eType)) != ERROR_SUCCESS)
    {
        TraceLog("[CAuthCompleteHelper::HandleDirectFileAccessRequest] CheckIfDirectFileAccessIsEnabled() "
                 "failed.");
    }
    else
    {
        TraceLog("[CAuthCompleteHelper::HandleDirectFileAccessRequest] Direct file access is <%s> for this "
                 "criteria.",
                 bEnabled ? "ENABLED" : "DISABLED");
        if (!bEnabled)
        {
            dwRet = SendAccessDeniedResponse(pContext);
            bAccessDeniedPageSent = dwRet == ERROR_SUCCESS;
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CAuthCompleteHelper::HandleDirectFileAccessRequest] SendAccessDeniedResponse() "
                         "failed.");
        }
        else
        {
            ci_string csQuery = ToCi(strQueryString);
            bool bRewrite = false;
            if (eType == DIRECT_FILE_ACCESS_DOCUMENT_VIEW)
            {
                bRewrite = RemoveHashParam(csQuery, "fidh");
                if (RemoveDocViewForceSaveIDParamIfSetToUnresolved(csQuery))
                {
                    bForceSaveIDRemoved = true;
                    bRewrite = true;
                    TraceLog(
                        "[CAuthCompleteHelper::HandleDirectFileAccessRequest] DocumentView force-save id "
                        "param was successfully removed from the query string.");
                }
                else
                {
                    TraceLog(
                        "[CAuthCompleteHelper::HandleDirectFileAccessRequest] DocumentView force-save id "
                        "param is not set to unresolved. No need to remove it.");
                }
            }
            else
            {
                const bool bItemHash = RemoveHashParam(csQuery, "midh");
                const bool bAttachmentHash = RemoveHashParam(csQuery, "aidh");
                bRewrite = bItemHash || bAttachmentHash;
            }
            if (bRewrite)
            {
                const std::string strNewURL = strURL + "?" + FromCi(csQuery);
                const BOOL bSet = CBaseNotifications::SetWorkerHeader(pContext, "URL", strNewURL.c_str());
                TraceLog(
                    "[CAuthCompleteHelper::HandleDirectFileAccessRequest] Internal redirection to <%s> <%s>",
                    strNewURL.c_str(), bSet ? "succeeded" : "FAILED");
                if (!bSet)
                    dwRet = ERROR_ARENA_TRASHED;
            }
        }
    }
    TraceLog(
        "[CAuthCompleteHelper::HandleDirectFileAccessRequest] returned dwRet <%d>. Access Denied response "
        "has been sent <%s>.",
        static_cast<int>(dwRet), YesNo(bAccessDeniedPageSent));
    return dwRet;
}

DWORD CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled(CDLLContext* pContext, bool& bEnabled,
                                                            DirectFileAccessType eType)
{
    TraceLog("[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] Starts.");
    bEnabled = false;
    DWORD dwRet = ERROR_SUCCESS;
    int nLevel = 1;
    if (!HasRequestInfo(pContext))
    {
        TraceLog("[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] pContext and/or m_spRequestInfo is "
                 "NULL.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else if (!GetRequestSetting(SETTING_DIRECT_ACCESS_LEVEL, nLevel, pContext->SettingID, ENGINE_DEFAULT))
    {
        // Without its block level the request's settings set cannot say who may download.
        TraceLog(
            "[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] Failed to read direct file access block "
            "level setting. ID <%d>.",
            SETTING_DIRECT_ACCESS_LEVEL);
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        TraceLog(
            "[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] Direct file access block level is <%d>.",
            nLevel);
        switch (nLevel)
        {
        case 0:
            TraceLog(
                "[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] Block direct file access, unless it "
                "occurs from a specified IP address.");
            dwRet = ClientAddressDecides(pContext, bEnabled);
            break;
        case 1:
            TraceLog("[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] Allow direct file access.");
            bEnabled = true;
            break;
        case 2:
            TraceLog(
                "[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] Block direct file access, unless it "
                "is an DL request or the request occurs from a specified IP address.");
            if (eType == DIRECT_FILE_ACCESS_ATTACHMENT)
            {
                dwRet = CheckIfDLDirectAttachmentAccessOrAllowedIP(pContext, bEnabled);
                if (dwRet != ERROR_SUCCESS)
                    TraceLog("[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] "
                             "CheckIfDLDirectAttachmentAccessOrAllowedIP() failed.");
            }
            else
            {
                dwRet = CheckIfDLDirectDocumentViewFileAccessOrAllowedIP(pContext, bEnabled);
                if (dwRet != ERROR_SUCCESS)
                    TraceLog("[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] "
                             "CheckIfDLDirectDocumentViewFileAccessOrAllowedIP() failed.");
            }
            break;
        default:
            TraceLog(
                "[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] invalid direct file access level "
                "<%d>.",
                nLevel);
            dwRet = ERROR_INVALID_DATA;
            break;
        }
    }
    TraceLog("[CAuthCompleteHelper::CheckIfDirectFileAccessIsEnabled] returned. dwRet <%d> "
             "bDirectFileAccessEnabled "
             "<%s>.",
             static_cast<int>(dwRet), TrueFalse(bEnabled));
    return dwRet;
}

DWORD CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP(CDLLContext* pContext, bool& bEnabled)
{
    TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] Starts.");
    bEnabled = false;
    DWORD dwRet = ERROR_SUCCESS;
    std::string strItemHash;
    std::string strAttachmentHash;
    std::string strItemID;
    if (!HasRequestInfo(pContext))
        dwRet = ERROR_ARENA_TRASHED;
    else if (!GetParam(pContext, "midh", strItemHash) || !GetParam(pContext, "aidh", strAttachmentHash))
        dwRet = ClientAddressDecides(pContext, bEnabled);
    else if (!GetParam(pContext, "id", strItemID))
    {
        TraceLog(
            "[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] CRequestInfo::GetParamValue() "
            "failed. Param <%s>.",
            "id");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        std::string strPreviousIDs;
        std::string strAttachmentID;
        dwRet = CNotificationsHelper::ConcatRequestParamAttIDs(pContext->m_spRequestInfo, strPreviousIDs,
                                                               strAttachmentID);
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] "
                     "CNotificationsHelper::ConcatRequestParamAttIDs() failed.");
        else if (strAttachmentID.empty())
        {
            TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] "
                     "CNotificationsHelper::ConcatRequestParamAttIDs() returned empty attachment ID.");
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            const bool bItemValid = HashToDecimalString((strItemID + strPreviousIDs).c_str()) == strItemHash;
            TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] Item ID + prev att "
                     "IDs hash "
                     "value is <%s>",
                     bItemValid ? "VALID" : "INVALID");
            const bool bAttachmentValid = HashToDecimalString(strAttachmentID.c_str()) == strAttachmentHash;
            TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] Attachment ID hash "
                     "value is "
                     "<%s>.",
                     bAttachmentValid ? "VALID" : "INVALID");
            if (bItemValid && bAttachmentValid)
            {
                int nOpen = 1;
                int nSave = 1;
                ReadOpenSaveRestrictions(pContext, "CheckIfDLDirectAttachmentAccessOrAllowedIP", nOpen,
                                         nSave);
                if (nOpen == 0 && nSave == 0)
                    TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] Both Open "
                             "and Save "
                             "are disabled. This is a manually crafted request. Return '401 Access Denied' "
                             "response.");
                else
                    bEnabled = true;
            }
        }
    }
    TraceLog("[CAuthCompleteHelper::CheckIfDLDirectAttachmentAccessOrAllowedIP] returned. dwRet <%d> "
             "bDirectAttachmentAccessEnabled <%s>.",
             static_cast<int>(dwRet), TrueFalse(bEnabled));
    return dwRet;
}

DWORD CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP(CDLLContext* pContext,
                                                                            bool& bEnabled)
{
    TraceLog("[CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP] Starts.");
    bEnabled = false;
    DWORD dwRet = ERROR_SUCCESS;
    std::string strFileHash;
    std::string strFileURL;
    if (!HasRequestInfo(pContext))
        dwRet = ERROR_ARENA_TRASHED;
    else if (!GetParam(pContext, "fidh", strFileHash))
        dwRet = ClientAddressDecides(pContext, bEnabled);
    else if (!GetParam(pContext, "URL", strFileURL))
    {
        TraceLog("[CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP] "
                 "CRequestInfo::GetParamValue() failed. Param <%s>.",
                 "URL");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        const bool bValid = HashToDecimalString(strFileURL.c_str()) == strFileHash;
        TraceLog(
            "[CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP] File ID hash value is "
            "<%s>.",
            bValid ? "VALID" : "INVALID");
        if (bValid)
        {
            bool bOpen = false;
            bool bSave = false;
            dwRet = GetDLDirectDocumentViewFileAccessMenuFlags(pContext, bOpen, bSave);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP] "
                         "GetDLDirectDocumentViewFileAccessMenuFlags() failed.");
            else if (!bOpen && !bSave)
                TraceLog(
                    "[CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP] Both Open and "
                    "Save "
                    "are disabled. This is a manually crafted request. Return '401 Access Denied' response.");
            else
                bEnabled = true;
        }
    }
    TraceLog("[CAuthCompleteHelper::CheckIfDLDirectDocumentViewFileAccessOrAllowedIP] returned. dwRet <%d> "
             "bDirectFileAccessEnabled <%s>.",
             static_cast<int>(dwRet), TrueFalse(bEnabled));
    return dwRet;
}

DWORD CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags(CDLLContext* pContext,
                                                                      bool& bOpenEnabled, bool& bSaveEnabled)
{
    TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Starts.");
    bOpenEnabled = false;
    bSaveEnabled = false;
    DWORD dwRet = ERROR_SUCCESS;
    std::string strFileURL;
    if (!HasRequestInfo(pContext) || !GetParam(pContext, "URL", strFileURL))
        dwRet = pContext == nullptr || pContext->m_spRequestInfo.IsNull() ? ERROR_ARENA_TRASHED
                                                                          : ERROR_INVALID_DATA;
    else
    {
        const size_t nSlash = strFileURL.rfind('/');
        const std::string strFileName =
            nSlash == std::string::npos ? strFileURL : strFileURL.substr(nSlash + 1);
        const size_t nDot = strFileName.rfind('.');
        const ci_string csExtension =
            nDot == std::string::npos ? ci_string() : ToCi(strFileName.substr(nDot + 1));
        TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Requested DocumentView "
                 "file URL "
                 "<%s> Filename <%s> extension <%s>.",
                 strFileURL.c_str(), strFileName.c_str(), csExtension.c_str());

        int nBlockedListEnabled = 0;
        ci_string csBlocked;
        if (!GetRequestSetting(SETTING_BLOCKED_EXTENSIONS_ON, nBlockedListEnabled, pContext->SettingID,
                               ENGINE_DEFAULT))
            TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Failed to read "
                     "enable blocked "
                     "list setting. ID <%d>.",
                     SETTING_BLOCKED_EXTENSIONS_ON);
        if (nBlockedListEnabled != 0 &&
            !GetRequestSetting(SETTING_BLOCKED_EXTENSIONS, csBlocked, pContext->SettingID, ENGINE_DEFAULT))
            TraceLog(
                "[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Failed to read blocked "
                "extensions setting. ID <%d>.",
                SETTING_BLOCKED_EXTENSIONS);
        TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Enable blocked list <%s> "
                 "Blocked "
                 "extensions <%s>.",
                 YesNo(nBlockedListEnabled != 0), csBlocked.c_str());

        // The list is in force only while its switch is on.
        const bool bBlocked = nBlockedListEnabled != 0 && IsExtensionInBlockedList(csExtension, csBlocked);
        TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] <%s> extension is "
                 "blocked by DL "
                 "<%s>.",
                 csExtension.c_str(), YesNo(bBlocked));
        if (bBlocked)
        {
            TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] <%s> Extension is "
                     "blocked by "
                     "DL. Both 'Open' and 'Save' are disabled.",
                     csExtension.c_str());
        }
        else
        {
            int nOWALevel = 0;
            const bool bPublic = (pContext->RequestFlags & RF_FBA_PUBLIC_CLIENT) != 0;
            dwRet = GetOWAFileAccessLevel(csExtension, bPublic, nOWALevel);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] "
                         "CDLSWGeneralSettings::GetOWAFileAccessLevel() failed.");
            else if (nOWALevel == OWA_ACCESS_BLOCKED)
            {
                TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] For extension "
                         "<%s> OWA "
                         "file access level is <%s>.",
                         csExtension.c_str(), FileAccessLevelToString(nOWALevel));
                TraceLog(
                    "[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] For exension <%s> OWA "
                    "file access level is set to BLOCKED. Both 'Open' and 'Save' are disabled.",
                    csExtension.c_str());
            }
            else if (nOWALevel == OWA_ACCESS_FORCE_SAVE || nOWALevel == OWA_ACCESS_ALLOWED)
            {
                TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] For extension "
                         "<%s> OWA "
                         "file access level is <%s>.",
                         csExtension.c_str(), FileAccessLevelToString(nOWALevel));
                int nOpen = 1;
                int nSave = 1;
                ReadOpenSaveRestrictions(pContext, "GetDLDirectDocumentViewFileAccessMenuFlags", nOpen,
                                         nSave);
                TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Open restriction "
                         "<%d> Save "
                         "restriction <%d>.",
                         nOpen, nSave);
                bOpenEnabled = nOpen != 0;
                bSaveEnabled = nSave != 0;
            }
            else
            {
                TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] Invalid file "
                         "access level "
                         "<%d>.",
                         nOWALevel);
                dwRet = ERROR_INVALID_DATA;
            }
        }
    }
    TraceLog("[CAuthCompleteHelper::GetDLDirectDocumentViewFileAccessMenuFlags] returned dwRet <%d> Open "
             "enabled <%s> "
             "Save enabled <%s>.",
             static_cast<int>(dwRet), YesNo(bOpenEnabled), YesNo(bSaveEnabled));
    return dwRet;
}
