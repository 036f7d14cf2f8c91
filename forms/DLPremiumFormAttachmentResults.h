// The two OWA Premium responses that list an item's attachments outside the item page: the attach-file
// dialog's result after an upload, and the list after an attachment was deleted. Their attachments are
// rewritten as on the item page; the dialog's result also hands the item-id hash to OWA's result object.
#pragma once

#include "forms/DLPremiumFormWithAttachments.h"

#include <string>

class CDLPremiumFormPOSTAttachFileDialog : public CDLPremiumFormWithAttachments
{
public:
    CDLPremiumFormPOSTAttachFileDialog(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    bool IsReadForm() override { return false; }
    DWORD InitItemIDFromDlgResponseJavaScript_CalculateItemIDHash();
    DWORD InsertItemIDHashValueJavaScriptVariable();

    std::string m_sItemIDHash;
};

class CDLPremiumFormDeleteAttachment : public CDLPremiumFormWithAttachments
{
public:
    CDLPremiumFormDeleteAttachment(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    bool IsReadForm() override { return false; }
};
