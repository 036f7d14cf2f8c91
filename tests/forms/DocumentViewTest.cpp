#include "common/StringHelpers.h"
#include "forms/DLFormFactory.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PremiumFormDocumentView.h"
#include "request/IISParm.h"
#include "tests/forms/DocViewTestSupport.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
const char* const HEAD =
    "<!-- OwaPage = ASP.forms_premium_documentview_aspx -->\n<html><head><title>Documents</title>"
    "<link type=\"text/css\" rel=\"stylesheet\" href=\"/owa/8.1.240.5/themes/base/premium.css\">"
    "<script src=\"/owa/8.1.240.5/scripts/premium/clistview.js\"></script>"
    "<script src=\"/owa/8.1.240.5/scripts/premium/uview.js\"></script></head>";
const char* const MENU = "<div id=divVwm><div id=divO>Open</div><div id=divS>Send</div></div>";
const char* const HEADER_TABLE = "<table id=tblH><tr><td>Name</td></tr></table>";

std::string DocumentList(const std::string& strRows)
{
    return std::string(HEAD) + "<body>" + MENU + HEADER_TABLE + "<table id=tblIL>" + strRows +
           "</table></body></html>";
}

std::string Row(const std::string& strFlags, const std::string& strId)
{
    return "<tr id=us><a t=\"" + strFlags + "\" id=\"" + strId + "\" href=#></a><td>n</td></tr>";
}

// The request's caching prefix, as the host hands over the header.
BOOL CachingPrefix(HTTP_FILTER_CONTEXT*, LPSTR pszName, LPVOID pvBuffer, DWORD* pdwSize)
{
    const std::string strValue = "c7f3a/cache/";
    if (std::strcmp(pszName, "HEADER_KS_CSMPREFIX") != 0)
    {
        SetLastError(1413);
        return FALSE;
    }
    const auto dwNeeded = static_cast<DWORD>(strValue.size() + 1);
    if (pvBuffer == nullptr || *pdwSize < dwNeeded)
    {
        *pdwSize = dwNeeded;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(pvBuffer, strValue.c_str(), dwNeeded);
    return TRUE;
}

// A request with a caching prefix, from a private computer.
struct CDocumentViewRecord : CFormRecord
{
    explicit CDocumentViewRecord(const std::string& strPage, DWORD dwFlags = RF_PREMIUM_CLIENT)
        : CFormRecord(strPage)
    {
        DocViewSettings();
        m_context.RequestFlags = dwFlags;
        m_fc.GetServerVariable = &CachingPrefix;
        m_context.pfc = &m_fc;
        m_context.m_spExchangeURL->m_strRootURL = "http://mail.example.test/owa/";
        m_context.m_spExchangeURL->m_strBasePath = "/owa/";
    }

    HTTP_FILTER_CONTEXT m_fc{};
};

// The one row's view cell and the attributes the link gets, as the row's edits put them into the page.
std::string RowAsSent(CDocumentViewRecord& record)
{
    const std::string strPage = record.m_page.Applied(record.m_list);
    const size_t nRow = strPage.find("<tr id=us>");
    return nRow == std::string::npos ? std::string()
                                     : strPage.substr(nRow, strPage.find("</tr>", nRow) - nRow);
}

std::string Attributes(const char* pszFlags, const std::string& strName)
{
    std::string strText = " ";
    const char* apszNames[] = {"_KSDLOpenVisible", "_KSDLOpenEnabled", "_KSDLSaveVisible",
                               "_KSDLSaveEnabled", "_KSDLTextVisible", "_KSDLTextEnabled",
                               "_KSDLRichVisible", "_KSDLRichEnabled"};
    for (size_t i = 0; i < 8; ++i)
        strText += std::string(apszNames[i]) + "=\"" + pszFlags[i] + "\" ";
    return strText + "_KSDLFilename=\"" + strName + "\" ";
}

std::string ViewCell(const std::string& strPath, const std::string& strName, const char* pszKind)
{
    return "<td id=_KSDLViewDocTD nowrap><a id=_KSDLViewDocA onDblClick=\"return false;\" "
           "onClick='javascript:f_viewAttachment(\"" +
           strPath + "\",2,\"" + strName + "\",\"" + pszKind +
           "\");' title=\"View &lt;it&gt;\" onMouseOver=\"this.style.cursor='hand';\"><img "
           "id=_KSDLViewDocIMG "
           "src=\"KSScripts/Dorvel/1.5/Find.GIF\" align='bottom' BORDER='0'></a></td>";
}

const std::string BLOCKED_CELL =
    "<td id=_KSDLBlockedDocTD nowrap><a id=_KSDLBlockedDocA onDblClick=\"return false;\" "
    "onClick='javascript:f_ShowExtBlockedMsg();' title=\"Blocked &quot;file&quot;\" "
    "onMouseOver=\"this.style.cursor='hand';\"><img id=_KSDLBlockedDocIMG "
    "src=\"KSScripts/Dorvel/1.5/Find_Blocked.GIF\" align='bottom' BORDER='0'></a></td>";

DWORD ProcessOneRow(CDocumentViewRecord& record, bool bRestrictOpenAndSave = false)
{
    CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
    EXPECT_TRUE(form.m_bIsInstanceValid);
    form.m_setDLBlockedExtensions = {"exe", "bat"};
    form.m_bOpenRestricted = form.m_bSaveRestricted = bRestrictOpenAndSave;
    const CDOMElement row =
        record.FormContext().m_spDom->getElementById("tblIL").getFirstElementByTagName("TR");
    return form.ProcessFileRowElement(row);
}

TEST(DocumentView, EachKindOfRow)
{
    const std::string strUncPath = "file://fs/share/a.txt";
    const std::string strZip = "file://fs/share/b.zip";
    std::string strZipID = strZip + "?UriFlags=UncDocument";
    Base64EncodeInPlace(strZipID);
    const struct
    {
        const char* m_pszName;
        std::string m_strFlags;
        std::string m_strId;
        std::string m_strRow; // the row as it goes out
    } aCases[] = {
        {"a folder", "5", "bfile://fs/share/dir",
         "<tr id=us><a t=\"5\" id=\"bfile://fs/share/dir\" href=#><td nowrap></td></a><td>n</td>"},
        {"a folder of a library", "34", "x",
         "<tr id=us><a t=\"34\" id=\"x\" href=#><td nowrap></td></a><td>n</td>"},
        {"a UNC document OWA allows", "18", "bfile://fs/share/a.txt",
         "<tr id=us><a t=\"18\" id=\"bfile://fs/share/a.txt\" href=#" + Attributes("11111111", "a.txt") +
             "_KSDLFileIDHash=\"" + LinkHash(strUncPath) + "\" >" + ViewCell(strUncPath, "a.txt", "unc") +
             "</a><td>n</td>"},
        {"a UNC marker in capitals", "18", "BFILE://fs/share/a.txt",
         "<tr id=us><a t=\"18\" id=\"BFILE://fs/share/a.txt\" href=#" + Attributes("11111111", "a.txt") +
             "_KSDLFileIDHash=\"" + LinkHash("FILE://fs/share/a.txt") + "\" >" +
             ViewCell("FILE://fs/share/a.txt", "a.txt", "unc") + "</a><td>n</td>"},
        {"a UNC document OWA forces to be saved", "18", "bfile://fs/share/b.zip",
         "<tr id=us><a t=\"18\" id=\"bfile://fs/share/b.zip\" href=#" + Attributes("11111111", "b.zip") +
             "_KSDLFileIDHash=\"" + LinkHash(strZip) + "\" _KSDLOWAForceSaveID=\"" + strZipID + "\" >" +
             ViewCell(strZip, "b.zip", "unc") + "</a><td>n</td>"},
        {"a SharePoint document forced to be saved, blanks and a line break around", "17",
         " bhttp://sp/docs/c.zip\r\n",
         "<tr id=us><a t=\"17\" id=\" bhttp://sp/docs/c.zip\r\n\" href=#" + Attributes("11111111", "c.zip") +
             "_KSDLFileIDHash=\"" + LinkHash("http://sp/docs/c.zip") +
             "\" _KSDLOWAForceSaveID=\"unresolved\" >" + ViewCell("http://sp/docs/c.zip", "c.zip", "wss") +
             "</a><td>n</td>"},
        {"a SharePoint document over https", "17", "bhttps://sp/d.doc",
         "<tr id=us><a t=\"17\" id=\"bhttps://sp/d.doc\" href=#" + Attributes("11111111", "d.doc") +
             "_KSDLFileIDHash=\"" + LinkHash("https://sp/d.doc") + "\" >" +
             ViewCell("https://sp/d.doc", "d.doc", "wss") + "</a><td>n</td>"},
        {"blocked by OWA: no hash", "18", "bfile://fs/e.msi",
         "<tr id=us><a t=\"18\" id=\"bfile://fs/e.msi\" href=#" + Attributes("10101111", "e.msi") + ">" +
             ViewCell("file://fs/e.msi", "e.msi", "unc") + "</a><td>n</td>"},
        {"blocked by the worker", "17", "bhttp://sp/f.BAT",
         "<tr id=us><a t=\"17\" id=\"bhttp://sp/f.BAT\" href=#" + Attributes("10101010", "f.BAT") + ">" +
             BLOCKED_CELL + "</a><td>n</td>"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTraceCapture capture;
        CDocumentViewRecord record(DocumentList(Row(c.m_strFlags, c.m_strId)));
        EXPECT_EQ(ProcessOneRow(record), 0u);
        EXPECT_EQ(RowAsSent(record), c.m_strRow);
    }
}

TEST(DocumentView, ForceSaveWithoutOpenOrSaveCarriesNoHashAndNoId)
{
    CDocumentViewRecord record(DocumentList(Row("18", "bfile://fs/share/b.zip")));
    EXPECT_EQ(ProcessOneRow(record, true), 0u);
    EXPECT_EQ(RowAsSent(record), "<tr id=us><a t=\"18\" id=\"bfile://fs/share/b.zip\" href=#" +
                                     Attributes("10101111", "b.zip") + ">" +
                                     ViewCell("file://fs/share/b.zip", "b.zip", "unc") + "</a><td>n</td>");
}

TEST(DocumentView, RowsThatStopTheList)
{
    const struct
    {
        const char* m_pszName;
        std::string m_strRow;
        const char* m_pszLine;
    } aCases[] = {
        {"no link", "<tr id=us><td>n</td></tr>",
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] <A> element was not found."},
        {"no flags", "<tr id=us><a id=\"bfile://a/b.doc\"></a></tr>",
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] <A> element's 't' attribute doesn't exist or "
         "it is "
         "empty."},
        {"flags 13: both bits, no known kind", Row("13", "bfile://a/b.doc"),
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid filetype flags attrib value <13>."},
        {"flags 4", Row("4", "bfile://a/b.doc"),
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid file type flags value <4>."},
        {"flags 12", Row("12", "bfile://a/b.doc"),
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid file type flags value <12>."},
        {"flags not a number", Row("1x", "bfile://a/b.doc"),
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid file type flags value <1x>."},
        {"flags with a sign", Row("-17", "bfile://a/b.doc"),
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid file type flags value <-17>."},
        {"flags empty", Row("", "bfile://a/b.doc"),
         "[CDLPremiumFormDocumentView::ProcessFileRowElement] Invalid file type flags value <>."},
        {"no path", Row("18", ""),
         "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] <A> element's 'id' attribute doesn't "
         "exist or "
         "it is empty."},
        {"a path of blanks", Row("17", "  "),
         "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] Sharepoint File path is empty. <a "
         "t=\"17\" "
         "id=\"  \" href=#> "},
        {"a path that ends in a folder", Row("18", "bfile://fs/share/"),
         "[CDLPremiumFormDocumentView::ProcessDocumentViewDocument] Filename is empty. UNC File path "
         "<file://fs/share/>."},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTraceCapture capture;
        CDocumentViewRecord record(DocumentList(c.m_strRow));
        EXPECT_EQ(ProcessOneRow(record), 13u);
        EXPECT_TRUE(CTraceCapture::Has(c.m_pszLine)) << c.m_pszLine;
    }
}

TEST(DocumentView, NamesAndPathsStayOneValue)
{
    // The page writes the name with references, as OWA escapes it; the browser reads the quote, the
    // apostrophe and the markup as part of the name.
    const std::string strId = "bfile://fs/O'Brien &amp; &quot;Sons&quot;&lt;script&gt;&lt;img src=x "
                              "onerror=alert(1)&gt;\\x27.txt";
    const std::string strPath = "file://fs/O'Brien & \"Sons\"<script><img src=x onerror=alert(1)>\\x27.txt";
    CDocumentViewRecord record(DocumentList(Row("18", strId)));
    ASSERT_EQ(ProcessOneRow(record), 0u);
    const std::string strScriptName = "O\\x27Brien \\x26 \\x22Sons\\x22\\x3Cscript\\x3E\\x3Cimg src\\x3Dx "
                                      "onerror\\x3Dalert(1)\\x3E\\\\x27.txt";
    EXPECT_EQ(RowAsSent(record),
              "<tr id=us><a t=\"18\" id=\"" + strId + "\" href=#" +
                  Attributes("11111111", "O&#39;Brien &amp; &quot;Sons&quot;&lt;script&gt;&lt;img src=x "
                                         "onerror=alert(1)&gt;\\x27.txt") +
                  "_KSDLFileIDHash=\"" + LinkHash(strPath) + "\" >" +
                  ViewCell("file://fs/" + strScriptName, strScriptName, "unc") + "</a><td>n</td>");
}

// A reference is read as the character it names on a page of any set, even one that cannot hold it, and a
// lead byte before a reference stays apart from the character the reference names.
TEST(DocumentView, ReferencesInNamesReachTheViewerAsCharactersInEverySet)
{
    const struct
    {
        const char* m_pszCharSet;
        std::string m_strId;
        const char* m_pszAttribute;
        const char* m_pszScript;
    } aCases[] = {
        {"windows-1252", "bfile://fs/caf&#239;.txt", "caf&#239;.txt", "caf\\u00EF.txt"},
        {"shift_jis", "bfile://fs/caf&#239;.txt", "caf&#239;.txt", "caf\\u00EF.txt"},
        {"Shift_JIS", "bfile://fs/\x83&#92;&QUOT;.txt", "&#65533;\\&quot;.txt", "\\uFFFD\\\\\\x22.txt"},
        {"big5", "bfile://fs/&#x8868;\xA5\\.txt", "&#34920;&#21151;.txt", "\\u8868\\u529F.txt"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszCharSet);
        CDocumentViewRecord record(DocumentList(Row("18", c.m_strId)));
        record.DeclareCharSet(std::string("text/html; charset=") + c.m_pszCharSet);
        ASSERT_EQ(ProcessOneRow(record), 0u);
        const std::string strRow = RowAsSent(record);
        EXPECT_NE(strRow.find(std::string("_KSDLFilename=\"") + c.m_pszAttribute + "\""), std::string::npos)
            << strRow;
        EXPECT_NE(strRow.find(std::string(",2,\"") + c.m_pszScript + "\",\"unc\""), std::string::npos)
            << strRow;
    }
}

TEST(DocumentView, TheListsHeaderAndRows)
{
    // Text ahead of the page's HTML moves every position; the header's cell still lands right behind its
    // row's start tag.
    const std::string strPage = DocumentList("<tr id=us><a t=5 id=x></a></tr>"
                                             "<tr id=US><a t=5 id=x></a></tr>"
                                             "<tr id=\"us \"><a t=5 id=x></a></tr>"
                                             "<tr><a t=5 id=x></a></tr>"
                                             "<tr id=us><a t=6 id=y></a></tr>");
    const std::string strPrefix = "\r\n\r\n   ";
    CDocumentViewRecord record(strPrefix + strPage);
    record.m_page.SetWord(4, record.m_page.Data() + strPrefix.size());
    CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
    CDOMSource& dom = *record.FormContext().m_spDom;
    EXPECT_EQ(form.ProcessFileList(dom.getElementById("tblH"), dom.getElementById("tblIL")), 0u);
    const std::string strSent = record.m_page.Applied(record.m_list);
    EXPECT_NE(
        strSent.find("<table id=tblH><tr><td style=\"width:24;\"></td><td>Name</td></tr></table><table "
                     "id=tblIL><col style=\"width:24\"><tr id=us><a t=5 id=x><td nowrap></td></a></tr><tr "
                     "id=US><a t=5 id=x></a></tr><tr id=\"us \"><a t=5 id=x></a></tr><tr><a t=5 "
                     "id=x></a></tr><tr id=us><a t=6 id=y><td nowrap></td></a></tr></table>"),
        std::string::npos)
        << strSent;
    // A header without a row.
    CTraceCapture capture;
    CDocumentViewRecord empty(DocumentList(""));
    CDLPremiumFormGETDocumentView emptyForm(&empty.FormContext(), 1);
    CDOMSource& emptyDom = *empty.FormContext().m_spDom;
    EXPECT_EQ(emptyForm.ProcessFileList(emptyDom.getElementById("tblIL"), emptyDom.getElementById("tblIL")),
              13u);
    EXPECT_TRUE(
        CTraceCapture::Has("[CDLPremiumFormDocumentView::ProcessFileList] <TR> strat tag inside <TABLE "
                           "id='tblH'> element was not found."));
}

std::string ExpectedScriptBlock(const std::string& strCookie)
{
    return "\r\n<script language='javascript'>\r\n//KESTRUNE DORVEL\r\n"
           "var g_szDorvLoading = \"Loading \\x26quot;doc\\x26quot; \\x26lt;/script\\x26gt;\";\r\n"
           "var g_szCancel = \"Cancel\";\r\nvar g_szExtBlocked = \"Blocked type\";\r\n"
           "var g_szSaving = \"Saving...\";\r\nvar g_szSaveNotSupp = \"Saving is not supported.\";\r\n"
           "var g_szEnableActiveX = \"Enable ActiveX\";\r\nvar g_szLaunchJavaApplet = \"Launching\";\r\n"
           "var g_szJavaNotSupp = \"No Java\";\r\nvar g_szDownCancelled = \"Cancelled\";\r\n"
           "var g_szDownCompleted = \"Done\";\r\nvar g_szClose = \"Close\";\r\n"
           "var g_Extensions = \"\";\r\nvar g_oExtensions = new Array();\r\n"
           "g_oExtensions = g_Extensions.split(\";\");\r\n"
           "var g_szKSDLSavePath=\"KSScripts/Dorvel/1.5/c7f3aks_SaveX.htm\";\r\n"
           "var g_szKSDLClosePath=\"KSScripts/Dorvel/1.5/c7f3aks_Close.htm\";\r\n"
           "var g_szKSDLCancelPath=\"KSScripts/Dorvel/1.5/c7f3aks_Cancel.htm\";\r\n"
           "var g_szKSDLCookie='" +
           strCookie +
           "';\r\n"
           "var g_DorvelDir = \"X-Dorvel\";\r\nvar g_szRootURL = \"http://mail.example.test/owa/\";\r\n"
           "var g_szBasePath = \"/owa/\\x22\\x3C/script\\x3E\";\r\nvar g_szKSCheckLang = \"en\";\r\n"
           "var g_SSLOpenAdmin = 0;\r\nvar g_iKSDLEnableOWAWebReady = 0;\r\nvar g_bKSDLSaveConfirmation = "
           "0;\r\n"
           "var g_szKSDLOWABuild=\"8.1.240.5\";\r\nvar g_szKSDLCurrentOWATheme=\"base\";\r\n"
           "\r\n//KESTRUNE DORVEL\r\n</script>\r\n";
}

TEST(DocumentView, TheWholePageAsFirstSent)
{
    CTraceCapture capture;
    CDocumentViewRecord record(DocumentList(Row("18", "bfile://fs/a.txt")));
    record.m_context.m_spExchangeURL->m_strBasePath = "/owa/\"</script>";
    record.m_ownContext.m_strCadataCookie = "cadata=\"1a'b\"</script>";
    std::unique_ptr<CDLForm> spForm(CDLFormFactory::createForm(&record.FormContext()));
    ASSERT_NE(dynamic_cast<CDLPremiumFormGETDocumentView*>(spForm.get()), nullptr);
    ASSERT_EQ(spForm->Process(), 0u);
    const std::string strSent = record.m_page.Applied(record.m_list);
    const std::string strHead = std::string(HEAD);
    EXPECT_EQ(
        strSent.substr(0, strSent.find("<body>")),
        strHead.substr(0, strHead.find("<title>")) +
            ExpectedScriptBlock("cadata\\x3D\\x221a\\x27b\\x22\\x3C/script\\x3E") +
            "<title>Documents</title><link type=\"text/css\" rel=\"stylesheet\" "
            "href=\"/owa/8.1.240.5/themes/base/premium.css\"><script "
            "src=\"/owa/8.1.240.5/scripts/premium/c7f3a/cache/clistview.js\"></script><script "
            "src=\"/owa/8.1.240.5/scripts/premium/c7f3a/cache/uview.js\"></script>"
            // The three links are edits at one position; the page gets them in the order they were made.
            "<SCRIPT language=\"javascript\" "
            "src=\"KSScripts/Dorvel/1.5/c7f3aks_dlHelper.js\"></SCRIPT>\n"
            "<SCRIPT language=\"javascript\" src=\"KSScripts/Dorvel/1.5/c7f3aks_dlBase64.js\"></SCRIPT>\n"
            "<SCRIPT language=\"javascript\" "
            "src=\"KSScripts/Dorvel/1.5/c7f3aks_dlPremiumDocumentView.js\"></SCRIPT>\n</head>");
    EXPECT_NE(strSent.find("<div id=divVwm><div id=divO>Open</div><div _lnk=1 class=\"cmLnk\" id=divKSDLSave "
                           "cmd=\"ksdlsave\"><span class=cmPn id=spnImg></span><span id=spnT>Save "
                           "&lt;b&gt;</span></div><div _lnk=1 class=\"cmLnk\" id=divKSDLText "
                           "cmd=\"ksdltext\"><span class=cmPn id=spnImg></span><span "
                           "id=spnT>Text</span></div><div _lnk=1 class=\"cmLnk\" id=divKSDLRich "
                           "cmd=\"ksdlrich\"><span class=cmPn id=spnImg></span><span id=spnT>Rich &amp; "
                           "more</span></div><div id=divS>"),
              std::string::npos)
        << strSent;
    EXPECT_TRUE(CTraceCapture::Has("[CDLPremiumFormGETDocumentView::Process] *** Modifying "
                                   "<ASP.forms_premium_documentview_aspx> form SUCCEEDED! ***"));
    EXPECT_TRUE(CTraceCapture::Has("[CDLPremiumFormGETDocumentView::Process] method returned: 0"));
}
} // namespace

namespace
{
std::string Without(std::string strText, const std::string& strPart)
{
    const size_t nPos = strText.find(strPart);
    if (nPos != std::string::npos)
        strText.erase(nPos, strPart.size());
    return strText;
}

TEST(DocumentView, WhatAFirstPageMustHold)
{
    const std::string strPage = DocumentList(Row("18", "bfile://fs/a.txt"));
    const struct
    {
        const char* m_pszName;
        std::string m_strPage;
        bool m_bPrefix;
        DWORD m_dwCode;
        const char* m_pszLine;
    } aCases[] = {
        {"no list: nothing to do", Without(strPage, "id=tblIL"), true, 0,
         "[CDLPremiumFormGETDocumentView::Process] <TABLE id='tblIL'> element was not found. The list of "
         "files is "
         "empty."},
        {"a list without its header", Without(strPage, "id=tblH"), true, 13,
         "[CDLPremiumFormGETDocumentView::Process] File list header <TABLE id='tblH'> element was not "
         "found."},
        {"no caching prefix", strPage, false, 11,
         "[CDLPremiumFormGETDocumentView::Process] InsertScriptLink failed."},
        {"no list script to prefix", Without(strPage, "uview.js"), true, 11,
         "[CDLPremiumFormGETDocumentView::Process] PrefixLinkedScripts failed."},
        {"a row that fails", DocumentList(Row("13", "x")), true, 13,
         "[CDLPremiumFormGETDocumentView::Process] ProcessFileList() failed."},
        {"no OWA style sheet", Without(strPage, "premium.css"), true, 7,
         "[CDLPremiumFormGETDocumentView::InsertJavaScriptVariables] "
         "GetOWABuildAndCurrentOWAThemeFromCSSLinkTags() "
         "failed."},
        {"no menu", Without(strPage, "id=divVwm"), true, 13,
         "[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] CDOMElement::getElementById() failed "
         "when "
         "searching for <div id='divVwm'> element."},
        {"no menu entry", Without(strPage, "id=divS"), true, 13,
         "[CDLPremiumFormGETDocumentView::InsertDLItemsToContextMenu] CDOMElement::getStartTagById() failed "
         "when "
         "searching for <div id='divS'>."},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CTraceCapture capture;
        CDocumentViewRecord record(c.m_strPage);
        if (!c.m_bPrefix)
            record.m_fc.GetServerVariable = nullptr;
        CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
        ASSERT_TRUE(form.m_bIsInstanceValid);
        EXPECT_EQ(form.Process(), c.m_dwCode);
        EXPECT_TRUE(CTraceCapture::Has(c.m_pszLine)) << c.m_pszLine;
        EXPECT_TRUE(CTraceCapture::Has(std::string("[CDLPremiumFormGETDocumentView::Process] *** Modifying "
                                                   "<ASP.forms_premium_documentview_aspx> form ") +
                                       (c.m_dwCode == 0 ? "SUCCEEDED" : "FAILED") + "! ***"));
        if (c.m_dwCode == 0)
        {
            EXPECT_TRUE(record.m_list.IsEmpty());
        }
    }
}

TEST(DocumentView, TheSortedListAlone)
{
    // What OWA sends back after sorting: the two tables, no page around them.
    const std::string strFragment = std::string(HEADER_TABLE) + "<table id=tblIL>" +
                                    Row("18", "bfile://fs/b.zip") + Row("6", "bfile://fs/dir") + "</table>";
    CTraceCapture capture;
    CDocumentViewRecord record(strFragment, RF_POST | RF_PREMIUM_CLIENT | RF_DOCUMENT_VIEW_SORT);
    std::unique_ptr<CDLForm> spForm(CDLFormFactory::createForm(&record.FormContext()));
    ASSERT_NE(dynamic_cast<CDLPremiumFormPOSTDocumentViewSort*>(spForm.get()), nullptr);
    ASSERT_EQ(spForm->Process(), 0u);
    std::string strZipID = "file://fs/b.zip?UriFlags=UncDocument";
    Base64EncodeInPlace(strZipID);
    // A fragment comes without a character set: the titles are the library's texts, escaped here.
    EXPECT_EQ(
        record.m_page.Applied(record.m_list),
        "<table id=tblH><tr><td style=\"width:24;\"></td><td>Name</td></tr></table><table id=tblIL><col "
        "style=\"width:24\"><tr id=us><a t=\"18\" id=\"bfile://fs/b.zip\" href=#" +
            Attributes("11111111", "b.zip") + "_KSDLFileIDHash=\"" + LinkHash("file://fs/b.zip") +
            "\" _KSDLOWAForceSaveID=\"" + strZipID + "\" >" + ViewCell("file://fs/b.zip", "b.zip", "unc") +
            "</a><td>n</td></tr><tr id=us><a t=\"6\" id=\"bfile://fs/dir\" href=#><td "
            "nowrap></td></a><td>n</td></tr></table>");
    EXPECT_TRUE(CTraceCapture::Has("[CDLPremiumFormPOSTDocumentViewSort::Process] *** Modifying "
                                   "<DLPremiumFormPOSTDocumentViewSort> form "
                                   "SUCCEEDED! ***"));
    EXPECT_TRUE(CTraceCapture::Has("[CDLPremiumFormPOSTDocumentViewSort::Process] method returned: 0"));
    // Without the header table the sorted list is left as it came.
    CDocumentViewRecord bare(std::string("<table id=tblIL>") + Row("18", "bfile://fs/b.zip") + "</table>",
                             RF_POST | RF_DOCUMENT_VIEW_SORT);
    std::unique_ptr<CDLForm> spBare(CDLFormFactory::createForm(&bare.FormContext()));
    ASSERT_NE(spBare, nullptr);
    EXPECT_EQ(spBare->Process(), 13u);
}
} // namespace

#include "tests/support/PageChecks.h"

namespace
{
TEST(DocumentView, HostileNamesReachTheViewerAsTheyAre)
{
    // Names as the page writes them, and as JSON writes what the user reads.
    const std::pair<std::string, std::string> aNames[] = {
        {"a&quot;);alert(1);x.txt", "a\\\");alert(1);x.txt"},
        {"b&#39;);alert(2);x.doc", "b');alert(2);x.doc"},
        {"c&lt;script&gt;alert(3)&lt;\\script&gt;.txt", "c<script>alert(3)<\\\\script>.txt"},
        {"d\\&quot;\\u2028\xE2\x80\xA8 &amp;#34; %22.zip", "d\\\\\\\"\\\\u2028\xE2\x80\xA8 &#34; %22.zip"},
        {"e onmouseover=alert(5) x=.txt", "e onmouseover=alert(5) x=.txt"},
    };
    std::string strRows;
    for (const auto& name : aNames)
        strRows += Row("17", "bhttp://sp/docs/" + name.first);
    CDocumentViewRecord record(DocumentList(strRows));
    CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
    ASSERT_EQ(form.Process(), 0u);
    const std::string strPage = record.m_page.Applied(record.m_list);

    // Every script and handler parses, and each view call hands the viewer the path and the name.
    std::vector<std::string> vecCalls;
    for (const auto& piece : page_checks::ScriptsOf(strPage))
    {
        const bool bHandler = piece.m_strWhere.rfind("script #", 0) != 0;
        EXPECT_EQ(page_checks::NodeCheck(piece.m_strCode, bHandler), "")
            << piece.m_strWhere << ": " << piece.m_strCode;
        if (piece.m_strWhere == "onclick of <a>" &&
            piece.m_strCode.find("f_viewAttachment") != std::string::npos)
            vecCalls.push_back(
                page_checks::NodeRun("function f_viewAttachment(p, v, n, k) { "
                                     "process.stdout.write(JSON.stringify([p, v, n, k])); }\n" +
                                     piece.m_strCode));
    }
    ASSERT_EQ(vecCalls.size(), std::size(aNames));
    for (size_t i = 0; i < vecCalls.size(); ++i)
        EXPECT_EQ(vecCalls[i],
                  "[\"http://sp/docs/" + aNames[i].second + "\",2,\"" + aNames[i].second + "\",\"wss\"]");

    // The links keep their own attributes and gain the menu's: none is split or swallowed.
    const auto vecCounts = page_checks::LibxmlAttributeCounts(strPage);
    size_t nFileLinks = 0;
    for (const auto& tag : vecCounts)
    {
        if (tag.first == "a" && (tag.second == 3 + 10 || tag.second == 3 + 11))
            ++nFileLinks;
    }
    EXPECT_EQ(nFileLinks, std::size(aNames))
        << "t, id, href, eight flags, the name, the hash and for the .zip the force-save id";
}
} // namespace
