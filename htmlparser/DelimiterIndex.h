// Per-source memory of where closing delimiters, quotes and brackets stand, and of the comment and CDATA
// stretches that hide markup. Every answer is computed from one forward pass over the text, made the first
// time it is needed, so that a page full of delimiters that never close costs linear time, not the rest of
// the page for every candidate.
#pragma once

#include "htmlparser/Position.h"

#include <memory>
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

    // Whether nPos lies strictly inside a comment or CDATA section as seen by on-demand lookups: the
    // stretches found by a walk from the begin that takes each comment or CDATA opening not inside an
    // earlier one and ends it at its first closing delimiter.
    bool isInsideHidingSpan(Position nPos);

    // Position after the first '>' outside double quotes at or after nPos, or -1.
    Position findMarkupDeclarationEnd(Position nPos);
    // Position after the first '>' outside double quotes and outside brackets at or after nPos, or -1.
    Position findDoctypeEnd(Position nPos);

private:
    const std::vector<Position>& occurrences(const char* pszPattern);
    void buildHidingSpans();
    void buildQuoteIndex();
    size_t quoteParity(Position nPos) const;

    const char* m_pText;
    Position m_nBegin;
    Position m_nEnd;

    std::unordered_map<std::string, std::vector<Position>> m_Occurrences;
    // One-byte patterns (">" above all, asked once per tag) are found without building a key.
    const std::vector<Position>* m_SingleByte[256] = {};

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
