#include "AuthTestSupport.h"

#include "common/StringHelpers.h"
#include "filter/AuthCompleteHelper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
class ViewerRedirect : public ::testing::Test
{
protected:
    void SetUp() override { GeneralSettings()->m_csVirtualFolderName = "X-Dorvel"; }
};

struct RedirectCase
{
    const char* m_pszName;
    DWORD m_dwKind;
    std::string m_strURL; // path and query as the browser sent them
    std::string m_strRewritten;
    bool m_bHttps = false;
    BOOL m_bCacheMultimedia = FALSE;
};

void RunCases(const std::vector<RedirectCase>& vecCases)
{
    for (const RedirectCase& c : vecCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CAuthRequest request(c.m_strURL, RF_FAKE_DORVEL_VIRTUAL_FOLDER, c.m_dwKind);
        request.RequestInfo().SetServerVariable("HTTPS", c.m_bHttps ? "on" : "off");
        std::string strURL;
        std::string strQuery;
        request.RequestInfo().GetServerVariable("URL", strURL);
        request.RequestInfo().GetServerVariable("QUERY_STRING", strQuery);
        EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery,
                                                                 c.m_bCacheMultimedia),
                  0u);
        EXPECT_EQ(request.m_vecHeadersSet,
                  (std::vector<std::pair<std::string, std::string>>{{"URL", c.m_strRewritten}}));
        EXPECT_EQ(request.m_context.ControlMessage, CM_HANDLED_REDIRECTED);
    }
}

const std::string SHOW_PATH = "/X-Dorvel/cmd/show/file/abc/def.doc";
const std::string SHOW_HASH = HashToDecimalString("/cmd/show/file/abc/def.doc");

TEST_F(ViewerRedirect, Kinds)
{
    RunCases({
        {"close", 21, "/X-Dorvel/close.htm?path=abc", "/X-Dorvel/bin/dorvel.srf?cmd=close&path=path=abc"},
        {"print", 23, "/X-Dorvel/print.htm?p=1&q=2", "/X-Dorvel/bin/dorvel.srf?cmd=print&path=p=1&q=2"},
        {"menu", 24, "/X-Dorvel/menu.htm?m=3", "/X-Dorvel/bin/dorvel.srf?cmd=menu&m=3"},
        {"GetFile.js", 25, "/X-Dorvel/GetFile.js?v=1", "/X-Dorvel/bin/dorvel.srf?cmd=GetFile&v=1"},
        {"show, nothing to copy", 22, SHOW_PATH,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0"},
        {"show copies aid, mid and m65l64x", 22, SHOW_PATH + "?aid=A1&mid=M1&m65l64x=Z",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&aid=A1&mid=M1&m65l64x=Z"},
        {"show copies bld, thm and prexp only together", 22, SHOW_PATH + "?prexp=P&bld=B&thm=T",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&bld=B&thm=T&prexp=P"},
        {"show without prexp copies none of the three", 22, SHOW_PATH + "?bld=B&thm=T&mid=M",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&mid=M"},
    });
}

TEST_F(ViewerRedirect, MultimediaKey)
{
    RunCases({
        {"matching hash over HTTPS, caching on", 22, SHOW_PATH + "?MMKey" + SHOW_HASH,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=1", true, TRUE},
        {"matching hash over HTTPS, caching off", 22, SHOW_PATH + "?MMKey" + SHOW_HASH,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0", true, FALSE},
        {"matching hash over plain HTTP", 22, SHOW_PATH + "?MMKey" + SHOW_HASH,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0", false, TRUE},
        {"wrong hash over HTTPS", 22, SHOW_PATH + "?MMKey1" + SHOW_HASH,
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0", true, TRUE},
        {"the key ends at '&', without regard to case", 22, SHOW_PATH + "?mmkey" + SHOW_HASH + "&x=1",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=1", true, TRUE},
        {"an emptied query string on other kinds", 21, "/X-Dorvel/close.htm?MMKey12345&path=abc",
         "/X-Dorvel/bin/dorvel.srf?cmd=close&path="},
    });
    // A front end that ended the secure connection says so in its own header.
    CAuthRequest request(SHOW_PATH + "?MMKey" + SHOW_HASH, RF_FAKE_DORVEL_VIRTUAL_FOLDER, 22);
    request.RequestInfo().SetServerVariable("HTTPS", "off");
    request.RequestInfo().SetServerVariable("HTTP_Front-End-HTTPS", "ON");
    std::string strURL = SHOW_PATH;
    std::string strQuery = "MMKey" + SHOW_HASH;
    EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, TRUE), 0u);
    ASSERT_EQ(request.m_vecHeadersSet.size(), 1u);
    EXPECT_EQ(request.m_vecHeadersSet[0].second,
              "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=1");
    EXPECT_TRUE(strQuery.empty());
}

TEST_F(ViewerRedirect, HostileValuesStayInsideTheirParameter)
{
    RunCases({
        {"a value that would add parameters", 22,
         SHOW_PATH + "?aid=1%26cmd%3Dclose%23x&mid=%0D%0ALocation:%20y",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=abc/def.doc&CMC245=0&aid=1%26cmd%3Dclose%23x"
         "&mid=%0D%0ALocation%3A%20y"},
        {"a show path that would add parameters", 22, "/X-Dorvel/cmd/show/file/a&cmd=close#b c/d.doc",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=a%26cmd%3Dclose%23b%20c/d.doc&CMC245=0"},
        {"escapes already in the show path stay", 22, "/X-Dorvel/cmd/show/file/a%20b/c.doc",
         "/X-Dorvel/bin/dorvel.srf?cmd=show&cp2lta3=a%20b/c.doc&CMC245=0"},
        {"a query string that would end the URL", 24, "/X-Dorvel/menu.htm?m=3#frag ment\"<>",
         "/X-Dorvel/bin/dorvel.srf?cmd=menu&m=3%23frag%20ment%22%3C%3E"},
    });
}

std::string Base64(std::string strText)
{
    Base64EncodeInPlace(strText);
    return strText;
}

TEST_F(ViewerRedirect, ViewCarriesOWALevelAndOnlyTheWorkersOwn)
{
    COWASettings owa(-1); // types on no list: force-save
    const std::string strDocx = Base64("docs/a.b.docx");
    const std::string strEncodedDocx = "ZG9jcy9hLmIuZG9jeA%3D%3D";
    RunCases({
        {"fn names the file", 20, "/X-Dorvel/bin/view.htm?fn=" + strEncodedDocx + "&id=7",
         "/X-Dorvel/bin/dorvel.srf?fn=" + strEncodedDocx + "&id=7&owaal=2"},
        {"allowed type", 20, "/X-Dorvel/bin/view.htm?fn=" + Base64("x/report.pdf"),
         "/X-Dorvel/bin/dorvel.srf?fn=" + Base64("x/report.pdf") + "&owaal=3"},
        {"WR340U1 when fn is absent", 20, "/X-Dorvel/bin/view.htm?WR340U1=" + Base64("a/b/run.exe"),
         "/X-Dorvel/bin/dorvel.srf?WR340U1=" + Base64("a/b/run.exe") + "&owaal=1"},
        {"the client's own levels go", 20,
         "/X-Dorvel/bin/view.htm?owaal=3&fn=" + Base64("run.exe") + "&OWAAL=3&%6Fwaal=3&owaal&x=owaal",
         "/X-Dorvel/bin/dorvel.srf?fn=" + Base64("run.exe") + "&x=owaal&owaal=1"},
        {"names a reader could take for the level", 20,
         "/X-Dorvel/bin/view.htm?fn=" + Base64("run.exe") + "&owaal+=3&owaal%00x=3&%20CMC245=1&cmc245%09=1",
         "/X-Dorvel/bin/dorvel.srf?fn=" + Base64("run.exe") + "&owaal=1"},
        {"a query string emptied by MMKey", 20, "/X-Dorvel/bin/view.htm?MMKey1&fn=" + Base64("a.pdf"),
         "/X-Dorvel/bin/dorvel.srf?&owaal=3"},
    });
    // A public computer's client is never let at files directly.
    CAuthRequest request("/X-Dorvel/bin/view.htm?fn=" + Base64("x/report.pdf"),
                         RF_FAKE_DORVEL_VIRTUAL_FOLDER | RF_FBA_CLIENT | RF_FBA_PUBLIC_CLIENT, 20);
    std::string strURL = "/X-Dorvel/bin/view.htm";
    std::string strQuery = "fn=" + Base64("x/report.pdf");
    EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, FALSE), 0u);
    ASSERT_EQ(request.m_vecHeadersSet.size(), 1u);
    EXPECT_EQ(request.m_vecHeadersSet[0].second,
              "/X-Dorvel/bin/dorvel.srf?fn=" + Base64("x/report.pdf") + "&owaal=1");
}

TEST_F(ViewerRedirect, ViewWhoseLevelCannotBeHad)
{
    COWASettings owa(5); // an action OWA does not define
    CAuthRequest request("/X-Dorvel/bin/view.htm?fn=" + Base64("a.xyz"), RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
    std::string strURL = "/X-Dorvel/bin/view.htm";
    std::string strQuery = "fn=" + Base64("a.xyz");
    EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, FALSE), 13u);
    EXPECT_TRUE(request.m_vecHeadersSet.empty());
}

TEST_F(ViewerRedirect, ShowWithoutAFileAndRefusals)
{
    {
        CAuthRequest request("/X-Dorvel/other/abc.doc", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 22);
        std::string strURL = "/X-Dorvel/other/abc.doc";
        std::string strQuery;
        EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, FALSE),
                  0u);
        EXPECT_TRUE(request.m_vecHeadersSet.empty());
        EXPECT_EQ(request.m_context.ControlMessage, CM_NONE);
    }
    {
        // A query string before the show path leaves no file to show.
        CAuthRequest request("/X-Dorvel/x", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 22);
        std::string strURL = "/X-Dorvel/x?y=/cmd/show/file/abc.doc";
        std::string strQuery;
        EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, FALSE),
                  13u);
        EXPECT_TRUE(request.m_vecHeadersSet.empty());
    }
    {
        CTraceCapture trace;
        CAuthRequest request("/X-Dorvel/close.htm?path=abc", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 21);
        request.m_bSetHeaderResult = FALSE;
        std::string strURL = "/X-Dorvel/close.htm";
        std::string strQuery = "path=abc";
        EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, FALSE),
                  7u);
        EXPECT_EQ(request.m_context.ControlMessage, CM_NONE);
        EXPECT_TRUE(
            trace.Has("[CAuthCompleteHelper::ProcessCmd] CBaseNotifications::SetWorkerHeader failed when "
                      "redirecting URL to </X-Dorvel/bin/dorvel.srf?cmd=close&path=path=abc>."));
        EXPECT_TRUE(
            trace.Has("[CAuthCompleteHelper::RedirectDorvelFakeRequest] ProcessCmd failed to redirect the "
                      "fake close request."));
    }
    {
        // A view request must name its file.
        CAuthRequest request("/X-Dorvel/bin/view.htm?id=1", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
        std::string strURL = "/X-Dorvel/bin/view.htm";
        std::string strQuery = "id=1";
        EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(request.Record(), strURL, strQuery, FALSE),
                  13u);
        CAuthRequest empty("/X-Dorvel/bin/view.htm?fn=", RF_FAKE_DORVEL_VIRTUAL_FOLDER, 20);
        strQuery = "fn=";
        EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(empty.Record(), strURL, strQuery, FALSE),
                  13u);
        EXPECT_TRUE(request.m_vecHeadersSet.empty());
        EXPECT_TRUE(empty.m_vecHeadersSet.empty());
    }
    std::string strURL;
    std::string strQuery;
    EXPECT_EQ(CAuthCompleteHelper::RedirectDorvelFakeRequest(nullptr, strURL, strQuery, FALSE), 7u);
}
} // namespace
