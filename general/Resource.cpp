#include "general/Resource.h"

#include "common/TraceLog.h"
#include "common/TraceText.h"
#include "platform/WinDebug.h"
#include "platform/WinModule.h"
#include "platform/WinResource.h"
#include "platform/WinSync.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
constexpr size_t RESOURCE_TRACE_SIZE = 2048;
constexpr size_t RESOURCE_EVENT_MESSAGE_SIZE = 512;
constexpr int STRINGS_PER_BLOCK = 16;

std::atomic<PFN_RESOURCE_TRACE> g_pfnResourceTrace{nullptr};
std::atomic<PFN_RESOURCE_EVENT> g_pfnResourceEvent{nullptr};
} // namespace

CResource::CResource()
{
    BuildLanguageTable();
}

CResource::~CResource()
{
    try
    {
        UnloadModule();
    }
    catch (...)
    {
    }
}

void CResource::BuildLanguageTable()
{
    // The order is the search order.
    m_vecLanguages = {{"en", 0x1009},  {"fr", 0x040C},  {"de", 0x0407}, {"es", 0x0C0A}, {"pt-br", 0x0416},
                      {"pt", 0x0816},  {"da", 0x0406},  {"sv", 0x041D}, {"hu", 0x040E}, {"fi", 0x040B},
                      {"he", 0x040D},  {"it", 0x0410},  {"ar", 0x0401}, {"ja", 0x0411}, {"no", 0x0414},
                      {"chs", 0x0804}, {"cht", 0x0404}, {"nl", 0x0413}, {"tr", 0x041F}, {"el", 0x0408}};
}

void CResource::SetTraceHook(PFN_RESOURCE_TRACE pfnTrace)
{
    g_pfnResourceTrace.store(pfnTrace);
}

void CResource::SetEventHook(PFN_RESOURCE_EVENT pfnEvent)
{
    g_pfnResourceEvent.store(pfnEvent);
}

void CResource::Trace(const char* pszFormat, ...)
{
    PFN_RESOURCE_TRACE pfnTrace = g_pfnResourceTrace.load();
    try
    {
        char szText[RESOURCE_TRACE_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szText, RESOURCE_TRACE_SIZE, pszFormat, args);
        va_end(args);
        if (pfnTrace != nullptr)
            pfnTrace(szText);
    }
    catch (...)
    {
        if (pfnTrace != nullptr)
            pfnTrace(" An error on logging occured");
        OutputDebugStringA("An error on logging");
    }
}

void CResource::ReportEvent(DWORD dwType, DWORD dwError, const char* pszFormat, ...)
{
    PFN_RESOURCE_EVENT pfnEvent = g_pfnResourceEvent.load();
    if (pfnEvent == nullptr)
        return;
    try
    {
        char szMessage[RESOURCE_EVENT_MESSAGE_SIZE + 1] = {};
        va_list args;
        va_start(args, pszFormat);
        FormatTraceText(szMessage, RESOURCE_EVENT_MESSAGE_SIZE, pszFormat, args);
        va_end(args);
        char szSystem[RESOURCE_TRACE_SIZE] = {};
        FormatSystemErrorText(dwError, szSystem, sizeof(szSystem));
        for (size_t n = std::strlen(szSystem); n > 0 && szSystem[n - 1] == ' '; --n)
            szSystem[n - 1] = '\0';
        char szText[RESOURCE_TRACE_SIZE + 1] = {};
        // A text longer than the event takes is cut.
        if (std::snprintf(szText, RESOURCE_TRACE_SIZE, "%s   %s", szMessage, szSystem) >= 0)
            pfnEvent(dwType, szText);
    }
    catch (...)
    {
        // An event that cannot be written is dropped.
    }
}

bool CResource::LoadModule(const std::string& strPath)
{
    if (m_hModule != nullptr)
    {
        if (!FreeLibrary(m_hModule))
            Trace("Resource class failed UnloadModule error %d", static_cast<int>(GetLastError()));
        else
        {
            m_hModule = nullptr;
            m_strPath.clear();
        }
    }
    // Only read for its string tables: none of the library's code runs.
    HMODULE hModule = LoadLibraryExA(strPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (hModule != nullptr)
    {
        m_hModule = hModule;
        m_strPath = strPath;
        return true;
    }
    const DWORD dwError = GetLastError();
    char szSystem[RESOURCE_EVENT_MESSAGE_SIZE] = {};
    FormatSystemErrorText(dwError, szSystem, sizeof(szSystem));
    ReportEvent(1, dwError, " Resource Class LoadModule failed  %s error %d", strPath.c_str(),
                static_cast<int>(dwError));
    Trace("Resource Class LoadModule failed  %s error %d, %s", strPath.c_str(), static_cast<int>(dwError),
          szSystem);
    return false;
}

bool CResource::UnloadModule()
{
    if (m_hModule == nullptr)
        return true;
    if (!FreeLibrary(m_hModule))
    {
        Trace("Resource class failed UnloadModule error %d", static_cast<int>(GetLastError()));
        return false;
    }
    m_hModule = nullptr;
    m_strPath.clear();
    return true;
}

bool CResource::LoadString(int nID, std::u16string& strText, LANGID wLangID) const
{
    if (m_hModule == nullptr)
    {
        Trace("Resource class NULL handler LoadString");
        return false;
    }
    // Ids live in 4096 blocks of 16; an id outside them names no block.
    if (nID < 0 || nID > 0xFFFF)
    {
        Trace("Resource Class LoadString failed. It couldn't find the resource %d error %d", nID,
              static_cast<int>(ERROR_RESOURCE_NAME_NOT_FOUND));
        return false;
    }
    const uintptr_t uBlock = (static_cast<uintptr_t>(nID) >> 4) + 1;
    HRSRC hBlock = FindResourceExA(m_hModule, RT_STRING, MAKEINTRESOURCEA(uBlock), wLangID);
    if (hBlock == nullptr)
    {
        Trace("Resource Class LoadString failed. It couldn't find the resource %d error %d", nID,
              static_cast<int>(GetLastError()));
        return false;
    }
    HGLOBAL hData = LoadResource(m_hModule, hBlock);
    const BYTE* pBlock = static_cast<const BYTE*>(LockResource(hData));
    if (pBlock == nullptr)
    {
        Trace("Resource Class LoadString failed when loadResource for resource %d error %d", nID,
              static_cast<int>(GetLastError()));
        return false;
    }
    // Each entry: a 16-bit count, then that many UTF-16 units. A damaged block ends the walk at its end.
    const size_t nSize = SizeofResource(m_hModule, hBlock);
    const int nIndex = nID & (STRINGS_PER_BLOCK - 1);
    size_t nOffset = 0;
    for (int i = 0; i < STRINGS_PER_BLOCK; ++i)
    {
        if (nOffset + 2 > nSize)
            return false;
        uint16_t nCount = 0;
        std::memcpy(&nCount, pBlock + nOffset, 2);
        nOffset += 2;
        if (nOffset + size_t{nCount} * 2 > nSize)
            return false;
        if (i == nIndex && nCount != 0)
        {
            strText.resize(nCount);
            std::memcpy(strText.data(), pBlock + nOffset, size_t{nCount} * 2);
            return true;
        }
        nOffset += size_t{nCount} * 2;
    }
    return false;
}

bool CResource::DetectLanguage(const std::string& strCode, LANGID& wLangID) const
{
    for (const LanguageCode& language : m_vecLanguages)
    {
        if (language.m_strCode == strCode)
        {
            wLangID = language.m_wLangID;
            return true;
        }
    }
    Trace("Resource class can not find language %s. Set english as default", strCode.c_str());
    wLangID = LANGID_ENGLISH_FALLBACK;
    return false;
}
