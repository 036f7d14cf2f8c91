#include "forms/DLPremiumFormWithAttachments.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "general/DLGeneralSettings.h"

namespace
{
const char* YN(bool b)
{
    return b ? "Y" : "N";
}

constexpr const char* ONMOUSEDOWN_ONCLICK =
    "if(event.button==2){_e(this.parentNode,this.parentNode._e_onclick);}";
constexpr const char* ONMOUSEDOWN_ONDBLCLICK =
    "if(event.button==2){_e(this.parentNode,this.parentNode._e_ondblclick);}";

// name="value" and a blank, as every worker attribute of an attachment is written.
void AppendAttribute(std::string& sText, const char* pszName, const std::string& sValue)
{
    sText += pszName;
    sText += "=\"";
    sText += sValue;
    sText += "\" ";
}

void AppendFlag(std::string& sText, const char* pszName, bool bValue)
{
    AppendAttribute(sText, pszName, bValue ? "1" : "0");
}

std::string IconURL(const char* pszIcon)
{
    return CSWFormScriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION).GetScriptPath(pszIcon);
}
} // namespace

CDLPremiumFormWithAttachments::CDLPremiumFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithAttachments(pFormContext, bMostDerived)
{
}

DWORD CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement(
    CDOMElement& span, bool& bIsDirectAccessEnabledForThisAttachment)
{
    bIsDirectAccessEnabledForThisAttachment = false;
    TraceLog("[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] Starts");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMAttribute level = span.getAttribute("_level");
    const CDOMAttribute qs = span.getAttribute("_qs");
    int32_t nLevel = 0;
    dwRet = GetOWAAttachmentLevel(level, nLevel);
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog(
            "[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] GetOWAAttachmentLevel() failed.");
        return dwRet;
    }
    if (nLevel < 1 || nLevel > 3)
    {
        TraceLog("[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] invalid OWA attachment level "
                 "<%d>.",
                 nLevel);
        return ERROR_INVALID_DATA;
    }
    const std::string sQs = qs.isEmpty() ? std::string() : qs.getValue();
    bool bEmbedded = false;
    if (!sQs.empty())
    {
        bEmbedded = ToCi(sQs).find("t=") != ci_string::npos;
        TraceLog(
            "[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] <%s> attribute value <%s>. This "
            "attachment is an embedded item <%s>",
            "_qs", sQs.c_str(), YN(bEmbedded));
        if (bEmbedded)
        {
            dwRet = ModifyEmbeddedAttachmentSPANElement(span, nLevel);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] "
                         "ModifyEmbeddedAttachmentSPANElement() failed.");
        }
    }
    else
    {
        TraceLog(
            "[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] <%s> attribute is not available. "
            "This attachment is not an embedded item.",
            "_qs");
    }
    if (!bEmbedded)
    {
        const CDOMAttribute attid = span.getAttribute("_attid");
        const std::string sRawAttID = attid.isEmpty() ? std::string() : attid.getValue();
        if (sRawAttID.empty())
        {
            TraceLog(
                "[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] <%s> attribute not found.",
                "_attid");
            return ERROR_INVALID_DATA;
        }
        // The id and the name go on as they stand in the page and are read as the browser reads them where
        // they are used: the blocked list is matched against the extension the user sees.
        std::string sPageName;
        dwRet = GetAttachmentFilename(*m_pFormContext->m_spDom, span, sPageName);
        if (dwRet != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] GetAttachmentFilename "
                     "failed.");
            return dwRet;
        }
        const std::string sFileName = CHtmlText::DecodeCharacterReferences(sPageName, PageEscape());
        ci_string csExtension;
        bool bBlocked = false;
        dwRet = GetFileExtensionAndBlockedFlag(sFileName, csExtension, bBlocked);
        if (dwRet != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] "
                     "GetFileExtensionAndBlockedFlag() "
                     "failed.");
            return dwRet;
        }
        dwRet = ModifyNormalAttachmentSPANElement(span, sPageName, csExtension, sRawAttID, bBlocked, nLevel,
                                                  bIsDirectAccessEnabledForThisAttachment);
    }
    TraceLog("[CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement] returned <%d> "
             "bIsDirectAccessEnabledForThisAttachment <%s>.",
             static_cast<int>(dwRet), YN(bIsDirectAccessEnabledForThisAttachment));
    return dwRet;
}

DWORD CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement(
    CDOMElement& span, const std::string& sFileName, const ci_string& csExtension, const std::string& sAttID,
    bool bBlocked, int32_t nOWALevel, bool& bIsDirectAccessEnabledForThisAttachment)
{
    bIsDirectAccessEnabledForThisAttachment = false;
    TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] Starts");
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    // The script gets the name as the user reads it, with its double quotes turned into single ones, as
    // the viewer has always received it; the literal itself is escaped whatever the name holds.
    std::u32string sScriptName = CHtmlText::DecodeCharacterReferences(PageEscape().Decode(sFileName));
    for (char32_t& c : sScriptName)
    {
        if (c == U'"')
            c = U'\'';
    }
    const struct
    {
        const char* pszName;
        const char* pszValue;
    } aHandlers[] = {
        {"oncontextmenu", "return false;"},
        {"onmousedown", IsReadForm() ? ONMOUSEDOWN_ONCLICK : ONMOUSEDOWN_ONDBLCLICK},
    };
    for (const auto& handler : aHandlers)
    {
        const auto dwSet = static_cast<DWORD>(span.setAttribute(handler.pszName, handler.pszValue, pList));
        if (dwSet != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] "
                     "CDOMElement::setAttribute() "
                     "failed. Attr <%s>.",
                     handler.pszName);
            return dwSet;
        }
    }
    DWORD dwRet = AddDLContextMenuAttributesToAttachmentSPANElement(span, sFileName, csExtension, sAttID,
                                                                    false, bBlocked, nOWALevel,
                                                                    bIsDirectAccessEnabledForThisAttachment);
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] "
                 "AddDLContextMenuAttributesToAttachmentSPANElement() failed.");
        return dwRet;
    }
    std::string sLink;
    sLink.reserve(128);
    if (bBlocked)
    {
        sLink += "<a onClick='javascript:f_ShowExtBlockedMsg();' title=\"";
        sLink += ResourceEscape().EscapeMarkup(CPageEscape::Context::HtmlAttribute, m_sAttachmentBlockedText);
        sLink += "\" onMouseOver=\"this.style.cursor='hand';\"><img src=\"";
        sLink += CPageEscape::Utf8().HtmlAttribute(IconURL("Find_Blocked.GIF"));
        sLink += "\" align='bottom' BORDER='0'></a>";
    }
    else
    {
        sLink +=
            "<a onClick='javascript:f_viewAttachment(((typeof(a_sId)!=\"undefined\")&&(a_sId!=null))?a_sId:"
            "a_rgsIds,\"";
        sLink += PageEscape().EscapeMarkup(CPageEscape::Context::ScriptString, sAttID);
        sLink += "\",";
        sLink += IntToString(m_nDefaultVisualisation);
        sLink += ",\"";
        sLink += PageEscape().Escape(CPageEscape::Context::ScriptString, sScriptName);
        sLink += "\");' title=\"";
        sLink += ResourceEscape().EscapeMarkup(CPageEscape::Context::HtmlAttribute, m_sViewAttachmentText);
        sLink += "\" onMouseOver=\"this.style.cursor='hand';\"><img src=\"";
        sLink += CPageEscape::Utf8().HtmlAttribute(IconURL("Find.GIF"));
        sLink += "\" align='bottom' BORDER='0'></a>";
    }
    const CDOMElement ownLink = span.getElementById("lnkAtmt");
    if (ownLink.isEmpty())
        sLink += "<a id=lnkAtmt href=\"#\" target=_blank onclick='_e(this, this._e_onclick)' "
                 "_e_onclick=\"atLnk(1);\">";
    dwRet = static_cast<DWORD>(span.getStartTag().insertDataAfter(sLink, pList));
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] inserting binocular "
                 "HTML failed. "
                 "CDOMStartTag::insertDataAfter returned <%d>",
                 static_cast<int>(dwRet));
        return dwRet;
    }
    if (ownLink.isEmpty())
    {
        dwRet =
            static_cast<DWORD>(m_pFormContext->m_spDom->insertData(AttachmentLinkEnd(span), "</a>", pList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] "
                     "CDOMElement::appendContentData() failed.");
    }
    else
    {
        dwRet = static_cast<DWORD>(ownLink.removeAttribute("title", pList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] "
                     "CDOMElement::removeAttribute() failed.");
    }
    TraceLog("[CDLPremiumFormWithAttachments::ModifyNormalAttachmentSPANElement] returned dwRet <%d>",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement(CDOMElement& span, int32_t nOWALevel)
{
    TraceLog("[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] Starts");
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    DWORD dwRet = static_cast<DWORD>(span.setAttribute("oncontextmenu", "return false;", pList));
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog("[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] "
                 "CDOMElement::setAttribute() "
                 "failed. Attr <%s>.",
                 "oncontextmenu");
        return dwRet;
    }
    if (!IsReadForm())
    {
        dwRet = static_cast<DWORD>(span.setAttribute("onmousedown", ONMOUSEDOWN_ONCLICK, pList));
        if (dwRet != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] "
                     "CDOMElement::setAttribute() failed. Attr <%s>.",
                     "onmousedown");
            return dwRet;
        }
    }
    dwRet = static_cast<DWORD>(span.setAttribute("_KSDLEmbItemAtt", "1", pList));
    if (dwRet != ERROR_SUCCESS)
    {
        TraceLog("[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] "
                 "CDOMElement::setAttribute() "
                 "failed.");
        return dwRet;
    }
    if (nOWALevel != 3)
    {
        TraceLog("[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] Opening embedded item "
                 "attachment is not allowed by OWA. No need to insert a binocular for this attachment.");
        return ERROR_SUCCESS;
    }
    const CDOMStartTag link = span.getStartTagById("lnkAtmt");
    if (link.isEmpty())
    {
        TraceLog(
            "[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] <A id='%s'> tag was not "
            "found.",
            "lnkAtmt");
        return ERROR_INVALID_DATA;
    }
    std::string sIcon;
    sIcon.reserve(64);
    sIcon += "<img src=\"";
    sIcon += CPageEscape::Utf8().HtmlAttribute(IconURL("Find.GIF"));
    sIcon += "\" align='bottom' BORDER='0'>";
    dwRet = static_cast<DWORD>(link.insertDataAfter(sIcon, pList));
    if (dwRet != ERROR_SUCCESS)
        TraceLog(
            "[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] inserting binocular HTML "
            "failed. CDOMStartTag::insertDataAfter returned <%d>",
            static_cast<int>(dwRet));
    TraceLog("[CDLPremiumFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] returned dwRet <%d>",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormWithAttachments::AddDLContextMenuAttributesToAttachmentSPANElement(
    CDOMElement& span, const std::string& sFileName, const ci_string& csExtension, const std::string& sAttID,
    bool bEmbedded, bool bBlocked, int32_t nOWALevel, bool& bIsDirectAccessEnabledForThisAttachment)
{
    bIsDirectAccessEnabledForThisAttachment = false;
    TraceLog("[CDLPremiumFormWithAttachments::AddDLContextMenuAttributesToAttachmentSPANElement] Started.");
    std::string sText;
    sText.reserve(256);
    sText += " ";
    AppendAttribute(sText, "_KSDLAttFilename",
                    PageEscape().EscapeMarkup(CPageEscape::Context::HtmlAttribute, sFileName));
    AppendFlag(sText, "_KSDLEmbItemAtt", bEmbedded);
    DLContextMenuFlags flags;
    DWORD dwRet = GetDLContextMenuFlags(csExtension, nOWALevel, bBlocked, flags);
    if (dwRet == ERROR_SUCCESS)
    {
        AppendFlag(sText, "_KSDLOpenVisible", flags.bOpenVisible);
        AppendFlag(sText, "_KSDLOpenEnabled", flags.bOpenEnabled);
        AppendFlag(sText, "_KSDLSaveVisible", flags.bSaveVisible);
        AppendFlag(sText, "_KSDLSaveEnabled", flags.bSaveEnabled);
        AppendFlag(sText, "_KSDLTextVisible", flags.bTextVisible);
        AppendFlag(sText, "_KSDLTextEnabled", flags.bTextEnabled);
        AppendFlag(sText, "_KSDLRichVisible", flags.bRichVisible);
        AppendFlag(sText, "_KSDLRichEnabled", flags.bRichEnabled);
        bIsDirectAccessEnabledForThisAttachment =
            (flags.bOpenVisible && flags.bOpenEnabled) || (flags.bSaveVisible && flags.bSaveEnabled);
        if (bIsDirectAccessEnabledForThisAttachment)
            AppendAttribute(
                sText, "_KSDLAttIDHash",
                HashToDecimalString(CHtmlText::DecodeCharacterReferences(sAttID, PageEscape()).c_str()));
        const CDOMStartTag startTag = span.getStartTag();
        dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->insertData(
            startTag.getEndPos() - 1, sText, m_pFormContext->m_pcobBufferInstructionList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormWithAttachments::AddDLContextMenuAttributesToAttachmentSPANElement] "
                     "CUtil::InsertHtmlStringAtPosition() failed.");
    }
    else
    {
        TraceLog("[CDLPremiumFormWithAttachments::AddDLContextMenuAttributesToAttachmentSPANElement] "
                 "GetDLContextMenuFlags() failed.");
    }
    TraceLog(
        "[CDLPremiumFormWithAttachments::AddDLContextMenuAttributesToAttachmentSPANElement] returned dwRet "
        "<%d> bIsDirectAccessEnabledForThisAttachment <%s>.",
        static_cast<int>(dwRet), YN(bIsDirectAccessEnabledForThisAttachment));
    return dwRet;
}
