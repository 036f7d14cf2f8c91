#include "htmlparser/OpenConstruct.h"

#include "htmlparser/TextSearch.h"

#include <cstring>

namespace
{
bool IsSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Elements whose content a browser reads as text up to their own end tag; "plaintext" never ends.
constexpr const char* RAW_TEXT_ELEMENTS[] = {"SCRIPT", "STYLE",   "TEXTAREA", "TITLE",    "XMP",
                                             "IFRAME", "NOEMBED", "NOFRAMES", "NOSCRIPT", "PLAINTEXT"};

class CScanner
{
public:
    CScanner(const char* pText, Position nEnd)
        : m_p(reinterpret_cast<const unsigned char*>(pText)), m_nEnd(nEnd)
    {
    }

    // The end of the tag whose name starts at nPos (past its ">"), or NPOS when the text ends inside it.
    // Quotes count only around an attribute's value, as they do for a browser.
    Position TagEnd(Position nPos, Position& nNameEnd) const
    {
        while (nPos < m_nEnd && !IsSpace(m_p[nPos]) && m_p[nPos] != '/' && m_p[nPos] != '>')
            ++nPos;
        nNameEnd = nPos;
        while (nPos < m_nEnd)
        {
            const unsigned char c = m_p[nPos];
            if (c == '>')
                return nPos + 1;
            if (IsSpace(c) || c == '/')
            {
                ++nPos;
                continue;
            }
            // An attribute name (its first character may be "=").
            ++nPos;
            while (nPos < m_nEnd && !IsSpace(m_p[nPos]) && m_p[nPos] != '/' && m_p[nPos] != '>' &&
                   m_p[nPos] != '=')
                ++nPos;
            while (nPos < m_nEnd && IsSpace(m_p[nPos]))
                ++nPos;
            if (nPos >= m_nEnd || m_p[nPos] != '=')
                continue;
            ++nPos;
            while (nPos < m_nEnd && IsSpace(m_p[nPos]))
                ++nPos;
            if (nPos >= m_nEnd)
                return NPOS;
            if (m_p[nPos] == '"' || m_p[nPos] == '\'')
            {
                const void* pClose = std::memchr(m_p + nPos + 1, m_p[nPos], m_nEnd - nPos - 1);
                if (pClose == nullptr)
                    return NPOS;
                nPos = static_cast<Position>(static_cast<const unsigned char*>(pClose) - m_p) + 1;
            }
            else
            {
                while (nPos < m_nEnd && !IsSpace(m_p[nPos]) && m_p[nPos] != '>')
                    ++nPos;
            }
        }
        return NPOS;
    }

    // Past the ">" that ends a bogus comment or declaration from nPos, or NPOS.
    Position AfterGreaterThan(Position nPos) const
    {
        const void* pClose = std::memchr(m_p + nPos, '>', m_nEnd - nPos);
        return pClose == nullptr ? NPOS
                                 : static_cast<Position>(static_cast<const unsigned char*>(pClose) - m_p) + 1;
    }

    // Past the end of the comment whose "<!--" stands at nPos, or NPOS. "<!-->" and "<!--->" end at once;
    // "--!>" ends one too.
    Position CommentEnd(Position nPos) const
    {
        Position n = nPos + 4;
        if (n < m_nEnd && m_p[n] == '>')
            return n + 1;
        if (n + 1 < m_nEnd && m_p[n] == '-' && m_p[n + 1] == '>')
            return n + 2;
        for (; n + 2 < m_nEnd; ++n)
        {
            const void* pDash = std::memchr(m_p + n, '-', m_nEnd - n);
            if (pDash == nullptr)
                return NPOS;
            n = static_cast<Position>(static_cast<const unsigned char*>(pDash) - m_p);
            if (n + 2 < m_nEnd && m_p[n + 1] == '-' && m_p[n + 2] == '>')
                return n + 3;
            if (n + 3 < m_nEnd && m_p[n + 1] == '-' && m_p[n + 2] == '!' && m_p[n + 3] == '>')
                return n + 4;
        }
        return NPOS;
    }

    // Past the end tag that closes the raw-text element named [nName, nNameEnd), searched from nPos; NPOS
    // when the text ends before a whole one.
    Position RawTextEnd(Position nPos, Position nName, Position nNameEnd) const
    {
        const Position nNameLength = nNameEnd - nName;
        for (;;)
        {
            const void* pOpen = std::memchr(m_p + nPos, '<', m_nEnd - nPos);
            if (pOpen == nullptr)
                return NPOS;
            nPos = static_cast<Position>(static_cast<const unsigned char*>(pOpen) - m_p);
            const Position nAfterName = nPos + 2 + nNameLength;
            if (nAfterName < m_nEnd && m_p[nPos + 1] == '/' && SameName(nPos + 2, nName, nNameLength) &&
                (IsSpace(m_p[nAfterName]) || m_p[nAfterName] == '/' || m_p[nAfterName] == '>'))
            {
                Position nUnused = 0;
                return TagEnd(nPos + 2, nUnused);
            }
            ++nPos;
        }
    }

    bool IsRawTextElement(Position nName, Position nNameEnd, bool& bEndless) const
    {
        for (const char* pszName : RAW_TEXT_ELEMENTS)
        {
            const Position nLength = std::strlen(pszName);
            if (nLength == nNameEnd - nName &&
                EqualsNoCaseAt(reinterpret_cast<const char*>(m_p), nNameEnd, nName, pszName))
            {
                bEndless = std::strcmp(pszName, "PLAINTEXT") == 0;
                return true;
            }
        }
        return false;
    }

private:
    bool SameName(Position nPos, Position nName, Position nLength) const
    {
        for (Position i = 0; i < nLength; ++i)
        {
            if (FoldNoCase(m_p[nPos + i]) != FoldNoCase(m_p[nName + i]))
                return false;
        }
        return true;
    }

    const unsigned char* m_p;
    Position m_nEnd;
};
} // namespace

Position FindOpenConstruct(const char* pText, Position nBegin, Position nEnd)
{
    if (pText == nullptr || nBegin >= nEnd)
        return NPOS;
    const CScanner scanner(pText, nEnd);
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    Position nPos = nBegin;
    while (nPos < nEnd)
    {
        const void* pOpen = std::memchr(p + nPos, '<', nEnd - nPos);
        if (pOpen == nullptr)
            return NPOS;
        const Position nStart = static_cast<Position>(static_cast<const unsigned char*>(pOpen) - p);
        // A lone "<" at the very end would run into whatever follows it.
        if (nStart + 1 >= nEnd)
            return nStart;
        const unsigned char c = p[nStart + 1];
        Position nNext = nStart + 1;
        if (IsAsciiLetter(c))
        {
            Position nNameEnd = 0;
            nNext = scanner.TagEnd(nStart + 1, nNameEnd);
            bool bEndless = false;
            if (nNext != NPOS && scanner.IsRawTextElement(nStart + 1, nNameEnd, bEndless))
                nNext = bEndless ? NPOS : scanner.RawTextEnd(nNext, nStart + 1, nNameEnd);
        }
        else if (c == '/')
        {
            if (nStart + 2 >= nEnd)
                return nStart;
            Position nNameEnd = 0;
            if (IsAsciiLetter(p[nStart + 2]))
                nNext = scanner.TagEnd(nStart + 2, nNameEnd);
            else
                nNext = scanner.AfterGreaterThan(nStart + 2);
        }
        else if (c == '!')
        {
            if (nStart + 3 < nEnd && p[nStart + 2] == '-' && p[nStart + 3] == '-')
                nNext = scanner.CommentEnd(nStart);
            else if (nStart + 3 >= nEnd && std::memcmp(p + nStart + 2, "--", nEnd - nStart - 2) == 0)
                nNext = NPOS; // the text ends inside "<!--" itself
            else
                nNext = scanner.AfterGreaterThan(nStart + 2);
        }
        else if (c == '?')
            nNext = scanner.AfterGreaterThan(nStart + 2);
        if (nNext == NPOS)
            return nStart;
        nPos = nNext;
    }
    return NPOS;
}
