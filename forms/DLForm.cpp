#include "forms/DLForm.h"

#include "common/StaticMemory.h"
#include "common/TraceLog.h"
#include "contract/DLLContext.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/HtmlText.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"
#include "general/DLSWGeneralSettings.h"
#include "general/EncodingSniffer.h"
#include "request/DLSWContext.h"

namespace
{
constexpr WORD PRIMARY_LANGUAGE_MASK = 0x3FF;
constexpr WORD LANG_ENGLISH = 0x09;

// Everything a rewriter touches. The response may leave out its character-set declaration and its
// separate HTML start (a fragment): only the data itself must be there.
bool PointersPresent(const CSWFormContext* pFormContext)
{
    if (pFormContext == nullptr || pFormContext->m_pContext == nullptr ||
        pFormContext->m_pcobBufferInstructionList == nullptr || pFormContext->m_pCommonPointers == nullptr ||
        pFormContext->m_pCommonPointers[CDOMSource::WORD_DATA_BEGIN] == nullptr)
        return false;
    const CDLLContext* pContext = pFormContext->m_pContext;
    return pContext->CoreServices != nullptr && !pContext->m_spExchangeURL.IsNull() &&
           !pContext->m_spOutboundContext.IsNull() && !pContext->m_spRequestInfo.IsNull() &&
           pContext->m_pMyOwnContext != nullptr && pFormContext->HasDom();
}
} // namespace

CDLForm::CDLForm(CSWFormContext* pFormContext) : m_pFormContext(pFormContext)
{
    m_pGeneralSettings = Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
    TraceLog("[CDLForm::CDLForm] Starts.");
    if (!PointersPresent(pFormContext))
    {
        m_bIsInstanceValid = false;
        TraceLog("[CDLForm::CDLForm] Invalid pointers.");
    }
    else
    {
        m_csLanguage = ToCi(pFormContext->m_pContext->m_pMyOwnContext->m_strLanguage);
        LANGID wLangID = 0;
        if (!m_pGeneralSettings->m_Resource.DetectLanguage(FromCi(m_csLanguage), wLangID))
        {
            m_bIsInstanceValid = false;
            TraceLog("[CDLForm::CDLForm] CResource::DetectLanguage failed!");
        }
        m_wLangID = wLangID;
        if ((m_wLangID & PRIMARY_LANGUAGE_MASK) == LANG_ENGLISH &&
            (m_csLanguage.size() < 2 || m_csLanguage.compare(0, 2, "en") != 0))
            m_csLanguage = "en";
        if (m_bIsInstanceValid)
        {
            m_sCharSet = PageCharSet(*pFormContext);
            m_pPageEscape = std::make_unique<CPageEscape>(m_sCharSet);
            if (!m_pPageEscape->IsEditable())
            {
                // Every insert and delete is made of ASCII bytes at ASCII places: in a set that is not read
                // here, or whose ASCII bytes may stand for other characters, they would land elsewhere
                // than the browser reads them.
                m_bIsInstanceValid = false;
                TraceLog("[CDLForm::CDLForm] Character set <%s> is not one whose ASCII bytes are always "
                         "ASCII here: the page goes out unchanged.",
                         m_sCharSet.c_str());
            }
        }
    }
    TraceLog("[CDLForm::CDLForm] Language ID <%d> Char set <%s>.", static_cast<int>(m_wLangID),
             m_sCharSet.c_str());
    TraceLog("[CDLForm::CDLForm] returned. m_bIsInstanceValid <%s>.", ValidText());
}

CDLForm::~CDLForm() = default;

bool CDLForm::IsOwnWrapper(const CDOMSource& dom, const CDOMElement& parent, const CDOMElement& button)
{
    if (parent.isEmpty())
        return false;
    const ci_string& csTag = parent.tagName();
    if (csTag == "BODY" || csTag == "HTML" || csTag == "HEAD" || csTag == "FORM" || csTag == "TABLE")
        return false;
    std::string sBefore;
    std::string sAfter;
    dom.substringData(parent.getContentBeginPos(), button.getBeginPos() - parent.getContentBeginPos(),
                      sBefore);
    dom.substringData(button.getEndPos(), parent.getContentEndPos() - button.getEndPos(), sAfter);
    return (sBefore + sAfter).find_first_not_of(" \r\n\t") == std::string::npos;
}

std::string CDLForm::PageCharSet(const CSWFormContext& formContext) const
{
    char** pWords = formContext.m_pCommonPointers;
    const char* pszCharSetText = pWords[CDOMSource::WORD_CHARSET_TEXT];
    const auto nTypeLength =
        static_cast<size_t>(reinterpret_cast<uintptr_t>(pWords[CDOMSource::WORD_CHARSET_LENGTH]));
    const std::string_view svContentType =
        pszCharSetText != nullptr ? std::string_view(pszCharSetText, nTypeLength) : std::string_view();
    // The page starts where its HTML does, at the data's start in a fragment without a separate one.
    const char* pData = pWords[CDOMSource::WORD_DATA_BEGIN];
    const char* pHtml = pWords[CDOMSource::WORD_HTML_DATA_BEGIN];
    const char* pLast = pWords[CDOMSource::WORD_DATA_LAST];
    if (pHtml == nullptr || pData == nullptr || pHtml < pData)
        pHtml = pData;
    std::string_view svPage;
    if (pHtml != nullptr && pLast != nullptr && pLast >= pHtml)
        svPage = std::string_view(pHtml, static_cast<size_t>(pLast - pHtml) + 1);
    // Only the first bytes matter: the mark, and the <meta> the prescan reads.
    svPage = svPage.substr(0, CEncodingSniffer::PRESCAN_LENGTH);
    std::string sDeclared;
    if (CEncodingSniffer::ContentTypeCharSet(svContentType, sDeclared) &&
        CEncodingLabels::Find(sDeclared) == nullptr)
    {
        // A name browsers do not know is skipped, as they skip it; one that ICU reads as a stateful set
        // (UTF-7) is still taken, so that such a page is left alone for every reader that might honour it.
        const CPageEscape escape(sDeclared);
        if (escape.HasConverter() && !escape.IsStateless())
            return sDeclared;
        TraceLog("[CDLForm::CDLForm] Character set <%s> of the Content-Type is no label browsers know: "
                 "ignored.",
                 sDeclared.c_str());
    }
    CEncodingSniffer::Source eSource = CEncodingSniffer::Source::Default;
    // The prescan's bytes are ASCII wherever they matter, so the values are read as UTF-8.
    const CEncoding& encoding = CEncodingSniffer::Sniff(
        svPage, svContentType, eSource,
        [](const std::string& sValue) { return CHtmlText::DecodeCharacterReferences(sValue); });
    TraceLog("[CDLForm::CDLForm] Character set <%s> from the %s.", encoding.m_pszName,
             CEncodingSniffer::SourceName(eSource));
    return encoding.m_pszName;
}

DWORD CDLForm::Execute()
{
    return ERROR_ARENA_TRASHED;
}

int CDLForm::ResourceMode() const
{
    return (m_pFormContext != nullptr && m_pFormContext->m_eOWAExperience == OWA_EXPERIENCE_PREMIUM)
               ? RESOURCE_MODE_UTF8
               : RESOURCE_MODE_CHARSET;
}

const CPageEscape& CDLForm::PageEscape() const
{
    return m_pPageEscape != nullptr ? *m_pPageEscape : CPageEscape::Utf8();
}

const CPageEscape& CDLForm::ResourceEscape() const
{
    return ResourceMode() == RESOURCE_MODE_UTF8 ? CPageEscape::Utf8() : PageEscape();
}

bool CDLForm::ResourceID2String(const std::map<int, ci_string>& mapStrings, int nID, std::string& sOut)
{
    const auto it = mapStrings.find(nID);
    if (it == mapStrings.end())
    {
        sOut.clear();
        return false;
    }
    sOut = FromCi(it->second);
    return true;
}

bool CDLForm::Append_InitJSResourceVariables(const std::vector<int>& vecIDs, std::string& sOut)
{
    TraceLog("[CDLForm::Append_InitJSResourceVariables] started.");
    bool bRet = true;
    std::map<int, ci_string> mapStrings;
    const int nMode = ResourceMode();
    if (!m_pGeneralSettings->GetResources(vecIDs, mapStrings, nMode, m_wLangID, ToCi(m_sCharSet)))
    {
        TraceLog("[CDLForm::Append_InitJSResourceVariables] CDLSWGeneralSettings::GetResources failed.");
        bRet = false;
    }
    // A translation is text, never script: it goes in as a string literal whatever it holds.
    const CPageEscape& escape = ResourceEscape();
    for (size_t i = 0; bRet && i < vecIDs.size(); ++i)
    {
        const int nID = vecIDs[i];
        std::string sText;
        if (!ResourceID2String(mapStrings, nID, sText))
        {
            TraceLog("[CDLForm::Append_InitJSResourceVariables] ResourceID2String failed ID <%d>.", nID);
            bRet = false;
            break;
        }
        const auto it = m_pGeneralSettings->m_mapJSVariables.find(nID);
        if (it == m_pGeneralSettings->m_mapJSVariables.end())
        {
            TraceLog("[CDLForm::Append_InitJSResourceVariables] ID2Value failed ID <%d>.", nID);
            bRet = false;
            break;
        }
        sOut += it->second;
        sOut += escape.JSString(sText);
        sOut += "\";\r\n";
    }
    TraceLog("[CDLForm::Append_InitJSResourceVariables] returned. bRet <%s>.", bRet ? "TRUE" : "FALSE");
    return bRet;
}

void CDLForm::CheckPageElements(const char* pszClass)
{
    if (!m_bIsInstanceValid)
        return;
    CDOMSource& dom = *m_pFormContext->m_spDom;
    const char* pszMissing = nullptr;
    if (dom.getHtml().isEmpty())
        pszMissing = "<HTML>";
    else if (dom.getBody().isEmpty())
        pszMissing = "<BODY>";
    else if (dom.getHead().isEmpty())
        pszMissing = "<HEAD>";
    if (pszMissing != nullptr)
    {
        m_bIsInstanceValid = false;
        TraceLog("[%s::%s] %s element was not found!", pszClass, pszClass, pszMissing);
    }
}

void CDLForm::LogConstructorStart(const char* pszClass, const char* pszStarts)
{
    TraceLog("[%s::%s] %s", pszClass, pszClass, pszStarts);
}

void CDLForm::LogConstructorEnd(const char* pszClass, bool bDotAfterReturned) const
{
    TraceLog(bDotAfterReturned ? "[%s::%s] returned. m_bIsInstanceValid <%s>."
                               : "[%s::%s] returned m_bIsInstanceValid <%s>.",
             pszClass, pszClass, ValidText());
}
