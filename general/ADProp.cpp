#include "general/ADProp.h"

#include "general/DirectoryText.h"
#include "platform/Adsi.h"
#include "platform/ComSupport.h"

HRESULT ADProp::ReadVariant(VARIANT* /*pVar*/)
{
    return E_NOTIMPL;
}

HRESULT ADProp::GetAsString(std::string& /*strOut*/)
{
    return E_NOTIMPL;
}

namespace
{
std::string AnsiFromBstr(BSTR bstr)
{
    return BstrToAnsi(bstr, SysStringLen(bstr));
}

// Reads a text value into a target through the given conversion; null texts leave it as it is.
template <class TString, class TConvert> HRESULT ReadText(VARIANT* pVar, TString& target, TConvert convert)
{
    if (pVar == nullptr)
        return E_POINTER;
    if (pVar->vt == VT_EMPTY)
        return S_OK;
    if (pVar->vt != VT_BSTR)
        return E_INVALIDARG;
    if (pVar->bstrVal != nullptr)
    {
        const auto str = convert(pVar->bstrVal);
        target.assign(str.data(), str.size());
    }
    return S_OK;
}

// The same into a narrow target.
template <class TString> HRESULT ReadText(VARIANT* pVar, TString& target)
{
    return ReadText(pVar, target, AnsiFromBstr);
}
} // namespace

template <> HRESULT TReadADProp<int>::ReadVariant(VARIANT* pVar)
{
    if (pVar == nullptr)
        return E_POINTER;
    switch (pVar->vt)
    {
    case VT_EMPTY:
        return S_OK;
    case VT_I4:
        Target<int>() = pVar->lVal;
        return S_OK;
    case VT_BSTR:
        if (pVar->bstrVal != nullptr)
            Target<int>() = _wtoi(pVar->bstrVal);
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}

template <> HRESULT TReadADProp<int>::GetAsString(std::string& strOut)
{
    strOut = std::to_string(Target<int>());
    return S_OK;
}

template <> HRESULT TReadADProp<std::string>::ReadVariant(VARIANT* pVar)
{
    return ReadText(pVar, Target<std::string>());
}

template <> HRESULT TReadADProp<std::string>::GetAsString(std::string& strOut)
{
    strOut = Target<std::string>();
    return S_OK;
}

template <> HRESULT TReadADProp<ci_string>::ReadVariant(VARIANT* pVar)
{
    return ReadText(pVar, Target<ci_string>());
}

template <> HRESULT TReadADProp<ci_string>::GetAsString(std::string& strOut)
{
    const ci_string& cs = Target<ci_string>();
    strOut.assign(cs.data(), cs.size());
    return S_OK;
}

template <> HRESULT TReadADProp<std::wstring>::ReadVariant(VARIANT* pVar)
{
    return ReadText(pVar, Target<std::wstring>(), WideFromBstr);
}

template <> HRESULT TReadADProp<std::wstring>::GetAsString(std::string& strOut)
{
    strOut = AnsiFromWide(Target<std::wstring>());
    return S_OK;
}

template <> HRESULT TReadADProp<std::vector<ci_string>>::ReadVariant(VARIANT* pVar)
{
    if (pVar == nullptr)
        return E_POINTER;
    // Only arrays of a base type with both bits 0x4 and 0x8 (VARIANT elements) are lists.
    const VARTYPE vtBase = static_cast<VARTYPE>(pVar->vt & 0x0FFF);
    if ((pVar->vt & VT_ARRAY) == 0 || (vtBase & 0xC) != 0xC || pVar->parray == nullptr)
        return S_OK;
    VARTYPE vtElements = VT_EMPTY;
    SafeArrayGetVartype(pVar->parray, &vtElements);
    if (vtElements != VT_VARIANT)
        _com_issue_error(E_INVALIDARG);

    // The array is ours from here on; it goes when this scope ends, whatever happens.
    struct CArrayOwner
    {
        SAFEARRAY* m_psa;
        ~CArrayOwner() { SafeArrayDestroy(m_psa); }
    } owner{pVar->parray};
    VariantInit(pVar);

    std::vector<ci_string>& vecTarget = Target<std::vector<ci_string>>();
    LONG nLower = 0;
    LONG nUpper = -1;
    SafeArrayGetLBound(owner.m_psa, 1, &nLower);
    SafeArrayGetUBound(owner.m_psa, 1, &nUpper);
    for (LONG i = nLower; i <= nUpper; ++i)
    {
        _variant_t vElement;
        if (FAILED(SafeArrayGetElement(owner.m_psa, &i, &vElement)))
            continue;
        std::string str;
        if (vElement.vt == VT_BSTR)
        {
            // Lists kept as plain strings are read as they stand.
            if (vElement.bstrVal == nullptr)
                continue;
            str = AnsiFromBstr(vElement.bstrVal);
        }
        else if (vElement.vt == VT_UNKNOWN && vElement.punkVal != nullptr)
        {
            CComPtr<IADsDNWithString> spDNWithString;
            if (FAILED(vElement.punkVal->QueryInterface(IADsDNWithString::iid,
                                                        reinterpret_cast<void**>(&spDNWithString))))
                continue;
            _bstr_t bstrValue;
            if (FAILED(spDNWithString->get_StringValue(bstrValue.GetAddress())) || bstrValue.IsNull())
                continue;
            str = bstrValue.ToAnsi();
        }
        else
            continue;
        vecTarget.emplace_back(str.data(), str.size());
    }
    return S_OK;
}

template <> HRESULT TReadADProp<std::vector<ci_string>>::GetAsString(std::string& strOut)
{
    for (const ci_string& cs : Target<std::vector<ci_string>>())
    {
        strOut.append(cs.data(), cs.size());
        strOut += ';';
    }
    return S_OK;
}
