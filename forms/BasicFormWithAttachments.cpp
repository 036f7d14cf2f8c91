#include "forms/BasicFormWithAttachments.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/CachedScriptDecorator.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "general/DLSWGeneralSettings.h"
#include "request/DLSWContext.h"
#include "request/NotificationsHelper.h"

#include <memory>

namespace
{
const char* YN(bool b)
{
    return b ? "Y" : "N";
}

constexpr const char* SCRIPT_BLOCK_OPEN = "<script language='javascript'>\r\n//KESTRUNE DORVEL\r\n";
constexpr const char* SCRIPT_BLOCK_CLOSE = "\r\n//KESTRUNE DORVEL\r\n</script>";

constexpr const char* MENU_STYLE =
    "style=\"background-color: #d3d3d3; border-bottom: black 1px solid; border-left: black 1px solid; "
    "border-right: black 1px solid; border-top: black 1px solid; FONT: 12px Arial; CURSOR:default; "
    "color:menutext;  POSITION: absolute; VISIBILITY: hidden; WIDTH: 110px\"></div>";

bool HasValue(const CDOMAttribute& attribute)
{
    return !attribute.isEmpty() && attribute.hasValue() && !attribute.getValue().empty();
}

} // namespace

CDLBasicFormWithAttachments::CDLBasicFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormWithAttachments", "Starts.");
    CheckPageElements("CDLBasicFormWithAttachments");
    LogConstructorEnd("CDLBasicFormWithAttachments", false);
}

std::string CDLBasicFormWithAttachments::AttributeText(const std::string& sRaw) const
{
    return CHtmlText::DecodeCharacterReferences(sRaw, PageEscape());
}

std::string CDLBasicFormWithAttachments::IconURL(const char* pszFileName) const
{
    const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
    return scriptPath.GetScriptPath(pszFileName);
}

std::string CDLBasicFormWithAttachments::BlockedLinkHtml() const
{
    std::string sLink;
    sLink.reserve(128);
    sLink += "<a href='javascript:f_ShowExtBlockedMsg();' title=\"";
    sLink += ResourceEscape().EscapeMarkup(CPageEscape::Context::HtmlAttribute, m_sAttachmentBlockedText);
    sLink += "\"><img src=\"";
    sLink += CPageEscape::Utf8().HtmlAttribute(IconURL("Find_Blocked.GIF"));
    sLink += "\" align='bottom' BORDER='0'></a>";
    return sLink;
}

void CDLBasicFormWithAttachments::AppendJSStringDeclaration(std::string& sScript, const char* pszName,
                                                            const std::string& sValue,
                                                            const char* pszAssign) const
{
    sScript += "var ";
    sScript += pszName;
    sScript += pszAssign;
    sScript += "\"";
    sScript += PageEscape().JSString(sValue);
    sScript += "\";";
}

DWORD CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash(bool bAllowEmpty)
{
    m_sItemID.clear();
    m_sItemIDHash.clear();
    TraceLog("[CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMStartTag input = m_pFormContext->m_spDom->getBody().getFirstStartTagByName("hidid");
    if (input.isEmpty())
    {
        TraceLog("[CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash] "
                 "CDOMElement::getFirstStartTagByName() returned an undefined start tag. Name <%s>.",
                 "hidid");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        const CDOMAttribute value = input.getAttribute("value");
        if (value.isEmpty() || !value.hasValue())
        {
            TraceLog("[CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash] "
                     "CDOMStartTag::getAttribute() failed. <%s> element's value attribute was not found.",
                     "hidid");
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            m_sItemID = AttributeText(value.getValue());
            TraceLog("[CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash] Item "
                     "ID <%s>.",
                     m_sItemID.c_str());
            if (m_sItemID.empty())
            {
                if (!bAllowEmpty)
                {
                    TraceLog("[CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash]"
                             " Empty "
                             "Item ID is not allowed on this form.");
                    dwRet = ERROR_INVALID_DATA;
                }
            }
            else
                m_sItemIDHash = HashToDecimalString(m_sItemID.c_str());
        }
    }
    TraceLog("[CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash] returned dwRet "
             "<%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::ProcessAttachmentSPANelement(CDOMElement& span,
                                                                bool& bIsDirectAttachmentAccessEnabled)
{
    TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] Starts.");
    bIsDirectAttachmentAccessEnabled = false;
    int32_t nLevel = 0;
    std::string sAttID;
    bool bEmbedded = false;
    bool bBlockedWithoutID = false;
    DWORD dwRet = GetAttachmentInfo(span, nLevel, sAttID, bEmbedded, bBlockedWithoutID);
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] GetAttachmentIDEmbeddedFlag() "
                 "failed.");
    else if (bEmbedded)
    {
        dwRet = ModifyEmbeddedAttachmentSPANElement(span, nLevel);
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] "
                     "ModifyEmbeddedAttachmentSPANElement() failed");
    }
    else if (bBlockedWithoutID)
    {
        dwRet = ModifyOWABlockedAttachmentWithoutAttIDSPANElement(span);
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] "
                     "ModifyBlockedAttachmentWithoutAttIDSPANElement() failed");
    }
    else
    {
        std::string sFileName;
        ci_string csExtension;
        bool bBlocked = false;
        DLContextMenuFlags flags;
        if ((dwRet = GetAttachmentFilename(*m_pFormContext->m_spDom, span, sFileName)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] GetAttachmentFilename() "
                     "failed.");
        else if ((dwRet = GetFileExtensionAndBlockedFlag(sFileName, csExtension, bBlocked)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] "
                     "GetFileExtensionAndBlockedFlag() "
                     "failed.");
        else if ((dwRet = GetDLContextMenuFlags(csExtension, nLevel, bBlocked, flags)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] GetDLContextMenuFlags() "
                     "failed.");
        else
        {
            bIsDirectAttachmentAccessEnabled =
                (flags.bOpenEnabled && flags.bOpenVisible) || (flags.bSaveEnabled && flags.bSaveVisible);
            dwRet = ModifyNormalAttachmentSPANelement(span, sAttID, sFileName, nLevel, bBlocked,
                                                      bIsDirectAttachmentAccessEnabled, flags);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] "
                         "ModifyAttachmentSPANelement() "
                         "failed.");
        }
    }
    TraceLog("[CDLBasicFormWithAttachments::ProcessAttachmentSPANelement] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::GetAttachmentInfo(const CDOMElement& span, int32_t& nLevel,
                                                     std::string& sAttID, bool& bEmbeddedItem,
                                                     bool& bBlockedWithoutID)
{
    nLevel = 0;
    sAttID.clear();
    bEmbeddedItem = false;
    bBlockedWithoutID = false;
    TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] Starts.");
    DWORD dwRet = GetOWAAttachmentLevel(span.getAttribute("level"), nLevel);
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] GetOWAAttachmentLevel() failed.");
    else if (nLevel < 1 || nLevel > 3)
    {
        TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] GetOWAAttachmentLevel() failed. OWA "
                 "attachment level "
                 "is invalid <%d>.",
                 nLevel);
        dwRet = ERROR_INVALID_DATA;
    }
    else if (const CDOMStartTag link = span.getStartTagById("lnkAtmt"); !link.isEmpty())
    {
        const CDOMAttribute href = link.getAttribute("href");
        if (!HasValue(href))
        {
            std::string sTag;
            link.getHTML(sTag);
            TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] HREF attribute is missing <%s>.",
                     sTag.c_str());
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            const std::string sHref = AttributeText(href.getValue());
            const CDOMAttribute onclick = link.getAttribute("onclick");
            if (sHref == "#" && HasValue(onclick))
            {
                bEmbeddedItem = true;
                dwRet = GetAttachmentIDFromEmbeddedItemOnClickAttr(AttributeText(onclick.getValue()), sAttID);
                if (dwRet != ERROR_SUCCESS)
                    TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] "
                             "GetAttachmentIDFromEmbeddedItemOnClick() failed.");
            }
            else
            {
                dwRet = GetLastAttachmentIDFromURL(sHref, sAttID);
                if (dwRet != ERROR_SUCCESS)
                    TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] GetLastAttachmentIDFromURL() "
                             "failed.");
            }
        }
    }
    else if (const CDOMStartTag webReady = span.getStartTagById("wvLnk"); !webReady.isEmpty())
    {
        const CDOMAttribute href = webReady.getAttribute("href");
        const CDOMAttribute onclick = webReady.getAttribute("onclick");
        if (!HasValue(href) || AttributeText(href.getValue()) != "#" || !HasValue(onclick))
        {
            std::string sTag;
            webReady.getHTML(sTag);
            TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] Invalid WebReady link <%s>.",
                     sTag.c_str());
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            dwRet = GetLastAttachmentIDFromWebReadyLinkOnClickAttr(AttributeText(onclick.getValue()), sAttID);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] "
                         "GetLastAttachmentIDFromWebReadyLinkOnClickAttr() failed.");
        }
    }
    else if (nLevel == 1)
    {
        bBlockedWithoutID = true;
        TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] The attachment is blocked by OWA and no "
                 "attachment "
                 "ID is available.");
    }
    else
    {
        TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] This attachment span element neither has "
                 "<%s> or "
                 "<%s> links!.",
                 "lnkAtmt", "wvLnk");
        dwRet = ERROR_INVALID_DATA;
    }
    TraceLog("[CDLBasicFormWithAttachments::GetAttachmentInfo] returned dwRet <%d>. bAttEmbeddedItem <%s> "
             "bAttBlockedByOWAandAttIDNotAvailable <%s>.",
             static_cast<int>(dwRet), YN(bEmbeddedItem), YN(bBlockedWithoutID));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL(const std::string& sURL, std::string& sAttID)
{
    sAttID.clear();
    TraceLog("[CDLBasicFormWithAtachments::GetLastAttachmentIDFromURL] Starts.");
    DWORD dwRet = ERROR_INVALID_DATA;
    const size_t nQuery = sURL.find('?');
    if (nQuery == std::string::npos)
        TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL] Invalid HREF attribute <%s>.",
                 sURL.c_str());
    else
    {
        const std::string sQS = sURL.substr(nQuery);
        std::string sCount;
        int32_t nCount = 0;
        if (!CNotificationsHelper::GetURLParamValue(sURL, "attcnt", sCount))
            TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL] <%s> query string parameter "
                     "was not "
                     "found in QS <%s>.",
                     "attcnt", sQS.c_str());
        else if (sCount.empty())
            TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL] attachment count parameter "
                     "value is "
                     "empty. QS <%s>.",
                     sQS.c_str());
        else if (!ParseIntRadix(sCount, nCount, 10, 0, std::string::npos, false) || nCount <= 0)
            TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL] Invalid attachment count "
                     "parameter "
                     "value <%s>. QS <%s>.",
                     sCount.c_str(), sQS.c_str());
        else
        {
            const std::string sName = "attid" + IntToString(nCount - 1);
            if (!CNotificationsHelper::GetURLParamValue(sURL, sName, sAttID))
                TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL] last attachment ID "
                         "parameter <%s> "
                         "was not found in QS <%s>.",
                         sName.c_str(), sQS.c_str());
            else if (sAttID.empty())
                TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromURL] last attachment ID "
                         "parameter <%s> "
                         "is empty. QS <%s>.",
                         sName.c_str(), sQS.c_str());
            else
                dwRet = ERROR_SUCCESS;
        }
    }
    TraceLog("[CDLBasicFormWithAtachments::GetLastAttachmentIDFromURL] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::GetAttachmentIDFromEmbeddedItemOnClickAttr(const std::string& sOnClick,
                                                                              std::string& sAttID)
{
    static const std::string CALL = "return onClkEmbItem(";
    sAttID.clear();
    TraceLog("[CDLBasicFormWithAtachments::GetAttachmentIDFromEmbeddedItemOnClickAttr] Starts.");
    DWORD dwRet = ERROR_INVALID_DATA;
    const size_t nCall = sOnClick.find(CALL);
    if (nCall == std::string::npos)
        TraceLog("[CDLBasicFormWithAtachments::GetAttachmentIDFromEmbeddedItemOnClickAttr] <%s> not found in "
                 "onClick "
                 "attrib value <%s>.",
                 CALL.c_str(), sOnClick.c_str());
    else
    {
        // The id is the call's last argument: the text after the last "','" before the call's closing "')".
        const size_t nArgs = nCall + CALL.size();
        const size_t nEnd = sOnClick.find("')", nArgs);
        const size_t nSeparator =
            nEnd == std::string::npos ? sOnClick.find("','", nArgs) : sOnClick.rfind("','", nEnd);
        if (nSeparator == std::string::npos || nSeparator < nArgs)
            TraceLog("[CDLBasicFormWithAtachments::GetAttachmentIDFromEmbeddedItemOnClickAttr] The start of "
                     "attachment "
                     "ID <%s> was not found in onClick attrib value <%s>.",
                     "','", sOnClick.c_str());
        else if (nEnd == std::string::npos)
            TraceLog("[CDLBasicFormWithAtachments::GetAttachmentIDFromEmbeddedItemOnClickAttr] The end of "
                     "attachment "
                     "ID <%s> was not found in <%s>.",
                     "')", sOnClick.c_str());
        else if (nEnd == nSeparator + 3)
            TraceLog("[CDLBasicFormWithAtachments::GetAttachmentIDFromEmbeddedItemOnClickAttr] Attachment ID "
                     "is empty "
                     "in <%s>.",
                     sOnClick.c_str());
        else
        {
            sAttID = UrlUnescape(sOnClick.substr(nSeparator + 3, nEnd - nSeparator - 3));
            dwRet = ERROR_SUCCESS;
        }
    }
    TraceLog("[CDLBasicFormWithAtachments::GetAttachmentIDFromEmbeddedItemOnClickAttr] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::GetLastAttachmentIDFromWebReadyLinkOnClickAttr(const std::string& sOnClick,
                                                                                  std::string& sAttID)
{
    sAttID.clear();
    TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromWebReadyLinkOnClickAttr] Starts");
    DWORD dwRet = ERROR_INVALID_DATA;
    const size_t nCall = sOnClick.find("opnWin('");
    const size_t nURL = nCall == std::string::npos ? std::string::npos : nCall + 8;
    const size_t nEnd = nURL == std::string::npos ? std::string::npos : sOnClick.find("')", nURL);
    if (nCall == std::string::npos || nEnd == std::string::npos)
        TraceLog(
            "[CDLBasicFormWithAttachments::GetLastAttachmentIDFromWebReadyLinkOnClickAttr] Invalid onClick "
            "attribute <%s>. <%s> was not found.",
            sOnClick.c_str(), nCall == std::string::npos ? "opnWin('" : "')");
    else if (nEnd == nURL)
        TraceLog(
            "[CDLBasicFormWithAttachments::GetLastAttachmentIDFromWebReadyLinkOnClickAttr] Invalid onClick "
            "attribute <%s>. URL argument is empty.",
            sOnClick.c_str());
    else
    {
        dwRet = GetLastAttachmentIDFromURL(sOnClick.substr(nURL, nEnd - nURL), sAttID);
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::GetLastAttachmentIDFromWebReadyLinkOnClickAttr] "
                     "GetLastAttachmentIDFromURL() failed.");
    }
    TraceLog(
        "[CDLBasicFormWithAttachments::GetLastAttachmentIDFromWebReadyLinkOnClickAttr] returned dwRet <%d>.",
        static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement(
    const CDOMElement& span, const std::string& sAttID, const std::string& sFileName, int32_t /*nLevel*/,
    bool bBlocked, bool bMenuFlag, const DLContextMenuFlags& flags)
{
    TraceLog("[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] Starts");
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    const CDOMSource& dom = *m_pFormContext->m_spDom;
    const CPageEscape& escape = PageEscape();
    // The name as the user reads it, as a script literal: no quote of it can end the literal or the
    // attribute around it. The view link is a javascript: URL, which the browser percent-decodes before it
    // runs it; the mouse-down handler is script as it stands.
    using Context = CPageEscape::Context;
    const std::string sLinkName = escape.EscapeMarkup(Context::JavaScriptUrlString, sFileName);
    const std::string sLinkAttID = escape.JavaScriptUrlString(sAttID);
    const std::string sDisplayName = escape.EscapeMarkup(Context::ScriptString, sFileName);
    const std::string sAttIDLiteral = escape.JSString(sAttID);

    std::string sLink;
    sLink.reserve(128);
    if (!bBlocked)
    {
        sLink += "<a "
                 "href='javascript:f_viewAttachment(((typeof(g_sKSDLItemID)!=\"undefined\")&&(g_sKSDLItemID!="
                 "null))"
                 "?g_sKSDLItemID:g_oKSDLItemIDAttIDs,\"";
        sLink += sLinkAttID;
        sLink += "\",";
        sLink += IntToString(m_nDefaultVisualisation);
        sLink += ",\"";
        sLink += sLinkName;
        sLink += "\");' title=\"";
        sLink += ResourceEscape().EscapeMarkup(Context::HtmlAttribute, m_sViewAttachmentText);
        sLink += "\"><img src=\"";
        sLink += CPageEscape::Utf8().HtmlAttribute(IconURL("Find.GIF"));
        sLink += "\" align='bottom' BORDER='0'></a>";
    }
    else
        sLink = BlockedLinkHtml();
    DWORD dwRet = static_cast<DWORD>(span.getStartTag().insertDataAfter(sLink, pList));
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] inserting binocular HTML "
                 "failed. "
                 "CDOMStartTag::insertDataAfter returned <%d>",
                 static_cast<int>(dwRet));
    else
    {
        std::string sMouseDown;
        sMouseDown.reserve(64);
        sMouseDown += "return f_KSDLOnMouseDown(event,\"";
        sMouseDown += sDisplayName;
        sMouseDown += "\",\"";
        sMouseDown += sAttIDLiteral;
        sMouseDown += "\",\"";
        sMouseDown += bMenuFlag ? HashToDecimalString(sAttID.c_str()) : std::string();
        sMouseDown += "\",";
        const bool abFlags[] = {flags.bOpenVisible, flags.bOpenEnabled, flags.bSaveVisible,
                                flags.bSaveEnabled, flags.bTextVisible, flags.bTextEnabled,
                                flags.bRichVisible, flags.bRichEnabled};
        for (size_t i = 0; i < std::size(abFlags); ++i)
        {
            sMouseDown += abFlags[i] ? "1" : "0";
            sMouseDown += i + 1 < std::size(abFlags) ? "," : ");";
        }

        std::string sAnchor;
        sAnchor.reserve(128);
        if ((m_pFormContext->m_pContext->RequestFlags & RF_MAC_CLIENT) == 0)
            sAnchor +=
                "<a href=\"#\" onclick=\"return f_KSDLOnClick(event);\" oncontextmenu=\"return false;\" "
                "onmousedown='";
        else
            sAnchor +=
                "<a href=\"#\" oncontextmenu=\"return false;\" onclick=\"return f_KSDLOnClick(event);\" "
                "onmousedown='";
        sAnchor += sMouseDown;
        sAnchor += "' onmouseup=\"return f_KSDLOnMouseUp(event);\">";

        const CDOMStartTag link = span.getStartTagById("lnkAtmt");
        if (!link.isEmpty())
        {
            // OWA's own end tag closes the new anchor.
            dwRet = static_cast<DWORD>(dom.deleteData(link.getBeginPos(), link.getLength(), pList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] "
                         "CDOMSource::deleteData() "
                         "failed.");
            else if ((dwRet = static_cast<DWORD>(dom.insertData(link.getBeginPos(), sAnchor, pList))) !=
                     ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] "
                         "CDOMSource::insertData() "
                         "failed.");
        }
        else
        {
            // Without OWA's link the new anchor wraps the icon and the name; an anchor left open would take
            // in the rest of the page.
            const Position nClose = AttachmentLinkEnd(span);
            CDOMStartTag image;
            const CDOMStartTagVector images = span.getStartTagsByTagName("IMG");
            for (size_t i = 0; i < images.length() && image.isEmpty(); ++i)
            {
                if (images.item(i).getEndPos() <= nClose)
                    image = images.item(i);
            }
            if (image.isEmpty())
            {
                TraceLog(
                    "[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] IMG tag was not found "
                    "inside the attachment SPAN element.");
                dwRet = ERROR_INVALID_DATA;
            }
            else if ((dwRet = static_cast<DWORD>(dom.insertData(image.getEndPos(), sAnchor, pList))) !=
                         ERROR_SUCCESS ||
                     (dwRet = static_cast<DWORD>(dom.insertData(nClose, "</a>", pList))) != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] "
                         "CDOMSource::insertData() "
                         "failed.");
        }
    }
    TraceLog("[CDLBasicFormWithAttachments::ModifyNormalAttachmentSPANelement] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement(const CDOMElement& span,
                                                                       int32_t nLevel)
{
    TraceLog("[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] Starts");
    DWORD dwRet = ERROR_SUCCESS;
    if (nLevel != 3)
        TraceLog("[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] Opening embedded item "
                 "attachment "
                 "is not allowed by OWA. No need to modify this attachment.");
    else
    {
        const CDOMStartTag link = span.getStartTagById("lnkAtmt");
        const CDOMAttribute href = link.isEmpty() ? CDOMAttribute() : link.getAttribute("href");
        const CDOMAttribute onclick = link.isEmpty() ? CDOMAttribute() : link.getAttribute("onclick");
        if (link.isEmpty())
        {
            TraceLog(
                "[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] <A id='%s'> tag was not "
                "found.",
                "lnkAtmt");
            dwRet = ERROR_INVALID_DATA;
        }
        else if (!HasValue(href))
        {
            TraceLog("[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] HREF attribute is "
                     "missing or "
                     "empty in <A id='%s'> tag.",
                     "lnkAtmt");
            dwRet = ERROR_INVALID_DATA;
        }
        else if (!HasValue(onclick))
        {
            TraceLog("[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] onClick attribute "
                     "is missing "
                     "or empty in <%s> anchor tag.",
                     "lnkAtmt");
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            const CDOMAttribute title = link.getAttribute("title");
            std::string sLink;
            sLink.reserve(static_cast<size_t>(link.getLength()) + 64);
            // OWA's own handler and link are copied as the page holds them, in their own quotes: read and
            // written again, they would be read in the character set the worker chose, which need not be
            // the browser's, and a backslash that keeps a quote inside OWA's string could be lost.
            sLink += "<a href=";
            sLink += href.getQuotedValue();
            sLink += " onclick=";
            sLink += onclick.getQuotedValue();
            sLink += " title=";
            if (HasValue(title))
                sLink += title.getQuotedValue();
            else
            {
                sLink += '"';
                sLink +=
                    ResourceEscape().EscapeMarkup(CPageEscape::Context::HtmlAttribute, m_sViewAttachmentText);
                sLink += '"';
            }
            sLink += "><img src=\"";
            sLink += CPageEscape::Utf8().HtmlAttribute(IconURL("Find.GIF"));
            sLink += "\" align='bottom' BORDER='0'></a>";
            dwRet = static_cast<DWORD>(
                span.getStartTag().insertDataAfter(sLink, m_pFormContext->m_pcobBufferInstructionList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] inserting "
                         "binocular HTML "
                         "failed. CDOMStartTag::insertDataAfter returned <%d>",
                         static_cast<int>(dwRet));
        }
    }
    TraceLog("[CDLBasicFormWithAttachments::ModifyEmbeddedAttachmentSPANElement] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::ModifyOWABlockedAttachmentWithoutAttIDSPANElement(const CDOMElement& span)
{
    TraceLog("[CDLBasicFormWithAttachments::ModifyOWABlockedAttachmentWithoutAttIDSPANElement] Starts");
    const auto dwRet = static_cast<DWORD>(
        span.getStartTag().insertDataAfter(BlockedLinkHtml(), m_pFormContext->m_pcobBufferInstructionList));
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLBasicFormWithAttachments::ModifyOWABlockedAttachmentWithoutAttIDSPANElement] inserting "
                 "binocular "
                 "HTML failed. CDOMStartTag::insertDataAfter returned <%d>",
                 static_cast<int>(dwRet));
    TraceLog("[CDLBasicFormWithAttachments::ModifyOWABlockedAttachmentWithoutAttIDSPANElement] returned "
             "dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::InsertContextMenu()
{
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    CDOMSource& dom = *m_pFormContext->m_spDom;
    std::string sMenu = "<div id=\"idksdlRMENU\" name=\"idksdlRMENU\" ";
    if ((m_pFormContext->m_pContext->RequestFlags & RF_MAC_CLIENT) == 0)
        sMenu += "oncontextmenu=\"return false\" onClick=\"f_KSDLAttAction(event);\" ";
    else
        sMenu += "onClick=\"f_KSDLAttAction(event);\" oncontextmenu=\"return false\" ";
    sMenu += "onmousedown=\"f_KSDLAttAction(event);\" onkeypress=\"f_KSDLAttAction(event);\" "
             "onkeydown=\"f_KSDLAttAction(event);\" onMouseout=\"f_KSDLcheckOut(event)\" "
             "onMouseover=\"f_KSDLcheckIn(event)\" ";
    sMenu += MENU_STYLE;
    auto dwRet = static_cast<DWORD>(dom.getBody().appendContentData(sMenu, pList));
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLBasicFormWithAttachments::InsertContextMenu] CDOMElement::appendContantData() failed.");
    else
    {
        std::string sInit = SCRIPT_BLOCK_OPEN;
        sInit += "f_KSDLOnLoad()";
        sInit += SCRIPT_BLOCK_CLOSE;
        dwRet = static_cast<DWORD>(dom.getHtml().appendContentData(sInit, pList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormWithAttachments::InsertContextMenu] CDOMElement::appendContentData() "
                     "failed when "
                     "inserting context menu initialization.");
    }
    TraceLog("[CDLBasicFormWithAttachments::InsertContextMenu] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables(
    bool bIsDirectAttachmentAccessEnabledOnThisForm)
{
    TraceLog("[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] started.");
    DWORD dwRet = ERROR_SUCCESS;
    std::string sScript;
    sScript.reserve(512);
    sScript += "\r\n";
    sScript += SCRIPT_BLOCK_OPEN;
    std::unique_ptr<CCachedScriptDecorator> pDecorator;
    if (!Append_InitJSResourceVariables(
            {189, 171, 211, 183, 181, 199, 202, 193, 188, 187, 104, 197, 107, 108, 109, 110}, sScript))
    {
        TraceLog("[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] "
                 "Append_InitJSResourceVariables "
                 "failed.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else if (pDecorator.reset(GetCachedScriptManager(m_pFormContext)); pDecorator == nullptr)
    {
        TraceLog(
            "[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] GetCachedScriptManager() "
            "returned NULL.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
        const DWORD dwFlags = m_pFormContext->m_pContext->RequestFlags;
        const char* pszSavePage = m_bSaveConfirmation                  ? "ks_SaveConf.htm"
                                  : (dwFlags & RF_PREMIUM_CLIENT) != 0 ? "ks_SaveX.htm"
                                                                       : "ks_Save.htm";
        const CDLSWContext* pOwnContext = m_pFormContext->m_pContext->m_pMyOwnContext;
        const CExchangeURL* pURL = m_pFormContext->m_pContext->m_spExchangeURL.Get();
        const auto AppendLine =
            [&](const char* pszName, const std::string& sValue, const char* pszAssign = "=")
        {
            AppendJSStringDeclaration(sScript, pszName, sValue, pszAssign);
            sScript += "\r\n";
        };
        AppendLine("g_szKSDLSavePath", scriptPath.GetCachedScriptPath(pszSavePage, pDecorator.get()));
        AppendLine("g_szKSDLClosePath", scriptPath.GetCachedScriptPath("ks_Close.htm", pDecorator.get()));
        AppendLine("g_szKSDLCancelPath", scriptPath.GetCachedScriptPath("ks_Cancel.htm", pDecorator.get()));
        AppendLine("g_szKSDLMacJavaHelpFilename",
                   scriptPath.GetCachedScriptPath("ks_DLMacJavaHelp.htm", pDecorator.get()));
        sScript += "var g_szKSDLCookie='";
        sScript += CPageEscape::Utf8().JSString(pOwnContext != nullptr ? pOwnContext->m_strCadataCookie
                                                                       : std::string());
        sScript += "';\r\n";
        AppendLine("g_DorvelDir", FromCi(m_pGeneralSettings->m_csVirtualFolderName), " = ");
        AppendLine("g_szRootURL", pURL != nullptr ? pURL->m_strRootURL : std::string(), " = ");
        AppendLine("g_szBasePath", pURL != nullptr ? pURL->m_strBasePath : std::string(), " = ");
        AppendLine("g_szKSCheckLang", FromCi(m_csLanguage), " = ");
        sScript += "var g_SSLOpenAdmin = ";
        sScript += m_bSafeSSLOpen ? "1" : "0";
        sScript += ";\r\nvar g_bKSDLSaveConfirmation = ";
        sScript += m_bSaveConfirmation ? "1" : "0";
        sScript += ";\r\n";
        std::string sBuild;
        std::string sTheme;
        if (!AppendItemIDAndItemIDHashJavaScriptVariable(bIsDirectAttachmentAccessEnabledOnThisForm, sScript))
        {
            TraceLog("[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] "
                     "AppendItemIDAndItemIDHashJavaScriptVariable() failed.");
            dwRet = ERROR_ARENA_TRASHED;
        }
        else if (!GetOWABuildAndCurrentOWAThemeFromCSSLinkTags("basic.css", "basic_owafont.css", sBuild,
                                                               sTheme))
        {
            TraceLog("[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] "
                     "GetOWABuildAndCurrentOWAThemeFromCSSLinkTags() failed.");
            dwRet = ERROR_ARENA_TRASHED;
        }
        else
        {
            AppendLine("g_szKSDLOWABuild", sBuild);
            AppendLine("g_szKSDLCurrentOWATheme", sTheme);
            sScript += SCRIPT_BLOCK_CLOSE;
            sScript += "\r\n";
            dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->getHead().getStartTag().insertDataAfter(
                sScript, m_pFormContext->m_pcobBufferInstructionList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] "
                         "CDOMStartTag::insertDataAfter failed. dwRet <%d>.",
                         static_cast<int>(dwRet));
        }
    }
    TraceLog("[CDLBasicFormWithAttachments::InsertContextMenuJavaScriptVariables] returned. dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}
