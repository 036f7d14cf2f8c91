#include "platform/WinSystemInfo.h"

#include "platform/MachineConfig.h"
#include "platform/WinSync.h"

#include <cstring>
#include <string>

UINT GetSystemDirectoryA(LPSTR pszBuffer, UINT uSize)
{
    const std::string sDir = CMachineConfig::Instance().GetSystemDirectory();
    if (pszBuffer == nullptr || uSize < sDir.size() + 1)
        return static_cast<UINT>(sDir.size() + 1);
    std::memcpy(pszBuffer, sDir.c_str(), sDir.size() + 1);
    return static_cast<UINT>(sDir.size());
}

BOOL GetComputerNameExA(COMPUTER_NAME_FORMAT nameType, LPSTR pszBuffer, LPDWORD pnSize)
{
    if (pnSize == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const CMachineConfig& config = CMachineConfig::Instance();
    std::string sName;
    switch (nameType)
    {
    case ComputerNameNetBIOS:
    case ComputerNamePhysicalNetBIOS:
        sName = config.GetNetBiosName();
        break;
    case ComputerNameDnsHostname:
    case ComputerNamePhysicalDnsHostname:
        sName = config.GetDnsHostName();
        break;
    case ComputerNameDnsDomain:
    case ComputerNamePhysicalDnsDomain:
        sName = config.GetDnsDomain();
        break;
    case ComputerNameDnsFullyQualified:
    case ComputerNamePhysicalDnsFullyQualified:
        sName = config.GetDnsHostName();
        if (!config.GetDnsDomain().empty())
            sName += "." + config.GetDnsDomain();
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (pszBuffer == nullptr || *pnSize < sName.size() + 1)
    {
        *pnSize = static_cast<DWORD>(sName.size() + 1);
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::memcpy(pszBuffer, sName.c_str(), sName.size() + 1);
    *pnSize = static_cast<DWORD>(sName.size());
    return TRUE;
}

BOOL GetComputerNameA(LPSTR pszBuffer, LPDWORD pnSize)
{
    return GetComputerNameExA(ComputerNameNetBIOS, pszBuffer, pnSize);
}
