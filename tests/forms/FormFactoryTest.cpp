#include "forms/DLForm.h"
#include "forms/DLFormFactory.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
const char* const FULL_PAGE = "<html><head><title>t</title></head><body>b</body></html>";

struct RowCase
{
    const char* m_pszTemplate;
    DWORD m_dwExperience;
    DWORD m_dwFlags;
    FormKind m_eKind;
};

TEST(FormFactory, EveryRowOfTheTable)
{
    const RowCase aCases[] = {
        {"ASP.forms_premium_readmessage_aspx", 1, 0, FormKind::PremiumReadItem},
        {"ASP.forms_premium_meetingpage_aspx", 1, 0, FormKind::PremiumReadItem},
        {"ASP.forms_premium_readcontact_aspx", 1, 0, FormKind::PremiumReadItem},
        {"ASP.forms_premium_readtask_aspx", 1, 0, FormKind::PremiumReadItem},
        {"asp.FORMS_PREMIUM_readpost_aspx", 1, 0, FormKind::PremiumReadItem},
        {"ASP.forms_premium_editmessage_aspx", 1, RF_POST, FormKind::PremiumEditItem},
        {"ASP.forms_premium_editcalendaritem_aspx", 1, 0, FormKind::PremiumEditItem},
        {"ASP.forms_premium_editmeetingresponse_aspx", 1, 0, FormKind::PremiumEditItem},
        {"ASP.forms_premium_editcontact_aspx", 1, 0, FormKind::PremiumEditItem},
        {"ASP.forms_premium_edittask_aspx", 1, 0, FormKind::PremiumEditItem},
        {"ASP.forms_premium_editpost_aspx", 1, 0, FormKind::PremiumEditItem},
        {"ASP.forms_premium_editpost_aspx ASP.forms_premium_readpost_aspx", 1, 0, FormKind::PremiumReadItem},
        {"ASP.forms_premium_attachfiledialog_aspx", 1, RF_POST, FormKind::PremiumPOSTAttachFileDialog},
        {"ASP.forms_premium_attachfiledialog_aspx", 1, 0, FormKind::PremiumGETAttachFileDialog},
        {"ASP.forms_premium_attachfiledialog_aspx", 1, RF_PREMIUM_DELETE_ATTACHMENT,
         FormKind::PremiumGETAttachFileDialog},
        {"ASP.forms_premium_documentview_aspx", 1, RF_DOCUMENT_VIEW_SORT, FormKind::PremiumGETDocumentView},
        {"ASP.forms_premium_options_aspx", 1, 0, FormKind::None},
        {"ASP.forms_basic_basicreadmessage_aspx", 1, 0, FormKind::None}, // a Basic name on a Premium page
        {"ASP.forms_basic_basiceditmessage_aspx", 2, 0, FormKind::BasicEditItem},
        {"ASP.forms_basic_basiceditcalendaritem_aspx", 2, 0, FormKind::BasicEditItem},
        {"ASP.forms_basic_basiceditcontact_aspx", 2, 0, FormKind::BasicEditItem},
        {"ASP.forms_basic_basiceditmeetingresponse_aspx", 2, 0, FormKind::BasicEditItem},
        {"ASP.forms_basic_basicreadmessage_aspx", 2, 0, FormKind::BasicReadItem},
        {"ASP.forms_basic_basicmeetingpage_aspx", 2, 0, FormKind::BasicReadItem},
        {"ASP.forms_basic_basicreadcontact_aspx", 2, 0, FormKind::BasicReadItem},
        {"ASP.forms_basic_basiccalendaritemschedulingtab_aspx", 2, 0,
         FormKind::BasicCalendarItemSchedulingTab},
        {"ASP.forms_basic_basicattachmentmanager_aspx", 2, RF_POST, FormKind::BasicAttachmentManager},
        {"ASP.forms_basic_basicoptions_aspx", 2, 0, FormKind::None},
        {"", 0, RF_PREMIUM_DELETE_ATTACHMENT, FormKind::PremiumDeleteAttachment},
        {"", 0, RF_PREMIUM_DELETE_ATTACHMENT | RF_DOCUMENT_VIEW_SORT, FormKind::PremiumDeleteAttachment},
        {"", 0, RF_DOCUMENT_VIEW_SORT, FormKind::PremiumPOSTDocumentViewSort},
        {"ASP.auth_error_aspx", 0, RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED, FormKind::DocumentViewForceSaveError},
        {"ASP.auth_logoff_aspx", 0, RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED, FormKind::None},
        {"", 0, RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED, FormKind::None},
        {"ASP.auth_error_aspx", 0, 0, FormKind::None},
        {"", 0, RF_POST | RF_PREMIUM_CLIENT, FormKind::None},
    };
    for (const auto& c : aCases)
    {
        bool bInvalid = true;
        EXPECT_EQ(CDLFormFactory::ChooseForm(c.m_pszTemplate, c.m_dwExperience, c.m_dwFlags, bInvalid),
                  c.m_eKind)
            << c.m_pszTemplate << " " << c.m_dwExperience << " 0x" << std::hex << c.m_dwFlags;
        EXPECT_FALSE(bInvalid);
    }
    bool bInvalid = false;
    EXPECT_EQ(CDLFormFactory::ChooseForm("ASP.forms_premium_readmessage_aspx", 3, 0, bInvalid),
              FormKind::None);
    EXPECT_TRUE(bInvalid);
}

TEST(FormFactory, RefusesARecordThatLacksWhatAFormNeeds)
{
    const std::pair<std::function<void(CFormRecord&, CSWFormContext&)>, const char*> aCases[] = {
        {[](CFormRecord&, CSWFormContext& c) { c.m_pCommonPointers = nullptr; },
         "[CDLFormFactory::createForm] pFormContext->m_pCommonPointers is null. aborting"},
        {[](CFormRecord&, CSWFormContext& c) { c.m_pContext = nullptr; },
         "[CDLFormFactory::createForm] pFormContext->m_pContext is null. aborting"},
        {[](CFormRecord&, CSWFormContext& c) { c.m_pcobBufferInstructionList = nullptr; },
         "[CDLFormFactory::createForm] pFormContext->m_pcobBufferInstructionList is null. aborting"},
        {[](CFormRecord&, CSWFormContext& c) { c.m_spDom.Release(); },
         "[CDLFormFactory::createForm] pFormContext->m_spDom is null or undefined. aborting"},
        {[](CFormRecord& r, CSWFormContext&) { r.m_context.m_spRequestInfo.Release(); },
         "[CDLFormFactory::createForm] pFormContext->m_pContext->m_spRequestInfo is null. aborting"},
        {[](CFormRecord& r, CSWFormContext&) { r.m_context.m_spExchangeURL.Release(); },
         "[CDLFormFactory::createForm] pFormContext->m_pContext->m_spExchangeURL is null. aborting"},
        {[](CFormRecord& r, CSWFormContext&) { r.m_context.m_spOutboundContext.Release(); },
         "[CDLFormFactory::createForm] pFormContext->m_pContext->m_spOutboundContext is null. aborting"},
        {[](CFormRecord& r, CSWFormContext&) { r.m_context.m_pMyOwnContext = nullptr; },
         "[CDLFormFactory::createForm] pFormContext->m_pContext->m_pMyOwnContex is null. aborting"},
    };
    for (const auto& c : aCases)
    {
        CTraceCapture capture;
        CFormRecord record("<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->");
        CSWFormContext& context = record.FormContext();
        c.first(record, context);
        EXPECT_EQ(CDLFormFactory::createForm(&context), nullptr);
        EXPECT_TRUE(CTraceCapture::Has(c.second)) << c.second;
        EXPECT_FALSE(CTraceCapture::HasPrefix("[CDLFormFactory::createForm] Template:"));
    }
    CTraceCapture capture;
    EXPECT_EQ(CDLFormFactory::createForm(nullptr), nullptr);
    EXPECT_TRUE(CTraceCapture::Has("[CDLFormFactory::createForm] pFormContext is null. aborting"));
}

// Installs a maker of every row's form for the length of a test.
class CFormMaker
{
public:
    explicit CFormMaker(PFN_MAKE_FORM pfnMaker) : m_pfnOld(CDLFormFactory::SetFormMaker(pfnMaker)) {}
    ~CFormMaker() { CDLFormFactory::SetFormMaker(m_pfnOld); }
    CFormMaker(const CFormMaker&) = delete;
    CFormMaker& operator=(const CFormMaker&) = delete;

private:
    PFN_MAKE_FORM m_pfnOld = nullptr;
};

// What a row answers when its form cannot be allocated.
CDLForm* MakeNoForm(FormKind /*eKind*/, CSWFormContext* /*pFormContext*/)
{
    return nullptr;
}

TEST(FormFactory, AFormThatCannotBeMadeAnswersAsAnUnknownPage)
{
    CTraceCapture capture;
    const CFormMaker noForm(&MakeNoForm);
    CFormRecord record(
        "<!-- OwaPage = ASP.forms_premium_readmessage_aspx --><html><head></head><body></body></html>");
    EXPECT_EQ(CDLFormFactory::createForm(&record.FormContext()), nullptr);
    EXPECT_EQ(CTraceCapture::Lines(),
              (std::vector<std::string>{
                  "[CDLFormFactory::createForm] Template: <ASP.forms_premium_readmessage_aspx>",
                  "[CDLFormFactory::createForm] Unknown form, no need for modification. Return NULL."}));
    CTraceCapture::Clear();
    record.FormContext().m_eOWAExperience = 7;
    EXPECT_EQ(CDLFormFactory::createForm(&record.FormContext()), nullptr);
    EXPECT_TRUE(CTraceCapture::Has("[CDLFormFactory::createForm] Invalid OWA experience <7>."));
    EXPECT_TRUE(CTraceCapture::Has(
        "[CDLFormFactory::createForm] Unknown form, no need for modification. Return NULL."));
}

struct ClassCase
{
    const char* m_pszTemplate;
    DWORD m_dwFlags;
    FormKind m_eKind;
    std::vector<std::string> m_vecConstructorLines; // without HEAD, after the base classes' lines
};

TEST(FormFactory, EveryClassIsBuiltAndDroppedWhenItsPageLacksItsHead)
{
    const ClassCase aCases[] = {
        {"ASP.forms_premium_readmessage_aspx",
         0,
         FormKind::PremiumReadItem,
         {"[CDLPremiumFormItem::CDLPremiumFormItem] Starts",
          "[CDLPremiumFormItem::CDLPremiumFormItem] <HEAD> element was not found!",
          "[CDLPremiumFormItem::CDLPremiumFormItem] returned m_bIsInstanceValid <N>.",
          "[CDLPremiumFormReadItem::CDLPremiumFormReadItem] Starts",
          "[CDLPremiumFormReadItem::CDLPremiumFormReadItem] returned. m_bIsInstanceValid <N>."}},
        {"ASP.forms_premium_editmessage_aspx",
         0,
         FormKind::PremiumEditItem,
         {"[CDLPremiumFormItem::CDLPremiumFormItem] <HEAD> element was not found!",
          "[CDLPremiumFormEditItem::CDLPremiumFormEditItem] returned. m_bIsInstanceValid <N>."}},
        {"ASP.forms_premium_attachfiledialog_aspx",
         RF_POST,
         FormKind::PremiumPOSTAttachFileDialog,
         {"[CDLPremiumFormPOSTAttachFileDialog::CDLPremiumFormPOSTAttachFileDialog] Starts",
          "[CDLPremiumFormPOSTAttachFileDialog::CDLPremiumFormPOSTAttachFileDialog] returned. "
          "m_bIsInstanceValid "
          "<N>."}},
        {"ASP.forms_premium_attachfiledialog_aspx",
         0,
         FormKind::PremiumGETAttachFileDialog,
         {"[CDLPremiumFormGETAttachFileDialog::CDLPremiumFormGETAttachFileDialog] Starts",
          "[CDLPremiumFormGETAttachFileDialog::CDLPremiumFormGETAttachFileDialog] <HEAD> element was not "
          "found!",
          "[CDLPremiumFormGETAttachFileDialog::CDLPremiumFormGETAttachFileDialog] returned "
          "m_bIsInstanceValid <N>."}},
        {"ASP.forms_premium_documentview_aspx",
         0,
         FormKind::PremiumGETDocumentView,
         {"[CDLPremiumFormGETDocumentView::CDLPremiumFormGETDocumentView] Starts",
          "[CDLPremiumFormGETDocumentView::CDLPremiumFormGETDocumentView] returned m_bIsInstanceValid <N>."}},
        {"ASP.forms_basic_basiceditmessage_aspx",
         0,
         FormKind::BasicEditItem,
         {"[CDLBasicFormWithAttachments::CDLBasicFormWithAttachments] Starts.",
          "[CDLBasicFormWithAttachments::CDLBasicFormWithAttachments] <HEAD> element was not found!",
          "[CDLBasicFormWithAttachButtons::CDLBasicFormWithAttachButtons] Starts.",
          "[CDLBasicFormWithAttachButtons::CDLBasicFormWithAttachButtons] returned m_bIsInstanceValid <N>.",
          "[CDLBasicFormEditItem::CDLBasicFormEditItem] returned. m_bIsInstanceValid <N>."}},
        {"ASP.forms_basic_basicreadmessage_aspx",
         0,
         FormKind::BasicReadItem,
         {"[CDLBasicFormReadItem::CDLBasicFormReadItem] returned. m_bIsInstanceValid <N>."}},
        {"ASP.forms_basic_basiccalendaritemschedulingtab_aspx",
         0,
         FormKind::BasicCalendarItemSchedulingTab,
         {"[CDLBasicFormWithAttachButtons::CDLBasicFormWithAttachButtons] <HEAD> element was not found!"}},
        {"ASP.forms_basic_basicattachmentmanager_aspx",
         0,
         FormKind::BasicAttachmentManager,
         {"[CDLBasicFormAttachmentManager::CDLBasicFormAttachmentManager] returned. m_bIsInstanceValid "
          "<N>."}},
        // No page check of their own: valid, and handed out.
        {"", RF_PREMIUM_DELETE_ATTACHMENT, FormKind::PremiumDeleteAttachment, {}},
        {"", RF_DOCUMENT_VIEW_SORT, FormKind::PremiumPOSTDocumentViewSort, {}},
        {"ASP.auth_error_aspx",
         RF_DOCUMENT_VIEW_FORCE_SAVE_HANDLED,
         FormKind::DocumentViewForceSaveError,
         {"[CDLDocumentViewForceSaveErrorForm::CDLDocumentViewForceSaveErrorForm] Starts.",
          "[CDLDocumentViewForceSaveErrorForm::CDLDocumentViewForceSaveErrorForm] <HEAD> element was not "
          "found!",
          "[CDLDocumentViewForceSaveErrorForm::CDLDocumentViewForceSaveErrorForm] returned "
          "m_bIsInstanceValid "
          "<N>."}},
    };
    GeneralSettingsWithResources();
    for (const auto& c : aCases)
    {
        const std::string strClass = CDLFormFactory::ClassName(c.m_eKind);
        SCOPED_TRACE(strClass);
        CTraceCapture capture;
        CFormRecord record(std::string(*c.m_pszTemplate ? "<!-- OwaPage = " : "") + c.m_pszTemplate +
                           (*c.m_pszTemplate ? " -->" : "") + "<html><body>b</body></html>");
        record.m_context.RequestFlags = c.m_dwFlags;
        // A class without a page check of its own is valid on this page and handed out.
        const bool bPageChecked = !c.m_vecConstructorLines.empty();
        CDLForm* pForm = CDLFormFactory::createForm(&record.FormContext());
        EXPECT_EQ(pForm == nullptr, bPageChecked);
        delete pForm;
        for (const std::string& strLine : c.m_vecConstructorLines)
            EXPECT_TRUE(CTraceCapture::Has(strLine)) << strLine;
        EXPECT_TRUE(
            CTraceCapture::Has("[CDLFormFactory::createForm] return instance of " + strClass + " class."));
        EXPECT_EQ(CTraceCapture::Has("[CDLFormFactory::createForm] Created form instance is invalid! "
                                     "Delete instance and return NULL."),
                  bPageChecked);
    }
}

TEST(FormFactory, AValidFormIsHandedOut)
{
    GeneralSettingsWithResources();
    CTraceCapture capture;
    CFormRecord record(std::string("<!-- OwaPage = ASP.forms_premium_attachfiledialog_aspx -->") + FULL_PAGE);
    CDLForm* pForm = CDLFormFactory::createForm(&record.FormContext());
    ASSERT_NE(pForm, nullptr);
    EXPECT_TRUE(pForm->m_bIsInstanceValid);
    EXPECT_EQ(pForm->Execute(), 7u);
    delete pForm;
    EXPECT_TRUE(CTraceCapture::Has(
        "[CDLFormFactory::createForm] return instance of CDLPremiumFormGETAttachFileDialog class."));
    EXPECT_TRUE(CTraceCapture::Has("[CDLPremiumFormGETAttachFileDialog::CDLPremiumFormGETAttachFileDialog] "
                                   "returned m_bIsInstanceValid <Y>."));
}
} // namespace
