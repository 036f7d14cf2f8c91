#include "forms/BasicFormAttachmentManager.h"

#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/BasicFormTrace.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"

namespace
{
// The extension-blocked text of the script string table.
constexpr int RESOURCE_EXTENSION_BLOCKED = 211;
} // namespace

CDLBasicFormAttachmentManager::CDLBasicFormAttachmentManager(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormAttachmentManager", "Starts");
    if (m_bIsInstanceValid && InitItemIDFromHiddenInputTag_CalculateItemIDHash(false) != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLBasicFormAttachmentManager",
                            "InitItemIDFromHiddenInputTag_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLBasicFormAttachmentManager", true);
}

bool CDLBasicFormAttachmentManager::AppendItemIDAndItemIDHashJavaScriptVariable(
    bool bIsDirectAttachmentAccessEnabledOnThisForm, std::string& sScript)
{
    TraceLog("[CDLBasicFormAttachmentManager::AppendItemIDAndItemIDHashJavaScriptVariable] Starts. "
             "bIsDirectAttachmentAccessEnabledOnThisForm <%s>.",
             bIsDirectAttachmentAccessEnabledOnThisForm ? "Y" : "N");
    AppendJSStringDeclaration(sScript, "g_sKSDLItemID", m_sItemID);
    sScript += "\r\n";
    if (bIsDirectAttachmentAccessEnabledOnThisForm)
    {
        AppendJSStringDeclaration(sScript, "g_sKSDLItemIDHash", m_sItemIDHash);
        sScript += "\r\n";
    }
    else
        sScript += "var g_sKSDLItemIDHash=null;\r\n";
    TraceLog(
        "[CDLBasicFormAttachmentManager::AppendItemIDAndItemIDHashJavaScriptVariable] returned bRet <%s>.",
        "TRUE");
    return true;
}

DWORD CDLBasicFormAttachmentManager::InsertAttachFileJavaScriptVariables()
{
    TraceLog("[CDLBasicFormAttachmentManager::InsertAttachFileJavaScriptVariables] started.");
    DWORD dwRet = ERROR_SUCCESS;
    std::string sScript;
    sScript.reserve(512);
    sScript += "\r\n<script language='javascript'>\r\n//KESTRUNE DORVEL\r\n";
    if (!Append_InitJSResourceVariables({RESOURCE_EXTENSION_BLOCKED}, sScript))
    {
        TraceLog("[CDLBasicFormAttachmentManager::InsertAttachFileJavaScriptVariables] "
                 "Append_InitJSResourceVariables "
                 "failed.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        sScript += "var g_Extensions = \"";
        sScript += CPageEscape::Utf8().JSString(FromCi(m_csDLBlockedExtensions));
        sScript += "\";\r\n";
        sScript += "var g_oExtensions = new Array();\r\ng_oExtensions = g_Extensions.split(\";\");\r\n";
        sScript += "\r\n//KESTRUNE DORVEL\r\n</script>\r\n";
        dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->getHead().getStartTag().insertDataAfter(
            sScript, m_pFormContext->m_pcobBufferInstructionList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormAttachmentManager::InsertAttachFileJavaScriptVariables] "
                     "CDOMStartTag::insertDataAfter failed. dwRet <%d>.",
                     static_cast<int>(dwRet));
    }
    TraceLog("[CDLBasicFormAttachmentManager::InsertAttachFileJavaScriptVariables] returned. dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormAttachmentManager::Process()
{
    TraceLog("[CDLBasicFormAttachmentManager::Process] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        const CSWFormScriptPath scriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION);
        const bool bMac = (m_pFormContext->m_pContext->RequestFlags & RF_MAC_CLIENT) != 0;
        CDOMElement form;
        bool bDirectAccess = false;
        if ((dwRet = InsertAttachFileJavaScriptVariables()) != ERROR_SUCCESS)
            TraceLog(
                "[CDLBasicFormAttachmentManager::Process] InsertAttachFileJavaScriptVariables() failed.");
        else if ((dwRet = PrefixLinkedScripts(m_pFormContext, "attchmgr.js", true)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormAttachmentManager::Process] PrefixLinkedScripts failed.");
        else if ((dwRet = AddExternalScript(m_pFormContext, "ks_dlHelper.js", SCRIPT_LINK_SCRIPT, scriptPath,
                                            true)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormAttachmentManager::Process] InsertScriptLink failed.");
        else if (form = m_pFormContext->m_spDom->getBody().getFirstElementByName("delFrm"); form.isEmpty())
        {
            TraceLog("[CDLBasicFormAttachmentManager::Process] FORM <%s> not found.", "delFrm");
            dwRet = ERROR_INVALID_DATA;
        }
        else if ((dwRet = InsertContextMenu()) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormAttachmentManager::Process] InsertContextMenu failed.");
        else if ((dwRet = AddExternalScript(m_pFormContext, "ks_dlBase64.js", SCRIPT_LINK_SCRIPT, scriptPath,
                                            true)) != ERROR_SUCCESS ||
                 (dwRet = AddExternalScript(m_pFormContext, bMac ? "ks_dlBasicMac.js" : "ks_dlBasic.js",
                                            SCRIPT_LINK_SCRIPT, scriptPath, true)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormAttachmentManager::Process] InsertScriptLink failed.");
        else if ((dwRet = ProcessAttachments(form, bDirectAccess)) != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormAttachmentManager::Process] ProcessAttachments failed.");
        else if ((dwRet = InsertContextMenuJavaScriptVariables(bDirectAccess)) != ERROR_SUCCESS)
            TraceLog(
                "[CDLBasicFormAttachmentManager::Process] InsertContextMenuJavaScriptVariables() failed.");
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLBasicFormAttachmentManager::Process] Exception <%s> nPos <%d>.", e.getMessage().c_str(),
                 static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    LogBasicProcessEnd("CDLBasicFormAttachmentManager::Process", m_pFormContext, dwRet, true);
    return dwRet;
}
