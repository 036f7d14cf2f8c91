#include "general/DLSWGeneralSettings.h"

#include "common/TraceLog.h"

bool CDLSWGeneralSettings::Init(const char* pszProductName, const char* pszModuleName,
                                const char* pszResourceLibName, const char* pszRegistryPath)
{
    TraceLog("[CDLSWGeneralSettings::Init] Starts.");
    // The module lives in the bin directory of the install directory.
    const bool bRet =
        CDLGeneralSettings::Init(pszProductName, pszModuleName, pszResourceLibName, pszRegistryPath, 1);
    if (!bRet)
        TraceLog("[CDLSWGeneralSettings::Init] CDLGeneralSettings::Init() failed.");
    TraceLog("[CDLSWGeneralSettings::Init] returned bRet <%s>.", bRet ? "TRUE" : "FALSE");
    return bRet;
}
