// The whole response body as the parser sees it: the read-only text, every segment made on it, the tag
// cache and the lists a full parse fills.
#pragma once

#include "common/CiString.h"
#include "htmlparser/DelimiterIndex.h"
#include "htmlparser/Segment.h"
#include "htmlparser/SegmentArena.h"
#include "htmlparser/StretchSet.h"
#include "htmlparser/TagCache.h"
#include "htmlparser/TagNameIndex.h"

#include <deque>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

class CStartTag;
class CTokenScan;
class CEndTag;
class CEndTagType;

class CSource : public CSegment
{
public:
    CSource(const char* pText, Position nBegin, Position nEnd);
    ~CSource() override;

    const CElementList& getChildElements() override;
    CSource* getSource() const override { return const_cast<CSource*>(this); }

    CTag* getTagAt(Position nPos);
    CTag* findEnclosingTag(Position nPos, CTagType* pTagType);
    CTag* findEnclosingTag(Position nPos);
    CStartTag* findPreviousStartTag(Position nPos);
    CStartTag* findNextStartTag(Position nPos);
    CStartTag* findNextStartTag(Position nPos, const ci_string& csName);
    CStartTag* findNextStartTag(Position nPos, const std::string& sAttributeName, const std::string& sValue,
                                bool bCaseSensitive);
    CElement* getElementById(const std::string& sValue);
    CEndTag* findNextEndTag(Position nPos, const ci_string& csName, CEndTagType* pEndTagType);
    CEndTag* findPreviousEndTag(Position nPos, const ci_string& csName);
    CEndTag* findNextEndTag(Position nPos, const ci_string& csName);
    CElement* getEnclosingElement(Position nPos);
    Position getNameEnd(Position nPos) const;
    Position findStringBackward(const char* pszPattern, Position nPos, Position nLimit);
    // The same for a tag type's fixed delimiter, answered from the index of the whole page.
    Position findDelimiterBackward(const char* pszDelimiter, Position nPos, Position nLimit);

    const std::vector<CTag*>& fullSequentialParse();
    // The parse's tags, and where its tags that matched no registered type stand without objects.
    void setAllTags(const CParsedTags& tags, std::vector<uint64_t>&& bare, size_t nTags);

    // Where the construct the text is left inside at its end begins (a tag, an attribute value, a comment, a
    // declaration, or a script or other raw-text element without its end), as a browser's tokenizer reads
    // the text; NPOS when it ends in plain text.
    Position getOpenConstructBegin() const;
    // Where the browser's tokenizer starts its tokens and where markup put into the page stays markup of
    // its own: one forward pass over the page, made on the first call.
    const CTokenScan& getTokenScan() const;
    bool isTokenStart(Position nPos) const;

    std::string substring(Position nPos, Position nLength) const;
    void substring(Position nPos, Position nLength, std::string& sOut) const;

    const char* getText() const { return m_pText; }
    CCache& getCache() { return m_Cache; }
    CDelimiterIndex& getDelimiterIndex() { return m_DelimiterIndex; }
    // Where the last occurrence of the type's closing delimiter begins, or NPOS: whether a tag of the type
    // can still close after a position, asked for every opening a search passes over.
    Position lastClosingDelimiter(const CTagType* pType);
    CTagNameIndex& getTagNameIndex() { return m_TagNameIndex; }

    // Builds a segment in the source's own memory; the source destroys it with itself. A segment finds its
    // source from its own address, so it must lie in one of the arena's chunks.
    template <class T, class... TArgs> T* make(TArgs&&... args)
    {
        static_assert(!std::is_base_of_v<CSegment, T> ||
                      sizeof(T) + alignof(T) <= CSegmentArena::MAX_CHUNKED_SIZE);
        void* pMemory = m_Arena.allocate(sizeof(T), alignof(T));
        const size_t nRegistered = m_Segments.size();
        try
        {
            return ::new (pMemory) T(std::forward<TArgs>(args)...);
        }
        catch (...)
        {
            // The segment registered itself and then failed: it is gone, and must not be destroyed again.
            m_Segments.resize(nRegistered);
            throw;
        }
    }

    // The same, or null when memory runs out: the factories report that as a construction that failed.
    template <class T, class... TArgs> T* tryMake(TArgs&&... args)
    {
        try
        {
            return make<T>(std::forward<TArgs>(args)...);
        }
        catch (const std::bad_alloc&)
        {
            return nullptr;
        }
    }

    // Moves the elements from nFirst on to the end of pending into a child list laid out in the source's
    // memory at its exact size (header, then items); the shared empty list when there are none. While the
    // list is filled, a long list is held twice for a moment: once pending, once laid out.
    const CElementList& takeElementList(std::deque<CElement*>& pending, size_t nFirst);

    // What a tag keeps of its name, in four bytes: none yet (it is read from the page when first asked
    // for), one of the names shared by every page, or one the source holds for it.
    static constexpr uint32_t NAME_UNREAD = 0;
    static constexpr uint32_t NAME_EMPTY = 1;
    // The element name at the tag's name index, as the list writes it.
    static constexpr uint32_t NAME_LISTED = 2;
    // From here on: the name the source holds at (reference - NAME_HELD).
    static constexpr uint32_t NAME_HELD = 3;
    // The reference a tag of this source keeps for csName: an element name written as the list writes it is
    // shared by every page, any other is copied into the source once per tag.
    uint32_t holdTagName(const ci_string& csName, int64_t nNameInd);
    // The reference of the shared name that stands for csName (an element name as the list writes it, or
    // the empty name), or NAME_UNREAD when none does.
    static uint32_t sharedTagName(const ci_string& csName, int64_t nNameInd);
    // The name a reference stands for (not NAME_UNREAD).
    const ci_string& tagName(uint32_t nNameRef, int64_t nNameInd) const;
    // The same for a shared name (below NAME_HELD), which no source holds.
    static const ci_string& sharedName(uint32_t nNameRef, int64_t nNameInd);
    // The element names as the list writes them, by name index.
    static const ci_string* listedTagNames();

    // Steps of work done on this source (candidates tried, bytes scanned, entries walked): a measure that
    // tests and fuzzing compare with the page size, independent of the machine's speed.
    void addWork(uint64_t nSteps) { m_nWork += nSteps; }
    uint64_t getWork() const { return m_nWork + m_DelimiterIndex.getWork() + m_TagNameIndex.getWork(); }

    const char* m_pText;
    CCache m_Cache;
    bool m_bUseTagCache = true;
    bool m_bUseSearchCache = true;
    bool m_bNamedOptionalEndSearch = true; // off: optional-end searches walk every tag (tests compare)
    Position m_nFullParsePos = NPOS;
    std::vector<CTag*> m_AllTags;
    bool m_bAllTagsSet = false;
    // Every start tag of a registered type, in text order, once a full parse has run (empty before). Made
    // from the parse's list when first asked for, as nothing the rewriters do needs it: a page of tags would
    // otherwise hold a second list of nearly the same length for nothing.
    const std::vector<CStartTag*>& getAllStartTags();
    bool m_bAllStartTagsSet = false;
    // Every segment made on the source, destroyed with it; in blocks, so that growing it never holds two
    // copies of a long list at once.
    std::deque<CSegment*> m_Segments;
    std::deque<ci_string> m_TagNames;
    std::vector<CStartTag*> m_AllStartTags;
    bool m_bAllStartTagsMade = false;
    const CElementList* m_pChildElements = nullptr;
    // An end tag the page does not write, standing where an element without one ends. It only carries that
    // position to the element being made, which keeps the position and not the tag: one object serves every
    // such end, moved to each; null when it cannot be made.
    CEndTag* emptyEndTagAt(Position nPos, const CTag& nameOf);
    // The child lists of segments that keep none of their own (see CSegment::childListSlot).
    const CElementList** otherChildList(const CSegment* pSegment, bool bMake);
    bool m_bFullyParsed = false;
    // Changes when the full parse changes which places count as tags; remembered answers carry it.
    CSourceGeneration m_nGeneration = 1;
    // Per folded tag name: stretches in which every start tag of that name has its element (for the
    // generation stamped). An end tag that no element claimed looks for its start tag only outside them.
    std::unordered_map<std::string, CStretchSet> m_PairedStartTags;
    CSourceGeneration m_nPairedStartTagsGeneration = 0;

    // While the full parse runs: the tags the on-demand searches had found, in text order, and the places
    // where they found tags of no registered type that were left without objects.
    bool m_bFullParseRunning = false;
    std::vector<CTag*> m_EarlierTags;
    std::vector<uint64_t> m_EarlierBare;

protected:
    const CElementList** childListSlot(bool) override { return &m_pChildElements; }

private:
    std::unordered_map<const CSegment*, const CElementList*> m_OtherChildLists;
    CEndTag* m_pEmptyEndTag = nullptr;
    // Per tag type (the types live as long as the program), lastClosingDelimiter's answer.
    std::vector<std::pair<const CTagType*, Position>> m_LastClosingDelimiters;
    Position findBackward(const char* pszPattern, Position nPos, Position nLimit, bool bDelimiter);

    mutable std::unique_ptr<CTokenScan> m_pTokenScan;

    CSegmentArena m_Arena{this};
    CDelimiterIndex m_DelimiterIndex;
    CTagNameIndex m_TagNameIndex;
    uint64_t m_nWork = 0;
};
