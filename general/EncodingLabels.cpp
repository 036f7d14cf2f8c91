#include "general/EncodingLabels.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
const CEncoding ENCODINGS[] = {
    {"utf-8", "UTF-8"},
    {"ibm866", "ibm-866_P100-1995"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-8859-4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-8859-6", "ISO-8859-6"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"},
    {"iso-8859-8-i", "ISO-8859-8"},
    {"iso-8859-10", "ISO-8859-10"},
    {"iso-8859-13", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"koi8-r", "KOI8-R"},
    {"koi8-u", "KOI8-U"},
    {"macintosh", "macintosh"},
    {"windows-874", "windows-874"},
    {"windows-1250", "windows-1250"},
    {"windows-1251", "windows-1251"},
    {"windows-1252", "windows-1252"},
    {"windows-1253", "windows-1253"},
    {"windows-1254", "windows-1254"},
    {"windows-1255", "windows-1255"},
    {"windows-1256", "windows-1256"},
    {"windows-1257", "windows-1257"},
    {"windows-1258", "windows-1258"},
    {"x-mac-cyrillic", "x-mac-cyrillic"},
    {"gbk", "windows-936"},
    {"gb18030", "gb18030"},
    {"big5", "ibm-1375_P100-2008"},
    {"euc-jp", "EUC-JP"},
    {"iso-2022-jp", "ISO-2022-JP"},
    {"shift_jis", "ibm-943_P15A-2003"},
    {"euc-kr", "windows-949"},
    {"replacement", ""},
    {"utf-16be", "UTF-16BE"},
    {"utf-16le", "UTF-16LE"},
    {"x-user-defined", ""},
};

struct CLabel
{
    const char* m_pszLabel;
    const char* m_pszEncoding;
};

// Sorted by label, for a binary search.
const CLabel LABELS[] = {
    {"866", "ibm866"},
    {"ansi_x3.4-1968", "windows-1252"},
    {"arabic", "iso-8859-6"},
    {"ascii", "windows-1252"},
    {"asmo-708", "iso-8859-6"},
    {"big5", "big5"},
    {"big5-hkscs", "big5"},
    {"chinese", "gbk"},
    {"cn-big5", "big5"},
    {"cp1250", "windows-1250"},
    {"cp1251", "windows-1251"},
    {"cp1252", "windows-1252"},
    {"cp1253", "windows-1253"},
    {"cp1254", "windows-1254"},
    {"cp1255", "windows-1255"},
    {"cp1256", "windows-1256"},
    {"cp1257", "windows-1257"},
    {"cp1258", "windows-1258"},
    {"cp819", "windows-1252"},
    {"cp866", "ibm866"},
    {"csbig5", "big5"},
    {"cseuckr", "euc-kr"},
    {"cseucpkdfmtjapanese", "euc-jp"},
    {"csgb2312", "gbk"},
    {"csibm866", "ibm866"},
    {"csiso2022jp", "iso-2022-jp"},
    {"csiso2022kr", "replacement"},
    {"csiso58gb231280", "gbk"},
    {"csiso88596e", "iso-8859-6"},
    {"csiso88596i", "iso-8859-6"},
    {"csiso88598e", "iso-8859-8"},
    {"csiso88598i", "iso-8859-8-i"},
    {"csisolatin1", "windows-1252"},
    {"csisolatin2", "iso-8859-2"},
    {"csisolatin3", "iso-8859-3"},
    {"csisolatin4", "iso-8859-4"},
    {"csisolatin5", "windows-1254"},
    {"csisolatin6", "iso-8859-10"},
    {"csisolatin9", "iso-8859-15"},
    {"csisolatinarabic", "iso-8859-6"},
    {"csisolatincyrillic", "iso-8859-5"},
    {"csisolatingreek", "iso-8859-7"},
    {"csisolatinhebrew", "iso-8859-8"},
    {"cskoi8r", "koi8-r"},
    {"csksc56011987", "euc-kr"},
    {"csmacintosh", "macintosh"},
    {"csshiftjis", "shift_jis"},
    {"csunicode", "utf-16le"},
    {"cyrillic", "iso-8859-5"},
    {"dos-874", "windows-874"},
    {"ecma-114", "iso-8859-6"},
    {"ecma-118", "iso-8859-7"},
    {"elot_928", "iso-8859-7"},
    {"euc-jp", "euc-jp"},
    {"euc-kr", "euc-kr"},
    {"gb18030", "gb18030"},
    {"gb2312", "gbk"},
    {"gb_2312", "gbk"},
    {"gb_2312-80", "gbk"},
    {"gbk", "gbk"},
    {"greek", "iso-8859-7"},
    {"greek8", "iso-8859-7"},
    {"hebrew", "iso-8859-8"},
    {"hz-gb-2312", "replacement"},
    {"ibm819", "windows-1252"},
    {"ibm866", "ibm866"},
    {"iso-10646-ucs-2", "utf-16le"},
    {"iso-2022-cn", "replacement"},
    {"iso-2022-cn-ext", "replacement"},
    {"iso-2022-jp", "iso-2022-jp"},
    {"iso-2022-kr", "replacement"},
    {"iso-8859-1", "windows-1252"},
    {"iso-8859-10", "iso-8859-10"},
    {"iso-8859-11", "windows-874"},
    {"iso-8859-13", "iso-8859-13"},
    {"iso-8859-14", "iso-8859-14"},
    {"iso-8859-15", "iso-8859-15"},
    {"iso-8859-16", "iso-8859-16"},
    {"iso-8859-2", "iso-8859-2"},
    {"iso-8859-3", "iso-8859-3"},
    {"iso-8859-4", "iso-8859-4"},
    {"iso-8859-5", "iso-8859-5"},
    {"iso-8859-6", "iso-8859-6"},
    {"iso-8859-6-e", "iso-8859-6"},
    {"iso-8859-6-i", "iso-8859-6"},
    {"iso-8859-7", "iso-8859-7"},
    {"iso-8859-8", "iso-8859-8"},
    {"iso-8859-8-e", "iso-8859-8"},
    {"iso-8859-8-i", "iso-8859-8-i"},
    {"iso-8859-9", "windows-1254"},
    {"iso-ir-100", "windows-1252"},
    {"iso-ir-101", "iso-8859-2"},
    {"iso-ir-109", "iso-8859-3"},
    {"iso-ir-110", "iso-8859-4"},
    {"iso-ir-126", "iso-8859-7"},
    {"iso-ir-127", "iso-8859-6"},
    {"iso-ir-138", "iso-8859-8"},
    {"iso-ir-144", "iso-8859-5"},
    {"iso-ir-148", "windows-1254"},
    {"iso-ir-149", "euc-kr"},
    {"iso-ir-157", "iso-8859-10"},
    {"iso-ir-58", "gbk"},
    {"iso8859-1", "windows-1252"},
    {"iso8859-10", "iso-8859-10"},
    {"iso8859-11", "windows-874"},
    {"iso8859-13", "iso-8859-13"},
    {"iso8859-14", "iso-8859-14"},
    {"iso8859-15", "iso-8859-15"},
    {"iso8859-2", "iso-8859-2"},
    {"iso8859-3", "iso-8859-3"},
    {"iso8859-4", "iso-8859-4"},
    {"iso8859-6", "iso-8859-6"},
    {"iso8859-7", "iso-8859-7"},
    {"iso8859-8", "iso-8859-8"},
    {"iso8859-9", "windows-1254"},
    {"iso88591", "windows-1252"},
    {"iso885910", "iso-8859-10"},
    {"iso885911", "windows-874"},
    {"iso885913", "iso-8859-13"},
    {"iso885914", "iso-8859-14"},
    {"iso885915", "iso-8859-15"},
    {"iso88592", "iso-8859-2"},
    {"iso88593", "iso-8859-3"},
    {"iso88594", "iso-8859-4"},
    {"iso88595", "iso-8859-5"},
    {"iso88596", "iso-8859-6"},
    {"iso88597", "iso-8859-7"},
    {"iso88598", "iso-8859-8"},
    {"iso88599", "windows-1254"},
    {"iso_8859-1", "windows-1252"},
    {"iso_8859-15", "iso-8859-15"},
    {"iso_8859-1:1987", "windows-1252"},
    {"iso_8859-2", "iso-8859-2"},
    {"iso_8859-2:1987", "iso-8859-2"},
    {"iso_8859-3", "iso-8859-3"},
    {"iso_8859-3:1988", "iso-8859-3"},
    {"iso_8859-4", "iso-8859-4"},
    {"iso_8859-4:1988", "iso-8859-4"},
    {"iso_8859-5", "iso-8859-5"},
    {"iso_8859-5:1988", "iso-8859-5"},
    {"iso_8859-6", "iso-8859-6"},
    {"iso_8859-6:1987", "iso-8859-6"},
    {"iso_8859-7", "iso-8859-7"},
    {"iso_8859-7:1987", "iso-8859-7"},
    {"iso_8859-8", "iso-8859-8"},
    {"iso_8859-8:1988", "iso-8859-8"},
    {"iso_8859-9", "windows-1254"},
    {"iso_8859-9:1989", "windows-1254"},
    {"koi", "koi8-r"},
    {"koi8", "koi8-r"},
    {"koi8-r", "koi8-r"},
    {"koi8-ru", "koi8-u"},
    {"koi8-u", "koi8-u"},
    {"koi8_r", "koi8-r"},
    {"korean", "euc-kr"},
    {"ks_c_5601-1987", "euc-kr"},
    {"ks_c_5601-1989", "euc-kr"},
    {"ksc5601", "euc-kr"},
    {"ksc_5601", "euc-kr"},
    {"l1", "windows-1252"},
    {"l2", "iso-8859-2"},
    {"l3", "iso-8859-3"},
    {"l4", "iso-8859-4"},
    {"l5", "windows-1254"},
    {"l6", "iso-8859-10"},
    {"l9", "iso-8859-15"},
    {"latin1", "windows-1252"},
    {"latin2", "iso-8859-2"},
    {"latin3", "iso-8859-3"},
    {"latin4", "iso-8859-4"},
    {"latin5", "windows-1254"},
    {"latin6", "iso-8859-10"},
    {"logical", "iso-8859-8-i"},
    {"mac", "macintosh"},
    {"macintosh", "macintosh"},
    {"ms932", "shift_jis"},
    {"ms_kanji", "shift_jis"},
    {"shift-jis", "shift_jis"},
    {"shift_jis", "shift_jis"},
    {"sjis", "shift_jis"},
    {"sun_eu_greek", "iso-8859-7"},
    {"tis-620", "windows-874"},
    {"ucs-2", "utf-16le"},
    {"unicode", "utf-16le"},
    {"unicode-1-1-utf-8", "utf-8"},
    {"unicode11utf8", "utf-8"},
    {"unicode20utf8", "utf-8"},
    {"unicodefeff", "utf-16le"},
    {"unicodefffe", "utf-16be"},
    {"us-ascii", "windows-1252"},
    {"utf-16", "utf-16le"},
    {"utf-16be", "utf-16be"},
    {"utf-16le", "utf-16le"},
    {"utf-8", "utf-8"},
    {"utf8", "utf-8"},
    {"visual", "iso-8859-8"},
    {"windows-1250", "windows-1250"},
    {"windows-1251", "windows-1251"},
    {"windows-1252", "windows-1252"},
    {"windows-1253", "windows-1253"},
    {"windows-1254", "windows-1254"},
    {"windows-1255", "windows-1255"},
    {"windows-1256", "windows-1256"},
    {"windows-1257", "windows-1257"},
    {"windows-1258", "windows-1258"},
    {"windows-31j", "shift_jis"},
    {"windows-874", "windows-874"},
    {"windows-949", "euc-kr"},
    {"x-cp1250", "windows-1250"},
    {"x-cp1251", "windows-1251"},
    {"x-cp1252", "windows-1252"},
    {"x-cp1253", "windows-1253"},
    {"x-cp1254", "windows-1254"},
    {"x-cp1255", "windows-1255"},
    {"x-cp1256", "windows-1256"},
    {"x-cp1257", "windows-1257"},
    {"x-cp1258", "windows-1258"},
    {"x-euc-jp", "euc-jp"},
    {"x-gbk", "gbk"},
    {"x-mac-cyrillic", "x-mac-cyrillic"},
    {"x-mac-roman", "macintosh"},
    {"x-mac-ukrainian", "x-mac-cyrillic"},
    {"x-sjis", "shift_jis"},
    {"x-unicode20utf8", "utf-8"},
    {"x-user-defined", "x-user-defined"},
    {"x-x-big5", "big5"},
};

// The longest label is shorter than this; a longer name is no label.
constexpr size_t MAX_LABEL = 32;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
} // namespace

const CEncoding* CEncodingLabels::ByName(std::string_view svName)
{
    for (const CEncoding& encoding : ENCODINGS)
    {
        if (svName == encoding.m_pszName)
            return &encoding;
    }
    return nullptr;
}

const CEncoding* CEncodingLabels::Find(std::string_view svLabel)
{
    while (!svLabel.empty() && IsBlank(svLabel.front()))
        svLabel.remove_prefix(1);
    while (!svLabel.empty() && IsBlank(svLabel.back()))
        svLabel.remove_suffix(1);
    if (svLabel.empty() || svLabel.size() > MAX_LABEL)
        return nullptr;
    std::string sLower(svLabel);
    for (char& c : sLower)
        c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    const auto it = std::lower_bound(std::begin(LABELS), std::end(LABELS), sLower,
                                     [](const CLabel& label, const std::string& sKey)
                                     { return std::strcmp(label.m_pszLabel, sKey.c_str()) < 0; });
    if (it == std::end(LABELS) || sLower != it->m_pszLabel)
        return nullptr;
    return ByName(it->m_pszEncoding);
}

const CEncoding& CEncodingLabels::Utf8()
{
    return *ByName("utf-8");
}

const CEncoding& CEncodingLabels::Utf16Le()
{
    return *ByName("utf-16le");
}

const CEncoding& CEncodingLabels::Utf16Be()
{
    return *ByName("utf-16be");
}

const CEncoding& CEncodingLabels::Windows1252()
{
    return *ByName("windows-1252");
}
