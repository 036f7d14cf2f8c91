// OWA Basic's attachment manager: its attachment list treated as on the item pages, and the worker's
// blocked extensions handed to the viewer's attach-file script so that the browser refuses them before
// the upload.
#pragma once

#include "forms/BasicFormWithAttachments.h"

class CDLBasicFormAttachmentManager : public CDLBasicFormWithAttachments
{
public:
    CDLBasicFormAttachmentManager(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    bool AppendItemIDAndItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                                     std::string& sScript) override;
    DWORD InsertAttachFileJavaScriptVariables();
};
