#include "general/DLSWGeneralSettings.h"

#include "common/SharedConstants.h"
#include "common/TraceLog.h"

bool CDLSWGeneralSettings::Init(const char* pszProductName, const char* pszModuleName,
                                const char* pszResourceLibName, const char* pszRegistryPath)
{
    TraceLog("[CDLSWGeneralSettings::Init] Starts.");
    m_mapJSVariables.clear();
    // The module lives in the bin directory of the install directory.
    const bool bRet =
        CDLGeneralSettings::Init(pszProductName, pszModuleName, pszResourceLibName, pszRegistryPath, 1);
    if (bRet)
    {
        // A repeated id keeps its first row's prefix.
        for (const JSStringDeclaration& row : g_JSStringDeclarations)
            m_mapJSVariables.emplace(row.m_nResourceId, row.m_sPrefix);
    }
    else
        TraceLog("[CDLSWGeneralSettings::Init] CDLGeneralSettings::Init() failed.");
    TraceLog("[CDLSWGeneralSettings::Init] returned bRet <%s>.", bRet ? "TRUE" : "FALSE");
    return bRet;
}
