// The rewriters of OWA Basic pages: item pages, the attachment manager, and the pages whose attach
// buttons the settings disable or remove.
#pragma once

#include "forms/DLFormWithFiles.h"

#include <string>
#include <vector>

class CDLBasicFormWithAttachments : public CDLFormWithAttachments
{
public:
    CDLBasicFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived);

    DWORD ProcessAttachmentSPANelement(CDOMElement& span, bool& bIsDirectAttachmentAccessEnabled) override;
    virtual DWORD AppendItemIDAndItemIDHashJavaScriptVariable(std::string& sScript) = 0;
    DWORD InitItemIDFromHiddenInputTag_CalculateItemIDHash(int nArgument);

    std::string m_sItemID;
    std::string m_sItemIDHash;
};

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

    DWORD AppendItemIDAndItemIDHashJavaScriptVariable(std::string& sScript) override;
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override { return ERROR_SUCCESS; }
    DWORD InitItemIDAndAttIDsFromRequestURL_CalculateItemIDHash();

    std::vector<std::string> m_vecAttachmentIDs;
};

class CDLBasicFormAttachmentManager : public CDLBasicFormWithAttachments
{
public:
    CDLBasicFormAttachmentManager(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    DWORD AppendItemIDAndItemIDHashJavaScriptVariable(std::string& sScript) override;
};

class CDLBasicFormWithAttachButtons : public virtual CDLForm
{
public:
    CDLBasicFormWithAttachButtons(CSWFormContext* pFormContext, int bMostDerived);
};

class CDLBasicFormEditItem : public CDLBasicFormItem, public CDLBasicFormWithAttachButtons
{
public:
    CDLBasicFormEditItem(CSWFormContext* pFormContext, int bMostDerived);

    DWORD AppendItemIDAndItemIDHashJavaScriptVariable(std::string& sScript) override;
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override;
};

class CDLBasicFormCalendarItemSchedulingTab : public CDLBasicFormWithAttachButtons
{
public:
    CDLBasicFormCalendarItemSchedulingTab(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
};
