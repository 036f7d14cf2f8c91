#include "htmlparser/TagTypeRegister.h"

#include "common/StaticMemory.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TagType.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>

CTagTypeRegister::CTagTypeRegister(CTagTypeRegister* pParent, char cChar) : m_pParent(pParent), m_cChar(cChar)
{
    m_Children.reserve(4);
}

CTagTypeRegister::~CTagTypeRegister()
{
    for (CTagTypeRegister* pChild : m_Children)
        delete pChild;
}

CTagTypeRegister* CTagTypeRegister::findChild(char c) const
{
    if (m_Children.empty())
        return nullptr;
    if (m_Children.size() == 1)
        return m_Children[0]->m_cChar == c ? m_Children[0] : nullptr;
    const auto sc = static_cast<signed char>(c);
    ptrdiff_t nLow = 0;
    ptrdiff_t nHigh = static_cast<ptrdiff_t>(m_Children.size()) - 1;
    while (nLow <= nHigh)
    {
        const ptrdiff_t nMid = (nLow + nHigh) / 2;
        const auto cm = static_cast<signed char>(m_Children[static_cast<size_t>(nMid)]->m_cChar);
        if (cm == sc)
            return m_Children[static_cast<size_t>(nMid)];
        if (cm < sc)
            nLow = nMid + 1;
        else
            nHigh = nMid - 1;
    }
    return nullptr;
}

CTagTypeRegister* CTagTypeRegister::findOrAddChild(char c)
{
    if (CTagTypeRegister* pChild = findChild(c))
        return pChild;
    auto pNew = std::make_unique<CTagTypeRegister>(this, c);
    auto it = std::find_if(m_Children.begin(), m_Children.end(),
                           [c](const CTagTypeRegister* p)
                           { return static_cast<signed char>(p->m_cChar) > static_cast<signed char>(c); });
    CTagTypeRegister* pRaw = pNew.get();
    m_Children.insert(it, pRaw);
    pNew.release(); // owned by m_Children now
    return pRaw;
}

CTagTypeRegisterSingletonData::CTagTypeRegisterSingletonData() : m_pRoot(new CTagTypeRegister(nullptr, '\0'))
{
    std::unique_ptr<CTagTypeRegister> guard(m_pRoot); // released at the end when everything is registered
    CStartTagTypeSingletonData* pStart = Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance();
    CEndTagTypeSingletonData* pEnd = Mem_Manager::Static_memory<CEndTagTypeSingletonData>::Instance();
    for (size_t nPos : {1u, 2u, 3u, 7u, 6u, 8u, 5u, 4u, 9u})
        add(pStart->get(nPos));
    add(pEnd->get(1));
    add(pEnd->get(2));
    guard.release();
}

CTagTypeRegisterSingletonData::~CTagTypeRegisterSingletonData()
{
    delete m_pRoot;
}

void CTagTypeRegisterSingletonData::add(CTagType* pTagType)
{
    if (pTagType == nullptr)
        return;
    CTagTypeRegister* pNode = m_pRoot;
    for (char c : pTagType->m_sStartDelimiter)
        pNode = pNode->findOrAddChild(c);
    pNode->m_TagTypes.remove(pTagType);
    pNode->m_TagTypes.push_front(pTagType);
}

CTagTypeRegister* CTagTypeRegisterSingletonData::getRoot()
{
    return Mem_Manager::Static_memory<CTagTypeRegisterSingletonData>::Instance()->m_pRoot;
}

CProspectiveTagTypeIterator::CProspectiveTagTypeIterator(const CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CProspectiveTagTypeIterator::CProspectiveTagTypeIterator] pSource is 0. nPos <%d>.",
                 LogPos(nPos));
        return;
    }
    if (!pSource->holds(nPos))
        return;
    const CTagTypeRegister* pNode = CTagTypeRegisterSingletonData::getRoot();
    for (Position p = nPos; p < pSource->m_nEnd; ++p)
    {
        const CTagTypeRegister* pChild = pNode->findChild(pSource->m_pText[p]);
        if (pChild == nullptr)
            break;
        pNode = pChild;
    }
    climbFrom(pNode);
}

void CProspectiveTagTypeIterator::climbFrom(const CTagTypeRegister* pNode)
{
    while (pNode != nullptr && pNode->m_TagTypes.empty())
        pNode = pNode->m_pParent;
    m_pCursor = pNode;
    if (pNode != nullptr)
        m_itCurrent = pNode->m_TagTypes.begin();
}

CTagType* CProspectiveTagTypeIterator::getNextTagType()
{
    if (m_pCursor == nullptr)
    {
        TraceLog("[CProspectiveTagTypeIterator::getNextTagType] m_pCursor is 0.");
        return nullptr;
    }
    CTagType* pType = *m_itCurrent;
    ++m_itCurrent;
    if (m_itCurrent == m_pCursor->m_TagTypes.end())
        climbFrom(m_pCursor->m_pParent);
    return pType;
}

CTagTypeSingletonData::CTagTypeSingletonData()
{
    CStartTagTypeSingletonData* pStart = Mem_Manager::Static_memory<CStartTagTypeSingletonData>::Instance();
    m_TagTypes.reserve(2);
    m_TagTypes.push_back(pStart->get(3));
    m_TagTypes.push_back(pStart->get(8));
}

CTagTypeSingletonData* CTagTypeSingletonData::getInstance()
{
    return Mem_Manager::Static_memory<CTagTypeSingletonData>::Instance();
}

const std::vector<CTagType*>& CTagTypeSingletonData::getTagTypes()
{
    return getInstance()->m_TagTypes;
}

namespace
{
// Whether a tag may be looked for at nPos: a source, and a position inside it.
bool IsLookupPosition(const CSource* pSource, Position nPos)
{
    if (pSource == nullptr)
    {
        TraceLog("[CTagType::getTagAt] pSource is 0. nPos <%d>.", LogPos(nPos));
        return false;
    }
    return pSource->holds(nPos);
}
} // namespace

CTag* CTagType::getTagAt(CSource* pSource, Position nPos)
{
    if (!IsLookupPosition(pSource, nPos))
        return nullptr;
    CProspectiveTagTypeIterator it(pSource, nPos);
    while (!it.isExhausted())
    {
        pSource->addWork(1);
        CTagType* pType = it.getNextTagType();
        if (pType == nullptr || !pType->isValidPosition(pSource, nPos))
            continue;
        if (CTag* pTag = pType->constructTagAt(pSource, nPos))
            return pTag;
    }
    return nullptr;
}

namespace
{
enum class ELoneOpening
{
    NO,    // a registered type may begin a tag here
    START, // a '<' followed by no name: only the unregistered start-tag type is offered
    END,   // a "</" followed by no name: the unregistered end-tag type, then the unregistered start-tag type
};

// The types offered at '<' (and at "</"): when they are the normal type and then the unregistered one, a
// delimiter followed by no name, and by nothing a longer delimiter goes on with, leaves only the unregistered
// type, since the normal one needs a name there. A page of such openings then costs one byte test per '<',
// not a walk through the register and a failed construction. What may follow is read from the register once.
struct SOpeningNode
{
    bool bKnown = false;
    bool bMayFollow[256] = {};
};

SOpeningNode ReadOpeningNode(const CTagTypeRegister* pNode, CTagType* pNormal, CTagType* pUnregistered)
{
    SOpeningNode node;
    if (pNode == nullptr || pNode->m_TagTypes.size() != 2 || pNode->m_TagTypes.front() != pNormal ||
        pNode->m_TagTypes.back() != pUnregistered)
        return node;
    node.bKnown = true;
    for (int c = 0; c < 256; ++c)
        node.bMayFollow[c] = IsNameStartChar(static_cast<unsigned char>(c)) ||
                             pNode->findChild(static_cast<char>(c)) != nullptr;
    return node;
}

const SOpeningNode& StartNode()
{
    static const SOpeningNode s_Start =
        ReadOpeningNode(CTagTypeRegisterSingletonData::getRoot()->findChild('<'), CStartTagType::getNormal(),
                        CStartTagType::getUnregistered());
    return s_Start;
}

const SOpeningNode& EndNode()
{
    static const SOpeningNode s_End = []
    {
        const CTagTypeRegister* pOpening = CTagTypeRegisterSingletonData::getRoot()->findChild('<');
        return ReadOpeningNode(pOpening != nullptr ? pOpening->findChild('/') : nullptr,
                               CEndTagType::getNormal(), CEndTagType::getUnregistered());
    }();
    return s_End;
}

ELoneOpening LoneOpening(const CSource* pSource, Position nPos)
{
    static const SOpeningNode& s_Start = StartNode();
    static const SOpeningNode& s_End = EndNode();
    const char* pText = pSource->m_pText;
    const Position nEnd = pSource->m_nEnd;
    if (!s_Start.bKnown || pText[nPos] != '<')
        return ELoneOpening::NO;
    if (nPos + 1 >= nEnd)
        return ELoneOpening::START;
    const auto c = static_cast<unsigned char>(pText[nPos + 1]);
    if (!s_Start.bMayFollow[c])
        return ELoneOpening::START;
    if (c != '/' || !s_End.bKnown)
        return ELoneOpening::NO;
    if (nPos + 2 >= nEnd || !s_End.bMayFollow[static_cast<unsigned char>(pText[nPos + 2])])
        return ELoneOpening::END;
    return ELoneOpening::NO;
}

// The register as a table of states, one per node: the state each byte leads to (0 for none: the root is no
// one's child), and the registered types offered from the node, its own and those of every node above it,
// without the two unregistered types. A search asks this of every opening it passes over, so a step costs
// one load rather than a search of the node's children.
struct SRegisterTable
{
    struct SState
    {
        uint16_t nNext[256] = {};
        std::vector<CTagType*> types;
    };
    std::vector<SState> states;
};

const SRegisterTable& RegisterTable()
{
    static const SRegisterTable s_Table = []
    {
        SRegisterTable table;
        CTagType* const pStart = CStartTagType::getUnregistered();
        CTagType* const pEnd = CEndTagType::getUnregistered();
        std::vector<const CTagTypeRegister*> nodes{CTagTypeRegisterSingletonData::getRoot()};
        for (size_t i = 0; i < nodes.size(); ++i)
        {
            for (const CTagTypeRegister* pChild : nodes[i]->m_Children)
                nodes.push_back(pChild);
        }
        if (nodes.size() > UINT16_MAX)
            throw std::length_error("CTagTypeRegister: too many nodes for the opening table");
        table.states.resize(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i)
        {
            SRegisterTable::SState& state = table.states[i];
            for (int c = 0; c < 256; ++c)
            {
                const CTagTypeRegister* pChild = nodes[i]->findChild(static_cast<char>(c));
                if (pChild != nullptr)
                    state.nNext[c] =
                        static_cast<uint16_t>(std::find(nodes.begin(), nodes.end(), pChild) - nodes.begin());
            }
            for (const CTagTypeRegister* pNode = nodes[i]; pNode != nullptr; pNode = pNode->m_pParent)
            {
                for (CTagType* pType : pNode->m_TagTypes)
                {
                    if (pType != pStart && pType != pEnd)
                        state.types.push_back(pType);
                }
            }
        }
        return table;
    }();
    return s_Table;
}
} // namespace

bool CTagType::mayBeginRegisteredTag(CSource* pSource, Position nPos)
{
    const char* pText = pSource->m_pText;
    const Position nEnd = pSource->m_nEnd;
    // A name after the '<': the normal type may begin here, which is all a search needs to know.
    if (pText[nPos] != '<' ||
        (nPos + 1 < nEnd && IsNameStartChar(static_cast<unsigned char>(pText[nPos + 1]))))
        return true;
    if (LoneOpening(pSource, nPos) != ELoneOpening::NO)
        return false;
    // The types the register offers here (as CProspectiveTagTypeIterator walks it), asked directly: this is
    // asked for every opening a search passes over.
    static const SRegisterTable& s_Table = RegisterTable();
    uint16_t nState = 0;
    for (Position p = nPos; p < nEnd; ++p)
    {
        const uint16_t nNext = s_Table.states[nState].nNext[static_cast<unsigned char>(pText[p])];
        if (nNext == 0)
            break;
        nState = nNext;
    }
    for (CTagType* pType : s_Table.states[nState].types)
    {
        if (!pType->cannotBeginAt(pSource, nPos))
            return true;
    }
    return false;
}

CTag* CTagType::findTagAt(CSource* pSource, Position nPos, bool& bBare)
{
    bBare = false;
    if (!IsLookupPosition(pSource, nPos))
        return nullptr;
    static CStartTagTypeUnregistered* const s_pStart =
        static_cast<CStartTagTypeUnregistered*>(CStartTagType::getUnregistered());
    static CEndTagTypeUnregistered* const s_pEnd =
        static_cast<CEndTagTypeUnregistered*>(CEndTagType::getUnregistered());
    ELoneOpening eLone = LoneOpening(pSource, nPos);
    // Where every registered type offered would refuse silently, the unregistered types are asked at once, in
    // the order the register offers them (the end-tag one first after "</"); with the log on, each refusal's
    // line is written by the walk below instead.
    if (eLone == ELoneOpening::NO && StartNode().bKnown && !ParserTraceOn() &&
        !mayBeginRegisteredTag(pSource, nPos))
        eLone = nPos + 1 < pSource->m_nEnd && pSource->m_pText[nPos + 1] == '/' && EndNode().bKnown
                    ? ELoneOpening::END
                    : ELoneOpening::START;
    if (eLone != ELoneOpening::NO)
    {
        // The same types in the same order as the register would offer them.
        pSource->addWork(1);
        if (eLone == ELoneOpening::END && s_pEnd->isValidPosition(pSource, nPos) &&
            s_pEnd->findTagEnd(pSource, nPos, true) != NPOS)
            bBare = true;
        else if (s_pStart->isValidPosition(pSource, nPos) &&
                 s_pStart->findTagEnd(pSource, nPos, true) != NPOS)
            bBare = true;
        return nullptr;
    }
    CProspectiveTagTypeIterator it(pSource, nPos);
    while (!it.isExhausted())
    {
        pSource->addWork(1);
        CTagType* pType = it.getNextTagType();
        if (pType == nullptr || !pType->isValidPosition(pSource, nPos))
            continue;
        if (pType == s_pStart || pType == s_pEnd)
        {
            const Position nEnd = pType == s_pStart ? s_pStart->findTagEnd(pSource, nPos, true)
                                                    : s_pEnd->findTagEnd(pSource, nPos, true);
            if (nEnd != NPOS)
            {
                bBare = true;
                return nullptr;
            }
            continue;
        }
        if (CTag* pTag = pType->constructTagAt(pSource, nPos))
            return pTag;
    }
    return nullptr;
}

CTag* CTagType::makeUnregisteredTagAt(CSource* pSource, Position nPos)
{
    if (pSource == nullptr || !pSource->holds(nPos))
        return nullptr;
    // Only a tag that matched no registered type is made here: at "</" the end-tag type matched (the
    // start-tag type would have needed the same '>'), elsewhere the start-tag type.
    if (nPos + 1 < pSource->m_nEnd && pSource->m_pText[nPos + 1] == '/')
    {
        auto* pType = static_cast<CEndTagTypeUnregistered*>(CEndTagType::getUnregistered());
        const Position nEnd = pType->findTagEnd(pSource, nPos, false);
        return nEnd == NPOS ? nullptr : pType->makeTag(pSource, nPos, nEnd);
    }
    auto* pType = static_cast<CStartTagTypeUnregistered*>(CStartTagType::getUnregistered());
    const Position nEnd = pType->findTagEnd(pSource, nPos, false);
    return nEnd == NPOS ? nullptr : pType->constructStartTag(pSource, nPos, nEnd, ci_string(), nullptr);
}

bool CTagType::isValidPosition(CSource* pSource, Position nPos) const
{
    if (pSource == nullptr)
    {
        TraceLog("[CTagType::isValidPosition] pSource is 0. nPos <%d>.", LogPos(nPos));
        return false;
    }
    if (!pSource->holds(nPos))
        return false;
    if (m_bIsServerTag)
        return true;
    // A tag is a tag only where the browser's tokenizer starts a token: never inside another tag's
    // attribute value, a comment, or the text of a script, a title or another raw-text element. The places
    // come from one forward pass over the source, so no search ever looks back.
    if (!pSource->isTokenStart(nPos))
        return false;
    if (pSource->m_nFullParsePos != NPOS)
        return nPos >= pSource->m_nFullParsePos;
    return true;
}
