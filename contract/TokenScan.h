// Where a browser's HTML tokenizer starts its tokens, and where markup put into a page would be read as
// markup of its own: one forward pass over the page's bytes that follows the tokenizer's states (tags and
// their attributes in every quoting, comments with their short forms, bogus comments, doctypes, raw text and
// RCDATA elements, script with its escaped and double-escaped states, plaintext, CDATA in foreign content).
// The host marks its words with it and the worker finds its tags and checks its edits with it, so that both
// see the tags the browser sees. Bytes are read as ASCII: the pass is meant for ASCII-compatible pages.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// What a byte is to the states inside a tag, a bit each.
namespace token_scan
{
constexpr uint8_t C_SPACE = 1;
constexpr uint8_t C_SLASH = 2;
constexpr uint8_t C_GT = 4;
constexpr uint8_t C_EQUALS = 8;
constexpr std::array<uint8_t, 256> MakeClasses()
{
    std::array<uint8_t, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\r', '\f'})
        classes[static_cast<unsigned char>(c)] = C_SPACE;
    classes['/'] = C_SLASH;
    classes['>'] = C_GT;
    classes['='] = C_EQUALS;
    return classes;
}
inline constexpr std::array<uint8_t, 256> CLASSES = MakeClasses();

// The first c in [p, pEnd), or nullptr. Most searches here end within a few bytes, where a call to memchr
// costs more than the search: sixteen bytes at a time, in line.
inline const unsigned char* FindByte(const unsigned char* p, const unsigned char* pEnd, unsigned char c)
{
#if defined(__SSE2__)
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    while (pEnd - p >= 16)
    {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto uMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vc)));
        if (uMask != 0)
            return p + __builtin_ctz(uMask);
        p += 16;
    }
#endif
    for (; p < pEnd; ++p)
    {
        if (*p == c)
            return p;
    }
    return nullptr;
}
} // namespace token_scan

class CTokenScan
{
public:
    static constexpr uint64_t NONE = ~static_cast<uint64_t>(0);

    // The tokenizer's state while it reads the inside of a tag, as TagStateAt reports it.
    enum class ETagState
    {
        NOT_IN_TAG,
        TAG_NAME,
        BEFORE_ATTRIBUTE_NAME,
        ATTRIBUTE_NAME,
        AFTER_ATTRIBUTE_NAME,
        BEFORE_ATTRIBUTE_VALUE,
        ATTRIBUTE_VALUE_DOUBLE_QUOTED,
        ATTRIBUTE_VALUE_SINGLE_QUOTED,
        ATTRIBUTE_VALUE_UNQUOTED,
        AFTER_ATTRIBUTE_VALUE_QUOTED,
        SELF_CLOSING_START_TAG,
    };

    CTokenScan() = default;

    // Reads [nBegin, nEnd) of pText; positions stay offsets from pText. A scan made again replaces the last.
    void Scan(const char* pText, uint64_t nBegin, uint64_t nEnd)
    {
        m_pText = reinterpret_cast<const unsigned char*>(pText);
        m_nBegin = nBegin;
        m_nEnd = pText == nullptr || nEnd < nBegin ? nBegin : nEnd;
        m_nOpenConstruct = NONE;
        m_nForeign = 0;
        m_nIsland = 0;
        const uint64_t nWords = (m_nEnd - m_nBegin + 1 + 63) / 64;
        m_Starts.assign(nWords, 0);
        m_Hidden.assign(nWords, 0);
        Run();
    }

    uint64_t GetBegin() const { return m_nBegin; }
    uint64_t GetEnd() const { return m_nEnd; }

    // Whether a token (a tag, an end tag, a comment, a doctype, a bogus comment, a CDATA section) starts at
    // nPos: the '<' of every one of them, and of no '<' the tokenizer reads as text or inside another token.
    bool IsTokenStart(uint64_t nPos) const { return Holds(nPos) && Bit(m_Starts, nPos - m_nBegin); }

    // Whether markup inserted at nPos (nBegin to nEnd, both included) would be read as markup between the
    // page's own tokens: the tokenizer is there in its data state, at no token's inside and in no raw text.
    bool IsBetweenTokens(uint64_t nPos) const
    {
        return nPos >= m_nBegin && nPos <= m_nEnd && !Bit(m_Hidden, nPos - m_nBegin);
    }

    // The first token start at or after nFrom, or NONE.
    uint64_t NextTokenStart(uint64_t nFrom) const
    {
        if (nFrom < m_nBegin)
            nFrom = m_nBegin;
        if (nFrom >= m_nEnd)
            return NONE;
        uint64_t nBit = nFrom - m_nBegin;
        size_t nWord = static_cast<size_t>(nBit / 64);
        uint64_t uBits = m_Starts[nWord] & (~uint64_t{0} << (nBit % 64));
        while (uBits == 0)
        {
            if (++nWord >= m_Starts.size())
                return NONE;
            uBits = m_Starts[nWord];
        }
        const uint64_t nPos = m_nBegin + nWord * 64 + static_cast<uint64_t>(__builtin_ctzll(uBits));
        return nPos < m_nEnd ? nPos : NONE;
    }

    // The last token start at or before nPos, or NONE.
    uint64_t PreviousTokenStart(uint64_t nPos) const
    {
        if (nPos < m_nBegin || m_nEnd == m_nBegin)
            return NONE;
        if (nPos >= m_nEnd)
            nPos = m_nEnd - 1;
        const uint64_t nBit = nPos - m_nBegin;
        size_t nWord = static_cast<size_t>(nBit / 64);
        const unsigned nShift = static_cast<unsigned>(63 - nBit % 64);
        uint64_t uBits = m_Starts[nWord] & (~uint64_t{0} >> nShift);
        while (uBits == 0)
        {
            if (nWord == 0)
                return NONE;
            uBits = m_Starts[--nWord];
        }
        return m_nBegin + nWord * 64 + static_cast<uint64_t>(63 - __builtin_clzll(uBits));
    }

    // The nearest position between tokens at or before nPos (NONE when there is none), and at or after it.
    uint64_t PreviousBetweenTokens(uint64_t nPos) const
    {
        if (nPos < m_nBegin)
            return NONE;
        if (nPos > m_nEnd)
            nPos = m_nEnd;
        for (uint64_t n = nPos + 1; n-- > m_nBegin;)
        {
            if (!Bit(m_Hidden, n - m_nBegin))
                return n;
        }
        return NONE;
    }
    uint64_t NextBetweenTokens(uint64_t nPos) const
    {
        for (uint64_t n = nPos < m_nBegin ? m_nBegin : nPos; n <= m_nEnd; ++n)
        {
            if (!Bit(m_Hidden, n - m_nBegin))
                return n;
        }
        return NONE;
    }

    // Where the construct the text is left inside at its end begins (a tag, a comment, a raw-text element
    // without its end tag, ...), or NONE when the text ends between tokens.
    uint64_t GetOpenConstructBegin() const { return m_nOpenConstruct; }

    // The tokenizer's state after it has read [nTagBegin, nPos) of the tag whose '<' stands at nTagBegin
    // (a start or an end tag), NOT_IN_TAG when nPos is not inside that tag (past its '>', or at its '<').
    static ETagState TagStateAt(const char* pText, uint64_t nTagBegin, uint64_t nEnd, uint64_t nPos)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(pText);
        if (pText == nullptr || nPos <= nTagBegin || nPos > nEnd || nTagBegin + 1 >= nEnd ||
            p[nTagBegin] != '<')
            return ETagState::NOT_IN_TAG;
        uint64_t nName = nTagBegin + 1;
        if (p[nName] == '/')
            ++nName;
        if (nName >= nEnd || !IsLetter(p[nName]) || nPos <= nName)
            return ETagState::NOT_IN_TAG;
        STag tag;
        ETagState eState = ETagState::NOT_IN_TAG;
        const uint64_t nTagEnd = WalkTag(p, nName, nEnd, nPos, tag, &eState);
        if (nTagEnd != NONE && nTagEnd <= nPos)
            return ETagState::NOT_IN_TAG;
        return eState;
    }

private:
    struct STag
    {
        uint64_t nName = 0;
        uint64_t nNameEnd = 0;
        bool bSelfClosing = false;
    };

    static bool IsSpace(unsigned char c)
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    }
    static bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static unsigned char Lower(unsigned char c)
    {
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
    }

    static bool Bit(const std::vector<uint64_t>& bits, uint64_t n) { return (bits[n / 64] >> (n % 64)) & 1u; }
    bool Holds(uint64_t nPos) const { return nPos >= m_nBegin && nPos < m_nEnd; }
    void MarkStart(uint64_t nPos)
    {
        m_Starts[(nPos - m_nBegin) / 64] |= uint64_t{1} << ((nPos - m_nBegin) % 64);
    }

    // Marks (nFrom, nTo) as the inside of a construct: nothing put there is read as markup of its own. A word
    // at a time: a page is mostly short tags.
    void Hide(uint64_t nFrom, uint64_t nTo)
    {
        const uint64_t a = nFrom + 1 - m_nBegin;
        const uint64_t b = nTo - m_nBegin;
        if (a >= b)
            return;
        const size_t nFirst = static_cast<size_t>(a / 64);
        const size_t nLast = static_cast<size_t>((b - 1) / 64);
        const uint64_t uHead = ~uint64_t{0} << (a % 64);
        const uint64_t uTail = ~uint64_t{0} >> (63 - (b - 1) % 64);
        if (nFirst == nLast)
        {
            m_Hidden[nFirst] |= uHead & uTail;
            return;
        }
        m_Hidden[nFirst] |= uHead;
        for (size_t n = nFirst + 1; n < nLast; ++n)
            m_Hidden[n] = ~uint64_t{0};
        m_Hidden[nLast] |= uTail;
    }

    // The text is left open from nStart on.
    void LeaveOpen(uint64_t nStart)
    {
        m_nOpenConstruct = nStart;
        MarkStart(nStart);
        Hide(nStart, m_nEnd + 1);
    }

    bool NameIs(const STag& tag, const char* pszName) const
    {
        const size_t nLength = std::strlen(pszName);
        if (tag.nNameEnd - tag.nName != nLength)
            return false;
        for (size_t i = 0; i < nLength; ++i)
        {
            if (Lower(m_pText[tag.nName + i]) != static_cast<unsigned char>(pszName[i]))
                return false;
        }
        return true;
    }
    bool NameIsOneOf(const STag& tag, const char* const* ppszNames, size_t nCount) const
    {
        for (size_t i = 0; i < nCount; ++i)
        {
            if (NameIs(tag, ppszNames[i]))
                return true;
        }
        return false;
    }

    // The tag whose name starts at nName: past its '>', or NONE when the text ends inside it. With nStop
    // inside the tag, *peState gets the state after the bytes before nStop.
    static uint64_t WalkTag(const unsigned char* p, uint64_t nName, uint64_t nEnd, uint64_t nStop, STag& tag,
                            ETagState* peState)
    {
        tag.nName = nName;
        tag.bSelfClosing = false;
        ETagState e = ETagState::TAG_NAME;
        uint64_t n = nName;
        auto stopHere = [&](uint64_t nAt) { return peState != nullptr && nAt == nStop; };
        const uint64_t nLimit = peState != nullptr && nStop < nEnd ? nStop : nEnd;
        while (n < nEnd)
        {
            if (stopHere(n))
            {
                *peState = e;
                return NONE;
            }
            // Runs of bytes that change no state are passed over at once: names and unquoted values.
            if (e == ETagState::TAG_NAME || e == ETagState::ATTRIBUTE_NAME ||
                e == ETagState::ATTRIBUTE_VALUE_UNQUOTED)
            {
                using namespace token_scan;
                const uint8_t uEnds = e == ETagState::TAG_NAME         ? C_SPACE | C_SLASH | C_GT
                                      : e == ETagState::ATTRIBUTE_NAME ? C_SPACE | C_SLASH | C_GT | C_EQUALS
                                                                       : C_SPACE | C_GT;
                while (n < nLimit && (CLASSES[p[n]] & uEnds) == 0)
                    ++n;
                if (n >= nLimit)
                    continue;
            }
            const unsigned char c = p[n];
            switch (e)
            {
            case ETagState::TAG_NAME:
                if (IsSpace(c) || c == '/' || c == '>')
                {
                    tag.nNameEnd = n;
                    e = IsSpace(c) ? ETagState::BEFORE_ATTRIBUTE_NAME
                        : c == '/' ? ETagState::SELF_CLOSING_START_TAG
                                   : ETagState::NOT_IN_TAG;
                }
                break;
            case ETagState::BEFORE_ATTRIBUTE_NAME:
                if (c == '/' || c == '>')
                {
                    e = ETagState::AFTER_ATTRIBUTE_NAME;
                    continue;
                }
                if (!IsSpace(c))
                    e = ETagState::ATTRIBUTE_NAME;
                break;
            case ETagState::ATTRIBUTE_NAME:
                if (IsSpace(c) || c == '/' || c == '>')
                {
                    e = ETagState::AFTER_ATTRIBUTE_NAME;
                    continue;
                }
                if (c == '=')
                    e = ETagState::BEFORE_ATTRIBUTE_VALUE;
                break;
            case ETagState::AFTER_ATTRIBUTE_NAME:
                if (c == '/')
                    e = ETagState::SELF_CLOSING_START_TAG;
                else if (c == '=')
                    e = ETagState::BEFORE_ATTRIBUTE_VALUE;
                else if (c == '>')
                    e = ETagState::NOT_IN_TAG;
                else if (!IsSpace(c))
                    e = ETagState::ATTRIBUTE_NAME;
                break;
            case ETagState::BEFORE_ATTRIBUTE_VALUE:
                if (c == '"')
                    e = ETagState::ATTRIBUTE_VALUE_DOUBLE_QUOTED;
                else if (c == '\'')
                    e = ETagState::ATTRIBUTE_VALUE_SINGLE_QUOTED;
                else if (c == '>')
                    e = ETagState::NOT_IN_TAG;
                else if (!IsSpace(c))
                {
                    e = ETagState::ATTRIBUTE_VALUE_UNQUOTED;
                    continue;
                }
                break;
            case ETagState::ATTRIBUTE_VALUE_DOUBLE_QUOTED:
            case ETagState::ATTRIBUTE_VALUE_SINGLE_QUOTED:
            {
                const unsigned char q = e == ETagState::ATTRIBUTE_VALUE_DOUBLE_QUOTED ? '"' : '\'';
                const void* pClose = std::memchr(p + n, q, static_cast<size_t>(nEnd - n));
                const uint64_t nClose =
                    pClose == nullptr ? nEnd
                                      : static_cast<uint64_t>(static_cast<const unsigned char*>(pClose) - p);
                if (peState != nullptr && nStop >= n && nStop <= nClose)
                {
                    // The stop lies inside the value, or at its closing quote.
                    *peState = e;
                    return NONE;
                }
                if (pClose == nullptr)
                    return NONE;
                n = nClose + 1;
                e = ETagState::AFTER_ATTRIBUTE_VALUE_QUOTED;
                continue;
            }
            case ETagState::ATTRIBUTE_VALUE_UNQUOTED:
                if (IsSpace(c))
                    e = ETagState::BEFORE_ATTRIBUTE_NAME;
                else if (c == '>')
                    e = ETagState::NOT_IN_TAG;
                break;
            case ETagState::AFTER_ATTRIBUTE_VALUE_QUOTED:
                if (IsSpace(c))
                    e = ETagState::BEFORE_ATTRIBUTE_NAME;
                else if (c == '/')
                    e = ETagState::SELF_CLOSING_START_TAG;
                else if (c == '>')
                    e = ETagState::NOT_IN_TAG;
                else
                {
                    e = ETagState::BEFORE_ATTRIBUTE_NAME;
                    continue;
                }
                break;
            case ETagState::SELF_CLOSING_START_TAG:
                if (c == '>')
                {
                    tag.bSelfClosing = true;
                    e = ETagState::NOT_IN_TAG;
                }
                else
                {
                    e = ETagState::BEFORE_ATTRIBUTE_NAME;
                    continue;
                }
                break;
            case ETagState::NOT_IN_TAG:
                break;
            }
            ++n;
            if (e == ETagState::NOT_IN_TAG)
                return n;
        }
        if (stopHere(n))
            *peState = e;
        return NONE;
    }

    // Past the '>' of the tag whose name starts at nName, or NONE when the text ends inside it: WalkTag's
    // states without a stop, taken in the order a tag is written (its name, then attributes each with an
    // optional value), since the scan asks it of every tag on the page.
    static uint64_t EndOfTag(const unsigned char* p, uint64_t nName, uint64_t nEnd, STag& tag)
    {
        using namespace token_scan;
        tag.nName = nName;
        tag.bSelfClosing = false;
        uint64_t n = nName;
        while (n < nEnd && (CLASSES[p[n]] & (C_SPACE | C_SLASH | C_GT)) == 0)
            ++n;
        tag.nNameEnd = n;
        while (n < nEnd)
        {
            const unsigned char c = p[n];
            if (c == '>')
                return n + 1;
            if ((CLASSES[c] & C_SPACE) != 0)
            {
                ++n;
                continue;
            }
            if (c == '/')
            {
                // A '/' not right before the '>' is read as a space.
                if (n + 1 < nEnd && p[n + 1] == '>')
                {
                    tag.bSelfClosing = true;
                    return n + 2;
                }
                ++n;
                continue;
            }
            // An attribute's name, whose first byte may be '=', then the spaces after it.
            ++n;
            while (n < nEnd && (CLASSES[p[n]] & (C_SPACE | C_SLASH | C_GT | C_EQUALS)) == 0)
                ++n;
            while (n < nEnd && (CLASSES[p[n]] & C_SPACE) != 0)
                ++n;
            if (n >= nEnd || p[n] != '=')
                continue;
            ++n;
            while (n < nEnd && (CLASSES[p[n]] & C_SPACE) != 0)
                ++n;
            if (n >= nEnd)
                return NONE;
            const unsigned char q = p[n];
            if (q == '"' || q == '\'')
            {
                const unsigned char* pClose = FindByte(p + n + 1, p + nEnd, q);
                if (pClose == nullptr)
                    return NONE;
                n = static_cast<uint64_t>(pClose - p) + 1;
                continue;
            }
            // An unquoted value ends at a space or the '>', which the next round reads.
            while (n < nEnd && (CLASSES[p[n]] & (C_SPACE | C_GT)) == 0)
                ++n;
        }
        return NONE;
    }

    // Past the first '>' at or after nFrom, or NONE.
    uint64_t AfterGreaterThan(uint64_t nFrom) const
    {
        if (nFrom >= m_nEnd)
            return NONE;
        const void* pClose = std::memchr(m_pText + nFrom, '>', static_cast<size_t>(m_nEnd - nFrom));
        return pClose == nullptr
                   ? NONE
                   : static_cast<uint64_t>(static_cast<const unsigned char*>(pClose) - m_pText) + 1;
    }

    // Past the end of the comment whose "<!--" stands at nStart: "-->" may share the opening's dashes
    // ("<!-->", "<!--->"), "--!>" may not.
    uint64_t CommentEnd(uint64_t nStart) const
    {
        for (uint64_t n = nStart + 2; n + 2 < m_nEnd;)
        {
            const void* pDash = std::memchr(m_pText + n, '-', static_cast<size_t>(m_nEnd - n));
            if (pDash == nullptr)
                return NONE;
            n = static_cast<uint64_t>(static_cast<const unsigned char*>(pDash) - m_pText);
            if (n + 2 < m_nEnd && m_pText[n + 1] == '-' && m_pText[n + 2] == '>')
                return n + 3;
            if (n >= nStart + 4 && n + 3 < m_nEnd && m_pText[n + 1] == '-' && m_pText[n + 2] == '!' &&
                m_pText[n + 3] == '>')
                return n + 4;
            ++n;
        }
        return NONE;
    }

    // Past "]]>" from nFrom, or NONE.
    uint64_t CdataEnd(uint64_t nFrom) const
    {
        for (uint64_t n = nFrom; n + 2 < m_nEnd; ++n)
        {
            const void* pBracket = std::memchr(m_pText + n, ']', static_cast<size_t>(m_nEnd - n));
            if (pBracket == nullptr)
                return NONE;
            n = static_cast<uint64_t>(static_cast<const unsigned char*>(pBracket) - m_pText);
            if (n + 2 < m_nEnd && m_pText[n + 1] == ']' && m_pText[n + 2] == '>')
                return n + 3;
        }
        return NONE;
    }

    // Whether "</" and the element's own name, then a space, '/' or '>', stand at n: the end tag that ends
    // its raw text. bCut: the text ends before that could be told.
    bool EndTagOf(uint64_t n, const STag& element, bool& bCut) const
    {
        const uint64_t nLength = element.nNameEnd - element.nName;
        bCut = false;
        if (n + 1 >= m_nEnd || m_pText[n + 1] != '/')
        {
            bCut = n + 1 >= m_nEnd;
            return false;
        }
        for (uint64_t i = 0; i < nLength; ++i)
        {
            if (n + 2 + i >= m_nEnd)
            {
                bCut = true;
                return false;
            }
            if (Lower(m_pText[n + 2 + i]) != Lower(m_pText[element.nName + i]))
                return false;
        }
        const uint64_t nAfter = n + 2 + nLength;
        if (nAfter >= m_nEnd)
        {
            bCut = true;
            return false;
        }
        return IsSpace(m_pText[nAfter]) || m_pText[nAfter] == '/' || m_pText[nAfter] == '>';
    }

    // Where the end tag that ends a raw-text or RCDATA element's text stands (its '<'), or NONE.
    uint64_t RawTextEnd(uint64_t nFrom, const STag& element) const
    {
        for (uint64_t n = nFrom; n < m_nEnd; ++n)
        {
            const void* pOpen = std::memchr(m_pText + n, '<', static_cast<size_t>(m_nEnd - n));
            if (pOpen == nullptr)
                return NONE;
            n = static_cast<uint64_t>(static_cast<const unsigned char*>(pOpen) - m_pText);
            bool bCut = false;
            if (EndTagOf(n, element, bCut))
                return n;
            if (bCut)
                return NONE;
        }
        return NONE;
    }

    // The same for a script, through its escaped ("<!--") and double-escaped ("<!--<script>") states, in
    // which its end tag does not end it until the escape is left.
    uint64_t ScriptEnd(uint64_t nFrom, const STag& element) const
    {
        enum EScript
        {
            DATA,
            ESCAPED,
            ESCAPED_DASH,
            ESCAPED_DASH_DASH,
            DOUBLE_ESCAPED,
            DOUBLE_ESCAPED_DASH,
            DOUBLE_ESCAPED_DASH_DASH,
        };
        static const char SCRIPT[] = "script";
        // Whether "script" and then a space, '/' or '>' follow at n: the name that moves in or out of the
        // double escape. bCut: the text ends first.
        auto scriptWordAt = [&](uint64_t n, bool& bCut)
        {
            bCut = false;
            for (uint64_t i = 0; i < 6; ++i)
            {
                if (n + i >= m_nEnd)
                {
                    bCut = true;
                    return false;
                }
                if (Lower(m_pText[n + i]) != static_cast<unsigned char>(SCRIPT[i]))
                    return false;
            }
            if (n + 6 >= m_nEnd)
            {
                bCut = true;
                return false;
            }
            const unsigned char c = m_pText[n + 6];
            return IsSpace(c) || c == '/' || c == '>';
        };
        EScript e = DATA;
        uint64_t n = nFrom;
        while (n < m_nEnd)
        {
            if (e == DATA)
            {
                const void* pOpen = std::memchr(m_pText + n, '<', static_cast<size_t>(m_nEnd - n));
                if (pOpen == nullptr)
                    return NONE;
                n = static_cast<uint64_t>(static_cast<const unsigned char*>(pOpen) - m_pText);
                bool bCut = false;
                if (EndTagOf(n, element, bCut))
                    return n;
                if (bCut)
                    return NONE;
                if (n + 3 < m_nEnd && m_pText[n + 1] == '!' && m_pText[n + 2] == '-' && m_pText[n + 3] == '-')
                {
                    e = ESCAPED_DASH_DASH;
                    n += 4;
                }
                else
                    ++n;
                continue;
            }
            const unsigned char c = m_pText[n];
            const bool bDouble = e >= DOUBLE_ESCAPED;
            if (c == '<')
            {
                bool bCut = false;
                if (!bDouble)
                {
                    if (EndTagOf(n, element, bCut))
                        return n;
                    if (bCut)
                        return NONE;
                    if (n + 1 < m_nEnd && IsLetter(m_pText[n + 1]))
                    {
                        if (scriptWordAt(n + 1, bCut))
                        {
                            e = DOUBLE_ESCAPED;
                            n += 8;
                            continue;
                        }
                        if (bCut)
                            return NONE;
                    }
                    e = ESCAPED;
                    ++n;
                    continue;
                }
                if (n + 1 < m_nEnd && m_pText[n + 1] == '/')
                {
                    if (scriptWordAt(n + 2, bCut))
                    {
                        e = ESCAPED;
                        n += 9;
                        continue;
                    }
                    if (bCut)
                        return NONE;
                }
                e = DOUBLE_ESCAPED;
                ++n;
                continue;
            }
            if (c == '-')
                e = (e == ESCAPED || e == DOUBLE_ESCAPED)
                        ? static_cast<EScript>(e + 1)
                        : static_cast<EScript>(bDouble ? DOUBLE_ESCAPED_DASH_DASH : ESCAPED_DASH_DASH);
            else if (c == '>' && (e == ESCAPED_DASH_DASH || e == DOUBLE_ESCAPED_DASH_DASH))
                e = DATA;
            else
                e = bDouble ? DOUBLE_ESCAPED : ESCAPED;
            ++n;
        }
        return NONE;
    }

    // How an HTML start tag switches the tokenizer: 0 not at all, 1 RCDATA or raw text, 2 script, 3
    // plaintext. Asked of every start tag: names of other lengths are told apart without a comparison.
    int RawKind(const STag& tag) const
    {
        // Which first letters such names have at each length, a bit per letter: most tags are passed on
        // this one look.
        static constexpr uint32_t FIRST_LETTERS[10] = {0,
                                                       0,
                                                       0,
                                                       1u << ('x' - 'a'),
                                                       0,
                                                       1u << ('s' - 'a') | 1u << ('t' - 'a'),
                                                       1u << ('s' - 'a') | 1u << ('i' - 'a'),
                                                       1u << ('n' - 'a'),
                                                       1u << ('n' - 'a') | 1u << ('t' - 'a'),
                                                       1u << ('p' - 'a')};
        const uint64_t nLength = tag.nNameEnd - tag.nName;
        if (nLength >= 10 || (FIRST_LETTERS[nLength] >> ((m_pText[tag.nName] | 0x20) - 'a') & 1u) == 0)
            return 0;
        switch (nLength)
        {
        case 3:
            return NameIs(tag, "xmp") ? 1 : 0;
        case 5:
            return NameIs(tag, "style") || NameIs(tag, "title") ? 1 : 0;
        case 6:
            return NameIs(tag, "script") ? 2 : NameIs(tag, "iframe") ? 1 : 0;
        case 7:
            return NameIs(tag, "noembed") ? 1 : 0;
        case 8:
            return NameIs(tag, "noframes") || NameIs(tag, "noscript") || NameIs(tag, "textarea") ? 1 : 0;
        case 9:
            return NameIs(tag, "plaintext") ? 3 : 0;
        default:
            return 0;
        }
    }

    // What a tag does to the foreign (SVG, MathML) content the page is in, roughly as tree construction
    // takes it: where CDATA sections are read, and where raw-text elements are not.
    void FollowForeign(const STag& tag, bool bEndTag)
    {
        static const char* const BREAKOUT[] = {
            "b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
            "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
            "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
            "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
            "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var",  "font"};
        static const char* const ISLANDS[] = {
            "foreignobject", "desc", "title", "mi", "mo", "mn", "ms", "mtext", "annotation-xml"};
        const uint64_t nLength = tag.nNameEnd - tag.nName;
        const bool bRoot = (nLength == 3 && NameIs(tag, "svg")) || (nLength == 4 && NameIs(tag, "math"));
        if (m_nForeign == 0)
        {
            if (!bEndTag && bRoot && !tag.bSelfClosing)
            {
                m_nForeign = 1;
                m_nForeignRoot = tag.nName - 1;
            }
            return;
        }
        if (m_nIsland != 0)
        {
            if (bEndTag && NameIs(tag, reinterpret_cast<const char*>(m_szIsland)))
                m_nIsland = 0;
            return;
        }
        if (bEndTag)
        {
            if (bRoot)
                --m_nForeign;
            else if (NameIs(tag, "p") || NameIs(tag, "br"))
                m_nForeign = 0;
            return;
        }
        if (tag.bSelfClosing)
            return;
        if (bRoot)
            ++m_nForeign;
        else if (NameIsOneOf(tag, BREAKOUT, sizeof(BREAKOUT) / sizeof(BREAKOUT[0])))
            m_nForeign = 0;
        else if (NameIsOneOf(tag, ISLANDS, sizeof(ISLANDS) / sizeof(ISLANDS[0])))
        {
            for (uint64_t i = 0; i < nLength; ++i)
                m_szIsland[i] = Lower(m_pText[tag.nName + i]);
            m_szIsland[nLength] = 0;
            m_nIsland = 1;
        }
    }

    bool InHtml() const { return m_nForeign == 0 || m_nIsland != 0; }

    void Run()
    {
        uint64_t n = m_nBegin;
        while (n < m_nEnd)
        {
            // Text between tags is short on most pages, and often there is none.
            const unsigned char* pOpen =
                m_pText[n] == '<' ? m_pText + n : token_scan::FindByte(m_pText + n, m_pText + m_nEnd, '<');
            if (pOpen == nullptr)
                return;
            const uint64_t s = static_cast<uint64_t>(pOpen - m_pText);
            if (s + 1 >= m_nEnd)
            {
                LeaveOpen(s);
                return;
            }
            const unsigned char c = m_pText[s + 1];
            uint64_t e = NONE;
            bool bCdata = false;
            if (IsLetter(c))
            {
                STag tag;
                e = EndOfTag(m_pText, s + 1, m_nEnd, tag);
                if (e == NONE)
                {
                    LeaveOpen(s);
                    return;
                }
                const int nRaw = InHtml() ? RawKind(tag) : 0;
                // Outside SVG and MathML only their own start tags matter.
                const uint64_t nLength = tag.nNameEnd - tag.nName;
                const unsigned char cFirst = static_cast<unsigned char>(m_pText[tag.nName] | 0x20);
                if (m_nForeign != 0 || (nLength == 3 && cFirst == 's') || (nLength == 4 && cFirst == 'm'))
                    FollowForeign(tag, false);
                if (nRaw == 3)
                {
                    LeaveOpen(s);
                    return;
                }
                if (nRaw != 0)
                {
                    const uint64_t r = nRaw == 2 ? ScriptEnd(e, tag) : RawTextEnd(e, tag);
                    STag endTag;
                    const uint64_t e2 = r == NONE ? NONE : EndOfTag(m_pText, r + 2, m_nEnd, endTag);
                    if (e2 == NONE)
                    {
                        LeaveOpen(s);
                        return;
                    }
                    MarkStart(s);
                    MarkStart(r);
                    Hide(s, e2);
                    n = e2;
                    continue;
                }
            }
            else if (c == '/')
            {
                if (s + 2 >= m_nEnd)
                {
                    LeaveOpen(s);
                    return;
                }
                if (IsLetter(m_pText[s + 2]))
                {
                    STag tag;
                    e = EndOfTag(m_pText, s + 2, m_nEnd, tag);
                    if (e != NONE && m_nForeign != 0)
                        FollowForeign(tag, true);
                }
                else
                    e = m_pText[s + 2] == '>' ? s + 3 : AfterGreaterThan(s + 2);
            }
            else if (c == '!')
            {
                const uint64_t nLeft = m_nEnd - s;
                if (nLeft >= 4 && m_pText[s + 2] == '-' && m_pText[s + 3] == '-')
                    e = CommentEnd(s);
                else if (nLeft < 4 && (nLeft < 3 || m_pText[s + 2] == '-'))
                    e = NONE; // the text ends inside what may still become "<!--"
                else if (!InHtml() && nLeft >= 9 && std::memcmp(m_pText + s + 2, "[CDATA[", 7) == 0)
                {
                    bCdata = true;
                    e = CdataEnd(s + 9);
                }
                else
                    e = AfterGreaterThan(s + 2);
            }
            else if (c == '?')
                e = AfterGreaterThan(s + 2);
            else
            {
                n = s + 1;
                continue;
            }
            if (e == NONE)
            {
                // A CDATA section is one only inside foreign content; markup put before it (a menu's HTML
                // elements) would end that content and turn the section into a bogus comment, so the open
                // construct is the outermost foreign element.
                LeaveOpen(bCdata ? m_nForeignRoot : s);
                return;
            }
            MarkStart(s);
            Hide(s, e);
            n = e;
        }
    }

    const unsigned char* m_pText = nullptr;
    uint64_t m_nBegin = 0;
    uint64_t m_nEnd = 0;
    uint64_t m_nOpenConstruct = NONE;
    // Open SVG and MathML roots, and the HTML integration point (its name) the page is inside of, if any.
    uint64_t m_nForeign = 0;
    // Where the outermost open SVG or MathML root starts (its '<').
    uint64_t m_nForeignRoot = 0;
    uint64_t m_nIsland = 0;
    unsigned char m_szIsland[16] = {};
    // One bit per position from the begin: where a token starts, and where markup would not be read as
    // markup of its own (the end included).
    std::vector<uint64_t> m_Starts;
    std::vector<uint64_t> m_Hidden;
};
