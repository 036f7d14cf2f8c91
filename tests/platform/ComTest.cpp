#include "platform/ComSupport.h"
#include "platform/MsXml.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>

namespace
{
std::u16string W(const char* psz)
{
    return AnsiToWide(psz, std::strlen(psz));
}
} // namespace

TEST(Bstr, NullAndEmptyDiffer)
{
    BSTR bstrEmpty = SysAllocString(u"");
    ASSERT_NE(bstrEmpty, nullptr);
    EXPECT_EQ(SysStringLen(bstrEmpty), 0u);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(bstrEmpty);
    SysFreeString(nullptr);

    _bstr_t null;
    _bstr_t empty("");
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(empty.IsNull());
    _bstr_t copy = empty;
    EXPECT_FALSE(copy.IsNull());
}

TEST(Bstr, KeepsEmbeddedNulAndLength)
{
    const char16_t text[] = {u'a', 0, u'b'};
    _bstr_t b(SysAllocStringLen(text, 3), false);
    EXPECT_EQ(b.length(), 3u);
    EXPECT_EQ(b.GetBSTR()[3], 0);
    EXPECT_EQ(b.ToAnsi(), std::string("a\0b", 3));
}

TEST(Bstr, AnsiConversionRoundTripsAndMarksMalformedInput)
{
    const std::string sText = "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80"; // two 2-byte letters and a 4-byte one
    _bstr_t b(sText);
    EXPECT_EQ(b.length(), 7u); // G r u-umlaut sharp-s blank, then a surrogate pair
    EXPECT_EQ(b.ToAnsi(), sText);

    EXPECT_EQ(W("a\xC3"), u"a\uFFFD");       // truncated sequence
    EXPECT_EQ(W("\xC0\xAF"), u"\uFFFD");     // overlong form
    EXPECT_EQ(W("\xED\xA0\x80"), u"\uFFFD"); // a surrogate written as UTF-8
    const char16_t lone[] = {0xD800, u'x'};
    EXPECT_EQ(BstrToAnsi(lone, 2), "\xEF\xBF\xBDx");
}

TEST(Wtoi, ReadsLeadingDigitsAndClamps)
{
    const struct
    {
        const char16_t* pszText;
        int nExpected;
    } cases[] = {
        {u"12", 12},
        {u"12abc", 12},
        {u"abc", 0},
        {u"", 0},
        {u"  -7", -7},
        {u"+5", 5},
        {u"0x10", 0},
        {u"2147483647", INT_MAX},
        {u"99999999999", INT_MAX},
        {u"-2147483648", INT_MIN},
        {u"-99999999999", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(_wtoi(c.pszText), c.nExpected)
            << BstrToAnsi(c.pszText, std::char_traits<char16_t>::length(c.pszText));
    EXPECT_EQ(_wtoi(nullptr), 0);
}

TEST(Variant, CopyIsDeepAndChangeTypeConvertsWholeNumbers)
{
    _variant_t v1(_bstr_t("42"));
    _variant_t v2 = v1;
    ASSERT_EQ(v2.vt, VT_BSTR);
    EXPECT_NE(v1.bstrVal, v2.bstrVal);

    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &v1, 0, VT_I4), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);

    _variant_t bad(_bstr_t("12abc"));
    EXPECT_EQ(VariantChangeType(&out, &bad, 0, VT_I4), DISP_E_TYPEMISMATCH);
    _variant_t big(_bstr_t("99999999999"));
    EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_I4), DISP_E_OVERFLOW);

    _variant_t n(LONG{-3});
    ASSERT_EQ(VariantChangeType(&out, &n, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrToAnsi(out.bstrVal, SysStringLen(out.bstrVal)), "-3");
    VariantClear(&out);
}

TEST(SafeArray, BoundsCheckedElementAccess)
{
    const SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}}; // first index 0..1, second 1..3
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    LONG l = 0;
    LONG u = 0;
    ASSERT_EQ(SafeArrayGetLBound(psa, 2, &l), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(psa, 2, &u), S_OK);
    EXPECT_EQ(l, 1);
    EXPECT_EQ(u, 3);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &u), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 0, &u), DISP_E_BADINDEX);

    const struct
    {
        LONG idx[2];
        HRESULT hr;
    } cases[] = {
        {{0, 1}, S_OK},
        {{1, 3}, S_OK},
        {{2, 1}, DISP_E_BADINDEX},
        {{-1, 1}, DISP_E_BADINDEX},
        {{0, 0}, DISP_E_BADINDEX},
        {{0, 4}, DISP_E_BADINDEX},
        {{1, INT32_MIN}, DISP_E_BADINDEX},
    };
    _variant_t v(_bstr_t("x"));
    for (const auto& c : cases)
        EXPECT_EQ(SafeArrayPutElement(psa, c.idx, &v), c.hr) << c.idx[0] << "," << c.idx[1];

    const LONG at[2] = {1, 3};
    _variant_t id(LONG{7});
    ASSERT_EQ(SafeArrayPutElement(psa, at, &id), S_OK);
    VARIANT got;
    ASSERT_EQ(SafeArrayGetElement(psa, at, &got), S_OK);
    EXPECT_EQ(got.vt, VT_I4);
    EXPECT_EQ(got.lVal, 7);
    VariantClear(&got);
    const LONG untouched[2] = {1, 2};
    ASSERT_EQ(SafeArrayGetElement(psa, untouched, &got), S_OK);
    EXPECT_EQ(got.vt, VT_EMPTY);

    SAFEARRAY* pCopy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &pCopy), S_OK);
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

    // The copy outlives its source and holds its own texts.
    const LONG first[2] = {0, 1};
    ASSERT_EQ(SafeArrayGetElement(pCopy, first, &got), S_OK);
    EXPECT_EQ(BstrToAnsi(got.bstrVal, SysStringLen(got.bstrVal)), "x");
    VariantClear(&got);
    EXPECT_EQ(SafeArrayDestroy(pCopy), S_OK);
}

TEST(SafeArray, RefusesSizesThatWouldOverflow)
{
    const SAFEARRAYBOUND huge[4] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 4, huge), nullptr);
    const SAFEARRAYBOUND one = {1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_UNKNOWN, 1, &one), nullptr);
    SAFEARRAY* pEmpty = SafeArrayCreateVector(VT_BSTR, 0, 0);
    ASSERT_NE(pEmpty, nullptr);
    const LONG i0 = 0;
    EXPECT_EQ(SafeArrayPutElement(pEmpty, &i0, u"x"), DISP_E_BADINDEX);
    SafeArrayDestroy(pEmpty);
}

TEST(SafeArray, VariantOwningAnArrayFreesIt)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(psa, nullptr);
    const LONG i1 = 1;
    ASSERT_EQ(SafeArrayPutElement(psa, &i1, _bstr_t("author").GetBSTR()), S_OK);
    _variant_t v;
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = psa;
    _variant_t copy = v; // deep copy of the array
    EXPECT_NE(copy.parray, psa);
}

TEST(CoCreate, LooksClassesUpInTheProcessRegistry)
{
    const CLSID clsidUnknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(clsidUnknown, nullptr, CLSCTX_INPROC_SERVER, IUnknown::iid, &pv),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(pv, nullptr);

    CComPtr<IXMLDOMDocument2> spDoc;
    EXPECT_EQ(spDoc.CoCreateInstance(CLSID_DOMDocument), S_OK);
    EXPECT_TRUE(spDoc);
    CComPtr<IXMLDOMNode> spNode;
    EXPECT_EQ(spDoc.QueryInterface(spNode), S_OK);
    CComPtr<IXMLDOMNodeList> spList;
    EXPECT_EQ(spDoc.QueryInterface(spList), E_NOINTERFACE);

    IUnknown* pOuter = spDoc.Get();
    EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, pOuter, CLSCTX_INPROC_SERVER, IUnknown::iid, &pv),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_LOCAL_SERVER, IUnknown::iid, &pv),
              REGDB_E_CLASSNOTREG);
}

TEST(CoCreate, ApartmentModelIsPerThread)
{
    std::thread t(
        []
        {
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
            CoUninitialize();
            CoUninitialize();
        });
    t.join();
}
