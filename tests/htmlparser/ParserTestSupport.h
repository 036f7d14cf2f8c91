// Shared helpers of the parser tests: a source over a literal text; trace lines are captured by the
// tests' common capture.
#pragma once

#include "htmlparser/Source.h"
#include "htmlparser/TextSearch.h"
#include "tests/support/TraceCapture.h"

#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

// Owns the text and the source made over it (the source never copies its text).
struct STestPage
{
    explicit STestPage(std::string sText, Position nBegin = 0)
        : m_sText(std::move(sText)),
          m_pSource(std::make_unique<CSource>(m_sText.data(), nBegin, static_cast<Position>(m_sText.size())))
    {
    }
    CSource* operator->() const { return m_pSource.get(); }
    CSource* get() const { return m_pSource.get(); }

    std::string m_sText;
    std::unique_ptr<CSource> m_pSource;
};

inline std::string TagText(const CSegment* pSegment)
{
    if (pSegment == nullptr)
        return "<null>";
    return pSegment->m_pSource->substring(pSegment->m_nBegin, pSegment->m_nEnd - pSegment->m_nBegin);
}

// A text of 1 to nMaxPieces pieces drawn from the list.
template <size_t N>
std::string PiecesPage(std::mt19937& rng, const char* const (&pieces)[N], size_t nMaxPieces)
{
    const size_t nPieces = 1 + rng() % nMaxPieces;
    std::string s;
    for (size_t i = 0; i < nPieces; ++i)
        s += pieces[rng() % N];
    return s;
}

// Whether the pattern stands at nPos, ASCII letters compared without regard to case.
inline bool MatchesNoCaseAt(const std::string& sText, Position nPos, const std::string& sPattern)
{
    if (nPos + sPattern.size() > sText.size())
        return false;
    for (size_t i = 0; i < sPattern.size(); ++i)
    {
        if (FoldNoCase(static_cast<unsigned char>(sText[nPos + i])) !=
            FoldNoCase(static_cast<unsigned char>(sPattern[i])))
            return false;
    }
    return true;
}
