// Per-source memory of where closing delimiters, quotes and brackets stand, and of the comment and CDATA
// stretches that hide markup. Every answer is computed from one forward pass over the text, made the first
// time it is needed, so that a page full of delimiters that never close costs linear time, not the rest of
// the page for every candidate.
#pragma once

#include "htmlparser/Position.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class CDelimiterIndex
{
public:
    // A range longer than MAX_LENGTH bytes, or without a text, is indexed as empty (nothing is read): places
    // are kept as 32-bit offsets from the begin.
    CDelimiterIndex(const char* pText, Position nBegin, Position nEnd);

    static constexpr Position MAX_LENGTH = 0xFFFFFFFE;

    // First case-insensitive occurrence of the pattern starting at or after nFrom (not below the begin)
    // and ending at or before the end; -1 when none.
    Position findNext(const char* pszPattern, Position nFrom);
    // Highest case-insensitive occurrence starting at or before nPos (lowered so that it fits before the
    // end) and not below the begin; -1 when none.
    Position findPrevious(const char* pszPattern, Position nPos);

    // The same two searches for texts that vary with the query (tag names, end-tag texts, attribute values).
    // Each text keeps the stretches already scanned for it and the matches found there, and a query scans
    // only as far as its answer, or as nLimit (the last start it may return): a walk that asks for many
    // distinct names costs the page about once in all, not once per name.
    Position findNextText(const char* pszPattern, Position nFrom, Position nLimit = NPOS);
    Position findPreviousText(const char* pszPattern, Position nPos);

    // Whether nPos lies strictly inside a comment or CDATA section as seen by on-demand lookups: the
    // stretches found by a walk from the begin that takes each comment or CDATA opening not inside an
    // earlier one and ends it at its first closing delimiter.
    bool isInsideHidingSpan(Position nPos);

    // Position after the first '>' outside double quotes at or after nPos, or -1.
    Position findMarkupDeclarationEnd(Position nPos);
    // Position after the first '>' outside double quotes and outside brackets at or after nPos, or -1.
    Position findDoctypeEnd(Position nPos);

    // Steps of work done so far (bytes scanned, stretches walked).
    uint64_t getWork() const { return m_nWork; }

private:
    // Offsets from m_nBegin: every stored place lies below m_nEnd, so fewer than 2^32 - 1 of them.
    using Offset = uint32_t;
    using Offsets = std::vector<Offset>;

    struct SScannedText
    {
        // Disjoint, non-adjacent stretches [begin, end) of match starts already looked at, by begin.
        std::map<Position, Position> m_Scanned;
        std::set<Position> m_Hits;
    };

    // A position as an offset for searches among stored offsets: below the begin is 0, past the end is
    // the end, which no stored place reaches.
    Offset toOffset(Position nPos) const;
    Position toPosition(Offset nOffset) const { return m_nBegin + nOffset; }

    const Offsets& occurrences(const char* pszPattern);
    void remember(const std::string& sKey, const Offsets& hits);
    SScannedText* scannedText(const char* pszPattern, std::string& sKey);
    void buildHidingSpans();
    void buildQuoteIndex();
    size_t quoteParity(Position nPos);

    const char* m_pText;
    uint64_t m_nWork = 0;
    Position m_nBegin;
    Position m_nEnd;

    std::unordered_map<std::string, Offsets> m_Occurrences;
    // One-byte patterns (">" above all, asked once per tag) are found without building a key.
    const Offsets* m_SingleByte[256] = {};
    // The longer patterns asked last (a tag type's closing delimiter, asked once per candidate tag), found by
    // comparing the text of the pattern rather than by building and hashing a key.
    struct SRecentPattern
    {
        std::string sKey; // folded
        const Offsets* pHits = nullptr;
    };
    static constexpr size_t RECENT_PATTERNS = 8;
    SRecentPattern m_Recent[RECENT_PATTERNS];
    size_t m_nNextRecent = 0;

    // Where the last searches of the most recently asked lists ended: a tag is constructed right after its
    // neighbour, so its closing delimiter lies a few places from the last one found.
    struct SHint
    {
        const Offsets* pHits = nullptr;
        size_t nIndex = 0;
    };
    static constexpr size_t HINTS = 4;
    SHint m_Hints[HINTS];
    size_t m_nNextHint = 0;
    size_t& hintFor(const Offsets& hits);

    std::unordered_map<std::string, SScannedText> m_ScannedTexts;

    bool m_bHidingSpansBuilt = false;
    Offsets m_HidingSpanBegins;
    Offsets m_HidingSpanEnds;

    bool m_bQuoteIndexBuilt = false;
    // The parity of the double quotes before every PARITY_BLOCK-th byte, one bit each: the parity before any
    // byte then costs fewer than PARITY_BLOCK steps, at a small fraction of a bit per page byte.
    static constexpr Offset PARITY_BLOCK = 64;
    std::vector<uint64_t> m_QuoteParity;
    // Indexed by the parity of the number of double quotes before the character.
    Offsets m_Closers[2];
    Offsets m_Brackets[2];
    Offsets m_ClosersAfterBracketClose[2];
};
