#include "platform/Com.h"

#include <cstdlib>
#include <limits>

namespace
{
// Upper limit of elements in one array: keeps size arithmetic far from overflow.
constexpr size_t MAX_ELEMENTS = size_t{1} << 28;

ULONG ElementSize(VARTYPE vt)
{
    switch (vt)
    {
    case VT_VARIANT:
        return sizeof(VARIANT);
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_I4:
        return sizeof(LONG);
    default:
        return 0;
    }
}

size_t CountOf(const SAFEARRAY* psa)
{
    size_t n = 1;
    for (USHORT d = 0; d < psa->cDims; ++d)
        n *= psa->rgsabound[d].cElements;
    return n;
}

// The flat position of an index vector, dimension 1 varying fastest.
HRESULT OffsetOf(const SAFEARRAY* psa, const LONG* rgIndices, size_t& nOffset)
{
    if (rgIndices == nullptr)
        return E_INVALIDARG;
    size_t nOff = 0;
    size_t nStride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d)
    {
        const SAFEARRAYBOUND& b = psa->rgsabound[d];
        const long long llRel = static_cast<long long>(rgIndices[d]) - b.lLbound;
        if (llRel < 0 || llRel >= static_cast<long long>(b.cElements))
            return DISP_E_BADINDEX;
        nOff += static_cast<size_t>(llRel) * nStride;
        nStride *= b.cElements;
    }
    nOffset = nOff;
    return S_OK;
}

void ReleaseElements(SAFEARRAY* psa)
{
    const size_t n = CountOf(psa);
    if (psa->vt == VT_VARIANT)
    {
        auto* pv = static_cast<VARIANT*>(psa->pvData);
        for (size_t i = 0; i < n; ++i)
            VariantClear(&pv[i]);
    }
    else if (psa->vt == VT_BSTR)
    {
        auto* pb = static_cast<BSTR*>(psa->pvData);
        for (size_t i = 0; i < n; ++i)
        {
            SysFreeString(pb[i]);
            pb[i] = nullptr;
        }
    }
}

void FreeArray(SAFEARRAY* psa)
{
    std::free(psa->pvData);
    std::free(psa->rgsabound);
    std::free(psa);
}
} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound)
{
    const ULONG cbElement = ElementSize(vt);
    if (cbElement == 0 || cDims == 0 || cDims > 64 || rgsabound == nullptr)
        return nullptr;
    size_t nCount = 1;
    for (UINT d = 0; d < cDims; ++d)
    {
        const ULONG c = rgsabound[d].cElements;
        if (c != 0 && nCount > MAX_ELEMENTS / c)
            return nullptr;
        nCount *= c;
    }
    if (nCount > MAX_ELEMENTS)
        return nullptr;
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (psa == nullptr)
        return nullptr;
    psa->rgsabound = static_cast<SAFEARRAYBOUND*>(std::calloc(cDims, sizeof(SAFEARRAYBOUND)));
    psa->pvData = std::calloc(nCount == 0 ? 1 : nCount, cbElement); // zeroed: VT_EMPTY, null BSTR, 0
    if (psa->rgsabound == nullptr || psa->pvData == nullptr)
    {
        FreeArray(psa);
        return nullptr;
    }
    std::memcpy(psa->rgsabound, rgsabound, cDims * sizeof(SAFEARRAYBOUND));
    psa->cDims = static_cast<USHORT>(cDims);
    psa->cbElements = cbElement;
    psa->vt = vt;
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    const SAFEARRAYBOUND bound = {cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa)
{
    if (psa == nullptr)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    ReleaseElements(psa);
    FreeArray(psa);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa)
{
    if (psa == nullptr)
        return E_INVALIDARG;
    if (psa->cLocks == std::numeric_limits<uint16_t>::max())
        return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa)
{
    if (psa == nullptr)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const void* pv)
{
    if (psa == nullptr)
        return E_INVALIDARG;
    size_t nOff = 0;
    HRESULT hr = OffsetOf(psa, rgIndices, nOff);
    if (FAILED(hr))
        return hr;
    switch (psa->vt)
    {
    case VT_VARIANT:
        if (pv == nullptr)
            return E_INVALIDARG;
        return VariantCopy(&static_cast<VARIANT*>(psa->pvData)[nOff], static_cast<const VARIANT*>(pv));
    case VT_BSTR:
    {
        auto src = static_cast<BSTR>(const_cast<void*>(pv));
        BSTR bstrCopy = nullptr;
        if (src != nullptr)
        {
            bstrCopy = SysAllocStringLen(src, SysStringLen(src));
            if (bstrCopy == nullptr)
                return E_OUTOFMEMORY;
        }
        BSTR& slot = static_cast<BSTR*>(psa->pvData)[nOff];
        SysFreeString(slot);
        slot = bstrCopy;
        return S_OK;
    }
    case VT_I4:
        if (pv == nullptr)
            return E_INVALIDARG;
        static_cast<LONG*>(psa->pvData)[nOff] = *static_cast<const LONG*>(pv);
        return S_OK;
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv)
{
    if (psa == nullptr || pv == nullptr)
        return E_INVALIDARG;
    size_t nOff = 0;
    HRESULT hr = OffsetOf(psa, rgIndices, nOff);
    if (FAILED(hr))
        return hr;
    switch (psa->vt)
    {
    case VT_VARIANT:
    {
        auto* pOut = static_cast<VARIANT*>(pv);
        VariantInit(pOut);
        return VariantCopy(pOut, &static_cast<VARIANT*>(psa->pvData)[nOff]);
    }
    case VT_BSTR:
    {
        BSTR src = static_cast<BSTR*>(psa->pvData)[nOff];
        BSTR* pOut = static_cast<BSTR*>(pv);
        *pOut = nullptr;
        if (src != nullptr)
        {
            *pOut = SysAllocStringLen(src, SysStringLen(src));
            if (*pOut == nullptr)
                return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    case VT_I4:
        *static_cast<LONG*>(pv) = static_cast<LONG*>(psa->pvData)[nOff];
        return S_OK;
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (psa == nullptr || plLbound == nullptr)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[nDim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (psa == nullptr || plUbound == nullptr)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
    *plUbound =
        static_cast<LONG>(static_cast<long long>(b.lLbound) + static_cast<long long>(b.cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa)
{
    return psa == nullptr ? 0 : psa->cDims;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (psa == nullptr || pvt == nullptr)
        return E_INVALIDARG;
    *pvt = psa->vt;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (ppsaOut == nullptr)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (psa == nullptr)
        return S_OK;
    SAFEARRAY* pCopy = SafeArrayCreate(psa->vt, psa->cDims, psa->rgsabound);
    if (pCopy == nullptr)
        return E_OUTOFMEMORY;
    const size_t n = CountOf(psa);
    HRESULT hr = S_OK;
    for (size_t i = 0; i < n && SUCCEEDED(hr); ++i)
    {
        switch (psa->vt)
        {
        case VT_VARIANT:
            hr =
                VariantCopy(&static_cast<VARIANT*>(pCopy->pvData)[i], &static_cast<VARIANT*>(psa->pvData)[i]);
            break;
        case VT_BSTR:
        {
            BSTR src = static_cast<BSTR*>(psa->pvData)[i];
            if (src != nullptr)
            {
                BSTR dup = SysAllocStringLen(src, SysStringLen(src));
                if (dup == nullptr)
                    hr = E_OUTOFMEMORY;
                static_cast<BSTR*>(pCopy->pvData)[i] = dup;
            }
            break;
        }
        default:
            static_cast<LONG*>(pCopy->pvData)[i] = static_cast<LONG*>(psa->pvData)[i];
            break;
        }
    }
    if (FAILED(hr))
    {
        SafeArrayDestroy(pCopy);
        return hr;
    }
    *ppsaOut = pCopy;
    return S_OK;
}
