// The client of the session cache component, which keeps users' directory properties between requests.
// Every call creates its own instance of the component, makes one call and releases it.
#pragma once

#include "platform/WinTypes.h"

class CKSCache
{
public:
    CKSCache() = default;
    virtual ~CKSCache() = default;
    CKSCache(const CKSCache&) = delete;
    CKSCache& operator=(const CKSCache&) = delete;

    // Creates the component once and initialises it; false (traced, with events) when it cannot be had.
    bool Init();
    bool CreateCache(const char* pszCacheName, DWORD dwFirst, DWORD dwSecond);
    // Modes: 1 by key, 2 by key and session, 3 by key, session and property.
    bool AddItem(const char* pszCacheName, const char* pszKey, const char* pszData, const char* pszSession,
                 const char* pszPropertyName, BYTE bMode);
    bool AddItemSessionProperty(const char* pszCacheName, const char* pszKey, const char* pszData,
                                const char* pszSession, const char* pszPropertyName);
    // The text comes back allocated with new[]; the caller deletes it with delete[].
    bool GetItem(const char* pszCacheName, const char* pszKey, char** ppszData, const char* pszSession,
                 const char* pszPropertyName, BYTE bMode);
    bool GetItemSessionProperty(const char* pszCacheName, const char* pszKey, char** ppszData,
                                const char* pszSession, const char* pszPropertyName);

    bool m_bInitialized = false;
};
