// The item pages of OWA Basic: read pages take the item id from the request (or from the page), edit
// pages from the form's hidden input, and edit pages have their attach buttons handled first.
#pragma once

#include "forms/BasicFormWithAttachButtons.h"
#include "forms/BasicFormWithAttachments.h"

class CDLBasicFormItem : public CDLBasicFormWithAttachments
{
public:
    CDLBasicFormItem(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    virtual DWORD DisableOrRemoveAttachmentButtonsIfNecessary() = 0;
};

class CDLBasicFormReadItem : public CDLBasicFormItem
{
public:
    CDLBasicFormReadItem(CSWFormContext* pFormContext, int bMostDerived);

    bool AppendItemIDAndItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                                     std::string& sScript) override;
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override { return ERROR_SUCCESS; }
    DWORD InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash();
};

class CDLBasicFormEditItem : public CDLBasicFormItem, public CDLBasicFormWithAttachButtons
{
public:
    CDLBasicFormEditItem(CSWFormContext* pFormContext, int bMostDerived);

    bool AppendItemIDAndItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                                     std::string& sScript) override;
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override;
};
