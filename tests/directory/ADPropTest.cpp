#include "general/ADProp.h"
#include "platform/Adsi.h"
#include "platform/ComSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
constexpr VARTYPE VT_R8_VALUE = 5;

_variant_t Text(const char* psz)
{
    return _variant_t(psz);
}

_variant_t NullText()
{
    _variant_t v;
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    return v;
}

// An array of VARIANTs as the directory's multi-valued get answers it.
VARIANT List(const std::vector<_variant_t>& vecElements, VARTYPE vtArray = VT_VARIANT)
{
    VARIANT v;
    VariantInit(&v);
    SAFEARRAY* psa = SafeArrayCreateVector(vtArray, 0, static_cast<ULONG>(vecElements.size()));
    for (size_t i = 0; i < vecElements.size(); ++i)
    {
        const LONG n = static_cast<LONG>(i);
        if (vtArray == VT_VARIANT)
            SafeArrayPutElement(psa, &n, &vecElements[i]);
        else
            SafeArrayPutElement(psa, &n, vecElements[i].bstrVal);
    }
    v.vt = static_cast<VARTYPE>(VT_ARRAY | vtArray);
    v.parray = psa;
    return v;
}

_variant_t DNWithString(const char16_t* pszText)
{
    IADsDNWithString* p = nullptr;
    // A value object of the directory layer, made through a DN-with-string value read.
    struct CValue final : IADsDNWithString
    {
        explicit CValue(const char16_t* psz) : m_s(psz) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override
        {
            if (riid == IUnknown::iid || riid == IADsDNWithString::iid)
            {
                *ppv = this;
                AddRef();
                return S_OK;
            }
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return ++m_n; }
        ULONG Release() override
        {
            const ULONG n = --m_n;
            if (n == 0)
                delete this;
            return n;
        }
        HRESULT get_StringValue(BSTR* pbstr) override
        {
            *pbstr = m_s == nullptr ? nullptr : SysAllocString(m_s);
            return S_OK;
        }
        HRESULT put_StringValue(BSTR) override { return E_NOTIMPL; }
        HRESULT get_DNString(BSTR* pbstr) override
        {
            *pbstr = SysAllocString(u"CN=x");
            return S_OK;
        }
        HRESULT put_DNString(BSTR) override { return E_NOTIMPL; }
        const char16_t* m_s;
        ULONG m_n = 1;
    };
    p = new CValue(pszText);
    _variant_t v;
    v.vt = VT_UNKNOWN;
    v.punkVal = p;
    return v;
}
} // namespace

TEST(ADPropReaders, IntReaderTakesNumbersAndNumberTexts)
{
    struct CCase
    {
        const char* m_pszName;
        _variant_t m_v;
        HRESULT m_hr;
        int m_nAfter;
    };
    _variant_t vDouble;
    vDouble.vt = VT_R8_VALUE;
    const std::vector<CCase> vecCases = {
        {"VT_I4", _variant_t(LONG{42}), S_OK, 42}, {"number text", Text("12abc"), S_OK, 12},
        {"signed text", Text("  -7"), S_OK, -7},   {"text without digits", Text("abc"), S_OK, 0},
        {"null text", NullText(), S_OK, 99},       {"empty", _variant_t(), S_OK, 99},
        {"double", vDouble, E_INVALIDARG, 99},
    };
    for (const CCase& c : vecCases)
    {
        int nTarget = 99;
        TReadADProp<int> reader(&nTarget, "a", ADProp::KIND_INTEGER);
        _variant_t v(c.m_v);
        EXPECT_EQ(reader.ReadVariant(&v), c.m_hr) << c.m_pszName;
        EXPECT_EQ(nTarget, c.m_nAfter) << c.m_pszName;
    }
    int nTarget = -15;
    TReadADProp<int> reader(&nTarget, "a", ADProp::KIND_INTEGER);
    std::string str = "old";
    EXPECT_EQ(reader.GetAsString(str), S_OK);
    EXPECT_EQ(str, "-15");
}

TEST(ADPropReaders, TextReadersKeepTheirTargetOnNullAndRefuseOtherTypes)
{
    std::string str = "before";
    ci_string cs = "before";
    std::wstring wstr = L"before";
    TReadADProp<std::string> rString(&str, "a", ADProp::KIND_STRING);
    TReadADProp<ci_string> rCi(&cs, "a", ADProp::KIND_STRING);
    TReadADProp<std::wstring> rWide(&wstr, "a", ADProp::KIND_STRING);

    _variant_t vNull = NullText();
    EXPECT_EQ(rString.ReadVariant(&vNull), S_OK);
    EXPECT_EQ(rCi.ReadVariant(&vNull), S_OK);
    EXPECT_EQ(rWide.ReadVariant(&vNull), S_OK);
    EXPECT_EQ(str, "before");
    EXPECT_EQ(cs, "BEFORE");
    EXPECT_EQ(wstr, L"before");

    _variant_t vInt(LONG{3});
    EXPECT_EQ(rString.ReadVariant(&vInt), E_INVALIDARG);
    EXPECT_EQ(rCi.ReadVariant(&vInt), E_INVALIDARG);
    EXPECT_EQ(rWide.ReadVariant(&vInt), E_INVALIDARG);

    _variant_t vText(u"Gr\u00fc\u00dfe \U0001F600");
    EXPECT_EQ(rString.ReadVariant(&vText), S_OK);
    EXPECT_EQ(rWide.ReadVariant(&vText), S_OK);
    EXPECT_EQ(str, "Gr\xc3\xbc\xc3\x9f"
                   "e \xf0\x9f\x98\x80");
    EXPECT_EQ(wstr, L"Gr\u00fc\u00dfe \U0001F600");
    std::string strOut;
    EXPECT_EQ(rWide.GetAsString(strOut), S_OK);
    EXPECT_EQ(strOut, str);
}

TEST(ADPropReaders, ListReaderTakesDNWithStringAndPlainValues)
{
    std::vector<ci_string> vec = {".old"};
    TReadADProp<std::vector<ci_string>> reader(&vec, "msExchOWAAllowedFileTypes", ADProp::KIND_LIST);
    VARIANT v =
        List({DNWithString(u".doc"), Text(".txt"), DNWithString(nullptr), _variant_t(LONG{5}), NullText()});
    EXPECT_EQ(reader.ReadVariant(&v), S_OK);
    // The reader took the array over.
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(vec, (std::vector<ci_string>{".old", ".doc", ".txt"}));
    std::string str = "x=";
    EXPECT_EQ(reader.GetAsString(str), S_OK);
    EXPECT_EQ(str, "x=.old;.doc;.txt;");
}

TEST(ADPropReaders, ListReaderIgnoresNonListsAndRaisesOnOtherElementTypes)
{
    std::vector<ci_string> vec;
    TReadADProp<std::vector<ci_string>> reader(&vec, "a", ADProp::KIND_LIST);
    _variant_t vSingle = Text(".doc");
    EXPECT_EQ(reader.ReadVariant(&vSingle), S_OK);
    EXPECT_TRUE(vec.empty());

    VARIANT vTexts = List({Text(".doc")}, VT_BSTR);
    // A VT_BSTR array is no list of VARIANTs (its base type lacks bit 0x4): left alone.
    EXPECT_EQ(reader.ReadVariant(&vTexts), S_OK);
    EXPECT_TRUE(vec.empty());
    VariantClear(&vTexts);

    // An array marked as a VARIANT list whose elements are texts is refused with an exception.
    VARIANT vWrong = List({Text(".doc")}, VT_BSTR);
    vWrong.vt = static_cast<VARTYPE>(VT_ARRAY | VT_VARIANT);
    try
    {
        reader.ReadVariant(&vWrong);
        ADD_FAILURE() << "no exception";
    }
    catch (const _com_error& e)
    {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
    }
    vWrong.vt = static_cast<VARTYPE>(VT_ARRAY | VT_BSTR);
    VariantClear(&vWrong);
}

TEST(ADPropReaders, BaseReaderAndOwningReader)
{
    ADProp base("a", ADProp::KIND_STRING, nullptr);
    _variant_t v = Text("x");
    std::string str;
    EXPECT_EQ(base.ReadVariant(&v), E_NOTIMPL);
    EXPECT_EQ(base.GetAsString(str), E_NOTIMPL);

    TADProp<std::wstring> owned("msExchUserCulture", ADProp::KIND_STRING);
    EXPECT_EQ(owned.ReadVariant(&v), S_OK);
    EXPECT_EQ(owned.m_value, L"x");
    EXPECT_EQ(owned.GetAsString(str), S_OK);
    EXPECT_EQ(str, "x");
}
