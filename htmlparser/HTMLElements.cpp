#include "htmlparser/HTMLElements.h"

#include "common/StaticMemory.h"
#include "htmlparser/HTMLElementName.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr uint64_t INITIAL_WORDS = 4;
constexpr uint64_t MIN_GROWN_WORDS = 8;

// Element-name indexes (see the name list).
enum : uint64_t
{
    A = 0,
    ADDRESS = 3,
    APPLET = 4,
    AREA = 5,
    BASE = 7,
    BASEFONT = 8,
    BLOCKQUOTE = 11,
    BODY = 12,
    BR = 13,
    BUTTON = 14,
    CAPTION = 15,
    CENTER = 16,
    COL = 19,
    COLGROUP = 20,
    DD = 21,
    DIR = 24,
    DIV = 25,
    DL = 26,
    DT = 27,
    FIELDSET = 29,
    FORM = 31,
    FRAME = 32,
    FRAMESET = 33,
    H1 = 34,
    H2 = 35,
    H3 = 36,
    H4 = 37,
    H5 = 38,
    H6 = 39,
    HEAD = 40,
    HR = 41,
    HTML = 42,
    IFRAME = 44,
    IMG = 45,
    INPUT = 46,
    ISINDEX = 48,
    LABEL = 50,
    LEGEND = 51,
    LI = 52,
    LINK = 53,
    MENU = 55,
    META = 56,
    NOFRAMES = 57,
    NOSCRIPT = 58,
    OL = 60,
    OPTGROUP = 61,
    OPTION = 62,
    P = 63,
    PARAM = 64,
    PRE = 65,
    SCRIPT = 69,
    SELECT = 70,
    STYLE = 75,
    TABLE = 78,
    TBODY = 79,
    TD = 80,
    TEXTAREA = 81,
    TFOOT = 82,
    TH = 83,
    THEAD = 84,
    TITLE = 85,
    TR = 86,
    UL = 89
};

const uint64_t s_BlockElements[] = {P,        H1,         H2,   H3,      H4, H5,    H6,       UL,
                                    OL,       DIR,        MENU, PRE,     DL, DIV,   CENTER,   NOSCRIPT,
                                    NOFRAMES, BLOCKQUOTE, FORM, ISINDEX, HR, TABLE, FIELDSET, ADDRESS};
const uint64_t s_EndTagForbidden[] = {AREA, BASE,  BASEFONT, BR,   COL,  FRAME, HR,
                                      IMG,  INPUT, ISINDEX,  LINK, META, PARAM};
const uint64_t s_NonNestable[] = {A,      ADDRESS,  APPLET, BUTTON, CAPTION, FORM,     IFRAME, LABEL,
                                  LEGEND, OPTGROUP, SCRIPT, SELECT, STYLE,   TEXTAREA, TITLE};

CHTMLElementsSingletonData* Data()
{
    return Mem_Manager::Static_memory<CHTMLElementsSingletonData>::Instance();
}
} // namespace

CHTMLElementSet::CHTMLElementSet() : m_nWords(INITIAL_WORDS), m_pWords(new uint32_t[INITIAL_WORDS]()) {}

CHTMLElementSet::CHTMLElementSet(uint64_t nIndex) : CHTMLElementSet()
{
    add(nIndex);
}

CHTMLElementSet::CHTMLElementSet(const CHTMLElementSet& other)
    : m_nWords(other.m_nWords), m_pWords(new uint32_t[other.m_nWords])
{
    std::memcpy(m_pWords.get(), other.m_pWords.get(), m_nWords * sizeof(uint32_t));
}

CHTMLElementSet& CHTMLElementSet::operator=(const CHTMLElementSet& other)
{
    if (this != &other)
    {
        std::unique_ptr<uint32_t[]> pWords(new uint32_t[other.m_nWords]);
        std::memcpy(pWords.get(), other.m_pWords.get(), other.m_nWords * sizeof(uint32_t));
        m_pWords = std::move(pWords);
        m_nWords = other.m_nWords;
    }
    return *this;
}

void CHTMLElementSet::grow(uint64_t nWords)
{
    const uint64_t nNew = std::max(MIN_GROWN_WORDS, nWords);
    if (nNew <= m_nWords)
        return;
    std::unique_ptr<uint32_t[]> pWords(new uint32_t[nNew]());
    std::memcpy(pWords.get(), m_pWords.get(), m_nWords * sizeof(uint32_t));
    m_pWords = std::move(pWords);
    m_nWords = nNew;
}

CHTMLElementSet& CHTMLElementSet::add(uint64_t nIndex)
{
    // -1 stands for no element; a set must not grow to cover it.
    if (nIndex == NO_NAME_INDEX)
        return *this;
    const uint64_t nWord = nIndex / 32;
    if (nWord >= m_nWords)
        grow(nWord + 1);
    m_pWords[nWord] |= (1u << (nIndex % 32));
    return *this;
}

bool CHTMLElementSet::contains(uint64_t nIndex) const
{
    if (nIndex == NO_NAME_INDEX)
        return false;
    const uint64_t nWord = nIndex / 32;
    if (nWord >= m_nWords)
        return false;
    return (m_pWords[nWord] & (1u << (nIndex % 32))) != 0;
}

CHTMLElementSet& CHTMLElementSet::unite(const CHTMLElementSet& other)
{
    if (m_nWords < other.m_nWords)
        grow(other.m_nWords);
    for (uint64_t i = 0; i < other.m_nWords; ++i)
        m_pWords[i] |= other.m_pWords[i];
    return *this;
}

CHTMLElementSet& CHTMLElementSet::subtract(const CHTMLElementSet& other)
{
    const uint64_t n = std::min(m_nWords, other.m_nWords);
    for (uint64_t i = 0; i < n; ++i)
        m_pWords[i] &= ~other.m_pWords[i];
    return *this;
}

CHTMLElementsSingletonData::CHTMLElementsSingletonData()
{
    for (uint64_t i = 0; i <= 90; ++i)
        m_AllElements.add(i);
    for (uint64_t n : s_BlockElements)
        m_BlockElements.add(n);
    for (uint64_t n : s_EndTagForbidden)
        m_EndTagForbidden.add(n);
    m_Lists.add(OL).add(UL);
    m_DefinitionListItems.add(DD).add(DT);
    m_TableGroupsAndRows.add(TBODY).add(TFOOT).add(THEAD).add(TR);
    m_TableGroupsRowsAndCells = m_TableGroupsAndRows;
    m_TableGroupsRowsAndCells.add(TD).add(TH);
    for (uint64_t n : s_NonNestable)
        m_NonNestable.add(n);
    buildOptionalEndTagRules();
    for (const auto& entry : m_OptionalEndTagRules)
        m_EndTagOptional.add(entry.first);
    m_EndTagRequired = m_AllElements;
    m_EndTagRequired.subtract(m_EndTagForbidden).subtract(m_EndTagOptional);
    m_HasEndTag = m_EndTagOptional;
    m_HasEndTag.unite(m_EndTagRequired);
}

void CHTMLElementsSingletonData::buildOptionalEndTagRules()
{
    auto addRule = [this](uint64_t nIndex, CHTMLElementSet closingStart, CHTMLElementSet closingEnd,
                          CHTMLElementSet skipped)
    {
        m_OptionalEndTagRules.emplace(
            nIndex, OptionalEndTagRule{std::move(closingStart), std::move(closingEnd), std::move(skipped)});
    };
    auto set = [](std::initializer_list<uint64_t> indexes)
    {
        CHTMLElementSet s;
        for (uint64_t n : indexes)
            s.add(n);
        return s;
    };
    auto plus = [](const CHTMLElementSet& base, std::initializer_list<uint64_t> indexes)
    {
        CHTMLElementSet s(base);
        for (uint64_t n : indexes)
            s.add(n);
        return s;
    };

    addRule(BODY, CHTMLElementSet(), set({BODY, HTML}), set({HTML}));
    addRule(COLGROUP, plus(m_TableGroupsAndRows, {COLGROUP}), set({COLGROUP, TABLE}), set({TABLE}));
    addRule(DD, m_DefinitionListItems, set({DD, DL}), set({DL}));
    addRule(DT, m_DefinitionListItems, set({DL, DT}), set({DL}));
    addRule(HEAD, set({BODY, FRAMESET}), set({HEAD, HTML}), CHTMLElementSet());
    addRule(HTML, CHTMLElementSet(), set({HTML}), set({HTML}));
    addRule(LI, set({LI}), plus(m_Lists, {LI}), m_Lists);
    addRule(OPTION, set({OPTGROUP, OPTION}), set({OPTION, SELECT}), CHTMLElementSet());

    CHTMLElementSet pStart(m_BlockElements);
    pStart.unite(m_DefinitionListItems).add(LI).add(TD).add(TH);
    CHTMLElementSet pEnd(m_BlockElements);
    pEnd.unite(m_DefinitionListItems)
        .add(BODY)
        .add(HTML)
        .unite(m_TableGroupsRowsAndCells)
        .add(CAPTION)
        .add(LEGEND);
    addRule(P, pStart, pEnd, CHTMLElementSet());

    addRule(TBODY, set({TBODY, TFOOT, THEAD}), set({TABLE, TBODY}), set({TABLE}));
    addRule(TD, m_TableGroupsRowsAndCells, plus(m_TableGroupsAndRows, {TABLE, TD}), set({TABLE}));
    addRule(TFOOT, set({TBODY, TFOOT, THEAD}), set({TABLE, TFOOT}), set({TABLE}));
    addRule(TH, m_TableGroupsRowsAndCells, plus(m_TableGroupsAndRows, {TABLE, TH}), set({TABLE}));
    addRule(THEAD, set({TBODY, TFOOT, THEAD}), set({TABLE, THEAD}), set({TABLE}));
    addRule(TR, m_TableGroupsAndRows, plus(m_TableGroupsAndRows, {TABLE}), set({TABLE}));
}

const CHTMLElementsSingletonData* CHTMLElements::getData()
{
    return Data();
}

const CHTMLElementSet& CHTMLElements::getEndTagRequired()
{
    return Data()->m_EndTagRequired;
}

const CHTMLElementSet& CHTMLElements::getEndTagForbidden()
{
    return Data()->m_EndTagForbidden;
}

const CHTMLElementSet& CHTMLElements::getNonNestable()
{
    return Data()->m_NonNestable;
}

const OptionalEndTagRule* CHTMLElements::getOptionalEndTagRule(uint64_t nIndex)
{
    if (nIndex == NO_NAME_INDEX)
        return nullptr;
    const auto& rules = Data()->m_OptionalEndTagRules;
    auto it = rules.find(nIndex);
    return it == rules.end() ? nullptr : &it->second;
}

bool CHTMLElements::canHaveEndTag(uint64_t nIndex)
{
    if (nIndex == NO_NAME_INDEX)
        return false;
    return Data()->m_HasEndTag.contains(nIndex);
}
