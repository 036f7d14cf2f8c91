// Tags: the segments of single pieces of markup, made only by their types through the factories here.
#pragma once

#include "common/CiString.h"
#include "htmlparser/Segment.h"

#include <string>

class CStartTagType;
class CEndTagType;
class CEndTag;
class CStartTag;
struct OptionalEndTagRule;

class CTag : public CSegment
{
public:
    CTag(CSource* pSource, Position nBegin, Position nEnd, const ci_string& csName);

    virtual CElement* getElement() = 0;
    virtual bool isStartTag() const { return false; }
    virtual CTagType* getTagType() const = 0;
    virtual bool isUnregistered() const = 0;

    static bool checkConstructorArgs(const CSource* pSource, Position nBegin, Position nEnd);
    static bool isValidName(const ci_string& csName);

    // Tag search and full parse.
    static CTag* getTagAtUncached(CSource* pSource, Position nPos);
    static CTag* getTagAt(CSource* pSource, Position nPos);
    static CTag* findPreviousOrNextTag(CSource* pSource, Position nPos, bool bPrevious);
    static CTag* findPreviousOrNextTag(CSource* pSource, Position nPos, CTagType* pTagType, bool bPrevious);
    static CTag* findPreviousOrNextTagUncached(CSource* pSource, Position nPos, bool bPrevious,
                                               Position nLimit);
    static CTag* findPreviousOrNextTagUncached(CSource* pSource, Position nPos, CTagType* pTagType,
                                               bool bPrevious, Position nLimit);
    static CTag* parseAllFindNextTag(CSource* pSource, Position nPos);
    static void parseAll(CSource* pSource);

    const ci_string& getName() const { return m_csName; }

    ci_string m_csName;
    int64_t m_nNameInd;
    int64_t m_nAllTagsIndex = -1;
    CElement* m_pElement = nullptr;
    bool m_bElementSet = false;
};

class CStartTag : public CTag
{
public:
    CStartTag(CStartTagType* pStartTagType, CSource* pSource, Position nBegin, Position nEnd,
              const ci_string& csName, CAttributes* pAttributes);

    CAttributes* getAttributes() override;
    CAttributes* getAttributes(size_t nMaxErrorCount);
    CElement* getElement() override;
    bool isStartTag() const override { return true; }
    CTagType* getTagType() const override;
    bool isUnregistered() const override;
    CStartTagType* getStartTagType() const { return m_pStartTagType; }

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

    CAttributes* m_pAttributes;
    CStartTagType* m_pStartTagType;

    // What balancing this tag against the end tags of its name gave, remembered so that the outer tags of a
    // deep nest of one name do not balance the inner ones again.
    bool m_bNestedMatchSet = false;
    CEndTag* m_pNestedEndTag = nullptr;
    CStartTag* m_pNestedNextStartTag = nullptr;
    // Where the search for that next start tag goes on while it is not found yet; NPOS once settled.
    Position m_nNestedNextFrom = NPOS;
    // Where a search for this tag's optional end tag stopped, or would stop (begin of the tag it stopped at,
    // or the source's end); NPOS while unknown.
    Position m_nOptionalEndSearchStop = NPOS;
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
    bool isUnregistered() const override;
    CEndTagType* getEndTagType() const { return m_pEndTagType; }

    static CEndTag* CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd,
                                    CEndTagType* pEndTagType, const ci_string& csName);
    static CEndTag* findPreviousOrNext(CSource* pSource, Position nPos, const ci_string& csName,
                                       CEndTagType* pEndTagType, bool bPrevious);

    CEndTagType* m_pEndTagType;
};
