#include "htmlparser/TextSearch.h"

#include <cstring>

namespace
{
constexpr size_t MAX_STAGES = 7;

inline bool SameNoCase(unsigned char a, unsigned char b)
{
    return FoldNoCase(a) == FoldNoCase(b);
}

// First position in [nFrom, nTo) whose folded byte is the folded c, or nTo.
inline Position ScanChar(const unsigned char* p, unsigned char cFolded, Position nFrom, Position nTo)
{
    if (cFolded >= 'A' && cFolded <= 'Z')
    {
        const unsigned char cLower = static_cast<unsigned char>(cFolded + 0x20);
        for (Position i = nFrom; i < nTo; ++i)
        {
            if (p[i] == cFolded || p[i] == cLower)
                return i;
        }
        return nTo;
    }
    // The next few bytes first: on a page that is a run of the byte (a flood of '<'), a library call per
    // byte would cost many times the comparison.
    const Position nQuick = nTo - nFrom > 16 ? nFrom + 16 : nTo;
    for (Position i = nFrom; i < nQuick; ++i)
    {
        if (p[i] == cFolded)
            return i;
    }
    if (nQuick == nTo)
        return nTo;
    const void* pHit = std::memchr(p + nQuick, cFolded, static_cast<size_t>(nTo - nQuick));
    return pHit == nullptr ? nTo : static_cast<Position>(static_cast<const unsigned char*>(pHit) - p);
}
} // namespace

Position FindCharNoCase(const char* pText, char c, Position nStart, Position nCount)
{
    if (pText == nullptr || nCount == 0)
        return NPOS;
    const Position nTo = nStart + nCount;
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    const Position nHit = ScanChar(p, FoldNoCase(static_cast<unsigned char>(c)), nStart, nTo);
    return nHit == nTo ? NPOS : nHit;
}

Position FindCharNoCaseBackward(const char* pText, char c, Position nPos, Position nCount)
{
    if (pText == nullptr || nCount == 0 || nPos == NPOS)
        return NPOS;
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    const unsigned char cf = FoldNoCase(static_cast<unsigned char>(c));
    const Position nLow = (nPos + 1 < nCount) ? 0 : nPos - nCount + 1;
    for (Position i = nPos + 1; i-- > nLow;)
    {
        if (FoldNoCase(p[i]) == cf)
            return i;
    }
    return NPOS;
}

Position FindStringNoCase(const char* pText, const char* pszPattern, Position nStart, Position nLength)
{
    if (pText == nullptr || pszPattern == nullptr || nLength == 0)
        return NPOS;
    const size_t L = std::strlen(pszPattern);
    if (L == 0)
        return nStart;
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    const auto* pat = reinterpret_cast<const unsigned char*>(pszPattern);
    const Position nEnd = nStart + nLength;
    if (L > nLength)
        return NPOS;

    unsigned char P[MAX_STAGES];
    const size_t nStages = L < MAX_STAGES ? L : MAX_STAGES;
    for (size_t k = 0; k < nStages; ++k)
        P[k] = FoldNoCase(pat[k]);
    // shift[k]: distance to the next alignment at which the k bytes already matched can match again.
    Position shift[MAX_STAGES] = {1, 1, 1, 1, 1, 1, 1};
    for (size_t k = 2; k < nStages; ++k)
    {
        size_t j = 1;
        for (; j < k; ++j)
        {
            if (std::memcmp(P, P + j, k - j) == 0)
                break;
        }
        shift[k] = j;
    }

    // Candidates for the first byte are found by a scan; each further stage compares one byte and, on a
    // mismatch, restarts the previous stage at the candidate plus that stage's shift.
    Position c = nStart;
    size_t k = 0; // number of bytes matched at candidate c
    const Position nLastStart = nEnd - L;
    for (;;)
    {
        if (k == 0)
        {
            if (c > nLastStart)
                return NPOS;
            c = ScanChar(p, P[0], c, nLastStart + 1);
            if (c > nLastStart)
                return NPOS;
            k = 1;
            continue;
        }
        if (k == L)
            return c;
        if (k < nStages)
        {
            if (FoldNoCase(p[c + k]) == P[k])
            {
                ++k;
                continue;
            }
            const Position s = shift[k];
            c += s;
            // The bytes c .. c + k - s - 1 are known to match P[0 .. k - s - 1].
            k = (k > s) ? k - s : 0;
            if (c > nLastStart)
                return NPOS;
            continue;
        }
        // General matcher for the bytes from the seventh on.
        size_t i = k;
        while (i < L && SameNoCase(p[c + i], pat[i]))
            ++i;
        if (i == L)
            return c;
        const Position s = shift[MAX_STAGES - 1];
        c += s;
        k = MAX_STAGES - 1 > s ? MAX_STAGES - 1 - s : 0;
        if (c > nLastStart)
            return NPOS;
    }
}

Position FindStringNoCaseBackward(const char* pText, const char* pszPattern, Position nPos, Position nTextEnd,
                                  Position nCount)
{
    if (pText == nullptr || pszPattern == nullptr || nCount == 0 || nPos == NPOS)
        return NPOS;
    const size_t L = std::strlen(pszPattern);
    if (L == 0)
        return nPos;
    if (L > nTextEnd)
        return NPOS;
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    const auto* pat = reinterpret_cast<const unsigned char*>(pszPattern);
    const Position nFirst = (nPos + L > nTextEnd) ? nTextEnd - L : nPos;
    const Position nSpan = (nFirst + 1 < nCount) ? nFirst + 1 : nCount;
    const Position nLow = nFirst - nSpan + 1;
    const unsigned char cLast = FoldNoCase(pat[L - 1]);
    for (Position c = nFirst + 1; c-- > nLow;)
    {
        if (FoldNoCase(p[c + L - 1]) != cLast)
            continue;
        size_t i = 0;
        while (i + 1 < L && SameNoCase(p[c + i], pat[i]))
            ++i;
        if (i + 1 >= L)
            return c;
    }
    return NPOS;
}

bool EqualsNoCaseAt(const char* pText, Position nTextEnd, Position nPos, const char* pszPattern)
{
    if (pText == nullptr || pszPattern == nullptr || nPos == NPOS)
        return false;
    const size_t L = std::strlen(pszPattern);
    if (nPos + L > nTextEnd || nPos + L < nPos)
        return false;
    for (size_t i = 0; i < L; ++i)
    {
        if (!SameNoCase(static_cast<unsigned char>(pText[nPos + i]),
                        static_cast<unsigned char>(pszPattern[i])))
            return false;
    }
    return true;
}

bool EqualsNoCase(const char* psz1, const char* psz2)
{
    if (psz1 == nullptr || psz2 == nullptr)
        return false;
    for (;; ++psz1, ++psz2)
    {
        if (!SameNoCase(static_cast<unsigned char>(*psz1), static_cast<unsigned char>(*psz2)))
            return false;
        if (*psz1 == '\0')
            return true;
    }
}
