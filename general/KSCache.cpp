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
    try
    {
        const _bstr_t bstrName(pszCacheName);
        if (!m_bInitialized)
        {
            TraceLog("CreateCache KSCache is not initialized");
            return false;
        }
        HRESULT hr = InitializeCom();
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr), "[CKSCache::Init() ] COM initialization failed hr: 0X%x",
                          static_cast<unsigned>(hr));
            return false;
        }
        CComPtr<IKSSessionCache> spCache;
        hr = spCache.CoCreateInstance(CLSID_KSSessionCache, CACHE_CLASS_CONTEXT);
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr),
                          "[CKSCache::CreateCache() ] COM initialization failed hr: 0X%x",
                          static_cast<unsigned>(hr));
            return false;
        }
        hr = spCache->CreateCache(bstrName, nFirst, nSecond);
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr), "CreateCache failed HR 0x%x", static_cast<unsigned>(hr));
        return SUCCEEDED(hr);
    }
    catch (const _com_error& e)
    {
        const std::string strText = ComErrorText(e);
        TraceLog("CreateCache got EXCEPTION HR 0x%x %s", static_cast<unsigned>(e.Error()), strText.c_str());
        WriteEventLogF(1, "Cache component  failed COM Exception with 0x%x %s",
                       static_cast<unsigned>(e.Error()), strText.c_str());
    }
    catch (...)
    {
        TraceLog("CCreateCache ache component got GENERAL EXCEPTION");
        WriteEventLogF(1, "CreateCache Cache component failed GE");
    }
    return false;
}

bool CKSCache::AddItem(const char* pszCacheName, const char* pszKey, const char* pszData,
                       const char* pszSession, const char* pszPropName, uint8_t nMode)
{
    try
    {
        const _bstr_t bstrCache(pszCacheName);
        const _bstr_t bstrKey(pszKey);
        const _bstr_t bstrData(pszData);
        const _bstr_t bstrSession(pszSession);
        const _bstr_t bstrProp(pszPropName);
        if (!m_bInitialized)
        {
            TraceLog("AddItem KSCache is not initialized");
            return false;
        }
        HRESULT hr = InitializeCom();
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr),
                          "[CKSCache::AddItem() ] COM initialization COINIT_MULTITHREADED failed hr: 0X%x",
                          static_cast<unsigned>(hr));
        else
        {
            CComPtr<IKSSessionCache> spCache;
            hr = spCache.CoCreateInstance(CLSID_KSSessionCache, CACHE_CLASS_CONTEXT);
            if (FAILED(hr))
                TraceLogError(static_cast<DWORD>(hr),
                              "[CKSCache::AddItem() ] COM initialization failed hr: 0X%x",
                              static_cast<unsigned>(hr));
            else
            {
                switch (nMode)
                {
                case MODE_KEY:
                    hr = spCache->AddItem(bstrKey, bstrData, bstrCache);
                    break;
                case MODE_SESSION:
                    hr = spCache->AddItemSession(bstrKey, bstrSession, bstrData, bstrCache);
                    break;
                case MODE_SESSION_PROPERTY:
                    hr = spCache->AddItemSessionProperty(bstrKey, bstrSession, bstrProp, bstrData, bstrCache);
                    break;
                default:
                    hr = S_OK;
                    break;
                }
                if (FAILED(hr))
                    TraceLogError(static_cast<DWORD>(hr), "AddItem failed HR 0x%x",
                                  static_cast<unsigned>(hr));
            }
        }
        if (FAILED(hr))
            TraceLogError(static_cast<DWORD>(hr),
                          "[CKSCache::AddItem() ]  failed Key %s Data %s Session %s PropName %s hr: 0X%x",
                          Printable(pszKey), Printable(pszData), Printable(pszSession),
                          Printable(pszPropName), static_cast<unsigned>(hr));
        return SUCCEEDED(hr);
    }
    catch (const _com_error& e)
    {
        const std::string strText = ComErrorText(e);
        TraceLog("AddItem got EXCEPTION HR 0x%x %s", static_cast<unsigned>(e.Error()), strText.c_str());
        WriteEventLogF(1, "Cache component  AddItem failed COM Exception with 0x%x %s",
                       static_cast<unsigned>(e.Error()), strText.c_str());
    }
    catch (...)
    {
        TraceLog("AddItem cache component got GENERAL EXCEPTION");
        WriteEventLogF(1, "AddItem Cache component failed GE");
    }
    return false;
}

bool CKSCache::GetItem(const char* pszCacheName, const char* pszKey, char** ppszData, const char* pszSession,
                       const char* pszPropName, uint8_t nMode)
{
    try
    {
        const _bstr_t bstrCache(pszCacheName);
        const _bstr_t bstrKey(pszKey);
        const _bstr_t bstrSession(pszSession);
        const _bstr_t bstrProp(pszPropName);
        if (!m_bInitialized)
        {
            TraceLog("GetItem KSCache is not initialized");
            return false;
        }
        HRESULT hr = InitializeCom();
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr),
                          "[CKSCache::GetItem() ] COM initialization COINIT_MULTITHREADED failed hr: 0X%x",
                          static_cast<unsigned>(hr));
            return false;
        }
        CComPtr<IKSSessionCache> spCache;
        hr = spCache.CoCreateInstance(CLSID_KSSessionCache, CACHE_CLASS_CONTEXT);
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr), "[CKSCache::GetItem() ] COM initialization failed hr: 0X%x",
                          static_cast<unsigned>(hr));
            return false;
        }
        _bstr_t bstrData;
        switch (nMode)
        {
        case MODE_KEY:
            hr = spCache->GetItem(bstrKey, bstrData.GetAddress(), bstrCache);
            break;
        case MODE_SESSION:
            hr = spCache->GetItemSession(bstrKey, bstrSession, bstrData.GetAddress(), bstrCache);
            break;
        case MODE_SESSION_PROPERTY:
            hr = spCache->GetItemSessionProperty(bstrKey, bstrSession, bstrProp, bstrData.GetAddress(),
                                                 bstrCache);
            break;
        default:
            hr = S_OK;
            break;
        }
        if (FAILED(hr))
        {
            TraceLogError(static_cast<DWORD>(hr), "GetItem failed HR 0x%x", static_cast<unsigned>(hr));
            return false;
        }
        if (bstrData.IsNull() || ppszData == nullptr)
            return false;
        // The text is converted whole; the buffer is as long as the conversion needs.
        const std::string strData = bstrData.ToAnsi();
        auto* pszOut = new char[strData.size() + 1];
        std::memcpy(pszOut, strData.c_str(), strData.size() + 1);
        *ppszData = pszOut;
        return true;
    }
    catch (const _com_error& e)
    {
        const std::string strText = ComErrorText(e);
        TraceLog("GetItem got EXCEPTION HR 0x%x %s", static_cast<unsigned>(e.Error()), strText.c_str());
        WriteEventLogF(1, "Cache component  GetItem failed COM Exception with 0x%x %s",
                       static_cast<unsigned>(e.Error()), strText.c_str());
    }
    catch (...)
    {
        TraceLog("GetItem cache component got GENERAL EXCEPTION");
        WriteEventLogF(1, "GetItem Cache component failed GE");
    }
    return false;
}
