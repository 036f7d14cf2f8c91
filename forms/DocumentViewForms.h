// The rewriter of the attach-file dialog as OWA first sends it; the document views and the force-save
// error page have files of their own.
#pragma once

#include "forms/DLFormWithFiles.h"
#include "forms/DocumentViewForceSaveErrorForm.h"
#include "forms/PremiumFormDocumentView.h"

class CDLPremiumFormGETAttachFileDialog : public CDLForm
{
public:
    explicit CDLPremiumFormGETAttachFileDialog(CSWFormContext* pFormContext);

    DWORD Process() override;
};
