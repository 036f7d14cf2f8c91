#include "forms/DocumentViewForms.h"

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
