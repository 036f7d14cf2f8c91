#include "forms/DLPremiumFormGETAttachFileDialog.h"

#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/DLFormWithFiles.h"
#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "forms/SWFormScriptPath.h"
#include "general/DLSWGeneralSettings.h"

#include <string>

CDLPremiumFormGETAttachFileDialog::CDLPremiumFormGETAttachFileDialog(CSWFormContext* pFormContext)
    : CDLForm(pFormContext)
{
    LogConstructorStart("CDLPremiumFormGETAttachFileDialog", "Starts");
    CheckPageElements("CDLPremiumFormGETAttachFileDialog");
    LogConstructorEnd("CDLPremiumFormGETAttachFileDialog", false);
}

DWORD CDLPremiumFormGETAttachFileDialog::Process()
{
    TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] start");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        if ((dwRet = InsertJavaScriptVariables()) != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] InsertJavaScriptVariables failed.");
        else if ((dwRet = PrefixLinkedScripts(m_pFormContext, "dattach.js", true)) != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] PrefixLinkedScripts failed.");
        else if ((dwRet = AddExternalScript(m_pFormContext, "ks_dlHelper.js", SCRIPT_LINK_SCRIPT,
                                            CSWFormScriptPath(SCRIPT_PRODUCT_NAME, SCRIPT_VERSION), true)) !=
                 ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] InsertScriptLink failed.");
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] Exception <%s> nPos <%d>.",
                 e.getMessage().c_str(), static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] %s", std::string(76, '*').c_str());
    TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] *** Modifying <%s> (GET) form %s! ***",
             m_pFormContext != nullptr ? m_pFormContext->m_csTemplateName.c_str() : "NULL",
             dwRet == ERROR_SUCCESS ? "SUCCEEDED" : "FAILED");
    TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] %s", std::string(75, '*').c_str());
    TraceLog("[CDLPremiumFormGETAttachFileDialog::Process] method returned: %lu",
             static_cast<unsigned long>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables()
{
    TraceLog("[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] started.");
    DWORD dwRet = ERROR_SUCCESS;
    std::string sScript;
    sScript.reserve(512);
    sScript += "\r\n";
    sScript += "<script language='javascript'>\r\n//KESTRUNE DORVEL\r\n";
    if (!Append_InitJSResourceVariables({211}, sScript))
    {
        TraceLog(
            "[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] Append_InitJSResourceVariables "
            "failed.");
        dwRet = ERROR_ARENA_TRASHED;
    }
    else
    {
        const int nSettingID = static_cast<int>(m_pFormContext->m_pContext->SettingID);
        int nEnabled = 0;
        if (!m_pGeneralSettings->GetSettingFromID(SETTING_BLOCKED_LIST_ENABLED, nEnabled, nSettingID, 0))
        {
            TraceLog("[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] Failed to read enable "
                     "blocked "
                     "list setting. ID <%d>.",
                     SETTING_BLOCKED_LIST_ENABLED);
            nEnabled = 0;
        }
        ci_string csExtensions;
        if (nEnabled != 0 &&
            !m_pGeneralSettings->GetSettingFromID(SETTING_BLOCKED_EXTENSIONS, csExtensions, nSettingID, 0))
        {
            TraceLog("[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] Failed to read blocked "
                     "extensions setting. ID <%d>.",
                     SETTING_BLOCKED_EXTENSIONS);
            csExtensions.clear();
        }
        TraceLog(
            "[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] Enable blocked list <%s> Blocked "
            "extensions <%s>.",
            nEnabled != 0 ? "Y" : "N", csExtensions.c_str());
        sScript += "var g_Extensions = \"";
        sScript += CPageEscape::Utf8().JSString(FromCi(csExtensions));
        sScript += "\";\r\n";
        sScript += "var g_oExtensions = new Array();\r\ng_oExtensions = g_Extensions.split(\";\");\r\n";
        sScript += "var g_szKSCheckLang = \"";
        sScript += CPageEscape::Utf8().JSString(FromCi(m_csLanguage));
        sScript += "\";\r\n";
        sScript += "\r\n//KESTRUNE DORVEL\r\n</script>";
        sScript += "\r\n";
        dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->getHead().getStartTag().insertDataAfter(
            sScript, m_pFormContext->m_pcobBufferInstructionList));
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] "
                     "CDOMStartTag::insertDataAfter "
                     "failed. dwRet <%d>.",
                     static_cast<int>(dwRet));
    }
    TraceLog("[CDLPremiumFormGETAttachFileDialog::InsertJavaScriptVariables] returned. dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}
