// Reads one server variable through the web server's filter context with its two-call protocol: a size
// probe without a buffer, then the read into a buffer of the size the probe reported.
#pragma once

#include "common/TraceLog.h"
#include "platform/HttpFilter.h"
#include "platform/WinSync.h"

#include <algorithm>
#include <new>
#include <vector>

// True when the variable was read (or the probe itself succeeded, which leaves the value as it is). On
// every failure the value is left as it was.
template <class TString>
bool GetIISParmT(HTTP_FILTER_CONTEXT* pfc, PFN_GET_SERVER_VARIABLE pfnGetServerVariable, const char* pszName,
                 TString& value)
{
    if (pfc == nullptr || pfnGetServerVariable == nullptr || pszName == nullptr)
        return false;
    LPSTR pszVariable = const_cast<LPSTR>(pszName);
    DWORD dwSize = 0;
    if (pfnGetServerVariable(pfc, pszVariable, nullptr, &dwSize))
        return true;
    const DWORD dwError = GetLastError();
    if (dwSize == 0 || dwError == ERROR_INVALID_PARAMETER)
    {
        TraceLog("GetIISParmT %s %s Error %d", " GetServerVariable failed", pszName,
                 static_cast<int>(dwError));
        return false;
    }
    switch (dwError)
    {
    case ERROR_INSUFFICIENT_BUFFER:
        break;
    case 232:  // ERROR_NO_DATA
    case 1413: // ERROR_INVALID_INDEX
        TraceLog("GetIISParmT %s %s Error %d", " GetServerVariable failed", pszName,
                 static_cast<int>(dwError));
        return false;
    default:
        return false;
    }
    // The probe's size counts the terminator; one byte more keeps the text terminated whatever the
    // second call reports.
    const size_t nCapacity = static_cast<size_t>(dwSize);
    std::vector<char> buffer;
    try
    {
        buffer.assign(nCapacity + 1, '\0');
    }
    catch (const std::bad_alloc&)
    {
        TraceLogError(ERROR_NOT_ENOUGH_MEMORY, "GetIISParmT %s failed Error: %d", pszName,
                      static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
        return false;
    }
    DWORD dwRead = dwSize;
    if (!pfnGetServerVariable(pfc, pszVariable, buffer.data(), &dwRead))
    {
        const DWORD dwReadError = GetLastError();
        TraceLogError(dwReadError, "GetIISParmT %s failed Error: %d", pszName, static_cast<int>(dwReadError));
        return false;
    }
    buffer[std::min(static_cast<size_t>(dwRead), nCapacity)] = '\0';
    value = buffer.data();
    return true;
}
