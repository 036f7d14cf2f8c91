#include "general/DLGeneralSettings.h"

#include "common/TraceLog.h"
#include "contract/ViewerFolder.h"

#include <cstdio>

namespace
{
// Until the log set-up reads its settings, the worker's trace lines go to the standard error stream of
// the process that loaded it.
void TraceLogToStandardError(const char* pszLine)
{
    std::fprintf(stderr, "%s\n", pszLine);
}
} // namespace

bool CDLGeneralSettings::Init(const char* pszProductName, const char* pszModuleName,
                              const char* pszResourceLibName, const char* pszRegistryPath, int nLevels)
{
    const bool bRet =
        CGeneralSettings::Init(pszProductName, pszModuleName, pszResourceLibName, pszRegistryPath, nLevels);
    m_csVirtualFolderName.clear();
    if (bRet)
        m_csVirtualFolderName = DLSW_DEFAULT_VIRTUAL_FOLDER;
    TraceLog("[CDLGeneralSettings::Init] returned bRet <%s>", bRet ? "TRUE" : "FALSE");
    return bRet;
}

DWORD CDLGeneralSettings::Uninitialize()
{
    return CGeneralSettings::Uninitialize();
}

void CDLGeneralSettings::InitLog(const char* /*pszModuleName*/, int /*nSettingID*/)
{
    SetTraceFunction(&TraceLogToStandardError);
    SetTraceMask(TRACE_MASK_ON);
}
