// The closing lines every OWA Basic rewriter ends its rewrite with, so that a run's outcome stands out in
// the log.
#pragma once

#include "common/TraceLog.h"
#include "forms/SWFormContext.h"
#include "platform/WinTypes.h"

#include <string>

// The last line reads "method returned: <code>" or, with bDwRet, "returned dwRet <code>.".
inline void LogBasicProcessEnd(const char* pszOperation, const CSWFormContext* pFormContext, DWORD dwRet,
                               bool bDwRet)
{
    static const std::string s76(76, '*');
    static const std::string s75(75, '*');
    TraceLog("[%s] %s", pszOperation, s76.c_str());
    TraceLog("[%s] *** Modifying <%s> form %s! ***", pszOperation,
             pFormContext != nullptr ? pFormContext->m_csTemplateName.c_str() : "NULL",
             dwRet == ERROR_SUCCESS ? "SUCCEEDED" : "FAILED");
    TraceLog("[%s] %s", pszOperation, s75.c_str());
    if (bDwRet)
        TraceLog("[%s] returned dwRet <%d>.", pszOperation, static_cast<int>(dwRet));
    else
        TraceLog("[%s] method returned: %lu", pszOperation, static_cast<unsigned long>(dwRet));
}
