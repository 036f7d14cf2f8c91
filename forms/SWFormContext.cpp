#include "forms/SWFormContext.h"

#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/DOMParserException.h"

#include <new>

namespace
{
constexpr const char* TEMPLATE_MARKER = "<!-- OwaPage =";
constexpr Position TEMPLATE_MARKER_LENGTH = 14;
constexpr const char* TEMPLATE_END = "-->";
} // namespace

CSWFormContext::CSWFormContext(CDLLContext* pContext, CBufferInstructionList* pList)
{
    Initialize(pContext, pList);
}

CSWFormContext::~CSWFormContext()
{
    m_csTemplateName.clear();
    m_spDom.Release();
}

void CSWFormContext::Initialize(CDLLContext* pContext, CBufferInstructionList* pList)
{
    if (pContext == nullptr)
        throw CSWFormException("Initialize context failed: pContext is NULL");
    if (pContext->m_spOutboundContext.IsNull())
        throw CSWFormException("Initialize context failed: m_pOutboundContext is NULL");
    char** pCommonPointers = pContext->m_spOutboundContext->m_pCommonPointers;
    if (pCommonPointers == nullptr)
        throw CSWFormException("Initialize context failed: m_pCommonPointers is NULL");
    // Without memory for the DOM the page reads as one without a template comment.
    try
    {
        m_spDom = CCountedPtr<CDOMSource>(new CDOMSource(pCommonPointers));
    }
    catch (const std::bad_alloc&)
    {
        m_spDom.Release();
    }
    m_pContext = pContext;
    m_pcobBufferInstructionList = pList;
    m_pCommonPointers = pCommonPointers;
    UpdateContextWithTemplateComment();
}

void CSWFormContext::UpdateContextWithTemplateComment()
{
    std::string sText;
    try
    {
        if (m_spDom.IsNull())
            throw CDOMParserUndefinedObjectException(
                "CSWFormContext::UpdateContextWithTemplateComment() : m_spDom is 0");
        const CDOMSource& dom = *m_spDom;
        const Position nMarker = dom.scanForString(TEMPLATE_MARKER, dom.getBeginPos(), NPOS);
        if (nMarker != NPOS)
        {
            const Position nEnd = dom.scanForString(TEMPLATE_END, nMarker, NPOS);
            if (nEnd != NPOS)
            {
                const Position nTextBegin = nMarker + TEMPLATE_MARKER_LENGTH;
                if (nEnd > nTextBegin)
                    dom.substringData(nTextBegin, nEnd - nTextBegin, sText);
                TrimChars(sText, " \r\n\t");
            }
        }
    }
    catch (...)
    {
        TraceLog(
            "[CSWForm::UpdateContextWithTemplateComment] Error: Exception when parsing template comment.");
    }
    if (sText.empty())
    {
        m_csTemplateName.clear();
        m_eOWAExperience = OWA_EXPERIENCE_NONE;
        TraceLog("[CSWForm::UpdateContextWithTemplateComment] Warning: Template comment not found.");
        return;
    }
    m_csTemplateName = ToCi(sText);
    if (m_csTemplateName.find("_premium_") != ci_string::npos)
        m_eOWAExperience = OWA_EXPERIENCE_PREMIUM;
    else if (m_csTemplateName.find("_basic_") != ci_string::npos)
        m_eOWAExperience = OWA_EXPERIENCE_BASIC;
    else if (m_csTemplateName.find("_error_") != ci_string::npos ||
             m_csTemplateName.find("ASP.auth_logoff_aspx") != ci_string::npos)
        m_eOWAExperience = OWA_EXPERIENCE_NONE;
    else
    {
        m_eOWAExperience = OWA_EXPERIENCE_NONE;
        TraceLog("[CSWForm::UpdateContextWithTemplateComment] Warning: Template comment is invalid.");
        throw std::runtime_error("invalid template");
    }
}
