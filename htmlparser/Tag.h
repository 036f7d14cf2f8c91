// Tags: the segments of single pieces of markup, made only by their types through the factories here.
#pragma once

#include "common/CiString.h"
#include "htmlparser/Segment.h"
#include "htmlparser/TagType.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CStartTagType;
class CEndTagType;
class CEndTag;
class CStartTag;
struct OptionalEndTagRule;

class CTag : public CSegment
{
public:
    // nNameAt: where the name would stand in the page (after the type's name prefix).
    CTag(CSource* pSource, Position nBegin, Position nEnd, const ci_string& csName, Position nNameAt);

    virtual CElement* getElement() = 0;
    virtual bool isStartTag() const { return false; }
    virtual CTagType* getTagType() const = 0;
    // Asked of every tag a search passes over, so kept as a field rather than found through the type.
    bool isUnregistered() const { return m_bUnregistered; }

    static bool checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd);
    static bool isValidName(const ci_string& csName);
    // The index of an element name in the list of element names, or -1.
    static int16_t nameIndexOf(std::string_view sName);

    // Tag search and full parse.
    static CTag* getTagAtUncached(CSource* pSource, Position nPos);
    static CTag* getTagAt(CSource* pSource, Position nPos);
    // The tag at nPos when it matched a registered type, else null: for questions that refuse the others,
    // which then need no object.
    static CTag* getRegisteredTagAt(CSource* pSource, Position nPos);
    static CTag* findPreviousOrNextTag(CSource* pSource, Position nPos, bool bPrevious);
    static CTag* findPreviousOrNextTag(CSource* pSource, Position nPos, CTagType* pTagType, bool bPrevious);
    static CTag* findPreviousOrNextTagUncached(CSource* pSource, Position nPos, bool bPrevious,
                                               Position nLimit);
    static CTag* findPreviousOrNextTagUncached(CSource* pSource, Position nPos, CTagType* pTagType,
                                               bool bPrevious, Position nLimit);
    static CTag* parseAllFindNextTag(CSource* pSource, Position nPos);
    static void parseAll(CSource* pSource);

    const ci_string& getName() const;
    // Holds the name of a tag whose name is unread and gives its reference: the name read from the page,
    // or for a tag that matched no type the text between its delimiters, cut at the bound of logged text.
    uint32_t readName() const;
    // The name as a copy, read from the page when the tag has not been asked for it yet, which then keeps
    // no copy of its own (pairing needs every paired tag's name once, rarely more).
    ci_string copyName() const;
    size_t nameLength() const;

    // A page holds a tag object for every '<' it has: the fields are kept narrow, and the name is one the
    // source holds (the element names shared by every page, other names once per tag in the source).
    // The index of the name in the list of element names (which has far fewer than 2^15), or -1.
    int16_t m_nNameInd;
    bool m_bElementSet : 1 = false;
    // Set by the derived constructors: whether the tag matched no registered type.
    bool m_bUnregistered : 1 = false;
    // The length of a name that is not an element name as the list writes it and that stands in the page
    // right after the type's name prefix, when it is short: such a name is read from the page when asked
    // for rather than copied into the source for every tag (0: the name is kept as usual).
    uint8_t m_nPageNameLength : 4 = 0;
    // The tag's type (CTagType::getIndex).
    uint8_t m_nTypeIndex = 0;
    // The tag's name, as a reference its source resolves (CSource::NAME_UNREAD and the rest): four bytes
    // where a pointer took eight. Set when the tag first gives a name it had not read yet.
    mutable uint32_t m_nNameRef = 0;
    CElement* m_pElement = nullptr;

    // Where a full parse listed the tag among the source's tags, or -1: found in that list, which is in
    // text order, rather than kept in every tag.
    int64_t getAllTagsIndex() const;
};

// One remembered result of balancing start tags of a name against its end tags, valid while the source's
// generation is the one stamped (a full parse changes which places are tags).
struct SBalanceMemo
{
    CSourceGeneration nGeneration = 0;
    CStoredPosition nNextFrom;
    CEndTag* pCandidate = nullptr;
    CEndTag* pEnd = nullptr;
    CStartTag* pNext = nullptr;
};

struct SBalanceMemos
{
    // What balancing this tag against the end tags of its name gave, remembered so that the outer tags of a
    // deep nest of one name do not balance the inner ones again.
    SBalanceMemo nestedMatch;
    // What the balance of an outer tag gave once it had come to this tag as its next nested one, under the
    // candidate end tag kept here: the rest of that balance depends on nothing else, so another outer tag
    // reaching the same state finishes at once (look-alike end tags in quoted values make long such runs).
    SBalanceMemo balanceFromHere;
};

struct SPairingState
{
    // Made when a balance is first remembered: most paired tags only need the fields below.
    SBalanceMemos* pMemos = nullptr;
    // The nearest earlier start tag whose element ends after this one's (or after this tag's begin when it
    // has none): passing over this tag, a search for the element around a later position can skip every
    // start tag in between. Valid for the generation stamped.
    CStartTag* pOuterStartTag = nullptr;
    CSourceGeneration nOuterGeneration = 0;
    // The generation for which nOptionalEndSearchStop holds.
    CSourceGeneration nOptionalEndGeneration = 0;
    // Where a search for this tag's optional end tag stopped, or would stop (begin of the tag it stopped at,
    // or the source's end); NPOS while unknown.
    CStoredPosition nOptionalEndSearchStop = NPOS;
};

// A start tag's attribute list, read from the page the first time it is asked for: most lists never are,
// and a list's objects take many times the bytes it covers. Until then it holds its tag (marked in the low
// bit, which an object's address never uses), from which the list is read.
class CLazyAttributes
{
public:
    explicit CLazyAttributes(CAttributes* pAttributes) : m_nValue(reinterpret_cast<uintptr_t>(pAttributes)) {}
    CLazyAttributes(const CLazyAttributes&) = delete;
    CLazyAttributes& operator=(const CLazyAttributes&) = delete;

    void setPending(CStartTag* pOwner) { m_nValue = reinterpret_cast<uintptr_t>(pOwner) | 1; }
    bool isPending() const { return (m_nValue & 1) != 0; }
    CAttributes* get() const;
    operator CAttributes*() const { return get(); }
    CAttributes* operator->() const { return get(); }
    bool operator==(std::nullptr_t) const { return get() == nullptr; }

private:
    mutable uintptr_t m_nValue;
};

class CStartTag : public CTag
{
public:
    CStartTag(CStartTagType* pStartTagType, CSource* pSource, Position nBegin, Position nEnd,
              const ci_string& csName, CAttributes* pAttributes);

    CAttributes* getAttributes() override;
    CAttributes* getAttributes(size_t nMaxErrorCount);
    CElement* getElement() override;
    // Where this tag's element ends (its begin when it has none).
    Position getElementReach();
    // The nearest earlier start tag whose element reaches further than this one's.
    CStartTag* getOuterStartTag();
    bool isStartTag() const override { return true; }
    CTagType* getTagType() const override;
    CStartTagType* getStartTagType() const
    {
        return static_cast<CStartTagType*>(CTagType::fromIndex(m_nTypeIndex));
    }

    static bool checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd,
                                     const CStartTagType* pStartTagType, const ci_string& csName,
                                     const CAttributes* pAttributes);
    static CStartTag* CREATE_NEW_INST(CStartTagType* pStartTagType, CSource* pSource, Position nBegin,
                                      Position nEnd, const ci_string& csName, CAttributes* pAttributes);

    static CStartTag* findPreviousOrNext(CSource* pSource, Position nPos, bool bPrevious);
    static CStartTag* findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csSearchName,
                                         bool bIsValidName, bool bPrevious);
    // Forward, with nLimit the last begin it may return: the unbounded answer when that begins by nLimit,
    // found without looking further; null otherwise.
    static CStartTag* findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csSearchName,
                                         bool bIsValidName, bool bPrevious, Position nLimit);
    static CStartTag* findNext(CSource* pSource, Position nPos, const std::string& sAttributeName,
                               const std::string& sValue, bool bCaseSensitive);

    // End-tag pairing.
    CEndTag* findEndTagInternal();
    CEndTag* findOptionalEndTag(const OptionalEndTagRule& rule);
    void findNestedEndTag(CEndTag* pCandidate, bool bSkipEmptyElementTags, CEndTag*& pEndTag);
    void matchNestedStartTags(CStartTag* pFirstNested, CEndTag* pCandidate, bool bSkipEmptyElementTags,
                              CEndTag*& pEndTag, CStartTag*& pNextStartTag);
    bool isEmptyElementTag() const;

    // Reads the list the tag's type measured when it found the tag, as the type would have made it then.
    CAttributes* readAttributes();

    CLazyAttributes m_pAttributes;

    // What pairing remembered about this tag, made in the source's memory when first needed: most tags
    // (unregistered ones, tags that are never paired) never need it.
    SPairingState& pairing();
    const SPairingState* pairingIfAny() const { return m_pPairing; }
    // The remembered balances, made when first written; read, a tag without them has none valid.
    SBalanceMemos& memos();
    const SBalanceMemo& nestedMatch() const;
    const SBalanceMemo& balanceFromHere() const;
    SPairingState* m_pPairing = nullptr;
    // How many skipped elements are being paired below this one (bounds the pairing's recursion).
    static thread_local int s_nSkippedElementDepth;
};

class CEndTag : public CTag
{
public:
    CEndTag(CSource* pSource, Position nBegin, Position nEnd, CEndTagType* pEndTagType,
            const ci_string& csName);

    CElement* getElement() override;
    CTagType* getTagType() const override;
    CEndTagType* getEndTagType() const
    {
        return static_cast<CEndTagType*>(CTagType::fromIndex(m_nTypeIndex));
    }

    static CEndTag* CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd,
                                    CEndTagType* pEndTagType, const ci_string& csName);
    static CEndTag* findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csName,
                                       CEndTagType* pEndTagType, bool bPrevious);
};
