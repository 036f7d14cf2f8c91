#include "forms/DLFormWithFiles.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "contract/RequestInfo.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/SWFormContext.h"
#include "general/DLSWGeneralSettings.h"

#include <map>
#include <vector>

namespace
{
const char* YN(bool b)
{
    return b ? "Y" : "N";
}

bool EqualsNoCaseExact(const std::string& a, const char* b)
{
    return ToCi(a) == ci_string(b);
}

// The client's address as the front end passed it on, else as the server saw it.
bool ClientInDirectAccessRange(CDLLContext* pContext, CDLSWGeneralSettings* pSettings, bool& bInRange)
{
    bInRange = false;
    if (pContext == nullptr || pContext->m_spRequestInfo.IsNull())
        return false;
    std::string sAddress;
    const CRequestInfo& requestInfo = *pContext->m_spRequestInfo;
    if (!requestInfo.GetServerVariable("HTTP_X_Remote_Client_IP", sAddress) || sAddress.empty())
        requestInfo.GetServerVariable("REMOTE_ADDR", sAddress);
    bInRange = pSettings->m_Settings.CheckClientIPAgainstDirectAccessIPRange(
        sAddress, static_cast<int>(pContext->SettingID));
    return true;
}
} // namespace

const char* OWALevelName(int32_t nLevel)
{
    switch (nLevel)
    {
    case 1:
        return "blocked";
    case 2:
        return "force-save";
    case 3:
        return "allowed";
    default:
        return "unknown";
    }
}

int CDLFormWithFiles::SettingID() const
{
    return (m_pFormContext != nullptr && m_pFormContext->m_pContext != nullptr)
               ? static_cast<int>(m_pFormContext->m_pContext->SettingID)
               : 0;
}

bool CDLFormWithFiles::ReadSetting(int nID, int& nValue)
{
    return m_pGeneralSettings->GetSettingFromID(nID, nValue, SettingID(), 0);
}

CDLFormWithFiles::CDLFormWithFiles(CSWFormContext* pFormContext, int /*bMostDerived*/) : CDLForm(pFormContext)
{
    TraceLog("[CDLFormWithFiles::CDLFormWithFiles] Starts");
    if (m_bIsInstanceValid)
    {
        m_nDefaultVisualisation = 2;
        if (!ReadSetting(SETTING_DEFAULT_VISUALISATION, m_nDefaultVisualisation))
            TraceLog(
                "[CDLFormWithFiles::CDLFormWithFiles] Failed to read default visualisation setting. ID <%d>.",
                SETTING_DEFAULT_VISUALISATION);
        int nWebReady = 0;
        if (!ReadSetting(SETTING_OWA_WEBREADY_ENABLED, nWebReady))
            TraceLog(
                "[CDLFormWithFiles::CDLFormWithFiles] Failed to read Enable OWA's WebReady setting. ID <%d>.",
                SETTING_OWA_WEBREADY_ENABLED);
        m_bOWAWebReadyEnabled = nWebReady != 0;
        if (InitDLBlockedExtensionsSet() != ERROR_SUCCESS)
        {
            m_bIsInstanceValid = false;
            TraceLog("[CDLFormWithFiles::CDLFormWithFiles] InitDLBlockedExtensionsSet() failed.");
        }
        if (m_bIsInstanceValid && InitDLRestrictionSettings() != ERROR_SUCCESS)
        {
            m_bIsInstanceValid = false;
            TraceLog("[CDLFormWithFiles::CDLFormWithFiles] InitDLRestrictionSettings() failed.");
        }
        if (m_bIsInstanceValid && InitDLSafeSSLOpenSetting() != ERROR_SUCCESS)
        {
            m_bIsInstanceValid = false;
            TraceLog("[CDLFormWithFiles::CDLPremiumFormItem] InitDLSafeSSLOpenSetting() failed.");
        }
        int nSaveConfirmation = 0;
        if (!ReadSetting(SETTING_SAVE_CONFIRMATION, nSaveConfirmation))
            TraceLog(
                "[CDLFormWithFiles::CDLFormWithFiles] Failed to read save confirmation setting. ID <%d>.",
                SETTING_SAVE_CONFIRMATION);
        m_bSaveConfirmation = nSaveConfirmation != 0;
        if (m_bIsInstanceValid)
        {
            std::map<int, ci_string> mapStrings;
            if (!m_pGeneralSettings->GetResources({RESOURCE_VIEW_ATTACHMENT, RESOURCE_ATTACHMENT_BLOCKED},
                                                  mapStrings, ResourceMode(), m_wLangID, ToCi(m_sCharSet)))
            {
                m_bIsInstanceValid = false;
                TraceLog("[CDLFormWithFiles::CDLPremiumFormItem] CDLSWGeneralSettings::GetResources failed.");
            }
            else
            {
                if (!ResourceID2String(mapStrings, RESOURCE_VIEW_ATTACHMENT, m_sViewAttachmentText))
                    m_sViewAttachmentText = "View Attachment";
                if (!ResourceID2String(mapStrings, RESOURCE_ATTACHMENT_BLOCKED, m_sAttachmentBlockedText))
                    m_sAttachmentBlockedText = "Attachment blocked";
            }
        }
    }
    TraceLog("[CDLFormWithFiles::CDLFormWithFiles] returned m_bIsInstanceValid <%s>.", ValidText());
}

DWORD CDLFormWithFiles::InitDLBlockedExtensionsSet()
{
    m_csDLBlockedExtensions.clear();
    m_setDLBlockedExtensions.clear();
    TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] Starts");
    DWORD dwRet = ERROR_SUCCESS;
    int nEnabled = 0;
    if (!ReadSetting(SETTING_BLOCKED_LIST_ENABLED, nEnabled))
        TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] Failed to read enable blocked list setting. "
                 "ID <%d>.",
                 SETTING_BLOCKED_LIST_ENABLED);
    if (nEnabled != 0)
    {
        if (!m_pGeneralSettings->GetSettingFromID(SETTING_BLOCKED_EXTENSIONS, m_csDLBlockedExtensions,
                                                  SettingID(), 0))
            TraceLog(
                "[CDLFormWithFiles::InitDLRestrictionSettings] Failed to read blocked extensions setting. ID "
                "<%d>.",
                SETTING_BLOCKED_EXTENSIONS);
        TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] Blocked extensions <%s>.",
                 m_csDLBlockedExtensions.c_str());
        if (!m_csDLBlockedExtensions.empty() &&
            !SplitToCiStringSet(m_csDLBlockedExtensions, ";", m_setDLBlockedExtensions))
        {
            TraceLog(
                "[CDLFormWithFiles::InitDLRestrictionSettings] CStringOperation::Parse() failed. Parse <%s> "
                "Delimiter <%s>.",
                m_csDLBlockedExtensions.c_str(), ";");
            dwRet = ERROR_ARENA_TRASHED;
        }
    }
    TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] returned dwRet <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLFormWithFiles::InitDLRestrictionSettings()
{
    TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] Starts");
    DWORD dwRet = ERROR_SUCCESS;
    const int aIDs[] = {SETTING_OPEN_ALLOWED, SETTING_SAVE_ALLOWED, SETTING_RICH_ALLOWED};
    int aValues[] = {1, 1, 1};
    for (size_t i = 0; i < 3; ++i)
    {
        if (!ReadSetting(aIDs[i], aValues[i]))
            TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] CSWGenerSettings::GetSettingFromID() "
                     "failed. ID "
                     "<%d> SettingID <%d>.",
                     aIDs[i], SettingID());
    }
    m_bOpenRestricted = aValues[0] == 0;
    m_bSaveRestricted = aValues[1] == 0;
    m_bRichRestricted = aValues[2] == 0;
    if (!(m_bOpenRestricted && m_bSaveRestricted))
    {
        int nLevel = 1;
        if (!ReadSetting(SETTING_DIRECT_FILE_ACCESS_BLOCK_LEVEL, nLevel))
            TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] CDLSWGeneralSettings::GetSettingFromID() "
                     "failed. "
                     "ID <%d> SettingID <%d>.",
                     SETTING_DIRECT_FILE_ACCESS_BLOCK_LEVEL, SettingID());
        TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] Direct file access block level is <%d>.",
                 nLevel);
        if (nLevel == 0)
        {
            bool bInRange = false;
            if (!ClientInDirectAccessRange(m_pFormContext->m_pContext, m_pGeneralSettings, bInRange))
            {
                TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] "
                         "CNotificationsHelper::CheckClientIPAgainstDirectAccessIPRange() failed.");
                dwRet = ERROR_ARENA_TRASHED;
            }
            else if (!bInRange)
            {
                m_bOpenRestricted = true;
                m_bSaveRestricted = true;
            }
        }
    }
    TraceLog("[CDLFormWithFiles::InitDLRestrictionSettings] returned dwRet <%d> OpenRestricted <%s> "
             "SaveRestricted "
             "<%s> RichRestricted <%s>.",
             static_cast<int>(dwRet), YN(m_bOpenRestricted), YN(m_bSaveRestricted), YN(m_bRichRestricted));
    return dwRet;
}

DWORD CDLFormWithFiles::InitDLSafeSSLOpenSetting()
{
    m_bSafeSSLOpen = false;
    TraceLog("[CDLFormWithFiles::InitDLSafeSSLOpenSetting] Starts");
    const CRequestInfo& requestInfo = *m_pFormContext->m_pContext->m_spRequestInfo;
    std::string sValue;
    bool bSecure = requestInfo.GetServerVariable("HTTPS", sValue) && EqualsNoCaseExact(sValue, "on");
    if (!bSecure)
        bSecure =
            requestInfo.GetServerVariable("HTTP_Front-End-HTTPS", sValue) && EqualsNoCaseExact(sValue, "on");
    if (bSecure)
    {
        int nSafe = 0;
        if (!ReadSetting(SETTING_SAFE_SSL_OPEN, nSafe))
            TraceLog("[CDLFormWithFiles::InitDLSafeSSLOpenSetting] CDLSWGeneralSettings::GetSettingFromID() "
                     "failed. ID "
                     "<%d> Setting ID <%d>.",
                     SETTING_SAFE_SSL_OPEN, SettingID());
        m_bSafeSSLOpen = nSafe != 0;
    }
    TraceLog("[CDLFormWithFiles::InitDLSafeSSLOpenSetting] returned dwRet <%d> m_bSafeSSLOpen <%s>.", 0,
             YN(m_bSafeSSLOpen));
    return ERROR_SUCCESS;
}

DWORD CDLFormWithFiles::GetFileExtensionAndBlockedFlag(const std::string& sFileName, ci_string& csExtension,
                                                       bool& bBlocked)
{
    csExtension.clear();
    bBlocked = false;
    const size_t nDot = sFileName.rfind('.');
    if (nDot != std::string::npos && nDot + 1 < sFileName.size())
        csExtension = ToCi(sFileName.substr(nDot + 1));
    if (!csExtension.empty() && !m_setDLBlockedExtensions.empty())
        bBlocked = m_setDLBlockedExtensions.count(csExtension) != 0;
    TraceLog(
        "[CDLFormWithFiles::GetFileExtensionAndBlockedFlag] returned dwRet <%d>. Attachment extension <%s> "
        "Attachment blocked by DL <%s>.",
        0, csExtension.c_str(), YN(bBlocked));
    return ERROR_SUCCESS;
}

DWORD CDLFormWithFiles::GetDLContextMenuFlags(const ci_string& csExtension, int32_t nOWALevel, bool bBlocked,
                                              DLContextMenuFlags& flags)
{
    flags = DLContextMenuFlags{};
    DWORD dwRet = ERROR_SUCCESS;
    const char* pszExt = csExtension.c_str();
    TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] Starts. Attachment extension <%s> OWA Attachment "
             "Level <%d> "
             "Extension blocked by DL <%s>",
             pszExt, nOWALevel, YN(bBlocked));
    const auto SetAll = [&](bool bOpenSave, bool bRichText)
    {
        flags.bOpenVisible = flags.bSaveVisible = flags.bTextVisible = flags.bRichVisible = true;
        flags.bOpenEnabled = flags.bSaveEnabled = bOpenSave;
        flags.bTextEnabled = flags.bRichEnabled = bRichText;
    };
    if (bBlocked)
    {
        SetAll(false, false);
        TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] <%s> extension is blocked by DL. Set "
                 "Open/Save/Rich/Text "
                 "items to disabled.",
                 pszExt);
    }
    else if (nOWALevel == 1)
    {
        SetAll(false, true);
        TraceLog(
            "[CDLFormWithFiles::GetDLContextMenuFlags] For <%s> extension OWA attachment level is set to "
            "'BLOCKED' (%d). Set Open/Save items to disabled, Rich/Text items to enabled.",
            pszExt, nOWALevel);
    }
    else if (nOWALevel == 2)
    {
        SetAll(true, true);
        TraceLog(
            "[CDLFormWithFiles::GetDLContextMenuFlags] For <%s> extension OWA attachment level is set to "
            "'FORCESAVE' (%d). Set Open/Save/Rich/Text items to enabled.",
            pszExt, nOWALevel);
    }
    else if (nOWALevel == 3)
    {
        SetAll(true, true);
        TraceLog(
            "[CDLFormWithFiles::GetDLContextMenuFlags] For <%s> extension OWA attachment level is set to "
            "'ALLOW' (%d). Set Open/Save/Rich/Text items to enabled.",
            pszExt, nOWALevel);
    }
    else
    {
        TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] For <%s> extension OWA attachment level is "
                 "invalid <%d>.",
                 pszExt, nOWALevel);
        dwRet = ERROR_INVALID_DATA;
    }
    if (dwRet == ERROR_SUCCESS)
    {
        const CDLLContext* pContext = m_pFormContext->m_pContext;
        const bool bPublic = (pContext->RequestFlags & RF_FBA_PUBLIC_CLIENT) != 0;
        const COWAADConfig& owa = m_pGeneralSettings->m_OWAADConfig;
        const int32_t nControl =
            bPublic ? owa.m_nFileAccessControlOnPublicComputers : owa.m_nFileAccessControlOnPrivateComputers;
        const bool bDirectAccess = (nControl & 1) != 0;
        TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] <%s> client detected. Direct file access is "
                 "enabled by OWA "
                 "<%s>.",
                 bPublic ? "PUBLIC" : "PRIVATE", YN(bDirectAccess));
        if (!bDirectAccess)
        {
            flags.bOpenEnabled = flags.bSaveEnabled = false;
            TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] Set Open/Save items to disabled "
                     "(bDirectFileAccessEnabledByOWA <%s>).",
                     YN(bDirectAccess));
        }
        TraceLog(
            "[CDLFormWithFiles::GetDLContextMenuFlags] 'Open' restricted <%s> 'Save' restricted <%s> 'Rich' "
            "restricted <%s>.",
            YN(m_bOpenRestricted), YN(m_bSaveRestricted), YN(m_bRichRestricted));
        if (m_bOpenRestricted)
        {
            flags.bOpenEnabled = false;
            TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] Set 'Open' item to disabled.");
        }
        if (m_bSaveRestricted)
        {
            flags.bSaveEnabled = false;
            TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] Set 'Save' item to disabled.");
        }
        if (m_bRichRestricted)
        {
            flags.bRichEnabled = false;
            TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] Set 'Rich' item to disabled.");
        }
        int nAction = 2;
        m_pGeneralSettings->GetHighSpeedAction(csExtension, nAction, SettingID(), 0);
        TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] Extension <%s>, Setting ID <%d> => High speed "
                 "action <%d>",
                 pszExt, SettingID(), nAction);
        if (nAction == 1)
        {
            flags.bRichVisible = flags.bRichEnabled = false;
            TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] High speed action is set to 'SHOW TEXT ITEM, "
                     "REMOVE "
                     "RICH ITEM' (%d). Set 'Rich' item to invisible.",
                     nAction);
        }
        else if (nAction == 2)
        {
            TraceLog(
                "[CDLFormWithFiles::GetDLContextMenuFlags] High speed action is set to 'SHOW TEXT AND RICH "
                "ITEMS' (%d). No need to change DL menu flags.",
                nAction);
        }
        else if (nAction == 3)
        {
            flags.bTextVisible = flags.bTextEnabled = false;
            flags.bRichVisible = flags.bRichEnabled = false;
            TraceLog(
                "[CDLFormWithFiles::GetDLContextMenuFlags] High speed action is set to 'REMOVE TEXT AND RICH "
                "ITEMS' (%d). Set Text/Rich items to invisible.",
                nAction);
        }
        else
        {
            TraceLog("[CDLFormWithFiles::GetDLContextMenuFlags] High-Speed action value is invalid <%d>.",
                     nAction);
            dwRet = ERROR_INVALID_DATA;
        }
    }
    TraceLog(
        "[CDLFormWithFiles::GetDLContextMenuFlags] returned dwRet <%d>. Open enabled <%s> visible <%s>, Save "
        "enabled <%s> visible <%s>, Text enabled <%s> visible <%s>, Rich enabled <%s> visible <%s>.",
        static_cast<int>(dwRet), YN(flags.bOpenEnabled), YN(flags.bOpenVisible), YN(flags.bSaveEnabled),
        YN(flags.bSaveVisible), YN(flags.bTextEnabled), YN(flags.bTextVisible), YN(flags.bRichEnabled),
        YN(flags.bRichVisible));
    return dwRet;
}

bool CDLFormWithFiles::GetOWABuildAndCurrentOWAThemeFromCSSLinkTags(const std::string& sFileName1,
                                                                    const std::string& sFileName2,
                                                                    std::string& sBuild, std::string& sTheme)
{
    sBuild.clear();
    sTheme.clear();
    TraceLog("[CDLFormWithFiles::GetOWABuildAndCurrentOWAThemeFromCSSLinkTags] Starts.");
    bool bRet = false;
    const CDOMElement& head = m_pFormContext->m_spDom->getHead();
    if (head.isEmpty())
    {
        TraceLog(
            "[CDLFormWithFiles::GetOWABuildAndCurrentOWAThemeFromCSSLinkTags] <HEAD> element was not found.");
    }
    else
    {
        const CDOMStartTagVector links = head.getStartTagsByTagName("link");
        for (size_t i = 0; i < links.length() && !bRet; ++i)
        {
            const CDOMStartTag link = links.item(i);
            const CDOMAttribute type = link.getAttribute("type");
            const CDOMAttribute href = link.getAttribute("href");
            if (type.isEmpty() || !type.hasValue() || !EqualsNoCaseExact(type.getValue(), "text/css") ||
                href.isEmpty())
                continue;
            const std::string sHref = href.getValue();
            if (sHref.empty())
                continue;
            std::vector<std::string> vecParts;
            size_t nStart = 0;
            while (nStart <= sHref.size())
            {
                size_t nSlash = sHref.find('/', nStart);
                if (nSlash == std::string::npos)
                    nSlash = sHref.size();
                if (nSlash > nStart)
                    vecParts.push_back(sHref.substr(nStart, nSlash - nStart));
                nStart = nSlash + 1;
            }
            const size_t n = vecParts.size();
            if (n >= 4 && (EqualsNoCaseExact(vecParts[n - 1], sFileName1.c_str()) ||
                           EqualsNoCaseExact(vecParts[n - 1], sFileName2.c_str())))
            {
                sBuild = vecParts[n - 4];
                sTheme = vecParts[n - 2];
                bRet = true;
            }
        }
        if (!bRet)
            TraceLog("[CDLFormWithFiles::GetOWABuildAndCurrentOWAThemeFromCSSLinkTags] OWA build and/or "
                     "current OWA "
                     "theme was not found.");
    }
    TraceLog(
        "[CDLFormWithFiles::GetOWABuildAndCurrentOWAThemeFromCSSLinkTags] returned bRet <%s> OWA build <%s> "
        "Current OWA theme <%s>.",
        bRet ? "TRUE" : "FALSE", sBuild.c_str(), sTheme.c_str());
    return bRet;
}
