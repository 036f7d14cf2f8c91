#include "components/sessioncache/SessionCache.h"

#include "platform/SlotSharedMutex.h"

#include <chrono>
#include <list>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <tuple>

namespace
{
using Clock = std::chrono::steady_clock;

// Items of the three kinds never meet: the kind is part of the item's key.
using CItemKey = std::tuple<int, std::u16string, std::u16string, std::u16string>;

struct CItem
{
    std::u16string m_sData;
    Clock::time_point m_tpExpires;
    std::list<CItemKey>::iterator m_itOrder;
};

std::u16string Text(BSTR bstr)
{
    return bstr == nullptr ? std::u16string() : std::u16string(bstr, SysStringLen(bstr));
}

// One named cache: items in order of their last addition, so the oldest goes first when it is full.
struct CCache
{
    DWORD m_nMaxItems = 0;
    std::chrono::minutes m_lifetime{0};
    std::map<CItemKey, CItem> m_mapItems;
    std::list<CItemKey> m_listOrder;

    void Erase(std::map<CItemKey, CItem>::iterator it)
    {
        m_listOrder.erase(it->second.m_itOrder);
        m_mapItems.erase(it);
    }
};

// Every instance serves the same caches: clients create an instance per call. Every request reads them,
// so reads share the lock; only additions, removals and expiries hold it alone.
struct CCaches
{
    CSlotSharedMutex m_mx;
    std::map<std::u16string, CCache> m_mapCaches;

    CCache* Find(BSTR bstrCacheName)
    {
        const auto it = m_mapCaches.find(Text(bstrCacheName));
        return it == m_mapCaches.end() ? nullptr : &it->second;
    }
};

CCaches& Caches()
{
    static auto* s_pCaches = new CCaches(); // used by any thread until the process ends
    return *s_pCaches;
}

// Runs f on the named cache under the caches' lock: shared (TGuard std::shared_lock) for reads, held alone
// (std::lock_guard) for changes.
template <template <class> class TGuard, class F> HRESULT WithCache(BSTR bstrCacheName, F f)
{
    if (bstrCacheName == nullptr)
        return E_INVALIDARG;
    CCaches& caches = Caches();
    TGuard<CSlotSharedMutex> guard(caches.m_mx);
    CCache* pCache = caches.Find(bstrCacheName);
    return pCache == nullptr ? HRESULT_FROM_WIN32(ERROR_NOT_FOUND) : f(*pCache);
}

HRESULT Add(BSTR bstrCacheName, const CItemKey& key, BSTR bstrData)
{
    return WithCache<std::lock_guard>(bstrCacheName,
                                      [&](CCache& cache)
                                      {
                                          if (cache.m_nMaxItems == 0)
                                              return S_FALSE; // a cache that holds nothing
                                          const auto itOld = cache.m_mapItems.find(key);
                                          if (itOld != cache.m_mapItems.end())
                                              cache.Erase(itOld);
                                          while (cache.m_mapItems.size() >= cache.m_nMaxItems)
                                              cache.Erase(cache.m_mapItems.find(cache.m_listOrder.front()));
                                          cache.m_listOrder.push_back(key);
                                          cache.m_mapItems[key] =
                                              CItem{Text(bstrData), Clock::now() + cache.m_lifetime,
                                                    std::prev(cache.m_listOrder.end())};
                                          return S_OK;
                                      });
}

HRESULT Get(BSTR bstrCacheName, const CItemKey& key, BSTR* pbstrData)
{
    if (pbstrData == nullptr)
        return E_POINTER;
    *pbstrData = nullptr;
    bool bExpired = false;
    const HRESULT hr = WithCache<std::shared_lock>(bstrCacheName,
                                                   [&](CCache& cache)
                                                   {
                                                       const auto it = cache.m_mapItems.find(key);
                                                       if (it == cache.m_mapItems.end())
                                                           return S_FALSE;
                                                       if (Clock::now() >= it->second.m_tpExpires)
                                                       {
                                                           bExpired = true;
                                                           return S_FALSE;
                                                       }
                                                       const std::u16string& sData = it->second.m_sData;
                                                       *pbstrData = SysAllocStringLen(
                                                           sData.data(), static_cast<UINT>(sData.size()));
                                                       return *pbstrData == nullptr ? E_OUTOFMEMORY : S_OK;
                                                   });
    if (!bExpired)
        return hr;
    // Expired: removed under the lock held alone, unless another thread replaced or removed it meanwhile.
    WithCache<std::lock_guard>(bstrCacheName,
                               [&](CCache& cache)
                               {
                                   const auto it = cache.m_mapItems.find(key);
                                   if (it != cache.m_mapItems.end() && Clock::now() >= it->second.m_tpExpires)
                                       cache.Erase(it);
                                   return S_OK;
                               });
    return S_FALSE;
}

// The class stays registered while this module is loaded, and no longer.
struct CRegistration
{
    CRegistration() { DlswCoRegisterInprocClass(CLSID_KSSessionCache, &CKSSessionCache::CreateInstance); }
    ~CRegistration() { DlswCoRegisterInprocClass(CLSID_KSSessionCache, nullptr); }
};
const CRegistration g_registration;
} // namespace

HRESULT CKSSessionCache::CreateInstance(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    CKSSessionCache* pCache = new CKSSessionCache(); // owned by its reference count
    const HRESULT hr = pCache->QueryInterface(riid, ppv);
    pCache->Release();
    return hr;
}

HRESULT CKSSessionCache::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IUnknown::iid || riid == IKSSessionCache::iid)
    {
        *ppv = static_cast<IKSSessionCache*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CKSSessionCache::Release()
{
    const ULONG n = --m_nRefs;
    if (n == 0)
        delete this;
    return n;
}

HRESULT CKSSessionCache::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT CKSSessionCache::GetTypeInfo(UINT, DWORD, void** ppTInfo)
{
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CKSSessionCache::GetIDsOfNames(REFIID, LPOLESTR*, UINT, DWORD, LONG*)
{
    return E_NOTIMPL;
}

HRESULT CKSSessionCache::Invoke(LONG, REFIID, DWORD, WORD, void*, VARIANT*, void*, UINT*)
{
    return E_NOTIMPL;
}

HRESULT CKSSessionCache::AddItem(BSTR bstrKey, BSTR bstrData, BSTR bstrCacheName)
{
    return Add(bstrCacheName, CItemKey{1, Text(bstrKey), {}, {}}, bstrData);
}

HRESULT CKSSessionCache::GetItem(BSTR bstrKey, BSTR* pbstrData, BSTR bstrCacheName)
{
    return Get(bstrCacheName, CItemKey{1, Text(bstrKey), {}, {}}, pbstrData);
}

HRESULT CKSSessionCache::RemoveItem(BSTR bstrKey, BSTR bstrCacheName)
{
    return WithCache<std::lock_guard>(
        bstrCacheName,
        [&](CCache& cache)
        {
            const auto it = cache.m_mapItems.find(CItemKey{1, Text(bstrKey), {}, {}});
            if (it == cache.m_mapItems.end())
                return S_FALSE;
            cache.Erase(it);
            return S_OK;
        });
}

HRESULT CKSSessionCache::ClearCache(BSTR bstrCacheName)
{
    return WithCache<std::lock_guard>(bstrCacheName,
                                      [](CCache& cache)
                                      {
                                          cache.m_mapItems.clear();
                                          cache.m_listOrder.clear();
                                          return S_OK;
                                      });
}

HRESULT CKSSessionCache::CreateCache(BSTR bstrCacheName, DWORD nMaxItems, DWORD nLifetimeMinutes)
{
    if (bstrCacheName == nullptr || SysStringLen(bstrCacheName) == 0)
        return E_INVALIDARG;
    CCaches& caches = Caches();
    std::lock_guard<CSlotSharedMutex> guard(caches.m_mx);
    const auto [it, bNew] = caches.m_mapCaches.try_emplace(Text(bstrCacheName));
    if (!bNew)
        return S_FALSE;
    it->second.m_nMaxItems = nMaxItems;
    it->second.m_lifetime = std::chrono::minutes(nLifetimeMinutes);
    return S_OK;
}

HRESULT CKSSessionCache::DeleteCache(BSTR bstrCacheName)
{
    if (bstrCacheName == nullptr)
        return E_INVALIDARG;
    CCaches& caches = Caches();
    std::lock_guard<CSlotSharedMutex> guard(caches.m_mx);
    return caches.m_mapCaches.erase(Text(bstrCacheName)) == 0 ? S_FALSE : S_OK;
}

HRESULT CKSSessionCache::Initialize()
{
    return S_OK;
}

HRESULT CKSSessionCache::GetItemCount(BSTR bstrCacheName, DWORD* pnCount)
{
    if (pnCount == nullptr)
        return E_POINTER;
    *pnCount = 0;
    return WithCache<std::shared_lock>(bstrCacheName,
                                       [&](const CCache& cache)
                                       {
                                           *pnCount = static_cast<DWORD>(cache.m_mapItems.size());
                                           return S_OK;
                                       });
}

HRESULT CKSSessionCache::Reserved15()
{
    return E_NOTIMPL;
}

HRESULT CKSSessionCache::AddItemSession(BSTR bstrKey, BSTR bstrSession, BSTR bstrData, BSTR bstrCacheName)
{
    return Add(bstrCacheName, CItemKey{2, Text(bstrKey), Text(bstrSession), {}}, bstrData);
}

HRESULT CKSSessionCache::AddItemSessionProperty(BSTR bstrKey, BSTR bstrSession, BSTR bstrProperty,
                                                BSTR bstrData, BSTR bstrCacheName)
{
    return Add(bstrCacheName, CItemKey{3, Text(bstrKey), Text(bstrSession), Text(bstrProperty)}, bstrData);
}

HRESULT CKSSessionCache::GetItemSession(BSTR bstrKey, BSTR bstrSession, BSTR* pbstrData, BSTR bstrCacheName)
{
    return Get(bstrCacheName, CItemKey{2, Text(bstrKey), Text(bstrSession), {}}, pbstrData);
}

HRESULT CKSSessionCache::GetItemSessionProperty(BSTR bstrKey, BSTR bstrSession, BSTR bstrProperty,
                                                BSTR* pbstrData, BSTR bstrCacheName)
{
    return Get(bstrCacheName, CItemKey{3, Text(bstrKey), Text(bstrSession), Text(bstrProperty)}, pbstrData);
}
