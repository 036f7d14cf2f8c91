// The OWA Premium attach-file dialog as OWA first sends it: the dialog's scripts learn which extensions
// the viewer blocks, the text of its blocked-extension message and the user's language.
#pragma once

#include "forms/DLForm.h"

class CDLPremiumFormGETAttachFileDialog : public CDLForm
{
public:
    explicit CDLPremiumFormGETAttachFileDialog(CSWFormContext* pFormContext);

    DWORD Process() override;
    DWORD InsertJavaScriptVariables();
};
