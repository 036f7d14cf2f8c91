// The worker's client of the session cache component. It keeps no interface: every call initialises COM
// on the calling thread, creates an instance, makes one call and lets it go, so many request threads may
// call at once.
#pragma once

#include "platform/Com.h"

#include <cstdint>

class CKSCache
{
public:
    // Which of the component's item kinds a call uses.
    enum ItemMode : uint8_t
    {
        MODE_KEY = 1,
        MODE_SESSION = 2,
        MODE_SESSION_PROPERTY = 3,
    };

    CKSCache() = default;
    virtual ~CKSCache() = default;
    CKSCache(const CKSCache&) = delete;
    CKSCache& operator=(const CKSCache&) = delete;

    bool Init();
    bool CreateCache(const char* pszCacheName, uint32_t nFirst, uint32_t nSecond);
    bool AddItem(const char* pszCacheName, const char* pszKey, const char* pszData, const char* pszSession,
                 const char* pszPropName, uint8_t nMode);
    bool AddItemSessionProperty(const char* pszCacheName, const char* pszKey, const char* pszData,
                                const char* pszSession, const char* pszPropName)
    {
        return AddItem(pszCacheName, pszKey, pszData, pszSession, pszPropName, MODE_SESSION_PROPERTY);
    }
    // On true, *ppszData is a text the caller frees with delete[].
    bool GetItem(const char* pszCacheName, const char* pszKey, char** ppszData, const char* pszSession,
                 const char* pszPropName, uint8_t nMode);
    bool GetItemSessionProperty(const char* pszCacheName, const char* pszKey, char** ppszData,
                                const char* pszSession, const char* pszPropName)
    {
        return GetItem(pszCacheName, pszKey, ppszData, pszSession, pszPropName, MODE_SESSION_PROPERTY);
    }

    bool m_bInitialized = false;
};
