// Sets of HTML 4.01 element-name indexes and the rules that end elements whose end tag may be omitted.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

class CHTMLElementSet
{
public:
    CHTMLElementSet();
    explicit CHTMLElementSet(uint64_t nIndex);
    CHTMLElementSet(const CHTMLElementSet& other);
    CHTMLElementSet& operator=(const CHTMLElementSet& other);
    virtual ~CHTMLElementSet() = default;

    // Adds the index (-1 is ignored) and returns the set, so that additions chain.
    CHTMLElementSet& add(uint64_t nIndex);
    bool contains(uint64_t nIndex) const;
    CHTMLElementSet& unite(const CHTMLElementSet& other);
    CHTMLElementSet& subtract(const CHTMLElementSet& other);

    uint64_t getWordCount() const { return m_nWords; }

private:
    void grow(uint64_t nWords);

    uint64_t m_nWords = 0;
    std::unique_ptr<uint32_t[]> m_pWords;
};

struct OptionalEndTagRule
{
    CHTMLElementSet m_ClosingStartTags;
    CHTMLElementSet m_ClosingEndTags;
    CHTMLElementSet m_SkippedElements;
};

class CHTMLElementsSingletonData
{
public:
    CHTMLElementsSingletonData();
    virtual ~CHTMLElementsSingletonData() = default;

    void buildOptionalEndTagRules();

    CHTMLElementSet m_AllElements;
    CHTMLElementSet m_BlockElements;
    CHTMLElementSet m_EndTagForbidden;
    CHTMLElementSet m_Lists;
    CHTMLElementSet m_DefinitionListItems;
    CHTMLElementSet m_TableGroupsAndRows;
    CHTMLElementSet m_TableGroupsRowsAndCells;
    CHTMLElementSet m_NonNestable;
    std::map<uint64_t, OptionalEndTagRule> m_OptionalEndTagRules;
    CHTMLElementSet m_EndTagOptional;
    CHTMLElementSet m_EndTagRequired;
    CHTMLElementSet m_HasEndTag;
};

class CHTMLElements
{
public:
    static const CHTMLElementSet& getEndTagRequired();
    static const CHTMLElementSet& getEndTagForbidden();
    static const CHTMLElementSet& getNonNestable();
    static const OptionalEndTagRule* getOptionalEndTagRule(uint64_t nIndex);
    static bool canHaveEndTag(uint64_t nIndex);
    static const CHTMLElementsSingletonData* getData();
};
