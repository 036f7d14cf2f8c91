#include "forms/DLFormWithFiles.h"
#include "forms/DOMElement.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/DocumentViewForms.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
const char* const PAGE =
    "<html><head><title>t</title>"
    "<link type=\"TEXT/CSS\" rel=stylesheet href=\"/owa/8.1.240.5/themes/base/premium.css\">"
    "</head><body>b</body></html>";

TEST(DLForm, LanguageAndCharacterSetOfTheResponse)
{
    GeneralSettingsWithResources();
    const struct
    {
        const char* m_pszLanguage;
        const char* m_pszDeclaration; // null: the response declares none
        bool m_bValid;
        const char* m_pszTag;
        WORD m_wLangID;
        const char* m_pszCharSet;
    } aCases[] = {
        {"fr", "text/html; charset=iso-8859-1\r\n", true, "fr", 0x040C, "windows-1252"},
        {"en", "text/html; charset=utf-8", true, "en", 0x1009, "utf-8"},
        {"en", "text/html", true, "en", 0x1009, "utf-8"},
        {"en", nullptr, true, "en", 0x1009, "utf-8"}, // a fragment without a declaration
        {"xx", "text/html; charset=utf-8", false, "en", 0x1009, ""},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszLanguage);
        CTraceCapture capture;
        CFormRecord record(PAGE, c.m_pszLanguage);
        if (c.m_pszDeclaration != nullptr)
        {
            record.DeclareCharSet(c.m_pszDeclaration);
        }
        else
        {
            record.m_page.SetWord(4, nullptr); // a fragment: no separate HTML start either
        }
        CDLPremiumFormGETAttachFileDialog form(&record.FormContext());
        EXPECT_EQ(form.m_bIsInstanceValid, c.m_bValid);
        EXPECT_EQ(FromCi(form.m_csLanguage), c.m_pszTag);
        EXPECT_EQ(form.m_wLangID, c.m_wLangID);
        EXPECT_EQ(form.m_sCharSet, c.m_pszCharSet);
        EXPECT_EQ(CTraceCapture::Has("[CDLForm::CDLForm] CResource::DetectLanguage failed!"), !c.m_bValid);
        EXPECT_TRUE(CTraceCapture::Has(std::string("[CDLForm::CDLForm] returned. m_bIsInstanceValid <") +
                                       (c.m_bValid ? "Y" : "N") + ">."));
    }
}

// The page's character set as the browser takes it: the response's Content-Type, else the page's own
// <meta> declaration (either form), else utf-8; a name no browser knows counts as none. The set goes by its
// encoding's name.
TEST(DLForm, CharacterSetFromContentTypeThenMetaThenDefault)
{
    GeneralSettingsWithResources();
    const struct
    {
        const char* m_pszDeclaration;
        const char* m_pszMeta;
        const char* m_pszCharSet;
    } aCases[] = {
        {"text/html; charset=shift_jis", "<meta charset=\"big5\">", "shift_jis"},
        {"text/html", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">",
         "shift_jis"},
        {"text/html", "<META CHARSET='big5'>", "big5"},
        // Browsers read a <meta> with their tokenizer, which reads the references of its values.
        {"text/html", "<meta http-equiv=Content-Type content=\"text/html;charset = &quot;gbk&quot;\">",
         "gbk"},
        {"text/html", "<meta http-equiv=Content-Type content=\"text/html; charset&#61;shift_jis\">",
         "shift_jis"},
        {"text/html", "<meta http-equiv=Content-Type content=\"text/html;charset = 'gb_2312'\">", "gbk"},
        {"text/html; charset=\"windows-1252\"", "", "windows-1252"},
        {"text/html; charset=euc-kr; x=y", "", "euc-kr"},
        {"text/html; x-charset=big5", "", "utf-8"},
        {"text/html; charset=x-no-such-set", "<meta charset=\"big5\">", "big5"},
        {"text/html; charset=x-no-such-set", "", "utf-8"},
        {"text/html; charset=ibm-943", "<meta charset=\"big5\">", "big5"},
        {"text/html", "<meta name=\"charset\" content=\"none\">", "utf-8"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(std::string(c.m_pszDeclaration) + " " + c.m_pszMeta);
        CFormRecord record(std::string("<html><head>") + c.m_pszMeta +
                           "<title>t</title></head><body>b</body></html>");
        record.DeclareCharSet(c.m_pszDeclaration);
        CDLPremiumFormGETAttachFileDialog form(&record.FormContext());
        EXPECT_TRUE(form.m_bIsInstanceValid);
        EXPECT_EQ(form.m_sCharSet, c.m_pszCharSet);
    }
}

// A set that is not read here, or whose ASCII bytes may stand for other characters, leaves the page alone:
// the form is not valid, and one line says why.
TEST(DLForm, PagesInSetsWhoseAsciiIsNotAlwaysAsciiAreLeftAlone)
{
    GeneralSettingsWithResources();
    const struct
    {
        const char* m_pszDeclaration;
        const char* m_pszPage;
        const char* m_pszCharSet;
    } aCases[] = {
        {"text/html; charset=iso-2022-jp", "", "iso-2022-jp"},
        {"text/html; charset=utf-7", "", "utf-7"},
        {"text/html; charset=hz-gb-2312", "", "replacement"},
        {"text/html; charset=UTF-16", "", "utf-16le"},
        {"text/html", "\xFE\xFF", "utf-16be"},
        {"text/html; charset=x-user-defined", "", "x-user-defined"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszDeclaration);
        CTraceCapture capture;
        CFormRecord record(std::string(c.m_pszPage) +
                           "<html><head><title>t</title></head><body>b</body></html>");
        record.DeclareCharSet(c.m_pszDeclaration);
        CDLPremiumFormGETAttachFileDialog form(&record.FormContext());
        EXPECT_FALSE(form.m_bIsInstanceValid);
        EXPECT_EQ(form.m_sCharSet, c.m_pszCharSet);
        EXPECT_TRUE(
            CTraceCapture::Has(std::string("[CDLForm::CDLForm] Character set <") + c.m_pszCharSet +
                               "> is not one whose ASCII bytes are always ASCII here: the page goes out "
                               "unchanged."));
    }
}

TEST(DLForm, MissingPointersInvalidateTheForm)
{
    const std::vector<void (*)(CFormRecord&)> vecBreak = {
        [](CFormRecord& r) { r.m_context.CoreServices = nullptr; },
        [](CFormRecord& r) { r.m_context.m_spExchangeURL.Release(); },
        [](CFormRecord& r) { r.m_context.m_spRequestInfo.Release(); },
        [](CFormRecord& r) { r.m_context.m_pMyOwnContext = nullptr; },
        [](CFormRecord& r) { r.FormContext().m_pcobBufferInstructionList = nullptr; },
        [](CFormRecord& r) { r.FormContext().m_spDom.Release(); },
    };
    for (size_t i = 0; i < vecBreak.size(); ++i)
    {
        CTraceCapture capture;
        CFormRecord record(PAGE);
        record.FormContext();
        vecBreak[i](record);
        CDLPremiumFormGETAttachFileDialog form(&record.FormContext());
        EXPECT_FALSE(form.m_bIsInstanceValid) << i;
        EXPECT_TRUE(CTraceCapture::Has("[CDLForm::CDLForm] Invalid pointers.")) << i;
    }
}

TEST(DLForm, ResourceTextsBecomeStringLiteralsOfTheirDeclarations)
{
    GeneralSettingsWithResources();
    CTraceCapture capture;
    CFormRecord record(std::string("<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->") + PAGE);
    CDLPremiumFormGETAttachFileDialog form(&record.FormContext());
    // On a Premium page the library's texts come HTML-escaped in UTF-8; whatever they hold, they stay one
    // string literal.
    std::string strScript;
    EXPECT_TRUE(form.Append_InitJSResourceVariables({107, 108, 109}, strScript));
    EXPECT_EQ(strScript,
              "var g_szOpenText = \"Open\";\r\n"
              "var g_szSaveText = \"Save \\x26quot;it\\x26quot; \\x26lt;/script\\x26gt;\\x26lt;script\\x26gt;"
              "alert(1)\\x26lt;/script\\x26gt;\";\r\n"
              "var g_szTextText = \"Text \\\\ view\";\r\n");
    // On a Basic page in another character set they come unescaped: a translation is text, its quotes,
    // backslashes and markup cannot end the literal or the script.
    CFormRecord basic(std::string("<!-- OwaPage = ASP.forms_basic_basicreadmessage_aspx -->") + PAGE);
    basic.DeclareCharSet("text/html; charset=iso-8859-1");
    CDLPremiumFormGETAttachFileDialog basicForm(&basic.FormContext());
    std::string strBasic;
    EXPECT_TRUE(basicForm.Append_InitJSResourceVariables({108, 109}, strBasic));
    EXPECT_EQ(strBasic,
              "var g_szSaveText = \"Save \\x22it\\x22 \\x3C/script\\x3E\\x3Cscript\\x3Ealert(1)\\x3C/"
              "script\\x3E\";\r\n"
              "var g_szTextText = \"Text \\\\ view\";\r\n");
    std::string strEmpty;
    EXPECT_TRUE(form.Append_InitJSResourceVariables({}, strEmpty));
    EXPECT_EQ(strEmpty, "");
    // An id without a prefix ends the lines at that id.
    std::string strPartial;
    EXPECT_FALSE(form.Append_InitJSResourceVariables({107, 600, 108}, strPartial));
    EXPECT_EQ(strPartial, "var g_szOpenText = \"Open\";\r\n");
    EXPECT_TRUE(CTraceCapture::Has("[CDLForm::Append_InitJSResourceVariables] ID2Value failed ID <600>."));
    // An id the library does not hold.
    std::string strMissing;
    EXPECT_FALSE(form.Append_InitJSResourceVariables({110}, strMissing));
    EXPECT_TRUE(CTraceCapture::Has(
        "[CDLForm::Append_InitJSResourceVariables] CDLSWGeneralSettings::GetResources failed."));
}

TEST(DLFormWithFiles, TextsAndSettingsOfAFileForm)
{
    GeneralSettingsWithResources();
    CTraceCapture capture;
    CFormRecord record(std::string("<!-- OwaPage = ASP.forms_premium_documentview_aspx -->") + PAGE, "fr");
    CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
    EXPECT_TRUE(form.m_bIsInstanceValid);
    EXPECT_EQ(form.m_sViewAttachmentText, "Afficher");
    EXPECT_EQ(form.m_sAttachmentBlockedText, "Attachment is blocked"); // English where French has none
    EXPECT_EQ(form.m_nDefaultVisualisation, 2);
    EXPECT_FALSE(form.m_bOpenRestricted || form.m_bSaveRestricted || form.m_bRichRestricted);
    EXPECT_TRUE(CTraceCapture::Has("[CDLFormWithFiles::CDLFormWithFiles] returned m_bIsInstanceValid <Y>."));
    std::string strBuild;
    std::string strTheme;
    EXPECT_TRUE(
        form.GetOWABuildAndCurrentOWAThemeFromCSSLinkTags("basic.css", "PREMIUM.CSS", strBuild, strTheme));
    EXPECT_EQ(strBuild, "8.1.240.5");
    EXPECT_EQ(strTheme, "base");
    EXPECT_FALSE(
        form.GetOWABuildAndCurrentOWAThemeFromCSSLinkTags("basic.css", "other.css", strBuild, strTheme));
    EXPECT_EQ(strBuild, "");
}

TEST(DLFormWithFiles, ExtensionsAndTheWorkersBlockedList)
{
    CFormRecord record(PAGE);
    CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
    form.m_setDLBlockedExtensions = {"exe", "pdf"};
    const struct
    {
        const char* m_pszName;
        const char* m_pszExtension;
        bool m_bBlocked;
    } aCases[] = {
        {"report.final.PDF", "PDF", true}, {"setup.exe", "exe", true},
        {"notes.txt", "txt", false},       {"README", "", false},
        {"trailing.", "", false},          {".exe", "exe", true},
    };
    for (const auto& c : aCases)
    {
        ci_string csExtension;
        bool bBlocked = !c.m_bBlocked;
        EXPECT_EQ(form.GetFileExtensionAndBlockedFlag(c.m_pszName, csExtension, bBlocked), 0u);
        EXPECT_EQ(FromCi(csExtension), c.m_pszExtension) << c.m_pszName;
        EXPECT_EQ(bBlocked, c.m_bBlocked) << c.m_pszName;
    }
}

std::string Flags(const DLContextMenuFlags& f)
{
    const auto Item = [](bool bVisible, bool bEnabled)
    { return std::string(bVisible ? (bEnabled ? "E" : "d") : "-"); };
    return Item(f.bOpenVisible, f.bOpenEnabled) + Item(f.bSaveVisible, f.bSaveEnabled) +
           Item(f.bTextVisible, f.bTextEnabled) + Item(f.bRichVisible, f.bRichEnabled);
}

TEST(DLFormWithFiles, ContextMenuFlags)
{
    CDLSWGeneralSettings& settings = GeneralSettingsWithResources();
    // Open, Save, Text, Rich: E visible and enabled, d visible and disabled, - hidden.
    const struct
    {
        const char* m_pszName;
        int32_t m_nLevel;
        bool m_bBlocked;
        bool m_bPublic;
        int32_t m_nPrivateControl;
        int32_t m_nPublicControl;
        bool m_bOpenRestricted;
        bool m_bRichRestricted;
        DWORD m_dwResult;
        const char* m_pszFlags;
    } aCases[] = {
        {"allowed", 3, false, false, 1, 1, false, false, 0, "EEEE"},
        {"force-save", 2, false, false, 1, 1, false, false, 0, "EEEE"},
        {"blocked by OWA", 1, false, false, 1, 1, false, false, 0, "ddEE"},
        {"blocked by the worker at level 3", 3, true, false, 1, 1, false, false, 0, "dddd"},
        {"public client without direct access", 3, false, true, 1, 0, false, false, 0, "ddEE"},
        {"private client without direct access", 3, false, false, 0, 1, false, false, 0, "ddEE"},
        {"the worker restricts Open and Rich", 3, false, false, 1, 1, true, true, 0, "dEEd"},
        {"invalid level", 0, false, false, 1, 1, false, false, 13, "----"},
        {"invalid level even when blocked by the worker", 4, false, false, 1, 1, false, false, 13, "----"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        CFormRecord record(PAGE);
        record.m_context.RequestFlags = c.m_bPublic ? RF_FBA_PUBLIC_CLIENT : 0;
        settings.m_OWAADConfig.m_nFileAccessControlOnPrivateComputers = c.m_nPrivateControl;
        settings.m_OWAADConfig.m_nFileAccessControlOnPublicComputers = c.m_nPublicControl;
        CDLPremiumFormGETDocumentView form(&record.FormContext(), 1);
        form.m_bOpenRestricted = c.m_bOpenRestricted;
        form.m_bRichRestricted = c.m_bRichRestricted;
        DLContextMenuFlags flags;
        EXPECT_EQ(form.GetDLContextMenuFlags("doc", c.m_nLevel, c.m_bBlocked, flags), c.m_dwResult);
        EXPECT_EQ(Flags(flags), c.m_pszFlags);
    }
    settings.m_OWAADConfig.m_nFileAccessControlOnPrivateComputers = 0;
    settings.m_OWAADConfig.m_nFileAccessControlOnPublicComputers = 0;
}

// Records the attachment SPANs it is handed; the one with id "spnAtmt" whose class is "direct" counts as
// offering direct access, and one whose class is "fail" fails.
class CAttachmentsForm : public CDLFormWithAttachments
{
public:
    explicit CAttachmentsForm(CSWFormContext* pFormContext)
        : CDLForm(pFormContext), CDLFormWithAttachments(pFormContext, 1)
    {
    }
    DWORD Process() override { return 0; }
    DWORD ProcessAttachmentSPANelement(CDOMElement& span, bool& bDirect) override
    {
        const std::string strClass =
            span.getAttribute("class").isEmpty() ? "" : span.getAttribute("class").getValue();
        m_vecSeen.push_back(span.getBeginPos());
        bDirect = strClass == "direct";
        return strClass == "fail" ? 13 : 0;
    }
    std::vector<Position> m_vecSeen;
};

TEST(DLFormWithAttachments, WalksTheAttachmentSpansAndDropsWebReadyLinks)
{
    const std::string strPage = "<html><head></head><body><div id=divAtch>"
                                "<span id=spnAtmt class=plain>a.doc</span>"
                                "<span class=wvsn>[<a id=wvLnk href=#>web</a>]</span>"
                                "<span id=other>x</span>"
                                "<span id=spnAtmt class=direct>b.doc</span>"
                                "<span id=spnAtmt class=fail>c.doc</span>"
                                "<span id=spnAtmt>d.doc</span>"
                                "</div></body></html>";
    CTraceCapture capture;
    CFormRecord record(strPage);
    CAttachmentsForm form(&record.FormContext());
    bool bDirect = false;
    const CDOMElement list = record.FormContext().m_spDom->getElementById("divAtch");
    EXPECT_EQ(form.ProcessAttachments(list, bDirect), 13u);
    EXPECT_TRUE(bDirect);
    EXPECT_EQ(form.m_vecSeen.size(), 3u); // stops at the failing one
    EXPECT_TRUE(CTraceCapture::Has(
        "[CDLFormWithAttachments::ProcessAttachments] ProcessAttachmentSPANelement failed."));
    EXPECT_EQ(record.m_page.Applied(record.m_list).find("wvLnk"), std::string::npos);
    // With WebReady on, the link stays.
    CFormRecord kept(strPage);
    CAttachmentsForm keeping(&kept.FormContext());
    keeping.m_bOWAWebReadyEnabled = true;
    bool bKeptDirect = false;
    keeping.ProcessAttachments(kept.FormContext().m_spDom->getElementById("divAtch"), bKeptDirect);
    EXPECT_TRUE(kept.m_list.IsEmpty());
}

TEST(DLFormWithAttachments, FileNameOfAnAttachment)
{
    const struct
    {
        const char* m_pszSpan;
        const char* m_pszName;
    } aCases[] = {
        {"<span id=t><img src=x.gif> <a id=lnkAtmt href=#>report.doc</a>&#x200E; (24 KB)</span>",
         "report.doc"},
        {"<span id=t>\r\n\t plain.txt \t\r\n</span>", "plain.txt"},
        {"<span id=t>a<b>b</b>.pdf<span class=wvsn>[<a id=wvLnk>web</a>]</span></span>", "ab.pdf"},
        {"<span id=t>x.doc<span class=other>y</span></span>", "x.docy"},
        {"<span id=t></span>", ""},
    };
    for (const auto& c : aCases)
    {
        CFormRecord record(std::string("<html><body>") + c.m_pszSpan + "</body></html>");
        CDOMSource& dom = *record.FormContext().m_spDom;
        std::string strName = "old";
        EXPECT_EQ(CDLFormWithAttachments::GetAttachmentFilename(dom, dom.getElementById("t"), strName), 0u);
        EXPECT_EQ(strName, c.m_pszName) << c.m_pszSpan;
    }
}

TEST(DLFormWithAttachments, OWALevelOfAnAttachment)
{
    const struct
    {
        const char* m_pszSpan;
        DWORD m_dwResult;
        int32_t m_nLevel;
    } aCases[] = {
        {"<span id=t level=3>", 0, 3},     {"<span id=t level='1'>", 0, 1}, {"<span id=t level=2>", 0, 2},
        {"<span id=t level=4>", 13, 4},    {"<span id=t level=0>", 13, 0},  {"<span id=t level=2x>", 13, 0},
        {"<span id=t level=\"\">", 13, 0}, {"<span id=t level>", 13, 0},    {"<span id=t>", 13, 0},
    };
    for (const auto& c : aCases)
    {
        CTraceCapture capture;
        CFormRecord record(std::string("<html><body>") + c.m_pszSpan + "x</span></body></html>");
        const CDOMElement span = record.FormContext().m_spDom->getElementById("t");
        int32_t nLevel = -1;
        EXPECT_EQ(CDLFormWithAttachments::GetOWAAttachmentLevel(span.getAttribute("level"), nLevel),
                  c.m_dwResult)
            << c.m_pszSpan;
        EXPECT_EQ(nLevel, c.m_nLevel) << c.m_pszSpan;
    }
}
} // namespace
