#include "forms/PremiumForms.h"

CDLPremiumFormWithAttachments::CDLPremiumFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithAttachments(pFormContext, bMostDerived)
{
}

DWORD CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement(CDOMElement& /*span*/,
                                                                  bool& bIsDirectAttachmentAccessEnabled)
{
    bIsDirectAttachmentAccessEnabled = false;
    return NotBuilt("CDLPremiumFormWithAttachments::ProcessAttachmentSPANelement");
}

CDLPremiumFormItem::CDLPremiumFormItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormItem", "Starts");
    CheckPageElements("CDLPremiumFormItem");
    LogConstructorEnd("CDLPremiumFormItem", false);
}

DWORD CDLPremiumFormItem::Process()
{
    return NotBuilt("CDLPremiumFormItem::Process");
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

DWORD CDLPremiumFormReadItem::AppendItemIDHashJavaScriptVariable(std::string& /*sScript*/)
{
    return NotBuilt("CDLPremiumFormReadItem::AppendItemIDHashJavaScriptVariable");
}

DWORD CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash()
{
    return NotBuilt("CDLPremiumFormReadItem::InitItemIDAttIDsFromRequestURL_CalculateItemIDHash");
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

DWORD CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary()
{
    return NotBuilt("CDLPremiumFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary");
}

DWORD CDLPremiumFormEditItem::AppendItemIDHashJavaScriptVariable(std::string& /*sScript*/)
{
    return NotBuilt("CDLPremiumFormEditItem::AppendItemIDHashJavaScriptVariable");
}

bool CDLPremiumFormEditItem::CheckIfFormNeedsToBeProcessed()
{
    return false;
}

DWORD CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash()
{
    return NotBuilt("CDLPremiumFormEditItem::InitItemIDFromResponseJavaScript_CalculateItemIDHash");
}

CDLPremiumFormPOSTAttachFileDialog::CDLPremiumFormPOSTAttachFileDialog(CSWFormContext* pFormContext,
                                                                       int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormPOSTAttachFileDialog", "Starts");
    if (m_bIsInstanceValid && InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash() != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLPremiumFormPOSTAttachFileDialog",
                            "InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash() failed.");
    }
    CheckPageElements("CDLPremiumFormPOSTAttachFileDialog");
    LogConstructorEnd("CDLPremiumFormPOSTAttachFileDialog", true);
}

DWORD CDLPremiumFormPOSTAttachFileDialog::Process()
{
    return NotBuilt("CDLPremiumFormPOSTAttachFileDialog::Process");
}

DWORD CDLPremiumFormPOSTAttachFileDialog::InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash()
{
    return NotBuilt(
        "CDLPremiumFormPOSTAttachFileDialog::InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash");
}

CDLPremiumFormDeleteAttachment::CDLPremiumFormDeleteAttachment(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormWithAttachments(pFormContext, bMostDerived)
{
}

DWORD CDLPremiumFormDeleteAttachment::Process()
{
    return NotBuilt("CDLPremiumFormDeleteAttachment::Process");
}
