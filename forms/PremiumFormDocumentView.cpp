#include "forms/PremiumFormDocumentView.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/BufferEdits.h"
#include "forms/CachedScriptDecorator.h"
#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "request/DLSWContext.h"

#include <map>
#include <memory>
#include <vector>

namespace
{
constexpr const char* HEADER_TABLE_ID = "tblH";
constexpr const char* LIST_TABLE_ID = "tblIL";
constexpr const char* FILE_ROW_ID = "us";
constexpr const char* CONTEXT_MENU_ID = "divVwm";
constexpr const char* MENU_ENTRY_ID = "divS";

constexpr const char* SCRIPT_BLOCK_OPEN = "<script language='javascript'>\r\n//KESTRUNE DORVEL\r\n";
constexpr const char* SCRIPT_BLOCK_CLOSE = "\r\n//KESTRUNE DORVEL\r\n</script>";

// The file-type flags of a row's link.
constexpr int32_t FILE_TYPE_SHAREPOINT_DOCUMENT = 17;
constexpr int32_t FILE_TYPE_UNC_DOCUMENT = 18;

const char* YN(bool b)
{
    return b ? "Y" : "N";
}

const char* Flag(bool b)
{
    return b ? "1" : "0";
}

const char* TemplateOf(const CSWFormContext* pFormContext)
{
    return pFormContext != nullptr ? pFormContext->m_csTemplateName.c_str() : "NULL";
}

void AppendAttribute(std::string& sText, const char* pszName, const std::string& sValue)
{
    sText += pszName;
    sText += "=\"";
    sText += sValue;
    sText += "\" ";
}

bool StartsWithNoCase(const std::string& sText, const char* pszPrefix)
{
    const ci_string csPrefix(pszPrefix);
    return sText.size() >= csPrefix.size() && ToCi(sText.substr(0, csPrefix.size())) == csPrefix;
}
} // namespace

const char* DocumentViewDocumentTypeName(int32_t eType)
{
    switch (eType)
    {
    case DOCUMENT_VIEW_UNC:
        return "UNC";
    case DOCUMENT_VIEW_SHAREPOINT:
        return "Sharepoint";
    default:
        return "unknown";
    }
}

CDLPremiumFormDocumentView::CDLPremiumFormDocumentView(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithFiles(pFormContext, bMostDerived)
{
}

void CDLPremiumFormDocumentView::LogProcessEnd(const char* pszClass, const char* pszTemplate, DWORD dwRet)
{
    TraceLog("[%s::Process] %s", pszClass, std::string(76, '*').c_str());
    TraceLog("[%s::Process] *** Modifying <%s> form %s! ***", pszClass, pszTemplate,
             dwRet != ERROR_SUCCESS ? "FAILED" : "SUCCEEDED");
    TraceLog("[%s::Process] %s", pszClass, std::string(75, '*').c_str());
    TraceLog("[%s::Process] method returned: %lu", pszClass, static_cast<unsigned long>(dwRet));
}

std::string CDLPremiumFormDocumentView::PageText(const std::string& sText) const
{
    // Texts come escaped or not depending on how the library converted them: read as text first, then
    // escaped once.
    return ResourceEscape().EscapeMarkup(CPageEscape::Context::HtmlAttribute, sText);
}

DWORD CDLPremiumFormDocumentView::ProcessFileList(const CDOMElement& header, const CDOMElement& list)
{
    TraceLog("[CDLPremiumFormDocumentView::ProcessFileList] Starts.");
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMStartTag headerRow = header.getFirstStartTagByTagName("TR");
    if (headerRow.isEmpty())
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog(
            "[CDLPremiumFormDocumentView::ProcessFileList] <TR> strat tag inside <TABLE id='%s'> element was "
            "not found.",
            HEADER_TABLE_ID);
    }
    // The header's cell goes right behind its row's start tag, once: the tag's end is a position of the
    // response already, the address adds the data's start to it.
    else if ((dwRet = static_cast<DWORD>(
                  headerRow.insertDataAfter("<td style=\"width:24;\"></td>", pList))) != ERROR_SUCCESS)
        TraceLog("[CDLPremiumFormDocumentView::ProcessFileList] CDOMStartTag::insertDataAfter() failed.");
    else if ((dwRet = static_cast<DWORD>(
                  list.getStartTag().insertDataAfter("<col style=\"width:24\">", pList))) != ERROR_SUCCESS)
        TraceLog("[CDLPremiumFormDocumentView::ProcessFileList] CDOMStartTag::insertDataAfter() failed when "
                 "inserting <col> element for DL binocular.");
    else
    {
        const CDOMElementVector rows = list.getElementsByTagName("TR");
        for (size_t i = 0; i < rows.length(); ++i)
        {
            const CDOMElement row = rows.item(i);
            const CDOMAttribute id = row.getAttribute("id");
            if (id.isEmpty() || !id.hasValue() || id.getValue() != FILE_ROW_ID)
                continue;
            dwRet = ProcessFileRowElement(row);
            if (dwRet != ERROR_SUCCESS)
            {
                TraceLog("[CDLPremiumFormDocumentView::ProcessFileList] ProcessFileRowElement() failed.");
                break;
            }
        }
    }
    TraceLog("[CDLPremiumFormDocumentView::ProcessFileList] returned dwRet <%d>.", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormDocumentView::ProcessFileRowElement(const CDOMElement& row)
{
    TraceLog("[CDLPremiumFormDocumentView::ProcessFileRowElement] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMStartTag link = row.getFirstStartTagByTagName("A");
    const CDOMAttribute flags = link.isEmpty() ? CDOMAttribute() : link.getAttribute("t");
    std::string sFlags;
    int32_t nFlags = 0;
    if (link.isEmpty())
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog("[CDLPremiumFormDocumentView::ProcessFileRowElement] <A> element was not found.");
    }
    else if (flags.isEmpty() || !flags.hasValue())
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog(
            "[CDLPremiumFormDocumentView::ProcessFileRowElement] <A> element's '%s' attribute doesn't exist "
            "or it is empty.",
            "t");
    }
    else if (flags.getValue(sFlags),
             !ParseIntRadix(sFlags, nFlags, 10, 0, std::string::npos, false) || (nFlags & 0x3) == 0)
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog("[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid file type flags value <%s>.",
                 sFlags.c_str());
    }
    else
    {
        switch (nFlags)
        {
        case 5:
        case 6:
        case 33:
        case 34:
            dwRet = static_cast<DWORD>(
                link.insertDataAfter("<td nowrap></td>", m_pFormContext->m_pcobBufferInstructionList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog(
                    "[CDLPremiumFormDocumentView::ProcessFileRowElement] CDOMStartTag::insertDataAfter() "
                    "failed.");
            break;
        case FILE_TYPE_SHAREPOINT_DOCUMENT:
        case FILE_TYPE_UNC_DOCUMENT:
            dwRet = ProcessDocumentViewDocument(
                link, nFlags == FILE_TYPE_SHAREPOINT_DOCUMENT ? DOCUMENT_VIEW_SHAREPOINT : DOCUMENT_VIEW_UNC);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormDocumentView::ProcessFileRowElement] ProcessDocumentViewDocument() "
                         "failed.");
            break;
        default:
            dwRet = ERROR_INVALID_DATA;
            TraceLog(
                "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid filetype flags attrib value "
                "<%d>.",
                nFlags);
            break;
        }
    }
    TraceLog("[CDLPremiumFormDocumentView::ProcessFileRowElement] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

std::string CDLPremiumFormDocumentView::BuildViewCell(const std::string& sFilePath,
                                                      const std::string& sFileName, bool bBlocked,
                                                      int32_t eType) const
{
    const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
    std::string sCell;
    sCell.reserve(128);
    if (bBlocked)
    {
        sCell += "<td id=_KSDLBlockedDocTD nowrap><a id=_KSDLBlockedDocA onDblClick=\"return false;\" "
                 "onClick='javascript:f_ShowExtBlockedMsg();' title=\"";
        sCell += PageText(m_sAttachmentBlockedText);
        sCell += "\" onMouseOver=\"this.style.cursor='hand';\"><img id=_KSDLBlockedDocIMG src=\"";
        sCell += scriptPath.GetScriptPath("Find_Blocked.GIF");
        sCell += "\" align='bottom' BORDER='0'></a></td>";
        return sCell;
    }
    // The path and the name are the document's, whatever they hold: each stays one string literal of the
    // call, and the literal holds no quote that could end the attribute around it.
    const CPageEscape& escape = CPageEscape::Utf8();
    sCell += "<td id=_KSDLViewDocTD nowrap><a id=_KSDLViewDocA onDblClick=\"return false;\" "
             "onClick='javascript:f_viewAttachment(\"";
    sCell += escape.JSString(sFilePath);
    sCell += "\",";
    sCell += IntToString(m_nDefaultVisualisation);
    sCell += ",\"";
    sCell += escape.JSString(sFileName);
    sCell += "\",\"";
    sCell += eType == DOCUMENT_VIEW_SHAREPOINT ? "wss" : "unc";
    sCell += "\");' title=\"";
    sCell += PageText(m_sViewAttachmentText);
    sCell += "\" onMouseOver=\"this.style.cursor='hand';\"><img id=_KSDLViewDocIMG src=\"";
    sCell += scriptPath.GetScriptPath("Find.GIF");
    sCell += "\" align='bottom' BORDER='0'></a></td>";
    return sCell;
}

DWORD CDLPremiumFormDocumentView::ProcessDocumentViewDocument(const CDOMStartTag& link, int32_t eType)
{
    TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] Started.");
    const DWORD dwRet = [&]() -> DWORD
    {
        const CDOMAttribute id = link.getAttribute("id");
        if (id.isEmpty() || !id.hasValue() || id.getValue().empty())
        {
            TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] <A> element's '%s' attribute "
                     "doesn't exist or it is empty.",
                     "id");
            return ERROR_INVALID_DATA;
        }
        // The path as the browser reads it from the page, so that the hash written here is the one the
        // download's "URL" parameter gives.
        std::string sFilePath = CHtmlText::DecodeCharacterReferences(id.getValue(), PageEscape());
        // The same path as characters, in UTF-8: what the viewer's scripts and attributes get, whatever the
        // page's set can hold.
        std::string sPathText;
        for (const char32_t c : CHtmlText::DecodeCharacterReferences(PageEscape().Decode(id.getValue())))
            CHtmlText::AppendUtf8(sPathText, c);
        // Blanks and the "b" of the kind around the path; false for a kind not known.
        const auto Shape = [eType](std::string& sPath)
        {
            TrimChars(sPath, " \r\n\t");
            if (eType == DOCUMENT_VIEW_UNC)
            {
                if (StartsWithNoCase(sPath, "bfile://"))
                    sPath.erase(0, 1);
            }
            else if (eType == DOCUMENT_VIEW_SHAREPOINT)
            {
                if (StartsWithNoCase(sPath, "bhttp://") || StartsWithNoCase(sPath, "bhttps://"))
                    sPath.erase(0, 1);
            }
            else
                return false;
            return true;
        };
        Shape(sPathText);
        if (!Shape(sFilePath))
        {
            TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] Invalid document type <%d>.",
                     eType);
            return ERROR_INVALID_DATA;
        }
        if (sFilePath.empty())
        {
            std::string sHtml;
            link.getHTML(sHtml);
            TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] %s File path is empty. %s ",
                     DocumentViewDocumentTypeName(eType), sHtml.c_str());
            return ERROR_INVALID_DATA;
        }
        const size_t nSlash = sFilePath.rfind('/');
        const std::string sFileName = nSlash == std::string::npos ? sFilePath : sFilePath.substr(nSlash + 1);
        const size_t nTextSlash = sPathText.rfind('/');
        const std::string sNameText =
            nTextSlash == std::string::npos ? sPathText : sPathText.substr(nTextSlash + 1);
        if (sFileName.empty())
        {
            TraceLog(
                "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] Filename is empty. %s File path "
                "<%s>.",
                DocumentViewDocumentTypeName(eType), sFilePath.c_str());
            return ERROR_INVALID_DATA;
        }
        ci_string csExtension;
        bool bBlocked = false;
        DWORD dwCode = GetFileExtensionAndBlockedFlag(sFileName, csExtension, bBlocked);
        if (dwCode != ERROR_SUCCESS)
        {
            TraceLog(
                "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] GetFileExtensionAndBlockedFlag() "
                "failed. sFilename <%s>.",
                sFileName.c_str());
            return dwCode;
        }
        TraceLog(
            "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] %s File path <%s>; filename <%s>; "
            "extension <%s>; extension blocked by DL? <%s>.",
            DocumentViewDocumentTypeName(eType), sFilePath.c_str(), sFileName.c_str(), csExtension.c_str(),
            YN(bBlocked));
        dwCode = static_cast<DWORD>(link.insertDataAfter(BuildViewCell(sPathText, sNameText, bBlocked, eType),
                                                         m_pFormContext->m_pcobBufferInstructionList));
        if (dwCode != ERROR_SUCCESS)
        {
            TraceLog(
                "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] CDOMStartTag::insertDataAfter() "
                "failed.");
            return dwCode;
        }
        OWAFileAccessLevel nLevel = OWA_ACCESS_NOT_DETERMINED;
        dwCode = m_pGeneralSettings->GetOWAFileAccessLevel(
            csExtension, (m_pFormContext->m_pContext->RequestFlags & RF_FBA_PUBLIC_CLIENT) != 0, nLevel);
        if (dwCode != ERROR_SUCCESS)
        {
            TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] "
                     "CDLSWGeneralSettings::GetOWAFileAccessLevel() failed.");
            return dwCode;
        }
        if (nLevel != OWA_ACCESS_BLOCKED && nLevel != OWA_ACCESS_FORCE_SAVE && nLevel != OWA_ACCESS_ALLOWED)
        {
            TraceLog(
                "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] OWA File Access Level is invalid "
                "<%d>.",
                nLevel);
            return ERROR_INVALID_DATA;
        }
        TraceLog(
            "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] extension <%s> OWA File Access Level "
            "<%d> <%s>.",
            csExtension.c_str(), nLevel, OWAFileAccessLevelName(nLevel));
        dwCode = AddDLContextMenuAttributesToFileLinkElement(link, sFilePath, sNameText, csExtension, nLevel,
                                                             bBlocked, eType);
        if (dwCode != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] "
                     "AddDLContextMenuAttributesToFileLinkElement() failed.");
        return dwCode;
    }();
    TraceLog("[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] returned <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement(
    const CDOMStartTag& link, const std::string& sFilePath, const std::string& sFileName,
    const ci_string& csExtension, OWAFileAccessLevel nLevel, bool bBlocked, int32_t eType)
{
    TraceLog("[CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement] Starts.");
    std::string sText;
    sText.reserve(256);
    sText += ' ';
    DLContextMenuFlags flags;
    DWORD dwRet = GetDLContextMenuFlags(csExtension, nLevel, bBlocked, flags);
    if (dwRet != ERROR_SUCCESS)
        TraceLog("[CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement] "
                 "GetDLContextMenuFlags() failed.");
    else
    {
        AppendAttribute(sText, "_KSDLOpenVisible", Flag(flags.bOpenVisible));
        AppendAttribute(sText, "_KSDLOpenEnabled", Flag(flags.bOpenEnabled));
        AppendAttribute(sText, "_KSDLSaveVisible", Flag(flags.bSaveVisible));
        AppendAttribute(sText, "_KSDLSaveEnabled", Flag(flags.bSaveEnabled));
        AppendAttribute(sText, "_KSDLTextVisible", Flag(flags.bTextVisible));
        AppendAttribute(sText, "_KSDLTextEnabled", Flag(flags.bTextEnabled));
        AppendAttribute(sText, "_KSDLRichVisible", Flag(flags.bRichVisible));
        AppendAttribute(sText, "_KSDLRichEnabled", Flag(flags.bRichEnabled));
        AppendAttribute(sText, "_KSDLFilename", CPageEscape::Utf8().HtmlAttribute(sFileName));
        if ((flags.bOpenVisible && flags.bOpenEnabled) || (flags.bSaveVisible && flags.bSaveEnabled))
        {
            // The download's "URL" parameter carries this path; the check of the download hashes it alike.
            AppendAttribute(sText, "_KSDLFileIDHash", HashToDecimalString(sFilePath.c_str()));
            if (nLevel == OWA_ACCESS_FORCE_SAVE)
            {
                if (eType == DOCUMENT_VIEW_UNC)
                {
                    std::string sForceSaveID = sFilePath + "?UriFlags=UncDocument";
                    if (!Base64EncodeInPlace(sForceSaveID))
                    {
                        dwRet = ERROR_ARENA_TRASHED;
                        TraceLog("[CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement] "
                                 "CStringOperation::Encode64() failed.");
                    }
                    else
                        AppendAttribute(sText, "_KSDLOWAForceSaveID", sForceSaveID);
                }
                else if (eType == DOCUMENT_VIEW_SHAREPOINT)
                    AppendAttribute(sText, "_KSDLOWAForceSaveID", "unresolved");
                else
                {
                    dwRet = ERROR_INVALID_DATA;
                    TraceLog(
                        "[CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement] Invalid "
                        "DocumentView document type: <%d>.",
                        eType);
                }
            }
        }
        if (dwRet == ERROR_SUCCESS)
        {
            // Just before the tag's closing ">".
            dwRet = InsertHtmlStringAtPosition(
                AddressOf(m_pFormContext->m_spDom->getSource().Get(), link.getEndPos()) - 1, sText.c_str(),
                m_pFormContext->m_pcobBufferInstructionList);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement] "
                         "CUtil::InsertHtmlStringAtPosition() failed.");
        }
    }
    TraceLog("[CDLPremiumFormDocumentView::AddDLContextMenuAttributesToFileLinkElement] returned <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

CDLPremiumFormGETDocumentView::CDLPremiumFormGETDocumentView(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormDocumentView(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormGETDocumentView", "Starts");
    CheckPageElements("CDLPremiumFormGETDocumentView");
    LogConstructorEnd("CDLPremiumFormGETDocumentView", false);
}

DWORD CDLPremiumFormGETDocumentView::Process()
{
    TraceLog("[CDLPremiumFormGETDocumentView::Process] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        CDOMSource& dom = *m_pFormContext->m_spDom;
        const CDOMElement& body = dom.getBody();
        const CDOMElement header = body.getElementById(HEADER_TABLE_ID);
        const CDOMElement list = body.getElementById(LIST_TABLE_ID);
        if (list.isEmpty())
            TraceLog(
                "[CDLPremiumFormGETDocumentView::Process] <TABLE id='%s'> element was not found. The list of "
                "files is empty.",
                LIST_TABLE_ID);
        else if (header.isEmpty())
        {
            dwRet = ERROR_INVALID_DATA;
            TraceLog(
                "[CDLPremiumFormGETDocumentView::Process] File list header <TABLE id='%s'> element was not "
                "found.",
                HEADER_TABLE_ID);
        }
        else
        {
            const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
            for (const char* pszScript : {"ks_dlHelper.js", "ks_dlBase64.js", "ks_dlPremiumDocumentView.js"})
            {
                dwRet = AddExternalScript(m_pFormContext, pszScript, SCRIPT_LINK_SCRIPT, scriptPath, true);
                if (dwRet != ERROR_SUCCESS)
                {
                    TraceLog("[CDLPremiumFormGETDocumentView::Process] InsertScriptLink failed.");
                    break;
                }
            }
            for (const char* pszScript : {"clistview.js", "uview.js"})
            {
                if (dwRet != ERROR_SUCCESS)
                    break;
                dwRet = PrefixLinkedScripts(m_pFormContext, pszScript, true);
                if (dwRet != ERROR_SUCCESS)
                    TraceLog("[CDLPremiumFormGETDocumentView::Process] PrefixLinkedScripts failed.");
            }
            if (dwRet == ERROR_SUCCESS && (dwRet = ProcessFileList(header, list)) != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormGETDocumentView::Process] ProcessFileList() failed.");
            if (dwRet == ERROR_SUCCESS && (dwRet = InsertJavaScriptVariables()) != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormGETDocumentView::Process] InsertJavaScriptVariables failed.");
            if (dwRet == ERROR_SUCCESS && (dwRet = InsertDLItemsToContextMenu()) != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormGETDocumentView::Process] InsertDLItemsToContextMenu failed.");
        }
    }
    catch (const CDOMParserException& e)
    {
        dwRet = ERROR_ARENA_TRASHED;
        TraceLog("[CDLPremiumFormGETDocumentView::Process] Exception <%s> nPos <%d>.", e.getMessage().c_str(),
                 static_cast<int>(e.getPos()));
    }
    LogProcessEnd("CDLPremiumFormGETDocumentView", TemplateOf(m_pFormContext), dwRet);
    return dwRet;
}

DWORD CDLPremiumFormGETDocumentView::InsertJavaScriptVariables()
{
    TraceLog("[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] started.");
    const CPageEscape& escape = PageEscape();
    std::string sScript;
    sScript.reserve(512);
    // Every value goes in as a string literal, whatever the request, the page or the settings hold.
    const auto Declare = [&](const char* pszDeclaration, const std::string& sValue, const char* pszClose)
    {
        sScript += pszDeclaration;
        sScript += escape.JSString(sValue);
        sScript += pszClose;
    };
    const auto DeclareFlag = [&](const char* pszDeclaration, bool bValue)
    {
        sScript += pszDeclaration;
        sScript += bValue ? "1" : "0";
        sScript += ";\r\n";
    };
    const DWORD dwRet = [&]() -> DWORD
    {
        sScript += "\r\n";
        sScript += SCRIPT_BLOCK_OPEN;
        if (!Append_InitJSResourceVariables({189, 171, 211, 183, 181, 199, 202, 193, 188, 187, 104}, sScript))
        {
            TraceLog(
                "[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] Append_InitJSResourceVariables "
                "failed.");
            return ERROR_ARENA_TRASHED;
        }
        Declare("var g_Extensions = \"", FromCi(m_csDLBlockedExtensions), "\";\r\n");
        sScript += "var g_oExtensions = new Array();\r\ng_oExtensions = g_Extensions.split(\";\");\r\n";
        const std::unique_ptr<CCachedScriptDecorator> spDecorator(GetCachedScriptManager(m_pFormContext));
        if (!spDecorator)
        {
            TraceLog("[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] GetCachedScriptManager() "
                     "returned NULL.");
            return ERROR_ARENA_TRASHED;
        }
        const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
        Declare("var g_szKSDLSavePath=\"",
                scriptPath.GetCachedScriptPath(m_bSaveConfirmation ? "ks_SaveConf.htm" : "ks_SaveX.htm",
                                               spDecorator.get()),
                "\";\r\n");
        Declare("var g_szKSDLClosePath=\"", scriptPath.GetCachedScriptPath("ks_Close.htm", spDecorator.get()),
                "\";\r\n");
        Declare("var g_szKSDLCancelPath=\"",
                scriptPath.GetCachedScriptPath("ks_Cancel.htm", spDecorator.get()), "\";\r\n");
        const CDLLContext* pContext = m_pFormContext->m_pContext;
        Declare("var g_szKSDLCookie='",
                pContext->m_pMyOwnContext != nullptr ? pContext->m_pMyOwnContext->m_strCadataCookie
                                                     : std::string(),
                "';\r\n");
        Declare("var g_DorvelDir = \"", FromCi(m_pGeneralSettings->m_csVirtualFolderName), "\";\r\n");
        Declare("var g_szRootURL = \"", pContext->m_spExchangeURL->m_strRootURL, "\";\r\n");
        Declare("var g_szBasePath = \"", pContext->m_spExchangeURL->m_strBasePath, "\";\r\n");
        Declare("var g_szKSCheckLang = \"", FromCi(m_csLanguage), "\";\r\n");
        DeclareFlag("var g_SSLOpenAdmin = ", m_bSafeSSLOpen);
        DeclareFlag("var g_iKSDLEnableOWAWebReady = ", m_bOWAWebReadyEnabled);
        DeclareFlag("var g_bKSDLSaveConfirmation = ", m_bSaveConfirmation);
        std::string sBuild;
        std::string sTheme;
        if (!GetOWABuildAndCurrentOWAThemeFromCSSLinkTags("premium.css", "owafont.css", sBuild, sTheme))
        {
            TraceLog("[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] "
                     "GetOWABuildAndCurrentOWAThemeFromCSSLinkTags() failed.");
            return ERROR_ARENA_TRASHED;
        }
        Declare("var g_szKSDLOWABuild=\"", sBuild, "\";\r\n");
        Declare("var g_szKSDLCurrentOWATheme=\"", sTheme, "\";\r\n");
        sScript += SCRIPT_BLOCK_CLOSE;
        sScript += "\r\n";
        const auto dwCode =
            static_cast<DWORD>(m_pFormContext->m_spDom->getHead().getStartTag().insertDataAfter(
                sScript, m_pFormContext->m_pcobBufferInstructionList));
        if (dwCode != ERROR_SUCCESS)
            TraceLog(
                "[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] CDOMStartTag::insertDataAfter "
                "failed. dwRet <%d>.",
                static_cast<int>(dwCode));
        return dwCode;
    }();
    TraceLog("[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] returned. dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu()
{
    TraceLog("[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] Starts");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMElement menu = m_pFormContext->m_spDom->getBody().getElementById(CONTEXT_MENU_ID);
    const CDOMStartTag entry = menu.isEmpty() ? CDOMStartTag() : menu.getStartTagById(MENU_ENTRY_ID);
    std::map<int, ci_string> mapTexts;
    if (menu.isEmpty())
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog("[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] CDOMElement::getElementById() "
                 "failed "
                 "when searching for <div id='%s'> element.",
                 CONTEXT_MENU_ID);
    }
    else if (entry.isEmpty())
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog("[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] CDOMElement::getStartTagById() "
                 "failed when searching for <div id='%s'>.",
                 MENU_ENTRY_ID);
    }
    else if (!m_pGeneralSettings->GetResources({108, 109, 110}, mapTexts, ResourceMode(), m_wLangID,
                                               ToCi(m_sCharSet)))
    {
        dwRet = ERROR_ARENA_TRASHED;
        TraceLog(
            "[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] CDLSWGeneralSettings::GetResources "
            "failed.");
    }
    else
    {
        const struct
        {
            int m_nID;
            const char* m_pszFallback;
            const char* m_pszIdAndCommand;
        } aItems[] = {
            {108, "Save", "id=divKSDLSave cmd=\"ksdlsave\""},
            {109, "Text", "id=divKSDLText cmd=\"ksdltext\""},
            {110, "Rich", "id=divKSDLRich cmd=\"ksdlrich\""},
        };
        std::string sItems;
        sItems.reserve(256);
        for (const auto& item : aItems)
        {
            std::string sText;
            if (!ResourceID2String(mapTexts, item.m_nID, sText))
                sText = item.m_pszFallback;
            sItems += "<div _lnk=1 class=\"cmLnk\" ";
            sItems += item.m_pszIdAndCommand;
            sItems += "><span class=cmPn id=spnImg></span><span id=spnT>";
            sItems += PageText(sText);
            sItems += "</span></div>";
        }
        dwRet =
            static_cast<DWORD>(entry.insertDataBefore(sItems, m_pFormContext->m_pcobBufferInstructionList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] "
                     "CDOMStartTag::insertDataBefore() "
                     "failed.");
    }
    TraceLog("[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

CDLPremiumFormPOSTDocumentViewSort::CDLPremiumFormPOSTDocumentViewSort(CSWFormContext* pFormContext,
                                                                       int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormDocumentView(pFormContext, bMostDerived)
{
}

DWORD CDLPremiumFormPOSTDocumentViewSort::Process()
{
    TraceLog("[CDLPremiumFormPOSTDocumentViewSort::Process] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        const CDOMSource& dom = *m_pFormContext->m_spDom;
        const CDOMElement header = dom.getElementById(HEADER_TABLE_ID);
        const CDOMElement list = dom.getElementById(LIST_TABLE_ID);
        if (list.isEmpty())
            TraceLog(
                "[CDLPremiumFormPOSTDocumentViewSort::Process] <TABLE id='%s'> element was not found. The "
                "list of files is empty.",
                LIST_TABLE_ID);
        else if (header.isEmpty())
        {
            dwRet = ERROR_INVALID_DATA;
            TraceLog(
                "[CDLPremiumFormPOSTDocumentViewSort::Process] File list header <TABLE id='%s'> element was "
                "not found.",
                HEADER_TABLE_ID);
        }
        else if ((dwRet = ProcessFileList(header, list)) != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormPOSTDocumentViewSort::Process] ProcessFileList() failed.");
    }
    catch (const CDOMParserException& e)
    {
        dwRet = ERROR_ARENA_TRASHED;
        TraceLog("[CDLPremiumFormPOSTDocumentViewSort::Process] Exception <%s> nPos <%d>.",
                 e.getMessage().c_str(), static_cast<int>(e.getPos()));
    }
    LogProcessEnd("CDLPremiumFormPOSTDocumentViewSort", "DLPremiumFormPOSTDocumentViewSort", dwRet);
    return dwRet;
}
