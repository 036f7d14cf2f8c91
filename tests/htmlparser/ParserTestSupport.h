// Shared helpers of the parser tests: a source over a literal text and a capture of trace lines.
#pragma once

#include "common/TraceLog.h"
#include "htmlparser/Source.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CTraceCapture
{
public:
    CTraceCapture()
    {
        Lines().clear();
        SetTraceMask(TRACE_MASK_ON);
        SetTraceFunction(&Collect);
    }
    ~CTraceCapture()
    {
        SetTraceFunction(nullptr);
        SetTraceMask(0);
    }
    const std::vector<std::string>& lines() const { return Lines(); }
    bool contains(const std::string& sLine) const
    {
        for (const std::string& s : Lines())
        {
            if (s == sLine)
                return true;
        }
        return false;
    }
    bool containsPart(const std::string& sPart) const
    {
        for (const std::string& s : Lines())
        {
            if (s.find(sPart) != std::string::npos)
                return true;
        }
        return false;
    }
    void clear() { Lines().clear(); }

private:
    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> s_Lines;
        return s_Lines;
    }
    static void Collect(const char* pszLine) { Lines().emplace_back(pszLine); }
};

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
