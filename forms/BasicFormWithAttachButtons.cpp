#include "forms/BasicFormWithAttachButtons.h"

#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/BasicFormTrace.h"
#include "forms/BufferEdits.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/SWFormContext.h"
#include "general/DLSWGeneralSettings.h"
#include "settings/SettingItemIDs.h"

#include <string>

namespace
{
constexpr const char* ATTACH_FILE_CALL = "return onClkTb('attachfile');";

bool IsTag(const CDOMElement& element, const char* pszName)
{
    return !element.isEmpty() && element.tagName() == ci_string(pszName);
}
} // namespace

CDLBasicFormWithAttachButtons::CDLBasicFormWithAttachButtons(CSWFormContext* pFormContext,
                                                             int /*bMostDerived*/)
    : CDLForm(pFormContext)
{
    LogConstructorStart("CDLBasicFormWithAttachButtons", "Starts.");
    CheckPageElements("CDLBasicFormWithAttachButtons");
    LogConstructorEnd("CDLBasicFormWithAttachButtons", false);
}

CDOMElement CDLBasicFormWithAttachButtons::GetAttachFileToolbarButtonLink()
{
    const CDOMElement button = m_pFormContext->m_spDom->getBody().getElementById("lnkHdrattachfile");
    if (button.isEmpty())
        TraceLog(
            "[CDLBasicFormWithAttachButtons::GetAttachFileToolbarButtonLink] CDOMElement::getElementById() "
            "returned an undefined element. ID <%s>.",
            "lnkHdrattachfile");
    return button;
}

CDOMElement CDLBasicFormWithAttachButtons::GetContentAttachmentsLink(Position nStart)
{
    const CDOMSource& dom = *m_pFormContext->m_spDom;
    Position nFound = dom.scanForString(ATTACH_FILE_CALL, nStart, NPOS);
    if (nFound == NPOS)
    {
        TraceLog(
            "[CDLBasicFormWithAttachButtons::GetContentAttachmentsLink] CDOMSource::scanForString() failed. "
            "string <%s>.",
            ATTACH_FILE_CALL);
        return CDOMElement();
    }
    // The same text may stand in a mail body before the link (as text, never as OWA's markup): only an
    // occurrence inside an A element is the link.
    for (; nFound != NPOS; nFound = dom.scanForString(ATTACH_FILE_CALL, nFound + 1, NPOS))
    {
        const CDOMElement link = dom.getEnclosingElement(nFound);
        if (IsTag(link, "A"))
            return link;
    }
    TraceLog(
        "[CDLBasicFormWithAttachButtons::GetContentAttachmentsLink] Content attachments link was not found.");
    return CDOMElement();
}

DWORD CDLBasicFormWithAttachButtons::DisableLink(const CDOMElement& link, const char* pszOperation)
{
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    const CSource* pSource = m_pFormContext->m_spDom->getSource().Get();
    DWORD dwRet = ERROR_SUCCESS;
    const Position nBegin = link.getBeginPos();
    const Position nContentBegin = link.getContentBeginPos();
    const Position nContentEnd = link.getContentEndPos();
    const Position nEnd = link.getEndPos();
    Position nDeletePos = 0;
    Position nDeleteLength = 0;
    if (nBegin < nContentBegin)
    {
        nDeletePos = nBegin;
        nDeleteLength = nContentBegin - nBegin;
        dwRet = DeleteHtmlStringAtPosition(AddressOf(pSource, nDeletePos), static_cast<DWORD>(nDeleteLength),
                                           pList);
    }
    if (dwRet == ERROR_SUCCESS && nContentEnd < nEnd)
    {
        nDeletePos = nContentEnd;
        nDeleteLength = nEnd - nContentEnd;
        dwRet = DeleteHtmlStringAtPosition(AddressOf(pSource, nDeletePos), static_cast<DWORD>(nDeleteLength),
                                           pList);
    }
    if (dwRet != ERROR_SUCCESS)
        TraceLog(
            "[CDLBasicFormWithAttachButtons::%s] CUtil::DeleteHtmlStringAtPosition() failed. nDeletePos <%d> "
            "nDeleteLength <%d>.",
            pszOperation, static_cast<int>(nDeletePos), static_cast<int>(nDeleteLength));
    return dwRet;
}

DWORD CDLBasicFormWithAttachButtons::DisableAttachFileToolbarButtonLink(Position& nEnd)
{
    TraceLog("[CDLBasicFormWithAttachButtons::DisableAttachFileToolbarButtonLink] Starts.");
    nEnd = 0;
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMElement button = GetAttachFileToolbarButtonLink();
    if (button.isEmpty())
    {
        TraceLog("[CDLBasicFormWithAttachButtons::DisableAttachFileToolbarButtonLink] "
                 "GetAttachFileToolbarButtonLink() returned NULL.");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        nEnd = button.getEndPos();
        dwRet = DisableLink(button, "DisableAttachFileToolbarButtonLink");
        if (dwRet == ERROR_SUCCESS)
        {
            const CDOMStartTag image = button.getFirstStartTagByTagName("IMG");
            if (image.isEmpty())
                TraceLog("[CDLBasicFormWithAttachButtons::DisableAttachFileToolbarButtonLink] "
                         "CDOMElement::getFirstStartTagByTagName() returned an undefined start tag when "
                         "looking for "
                         "attachment button image.");
            else if ((dwRet = static_cast<DWORD>(
                          image.setAttribute("style", ATTACH_BUTTON_GREYED_STYLE,
                                             m_pFormContext->m_pcobBufferInstructionList))) != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachButtons::DisableAttachFileToolbarButtonLink] "
                         "CDOMElement::setAttibute() failed when setting \"style\" attribute.");
        }
    }
    TraceLog("[CDLBasicFormWithAttachButtons::DisableAttachFileToolbarButtonLink] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink(Position& nEnd)
{
    TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] Starts.");
    nEnd = 0;
    DWORD dwRet = ERROR_SUCCESS;
    CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
    const CDOMElement button = GetAttachFileToolbarButtonLink();
    if (button.isEmpty())
    {
        TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] "
                 "GetAttachFileToolbarButtonLink() returned NULL.");
        dwRet = ERROR_INVALID_DATA;
    }
    else
    {
        nEnd = button.getEndPos();
        CDOMElement cell = button.parentNode();
        if (!IsTag(cell, "TD") || !IsOwnWrapper(*m_pFormContext->m_spDom, cell, button))
        {
            // Refusing here would send the whole page unrewritten, the button still usable: the button
            // goes alone, and whatever shares its place stays.
            if (!IsTag(cell, "TD"))
                TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] Attach file "
                         "toolbar button cell was not found.");
            else
                TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] Attach file "
                         "toolbar button cell holds more than the button.");
            TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] The button alone is "
                     "removed.");
            if ((dwRet = static_cast<DWORD>(button.remove(pList))) != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] "
                         "CDOMElement::remove() failed.");
        }
        else if ((dwRet = static_cast<DWORD>(cell.remove(pList))) != ERROR_SUCCESS)
            TraceLog(
                "[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] CDOMElement::remove() "
                "failed.");
        else
        {
            // The content link is looked for after everything removed here, so that no later delete lies
            // inside one of these.
            nEnd = cell.getEndPos();
            const CDOMElement divider = cell.nextSibling();
            const CDOMAttribute cls = IsTag(divider, "TD") ? divider.getAttribute("class") : CDOMAttribute();
            if (cls.isEmpty() || !cls.hasValue() || ToCi(cls.getValue()) != ci_string("dv"))
                TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] Toolbar divider "
                         "next to "
                         "attach file button was not found.");
            else if ((dwRet = static_cast<DWORD>(divider.remove(pList))) != ERROR_SUCCESS)
                TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] "
                         "CDOMElement::remove() "
                         "failed.");
            else
                nEnd = divider.getEndPos();
        }
    }
    TraceLog("[CDLBasicFormWithAttachButtons::RemoveAttachFileToolbarButtonLink] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachButtons::DisableContentAttachmentsLink(Position nStart)
{
    TraceLog("[CDLBasicFormWithAttachButtons::DisableContentAttachmentsLink] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMElement link = GetContentAttachmentsLink(nStart);
    if (link.isEmpty())
    {
        TraceLog("[CDLBasicFormWithAttachButtons::DisableContentAttachmentsLink] GetContentAttachmentsLink() "
                 "returned "
                 "NULL.");
        dwRet = ERROR_INVALID_DATA;
    }
    else
        dwRet = DisableLink(link, "DisableContentAttachmentsLink");
    TraceLog("[CDLBasicFormWithAttachButtons::DisableContentAttachmentsLink] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachButtons::RemoveContentAttachmentsLink(Position nStart)
{
    TraceLog("[CDLBasicFormWithAttachButtons::RemoveContentAttachmentsLink] Starts.");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMElement link = GetContentAttachmentsLink(nStart);
    if (link.isEmpty())
    {
        TraceLog("[CDLBasicFormWithAttachButtons::RemoveContentAttachmentsLink] GetContentAttachmentsLink() "
                 "returned "
                 "NULL.");
        dwRet = ERROR_INVALID_DATA;
    }
    else if ((dwRet = static_cast<DWORD>(link.remove(m_pFormContext->m_pcobBufferInstructionList))) !=
             ERROR_SUCCESS)
        TraceLog(
            "[CDLBasicFormWithAttachButtons::RemoveContentAttachmentsLink] CDOMElement::remove() failed.");
    TraceLog("[CDLBasicFormWithAttachButtons::RemoveContentAttachmentsLink] returned dwRet <%d>.",
             static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLBasicFormWithAttachButtons::DisableOrRemoveAttachmentButtons(const char* pszOperation,
                                                                      bool bContentLink)
{
    const bool bSchedulingTab = !bContentLink;
    TraceLog("[%s] started.", pszOperation);
    int nLevel = 0;
    const auto nSettingID = static_cast<int>(m_pFormContext->m_pContext->SettingID);
    if (!m_pGeneralSettings->GetSettingFromID(SETTING_ATTACHMENT_BUTTONS, nLevel, nSettingID, 0))
    {
        nLevel = 0;
        if (bSchedulingTab)
            TraceLog("[%s] Failed to read attachment buttons block level setting. ID <%d> SettingID <%d>.",
                     pszOperation, SETTING_ATTACHMENT_BUTTONS, nSettingID);
        else
            TraceLog("[%s] Failed to read attachment buttons block level setting. ID <%d>. SettingID <%d>",
                     pszOperation, SETTING_ATTACHMENT_BUTTONS, nSettingID);
    }
    TraceLog("[%s] Attachment buttons block level is <%d>.", pszOperation, nLevel);
    DWORD dwRet = ERROR_SUCCESS;
    Position nEnd = 0;
    switch (nLevel)
    {
    case 0:
        TraceLog("[%s] Attachment buttons are enabled. No modifications are necessary.", pszOperation);
        break;
    case 1:
        if ((dwRet = DisableAttachFileToolbarButtonLink(nEnd)) != ERROR_SUCCESS)
            TraceLog("[%s] DisableAttachFileToolbarButtonLink() failed.", pszOperation);
        else if (bContentLink && (dwRet = DisableContentAttachmentsLink(nEnd)) != ERROR_SUCCESS)
            TraceLog("[%s] DisableContentAttachmentsLink() failed.", pszOperation);
        break;
    case 2:
        if ((dwRet = RemoveAttachFileToolbarButtonLink(nEnd)) != ERROR_SUCCESS)
            TraceLog("[%s] RemoveAttachFileToolbarButtonLink() failed.", pszOperation);
        else if (bContentLink && (dwRet = RemoveContentAttachmentsLink(nEnd)) != ERROR_SUCCESS)
            TraceLog("[%s] RemoveContentAttachmentsLink() failed.", pszOperation);
        break;
    default:
        TraceLog(bSchedulingTab ? "[%s] Attachment buttons block level is invalid."
                                : "[%s] Attachments block level setting is invalid.",
                 pszOperation);
        dwRet = ERROR_INVALID_DATA;
        break;
    }
    TraceLog("[%s] returned dwRet <%d>.", pszOperation, static_cast<int>(dwRet));
    return dwRet;
}

CDLBasicFormCalendarItemSchedulingTab::CDLBasicFormCalendarItemSchedulingTab(CSWFormContext* pFormContext,
                                                                             int bMostDerived)
    : CDLForm(pFormContext), CDLBasicFormWithAttachButtons(pFormContext, bMostDerived)
{
}

DWORD CDLBasicFormCalendarItemSchedulingTab::DisableOrRemoveAttachmentButtonsIfNecessary()
{
    return DisableOrRemoveAttachmentButtons(
        "CDLBasicFormCalendarItemSchedulingTab::DisableOrRemoveAttachmentButtonsIfNecessary", false);
}

DWORD CDLBasicFormCalendarItemSchedulingTab::Process()
{
    TraceLog("[CDLBasicFormCalendarItemSchedulingTab::Process] start");
    DWORD dwRet = ERROR_SUCCESS;
    try
    {
        dwRet = DisableOrRemoveAttachmentButtonsIfNecessary();
        if (dwRet != ERROR_SUCCESS)
            TraceLog("[CDLBasicFormCalendarItemSchedulingTab::Process] "
                     "DisableOrRemoveAttachmentButtonsIfNecessary() "
                     "failed.");
    }
    catch (const CDOMParserException& e)
    {
        TraceLog("[CDLBasicFormCalendarItemSchedulingTab::Process] Exception <%s> nPos <%d>.",
                 e.getMessage().c_str(), static_cast<int>(e.getPos()));
        dwRet = ERROR_ARENA_TRASHED;
    }
    LogBasicProcessEnd("CDLBasicFormCalendarItemSchedulingTab::Process", m_pFormContext, dwRet, false);
    return dwRet;
}
