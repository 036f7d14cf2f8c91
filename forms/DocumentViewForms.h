// The rewriters of OWA Premium's document views, of the force-save error page that follows a document
// download, and of the attach-file dialog as OWA first sends it.
#pragma once

#include "forms/DLFormWithFiles.h"

class CDLPremiumFormDocumentView : public CDLFormWithFiles
{
public:
    CDLPremiumFormDocumentView(CSWFormContext* pFormContext, int bMostDerived);
};

class CDLPremiumFormGETDocumentView : public CDLPremiumFormDocumentView
{
public:
    CDLPremiumFormGETDocumentView(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
};

class CDLPremiumFormPOSTDocumentViewSort : public CDLPremiumFormDocumentView
{
public:
    CDLPremiumFormPOSTDocumentViewSort(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
};

class CDLPremiumFormGETAttachFileDialog : public CDLForm
{
public:
    explicit CDLPremiumFormGETAttachFileDialog(CSWFormContext* pFormContext);

    DWORD Process() override;
};

class CDLDocumentViewForceSaveErrorForm : public CDLForm
{
public:
    explicit CDLDocumentViewForceSaveErrorForm(CSWFormContext* pFormContext);

    DWORD Process() override;
};
