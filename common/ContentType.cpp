#include "common/ContentType.h"

#include "common/TraceLog.h"
#include "platform/WinRegistry.h"

bool IdentifyContentType(const char* pszExtension, std::string& sContentType)
{
    if (pszExtension == nullptr || *pszExtension == 0)
        return false;
    HKEY hKey = nullptr;
    LSTATUS lRet = RegOpenKeyExA(HKEY_CLASSES_ROOT, pszExtension, 0, KEY_READ, &hKey);
    if (lRet != static_cast<LSTATUS>(ERROR_SUCCESS))
    {
        TraceLogError(static_cast<DWORD>(lRet),
                      "IdentifyContentType error. Can not open  HKEY_CLASSES_ROOT for %s error %d",
                      pszExtension, static_cast<int>(lRet));
        return false;
    }
    char szValue[256];
    DWORD dwType = REG_NONE;
    DWORD cbValue = sizeof(szValue);
    lRet =
        RegQueryValueExA(hKey, "Content Type", nullptr, &dwType, reinterpret_cast<LPBYTE>(szValue), &cbValue);
    bool bFound = false;
    if (lRet == static_cast<LSTATUS>(ERROR_SUCCESS) && (dwType == REG_SZ || dwType == REG_EXPAND_SZ))
    {
        if (cbValue == 0)
        {
            sContentType.clear();
            bFound = true;
        }
        else if (szValue[cbValue - 1] != 0)
        {
            lRet = static_cast<LSTATUS>(ERROR_INVALID_DATA);
        }
        else
        {
            sContentType = szValue;
            bFound = true;
        }
    }
    else if (lRet == static_cast<LSTATUS>(ERROR_SUCCESS))
    {
        lRet = static_cast<LSTATUS>(ERROR_INVALID_DATA); // not a text
    }
    if (!bFound)
    {
        TraceLogError(static_cast<DWORD>(lRet),
                      "IdentifyContentType error. Can not open  HKEY_CLASSES_ROOT for %s error %d",
                      "Content Type", static_cast<int>(lRet));
    }
    RegCloseKey(hKey);
    return bFound;
}
