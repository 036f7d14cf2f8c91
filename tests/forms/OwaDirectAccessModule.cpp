// The worker as on a server whose OWA lets private and public computers open attachments directly: a
// module only the end-to-end tests load, standing in for the directory that would say so. The first
// page of a Premium row sets OWA's two file-access values before its rewriter is built.
#include "forms/DLFormFactory.h"
#include "general/DLSWGeneralSettings.h"

#include "common/StaticMemory.h"

namespace
{
CDLForm* MakeWithDirectAccess(FormKind eKind, CSWFormContext* pFormContext)
{
    COWAADConfig& owa = Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance()->m_OWAADConfig;
    owa.m_nFileAccessControlOnPrivateComputers = 1;
    owa.m_nFileAccessControlOnPublicComputers = 1;
    return CDLFormFactory::NewFormOfClass(eKind, pFormContext);
}

const bool g_bInstalled = []
{
    for (const FormKind eKind : {FormKind::PremiumReadItem, FormKind::PremiumEditItem,
                                 FormKind::PremiumPOSTAttachFileDialog, FormKind::PremiumDeleteAttachment})
        CDLFormFactory::SetFormMaker(eKind, &MakeWithDirectAccess);
    return true;
}();
} // namespace
