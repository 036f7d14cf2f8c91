#include "platform/MsXml.h"
#include "platform/ComSupport.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace
{
class MsXmlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_spDoc.CoCreateInstance(CLSID_DOMDocument), S_OK);
        ASSERT_EQ(m_spDoc->put_async(VARIANT_FALSE), S_OK);
    }
    std::string Write(const std::string& sName, const std::string& sText)
    {
        const std::string sPath = (m_dir / sName).string();
        std::ofstream(sPath, std::ios::binary) << sText;
        return sPath;
    }

    HRESULT Load(const std::string& sPath, VARIANT_BOOL* pbOk)
    {
        return m_spDoc->load(_variant_t(sPath.c_str()), pbOk);
    }

    static std::string Text(IXMLDOMNode* pNode)
    {
        _bstr_t b;
        EXPECT_EQ(pNode->get_text(b.GetAddress()), S_OK);
        return b.ToAnsi();
    }

    static std::string Attr(IXMLDOMNode* pNode, const char* pszName)
    {
        CComPtr<IXMLDOMNamedNodeMap> spMap;
        if (pNode->get_attributes(&spMap) != S_OK)
            return "<no map>";
        CComPtr<IXMLDOMNode> spAttr;
        if (spMap->getNamedItem(_bstr_t(pszName), &spAttr) != S_OK)
            return "<absent>";
        return Text(spAttr);
    }

    CTempDir m_temp{"dlsw_msxml"};
    const std::filesystem::path& m_dir = m_temp.Path();
    CComPtr<IXMLDOMDocument2> m_spDoc;
};
} // namespace

TEST_F(MsXmlTest, SelectsRelativeToANodeAndReadsAttributes)
{
    VARIANT_BOOL bOk = VARIANT_FALSE;
    ASSERT_EQ(
        Load(Write("a.xml", "<SETTINGS><GENERALSETTINGS><ITEM ID=\"1\" VALUE=\"x\"/><ITEM ID=\"2\"/>"
                            "</GENERALSETTINGS><SETTING ID=\"3\"><ITEMS><ITEM ID=\"9\"/></ITEMS></SETTING>"
                            "</SETTINGS>"),
             &bOk),
        S_OK);
    EXPECT_EQ(bOk, VARIANT_TRUE);

    CComPtr<IXMLDOMNode> spGeneral;
    ASSERT_EQ(m_spDoc->selectSingleNode(_bstr_t("SETTINGS/GENERALSETTINGS"), &spGeneral), S_OK);
    CComPtr<IXMLDOMNodeList> spItems;
    ASSERT_EQ(spGeneral->selectNodes(_bstr_t("ITEM"), &spItems), S_OK);
    LONG n = 0;
    ASSERT_EQ(spItems->get_length(&n), S_OK);
    EXPECT_EQ(n, 2); // only direct children: the set's ITEM is not among them

    CComPtr<IXMLDOMNode> spFirst;
    ASSERT_EQ(spItems->get_item(0, &spFirst), S_OK);
    EXPECT_EQ(Attr(spFirst, "ID"), "1");
    EXPECT_EQ(Attr(spFirst, "VALUE"), "x");
    EXPECT_EQ(Attr(spFirst, "DESCR"), "<absent>");
    EXPECT_EQ(Attr(spFirst, "id"), "<absent>"); // names are case-sensitive

    CComPtr<IXMLDOMNamedNodeMap> spMap;
    ASSERT_EQ(spFirst->get_attributes(&spMap), S_OK);
    CComPtr<IXMLDOMNode> spId;
    ASSERT_EQ(spMap->getNamedItem(_bstr_t("ID"), &spId), S_OK);
    _variant_t v;
    ASSERT_EQ(spId->get_nodeTypedValue(&v), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);

    CComPtr<IXMLDOMNode> spNone;
    EXPECT_EQ(spItems->get_item(2, &spNone), S_FALSE);
    EXPECT_FALSE(spNone);
    EXPECT_EQ(m_spDoc->selectSingleNode(_bstr_t("SETTINGS/HIGHSPEED"), &spNone), S_FALSE);
    EXPECT_FALSE(spNone);
    CComPtr<IXMLDOMNodeList> spEmpty;
    ASSERT_EQ(spGeneral->selectNodes(_bstr_t("APP"), &spEmpty), S_OK);
    ASSERT_EQ(spEmpty->get_length(&n), S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(m_spDoc->selectSingleNode(_bstr_t("SETTINGS/["), &spNone), E_FAIL);
    EXPECT_EQ(m_spDoc->selectNodes(_bstr_t("count(SETTINGS)"), &spEmpty), E_FAIL);
}

TEST_F(MsXmlTest, ParseErrorsAndMissingFilesLeaveAnEmptyDocument)
{
    VARIANT_BOOL bOk = VARIANT_TRUE;
    ASSERT_EQ(Load(Write("bad.xml", "<SETTINGS>\n  <ITEM ID=\"1\">\n</SETTINGS>"), &bOk), S_FALSE);
    EXPECT_EQ(bOk, VARIANT_FALSE);
    CComPtr<IXMLDOMParseError> spErr;
    ASSERT_EQ(m_spDoc->get_parseError(&spErr), S_OK);
    LONG nCode = 0;
    LONG nLine = 0;
    LONG nPos = 0;
    ASSERT_EQ(spErr->get_errorCode(&nCode), S_OK);
    ASSERT_EQ(spErr->get_line(&nLine), S_OK);
    ASSERT_EQ(spErr->get_linepos(&nPos), S_OK);
    EXPECT_LT(nCode, 0);
    EXPECT_EQ(nLine, 3);
    EXPECT_GT(nPos, 0);
    _bstr_t reason;
    ASSERT_EQ(spErr->get_reason(reason.GetAddress()), S_OK);
    EXPECT_FALSE(reason.ToAnsi().empty());
    _bstr_t url;
    ASSERT_EQ(spErr->get_url(url.GetAddress()), S_OK);
    EXPECT_NE(url.ToAnsi().find("bad.xml"), std::string::npos);
    CComPtr<IXMLDOMNode> spRoot;
    EXPECT_EQ(m_spDoc->get_documentElement(&spRoot), S_FALSE);

    ASSERT_EQ(Load((m_dir / "missing.xml").string(), &bOk), S_FALSE);
    spErr.Release();
    ASSERT_EQ(m_spDoc->get_parseError(&spErr), S_OK);
    ASSERT_EQ(spErr->get_errorCode(&nCode), S_OK);
    EXPECT_EQ(nCode, static_cast<LONG>(0x80070002));

    for (const char* pszBroken : {"", "   ", "<a>", "<a></b>", "not xml", "<a/><b/>"})
    {
        ASSERT_EQ(m_spDoc->loadXML(_bstr_t(pszBroken), &bOk), S_FALSE) << pszBroken;
        spErr.Release();
        ASSERT_EQ(m_spDoc->get_parseError(&spErr), S_OK);
        ASSERT_EQ(spErr->get_errorCode(&nCode), S_OK);
        EXPECT_LT(nCode, 0) << pszBroken;
    }
}

// What stands at a path where a file should be is named as it is; a pipe is not waited on.
TEST_F(MsXmlTest, APathThatNamesNoFileSaysWhatItNames)
{
    std::filesystem::create_directory(m_dir / "folder.xml");
    ASSERT_EQ(::mkfifo((m_dir / "pipe.xml").c_str(), 0600), 0);
    struct Case
    {
        const char* m_pszName;
        LONG m_nCode;
        const char* m_pszReason;
    };
    const std::vector<Case> cases = {
        {"folder.xml", static_cast<LONG>(0x80070150), "The path names a folder, not a file."},
        {"pipe.xml", static_cast<LONG>(0x8007000D), "The path names no regular file."},
        {"missing.xml", static_cast<LONG>(0x80070002), "The system cannot find the file specified."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        VARIANT_BOOL bOk = VARIANT_TRUE;
        ASSERT_EQ(Load((m_dir / c.m_pszName).string(), &bOk), S_FALSE);
        EXPECT_EQ(bOk, VARIANT_FALSE);
        CComPtr<IXMLDOMParseError> spErr;
        ASSERT_EQ(m_spDoc->get_parseError(&spErr), S_OK);
        LONG nCode = 0;
        ASSERT_EQ(spErr->get_errorCode(&nCode), S_OK);
        EXPECT_EQ(nCode, c.m_nCode);
        _bstr_t reason;
        ASSERT_EQ(spErr->get_reason(reason.GetAddress()), S_OK);
        EXPECT_EQ(reason.ToAnsi(), c.m_pszReason);
    }
}

TEST_F(MsXmlTest, WindowsDriveZIsTheRoot)
{
    const std::string sPath = Write("z.xml", "<R/>");
    std::string sWin = "Z:" + sPath;
    for (char& c : sWin)
    {
        if (c == '/')
            c = '\\';
    }
    VARIANT_BOOL bOk = VARIANT_FALSE;
    EXPECT_EQ(Load(sWin, &bOk), S_OK);
    EXPECT_EQ(bOk, VARIANT_TRUE);
}

TEST_F(MsXmlTest, ExternalEntitiesAreNeitherFetchedNorExpanded)
{
    const std::string sSecret = Write("secret.txt", "SECRET-CONTENT");
    const std::string sXml = "<!DOCTYPE R [<!ENTITY e SYSTEM \"file://" + sSecret +
                             "\"><!ENTITY n SYSTEM \"http://127.0.0.1:9/x\">]><R A=\"1\">&e;&n;</R>";
    VARIANT_BOOL bOk = VARIANT_FALSE;
    ASSERT_EQ(Load(Write("xxe.xml", sXml), &bOk), S_OK);
    CComPtr<IXMLDOMNode> spRoot;
    ASSERT_EQ(m_spDoc->get_documentElement(&spRoot), S_OK);
    EXPECT_EQ(Text(spRoot).find("SECRET"), std::string::npos);
}

TEST_F(MsXmlTest, BuildsAndSavesABareTreeWithPrivateMode)
{
    auto Create = [&](LONG nType, const char* pszName)
    {
        CComPtr<IXMLDOMNode> sp;
        EXPECT_EQ(m_spDoc->createNode(_variant_t(nType), _bstr_t(pszName), nullptr, &sp), S_OK);
        return sp;
    };
    CComPtr<IXMLDOMNode> spRoot = Create(NODE_ELEMENT, "SERVICEWORKERS");
    ASSERT_EQ(m_spDoc->insertBefore(spRoot, _variant_t(), nullptr), S_OK);
    CComPtr<IXMLDOMNode> spSw = Create(NODE_ELEMENT, "SW");
    ASSERT_EQ(spRoot->insertBefore(spSw, _variant_t(), nullptr), S_OK);
    CComPtr<IXMLDOMNamedNodeMap> spMap;
    ASSERT_EQ(spSw->get_attributes(&spMap), S_OK);
    for (const char* pszName : {"ID", "DESCR"})
    {
        CComPtr<IXMLDOMNode> spAttr = Create(NODE_ATTRIBUTE, pszName);
        CComPtr<IXMLDOMNode> spAdded;
        ASSERT_EQ(spMap->setNamedItem(spAttr, &spAdded), S_OK);
        ASSERT_EQ(spAdded->put_text(_bstr_t(std::string(pszName) == "ID" ? "3" : "a<b & \"c\"").GetBSTR()),
                  S_OK);
    }
    // Replacing an attribute that is still held keeps the held node readable.
    CComPtr<IXMLDOMNode> spOldId;
    ASSERT_EQ(spMap->getNamedItem(_bstr_t("ID"), &spOldId), S_OK);
    CComPtr<IXMLDOMNode> spNewId = Create(NODE_ATTRIBUTE, "ID");
    ASSERT_EQ(spMap->setNamedItem(spNewId, nullptr), S_OK);
    ASSERT_EQ(spNewId->put_text(_bstr_t("4").GetBSTR()), S_OK);
    EXPECT_EQ(Text(spOldId), "3");

    // A second document element and a cycle are refused.
    EXPECT_EQ(m_spDoc->insertBefore(Create(NODE_ELEMENT, "OTHER"), _variant_t(), nullptr), E_FAIL);
    EXPECT_EQ(spSw->insertBefore(spRoot, _variant_t(), nullptr), E_INVALIDARG);
    CComPtr<IXMLDOMNode> spBad;
    EXPECT_EQ(m_spDoc->createNode(_variant_t(LONG{1}), _bstr_t("1bad"), nullptr, &spBad), E_FAIL);

    // Insertion before a reference node keeps document order.
    CComPtr<IXMLDOMNode> spFirst = Create(NODE_ELEMENT, "FIRST");
    _variant_t ref;
    ref.vt = VT_UNKNOWN;
    ref.punkVal = spSw.Get();
    spSw->AddRef();
    ASSERT_EQ(spRoot->insertBefore(spFirst, ref, nullptr), S_OK);

    const std::string sPath = (m_dir / "out.xml").string();
    ASSERT_EQ(m_spDoc->save(_variant_t(sPath.c_str())), S_OK);
    std::stringstream ss;
    ss << std::ifstream(sPath).rdbuf();
    EXPECT_EQ(
        ss.str(),
        "<SERVICEWORKERS><FIRST/><SW DESCR=\"a&lt;b &amp; &quot;c&quot;\" ID=\"4\"/></SERVICEWORKERS>\n");
    struct stat st = {};
    ASSERT_EQ(stat(sPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The saved file reads back the same.
    CComPtr<IXMLDOMDocument2> spOther;
    ASSERT_EQ(spOther.CoCreateInstance(CLSID_DOMDocument), S_OK);
    VARIANT_BOOL bOk = VARIANT_FALSE;
    ASSERT_EQ(spOther->load(_variant_t(sPath.c_str()), &bOk), S_OK);
    CComPtr<IXMLDOMNode> spSw2;
    ASSERT_EQ(spOther->selectSingleNode(_bstr_t("SERVICEWORKERS/SW"), &spSw2), S_OK);
    EXPECT_EQ(Attr(spSw2, "DESCR"), "a<b & \"c\"");

    EXPECT_NE(m_spDoc->save(_variant_t((m_dir / "no" / "such" / "dir.xml").string().c_str())), S_OK);
}

TEST_F(MsXmlTest, HeldNodesOutliveTheDocumentAndItsReloads)
{
    VARIANT_BOOL bOk = VARIANT_FALSE;
    ASSERT_EQ(m_spDoc->loadXML(_bstr_t("<A><B X=\"1\">t</B></A>"), &bOk), S_OK);
    CComPtr<IXMLDOMNode> spB;
    ASSERT_EQ(m_spDoc->selectSingleNode(_bstr_t("A/B"), &spB), S_OK);
    ASSERT_EQ(m_spDoc->loadXML(_bstr_t("<C/>"), &bOk), S_OK);
    m_spDoc.Release();
    EXPECT_EQ(Text(spB), "t");
    EXPECT_EQ(Attr(spB, "X"), "1");
    CComPtr<IXMLDOMNode> spUnattached;
    {
        CComPtr<IXMLDOMDocument2> spDoc;
        ASSERT_EQ(spDoc.CoCreateInstance(CLSID_DOMDocument), S_OK);
        ASSERT_EQ(spDoc->createNode(_variant_t(LONG{1}), _bstr_t("E"), nullptr, &spUnattached), S_OK);
    }
    ASSERT_EQ(spUnattached->put_text(_bstr_t("kept").GetBSTR()), S_OK);
    EXPECT_EQ(Text(spUnattached), "kept");
}

TEST_F(MsXmlTest, SelectionLanguageProperty)
{
    EXPECT_EQ(m_spDoc->setProperty(_bstr_t("SelectionLanguage"), _variant_t("XPath")), S_OK);
    _variant_t v;
    ASSERT_EQ(m_spDoc->getProperty(_bstr_t("SelectionLanguage"), &v), S_OK);
    EXPECT_EQ(_bstr_t(v.bstrVal, true).ToAnsi(), "XPath");
    EXPECT_EQ(m_spDoc->setProperty(_bstr_t("SelectionLanguage"), _variant_t("XQuery")), E_FAIL);
    EXPECT_EQ(m_spDoc->setProperty(_bstr_t("ProhibitDTD"), _variant_t(true)), E_FAIL);
}
