#include "platform/Com.h"

#include "platform/MachineConfig.h"
#include "platform/SlotSharedMutex.h"

#include <cstdio>
#include <dlfcn.h>

#include <map>
#include <mutex>
#include <shared_mutex>

namespace
{
struct CGuidLess
{
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct CClassRegistry
{
    // Every request may create an object; only module loads register classes.
    CSlotSharedMutex m_mx;
    std::map<CLSID, PFN_DLSW_CREATE_INSTANCE, CGuidLess> m_mapClasses;
};

CClassRegistry& Registry()
{
    static CClassRegistry s_registry; // built on first use, so classes may register from static initialisers
    return s_registry;
}

struct CApartment
{
    ULONG m_nInits = 0;
    DWORD m_dwModel = COINIT_MULTITHREADED;
};
thread_local CApartment t_apartment;
} // namespace

HRESULT CoInitializeEx(void* /*pvReserved*/, DWORD dwCoInit)
{
    const DWORD dwModel = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.m_nInits > 0)
    {
        if (t_apartment.m_dwModel != dwModel)
            return RPC_E_CHANGED_MODE;
        ++t_apartment.m_nInits;
        return S_FALSE;
    }
    t_apartment.m_dwModel = dwModel;
    t_apartment.m_nInits = 1;
    return S_OK;
}

void CoUninitialize()
{
    if (t_apartment.m_nInits > 0)
        --t_apartment.m_nInits;
}

HRESULT DlswCoRegisterInprocClass(REFCLSID rclsid, PFN_DLSW_CREATE_INSTANCE pfnCreate)
{
    CClassRegistry& reg = Registry();
    std::lock_guard<CSlotSharedMutex> guard(reg.m_mx);
    if (pfnCreate == nullptr)
        reg.m_mapClasses.erase(rclsid);
    else
        reg.m_mapClasses[rclsid] = pfnCreate;
    return S_OK;
}

namespace
{
PFN_DLSW_CREATE_INSTANCE FindClass(REFCLSID rclsid)
{
    CClassRegistry& reg = Registry();
    std::shared_lock<CSlotSharedMutex> guard(reg.m_mx);
    const auto it = reg.m_mapClasses.find(rclsid);
    return it == reg.m_mapClasses.end() ? nullptr : it->second;
}

// Loads the module the machine names for the class; the module registers its classes as it loads and
// stays loaded, as an in-process server does.
void LoadInprocServer(REFCLSID rclsid)
{
    char szClsid[40];
    std::snprintf(szClsid, sizeof(szClsid), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  rclsid.Data1, rclsid.Data2, rclsid.Data3, rclsid.Data4[0], rclsid.Data4[1], rclsid.Data4[2],
                  rclsid.Data4[3], rclsid.Data4[4], rclsid.Data4[5], rclsid.Data4[6], rclsid.Data4[7]);
    const std::string sModule = CMachineConfig::Instance().GetInprocServer(szClsid);
    if (!sModule.empty())
        dlopen(sModule.c_str(), RTLD_NOW | RTLD_LOCAL);
}
} // namespace

// Request threads of the host live in its multithreaded apartment, so a thread that never called
// CoInitializeEx may still create objects, as on the server the worker was written for.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    PFN_DLSW_CREATE_INSTANCE pfnCreate = FindClass(rclsid);
    if (pfnCreate == nullptr)
    {
        LoadInprocServer(rclsid);
        pfnCreate = FindClass(rclsid);
    }
    if (pfnCreate == nullptr)
        return REGDB_E_CLASSNOTREG;
    try
    {
        return pfnCreate(riid, ppv);
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_FAIL;
    }
}
