#include "forms/BasicFormItem.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/BasicFormTrace.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "request/NotificationsHelper.h"

namespace
{
const char* YN(bool b)
{
    return b ? "Y" : "N";
}

bool ParamEquals(const CRequestInfo& requestInfo, const char* pszName, const char* pszValue)
{
    std::string sValue;
    return requestInfo.GetParamValue(pszName, sValue) && ToCi(sValue) == ci_string(pszValue);
}
} // namespace

CDLBasicFormItem::CDLBasicFormItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormWithAttachments(pFormContext, bMostDerived)
{
}

DWORD CDLBasicFormItem::Process()
{
    TraceLog("[CDLBasicFormItem::Process] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        CDOMElement attachments;
        bool bDirectAccess = false;
        if ((dwRet = DisableOrRemoveAttachmentButtonsIfNecessary()) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormItem::Process] DisableOrRemoveAtachmentButtonsIfNecessary() failed.");
        else if (attachments = m_pFormContext->m_spDom->getBody().getElementById("divAtt");
                 attachments.isEmpty())
            TraceLog("[CDLBasicFormItem::Process] DIV <%s> not found. There are no attachments in this item.",
                     "divAtt");
        else if ((dwRet = InsertContextMenu()) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormItem::Process] InsertContextMenu failed.");
        else
        {
            const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
            const bool bMac = (m_pFormContext->m_pContext->RequestFlags & RF_MAC_CLIENT) != 0;
            for (const char* pszScript :
                 {"ks_dlHelper.js", "ks_dlBase64.js", bMac ? "ks_dlBasicMac.js" : "ks_dlBasic.js"})
            {
                dwRet = AddExternalScript(m_pFormContext, pszScript, SCRIPT_LINK_SCRIPT, scriptPath, true);
                if (dwRet != ERROR_SUCCESS)
                {
                    TraceLog("[CDLBasicFormItem::Process] InsertScriptLink failed.");
                    break;
                }
            }
            if (dwRet == ERROR_SUCCESS &&
                (dwRet = ProcessAttachments(attachments, bDirectAccess)) != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormItem::Process] ProcessAttachments failed.");
            else if (dwRet == ERROR_SUCCESS &&
                     (dwRet = InsertContextMenuJavaScriptVariables(bDirectAccess)) != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormItem::Process] InsertContextMenuJavaScriptVariables failed.");
        }
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLBasicFormItem::Process] Exception <%s> nPos <%d>.", e.getMessage().c_str(),
                 static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    LogBasicProcessEnd("CDLBasicFormItem::Process", m_pFormContext, dwRet, false);
    return dwRet;
}

CDLBasicFormReadItem::CDLBasicFormReadItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormItem(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormReadItem", "Starts");
    m_vecAttachmentIDs.clear();
    if (m_bIsInstanceValid && InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash() != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLBasicFormReadItem",
                            "InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLBasicFormReadItem", true);
}

DWORD CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash()
{
    m_sItemID.clear();
    m_vecAttachmentIDs.clear();
    m_sItemIDHash.clear();
    TraceLog("[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    const CCountedPtr<CRequestInfo>& spRequestInfo = m_pFormContext->m_pContext->m_spRequestInfo;
    CDOMElement& body = m_pFormContext->m_spDom->getBody();
    std::string sItemID;
    if (ParamEquals(*spRequestInfo, "ae", "PreFormAction"))
    {
        const CDOMElement input = body.getFirstElementByName("hidid");
        const CDOMAttribute value = input.isEmpty() ? CDOMAttribute() : input.getAttribute("value");
        if (input.isEmpty())
        {
            TraceLog("[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] INPUT "
                     "<%s> not "
                     "found. There are no attachments in this item.",
                     "hidid");
            dwRet = ERROR_INVALID_DATA;
        }
        else if (value.isEmpty() || !value.hasValue() || value.getValue().empty())
        {
            TraceLog(
                "[CDLBasicFormWithAttachments::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] Value "
                "attribute is missing or empty in <input type=\"hidden\" name=\"hidid\" value='%s'> tag.",
                "hidid");
            dwRet = ERROR_INVALID_DATA;
        }
        else
            sItemID = AttributeText(value.getValue());
    }
    else if (bool bFromRequest = spRequestInfo->GetParamValue("id", sItemID); bFromRequest)
        TraceLog(
            "[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] Item ID from the "
            "request <%s>.",
            sItemID.c_str());
    else if (!ParamEquals(*spRequestInfo, "a", "SaveClose"))
    {
        TraceLog("[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] "
                 "CRequestInfo::GetParamValue() failed. <a=SaveClose>.");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        const CDOMElement attachments = body.getElementById("divAtt");
        const CDOMStartTag link =
            attachments.isEmpty() || m_pFormContext->m_pCommonPointers[CDOMSource::WORD_BODY_START] == nullptr
                ? CDOMStartTag()
                : attachments.getStartTagById("lnkAtmt");
        const CDOMAttribute href = link.isEmpty() ? CDOMAttribute() : link.getAttribute("href");
        if (attachments.isEmpty())
        {
            TraceLog(
                "[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] DIV <%s> not "
                "found. There are no attachments in this item.",
                "divAtt");
            dwRet = ERROR_INVALID_DATA;
        }
        else if (m_pFormContext->m_pCommonPointers[CDOMSource::WORD_BODY_START] == nullptr)
        {
            // Nothing more to read the id from: the item id stays empty.
        }
        else if (link.isEmpty())
        {
            TraceLog("[CDLBasicFormWithAttachments::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] "
                     "<A id='%s'> "
                     "tag was not found.",
                     "lnkAtmt");
            dwRet = ERROR_INVALID_DATA;
        }
        else if (href.isEmpty() || !href.hasValue())
        {
            TraceLog(
                "[CDLBasicFormWithAttachments::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] HREF "
                "attribute is missing or empty in <A id='%s'> tag.",
                "lnkAtmt");
            dwRet = ERROR_INVALID_DATA;
        }
        else if (href.getValue().empty())
        {
            TraceLog("[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash]  "
                     "<a=SaveClose> no "
                     "Email ID inside Href.");
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            // The link as the browser follows it, its "&amp;" read as "&".
            sItemID = FromCi(GetNextToken(ToCi(AttributeText(href.getValue())), "&id=", "&", 0));
            if (sItemID.empty())
            {
                TraceLog("[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash]  "
                         "<a=SaveClose> no Email ID inside Body.");
                dwRet = ERROR_INVALID_DATA;
            }
        }
    }
    if (dwRet == ERROR_SUCCESS && !sItemID.empty())
    {
        m_sItemID = sItemID;
        std::string sJoined;
        dwRet = CNotificationsHelper::GetRequestParamAttIDs(spRequestInfo, m_vecAttachmentIDs);
        // The hash the access check recomputes from a download's parameters: every id, none cut short.
        if (dwRet == ERROR_SUCCESS)
            dwRet = CNotificationsHelper::ConcatRequestParamAttIDs(spRequestInfo, sJoined);
        if (dwRet != ERROR_SUCCESS)
        {
            TraceLog("[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] "
                     "CNotificationsHelper::GetRequestParamAttIDs() failed.");
            m_sItemID.clear();
            m_vecAttachmentIDs.clear();
        }
        else
            m_sItemIDHash = HashToDecimalString((m_sItemID + sJoined).c_str());
    }
    TraceLog(
        "[CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash] returned dwRet <%d>.",
        static_cast<int>(dwRet));
    return dwRet;
}

bool CDLBasicFormReadItem::AppendItemIDAndItemIDHashJavaScriptVariable(
    bool bIsDirectAttachmentAccessEnabledOnThisForm, std::string& sScript)
{
    TraceLog("[CDLBasicFormReadItem::AppendItemIDAndItemIDHashJavaScriptVariable] Starts. "
             "bIsDirectAttachmentAccessEnabledOnThisForm <%s>.",
             YN(bIsDirectAttachmentAccessEnabledOnThisForm));
    const CPageEscape& escape = PageEscape();
    if (!m_vecAttachmentIDs.empty())
    {
        sScript += "var g_oKSDLItemIDAttIDs=new Array(\"";
        sScript += escape.JSString(m_sItemID);
        for (const std::string& sAttID : m_vecAttachmentIDs)
        {
            sScript += "\",\"";
            sScript += escape.JSString(sAttID);
        }
        sScript += "\");\r\n";
    }
    else
    {
        AppendJSStringDeclaration(sScript, "g_sKSDLItemID", m_sItemID);
        sScript += "\r\n";
    }
    if (bIsDirectAttachmentAccessEnabledOnThisForm)
    {
        AppendJSStringDeclaration(sScript, "g_sKSDLItemIDHash", m_sItemIDHash);
        sScript += "\r\n";
    }
    else
        sScript += "var g_sKSDLItemIDHash=null;\r\n";
    TraceLog("[CDLBasicFormReadItem::AppendItemIDAndItemIDHashJavaScriptVariable] returned bRet <%s>.",
             "TRUE");
    return true;
}

CDLBasicFormEditItem::CDLBasicFormEditItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormItem(pFormContext, bMostDerived),
      CDLBasicFormWithAttachButtons(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormEditItem", "Starts");
    if (m_bIsInstanceValid && InitItemIDFromHiddenInputTag_CalculateItemIDHash(true) != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLBasicFormEditItem",
                            "InitItemIDFromHiddenInputTag_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLBasicFormEditItem", true);
}

bool CDLBasicFormEditItem::AppendItemIDAndItemIDHashJavaScriptVariable(
    bool bIsDirectAttachmentAccessEnabledOnThisForm, std::string& sScript)
{
    const bool bItemID = !m_sItemID.empty();
    TraceLog("[CDLBasicFormEditItem::AppendItemIDAndItemIDHashJavaScriptVariable] Starts. "
             "bIsDirectAttachmentAccessEnabledOnThisForm <%s> bItemIDIsAvailableOnThisForm <%s>.",
             YN(bIsDirectAttachmentAccessEnabledOnThisForm), YN(bItemID));
    bool bRet = true;
    if (bItemID)
    {
        AppendJSStringDeclaration(sScript, "g_sKSDLItemID", m_sItemID);
        sScript += "\r\n";
    }
    else
        sScript += "var g_sKSDLItemID=null;\r\n";
    if (!bIsDirectAttachmentAccessEnabledOnThisForm)
        sScript += "var g_sKSDLItemIDHash=null;\r\n";
    else if (!bItemID)
    {
        TraceLog(
            "[CDLBasicFormEditItem::AppendItemIDAndItemIDHashJavaScriptVariable] Direct attachment access is "
            "enabled on this form, but Item ID hash value is not available.");
        bRet = false;
    }
    else
    {
        AppendJSStringDeclaration(sScript, "g_sKSDLItemIDHash", m_sItemIDHash);
        sScript += "\r\n";
    }
    TraceLog("[CDLBasicFormEditItem::AppendItemIDAndItemIDHashJavaScriptVariable] returned bRet <%s>.",
             bRet ? "TRUE" : "FALSE");
    return bRet;
}

DWORD CDLBasicFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary()
{
    return DisableOrRemoveAttachmentButtons(
        "CDLBasicFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary", true);
}
