// The COM support classes: a text holder, a VARIANT holder, the error object they raise, and a counted
// interface pointer.
#pragma once

#include "platform/Com.h"

#include <string>
#include <utility>

// The error object a support class raises when a call fails.
class DLSW_API _com_error
{
public:
    explicit _com_error(HRESULT hr) : m_hr(hr) {}
    HRESULT Error() const { return m_hr; }

private:
    HRESULT m_hr;
};

[[noreturn]] inline void _com_issue_error(HRESULT hr)
{
    throw _com_error(hr);
}

// Owns one BSTR. A default-constructed holder holds a null BSTR, which differs from an empty text.
class _bstr_t
{
public:
    _bstr_t() = default;
    _bstr_t(const char* psz) // NOLINT: converts as the support class does
    {
        if (psz != nullptr)
            Assign(AnsiToBstr(psz, std::strlen(psz)));
    }
    _bstr_t(const std::string& s) { Assign(AnsiToBstr(s.data(), s.size())); } // NOLINT
    _bstr_t(const OLECHAR* pwsz)                                              // NOLINT
    {
        if (pwsz != nullptr)
            Assign(SysAllocString(pwsz));
    }
    // Takes over the BSTR when bCopy is false.
    _bstr_t(BSTR bstr, bool bCopy)
    {
        if (!bCopy)
            m_bstr = bstr;
        else if (bstr != nullptr)
            Assign(SysAllocStringLen(bstr, SysStringLen(bstr)));
    }
    _bstr_t(const _bstr_t& other)
    {
        if (other.m_bstr != nullptr)
            Assign(SysAllocStringLen(other.m_bstr, SysStringLen(other.m_bstr)));
    }
    _bstr_t(_bstr_t&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    ~_bstr_t() { SysFreeString(m_bstr); }
    _bstr_t& operator=(_bstr_t other) noexcept
    {
        std::swap(m_bstr, other.m_bstr);
        return *this;
    }

    operator BSTR() const { return m_bstr; } // NOLINT: hands out the held text, as the support class does
    BSTR GetBSTR() const { return m_bstr; }
    BSTR* GetAddress()
    {
        SysFreeString(std::exchange(m_bstr, nullptr));
        return &m_bstr;
    }
    BSTR Detach() { return std::exchange(m_bstr, nullptr); }
    void Attach(BSTR bstr)
    {
        SysFreeString(m_bstr);
        m_bstr = bstr;
    }
    // A caller-owned duplicate.
    BSTR copy() const
    {
        return m_bstr == nullptr ? nullptr : SysAllocStringLen(m_bstr, SysStringLen(m_bstr));
    }
    UINT length() const { return SysStringLen(m_bstr); }
    bool IsNull() const { return m_bstr == nullptr; }
    std::string ToAnsi() const { return BstrToAnsi(m_bstr, SysStringLen(m_bstr)); }

private:
    void Assign(BSTR bstr)
    {
        if (bstr == nullptr)
            _com_issue_error(E_OUTOFMEMORY);
        m_bstr = bstr;
    }

    BSTR m_bstr = nullptr;
};

// A VARIANT that clears itself.
class _variant_t : public VARIANT
{
public:
    _variant_t() { VariantInit(this); }
    _variant_t(const VARIANT& v) // NOLINT
    {
        VariantInit(this);
        const HRESULT hr = VariantCopy(this, &v);
        if (FAILED(hr))
            _com_issue_error(hr);
    }
    _variant_t(const _variant_t& v) : _variant_t(static_cast<const VARIANT&>(v)) {}
    _variant_t(_variant_t&& v) noexcept
    {
        *static_cast<VARIANT*>(this) = static_cast<VARIANT&>(v);
        VariantInit(&v);
    }
    _variant_t(LONG l) // NOLINT
    {
        VariantInit(this);
        vt = VT_I4;
        lVal = l;
    }
    _variant_t(const _bstr_t& bstr) // NOLINT
    {
        VariantInit(this);
        vt = VT_BSTR;
        bstrVal = bstr.copy();
        if (bstrVal == nullptr && !bstr.IsNull())
            _com_issue_error(E_OUTOFMEMORY);
    }
    _variant_t(const char* psz) : _variant_t(_bstr_t(psz)) {}      // NOLINT
    _variant_t(const OLECHAR* pwsz) : _variant_t(_bstr_t(pwsz)) {} // NOLINT
    _variant_t(bool b)                                             // NOLINT
    {
        VariantInit(this);
        vt = VT_BOOL;
        boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    }
    ~_variant_t() { VariantClear(this); }

    _variant_t& operator=(const _variant_t& v)
    {
        if (this != &v)
        {
            const HRESULT hr = VariantCopy(this, &v);
            if (FAILED(hr))
                _com_issue_error(hr);
        }
        return *this;
    }
    _variant_t& operator=(_variant_t&& v) noexcept
    {
        if (this != &v)
        {
            VariantClear(this);
            *static_cast<VARIANT*>(this) = static_cast<VARIANT&>(v);
            VariantInit(&v);
        }
        return *this;
    }

    void Clear()
    {
        const HRESULT hr = VariantClear(this);
        if (FAILED(hr))
            _com_issue_error(hr);
    }
    // Hands the value to the caller and leaves this holder empty.
    VARIANT Detach()
    {
        VARIANT v = *this;
        VariantInit(this);
        return v;
    }
    // Takes over the value of v, which is left empty.
    void Attach(VARIANT& v)
    {
        Clear();
        *static_cast<VARIANT*>(this) = v;
        VariantInit(&v);
    }
};

// A counted interface pointer.
template <class T> class CComPtr
{
public:
    CComPtr() = default;
    CComPtr(T* p) : m_p(p) // NOLINT: adds a reference
    {
        if (m_p != nullptr)
            m_p->AddRef();
    }
    CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~CComPtr() { Release(); }
    CComPtr& operator=(CComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }

    void Release()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    // Takes over a reference the caller owns.
    void Attach(T* p)
    {
        Release();
        m_p = p;
    }
    T* Detach() { return std::exchange(m_p, nullptr); }
    T** operator&() // NOLINT: the out-parameter form; releases what is held
    {
        Release();
        return &m_p;
    }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    operator T*() const { return m_p; } // NOLINT
    explicit operator bool() const { return m_p != nullptr; }

    HRESULT CoCreateInstance(REFCLSID rclsid, DWORD dwClsContext = CLSCTX_INPROC_SERVER)
    {
        Release();
        return ::CoCreateInstance(rclsid, nullptr, dwClsContext, T::iid, reinterpret_cast<void**>(&m_p));
    }
    template <class U> HRESULT QueryInterface(CComPtr<U>& out) const
    {
        if (m_p == nullptr)
            return E_POINTER;
        return m_p->QueryInterface(U::iid, reinterpret_cast<void**>(&out));
    }

private:
    T* m_p = nullptr;
};
