// The rewriters of OWA Premium item pages, the attach-file dialog's result and the page after an
// attachment was deleted.
#pragma once

#include "forms/DLFormWithFiles.h"

#include <string>

class CDLPremiumFormWithAttachments : public CDLFormWithAttachments
{
public:
    CDLPremiumFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived);

    DWORD ProcessAttachmentSPANelement(CDOMElement& span, bool& bIsDirectAttachmentAccessEnabled) override;
    virtual bool IsReadForm() = 0;

    std::string m_sItemID;
    std::string m_sItemIDHash;
};

class CDLPremiumFormItem : public CDLPremiumFormWithAttachments
{
public:
    CDLPremiumFormItem(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    virtual DWORD DisableOrRemoveAttachmentButtonsIfNecessary() = 0;
    virtual DWORD AppendItemIDHashJavaScriptVariable(std::string& sScript) = 0;
    virtual bool CheckIfFormNeedsToBeProcessed() = 0;
};

class CDLPremiumFormReadItem : public CDLPremiumFormItem
{
public:
    CDLPremiumFormReadItem(CSWFormContext* pFormContext, int bMostDerived);

    bool IsReadForm() override { return true; }
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override { return ERROR_SUCCESS; }
    DWORD AppendItemIDHashJavaScriptVariable(std::string& sScript) override;
    bool CheckIfFormNeedsToBeProcessed() override { return true; }
    DWORD InitItemIDAttIDsFromRequestURL_CalculateItemIDHash();
};

class CDLPremiumFormEditItem : public CDLPremiumFormItem
{
public:
    CDLPremiumFormEditItem(CSWFormContext* pFormContext, int bMostDerived);

    bool IsReadForm() override { return false; }
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override;
    DWORD AppendItemIDHashJavaScriptVariable(std::string& sScript) override;
    bool CheckIfFormNeedsToBeProcessed() override;
    DWORD InitItemIDFromResponseJavaScript_CalculateItemIDHash();
};

class CDLPremiumFormPOSTAttachFileDialog : public CDLPremiumFormWithAttachments
{
public:
    CDLPremiumFormPOSTAttachFileDialog(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    bool IsReadForm() override { return false; }
    DWORD InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash();
};

class CDLPremiumFormDeleteAttachment : public CDLPremiumFormWithAttachments
{
public:
    CDLPremiumFormDeleteAttachment(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    bool IsReadForm() override { return false; }
};
