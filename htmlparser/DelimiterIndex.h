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
    CDelimiterIndex(const char* pText, Position nBegin, Position nEnd);

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
    struct SScannedText
    {
        // Disjoint, non-adjacent stretches [begin, end) of match starts already looked at, by begin.
        std::map<Position, Position> m_Scanned;
        std::set<Position> m_Hits;
    };

    const std::vector<Position>& occurrences(const char* pszPattern);
    SScannedText* scannedText(const char* pszPattern, std::string& sKey);
    void buildHidingSpans();
    void buildQuoteIndex();
    size_t quoteParity(Position nPos) const;

    const char* m_pText;
    uint64_t m_nWork = 0;
    Position m_nBegin;
    Position m_nEnd;

    std::unordered_map<std::string, std::vector<Position>> m_Occurrences;
    // One-byte patterns (">" above all, asked once per tag) are found without building a key.
    const std::vector<Position>* m_SingleByte[256] = {};

    std::unordered_map<std::string, SScannedText> m_ScannedTexts;

    bool m_bHidingSpansBuilt = false;
    std::vector<Position> m_HidingSpanBegins;
    std::vector<Position> m_HidingSpanEnds;

    bool m_bQuoteIndexBuilt = false;
    std::vector<Position> m_Quotes;
    // Indexed by the parity of the number of double quotes before the character.
    std::vector<Position> m_Closers[2];
    std::vector<Position> m_Brackets[2];
    std::vector<Position> m_ClosersAfterBracketClose[2];
};
