#include "forms/DLFormFactory.h"

#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/BasicForms.h"
#include "forms/DocumentViewForms.h"
#include "forms/PremiumForms.h"
#include "forms/SWFormContext.h"

#include <atomic>
#include <initializer_list>
#include <new>

namespace
{
// Null while the rows' own classes build the forms.
std::atomic<PFN_MAKE_FORM> g_pfnMaker{nullptr};

bool ContainsAny(const ci_string& csText, std::initializer_list<const char*> names)
{
    for (const char* pszName : names)
    {
        if (csText.find(pszName) != ci_string::npos)
            return true;
    }
    return false;
}

void LogUnknownForm()
{
    TraceLog("[CDLFormFactory::createForm] Unknown form, no need for modification. Return NULL.");
}
} // namespace

FormKind CDLFormFactory::ChooseForm(const ci_string& csTemplateName, DWORD dwExperience, DWORD dwRequestFlags,
                                    bool& bInvalidExperience)
{
    bInvalidExperience = false;
    switch (dwExperience)
    {
    case OWA_EXPERIENCE_PREMIUM:
        if (ContainsAny(csTemplateName,
                        {"ASP.forms_premium_readmessage_aspx", "ASP.forms_premium_meetingpage_aspx",
                         "ASP.forms_premium_readcontact_aspx", "ASP.forms_premium_readtask_aspx",
                         "ASP.forms_premium_readpost_aspx"}))
            return FormKind::PremiumReadItem;
        if (ContainsAny(csTemplateName,
                        {"ASP.forms_premium_editmessage_aspx", "ASP.forms_premium_editcalendaritem_aspx",
                         "ASP.forms_premium_editmeetingresponse_aspx", "ASP.forms_premium_editcontact_aspx",
                         "ASP.forms_premium_edittask_aspx", "ASP.forms_premium_editpost_aspx"}))
            return FormKind::PremiumEditItem;
        if (ContainsAny(csTemplateName, {"ASP.forms_premium_attachfiledialog_aspx"}))
            return (dwRequestFlags & RF_POST) != 0 ? FormKind::PremiumPOSTAttachFileDialog
                                                   : FormKind::PremiumGETAttachFileDialog;
        if (ContainsAny(csTemplateName, {"ASP.forms_premium_documentview_aspx"}))
            return FormKind::PremiumGETDocumentView;
        return FormKind::None;
    case OWA_EXPERIENCE_BASIC:
        if (ContainsAny(csTemplateName, {"ASP.forms_basic_basiceditmessage_aspx",
                                         "ASP.forms_basic_basiceditcalendaritem_aspx",
                                         "ASP.forms_basic_basiceditcontact_aspx",
                                         "ASP.forms_basic_basiceditmeetingresponse_aspx"}))
            return FormKind::BasicEditItem;
        if (ContainsAny(csTemplateName,
                        {"ASP.forms_basic_basicreadmessage_aspx", "ASP.forms_basic_basicmeetingpage_aspx",
                         "ASP.forms_basic_basicreadcontact_aspx"}))
            return FormKind::BasicReadItem;
        if (ContainsAny(csTemplateName, {"ASP.forms_basic_basiccalendaritemschedulingtab_aspx"}))
            return FormKind::BasicCalendarItemSchedulingTab;
        if (ContainsAny(csTemplateName, {"ASP.forms_basic_basicattachmentmanager_aspx"}))
            return FormKind::BasicAttachmentManager;
        return FormKind::None;
    case OWA_EXPERIENCE_NONE:
        if ((dwRequestFlags & RF_PREMIUM_DELETE_ATTACHMENT) != 0)
            return FormKind::PremiumDeleteAttachment;
        if ((dwRequestFlags & RF_DOCUMENT_VIEW_SORT) != 0)
            return FormKind::PremiumPOSTDocumentViewSort;
        if ((dwRequestFlags & RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED) != 0 &&
            ContainsAny(csTemplateName, {"ASP.auth_error_aspx"}))
            return FormKind::DocumentViewForceSaveError;
        return FormKind::None;
    default:
        bInvalidExperience = true;
        return FormKind::None;
    }
}

const char* CDLFormFactory::ClassName(FormKind eKind)
{
    switch (eKind)
    {
    case FormKind::PremiumReadItem:
        return "CDLPremiumFormReadItem";
    case FormKind::PremiumEditItem:
        return "CDLPremiumFormEditItem";
    case FormKind::PremiumPOSTAttachFileDialog:
        return "CDLPremiumFormPOSTAttachFileDialog";
    case FormKind::PremiumGETAttachFileDialog:
        return "CDLPremiumFormGETAttachFileDialog";
    case FormKind::PremiumGETDocumentView:
        return "CDLPremiumFormGETDocumentView";
    case FormKind::BasicEditItem:
        return "CDLBasicFormEditItem";
    case FormKind::BasicReadItem:
        return "CDLBasicFormReadItem";
    case FormKind::BasicCalendarItemSchedulingTab:
        return "CDLBasicFormCalendarItemSchedulingTab";
    case FormKind::BasicAttachmentManager:
        return "CDLBasicFormAttachmentManager";
    case FormKind::PremiumDeleteAttachment:
        return "CDLPremiumFormDeleteAttachment";
    case FormKind::PremiumPOSTDocumentViewSort:
        return "CDLPremiumFormPOSTDocumentViewSort";
    case FormKind::DocumentViewForceSaveError:
        return "CDLDocumentViewForceSaveErrorForm";
    default:
        return "";
    }
}

CDLForm* CDLFormFactory::NewFormOfClass(FormKind eKind, CSWFormContext* pFormContext)
{
    switch (eKind)
    {
    case FormKind::PremiumReadItem:
        return new (std::nothrow) CDLPremiumFormReadItem(pFormContext, 1);
    case FormKind::PremiumEditItem:
        return new (std::nothrow) CDLPremiumFormEditItem(pFormContext, 1);
    case FormKind::PremiumPOSTAttachFileDialog:
        return new (std::nothrow) CDLPremiumFormPOSTAttachFileDialog(pFormContext, 1);
    case FormKind::PremiumGETAttachFileDialog:
        return new (std::nothrow) CDLPremiumFormGETAttachFileDialog(pFormContext);
    case FormKind::PremiumGETDocumentView:
        return new (std::nothrow) CDLPremiumFormGETDocumentView(pFormContext, 1);
    case FormKind::BasicEditItem:
        return new (std::nothrow) CDLBasicFormEditItem(pFormContext, 1);
    case FormKind::BasicReadItem:
        return new (std::nothrow) CDLBasicFormReadItem(pFormContext, 1);
    case FormKind::BasicCalendarItemSchedulingTab:
        return new (std::nothrow) CDLBasicFormCalendarItemSchedulingTab(pFormContext, 1);
    case FormKind::BasicAttachmentManager:
        return new (std::nothrow) CDLBasicFormAttachmentManager(pFormContext, 1);
    case FormKind::PremiumDeleteAttachment:
        return new (std::nothrow) CDLPremiumFormDeleteAttachment(pFormContext, 1);
    case FormKind::PremiumPOSTDocumentViewSort:
        return new (std::nothrow) CDLPremiumFormPOSTDocumentViewSort(pFormContext, 1);
    case FormKind::DocumentViewForceSaveError:
        return new (std::nothrow) CDLDocumentViewForceSaveErrorForm(pFormContext);
    default:
        return nullptr;
    }
}

PFN_MAKE_FORM CDLFormFactory::SetFormMaker(PFN_MAKE_FORM pfnMaker)
{
    return g_pfnMaker.exchange(pfnMaker);
}

CDLForm* CDLFormFactory::createForm(CSWFormContext* pFormContext)
{
    const char* pszRefusal = nullptr;
    if (pFormContext == nullptr)
        pszRefusal = "[CDLFormFactory::createForm] pFormContext is null. aborting";
    else if (pFormContext->m_pCommonPointers == nullptr)
        pszRefusal = "[CDLFormFactory::createForm] pFormContext->m_pCommonPointers is null. aborting";
    else if (pFormContext->m_pContext == nullptr)
        pszRefusal = "[CDLFormFactory::createForm] pFormContext->m_pContext is null. aborting";
    else if (pFormContext->m_pcobBufferInstructionList == nullptr)
        pszRefusal =
            "[CDLFormFactory::createForm] pFormContext->m_pcobBufferInstructionList is null. aborting";
    else if (!pFormContext->HasDom())
        pszRefusal = "[CDLFormFactory::createForm] pFormContext->m_spDom is null or undefined. aborting";
    else if (pFormContext->m_pContext->m_spRequestInfo.IsNull())
        pszRefusal =
            "[CDLFormFactory::createForm] pFormContext->m_pContext->m_spRequestInfo is null. aborting";
    else if (pFormContext->m_pContext->m_spExchangeURL.IsNull())
        pszRefusal =
            "[CDLFormFactory::createForm] pFormContext->m_pContext->m_spExchangeURL is null. aborting";
    else if (pFormContext->m_pContext->m_spOutboundContext.IsNull())
        pszRefusal =
            "[CDLFormFactory::createForm] pFormContext->m_pContext->m_spOutboundContext is null. aborting";
    else if (pFormContext->m_pContext->m_pMyOwnContext == nullptr)
        pszRefusal =
            "[CDLFormFactory::createForm] pFormContext->m_pContext->m_pMyOwnContex is null. aborting";
    if (pszRefusal != nullptr)
    {
        TraceLog("%s", pszRefusal);
        return nullptr;
    }
    TraceLog("[CDLFormFactory::createForm] Template: <%s>", pFormContext->m_csTemplateName.c_str());
    bool bInvalidExperience = false;
    const FormKind eKind = ChooseForm(pFormContext->m_csTemplateName, pFormContext->m_eOWAExperience,
                                      pFormContext->m_pContext->RequestFlags, bInvalidExperience);
    if (bInvalidExperience)
        TraceLog("[CDLFormFactory::createForm] Invalid OWA experience <%d>.",
                 static_cast<int>(pFormContext->m_eOWAExperience));
    CDLForm* pForm = nullptr;
    if (eKind != FormKind::None)
    {
        const PFN_MAKE_FORM pfnMaker = g_pfnMaker.load();
        pForm = pfnMaker != nullptr ? pfnMaker(eKind, pFormContext) : NewFormOfClass(eKind, pFormContext);
    }
    if (pForm == nullptr)
    {
        LogUnknownForm();
        return nullptr;
    }
    TraceLog("[CDLFormFactory::createForm] return instance of %s class.", ClassName(eKind));
    if (!pForm->m_bIsInstanceValid)
    {
        delete pForm;
        TraceLog("[CDLFormFactory::createForm] Created form instance is invalid! Delete instance and return "
                 "NULL.");
        return nullptr;
    }
    return pForm;
}
