// Picks the rewriter of a page from its template comment and the request's classification, builds it,
// and drops it again when its constructor found the page or the request unusable.
#pragma once

#include "common/CiString.h"
#include "platform/WinTypes.h"

class CDLForm;
class CSWFormContext;

// The rows of the factory's table, in the order they are tested.
enum class FormKind
{
    None,
    PremiumReadItem,
    PremiumEditItem,
    PremiumPOSTAttachFileDialog,
    PremiumGETAttachFileDialog,
    PremiumGETDocumentView,
    BasicEditItem,
    BasicReadItem,
    BasicCalendarItemSchedulingTab,
    BasicAttachmentManager,
    PremiumDeleteAttachment,
    PremiumPOSTDocumentViewSort,
    DocumentViewForceSaveError,
    Count,
};

// Builds the rewriter of one row; null when it cannot be allocated.
using PFN_MAKE_FORM = CDLForm* (*)(FormKind eKind, CSWFormContext* pFormContext);

class CDLFormFactory
{
public:
    // The new form's CDLForm part, owned by the caller, or null (every refusal is traced).
    static CDLForm* createForm(CSWFormContext* pFormContext);

    // The row a page falls in; None when no row fits. bInvalidExperience tells an experience that is
    // none of 0, 1 and 2.
    static FormKind ChooseForm(const ci_string& csTemplateName, DWORD dwExperience, DWORD dwRequestFlags,
                               bool& bInvalidExperience);
    static const char* ClassName(FormKind eKind);

    // A new instance of the row's class.
    static CDLForm* NewFormOfClass(FormKind eKind, CSWFormContext* pFormContext);

    // Test seam: a maker that builds the form of every row in place of the row's class, so that tests,
    // benchmarks and fuzzers drive the factory's choice and the notification around it with forms of their
    // own; null puts the classes back. Returns the maker it replaces.
    static PFN_MAKE_FORM SetFormMaker(PFN_MAKE_FORM pfnMaker);
};
