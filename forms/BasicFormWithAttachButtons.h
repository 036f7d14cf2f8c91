// The two controls through which an OWA Basic page adds attachments, the toolbar's attach-file button
// and the attachments link in the page's content, disabled or removed as the administrator's block
// level says; and the calendar item's scheduling tab, whose rewrite is only that.
#pragma once

#include "forms/DLForm.h"
#include "forms/DOMElement.h"

// The style the disabled button's picture gets.
constexpr const char* ATTACH_BUTTON_GREYED_STYLE = "-moz-opacity:0.4;filter:alpha(opacity=40);border-style:"
                                                   "none;cursor:default;margin-left:5;margin-right:5;";

class CDLBasicFormWithAttachButtons : public virtual CDLForm
{
public:
    CDLBasicFormWithAttachButtons(CSWFormContext* pFormContext, int bMostDerived);

    CDOMElement GetAttachFileToolbarButtonLink();
    // The A element around the first attach-file call at or after nStart.
    CDOMElement GetContentAttachmentsLink(Position nStart);
    // nEnd: where the search for the content link may start, 0 when the button is missing.
    DWORD DisableAttachFileToolbarButtonLink(Position& nEnd);
    DWORD RemoveAttachFileToolbarButtonLink(Position& nEnd);
    DWORD DisableContentAttachmentsLink(Position nStart);
    DWORD RemoveContentAttachmentsLink(Position nStart);

protected:
    // The decision both forms share; pszOperation names the caller in the log, bContentLink says whether
    // the content link goes with the button.
    DWORD DisableOrRemoveAttachmentButtons(const char* pszOperation, bool bContentLink);

private:
    // Removes an A element's tags and keeps its content.
    DWORD DisableLink(const CDOMElement& link, const char* pszOperation);
};

class CDLBasicFormCalendarItemSchedulingTab : public CDLBasicFormWithAttachButtons
{
public:
    CDLBasicFormCalendarItemSchedulingTab(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary();
};
