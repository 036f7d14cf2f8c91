// Shared helpers of the parser tests: a source over a literal text; trace lines are captured by the
// tests' common capture.
#pragma once

#include "htmlparser/Source.h"
#include "tests/support/TraceCapture.h"

#include <memory>
#include <mutex>
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
