#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "general/DLGeneralSettings.h"
#include "platform/WinModule.h"
#include "platform/WinSystemInfo.h"

#include <cctype>

namespace
{
constexpr int SETTING_LOG_DESTINATION = 12;
constexpr int SETTING_LOG_SIZE_KB = 13;
constexpr int SETTING_LOG_KIND = 14;
constexpr int SETTING_LOG_FILE_NAME = 23;
constexpr int SETTING_LOG_DIRECTORY = 39;
constexpr int SETTING_OWN_LOG = 75;
constexpr int SETTING_LOG_MODULE_VALUE = 76;

constexpr int LOG_KIND_TRACE = 1;
constexpr int LOG_KIND_EVENT_LOG = 10;
constexpr int LOG_TO_SHARED_MEMORY = 1;
constexpr int LOG_TO_FILE = 2;
// 10 MB unless set; a larger setting is cut to what the shared-memory sink maps (1 GB).
constexpr int LOG_DEFAULT_SIZE_KB = 10240;
constexpr int64_t LOG_MAX_SIZE_KB = 1048576;

constexpr const char* LOG_MODULE_NAME = "LogModule.dll";
constexpr const char* LOG_FOLDER = "KestruneLogs";
constexpr const char* COMMON_LOG_NAME = "KSCommonLog.log";
constexpr size_t LOG_NAME_MAX = 260;
constexpr size_t LOG_NAME_KEEP = 130;

using PFN_GET_PRODUCT_CS = int (*)(const char* pszName, CSync** ppLock, int nValue);
using PFN_GET_GENERAL_CS = int (*)(CSync** ppLock, int nValue);

template <typename TFunction> TFunction ResolveExport(HMODULE hModule, const char* pszName)
{
    FARPROC pfn = hModule != nullptr ? GetProcAddress(hModule, pszName) : nullptr;
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(pfn));
}

ci_string& TrimBlanks(ci_string& csText)
{
    return TrimChars(csText, " ");
}

// Every ".dll", in any case, becomes ".log".
std::string OwnLogNameOf(const std::string& strModuleName)
{
    ci_string csName(strModuleName.c_str());
    ReplaceAll(csName, ".dll", ".log");
    return std::string(csName.c_str());
}
} // namespace

void SanitizeLogFileName(CGeneralSettings& /*settings*/, ci_string& csName)
{
    TrimBlanks(csName);
    for (char& ch : csName)
    {
        switch (ch)
        {
        case '\\':
        case '/':
        case ':':
        case '"':
        case '?':
        case '*':
        case '<':
        case '>':
        case '|':
            ch = '_';
            break;
        default:
            break;
        }
    }
}

bool IsValidLogFileName(CGeneralSettings& settings, const ci_string& csName)
{
    ci_string csCopy = csName;
    TrimBlanks(csCopy);
    // A name of dots only would name the log directory or its parent, not a file in it.
    if (csCopy.find_first_not_of('.') == ci_string::npos)
        return false;
    for (const ci_string& csReserved : settings.m_vecReservedNames)
    {
        if (csCopy == csReserved)
            return false;
    }
    for (const char* pszDevice : {"COM", "LPT"})
    {
        const size_t nPos = csCopy.find(pszDevice);
        if (nPos == ci_string::npos || nPos + 3 >= csCopy.size() ||
            !std::isdigit(static_cast<unsigned char>(csCopy[nPos + 3])))
            continue;
        if (nPos + 4 == csCopy.size() || csCopy[nPos + 4] == '.')
            return false;
    }
    return true;
}

void CDLGeneralSettings::InitLog(const char* pszModuleName, int nSettingID)
{
    int nKind = 0;
    GetSettingFromID(SETTING_LOG_KIND, nKind, nSettingID, 0);
    SetTraceMask(nKind == LOG_KIND_TRACE || nKind == LOG_KIND_EVENT_LOG ? TRACE_MASK_ON : 0);
    int nDestination = LOG_TO_SHARED_MEMORY;
    GetSettingFromID(SETTING_LOG_DESTINATION, nDestination, nSettingID, 0);
    int nSizeKB = LOG_DEFAULT_SIZE_KB;
    GetSettingFromID(SETTING_LOG_SIZE_KB, nSizeKB, nSettingID, 0);
    SetTraceEventLogWriter(&WriteEventLogEntry);
    if (nKind == LOG_KIND_EVENT_LOG)
        SetTraceFunction(&WriteEventLogTrace);
    else if (nDestination == LOG_TO_FILE || nDestination == LOG_TO_SHARED_MEMORY)
    {
        SetTraceFunction(nDestination == LOG_TO_FILE ? &TraceLogToFile : &TraceLogToSharedMemory);
        if (nSizeKB > 0)
            SetTraceLogMaxSizeKB(std::min<int64_t>(nSizeKB, LOG_MAX_SIZE_KB));
    }
    SetupLogModule(pszModuleName, nSettingID, nDestination);
}

void CDLGeneralSettings::SetupLogModule(const char* pszModuleName, int nSettingID, int nDestination)
{
    const DWORD dwMask = GetTraceMask();
    SetTraceMask(0);
    const std::string strModuleName = pszModuleName != nullptr ? pszModuleName : "";

    HMODULE hLogModule = LoadLibraryA((m_strCommonFilesDirectory + "bin\\" + LOG_MODULE_NAME).c_str());
    if (hLogModule != nullptr)
        m_spLogModule = CCountedPtr<void, CFreeLibraryDelete>(hLogModule);
    if (!m_spLogModule)
    {
        hLogModule = LoadLibraryA(LOG_MODULE_NAME);
        if (hLogModule != nullptr)
            m_spLogModule = CCountedPtr<void, CFreeLibraryDelete>(hLogModule);
    }
    HMODULE hHeld = static_cast<HMODULE>(m_spLogModule.Get());
    const auto pfnGetProductCS = ResolveExport<PFN_GET_PRODUCT_CS>(hHeld, "GetProductCS");
    const auto pfnGetGeneralCS = ResolveExport<PFN_GET_GENERAL_CS>(hHeld, "GetGeneralCS");

    int nModuleValue = 1;
    GetSettingFromID(SETTING_LOG_MODULE_VALUE, nModuleValue, nSettingID, 0);
    int nOwnLog = 0;
    GetSettingFromID(SETTING_OWN_LOG, nOwnLog, nSettingID, 0);

    CSync* pLock = nullptr;
    std::string strLogName;
    std::string strPrefix;
    ci_string csSharedName;
    if (nOwnLog != 0)
    {
        SetTraceLogDumpAtUnload(true);
        strLogName = OwnLogNameOf(strModuleName);
        if (pfnGetProductCS != nullptr)
            pfnGetProductCS(strModuleName.c_str(), &pLock, nModuleValue);
    }
    else if (GetSettingFromID(SETTING_LOG_FILE_NAME, csSharedName, nSettingID, 0) && !csSharedName.empty())
    {
        strPrefix = "[" + strModuleName + "] ";
        if (csSharedName.size() > LOG_NAME_MAX)
            csSharedName.erase(0, csSharedName.size() - LOG_NAME_KEEP);
        SanitizeLogFileName(*this, csSharedName);
        if (!IsValidLogFileName(*this, csSharedName))
            csSharedName.insert(0, "KS_");
        strLogName = csSharedName.c_str();
        if (pfnGetProductCS != nullptr && nDestination == LOG_TO_SHARED_MEMORY)
            pfnGetProductCS(m_strProductFolderName.c_str(), &pLock, nModuleValue);
        else if (pfnGetProductCS != nullptr && nDestination == LOG_TO_FILE)
            pfnGetProductCS(strModuleName.c_str(), &pLock, nModuleValue);
    }
    else
    {
        strLogName = COMMON_LOG_NAME;
        strPrefix = "[" + strModuleName + "] ";
        if (pfnGetGeneralCS != nullptr)
            pfnGetGeneralCS(&pLock, nModuleValue);
    }
    if (pLock != nullptr)
        SetTraceLogLock(pLock);
    SetTraceLogModulePrefix(strPrefix);

    const int64_t nNameLength = static_cast<int64_t>(strLogName.size());
    ci_string csDirectory;
    if (GetSettingFromID(SETTING_LOG_DIRECTORY, csDirectory, nSettingID, 0) && !csDirectory.empty())
    {
        const std::string strPath =
            static_cast<int64_t>(csDirectory.size()) < 243 - nNameLength
                ? std::string(csDirectory.c_str()) + "\\" + LOG_FOLDER + "\\" + strLogName
                : std::string(TRACE_DEFAULT_LOG_PATH);
        SetTraceLogPath(strPath.c_str());
    }
    else
    {
        char szSystem[MAX_PATH] = {};
        const UINT uLength = GetSystemDirectoryA(szSystem, MAX_PATH);
        if (uLength != 0 && uLength < MAX_PATH)
        {
            const int64_t nSystemLength = static_cast<int64_t>(uLength);
            const std::string strPath =
                nSystemLength == 0 || nSystemLength >= 234 - nNameLength
                    ? std::string(TRACE_DEFAULT_LOG_PATH)
                    : std::string(szSystem) + "\\LogFiles\\" + LOG_FOLDER + "\\" + strLogName;
            SetTraceLogPath(strPath.c_str());
        }
    }
    m_strLogPath = GetTraceLogPath();
    SetTraceMask(dwMask);
}
