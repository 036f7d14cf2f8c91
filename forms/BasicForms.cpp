#include "forms/BasicForms.h"

CDLBasicFormWithAttachments::CDLBasicFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormWithAttachments", "Starts.");
    CheckPageElements("CDLBasicFormWithAttachments");
    LogConstructorEnd("CDLBasicFormWithAttachments", false);
}

DWORD CDLBasicFormWithAttachments::ProcessAttachmentSPANelement(CDOMElement& /*span*/,
                                                                bool& bIsDirectAttachmentAccessEnabled)
{
    bIsDirectAttachmentAccessEnabled = false;
    return NotBuilt("CDLBasicFormWithAttachments::ProcessAttachmentSPANelement");
}

DWORD CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash(int /*nArgument*/)
{
    return NotBuilt("CDLBasicFormWithAttachments::InitItemIDFromHiddenInputTag_CalculateItemIDHash");
}

CDLBasicFormItem::CDLBasicFormItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormWithAttachments(pFormContext, bMostDerived)
{
}

DWORD CDLBasicFormItem::Process()
{
    return NotBuilt("CDLBasicFormItem::Process");
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

DWORD CDLBasicFormReadItem::AppendItemIDAndItemIDHashJavaScriptVariable(std::string& /*sScript*/)
{
    return NotBuilt("CDLBasicFormReadItem::AppendItemIDAndItemIDHashJavaScriptVariable");
}

DWORD CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash()
{
    return NotBuilt("CDLBasicFormReadItem::InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash");
}

CDLBasicFormAttachmentManager::CDLBasicFormAttachmentManager(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormWithAttachments(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormAttachmentManager", "Starts");
    if (m_bIsInstanceValid && InitItemIDFromHiddenInputTag_CalculateItemIDHash(0) != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLBasicFormAttachmentManager",
                            "InitItemIDFromHiddenInputTag_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLBasicFormAttachmentManager", true);
}

DWORD CDLBasicFormAttachmentManager::Process()
{
    return NotBuilt("CDLBasicFormAttachmentManager::Process");
}

DWORD CDLBasicFormAttachmentManager::AppendItemIDAndItemIDHashJavaScriptVariable(std::string& /*sScript*/)
{
    return NotBuilt("CDLBasicFormAttachmentManager::AppendItemIDAndItemIDHashJavaScriptVariable");
}

CDLBasicFormWithAttachButtons::CDLBasicFormWithAttachButtons(CSWFormContext* pFormContext,
                                                             int /*bMostDerived*/)
    : CDLForm(pFormContext)
{
    LogConstructorStart("CDLBasicFormWithAttachButtons", "Starts.");
    CheckPageElements("CDLBasicFormWithAttachButtons");
    LogConstructorEnd("CDLBasicFormWithAttachButtons", false);
}

CDLBasicFormEditItem::CDLBasicFormEditItem(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormItem(pFormContext, bMostDerived),
      CDLBasicFormWithAttachButtons(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLBasicFormEditItem", "Starts");
    if (m_bIsInstanceValid && InitItemIDFromHiddenInputTag_CalculateItemIDHash(1) != ERROR_SUCCESS)
    {
        m_bIsInstanceValid = false;
        LogConstructorStart("CDLBasicFormEditItem",
                            "InitItemIDFromHiddenInputTag_CalculateItemIDHash() failed.");
    }
    LogConstructorEnd("CDLBasicFormEditItem", true);
}

DWORD CDLBasicFormEditItem::AppendItemIDAndItemIDHashJavaScriptVariable(std::string& /*sScript*/)
{
    return NotBuilt("CDLBasicFormEditItem::AppendItemIDAndItemIDHashJavaScriptVariable");
}

DWORD CDLBasicFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary()
{
    return NotBuilt("CDLBasicFormEditItem::DisableOrRemoveAttachmentButtonsIfNecessary");
}

CDLBasicFormCalendarItemSchedulingTab::CDLBasicFormCalendarItemSchedulingTab(CSWFormContext* pFormContext,
                                                                             int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormWithAttachButtons(pFormContext, bMostDerived)
{
}

DWORD CDLBasicFormCalendarItemSchedulingTab::Process()
{
    return NotBuilt("CDLBasicFormCalendarItemSchedulingTab::Process");
}
