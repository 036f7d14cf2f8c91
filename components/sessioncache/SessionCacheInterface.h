// The session cache component's identity and interface, as its clients call it: the slot order of the
// interface's functions is what both sides rely on.
#pragma once

#include "platform/Com.h"

// {67EA23E7-C621-4890-827D-72111D82417C}
constexpr CLSID CLSID_KSSessionCache = {
    0x67EA23E7, 0xC621, 0x4890, {0x82, 0x7D, 0x72, 0x11, 0x1D, 0x82, 0x41, 0x7C}};

struct IKSSessionCache : IUnknown
{
    // {DBBA762C-7D6E-4CC0-805B-C22928DA1891}
    static constexpr IID iid = {0xDBBA762C, 0x7D6E, 0x4CC0, {0x80, 0x5B, 0xC2, 0x29, 0x28, 0xDA, 0x18, 0x91}};

    // Slots 3 to 6: the automation entries, which no client of ours calls.
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, DWORD lcid, void** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DWORD lcid,
                                  LONG* rgDispId) = 0;
    virtual HRESULT Invoke(LONG dispIdMember, REFIID riid, DWORD lcid, WORD wFlags, void* pDispParams,
                           VARIANT* pVarResult, void* pExcepInfo, UINT* puArgErr) = 0;
    // 7, 8: items by key alone.
    virtual HRESULT AddItem(BSTR bstrKey, BSTR bstrData, BSTR bstrCacheName) = 0;
    virtual HRESULT GetItem(BSTR bstrKey, BSTR* pbstrData, BSTR bstrCacheName) = 0;
    // 9, 10.
    virtual HRESULT RemoveItem(BSTR bstrKey, BSTR bstrCacheName) = 0;
    virtual HRESULT ClearCache(BSTR bstrCacheName) = 0;
    // 11: a cache of at most nMaxItems items, each kept nLifetimeMinutes after it was added. Creating a
    // cache that exists keeps it and its items.
    virtual HRESULT CreateCache(BSTR bstrCacheName, DWORD nMaxItems, DWORD nLifetimeMinutes) = 0;
    // 12.
    virtual HRESULT DeleteCache(BSTR bstrCacheName) = 0;
    // 13.
    virtual HRESULT Initialize() = 0;
    // 14, 15.
    virtual HRESULT GetItemCount(BSTR bstrCacheName, DWORD* pnCount) = 0;
    virtual HRESULT Reserved15() = 0;
    // 16 to 19: items per key and session, and per key, session and property. A missing item answers
    // S_FALSE and a null text.
    virtual HRESULT AddItemSession(BSTR bstrKey, BSTR bstrSession, BSTR bstrData, BSTR bstrCacheName) = 0;
    virtual HRESULT AddItemSessionProperty(BSTR bstrKey, BSTR bstrSession, BSTR bstrProperty, BSTR bstrData,
                                           BSTR bstrCacheName) = 0;
    virtual HRESULT GetItemSession(BSTR bstrKey, BSTR bstrSession, BSTR* pbstrData, BSTR bstrCacheName) = 0;
    virtual HRESULT GetItemSessionProperty(BSTR bstrKey, BSTR bstrSession, BSTR bstrProperty, BSTR* pbstrData,
                                           BSTR bstrCacheName) = 0;
};
