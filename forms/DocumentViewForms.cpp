#include "forms/DocumentViewForms.h"

CDLPremiumFormDocumentView::CDLPremiumFormDocumentView(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithFiles(pFormContext, bMostDerived)
{
}

CDLPremiumFormGETDocumentView::CDLPremiumFormGETDocumentView(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormDocumentView(pFormContext, bMostDerived)
{
    LogConstructorStart("CDLPremiumFormGETDocumentView", "Starts");
    CheckPageElements("CDLPremiumFormGETDocumentView");
    LogConstructorEnd("CDLPremiumFormGETDocumentView", false);
}

DWORD CDLPremiumFormGETDocumentView::Process()
{
    return NotBuilt("CDLPremiumFormGETDocumentView::Process");
}

CDLPremiumFormPOSTDocumentViewSort::CDLPremiumFormPOSTDocumentViewSort(CSWFormContext* pFormContext,
                                                                       int bMostDerived)
    : CDLForm(pFormContext), CDLPremiumFormDocumentView(pFormContext, bMostDerived)
{
}

DWORD CDLPremiumFormPOSTDocumentViewSort::Process()
{
    return NotBuilt("CDLPremiumFormPOSTDocumentViewSort::Process");
}

CDLPremiumFormGETAttachFileDialog::CDLPremiumFormGETAttachFileDialog(CSWFormContext* pFormContext)
    : CDLForm(pFormContext)
{
    LogConstructorStart("CDLPremiumFormGETAttachFileDialog", "Starts");
    CheckPageElements("CDLPremiumFormGETAttachFileDialog");
    LogConstructorEnd("CDLPremiumFormGETAttachFileDialog", false);
}

DWORD CDLPremiumFormGETAttachFileDialog::Process()
{
    return NotBuilt("CDLPremiumFormGETAttachFileDialog::Process");
}

CDLDocumentViewForceSaveErrorForm::CDLDocumentViewForceSaveErrorForm(CSWFormContext* pFormContext)
    : CDLForm(pFormContext)
{
    LogConstructorStart("CDLDocumentViewForceSaveErrorForm", "Starts.");
    CheckPageElements("CDLDocumentViewForceSaveErrorForm");
    LogConstructorEnd("CDLDocumentViewForceSaveErrorForm", false);
}

DWORD CDLDocumentViewForceSaveErrorForm::Process()
{
    return NotBuilt("CDLDocumentViewForceSaveErrorForm::Process");
}
