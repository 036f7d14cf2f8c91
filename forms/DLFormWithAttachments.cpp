#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "forms/DLFormWithFiles.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/SWFormContext.h"

CDLFormWithAttachments::CDLFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived)
    : CDLForm(pFormContext), CDLFormWithFiles(pFormContext, bMostDerived)
{
}

DWORD CDLFormWithAttachments::ProcessAttachments(const CDOMElement& element,
                                                 bool& bIsDirectAttachmentAccessEnabledOnThisForm)
{
    TraceLog("[CDLFormWithAttachments::ProcessAttachments] Starts");
    DWORD dwRet = ERROR_SUCCESS;
    const CDOMElementVector spans = element.getElementsByTagName("SPAN");
    for (size_t i = 0; i < spans.length() && dwRet == ERROR_SUCCESS; ++i)
    {
        CDOMElement span = spans.item(i);
        const CDOMAttribute id = span.getAttribute("id");
        const CDOMAttribute cls = span.getAttribute("class");
        const std::string sId = id.isEmpty() ? std::string() : id.getValue();
        const std::string sClass = cls.isEmpty() ? std::string() : cls.getValue();
        if (sClass == "wvsn" && !span.getStartTagById("wvLnk").isEmpty())
        {
            if (!m_bOWAWebReadyEnabled)
            {
                dwRet = static_cast<DWORD>(span.remove(m_pFormContext->m_pcobBufferInstructionList));
                if (dwRet != ERROR_SUCCESS)
                    TraceLog("[CDLFormWithAttachments::ProcessAttachments] CDOMElement::remove() failed when "
                             "removing "
                             "WebReady span elemnent.");
            }
        }
        else if (sId == "spnAtmt")
        {
            bool bDirect = false;
            dwRet = ProcessAttachmentSPANelement(span, bDirect);
            if (dwRet != ERROR_SUCCESS)
                TraceLog("[CDLFormWithAttachments::ProcessAttachments] ProcessAttachmentSPANelement failed.");
            else if (bDirect)
                bIsDirectAttachmentAccessEnabledOnThisForm = true;
        }
    }
    TraceLog("[CDLFormWithAttachments::ProcessAttachments] returned "
             "bIsDirectAttachmentAccessEnabledOnThisForm <%s> "
             "dwRet <%d>.",
             bIsDirectAttachmentAccessEnabledOnThisForm ? "Y" : "N", static_cast<int>(dwRet));
    return dwRet;
}

DWORD CDLFormWithAttachments::GetAttachmentFilename(const CDOMSource& dom, const CDOMElement& span,
                                                    std::string& sFileName)
{
    sFileName.clear();
    const Position nBegin = span.getContentBeginPos();
    Position nEnd = span.getContentEndPos();
    const CDOMStartTag nested = span.getFirstStartTagByTagName("SPAN");
    if (!nested.isEmpty())
    {
        const CDOMAttribute cls = nested.getAttribute("class");
        if (!cls.isEmpty() && cls.getValue() == "wvsn")
            nEnd = nested.getBeginPos();
    }
    dom.getPlainText(nBegin, nEnd, sFileName);
    const size_t nMark = sFileName.find("&#x200E;");
    if (nMark != std::string::npos)
        sFileName.erase(nMark);
    TrimChars(sFileName, " \r\n\t");
    TraceLog("[CDLFormWithAttachments::GetAttachmentFilename] returned <%d>. sAttFilename <%s> ", 0,
             sFileName.c_str());
    return ERROR_SUCCESS;
}

Position CDLFormWithAttachments::AttachmentLinkEnd(const CDOMElement& span)
{
    const CDOMElementVector spans = span.getElementsByTagName("SPAN");
    for (size_t i = 0; i < spans.length(); ++i)
    {
        const CDOMElement nested = spans.item(i);
        if (nested.getElement() == span.getElement())
            continue;
        const CDOMAttribute cls = nested.getAttribute("class");
        if (!cls.isEmpty() && cls.getValue() == "wvsn")
            return nested.getBeginPos();
    }
    return span.getContentEndPos();
}

DWORD CDLFormWithAttachments::GetOWAAttachmentLevel(const CDOMAttribute& level, int32_t& nLevel)
{
    nLevel = 0;
    DWORD dwRet = ERROR_SUCCESS;
    const std::string sValue = level.isEmpty() ? std::string() : level.getValue();
    if (level.isEmpty() || sValue.empty())
    {
        dwRet = ERROR_INVALID_DATA;
        TraceLog("[CDLFormWithAttachments::GetOWAAttachmentLevel] Attachment span element's <%s> attribute "
                 "is missing "
                 "or empty.",
                 "level");
    }
    else
    {
        int32_t nParsed = 0;
        if (!StringToNumber(sValue, nParsed, 10, 0, NPOS, false))
            nParsed = 0;
        nLevel = nParsed;
        if (nLevel < 1 || nLevel > 3)
        {
            dwRet = ERROR_INVALID_DATA;
            TraceLog("[CDLFormWithAttachments::GetOWAAttachmentLevel] Invalid <%s> attribute value <%s>.",
                     "level", sValue.c_str());
        }
    }
    TraceLog("[CDLFormWithAttachments::GetOWAAttachmentLevel] returned dwRet <%d> nOWAAttLevel <%d> <%s>.",
             static_cast<int>(dwRet), nLevel, OWALevelName(nLevel));
    return dwRet;
}
