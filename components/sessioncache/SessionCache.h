// The session cache component: named caches of texts per key, per key and session, and per key, session
// and property, shared by every instance in the process and safe to use from many threads.
#pragma once

#include "components/sessioncache/SessionCacheInterface.h"

#include <atomic>

class CKSSessionCache final : public IKSSessionCache
{
public:
    CKSSessionCache() = default;

    // The class's creation function, as the class registry calls it.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override;

    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, DWORD lcid, void** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DWORD lcid, LONG* rgDispId) override;
    HRESULT Invoke(LONG dispIdMember, REFIID riid, DWORD lcid, WORD wFlags, void* pDispParams,
                   VARIANT* pVarResult, void* pExcepInfo, UINT* puArgErr) override;
    HRESULT AddItem(BSTR bstrKey, BSTR bstrData, BSTR bstrCacheName) override;
    HRESULT GetItem(BSTR bstrKey, BSTR* pbstrData, BSTR bstrCacheName) override;
    HRESULT RemoveItem(BSTR bstrKey, BSTR bstrCacheName) override;
    HRESULT ClearCache(BSTR bstrCacheName) override;
    HRESULT CreateCache(BSTR bstrCacheName, DWORD nMaxItems, DWORD nLifetimeMinutes) override;
    HRESULT DeleteCache(BSTR bstrCacheName) override;
    HRESULT Initialize() override;
    HRESULT GetItemCount(BSTR bstrCacheName, DWORD* pnCount) override;
    HRESULT Reserved15() override;
    HRESULT AddItemSession(BSTR bstrKey, BSTR bstrSession, BSTR bstrData, BSTR bstrCacheName) override;
    HRESULT AddItemSessionProperty(BSTR bstrKey, BSTR bstrSession, BSTR bstrProperty, BSTR bstrData,
                                   BSTR bstrCacheName) override;
    HRESULT GetItemSession(BSTR bstrKey, BSTR bstrSession, BSTR* pbstrData, BSTR bstrCacheName) override;
    HRESULT GetItemSessionProperty(BSTR bstrKey, BSTR bstrSession, BSTR bstrProperty, BSTR* pbstrData,
                                   BSTR bstrCacheName) override;

private:
    ~CKSSessionCache() override = default;

    std::atomic<ULONG> m_nRefs{1};
};
