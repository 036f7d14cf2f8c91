// Shared helpers of the parser tests: a source over a literal text; trace lines are captured by the
// tests' common capture.
#pragma once

#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"
#include "htmlparser/TextSearch.h"
#include "tests/support/TraceCapture.h"

#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>
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
    return pSegment->getSource()->substring(pSegment->m_nBegin, pSegment->m_nEnd - pSegment->m_nBegin);
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

// What each start tag of the page (as found walking forward by start tags) pairs with, asked first to last
// on one source and last to first on another: the pairing remembers what it found, and the two orders must
// agree.
template <class TDescribe>
std::pair<std::vector<std::string>, std::vector<std::string>> PairedBothWays(const std::string& sPage,
                                                                             TDescribe describe)
{
    STestPage forward(sPage);
    STestPage backward(sPage);
    std::vector<Position> starts;
    for (CStartTag* p = forward->findNextStartTag(0); p != nullptr; p = forward->findNextStartTag(p->m_nEnd))
        starts.push_back(p->m_nBegin);
    std::vector<std::string> a(starts.size());
    std::vector<std::string> b(starts.size());
    for (size_t i = 0; i < starts.size(); ++i)
        a[i] = describe(static_cast<CStartTag*>(forward->getTagAt(starts[i])));
    for (size_t i = starts.size(); i-- > 0;)
        b[i] = describe(static_cast<CStartTag*>(backward->getTagAt(starts[i])));
    return {a, b};
}
