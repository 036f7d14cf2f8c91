#include "general/EncodingSniffer.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string NameOf(const CEncoding* pEncoding)
{
    return pEncoding != nullptr ? pEncoding->m_pszName : "(none)";
}

TEST(EncodingLabels, LabelsAreThoseBrowsersKnowInAnyCase)
{
    const struct
    {
        const char* m_pszLabel;
        const char* m_pszEncoding;
    } aCases[] = {
        {"utf-8", "utf-8"},
        {" UTF8\t", "utf-8"},
        {"ISO-8859-1", "windows-1252"},
        {"us-ascii", "windows-1252"},
        {"Latin1", "windows-1252"},
        {"gb2312", "gbk"},
        {"GB_2312", "gbk"},
        {"gb_2312-80", "gbk"},
        {"csiso58gb231280", "gbk"},
        {"chinese", "gbk"},
        {"gb18030", "gb18030"},
        {"big5-hkscs", "big5"},
        {"cn-big5", "big5"},
        {"x-x-big5", "big5"},
        {"Shift_JIS", "shift_jis"},
        {"windows-31j", "shift_jis"},
        {"ks_c_5601-1987", "euc-kr"},
        {"iso-2022-jp", "iso-2022-jp"},
        {"hz-gb-2312", "replacement"},
        {"iso-2022-kr", "replacement"},
        {"utf-16", "utf-16le"},
        {"iso-8859-8-i", "iso-8859-8-i"},
        {"koi8-ru", "koi8-u"},
        {"x-user-defined", "x-user-defined"},
        // Names ICU knows but browsers do not are no labels.
        {"ibm-943", "(none)"},
        {"utf-7", "(none)"},
        {"x-mac-hebrew", "(none)"},
        {"replacement", "(none)"},
        {"utf 8", "(none)"},
        {"", "(none)"},
        {"windows-1252windows-1252windows-1252", "(none)"},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(NameOf(CEncodingLabels::Find(c.m_pszLabel)), c.m_pszEncoding) << c.m_pszLabel;
}

// Each encoding reads through the converter nearest to what browsers make of its bytes.
TEST(EncodingLabels, EncodingsMapToTheNearestConverter)
{
    const struct
    {
        const char* m_pszLabel;
        const char* m_pszIcu;
    } aCases[] = {
        {"gb_2312", "windows-936"},     {"big5-hkscs", "ibm-1375_P100-2008"},
        {"sjis", "ibm-943_P15A-2003"},  {"euc-kr", "windows-949"},
        {"iso-8859-1", "windows-1252"}, {"iso-8859-9", "windows-1254"},
        {"tis-620", "windows-874"},     {"hz-gb-2312", ""},
        {"utf-16be", "UTF-16BE"},       {"iso-2022-jp", "ISO-2022-JP"},
    };
    for (const auto& c : aCases)
    {
        const CEncoding* pEncoding = CEncodingLabels::Find(c.m_pszLabel);
        ASSERT_NE(pEncoding, nullptr) << c.m_pszLabel;
        EXPECT_STREQ(pEncoding->m_pszIcuName, c.m_pszIcu) << c.m_pszLabel;
    }
}

TEST(EncodingSniffer, ContentTypeIsReadAsAMimeType)
{
    const struct
    {
        const char* m_pszHeader;
        const char* m_pszEncoding;
    } aCases[] = {
        {"text/html; charset=shift_jis", "shift_jis"},
        {"Content-Type: text/html; CHARSET=ISO-8859-1", "windows-1252"},
        {"text/html; x-charset=utf-8; charset=shift_jis", "shift_jis"},
        {"text/html;charset=\"big5\"", "big5"},
        {"text/html; charset=\"sh\\ift_jis\"; x=y", "shift_jis"},
        {"text/html; charset = utf-8", "(none)"}, // the name is "charset "
        {"text/html; charset=euc-kr ; q=1", "euc-kr"},
        {"text/html; charset=big5; charset=utf-8", "big5"},
        {"text/html; charset=ibm-943", "(none)"},
        {"text/html; charset=utf-7", "(none)"},
        {"text/html; charset=", "(none)"},
        {"text/html", "(none)"},
        {"charset=utf-8", "(none)"}, // no MIME type
        {"text/html; charset=utf-8\r\nX-Other: charset=big5", "utf-8"},
        {"", "(none)"},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(NameOf(CEncodingSniffer::FromContentType(c.m_pszHeader)), c.m_pszEncoding) << c.m_pszHeader;
}

TEST(EncodingSniffer, MetaContentNamesItsCharsetAsBrowsersExtractIt)
{
    const struct
    {
        const char* m_pszContent;
        const char* m_pszEncoding;
    } aCases[] = {
        {"text/html; charset=shift_jis", "shift_jis"},
        {"text/html; charset; charset=shift_jis", "shift_jis"},
        {"text/html; CHARSET = 'euc-kr' ", "euc-kr"},
        {"text/html; charset=\"big5", "(none)"},
        {"text/html; charset=gb2312;x", "gbk"},
        {"text/html; charset&#61;big5", "(none)"},
        {"text/html; charset=", "(none)"},
        {"text/html", "(none)"},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(NameOf(CEncodingSniffer::FromMetaContent(c.m_pszContent)), c.m_pszEncoding)
            << c.m_pszContent;
}

TEST(EncodingSniffer, PrescanFindsTheMetaBrowsersFind)
{
    const struct
    {
        std::string m_strPage;
        const char* m_pszEncoding;
    } aCases[] = {
        {"<html><head><meta charset=shift_jis></head>", "shift_jis"},
        {"<meta charset=\"EUC-KR\"><html><head></head>", "euc-kr"},
        {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=big5\">", "big5"},
        {"<meta content=\"text/html; charset; charset=shift_jis\" http-equiv=content-type>", "shift_jis"},
        // A content without http-equiv declares nothing.
        {"<meta name=x content=\"charset=shift_jis\"><meta charset=big5>", "big5"},
        {"<meta name=x content=\"charset=shift_jis\">", "(none)"},
        {"<meta http-equiv=content-type content=\"text/html; charset&#61;big5\">", "(none)"},
        {"<!-- <meta charset=big5> --><meta charset=gbk>", "gbk"},
        {"<!--><meta charset=big5>", "big5"},
        {"<p title='<meta charset=big5>'><meta charset=euc-jp>", "euc-jp"},
        {"<script>x='<meta charset=big5>'</script>", "big5"}, // the prescan knows no scripts
        {"<meta charset=utf-16le>", "utf-8"},
        {"<meta charset=x-user-defined>", "windows-1252"},
        {"<meta charset=ibm-943><meta charset=shift_jis>", "shift_jis"},
        {"<meta charset=utf-7>", "(none)"},
        {"<meta charset=big5 charset=gbk>", "big5"},
        {"<meta/charset=euc-kr>", "euc-kr"},
        {"<metacharset=big5>", "(none)"},
        {"<meta charset=big5", "(none)"}, // the bytes end inside the tag
        {std::string(1020, ' ') + "<meta charset=big5>", "(none)"},
        {std::string(990, ' ') + "<meta charset=big5>", "big5"},
    };
    for (const auto& c : aCases)
        EXPECT_EQ(NameOf(CEncodingSniffer::Prescan(c.m_strPage)), c.m_pszEncoding) << c.m_strPage;
}

TEST(EncodingSniffer, TheMarkThenTheHeaderThenTheMetaThenUtf8)
{
    const struct
    {
        std::string m_strPage;
        const char* m_pszContentType;
        const char* m_pszEncoding;
        CEncodingSniffer::Source m_eSource;
    } aCases[] = {
        {"\xEF\xBB\xBF<meta charset=big5>", "text/html; charset=shift_jis", "utf-8",
         CEncodingSniffer::Source::ByteOrderMark},
        {"\xFF\xFE<\0h\0", "text/html; charset=utf-8", "utf-16le", CEncodingSniffer::Source::ByteOrderMark},
        {"\xFE\xFF\0<", "text/html", "utf-16be", CEncodingSniffer::Source::ByteOrderMark},
        {"<meta charset=big5>", "text/html; charset=shift_jis", "shift_jis",
         CEncodingSniffer::Source::ContentType},
        {"<meta charset=big5>", "text/html; charset=ibm-943", "big5", CEncodingSniffer::Source::Meta},
        {"<html>", "text/html; charset=x-no-such-set", "utf-8", CEncodingSniffer::Source::Default},
        {"", "", "utf-8", CEncodingSniffer::Source::Default},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszContentType);
        CEncodingSniffer::Source eSource = CEncodingSniffer::Source::Default;
        EXPECT_STREQ(CEncodingSniffer::Sniff(c.m_strPage, c.m_pszContentType, eSource).m_pszName,
                     c.m_pszEncoding);
        EXPECT_EQ(eSource, c.m_eSource);
    }
}
} // namespace
