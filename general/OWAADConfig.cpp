#include "general/OWAADConfig.h"

#include "common/TraceLog.h"

void COWAADConfig::BuildAttributeReaders() {}

HRESULT COWAADConfig::ReadProperties(const std::string& /*strFullyQualifiedName*/,
                                     const std::string& /*strDomainController*/)
{
    // No directory is reachable from this server: the settings keep their constructor values.
    const HRESULT hr = HRESULT_FROM_WIN32(ERROR_NO_SUCH_DOMAIN);
    TraceLogError(static_cast<DWORD>(hr), "ReadProperties couldn't open AD connection 0x%x %ls",
                  static_cast<unsigned>(hr), L"");
    return hr;
}
