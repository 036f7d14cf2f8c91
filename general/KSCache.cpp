#include "general/KSCache.h"

#include "common/TraceLog.h"
#include "general/EventLog.h"

// The session cache component is not installed on this server: every call refuses, and the worker
// reads users' properties from the directory each time.

bool CKSCache::Init()
{
    const HRESULT hr = static_cast<HRESULT>(0x80040154); // class not registered
    TraceLogError(static_cast<DWORD>(hr), "[CKSCache::Init( ] m_spCache.CoCreateInstance failed hr: 0X%x",
                  static_cast<unsigned>(hr));
    TraceLogError(static_cast<DWORD>(hr), "[CKSCache::Init( ] m_spCache.Initialize failed hr: 0X%x",
                  static_cast<unsigned>(hr));
    return false;
}

bool CKSCache::CreateCache(const char* /*pszCacheName*/, DWORD /*dwFirst*/, DWORD /*dwSecond*/)
{
    if (!m_bInitialized)
        TraceLog("CreateCache KSCache is not initialized");
    return false;
}

bool CKSCache::AddItem(const char* /*pszCacheName*/, const char* /*pszKey*/, const char* /*pszData*/,
                       const char* /*pszSession*/, const char* /*pszPropertyName*/, BYTE /*bMode*/)
{
    if (!m_bInitialized)
        TraceLog("AddItem KSCache is not initialized");
    return false;
}

bool CKSCache::AddItemSessionProperty(const char* pszCacheName, const char* pszKey, const char* pszData,
                                      const char* pszSession, const char* pszPropertyName)
{
    return AddItem(pszCacheName, pszKey, pszData, pszSession, pszPropertyName, 3);
}

bool CKSCache::GetItem(const char* /*pszCacheName*/, const char* /*pszKey*/, char** /*ppszData*/,
                       const char* /*pszSession*/, const char* /*pszPropertyName*/, BYTE /*bMode*/)
{
    if (!m_bInitialized)
        TraceLog("GetItem KSCache is not initialized");
    return false;
}

bool CKSCache::GetItemSessionProperty(const char* pszCacheName, const char* pszKey, char** ppszData,
                                      const char* pszSession, const char* pszPropertyName)
{
    return GetItem(pszCacheName, pszKey, ppszData, pszSession, pszPropertyName, 3);
}
