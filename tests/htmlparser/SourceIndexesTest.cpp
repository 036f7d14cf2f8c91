// The per-source indexes answer as plain scans of the text would, whatever the begin and end of their range,
// the order of the questions, and hash keys that several names share.
#include "htmlparser/DelimiterIndex.h"
#include "htmlparser/TagNameIndex.h"
#include "htmlparser/TextSearch.h"
#include "tests/htmlparser/ParserTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{
// Random begin and end inside the text: the end of the range is sometimes the end of the text, sometimes
// cuts a name or a delimiter short.
struct SRange
{
    Position nBegin;
    Position nEnd;
};

SRange RandomRange(std::mt19937& rng, const std::string& sText)
{
    const Position nEnd = rng() % 2 == 0 ? sText.size() : rng() % (sText.size() + 1);
    const Position nBegin = rng() % 3 == 0 ? rng() % (nEnd + 1) : 0;
    return {nBegin, nEnd};
}

Position FirstMatch(const std::string& sText, SRange range, const std::string& sPattern, Position nFrom)
{
    for (Position p = std::max(nFrom, range.nBegin); p <= range.nEnd && sPattern.size() <= range.nEnd - p;
         ++p)
    {
        if (MatchesNoCaseAt(sText, p, sPattern))
            return p;
    }
    return NPOS;
}

Position LastMatch(const std::string& sText, SRange range, const std::string& sPattern, Position nPos)
{
    if (nPos < range.nBegin || sPattern.size() > range.nEnd - range.nBegin)
        return NPOS;
    for (Position p = std::min<Position>(nPos, range.nEnd - sPattern.size()) + 1; p-- > range.nBegin;)
    {
        if (MatchesNoCaseAt(sText, p, sPattern))
            return p;
    }
    return NPOS;
}

// After the first '>' outside double quotes counted from nPos (and, for a doctype, outside brackets).
Position DeclarationEnd(const std::string& sText, SRange range, Position nPos, bool bDoctype)
{
    if (nPos < range.nBegin || nPos >= range.nEnd)
        return NPOS;
    bool bInQuotes = false;
    bool bInBrackets = false;
    for (Position p = nPos; p < range.nEnd; ++p)
    {
        const char c = sText[p];
        if (c == '"')
            bInQuotes = !bInQuotes;
        else if (bInQuotes)
            continue;
        else if (bDoctype && (c == '[' || c == ']'))
            bInBrackets = c == '[';
        else if (c == '>' && !bInBrackets)
            return p + 1;
    }
    return NPOS;
}

// Quotes and brackets far apart and close together, so that questions fall on both sides of every stretch
// of bytes the index summarises.
TEST(DelimiterIndex, AnswersAsPlainScansOverAnyRange)
{
    std::mt19937 rng(5);
    // Both cases of letters, bytes that differ from a delimiter's only in the bit case folding ignores
    // ("\r" and "-", "\x01" and "!"), and runs of a delimiter's first bytes, far apart and close together.
    const char* const pieces[] = {
        "\"",   "[",         "]",         ">",   "x",      "X",
        "<!--", "-->",       "<",         "<!",  "-",      "\r",
        "\x01", "<![CDATA[", "<![cdata[", "]]>", "<!-- >", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"};
    const std::string patterns[] = {">", "\"", "-->", "<!--", "x>", "<![CDATA[", "]]>", "<!", "X"};
    for (int nRound = 0; nRound < 300; ++nRound)
    {
        const std::string sText = PiecesPage(rng, pieces, 60);
        const SRange range = RandomRange(rng, sText);
        CDelimiterIndex index(sText.data(), range.nBegin, range.nEnd);
        for (int nQuestion = 0; nQuestion < 80; ++nQuestion)
        {
            const Position nPos = rng() % 8 == 0 ? NPOS - rng() % 2 : rng() % (sText.size() + 3);
            const std::string& sPattern = patterns[rng() % std::size(patterns)];
            const std::string sWhere = sText + " [" + std::to_string(range.nBegin) + ", " +
                                       std::to_string(range.nEnd) + ") at " + std::to_string(nPos);
            switch (rng() % 4)
            {
            case 0:
                ASSERT_EQ(FirstMatch(sText, range, sPattern, nPos), index.findNext(sPattern.c_str(), nPos))
                    << sWhere << " next " << sPattern;
                break;
            case 1:
                ASSERT_EQ(nPos == NPOS ? NPOS : LastMatch(sText, range, sPattern, nPos),
                          index.findPrevious(sPattern.c_str(), nPos))
                    << sWhere << " previous " << sPattern;
                break;
            case 2:
                ASSERT_EQ(DeclarationEnd(sText, range, nPos, false), index.findMarkupDeclarationEnd(nPos))
                    << sWhere << " declaration end";
                break;
            default:
                ASSERT_EQ(DeclarationEnd(sText, range, nPos, true), index.findDoctypeEnd(nPos))
                    << sWhere << " doctype end";
                break;
            }
        }
    }
}

bool TagNameAt(const std::string& sText, SRange range, CTagNameIndex::EKind eKind, Position nPos,
               const std::string& sName)
{
    const std::string sView = sText.substr(0, range.nEnd);
    const std::string sMark = (eKind == CTagNameIndex::END_TAG ? "</" : "<") + sName;
    if (nPos < range.nBegin || !MatchesNoCaseAt(sView, nPos, sMark))
        return false;
    const Position nAfter = nPos + sMark.size();
    if (eKind == CTagNameIndex::END_TAG)
        return nAfter < sView.size() && sView[nAfter] == '>';
    return nAfter == sView.size() || !IsNameChar(static_cast<unsigned char>(sView[nAfter]));
}

// "fikaz" and "jblve" share a hash key, as do "fikay" and "jblvf": a place of one must neither answer for
// the other nor be refused for good when a question about the other passes over it.
TEST(TagNameIndex, AnswersAsAPlainScanWhenNamesShareAKey)
{
    std::mt19937 rng(17);
    const char* const pieces[] = {"<fikaz",  "</fikaz>", "<JBLVE", "</jblve>", "<jblvf>", "</FIKAY>",
                                  "<fikaz-", "<a",       "</A>",   "<ab",      "</ab>",   "x",
                                  " ",       "<",        ">",      "/"};
    const std::string names[] = {"fikaz", "JBLVE", "jblve", "fikay", "jblvf", "a", "ab", "b"};
    for (int nRound = 0; nRound < 300; ++nRound)
    {
        const std::string sText = PiecesPage(rng, pieces, 40);
        const SRange range = RandomRange(rng, sText);
        CTagNameIndex index(sText.data(), range.nBegin, range.nEnd);
        // Which places a question takes depends on the position and on what the walk knows; forgetting the
        // answers changes that.
        uint32_t nEpoch = 0;
        const auto accepts = [&nEpoch](Position p) { return (p * 7 + nEpoch) % 3 != 0; };
        for (int nQuestion = 0; nQuestion < 80; ++nQuestion)
        {
            if (rng() % 40 == 0)
            {
                index.forgetAnswers();
                ++nEpoch;
            }
            const auto eKind = rng() % 2 == 0 ? CTagNameIndex::START_TAG : CTagNameIndex::END_TAG;
            const std::string& sName = names[rng() % std::size(names)];
            const Position nPos = rng() % (sText.size() + 3);
            const Position nLimit = rng() % 3 == 0 ? NPOS : rng() % (sText.size() + 3);
            const bool bPrevious = rng() % 2 == 0;
            Position nExpected = NPOS;
            if (!bPrevious)
            {
                for (Position p = std::max(nPos, range.nBegin); p < range.nEnd && p <= nLimit; ++p)
                {
                    if (TagNameAt(sText, range, eKind, p, sName) && accepts(p))
                    {
                        nExpected = p;
                        break;
                    }
                }
            }
            else if (nPos >= range.nBegin && range.nEnd > range.nBegin)
            {
                for (Position p = std::min(nPos, range.nEnd - 1) + 1; p-- > range.nBegin;)
                {
                    if (TagNameAt(sText, range, eKind, p, sName) && accepts(p))
                    {
                        nExpected = p;
                        break;
                    }
                }
            }
            ASSERT_EQ(nExpected,
                      index.find(eKind, sName, nPos, bPrevious ? NPOS : nLimit, bPrevious, accepts))
                << sText << " [" << range.nBegin << ", " << range.nEnd << ") "
                << (eKind == CTagNameIndex::END_TAG ? "end " : "start ") << sName
                << (bPrevious ? " before " : " from ") << nPos << " to " << nLimit;
        }
    }
}

// Places are kept as 32-bit offsets: a range too long for them is indexed as empty, and its text is never
// read (the buffer here is far shorter than the range claimed).
TEST(SourceIndexes, ARangeTooLongForOffsetsIsEmpty)
{
    const std::string sText = "<!doctype x><a>\"x\"</a><!-- c -->";
    const auto acceptAll = [](Position) { return true; };
    const struct
    {
        Position nEnd;
        bool bEmpty;
    } cases[] = {
        {sText.size(), false},
        {CDelimiterIndex::MAX_LENGTH + 1, true},
        {Position{1} << 32, true},
        {NPOS, true},
    };
    for (const auto& c : cases)
    {
        CDelimiterIndex delimiters(sText.data(), 0, c.nEnd);
        CTagNameIndex names(sText.data(), 0, c.nEnd);
        EXPECT_EQ(c.bEmpty ? NPOS : 11, delimiters.findNext(">", 1)) << c.nEnd;
        EXPECT_EQ(c.bEmpty ? NPOS : 17, delimiters.findPrevious("\"", 20)) << c.nEnd;
        EXPECT_EQ(c.bEmpty ? NPOS : 18, delimiters.findNextText("</a>", 0)) << c.nEnd;
        EXPECT_EQ(c.bEmpty ? NPOS : 12, delimiters.findMarkupDeclarationEnd(1)) << c.nEnd;
        EXPECT_EQ(c.bEmpty ? NPOS : 12, delimiters.findDoctypeEnd(1)) << c.nEnd;
        EXPECT_EQ(!c.bEmpty, delimiters.isInsideHidingSpan(25)) << c.nEnd;
        EXPECT_EQ(c.bEmpty ? NPOS : 12, names.find(CTagNameIndex::START_TAG, "A", 0, NPOS, false, acceptAll))
            << c.nEnd;
        EXPECT_EQ(c.bEmpty ? NPOS : 18,
                  names.find(CTagNameIndex::END_TAG, "a", NPOS - 1, NPOS, true, acceptAll))
            << c.nEnd;
    }
}
} // namespace
