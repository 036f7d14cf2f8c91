#include "forms/SWForm.h"

#include "common/TraceLog.h"
#include "contract/CountedPtr.h"
#include "contract/DLLContext.h"
#include "forms/CachedScriptDecorator.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "htmlparser/Source.h"
#include "request/IISParm.h"

namespace
{
// A request header as the web server's filter context reads it ("HEADER_" and the header's name); empty
// when there is none or no filter context to ask.
std::string ReadServerVariable(CDLLContext* pContext, const char* pszName)
{
    std::string sValue;
    if (pContext != nullptr && pContext->pfc != nullptr)
        GetIISParmT(pContext->pfc, pContext->pfc->GetServerVariable, pszName, sValue);
    return sValue;
}

// The caching prefix comes from a request header and is joined into script URLs: it must name a place
// inside the worker's script folder. Only letters, digits, '-', '_' and '/' pass, never a '/' at the start
// nor an empty folder, so no value reaches another host, the server's root or a parent folder.
bool StaysInScriptFolder(const std::string& sPrefix)
{
    if (sPrefix.front() == '/' || sPrefix.find("//") != std::string::npos)
        return false;
    for (char c : sPrefix)
    {
        const bool bLetterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!bLetterOrDigit && c != '-' && c != '_' && c != '/')
            return false;
    }
    return true;
}

CDOMSource& DomOf(CSWFormContext* pFormContext)
{
    if (pFormContext->m_spDom.IsNull())
        throw CDOMParserUndefinedObjectException("CSWForm : pFormContext->m_spDom is 0");
    return *pFormContext->m_spDom;
}
} // namespace

DWORD CSWForm::PrefixLinkedScripts(CSWFormContext* pFormContext, const std::string& sFileName,
                                   const CCachedScriptDecorator* pDecorator, bool bInHead)
{
    DWORD dwRet = ERROR_SUCCESS;
    if (pFormContext == nullptr)
    {
        TraceLog("[CSWForm::PrefixLinkedScripts] Error: Invalid parameter: pFormContext is null!");
        dwRet = ERROR_INVALID_DATA;
    }
    else if (sFileName.empty())
    {
        TraceLog("[CSWForm::PrefixLinkedScripts] Error: Invalid parameter: csFileName is empty!");
        dwRet = ERROR_INVALID_DATA;
    }
    else if (pDecorator == nullptr)
    {
        TraceLog("[CSWForm::PrefixLinkedScripts] Error: Invalid parameter: csm is not initialized!");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        // The prefix comes from a request header: inside the src it stays a path.
        const std::string sPrefix = CPageEscape::UrlComponent(pDecorator->Decorate(), "/");
        CDOMSource& dom = DomOf(pFormContext);
        const CDOMElement& scope = bInHead ? dom.getHead() : dom.getHtml();
        const CDOMStartTagVector scripts = scope.getStartTagsByTagName("SCRIPT");
        const CSource* pSource = dom.getSource().Get();
        bool bFound = false;
        for (size_t i = 0; i < scripts.length() && !bFound; ++i)
        {
            const CDOMAttribute src = scripts.item(i).getAttribute("src");
            if (src.isEmpty())
                continue;
            const Position nValueBegin = src.getValueBeginPos();
            if (nValueBegin == NPOS)
                continue;
            const Position nFound =
                CDOMSource::scanWindow(pSource, sFileName, nValueBegin, src.getValueEndPos());
            if (nFound == NPOS)
                continue;
            bFound = true;
            dwRet = static_cast<DWORD>(src.insertValueData(nFound - nValueBegin, sPrefix,
                                                           pFormContext->m_pcobBufferInstructionList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CSWForm::PrefixLinkedScripts] Error: InsertHtmlStringAtPosition failed with "
                         "error: <%lu> !",
                         static_cast<unsigned long>(dwRet));
        }
        if (!bFound)
        {
            TraceLog("[CSWForm::PrefixLinkedScripts] Error: File name: <%s> not found!", sFileName.c_str());
            dwRet = ERROR_BAD_FORMAT;
        }
    }
    TraceLog("[CCalForm:PrefixLinkedFiles] Done! dwRet : <%lu>", static_cast<unsigned long>(dwRet));
    return dwRet;
}

DWORD CSWForm::PrefixLinkedScripts(CSWFormContext* pFormContext, const std::string& sFileName, bool bInHead)
{
    CCountedPtr<CCachedScriptDecorator> spDecorator(GetCachedScriptManager(pFormContext));
    if (spDecorator.IsNull())
        return ERROR_INVALID_DATA;
    return PrefixLinkedScripts(pFormContext, sFileName, spDecorator.Get(), bInHead);
}

DWORD CSWForm::AddExternalScript(CSWFormContext* pFormContext, const std::string& sFileName, DWORD dwKind,
                                 const CSWFormScriptPath& scriptPath, bool bUseCached)
{
    TraceLog("[CSWForm::InsertScriptLink] Start ");
    DWORD dwRet = ERROR_SUCCESS;
    if (sFileName.empty())
    {
        TraceLog("[CSWForm::InsertScriptLink] csFileName paramter not found");
        dwRet = ERROR_BAD_FORMAT;
    }
    else
    {
        std::string sURL;
        if (bUseCached)
        {
            CCountedPtr<CCachedScriptDecorator> spDecorator(GetCachedScriptManager(pFormContext));
            if (spDecorator.IsNull())
                TraceLog("[CSWForm::InsertScriptLink] Error: failed to initialize script manager ");
            else
                sURL = scriptPath.GetCachedScriptPath(sFileName, spDecorator.Get());
        }
        else
        {
            sURL = scriptPath.GetScriptPath(sFileName);
        }
        dwRet = InsertScriptLinkImpl(pFormContext, sURL, dwKind);
    }
    TraceLog("[CCalForm:AddExternalScript] Done! dwRet : <%lu>", static_cast<unsigned long>(dwRet));
    return dwRet;
}

DWORD CSWForm::InsertScriptLink(CSWFormContext* pFormContext, const std::string& sScriptPath, DWORD dwKind)
{
    return InsertScriptLinkImpl(pFormContext, sScriptPath, dwKind);
}

DWORD CSWForm::InsertScriptLinkImpl(CSWFormContext* pFormContext, const std::string& sScriptPath,
                                    DWORD dwKind)
{
    TraceLog("[CSWForm::InsertScriptLink] Start, path: %s", sScriptPath.c_str());
    DWORD dwRet = ERROR_SUCCESS;
    if (sScriptPath.empty())
    {
        TraceLog("[CSWForm::InsertScriptLink] csScriptPath paramter not found");
        dwRet = ERROR_BAD_FORMAT;
    }
    else
    {
        const std::string sURL = CPageEscape::Utf8().HtmlAttribute(sScriptPath);
        std::string sMarkup;
        sMarkup.reserve(256);
        if (dwKind == SCRIPT_LINK_SCRIPT)
        {
            sMarkup += "<SCRIPT language=\"javascript\" src=\"";
            sMarkup += sURL;
            sMarkup += "\"></SCRIPT>\n";
        }
        else
        {
            sMarkup += "<LINK rel=\"stylesheet\" type=\"text/css\" href=\"";
            sMarkup += sURL;
            sMarkup += "\">\n";
        }
        dwRet =
            static_cast<DWORD>(DomOf(pFormContext)
                                   .getHead()
                                   .appendContentData(sMarkup, pFormContext->m_pcobBufferInstructionList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CSWForm::InsertScriptLink] Error: InsertHtmlStringAtPosition for script failed!");
    }
    TraceLog("[CCalForm:InsertScriptLink] Done! dwRet : <%lu>", static_cast<unsigned long>(dwRet));
    return dwRet;
}

CCachedScriptDecorator* CSWForm::GetCachedScriptManager(CSWFormContext* pFormContext)
{
    std::string sPrefix = ReadServerVariable(pFormContext != nullptr ? pFormContext->m_pContext : nullptr,
                                             "HEADER_KS_CSMPREFIX");
    if (!sPrefix.empty() && !StaysInScriptFolder(sPrefix))
    {
        TraceLog("[CSWForm::GetCachedScriptManager] Error: HEADER_KS_CSMPREFIX <%s> could leave the script "
                 "folder, refused !",
                 sPrefix.c_str());
        sPrefix.clear();
    }
    if (sPrefix.empty())
    {
        TraceLog("[CSWForm::PrefixLinkedScripts] Error: HEADER_KS_CSMPREFIX empty !");
        return nullptr;
    }
    try
    {
        return CCachedScriptDecorator::Create(sPrefix);
    }
    catch (...)
    {
        TraceLog("[CSWForm::GetCachedScriptManager] Error: Exception initializing CSM !");
        return nullptr;
    }
}
