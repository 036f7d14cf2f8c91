// The worker's trace lines, captured while an instance lives. Lines may come from several threads at once.
#pragma once

#include "common/TraceLog.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

class CTraceCapture
{
public:
    CTraceCapture()
    {
        Clear();
        m_dwOldMask = GetTraceMask();
        m_pfnOld = GetTraceFunction();
        SetTraceFunction(&CTraceCapture::Sink);
        SetTraceMask(TRACE_MASK_ON);
    }
    ~CTraceCapture()
    {
        SetTraceFunction(m_pfnOld);
        SetTraceMask(m_dwOldMask);
    }
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    // The lines so far, in order.
    static std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(Mutex());
        return Store();
    }
    static void Clear()
    {
        std::lock_guard<std::mutex> guard(Mutex());
        Store().clear();
    }
    // Whether a line reads exactly so.
    static bool Has(const std::string& strLine) { return Count(strLine) != 0; }
    // How many lines read exactly so.
    static size_t Count(const std::string& strLine)
    {
        const std::vector<std::string> vecLines = Lines();
        return static_cast<size_t>(std::count(vecLines.begin(), vecLines.end(), strLine));
    }
    static bool HasPrefix(const std::string& strPrefix)
    {
        const std::vector<std::string> vecLines = Lines();
        return std::any_of(vecLines.begin(), vecLines.end(),
                           [&](const std::string& s)
                           { return s.compare(0, strPrefix.size(), strPrefix) == 0; });
    }
    // Whether some line holds the text anywhere.
    static bool Contains(const std::string& strPart)
    {
        const std::vector<std::string> vecLines = Lines();
        return std::any_of(vecLines.begin(), vecLines.end(),
                           [&](const std::string& s) { return s.find(strPart) != std::string::npos; });
    }

private:
    static std::mutex& Mutex()
    {
        static std::mutex s_mx;
        return s_mx;
    }
    static std::vector<std::string>& Store()
    {
        static std::vector<std::string> s_vecLines;
        return s_vecLines;
    }
    static void Sink(const char* pszLine)
    {
        std::lock_guard<std::mutex> guard(Mutex());
        Store().emplace_back(pszLine);
    }

    DWORD m_dwOldMask = 0;
    PFN_TRACE_FUNCTION m_pfnOld = nullptr;
};
