#include "forms/DLPremiumFormItem.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/CountedPtr.h"
#include "contract/DLLContext.h"
#include "forms/CachedScriptDecorator.h"
#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "general/DLSWGeneralSettings.h"
#include "request/DLSWContext.h"
#include "request/NotificationsHelper.h"

#include <map>
#include <vector>

namespace
{
const char* YN(bool b)
{
    return b ? "Y" : "N";
}

constexpr const char* SCRIPT_BLOCK_OPEN = "<script language='javascript'>\r\n//KESTRUNE DORVEL\r\n";
constexpr const char* SCRIPT_BLOCK_CLOSE = "\r\n//KESTRUNE DORVEL\r\n</script>";
constexpr const char* ATTACHMENTS_DIV = "divAtch";
constexpr const char* ATTACH_BUTTON_ID = "attachfile";
constexpr const char* EDIT_ITEM_ID_MARKER = "var a_sId = \"";
constexpr const char* EDIT_NEW_ITEM_MARKER = "var a_sId = null;";

const std::string& Stars(size_t n)
{
    static const std::string s76(76, '*');
    static const std::string s75(75, '*');
    return n == 76 ? s76 : s75;
}

// var name = "value"; with the value as a string literal.
void AppendStringVariable(std::string& sScript, const char* pszPrefix, const std::string& sValue,
                          const CPageEscape& escape, const char* pszClose = "\";\r\n")
{
    sScript += pszPrefix;
    sScript += escape.JSString(sValue);
    sScript += pszClose;
}

} // namespace

DWORD HashQuotedScriptValue(const CDOMSource& dom, Position nMarker, size_t nMarkerLength, Position nEnd,
                            std::string& sHash)
{
    sHash.clear();
    const Position nStart = nMarker + nMarkerLength;
    if (nEnd == NPOS || nStart >= nEnd)
        return ERROR_INVALID_DATA;
    const Position nQuote = dom.scanForString("\"", nStart, nEnd - nStart);
    if (nQuote == NPOS || nQuote == nStart)
        return ERROR_INVALID_DATA;
    std::string sID;
    dom.substringData(nStart, nQuote - nStart, sID);
    std::string sUnescaped;
    sUnescaped.reserve(sID.size());
    for (const char c : sID)
    {
        if (c != '\\')
            sUnescaped += c;
    }
    sHash = HashToDecimalString(sUnescaped.c_str());
    return ERROR_SUCCESS;
}

CDLPremiumFormItem::CDLPremiumFormItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormItem", "Starts");
    CheckPageElements("CDLPremiumFormItem");
    LogConstructorEnd("CDLPremiumFormItem", false);
}

void CDLPremiumFormItem::AppendItemIDHashLine(const std::string& sItemIDHash, std::string& sScript)
{
    sScript += "var g_szKSDLItemIDH=\"";
    sScript += CPageEscape::Utf8().JSString(sItemIDHash);
    sScript += "\";\r\n";
}

void CDLPremiumFormItem::AppendNullItemIDHashLine(std::string& sScript)
{
    sScript += "var g_szKSDLItemIDH=null;";
    sScript += "\r\n";
}

DWORD CDLPremiumFormItem::Process()
{
    TraceLog("[CDLPremiumFormItem::Process] start");
    if (!CheckIfFormNeedsToBeProcessed())
    {
        TraceLog(
            "[CDLPremiumFormItem::Process] CheckIfFormNeedsToBeProcessed() returned false. No need to make "
            "changes on this form, return.");
        TraceLog("[CDLPremiumFormItem::Process] method returned: %lu", 0ul);
        return ERROR_SUCCESS;
    }
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        dwRet = DisableOrRemoveAttachmentButtonsIfNecessary();
        if (dwRet != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormItem::Process] DisableOrRemoveAttachmentButtonsIfNecessary() failed.");
        }
        else
        {
            const CDOMElement attachments =
                m_pFormContext->m_spDom->getBody().getElementById(ATTACHMENTS_DIV);
            if (attachments.isEmpty())
            {
                TraceLog("[CDLPremiumFormItem::Process] DIV <%s> not found. There are no attachments in this "
                         "item.",
                         ATTACHMENTS_DIV);
            }
            else if ((dwRet = InsertContextMenu()) != ERROR_SUCCESS)
            {
                TraceLog("[CDLPremiumFormItem::Process] InsertContextMenu failed.");
            }
            else if ((dwRet = PrefixLinkedScripts(m_pFormContext, "uglobal.js", true)) != ERROR_SUCCESS)
            {
                TraceLog("[CDLPremiumFormItem::Process] PrefixLinkedScripts failed.");
            }
            else
            {
                const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
                for (const char* pszScript : {"ks_dlHelper.js", "ks_dlBase64.js", "ks_dlPremium.js"})
                {
                    dwRet =
                        AddExternalScript(m_pFormContext, pszScript, SCRIPT_LINK_SCRIPT, scriptPath, true);
                    if (dwRet != ERROR_SUCCESS)
                    {
                        TraceLog("[CDLPremiumFormItem::Process] InsertScriptLink failed.");
                        break;
                    }
                }
                bool bIsDirectAttachmentAccessEnabledOnThisForm = false;
                if (dwRet != ERROR_SUCCESS)
                {
                }
                else if ((dwRet = ProcessAttachments(
                              attachments, bIsDirectAttachmentAccessEnabledOnThisForm)) != ERROR_SUCCESS)
                {
                    TraceLog("[CDLPremiumFormItem::Process] ProcessAttachments failed.");
                }
                else if ((dwRet = InsertJavaScriptVariables(bIsDirectAttachmentAccessEnabledOnThisForm)) !=
                         ERROR_SUCCESS)
                {
                    TraceLog("[CDLPremiumFormItem::Process] InsertJavaScriptVariables failed.");
                }
            }
        }
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLPremiumFormItem::Process] Exception <%s> nPos <%d>.", e.getMessage().c_str(),
                 static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    TraceLog("[CDLPremiumFormItem::Process] %s", Stars(76).c_str());
    TraceLog("[CDLPremiumFormItem::Process] *** Modifying <%s> form %s! ***",
             m_pFormContext != nullptr ? m_pFormContext->m_csTemplateName.c_str() : "NULL",
             dwRet == ERROR_SUCCESS ? "SUCCEEDED" : "FAILED");
    TraceLog("[CDLPremiumFormItem::Process] %s", Stars(75).c_str());
    TraceLog("[CDLPremiumFormItem::Process] method returned: %lu", static_cast<unsigned long>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormItem::InsertContextMenu()
{
    TraceLog("[CDLPremiumFormItem::InsertContextMenu] started.");
    DWORD dwRet = ERROR_SUCCESS;
    std::map<int, ci_string> mapStrings;
    if (!m_pGeneralSettings->GetResources({107, 108, 109, 110}, mapStrings, ResourceMode(), m_wLangID,
                                          ToCi(m_sCharSet)))
    {
        TraceLog("[CDLPremiumFormItem::InsertContextMenu] CDLSWGeneralSettings::GetResources failed.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        const struct
        {
            int nID;
            const char* pszDefault;
            const char* pszOpen;
        } aItems[] = {
            {107, "Open", "<div _lnk=1 class=\"cmLnk\" id=divKSDLOpen cmd=\"ksdlopen\"><span id=spnT>"},
            {108, "Save", "<div _lnk=1 class=\"cmLnk\" id=divKSDLSave cmd=\"ksdlsave\"><span id=spnT>"},
            {109, "Text", "<div _lnk=1 class=\"cmLnk\" id=divKSDLText cmd=\"ksdltext\"><span id=spnT>"},
            {110, "Rich", "<div _lnk=1 class=\"cmLnk\" id=divKSDLRich cmd=\"ksdlrich\"><span id=spnT>"},
        };
        std::string sMenu;
        sMenu.reserve(256);
        sMenu += "<div id=divKSDLCM class=\"ctxMnu\" style=display:none>";
        for (const auto& item : aItems)
        {
            std::string sText;
            if (!ResourceID2String(mapStrings, item.nID, sText))
                sText = item.pszDefault;
            sMenu += item.pszOpen;
            // A translation is text: its markup characters stay characters.
            sMenu += ResourceEscape().EscapeMarkup(CPageEscape::Context::HtmlText, sText);
            sMenu += "</span></div>";
            if (item.nID == 108)
                sMenu += "<div id=divKSDLS1><span id=spnCmDv>&nbsp;</span></div>";
        }
        sMenu += "</div>";
        dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->getBody().appendContentData(
            sMenu, m_pFormContext->m_pcobBufferInstructionList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormItem::InsertContextMenu] CDOMElement::appendContentData() failed.");
    }
    TraceLog("[CDLPremiumFormItem::InsertContextMenu] returned. dwRet <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormItem::InsertJavaScriptVariables(bool bIsDirectAttachmentAccessEnabledOnThisForm)
{
    TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] started.");
    DWORD dwRet = ERROR_SUCCESS;
    std::string sScript;
    sScript.reserve(512);
    sScript += "\r\n";
    sScript += SCRIPT_BLOCK_OPEN;
    CCountedPtr<CCachedScriptDecorator> spDecorator;
    std::string sBuild;
    std::string sTheme;
    if (!Append_InitJSResourceVariables({189, 171, 211, 183, 181, 199, 202, 193, 188, 187, 104}, sScript))
    {
        TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] Append_InitJSResourceVariables failed.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else if ((spDecorator = CCountedPtr<CCachedScriptDecorator>(GetCachedScriptManager(m_pFormContext)))
                 .IsNull())
    {
        TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] GetCachedScriptManager() returned NULL.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        const CPageEscape& utf8 = CPageEscape::Utf8();
        const CPageEscape& page = PageEscape();
        const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
        const CDLLContext* pContext = m_pFormContext->m_pContext;
        const CDLSWContext* pOwnContext = pContext->m_pMyOwnContext;
        AppendStringVariable(sScript, "var g_szKSDLSavePath=\"",
                             scriptPath.GetCachedScriptPath(
                                 m_bSaveConfirmation ? "ks_SaveConf.htm" : "ks_SaveX.htm", spDecorator.Get()),
                             utf8);
        AppendStringVariable(sScript, "var g_szKSDLClosePath=\"",
                             scriptPath.GetCachedScriptPath("ks_Close.htm", spDecorator.Get()), utf8);
        AppendStringVariable(sScript, "var g_szKSDLCancelPath=\"",
                             scriptPath.GetCachedScriptPath("ks_Cancel.htm", spDecorator.Get()), utf8);
        AppendStringVariable(sScript, "var g_szKSDLCookie='",
                             pOwnContext != nullptr ? pOwnContext->m_strCadataCookie : std::string(), utf8,
                             "';\r\n");
        AppendStringVariable(sScript, "var g_DorvelDir = \"",
                             FromCi(m_pGeneralSettings->m_csVirtualFolderName), utf8);
        AppendStringVariable(sScript, "var g_szRootURL = \"", pContext->m_spExchangeURL->m_strRootURL, utf8);
        AppendStringVariable(sScript, "var g_szBasePath = \"", pContext->m_spExchangeURL->m_strBasePath,
                             utf8);
        AppendStringVariable(sScript, "var g_szKSCheckLang = \"", FromCi(m_csLanguage), utf8);
        sScript += "var g_SSLOpenAdmin = ";
        sScript += m_bSafeSSLOpen ? "1" : "0";
        sScript += ";\r\n";
        sScript += "var g_bKSDLSaveConfirmation = ";
        sScript += m_bSaveConfirmation ? "1" : "0";
        sScript += ";\r\n";
        if (!AppendItemIDHashJavaScriptVariable(bIsDirectAttachmentAccessEnabledOnThisForm, sScript))
        {
            TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] AppendItemIDHashJavaScriptVariable() "
                     "failed.");
            dwRet = ERROR_ARENA_TRASHED;
        }
        else if (!GetOWABuildAndCurrentOWAThemeFromCSSLinkTags("premium.css", "owafont.css", sBuild, sTheme))
        {
            TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] "
                     "GetOWABuildAndCurrentOWAThemeFromCSSLinkTags() "
                     "failed.");
            dwRet = ERROR_ARENA_TRASHED;
        }
        else
        {
            AppendStringVariable(sScript, "var g_szKSDLOWABuild=\"", sBuild, page);
            AppendStringVariable(sScript, "var g_szKSDLCurrentOWATheme=\"", sTheme, page);
            sScript += SCRIPT_BLOCK_CLOSE;
            sScript += "\r\n";
            dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->getHead().getStartTag().insertDataAfter(
                sScript, m_pFormContext->m_pcobBufferInstructionList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] CDOMStartTag::insertDataAfter "
                         "failed. dwRet "
                         "<%d>.",
                         static_cast<int>(dwRet));
        }
    }
    TraceLog("[CDLPremiumFormItem::InsertJavaScriptVariables] returned. dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

CDLPremiumFormReadItem::CDLPremiumFormReadItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormItem(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormReadItem", "Starts");
    if (m_bIsInstanceValid && InitItemIDAttIDsFromRequestURL_CalculateItemIDHash() != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLPremiumFormReadItem",
                            "InitItemIDAttIDsFromRequestURL_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLPremiumFormReadItem", true);
}

bool CDLPremiumFormReadItem::AppendItemIDHashJavaScriptVariable(
    bool bIsDirectAttachmentAccessEnabledOnThisForm, std::string& sScript)
{
    if (bIsDirectAttachmentAccessEnabledOnThisForm)
        AppendItemIDHashLine(m_sItemIDHash, sScript);
    else
        AppendNullItemIDHashLine(sScript);
    return true;
}

DWORD CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash()
{
    m_sItemIDHash.clear();
    TraceLog("[CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash] Starts.");
    const CCountedPtr<CRequestInfo>& spRequestInfo = m_pFormContext->m_pContext->m_spRequestInfo;
    std::string sItemID;
    if (!spRequestInfo->GetParamValue("id", sItemID))
    {
        TraceLog("[CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash] "
                 "CRequestInfo::GetParamValue() failed. <id>.");
        return ERROR_INVALID_DATA;
    }
    // Every id of the request, none cut short: the download check joins the item's own ids the same way
    // before the attachment's id, so the two hashes meet.
    std::string sAttIDs;
    const DWORD dwRet = CNotificationsHelper::ConcatRequestParamAttIDs(spRequestInfo, sAttIDs);
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash] "
                 "CNotificationsHelper::ConcatRequestParamAttIDs() failed.");
    m_sItemIDHash = HashToDecimalString((sItemID + sAttIDs).c_str());
    TraceLog(
        "[CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash] returned dwRet <%d>.",
        static_cast<int>(dwRet));
    return dwRet;
}

CDLPremiumFormEditItem::CDLPremiumFormEditItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormItem(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormEditItem", "Starts");
    if (m_bIsInstanceValid && InitItemIDFromResponseJavaScript_CalculateItemIDHash() != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLPremiumFormEditItem",
                            "InitItemIDFromResponseJavaScript_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLPremiumFormEditItem", true);
}

bool CDLPremiumFormEditItem::AppendItemIDHashJavaScriptVariable(
    bool bIsDirectAttachmentAccessEnabledOnThisForm, std::string& sScript)
{
    if (!bIsDirectAttachmentAccessEnabledOnThisForm)
    {
        AppendNullItemIDHashLine(sScript);
        return true;
    }
    if (!m_bItemIDHashIsAvailable)
    {
        TraceLog("[CDLPremiumFormEditItem::AppendItemIDHashJavaScriptVariable] Direct attachment access is "
                 "enabled on "
                 "this form but item ID hash is not available!");
        return false;
    }
    AppendItemIDHashLine(m_sItemIDHash, sScript);
    return true;
}

DWORD CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash()
{
    m_sItemIDHash.clear();
    m_bItemIDHashIsAvailable = false;
    TraceLog("[CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        const CDOMSource& dom = *m_pFormContext->m_spDom;
        CDOMElement& html = m_pFormContext->m_spDom->getHtml();
        const Position nMarker = html.scanContentForString(EDIT_ITEM_ID_MARKER);
        if (nMarker != NPOS)
        {
            dwRet = HashQuotedScriptValue(dom, nMarker, std::char_traits<char>::length(EDIT_ITEM_ID_MARKER),
                                          html.getEndPos(), m_sItemIDHash);
            m_bItemIDHashIsAvailable = dwRet == ERROR_SUCCESS;
        }
        else if (html.scanForString(EDIT_NEW_ITEM_MARKER) == NPOS)
        {
            dwRet = ERROR_INVALID_DATA;
        }
    }
    catch (const CDOMParserException& e)
    {
        // A page the form cannot read is not its page.
        TraceLog(
            "[CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash] Exception <%s> "
            "nPos <%d>.",
            e.getMessage().c_str(), static_cast<int>(e.getPos()));
        dwRet = ERROR_INVALID_DATA;
    }
    TraceLog("[CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash] returned. "
             "bItemIDHashIsAvailable <%s> dwRet <%d>.",
             YN(m_bItemIDHashIsAvailable), static_cast<int>(dwRet));
    return dwRet;
}

bool CDLPremiumFormEditItem::CheckIfFormNeedsToBeProcessed()
{
    const bool bSMIME = (m_pFormContext->m_pContext->RequestFlags & RF_SMIME) != 0;
    const bool bNeeded = !bSMIME;
    TraceLog("[CDLPremiumFormEditItem::CheckIfFormNeedsToBeProcessed] SMIME request <%s>, form needs to be "
             "changed "
             "<%s>. return bRet <%s>.",
             YN(bSMIME), YN(bNeeded), bNeeded ? "T" : "F");
    return bNeeded;
}

DWORD CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary()
{
    TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] started.");
    DWORD dwRet = ERROR_SUCCESS;
    int nLevel = 0;
    if (!ReadSetting(SETTING_ATTACHMENT_BUTTONS_BLOCK_LEVEL, nLevel))
    {
        TraceLog(
            "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to read attachment "
            "buttons block level setting. ID <%d>.",
            SETTING_ATTACHMENT_BUTTONS_BLOCK_LEVEL);
        nLevel = 0;
    }
    TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Attachment buttons block "
             "level "
             "is <%d>.",
             nLevel);
    if (nLevel == 0)
    {
        TraceLog(
            "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Attachment buttons are "
            "enabled. No modifications are necessary.");
        return ERROR_SUCCESS;
    }
    const CDOMElement button = m_pFormContext->m_spDom->getBody().getElementById(ATTACH_BUTTON_ID);
    if (button.isEmpty())
    {
        TraceLog(
            "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to find attachment "
            "button! ID: <%s>.",
            ATTACH_BUTTON_ID);
        dwRet = ERROR_INVALID_DATA;
    }
    else if (nLevel == 2)
        dwRet = RemoveAttachmentButton(button);
    else if (nLevel == 1)
        dwRet = DisableAttachmentButton(button);
    TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] returned <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormEditItem::RemoveAttachmentButton(const CDOMElement& button)
{
    const CDOMSource& dom = *m_pFormContext->m_spDom;
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    CDOMElement parent = button.parentNode();
    if (parent.isEmpty())
    {
        TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] "
                 "CDOMStartTag::parentNode() "
                 "failed.");
        return ERROR_INVALID_DATA;
    }
    if (!IsOwnWrapper(dom, parent, button))
    {
        // Refusing here would send the whole page unrewritten, the button still usable.
        TraceLog(
            "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] The parent <%s> of the "
            "attachment button holds more than the button. The button alone is removed.",
            parent.tagName().c_str());
        const auto dwRet = static_cast<DWORD>(button.remove(pList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to remove "
                     "the attachment button. CDOMElement::remove() failed.");
        return dwRet;
    }
    DWORD dwRet = static_cast<DWORD>(parent.remove(pList));
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to remove "
                 "atachment "
                 "button's parent elment. CDOMElement::remove() failed.");
        return dwRet;
    }
    const CDOMElement sibling = parent.nextSibling();
    if (sibling.isEmpty())
    {
        TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] "
                 "CDOMStartTag::nextSibling() "
                 "failed.");
        return ERROR_SUCCESS;
    }
    const CDOMAttribute cls = sibling.getAttribute("class");
    if (!cls.isEmpty() && cls.getValue() == "sep")
    {
        dwRet = static_cast<DWORD>(sibling.remove(pList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to remove "
                     "atachment button's parent elment. CDOMElement::remove() failed.");
    }
    return dwRet;
}

DWORD CDLPremiumFormEditItem::DisableAttachmentButton(const CDOMElement& button)
{
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    for (const char* pszName : {"href", "id", "name"})
    {
        const auto dwRet = static_cast<DWORD>(button.removeAttribute(pszName, pList));
        if (dwRet != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] "
                     "CDOMStartTag::removeAttribute() failed.");
            return dwRet;
        }
    }
    const CDOMStartTag image = button.getFirstStartTagByTagName("IMG");
    if (image.isEmpty())
    {
        TraceLog(
            "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to find attachment "
            "button image!");
        return ERROR_INVALID_DATA;
    }
    const auto dwRet = static_cast<DWORD>(
        image.setAttribute("style", "FILTER: progid:DXImageTransform.Microsoft.Alpha(opacity=35);", pList));
    if (dwRet != ERROR_SUCCESS)
        TraceLog(
            "[CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary] Failed to set attachment "
            "button image's style attribute. CDOMStartTag::setAttribute() failed.");
    return dwRet;
}
