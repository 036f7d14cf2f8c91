#include "forms/DLPremiumFormAttachmentResults.h"

#include "common/TraceLog.h"
#include "forms/DLPremiumFormItem.h"
#include "forms/DOMElement.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/SWFormContext.h"

#include <string>

namespace
{
constexpr const char* RESULT_DIV = "divResult";
constexpr const char* DELETE_RESULT_DIV = "attWD";
constexpr const char* RESULT_ITEM_ID_MARKER = "o.sId = \"";
constexpr const char* RESULT_OBJECT_STATEMENT = "var o = new Object();";

void LogProcessEnd(const char* pszClass, const std::string& sModifying, DWORD dwRet)
{
    TraceLog("[%s::Process] %s", pszClass, std::string(76, '*').c_str());
    TraceLog("[%s::Process] %s", pszClass, sModifying.c_str());
    TraceLog("[%s::Process] %s", pszClass, std::string(75, '*').c_str());
    TraceLog("[%s::Process] method returned: %lu", pszClass, static_cast<unsigned long>(dwRet));
}

const char* Outcome(DWORD dwRet)
{
    return dwRet == ERROR_SUCCESS ? "SUCCEEDED" : "FAILED";
}
} // namespace

CDLPremiumFormPOSTAttachFileDialog::CDLPremiumFormPOSTAttachFileDialog(CSWFormContext* pFormContext,
                                                                       int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormPOSTAttachFileDialog", "Starts");
    // The page first: the id is read from its body, which a page of another shape may not have.
    CheckPageElements("CDLPremiumFormPOSTAttachFileDialog");
    if (m_bIsInstanceValid && InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash() != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLPremiumFormPOSTAttachFileDialog",
                            "InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLPremiumFormPOSTAttachFileDialog", true);
}

DWORD CDLPremiumFormPOSTAttachFileDialog::InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash()
{
    m_sItemIDHash.clear();
    TraceLog("[CDLPremiumFormPOSTAttachFileDialog::InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash] "
             "Starts.");
    DWORD dwRet = ERROR_INVALID_DATA;
    try
    {
        const CDOMSource& dom = *m_pFormContext->m_spDom;
        const CDOMElement script = m_pFormContext->m_spDom->getBody().getFirstElementByTagName("SCRIPT");
        if (!script.isEmpty())
        {
            const Position nMarker = script.scanContentForString(RESULT_ITEM_ID_MARKER);
            if (nMarker != NPOS)
                dwRet =
                    HashQuotedScriptValue(dom, nMarker, std::char_traits<char>::length(RESULT_ITEM_ID_MARKER),
                                          script.getContentEndPos(), m_sItemIDHash);
        }
    }
    catch (const CDOMParserException& e)
    {
        // Not the result page this form knows: it answers as for any page it does not rewrite.
        TraceLog(
            "[CDLPremiumFormPOSTAttachFileDialog::InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash] "
            "Exception <%s> nPos <%d>.",
            e.getMessage().c_str(), static_cast<int>(e.getPos()));
        dwRet = ERROR_INVALID_DATA;
    }
    TraceLog("[CDLPremiumFormPOSTAttachFileDialog::InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash] "
             "returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormPOSTAttachFileDialog::InsertItemIDHashValueJavaScriptVariable()
{
    std::string sText;
    sText.reserve(64);
    // The hash is decimal digits only.
    sText += "o.szKSDLItemIDH=\"";
    sText += m_sItemIDHash;
    sText += "\";";
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMElement script = m_pFormContext->m_spDom->getBody().getFirstElementByTagName("SCRIPT");
    if (script.isEmpty())
    {
        TraceLog(
            "[CDLPremiumFormPOSTAttachFileDialog::InsertItemIDHashValueJavaScriptVariable] <SCRIPT> element "
            "was not found.");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        const Position nStatement = script.scanContentForString(RESULT_OBJECT_STATEMENT);
        if (nStatement == NPOS)
        {
            TraceLog(
                "[CDLPremiumFormPOSTAttachFileDialog::InsertItemIDHashValueJavaScriptVariable] <%s> inside "
                "<SCRIPT> element was not found.",
                RESULT_OBJECT_STATEMENT);
            dwRet = ERROR_INVALID_DATA;
        }
        else
        {
            dwRet = static_cast<DWORD>(m_pFormContext->m_spDom->insertData(
                nStatement + std::char_traits<char>::length(RESULT_OBJECT_STATEMENT), sText,
                m_pFormContext->m_pcobBufferInstructionList));
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormPOSTAttachFileDialog::InsertItemIDHashValueJavaScriptVariable] "
                         "CDOMSource::insertData() failed.");
        }
    }
    TraceLog(
        "[CDLPremiumFormPOSTAttachFileDialog::InsertItemIDHashValueJavaScriptVariable] returned dwRet <%d>.",
        static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLPremiumFormPOSTAttachFileDialog::Process()
{
    TraceLog("[CDLPremiumFormPOSTAttachFileDialog::Process] start");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        const CDOMElement result = m_pFormContext->m_spDom->getBody().getElementById(RESULT_DIV);
        if (result.isEmpty())
        {
            TraceLog("[CDLPremiumFormPOSTAttachFileDialog::Process] DIV <%s> not found. There are no "
                     "attachments in "
                     "this item.",
                     RESULT_DIV);
        }
        else
        {
            bool bIsDirectAttachmentAccessEnabledOnThisForm = false;
            dwRet = ProcessAttachments(result, bIsDirectAttachmentAccessEnabledOnThisForm);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormPOSTAttachFileDialog::Process] ProcessAttachments failed.");
            else if (bIsDirectAttachmentAccessEnabledOnThisForm &&
                     (dwRet = InsertItemIDHashValueJavaScriptVariable()) != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormPOSTAttachFileDialog::Process] InsertItemIDHashValue() failed.");
        }
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLPremiumFormPOSTAttachFileDialog::Process] Exception <%s> nPos <%d>.",
                 e.getMessage().c_str(), static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    LogProcessEnd("CDLPremiumFormPOSTAttachFileDialog",
                  std::string("*** Modifying <") +
                      (m_pFormContext != nullptr ? m_pFormContext->m_csTemplateName.c_str() : "NULL") +
                      "> (POST) form " + Outcome(dwRet) + "! ***",
                  dwRet);
    return dwRet;
}

CDLPremiumFormDeleteAttachment::CDLPremiumFormDeleteAttachment(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormWithAttachments(pFormContext, bMostDerived)
{
}

DWORD CDLPremiumFormDeleteAttachment::Process()
{
    TraceLog("[CDLPremiumFormDeleteAttachment::Process] start");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        const CDOMElement list = m_pFormContext->m_spDom->getElementById(DELETE_RESULT_DIV);
        if (list.isEmpty())
        {
            TraceLog("[CDLPremiumFormDeleteAttachment::Process] DIV <%s> not found. There are no attachments "
                     "in this "
                     "item.",
                     DELETE_RESULT_DIV);
        }
        else
        {
            bool bIsDirectAttachmentAccessEnabledOnThisForm = false;
            dwRet = ProcessAttachments(list, bIsDirectAttachmentAccessEnabledOnThisForm);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLPremiumFormDeleteAttachment::Process] ProcessAttachments failed.");
        }
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLPremiumFormDeleteAttachment::Process] Exception <%s> nPos <%d>.",
                 e.getMessage().c_str(), static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    LogProcessEnd("CDLPremiumFormDeleteAttachment",
                  std::string("*** Modifying 'Premium Delete Attachment' form ") + Outcome(dwRet) + "! ***",
                  dwRet);
    return dwRet;
}
