#include "platform/Com.h"

#include <climits>

void VariantInit(VARIANT* pvar)
{
    if (pvar == nullptr)
        return;
    std::memset(pvar, 0, sizeof(VARIANT));
    pvar->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* pvar)
{
    if (pvar == nullptr)
        return E_INVALIDARG;
    if ((pvar->vt & VT_BYREF) == 0)
    {
        if ((pvar->vt & VT_ARRAY) != 0)
        {
            if (pvar->parray != nullptr)
            {
                const HRESULT hr = SafeArrayDestroy(pvar->parray);
                if (FAILED(hr))
                    return hr; // a locked array stays where it is
            }
        }
        else if (pvar->vt == VT_BSTR)
            SysFreeString(pvar->bstrVal);
        else if (pvar->vt == VT_UNKNOWN && pvar->punkVal != nullptr)
            pvar->punkVal->Release();
    }
    VariantInit(pvar);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* pvarDest, const VARIANT* pvarSrc)
{
    if (pvarDest == nullptr || pvarSrc == nullptr)
        return E_INVALIDARG;
    if (pvarDest == pvarSrc)
        return S_OK;
    VARIANT tmp;
    VariantInit(&tmp);
    tmp = *pvarSrc;
    if ((pvarSrc->vt & VT_BYREF) == 0)
    {
        if ((pvarSrc->vt & VT_ARRAY) != 0)
        {
            tmp.parray = nullptr;
            if (pvarSrc->parray != nullptr)
            {
                const HRESULT hr = SafeArrayCopy(pvarSrc->parray, &tmp.parray);
                if (FAILED(hr))
                    return hr;
            }
        }
        else if (pvarSrc->vt == VT_BSTR)
        {
            tmp.bstrVal = nullptr;
            if (pvarSrc->bstrVal != nullptr)
            {
                tmp.bstrVal = SysAllocStringLen(pvarSrc->bstrVal, SysStringLen(pvarSrc->bstrVal));
                if (tmp.bstrVal == nullptr)
                    return E_OUTOFMEMORY;
            }
        }
        else if (pvarSrc->vt == VT_UNKNOWN && pvarSrc->punkVal != nullptr)
            pvarSrc->punkVal->AddRef();
    }
    const HRESULT hr = VariantClear(pvarDest);
    if (FAILED(hr))
    {
        VariantClear(&tmp);
        return hr;
    }
    *pvarDest = tmp;
    return S_OK;
}

namespace
{
HRESULT ToLongLong(const VARIANT& v, long long& llOut)
{
    switch (v.vt)
    {
    case VT_EMPTY:
        llOut = 0;
        return S_OK;
    case VT_I2:
        llOut = v.iVal;
        return S_OK;
    case VT_I4:
        llOut = v.lVal;
        return S_OK;
    case VT_INT:
        llOut = v.intVal;
        return S_OK;
    case VT_UI4:
        llOut = v.ulVal;
        return S_OK;
    case VT_BOOL:
        llOut = v.boolVal != 0 ? -1 : 0;
        return S_OK;
    case VT_BSTR:
    {
        // Whole-text numbers only, as the automation conversion demands.
        const OLECHAR* p = v.bstrVal;
        const UINT n = SysStringLen(v.bstrVal);
        UINT i = 0;
        while (i < n && p[i] == u' ')
            ++i;
        bool bNegative = false;
        if (i < n && (p[i] == u'-' || p[i] == u'+'))
            bNegative = p[i++] == u'-';
        if (i >= n || p[i] < u'0' || p[i] > u'9')
            return DISP_E_TYPEMISMATCH;
        long long ll = 0;
        for (; i < n && p[i] >= u'0' && p[i] <= u'9'; ++i)
        {
            ll = ll * 10 + (p[i] - u'0');
            if (ll > static_cast<long long>(UINT_MAX))
                return DISP_E_OVERFLOW;
        }
        while (i < n && p[i] == u' ')
            ++i;
        if (i != n)
            return DISP_E_TYPEMISMATCH;
        llOut = bNegative ? -ll : ll;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}
} // namespace

HRESULT VariantChangeType(VARIANT* pvarDest, const VARIANT* pvarSrc, WORD /*wFlags*/, VARTYPE vt)
{
    if (pvarDest == nullptr || pvarSrc == nullptr)
        return E_INVALIDARG;
    if (pvarSrc->vt == vt)
        return VariantCopy(pvarDest, pvarSrc);
    VARIANT result;
    VariantInit(&result);
    if (vt == VT_BSTR)
    {
        long long ll = 0;
        const HRESULT hr = ToLongLong(*pvarSrc, ll);
        if (FAILED(hr))
            return hr;
        std::string s;
        if (pvarSrc->vt == VT_BOOL)
            s = pvarSrc->boolVal != 0 ? "True" : "False";
        else if (pvarSrc->vt != VT_EMPTY)
            s = std::to_string(ll);
        result.vt = VT_BSTR;
        result.bstrVal = AnsiToBstr(s.c_str(), s.size());
        if (result.bstrVal == nullptr)
            return E_OUTOFMEMORY;
    }
    else if (vt == VT_I4 || vt == VT_INT || vt == VT_I2 || vt == VT_UI4 || vt == VT_BOOL || vt == VT_EMPTY)
    {
        long long ll = 0;
        const HRESULT hr = ToLongLong(*pvarSrc, ll);
        if (FAILED(hr))
            return hr;
        result.vt = vt;
        switch (vt)
        {
        case VT_I4:
        case VT_INT:
            if (ll < INT_MIN || ll > INT_MAX)
                return DISP_E_OVERFLOW;
            result.lVal = static_cast<LONG>(ll);
            break;
        case VT_I2:
            if (ll < SHRT_MIN || ll > SHRT_MAX)
                return DISP_E_OVERFLOW;
            result.iVal = static_cast<int16_t>(ll);
            break;
        case VT_UI4:
            if (ll < 0 || ll > static_cast<long long>(UINT_MAX))
                return DISP_E_OVERFLOW;
            result.ulVal = static_cast<ULONG>(ll);
            break;
        case VT_BOOL:
            result.boolVal = ll != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            break;
        }
    }
    else
        return DISP_E_TYPEMISMATCH;
    const HRESULT hr = VariantClear(pvarDest);
    if (FAILED(hr))
    {
        VariantClear(&result);
        return hr;
    }
    *pvarDest = result;
    return S_OK;
}
