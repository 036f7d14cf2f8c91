#include "tests/directory/DirectoryFixtures.h"

#include <string>
#include <vector>

namespace
{
using SessionCacheComponent = CSessionCacheComponentTest;

std::string Ansi(const _bstr_t& bstr)
{
    return bstr.ToAnsi();
}
} // namespace

TEST(SessionCacheRegistration, AClassWhoseModuleIsMissingIsNotRegistered)
{
    CMachineConfig::Instance().Reset();
    const CLSID clsidOther = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    CMachineConfig::Instance().SetInprocServer("{12345678-0001-0002-0102-030405060708}",
                                               "/nonexistent/module.so");
    CComPtr<IKSSessionCache> sp;
    EXPECT_EQ(sp.CoCreateInstance(clsidOther, CLSCTX_ALL), REGDB_E_CLASSNOTREG);
    CMachineConfig::Instance().Reset();
}

TEST_F(SessionCacheComponent, ItemsOutliveTheInstanceThatAddedThem)
{
    const _bstr_t bstrCache = CacheName();
    ASSERT_EQ(NewInstance()->Initialize(), S_OK);
    ASSERT_EQ(NewInstance()->CreateCache(bstrCache, 3000, 60), S_OK);
    ASSERT_EQ(NewInstance()->AddItemSessionProperty(
                  _bstr_t("ann"), _bstr_t("s1"), _bstr_t("msExchUserCulture"), _bstr_t("fr-FR"), bstrCache),
              S_OK);
    _bstr_t bstrData;
    EXPECT_EQ(NewInstance()->GetItemSessionProperty(_bstr_t("ann"), _bstr_t("s1"),
                                                    _bstr_t("msExchUserCulture"), bstrData.GetAddress(),
                                                    bstrCache),
              S_OK);
    EXPECT_EQ(Ansi(bstrData), "fr-FR");
    // Creating the cache again keeps what it holds.
    EXPECT_EQ(NewInstance()->CreateCache(bstrCache, 3000, 60), S_FALSE);
    EXPECT_EQ(NewInstance()->GetItemSessionProperty(_bstr_t("ann"), _bstr_t("s1"),
                                                    _bstr_t("msExchUserCulture"), bstrData.GetAddress(),
                                                    bstrCache),
              S_OK);
    EXPECT_EQ(Ansi(bstrData), "fr-FR");
}

TEST_F(SessionCacheComponent, KeysSessionsPropertiesAndKindsAreKeptApart)
{
    const _bstr_t bstrCache = CacheName();
    CComPtr<IKSSessionCache> sp = NewInstance();
    ASSERT_EQ(sp->CreateCache(bstrCache, 100, 60), S_OK);
    ASSERT_EQ(
        sp->AddItemSessionProperty(_bstr_t("ann"), _bstr_t("s1"), _bstr_t("p"), _bstr_t("v3"), bstrCache),
        S_OK);
    ASSERT_EQ(sp->AddItemSession(_bstr_t("ann"), _bstr_t("s1"), _bstr_t("v2"), bstrCache), S_OK);
    ASSERT_EQ(sp->AddItem(_bstr_t("ann"), _bstr_t("v1"), bstrCache), S_OK);
    ASSERT_EQ(sp->AddItemSessionProperty(_bstr_t("ann"), _bstr_t("s1"), _bstr_t("q"), _bstr_t(""), bstrCache),
              S_OK);

    _bstr_t bstr;
    EXPECT_EQ(sp->GetItem(_bstr_t("ann"), bstr.GetAddress(), bstrCache), S_OK);
    EXPECT_EQ(Ansi(bstr), "v1");
    EXPECT_EQ(sp->GetItemSession(_bstr_t("ann"), _bstr_t("s1"), bstr.GetAddress(), bstrCache), S_OK);
    EXPECT_EQ(Ansi(bstr), "v2");
    EXPECT_EQ(
        sp->GetItemSessionProperty(_bstr_t("ann"), _bstr_t("s1"), _bstr_t("p"), bstr.GetAddress(), bstrCache),
        S_OK);
    EXPECT_EQ(Ansi(bstr), "v3");
    // An empty text is a value, not a miss.
    EXPECT_EQ(
        sp->GetItemSessionProperty(_bstr_t("ann"), _bstr_t("s1"), _bstr_t("q"), bstr.GetAddress(), bstrCache),
        S_OK);
    EXPECT_FALSE(bstr.IsNull());
    EXPECT_EQ(bstr.length(), 0u);

    struct CMiss
    {
        const char* m_pszKey;
        const char* m_pszSession;
        const char* m_pszProperty;
    };
    for (const CMiss& m :
         {CMiss{"ANN", "s1", "p"}, CMiss{"ann", "s2", "p"}, CMiss{"ann", "s1", "P"}, CMiss{"bob", "s1", "p"}})
    {
        EXPECT_EQ(sp->GetItemSessionProperty(_bstr_t(m.m_pszKey), _bstr_t(m.m_pszSession),
                                             _bstr_t(m.m_pszProperty), bstr.GetAddress(), bstrCache),
                  S_FALSE)
            << m.m_pszKey << " " << m.m_pszSession << " " << m.m_pszProperty;
        EXPECT_TRUE(bstr.IsNull());
    }
    EXPECT_EQ(sp->GetItem(_bstr_t("ann"), bstr.GetAddress(), _bstr_t("no such cache")),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    EXPECT_EQ(sp->AddItem(_bstr_t("ann"), _bstr_t("v"), _bstr_t("no such cache")),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    EXPECT_EQ(sp->GetItem(_bstr_t("ann"), nullptr, bstrCache), E_POINTER);
}

TEST_F(SessionCacheComponent, AFullCacheDropsItsOldestItem)
{
    const _bstr_t bstrCache = CacheName();
    CComPtr<IKSSessionCache> sp = NewInstance();
    ASSERT_EQ(sp->CreateCache(bstrCache, 2, 60), S_OK);
    ASSERT_EQ(sp->AddItem(_bstr_t("a"), _bstr_t("1"), bstrCache), S_OK);
    ASSERT_EQ(sp->AddItem(_bstr_t("b"), _bstr_t("2"), bstrCache), S_OK);
    ASSERT_EQ(sp->AddItem(_bstr_t("a"), _bstr_t("1b"), bstrCache), S_OK); // renews a
    ASSERT_EQ(sp->AddItem(_bstr_t("c"), _bstr_t("3"), bstrCache), S_OK);  // b goes
    DWORD nCount = 0;
    EXPECT_EQ(sp->GetItemCount(bstrCache, &nCount), S_OK);
    EXPECT_EQ(nCount, 2u);
    _bstr_t bstr;
    EXPECT_EQ(sp->GetItem(_bstr_t("b"), bstr.GetAddress(), bstrCache), S_FALSE);
    EXPECT_EQ(sp->GetItem(_bstr_t("a"), bstr.GetAddress(), bstrCache), S_OK);
    EXPECT_EQ(Ansi(bstr), "1b");
    EXPECT_EQ(sp->GetItem(_bstr_t("c"), bstr.GetAddress(), bstrCache), S_OK);
}
