// Typed readers of directory values: each turns the VARIANT the directory gives for one attribute into a
// program value it is bound to, and gives that value back as text.
#pragma once

#include "common/CiString.h"
#include "platform/Com.h"

#include <cstdint>
#include <string>
#include <vector>

class ADProp
{
public:
    // Kinds of attribute: how a reader's attribute is fetched.
    static constexpr int32_t KIND_INTEGER = 0;
    static constexpr int32_t KIND_STRING = 1;
    static constexpr int32_t KIND_LIST = 2;

    ADProp(const std::string& strName, int32_t nKind, void* pTarget)
        : m_strName(strName), m_nKind(nKind), m_pTarget(pTarget)
    {
    }
    virtual ~ADProp() = default;
    ADProp(const ADProp&) = delete;
    ADProp& operator=(const ADProp&) = delete;

    // The directory's value into the bound program value. VT_EMPTY always succeeds and changes nothing.
    virtual HRESULT ReadVariant(VARIANT* pVar);
    // The bound value as text.
    virtual HRESULT GetAsString(std::string& strOut);

    std::string m_strName;
    int32_t m_nKind;
    void* m_pTarget; // not owned

protected:
    template <class T> T& Target() const { return *static_cast<T*>(m_pTarget); }
};

template <class T> class TReadADProp : public ADProp
{
public:
    TReadADProp(T* pTarget, const std::string& strName, int32_t nKind) : ADProp(strName, nKind, pTarget) {}
    HRESULT ReadVariant(VARIANT* pVar) override;
    HRESULT GetAsString(std::string& strOut) override;
};

// The readers that exist.
template <> HRESULT TReadADProp<int>::ReadVariant(VARIANT* pVar);
template <> HRESULT TReadADProp<int>::GetAsString(std::string& strOut);
template <> HRESULT TReadADProp<std::string>::ReadVariant(VARIANT* pVar);
template <> HRESULT TReadADProp<std::string>::GetAsString(std::string& strOut);
template <> HRESULT TReadADProp<ci_string>::ReadVariant(VARIANT* pVar);
template <> HRESULT TReadADProp<ci_string>::GetAsString(std::string& strOut);
template <> HRESULT TReadADProp<std::wstring>::ReadVariant(VARIANT* pVar);
template <> HRESULT TReadADProp<std::wstring>::GetAsString(std::string& strOut);
// A list takes an array of VARIANTs: DN-with-string elements give their string, plain text elements
// their text. An array of another element type raises _com_error(E_INVALIDARG).
template <> HRESULT TReadADProp<std::vector<ci_string>>::ReadVariant(VARIANT* pVar);
template <> HRESULT TReadADProp<std::vector<ci_string>>::GetAsString(std::string& strOut);

// A reader that owns its value.
template <class T> class TADProp : public ADProp
{
public:
    TADProp(const std::string& strName, int32_t nKind)
        : ADProp(strName, nKind, nullptr), m_reader(&m_value, strName, nKind)
    {
        m_pTarget = &m_value;
    }
    HRESULT ReadVariant(VARIANT* pVar) override { return m_reader.ReadVariant(pVar); }
    HRESULT GetAsString(std::string& strOut) override { return m_reader.GetAsString(strOut); }

    T m_value{};
    TReadADProp<T> m_reader;
};
