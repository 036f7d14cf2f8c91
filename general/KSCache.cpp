#include "general/KSCache.h"

#include "common/TraceLog.h"
#include "components/sessioncache/SessionCacheInterface.h"
#include "general/EventLog.h"
#include "platform/ComSupport.h"

#include <cstring>
#include <exception>
#include <string>

namespace
{
// The component's class context: any server kind.
constexpr DWORD CACHE_CLASS_CONTEXT = CLSCTX_ALL;

const char* Printable(const char* psz)
{
    return psz != nullptr ? psz : "";
}

HRESULT InitializeCom()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return hr == RPC_E_CHANGED_MODE ? S_OK : hr;
}

std::string ComErrorText(const _com_error& e)
{
    char szText[512];
    FormatSystemErrorText(static_cast<DWORD>(e.Error()), szText, sizeof(szText));
    return szText;
}

// What one call of the component writes when a step of it fails.
struct SCallTexts
{
    const char* pszNotInitialized;
    const char* pszComFailed;      // "... hr: 0X%x"
    const char* pszCreateFailed;   // "... hr: 0X%x"
    const char* pszCallFailed;     // "... HR 0x%x"
    const char* pszExceptionTrace; // "... 0x%x %s"
    const char* pszExceptionEvent; // "... 0x%x %s"
    const char* pszGeneralTrace;
    const char* pszGeneralEvent;
};

// The steps every call of the component shares: the set-up check, COM on this thread, an instance of its
// own, the call, and the guard that turns an exception into a trace line and an event. OnFailed sees the
// code of a failed step (not the set-up check, not an exception).
template <class TCall, class TOnFailed>
bool CallCache(bool bInitialized, const SCallTexts& texts, TCall call, TOnFailed onFailed)
{
    try
    {
        if (!bInitialized)
        {
            TraceLog("%s", texts.pszNotInitialized);
            return false;
        }
        HRESULT hr = InitializeCom();
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr), texts.pszComFailed, static_cast<unsigned>(hr));
        else
        {
            CComPtr<IKSSessionCache> spCache;
            hr = spCache.CoCreateInstance(CLSID_KSSessionCache, CACHE_CLASS_CONTEXT);
            if (FAILED(hr))
                TraceLogError(static_cast<DWORD>(hr), texts.pszCreateFailed, static_cast<unsigned>(hr));
            else
            {
                hr = call(*spCache);
                if (FAILED(hr))
                    TraceLogError(static_cast<DWORD>(hr), texts.pszCallFailed, static_cast<unsigned>(hr));
            }
        }
        if (FAILED(hr))
            onFailed(hr);
        return SUCCEEDED(hr);
    }
    catch (const _com_error& e)
    {
        const std::string strText = ComErrorText(e);
        TraceLog(texts.pszExceptionTrace, static_cast<unsigned>(e.Error()), strText.c_str());
        WriteEventLogF(1, texts.pszExceptionEvent, static_cast<unsigned>(e.Error()), strText.c_str());
    }
    catch (...)
    {
        TraceLog("%s", texts.pszGeneralTrace);
        WriteEventLogF(1, "%s", texts.pszGeneralEvent);
    }
    return false;
}
} // namespace

bool CKSCache::Init()
{
    HRESULT hr = S_OK;
    try
    {
        hr = InitializeCom();
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr), "[CKSCache::Init() ] COM initialization failed hr: 0X%x",
                          static_cast<unsigned>(hr));
        else
        {
            CComPtr<IKSSessionCache> spCache;
            hr = spCache.CoCreateInstance(CLSID_KSSessionCache, CACHE_CLASS_CONTEXT);
            if (FAILED(hr))
            {
                TraceLogError(static_cast<DWORD>(hr),
                              "[CKSCache::Init( ] m_spCache.CoCreateInstance failed hr: 0X%x",
                              static_cast<unsigned>(hr));
                WriteEventLogF(1, "Cache component failed to instantiate HRESULT: 0X%x",
                               static_cast<unsigned>(hr));
            }
            else
                hr = spCache->Initialize();
        }
    }
    catch (const _com_error& e)
    {
        hr = e.Error();
        const std::string strText = ComErrorText(e);
        TraceLog("CExchangeAccess::GetErrorInfo got EXCEPTION HR 0x%x %s", static_cast<unsigned>(hr),
                 strText.c_str());
        WriteEventLogF(1, "Cache component  failed to initialize with 0x%x %s", static_cast<unsigned>(hr),
                       strText.c_str());
    }
    catch (...)
    {
        TraceLog("Cache component got GENERAL EXCEPTION");
        WriteEventLogF(1, "Cache component failed to Initialize GE");
        hr = E_UNEXPECTED;
    }
    if (FAILED(hr))
    {
        TraceLogError(static_cast<DWORD>(hr), "[CKSCache::Init( ] m_spCache.Initialize failed hr: 0X%x",
                      static_cast<unsigned>(hr));
        WriteEventLogF(1, "Cache component initialization failed HRESULT: 0X%x", static_cast<unsigned>(hr));
        return false;
    }
    m_bInitialized = true;
    return true;
}

bool CKSCache::CreateCache(const char* pszCacheName, uint32_t nFirst, uint32_t nSecond)
{
    static constexpr SCallTexts texts = {
        "CreateCache KSCache is not initialized",
        "[CKSCache::Init() ] COM initialization failed hr: 0X%x",
        "[CKSCache::CreateCache() ] COM initialization failed hr: 0X%x",
        "CreateCache failed HR 0x%x",
        "CreateCache got EXCEPTION HR 0x%x %s",
        "Cache component  failed COM Exception with 0x%x %s",
        "CCreateCache ache component got GENERAL EXCEPTION",
        "CreateCache Cache component failed GE",
    };
    return CallCache(
        m_bInitialized, texts,
        [&](IKSSessionCache& cache) { return cache.CreateCache(_bstr_t(pszCacheName), nFirst, nSecond); },
        [](HRESULT) {});
}

bool CKSCache::AddItem(const char* pszCacheName, const char* pszKey, const char* pszData,
                       const char* pszSession, const char* pszPropName, uint8_t nMode)
{
    static constexpr SCallTexts texts = {
        "AddItem KSCache is not initialized",
        "[CKSCache::AddItem() ] COM initialization COINIT_MULTITHREADED failed hr: 0X%x",
        "[CKSCache::AddItem() ] COM initialization failed hr: 0X%x",
        "AddItem failed HR 0x%x",
        "AddItem got EXCEPTION HR 0x%x %s",
        "Cache component  AddItem failed COM Exception with 0x%x %s",
        "AddItem cache component got GENERAL EXCEPTION",
        "AddItem Cache component failed GE",
    };
    const auto call = [&](IKSSessionCache& cache) -> HRESULT
    {
        const _bstr_t bstrCache(pszCacheName);
        const _bstr_t bstrKey(pszKey);
        const _bstr_t bstrData(pszData);
        switch (nMode)
        {
        case MODE_KEY:
            return cache.AddItem(bstrKey, bstrData, bstrCache);
        case MODE_SESSION:
            return cache.AddItemSession(bstrKey, _bstr_t(pszSession), bstrData, bstrCache);
        case MODE_SESSION_PROPERTY:
            return cache.AddItemSessionProperty(bstrKey, _bstr_t(pszSession), _bstr_t(pszPropName), bstrData,
                                                bstrCache);
        default:
            return S_OK;
        }
    };
    return CallCache(m_bInitialized, texts, call,
                     [&](HRESULT hr)
                     {
                         TraceLogError(
                             static_cast<DWORD>(hr),
                             "[CKSCache::AddItem() ]  failed Key %s Data %s Session %s PropName %s hr: 0X%x",
                             Printable(pszKey), Printable(pszData), Printable(pszSession),
                             Printable(pszPropName), static_cast<unsigned>(hr));
                     });
}

bool CKSCache::GetItem(const char* pszCacheName, const char* pszKey, char** ppszData, const char* pszSession,
                       const char* pszPropName, uint8_t nMode)
{
    static constexpr SCallTexts texts = {
        "GetItem KSCache is not initialized",
        "[CKSCache::GetItem() ] COM initialization COINIT_MULTITHREADED failed hr: 0X%x",
        "[CKSCache::GetItem() ] COM initialization failed hr: 0X%x",
        "GetItem failed HR 0x%x",
        "GetItem got EXCEPTION HR 0x%x %s",
        "Cache component  GetItem failed COM Exception with 0x%x %s",
        "GetItem cache component got GENERAL EXCEPTION",
        "GetItem Cache component failed GE",
    };
    bool bData = false;
    const auto call = [&](IKSSessionCache& cache) -> HRESULT
    {
        const _bstr_t bstrCache(pszCacheName);
        const _bstr_t bstrKey(pszKey);
        _bstr_t bstrData;
        HRESULT hr = S_OK;
        switch (nMode)
        {
        case MODE_KEY:
            hr = cache.GetItem(bstrKey, bstrData.GetAddress(), bstrCache);
            break;
        case MODE_SESSION:
            hr = cache.GetItemSession(bstrKey, _bstr_t(pszSession), bstrData.GetAddress(), bstrCache);
            break;
        case MODE_SESSION_PROPERTY:
            hr = cache.GetItemSessionProperty(bstrKey, _bstr_t(pszSession), _bstr_t(pszPropName),
                                              bstrData.GetAddress(), bstrCache);
            break;
        default:
            break;
        }
        if (FAILED(hr) || bstrData.IsNull() || ppszData == nullptr)
            return hr;
        // The text is converted whole; the buffer is as long as the conversion needs.
        const std::string strData = bstrData.ToAnsi();
        auto* pszOut = new char[strData.size() + 1];
        std::memcpy(pszOut, strData.c_str(), strData.size() + 1);
        *ppszData = pszOut;
        bData = true;
        return hr;
    };
    return CallCache(m_bInitialized, texts, call, [](HRESULT) {}) && bData;
}
