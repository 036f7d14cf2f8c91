#include "htmlparser/HTMLElementName.h"

#include "common/StaticMemory.h"

#include <algorithm>

namespace
{
const char* const s_ElementNames[] = {
    "a",        "abbr",   "acronym",    "address",  "applet",   "area",   "b",        "base",     "basefont",
    "bdo",      "big",    "blockquote", "body",     "br",       "button", "caption",  "center",   "cite",
    "code",     "col",    "colgroup",   "dd",       "del",      "dfn",    "dir",      "div",      "dl",
    "dt",       "em",     "fieldset",   "font",     "form",     "frame",  "frameset", "h1",       "h2",
    "h3",       "h4",     "h5",         "h6",       "head",     "hr",     "html",     "i",        "iframe",
    "img",      "input",  "ins",        "isindex",  "kbd",      "label",  "legend",   "li",       "link",
    "map",      "menu",   "meta",       "noframes", "noscript", "object", "ol",       "optgroup", "option",
    "p",        "param",  "pre",        "q",        "s",        "samp",   "script",   "select",   "small",
    "span",     "strike", "strong",     "style",    "sub",      "sup",    "table",    "tbody",    "td",
    "textarea", "tfoot",  "th",         "thead",    "title",    "tr",     "tt",       "u",        "ul",
    "var"};

inline unsigned char Lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

const std::string* NameAt(uint64_t nIndex)
{
    return Mem_Manager::Static_memory<CHTMLElementNameSingletonData>::Instance()->getName(nIndex);
}
} // namespace

const std::string* g_pcsHtmlElementName = NameAt(42);
const std::string* g_pcsHeadElementName = NameAt(40);
const std::string* g_pcsBodyElementName = NameAt(12);

bool CHTMLElementNameLess::operator()(std::string_view a, std::string_view b) const
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
    {
        const unsigned char ca = Lower(static_cast<unsigned char>(a[i]));
        const unsigned char cb = Lower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

CHTMLElementNameSingletonData::CHTMLElementNameSingletonData()
{
    buildNameList();
    buildNameIndexMap();
    buildHash();
}

size_t CHTMLElementNameSingletonData::hashName(std::string_view sName)
{
    size_t h = sName.size();
    for (char c : sName)
        h = h * 31 + Lower(static_cast<unsigned char>(c));
    return h;
}

void CHTMLElementNameSingletonData::buildHash()
{
    for (const auto& entry : m_NameIndexMap)
    {
        size_t nSlot = hashName(entry.first) % HASH_SLOTS;
        while (m_Hash[nSlot] != 0)
            nSlot = (nSlot + 1) % HASH_SLOTS;
        m_Hash[nSlot] = static_cast<uint8_t>(entry.second + 1);
        m_nLongestName = std::max(m_nLongestName, entry.first.size());
    }
}

CHTMLElementNameSingletonData::~CHTMLElementNameSingletonData()
{
    m_NameIndexMap.clear();
    m_Names.clear();
}

void CHTMLElementNameSingletonData::buildNameList()
{
    m_Names.reserve(100);
    for (const char* pszName : s_ElementNames)
        m_Names.emplace_back(pszName);
}

void CHTMLElementNameSingletonData::buildNameIndexMap()
{
    for (uint64_t i = 0; i < m_Names.size(); ++i)
        m_NameIndexMap.emplace(m_Names[i], i); // the first position wins
}

uint64_t CHTMLElementNameSingletonData::findNameIndex(std::string_view sName) const
{
    if (sName.empty() || sName.size() > m_nLongestName)
        return NO_NAME_INDEX;
    // The listed names are lower case: one pass that stops at the first differing byte settles a slot.
    for (size_t nSlot = hashName(sName) % HASH_SLOTS; m_Hash[nSlot] != 0; nSlot = (nSlot + 1) % HASH_SLOTS)
    {
        const std::string& sCandidate = m_Names[m_Hash[nSlot] - 1];
        if (sCandidate.size() == sName.size() && std::equal(sName.begin(), sName.end(), sCandidate.begin(),
                                                            [](char c, char cListed) {
                                                                return Lower(static_cast<unsigned char>(c)) ==
                                                                       static_cast<unsigned char>(cListed);
                                                            }))
            return m_Hash[nSlot] - 1u;
    }
    return NO_NAME_INDEX;
}

const std::string* CHTMLElementNameSingletonData::getName(uint64_t nIndex) const
{
    return nIndex < m_Names.size() ? &m_Names[nIndex] : nullptr;
}

uint64_t CHTMLElementName::getNameIndex(std::string_view sName)
{
    return Mem_Manager::Static_memory<CHTMLElementNameSingletonData>::Instance()->findNameIndex(sName);
}

const std::string* CHTMLElementName::getName(uint64_t nIndex)
{
    return NameAt(nIndex);
}
