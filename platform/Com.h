// COM and OLE Automation as the worker uses them: HRESULTs, interfaces, class creation from an
// in-process class registry, BSTR, VARIANT and SAFEARRAY.
#pragma once

#include "platform/WinTypes.h"

#include <cstring>
#include <string>

// ---------------------------------------------------------------------------------------------------
// Codes
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005u)
#define DISP_E_OVERFLOW static_cast<HRESULT>(0x8002000Au)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000Bu)
#define DISP_E_ARRAYISLOCKED static_cast<HRESULT>(0x8002000Du)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106u)

// ---------------------------------------------------------------------------------------------------
// Identifiers and the base interface
struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

struct IUnknown
{
    static constexpr IID iid = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// ---------------------------------------------------------------------------------------------------
// Apartments and class creation
#define COINIT_MULTITHREADED 0x0u
#define COINIT_APARTMENTTHREADED 0x2u
#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_ALL 0x17u

// Creates one instance of a registered class and answers the interface asked for.
using PFN_DLSW_CREATE_INSTANCE = HRESULT (*)(REFIID riid, void** ppv);

DLSW_API HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
DLSW_API void CoUninitialize();
// Looks the class up in the process's own class registry; only in-process servers exist.
DLSW_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                                  void** ppv);
// Adds (or replaces) a class in the registry; a null function removes it.
DLSW_API HRESULT DlswCoRegisterInprocClass(REFCLSID rclsid, PFN_DLSW_CREATE_INSTANCE pfnCreate);

// ---------------------------------------------------------------------------------------------------
// BSTR: length-prefixed UTF-16 text. A null BSTR and an empty one are different values, though both
// have length 0.
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

DLSW_API BSTR SysAllocString(LPCOLESTR psz);
DLSW_API BSTR SysAllocStringLen(LPCOLESTR pch, UINT cch);
DLSW_API void SysFreeString(BSTR bstr);
DLSW_API UINT SysStringLen(BSTR bstr);

// The process's ANSI code page is UTF-8. Malformed input becomes U+FFFD; nothing is dropped silently.
DLSW_API BSTR AnsiToBstr(const char* psz, size_t cb);
DLSW_API std::string BstrToAnsi(const OLECHAR* pwsz, size_t cch);
DLSW_API std::u16string AnsiToWide(const char* psz, size_t cb);

// Decimal text to int as the run-time's _wtoi reads it: blanks, a sign, digits up to the first other
// character; no digits give 0. Values beyond the int range are clamped.
DLSW_API int _wtoi(const OLECHAR* pwsz);

// ---------------------------------------------------------------------------------------------------
// VARIANT
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)

enum VARENUM : VARTYPE
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

struct SAFEARRAY;

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union
    {
        LONG lVal;
        INT intVal;
        ULONG ulVal;
        int16_t iVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
        VARIANT* pvarVal;
        void* byref;
        int64_t llReserved;
    };
};
using VARIANTARG = VARIANT;

DLSW_API void VariantInit(VARIANT* pvar);
DLSW_API HRESULT VariantClear(VARIANT* pvar);
// Deep copy: texts are duplicated, arrays copied, interfaces add a reference.
DLSW_API HRESULT VariantCopy(VARIANT* pvarDest, const VARIANT* pvarSrc);
// Conversions between VT_EMPTY, VT_I2, VT_I4, VT_INT, VT_UI4, VT_BOOL and VT_BSTR.
DLSW_API HRESULT VariantChangeType(VARIANT* pvarDest, const VARIANT* pvarSrc, WORD wFlags, VARTYPE vt);

// ---------------------------------------------------------------------------------------------------
// SAFEARRAY of VT_VARIANT, VT_BSTR or VT_I4 elements. Index vectors and bounds are given in the order
// of the dimensions: element i of an index vector addresses dimension i + 1, the dimension whose bound
// is element i of the bounds passed to SafeArrayCreate.
struct SAFEARRAYBOUND
{
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY
{
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND* rgsabound; // cDims entries, dimension 1 first
    VARTYPE vt;
};

DLSW_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
DLSW_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
DLSW_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
DLSW_API HRESULT SafeArrayLock(SAFEARRAY* psa);
DLSW_API HRESULT SafeArrayUnlock(SAFEARRAY* psa);
// VT_VARIANT arrays take a VARIANT*, VT_BSTR arrays a BSTR, VT_I4 arrays a LONG*; the value is copied.
DLSW_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const void* pv);
// Copies the element out: a VARIANT* (initialised by the call), a BSTR*, a LONG*.
DLSW_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv);
DLSW_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
DLSW_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
DLSW_API UINT SafeArrayGetDim(SAFEARRAY* psa);
DLSW_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// A deep copy, unlocked.
DLSW_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
