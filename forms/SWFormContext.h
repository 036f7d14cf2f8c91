// What every rewriter reaches its response through: the host's record, the list its edits go into, the
// DOM over the response body, and the page's name and kind from OWA's template comment.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "forms/DOMSource.h"

#include <stdexcept>
#include <string>

struct CDLLContext;
class CBufferInstructionList;

// The exception of the form framework.
class CSWFormException : public std::runtime_error
{
public:
    explicit CSWFormException(const std::string& sMessage) : std::runtime_error(sMessage) {}
};

// OWA's kind of client, as the template comment names it.
enum OWAExperience : DWORD
{
    OWA_EXPERIENCE_NONE = 0,
    OWA_EXPERIENCE_PREMIUM = 1,
    OWA_EXPERIENCE_BASIC = 2,
};

class CSWFormContext
{
public:
    // Throws CSWFormException when the record, its response context or the response pointers are missing,
    // and std::runtime_error("invalid template") for a template comment naming a page the worker does not
    // know.
    CSWFormContext(CDLLContext* pContext, CBufferInstructionList* pList);
    CSWFormContext(const CSWFormContext&) = delete;
    CSWFormContext& operator=(const CSWFormContext&) = delete;
    virtual ~CSWFormContext();

    virtual void Initialize(CDLLContext* pContext, CBufferInstructionList* pList);
    virtual void UpdateContextWithTemplateComment();

    // Whether the DOM exists and holds the parser's source.
    bool HasDom() const { return !m_spDom.IsNull() && m_spDom->hasSource(); }

    CDLLContext* m_pContext = nullptr;
    CBufferInstructionList* m_pcobBufferInstructionList = nullptr;
    char** m_pCommonPointers = nullptr;
    CCountedPtr<CDOMSource> m_spDom;
    ci_string m_csTemplateName;
    DWORD m_eOWAExperience = OWA_EXPERIENCE_NONE;
};
