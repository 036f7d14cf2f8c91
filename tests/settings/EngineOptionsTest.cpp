#include "settings/DLSettings.h"
#include "settings/EngineOptionTable.h"
#include "settings/LoadInitINI.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

#include <mutex>
#include <variant>

using settings_test::CTempFolder;
using settings_test::CTraceCapture;

namespace
{
// One row of an option array as read back: id and value.
struct CRow
{
    _variant_t m_vID;
    _variant_t m_vValue;
};

std::vector<CRow> RowsOf(SAFEARRAY* psa)
{
    std::vector<CRow> rows;
    LONG nUpper = -1;
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &nUpper), S_OK);
    for (LONG r = 0; r <= nUpper; ++r)
    {
        CRow row;
        const LONG idIndex[2] = {0, r};
        const LONG valueIndex[2] = {1, r};
        EXPECT_EQ(SafeArrayGetElement(psa, idIndex, &row.m_vID), S_OK);
        EXPECT_EQ(SafeArrayGetElement(psa, valueIndex, &row.m_vValue), S_OK);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string Text(const VARIANT& v)
{
    EXPECT_EQ(v.vt, VT_BSTR);
    return v.vt == VT_BSTR ? BstrToAnsi(v.bstrVal, SysStringLen(v.bstrVal)) : "<not a text>";
}

// The value of the first row with that id.
const CRow* FindRow(const std::vector<CRow>& rows, LONG nID)
{
    for (const CRow& row : rows)
    {
        if (row.m_vID.vt == VT_I4 && row.m_vID.lVal == nID)
            return &row;
    }
    return nullptr;
}

// An option array as the XML load builds it: {2, n}, ids at {0, r}, values at {1, r}; ids given as -1 are
// stored as texts, which the loader skips.
CCountedPtr<COptionArray, CSafeArrayHolderDelete<COptionArray>> InputArray(const std::vector<LONG>& vecIDs)
{
    const SAFEARRAYBOUND bounds[2] = {{2, 0}, {static_cast<ULONG>(vecIDs.size()), 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (size_t r = 0; r < vecIDs.size(); ++r)
    {
        const LONG idIndex[2] = {0, static_cast<LONG>(r)};
        const LONG valueIndex[2] = {1, static_cast<LONG>(r)};
        const _variant_t vID = vecIDs[r] < 0 ? _variant_t("not an id") : _variant_t(vecIDs[r]);
        const _variant_t vValue(std::string("value " + std::to_string(r)).c_str());
        SafeArrayPutElement(psa, idIndex, &vID);
        SafeArrayPutElement(psa, valueIndex, &vValue);
    }
    SafeArrayLock(psa);
    auto* pHolder = new COptionArray();
    pHolder->m_psa = psa;
    return COptionArrayPtr(pHolder);
}

// The loader's reports while an instance lives.
class CLoadInitReports
{
public:
    CLoadInitReports()
    {
        Store().clear();
        SetLoadInitLogCallback(&Sink);
    }
    ~CLoadInitReports() { SetLoadInitLogCallback(nullptr); }
    static std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(Mutex());
        return Store();
    }

private:
    static void Sink(const char* pszMessage, const char* pszArgument)
    {
        std::lock_guard<std::mutex> guard(Mutex());
        Store().push_back(std::string(pszMessage) + (pszArgument != nullptr ? pszArgument : ""));
    }
    static std::vector<std::string>& Store()
    {
        static std::vector<std::string> s_vec;
        return s_vec;
    }
    static std::mutex& Mutex()
    {
        static std::mutex s_mx;
        return s_mx;
    }
};

// An INI file in a temporary folder, read by the loader onto an input array.
struct CIniLoad
{
    explicit CIniLoad(const std::string& sIni, const std::vector<LONG>& vecInputIDs = {},
                      std::vector<CExtraOption> vecExtras = {})
    {
        folder.Write("engine.ini", sIni);
        loader.SetPath(folder.WindowsOf("engine.ini").c_str());
        spOptions = InputArray(vecInputIDs);
        nResult = loader.Load(*spOptions, vecExtras);
        rows = RowsOf(spOptions->m_psa);
    }
    CTempFolder folder;
    CLoadInitINI loader;
    COptionArrayPtr spOptions;
    int nResult = -1;
    std::vector<CRow> rows;
};

// The fixed rows' ids in writing order, spelled out apart from the loader's own table.
std::vector<LONG> ExpectedFixedIDs(bool bWithStyles)
{
    std::vector<LONG> ids = {54, 53, 55};
    for (LONG n = 1; n <= 21; ++n)
        ids.push_back(n);
    for (LONG n : {23, 27, 31, 35, 39, 43, 22, 24, 25, 24, 22, 29, 28, 26,
                   33, 32, 30, 37, 36, 34, 41, 40, 38, 45, 44, 42, 175})
        ids.push_back(n);
    for (LONG n : {61,  75,  74,  76, 66,  63,  63,  65,  72,  173, 64,  69,  67,  71,  62,  58,  68,
                   70,  60,  56,  57, 169, 168, 163, 164, 170, 167, 73,  172, 171, 165, 160, 151, 166,
                   161, 162, 159, 46, 48,  52,  51,  47,  49,  50,  152, 153, 154, 155, 156, 157, 158})
        ids.push_back(n);
    ids.push_back(77);
    ids.push_back(174);
    for (LONG nLevel = 1; nLevel <= 6; ++nLevel)
    {
        for (LONG k : {0, 1, 2, 3, 5, 4, 11, 10, 9, 8, 6, 7})
            ids.push_back(78 + 12 * (nLevel - 1) + k);
    }
    if (bWithStyles)
        ids.push_back(180);
    for (LONG n : {240, 241, 244, 245, 242, 243, 246, 248, 247})
        ids.push_back(n);
    return ids;
}

std::vector<LONG> IDsOf(const std::vector<CRow>& rows, size_t nCount)
{
    std::vector<LONG> ids;
    for (size_t i = 0; i < nCount && i < rows.size(); ++i)
        ids.push_back(rows[i].m_vID.vt == VT_I4 ? rows[i].m_vID.lVal : -999);
    return ids;
}

std::string ReadSampleIni()
{
    return ReadFileText(std::string(DLSW_SOURCE_DIR) + "/samples/install/Engine/ini/KVExport.ini");
}
} // namespace

TEST(EngineOptionTable, FixedRowsAndEnumerationNames)
{
    EXPECT_EQ(RowsBeforeStyles().size() + TrackChangesRows().size(), static_cast<size_t>(FIXED_ROW_COUNT));
    EXPECT_EQ(EngineEnumNameCount(), 110u);
    const struct
    {
        const char* pszName;
        int nValue;
    } names[] = {{"KVGFX_JAVA", 5},          {"GeneralAnchorEx", 10}, {"KVHC_CreateHeadingsAlways", 1},
                 {"KVCS_1258", 13},          {"KVCS_8859_9", 22},     {"KVCS_852", 30},
                 {"KVCS_874", 41},           {"KVCS_UTF8", 53},       {"KVCS_EUC_JP", 66},
                 {"Language_LAST_LANG", 24}, {"Language_ENGLISH", 6}, {"Presentation", 3},
                 {"SA_Border", 2},           {"CSS_TOFILE", 2},       {"KVSTYLE_HEADING6", 64},
                 {"KVSTYLE_REDACT", 2048}};
    for (const auto& n : names)
    {
        int nValue = -1;
        EXPECT_TRUE(FindEngineEnumValue(n.pszName, nValue)) << n.pszName;
        EXPECT_EQ(nValue, n.nValue) << n.pszName;
    }
    int nValue = -1;
    EXPECT_FALSE(FindEngineEnumValue("kvcs_utf8", nValue));
    EXPECT_FALSE(FindEngineEnumValue("KVSTYLE_PRE|KVSTYLE_REDACT", nValue));
}

TEST(EngineOptionsLoad, EmptyFileRowsAndDefaults)
{
    CLoadInitReports reports;
    CIniLoad load("", {7, 8, 9},
                  []
                  {
                      std::vector<CExtraOption> v(1);
                      v[0].m_nOptionID = OPTION_ID_ENGINE8_OPTION1;
                      v[0].m_vValue = _variant_t(static_cast<LONG>(-1));
                      return v;
                  }());
    EXPECT_EQ(load.nResult, 0);
    // Two elements a row, id and value: the array grows with its rows, not with their square.
    LONG nLastColumn = -1;
    ASSERT_EQ(SafeArrayGetUBound(load.spOptions->m_psa, 1, &nLastColumn), S_OK);
    EXPECT_EQ(nLastColumn, 1);
    ASSERT_EQ(load.rows.size(), 185u + 3u + 1u);
    EXPECT_EQ(IDsOf(load.rows, 185), ExpectedFixedIDs(false));
    // The input rows, then the extra row, last.
    for (size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(load.rows[185 + i].m_vID.lVal, static_cast<LONG>(7 + i));
        EXPECT_EQ(Text(load.rows[185 + i].m_vValue), "value " + std::to_string(i));
    }
    EXPECT_EQ(load.rows.back().m_vID.lVal, 226);
    EXPECT_EQ(load.rows.back().m_vValue.lVal, -1);

    const struct
    {
        LONG nID;
        LONG nValue;
    } numbers[] = {{56, 1},   {57, 1},   {66, 1},  {58, 0},  {63, 0},  {160, 1}, {172, 2147483647},
                   {168, 32}, {169, 88}, {161, 2}, {162, 4}, {151, 0}, {159, 0}, {175, 0},
                   {77, 0},   {174, 0},  {88, 0},  {248, 0}, {246, 0}, {152, 0}, {158, 0}};
    for (const auto& n : numbers)
    {
        const CRow* pRow = FindRow(load.rows, n.nID);
        ASSERT_NE(pRow, nullptr) << n.nID;
        ASSERT_EQ(pRow->m_vValue.vt, VT_I4) << n.nID;
        EXPECT_EQ(pRow->m_vValue.lVal, n.nValue) << n.nID;
    }
    // Texts: empty, not null, in the template and options rows; the track-changes texts take their default.
    for (LONG nID : {1, 22, 45, 46, 52})
    {
        const CRow* pRow = FindRow(load.rows, nID);
        ASSERT_EQ(pRow->m_vValue.vt, VT_BSTR) << nID;
        EXPECT_NE(pRow->m_vValue.bstrVal, nullptr) << nID;
        EXPECT_EQ(SysStringLen(pRow->m_vValue.bstrVal), 0u) << nID;
    }
    for (LONG nID : {240, 241, 242, 243, 244, 245})
        EXPECT_EQ(Text(FindRow(load.rows, nID)->m_vValue), "KVCS_UNKNOWN") << nID;
    EXPECT_EQ(FindRow(load.rows, 247)->m_vValue.vt, VT_EMPTY); // no author styles
    EXPECT_EQ(FindRow(load.rows, 180), nullptr);               // no styles, no style row
    EXPECT_TRUE(reports.Lines().empty());
}

TEST(EngineOptionsLoad, FullSampleRowsStylesAndAuthorStyles)
{
    CIniLoad load(ReadSampleIni(), {300, -1, 301});
    EXPECT_EQ(load.nResult, 0);
    // 185 fixed rows, the style row, three input rows of which one has no id.
    ASSERT_EQ(load.rows.size(), 185u + 1u + 3u);
    EXPECT_EQ(IDsOf(load.rows, 186), ExpectedFixedIDs(true));
    EXPECT_EQ(load.rows[186].m_vID.lVal, 300);
    EXPECT_EQ(load.rows[187].m_vID.lVal, 301);
    EXPECT_EQ(load.rows[188].m_vID.vt, VT_EMPTY); // the skipped input row stays empty, at the end

    // The first TOC level's ids carry the first-heading texts first, then their own.
    EXPECT_EQ(Text(load.rows[24 + 6].m_vValue), "<h1 class=\"first\">"); // row 22, first time
    EXPECT_EQ(load.rows[34].m_vID.lVal, 22);
    EXPECT_EQ(Text(load.rows[34].m_vValue), "<ul class=\"toc1\">"); // its own, after LeafNode and End
    EXPECT_EQ(Text(FindRow(load.rows, 1)->m_vValue), "<html><head><title>%title%</title></head><body> ");
    EXPECT_EQ(FindRow(load.rows, 54)->m_vValue.lVal, 1);
    EXPECT_EQ(FindRow(load.rows, 175)->m_vValue.lVal, 65536);
    EXPECT_EQ(FindRow(load.rows, 151)->m_vValue.lVal, 53);
    EXPECT_EQ(FindRow(load.rows, 170)->m_vValue.lVal, 7);
    EXPECT_EQ(FindRow(load.rows, 168)->m_vValue.lVal, '?');
    EXPECT_EQ(FindRow(load.rows, 158)->m_vValue.lVal, 36);
    EXPECT_EQ(FindRow(load.rows, 174)->m_vValue.lVal, 1);
    EXPECT_EQ(Text(FindRow(load.rows, 51)->m_vValue), ""); // szJavaURL= is empty
    EXPECT_EQ(FindRow(load.rows, 248)->m_vValue.lVal, 1);
    EXPECT_EQ(FindRow(load.rows, 246)->m_vValue.lVal, 2);

    // Styles: one row, a {4, NumStyles} array addressed {field, style}.
    const CRow* pStyles = FindRow(load.rows, 180);
    ASSERT_NE(pStyles, nullptr);
    ASSERT_EQ(pStyles->m_vValue.vt, VT_ARRAY | VT_VARIANT);
    SAFEARRAY* psa = pStyles->m_vValue.parray;
    LONG nUpper = 0;
    ASSERT_EQ(SafeArrayGetDim(psa), 2u);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &nUpper), S_OK);
    EXPECT_EQ(nUpper, 3);
    ASSERT_EQ(SafeArrayGetUBound(psa, 2, &nUpper), S_OK);
    EXPECT_EQ(nUpper, 2);
    const auto Field = [&](LONG nField, LONG nStyle)
    {
        const LONG index[2] = {nField, nStyle};
        _variant_t v;
        EXPECT_EQ(SafeArrayGetElement(psa, index, &v), S_OK);
        return v;
    };
    EXPECT_EQ(Text(Field(0, 0)), "Code");
    EXPECT_EQ(Text(Field(1, 0)), "<pre class=\"code\">");
    EXPECT_EQ(Text(Field(2, 1)), "</h1>");
    EXPECT_EQ(Field(3, 0).lVal, 1);
    EXPECT_EQ(Field(3, 1).lVal, 2);
    EXPECT_EQ(Field(3, 2).lVal, 2048);
    const _variant_t vEmpty = Field(1, 2);
    EXPECT_EQ(vEmpty.vt, VT_BSTR);
    EXPECT_EQ(vEmpty.bstrVal, nullptr); // a style text not kept is a null text

    const CRow* pAuthors = FindRow(load.rows, 247);
    ASSERT_EQ(pAuthors->m_vValue.vt, VT_ARRAY | VT_BSTR);
    ASSERT_EQ(SafeArrayGetUBound(pAuthors->m_vValue.parray, 1, &nUpper), S_OK);
    EXPECT_EQ(nUpper, 1);
    BSTR bstr = nullptr;
    const LONG one[1] = {1};
    ASSERT_EQ(SafeArrayGetElement(pAuthors->m_vValue.parray, one, &bstr), S_OK);
    EXPECT_EQ(BstrToAnsi(bstr, SysStringLen(bstr)), "color:#aa3300");
    SysFreeString(bstr);
}

TEST(EngineOptionsLoad, ValueKinds)
{
    using Expected = std::variant<LONG, std::string, std::nullptr_t>; // a number, a text, a null text
    const struct
    {
        const char* pszIni;
        LONG nID;
        Expected expected;
        const char* pszReport; // the loader's report, or null
    } cases[] = {
        // booleans: exactly "TRUE"
        {"[KVHTMLOptionsEx]\nbSupportFontFace=TRUE", 58, 1, nullptr},
        {"[KVHTMLOptionsEx]\nbSupportFontFace=true", 58, 0, nullptr},
        {"[KVHTMLOptionsEx]\nbSupportFontFace=\"TRUE \"", 58, 0, nullptr},
        {"[KVHTMLOptionsEx]\nbUseDocumentColors=FALSE", 56, 0, nullptr},
        {"[KVHTMLTemplateEx]\nbHardPageMakesNewBlock=TRUE", 54, 1, nullptr},
        // numbers as atoi reads them, clamped to 32 bits
        {"[KVHTMLOptionsEx]\nnTableBorderWidth=-12px", 160, -12, nullptr},
        {"[KVHTMLOptionsEx]\nnTableBorderWidth=px", 160, 0, nullptr},
        {"[KVHTMLOptionsEx]\nnTableBorderWidth=99999999999", 160, 2147483647, nullptr},
        {"[KVHTMLTemplateEx]\nlcbBlockSize=-99999999999", 175, INT32_MIN, nullptr},
        // LONG_MAX in any case
        {"[KVHTMLOptionsEx]\nlcbMaxMemUsage=long_max", 172, 2147483647, nullptr},
        {"[KVHTMLOptionsEx]\nlcbMaxMemUsage=1048576", 172, 1048576, nullptr},
        // enumeration names, exact
        {"[KVHTMLOptionsEx]\nOutputCharSet=KVCS_852", 151, 30, nullptr},
        {"[KVHTMLOptionsEx]\nOutputCharSet=KVCS_UTF8", 151, 53, nullptr},
        {"[KVHTMLOptionsEx]\nOutputCharSet=kvcs_utf8", 151, 0,
         " Unknown enumerated type, defaulted to 0\nkvcs_utf8"},
        {"[KVHTMLOptionsEx]\neStyleSheetType=Nonsense", 167, 0,
         " Unknown enumerated type, defaulted to 0\nNonsense"},
        {"[KVHTMLOptionsEx]\neSrcCharSet=", 170, 0, nullptr},
        {"[KVHTMLTOCOptions]\nheadingCreateType=KVHC_CreateHeadingsAlways", 174, 1, nullptr},
        // texts
        {"[KVHTMLOptionsEx]\nszBaseURL= http://owa.test/a b ", 46, std::string("http://owa.test/a b"),
         nullptr},
        {"[KVHTMLTemplateEx]\nszXFile=", 9, std::string(""), nullptr},
        {"[TrackChanges]\nHLStartBlock=", 240, nullptr, nullptr},
        {"[TrackChanges]\nRMInsPre=<ins class=\"x\">", 242, std::string("<ins class=\"x\">"), nullptr},
        // characters: the first byte
        {"[KVHTMLOptionsEx]\ncRedact=Zed", 169, 90, nullptr},
        {"[KVHTMLOptionsEx]\ncReplaceChar=", 168, 0, nullptr},
        {"[KVHTMLOptionsEx]\ncReplaceChar=\xC3\xA9", 168, 0xC3, nullptr},
        // lists: pieces in order, empty pieces skipped, missing pieces 0
        {"[KVHTMLOptionsEx]\nFontSizeMap=9,11,13", 154, 13, nullptr},
        {"[KVHTMLOptionsEx]\nFontSizeMap=9,11,13", 155, 0, nullptr},
        {"[KVHTMLOptionsEx]\nFontSizeMap=1,,2", 153, 2, nullptr},
        {"[KVHTMLOptionsEx]\nFontSizeMap=1,2,3,4,5,6,7,8", 158, 7, nullptr},
        // heading infos: one piece per level
        {"[KVHTMLHeadingInfo]\nfontSizeMin=20,18,16", 88, 20, nullptr},
        {"[KVHTMLHeadingInfo]\nfontSizeMin=20,18,16", 100, 18, nullptr},
        {"[KVHTMLHeadingInfo]\nfontSizeMin=20,18,16", 112, 16, nullptr},
        {"[KVHTMLHeadingInfo]\nfontSizeMin=20,18,16", 124, 0, nullptr},
        {"[KVHTMLHeadingInfo]\nbMustBeBold=TRUE,true,TRUE", 90, 0, nullptr},
        {"[KVHTMLHeadingInfo]\nbMustBeBold=TRUE,true,TRUE", 102, 1, nullptr},
        {"[KVHTMLHeadingInfo]\nmSpaceAfter=1,2,3,4,5,66", 145, 66, nullptr},
        // track-changes numbers, author-style count
        {"[TrackChanges]\nRMSummary=7", 248, 7, nullptr},
        {"[AUTHORSTYLE]\nStyles=-3", 246, -3, nullptr},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszIni);
        CLoadInitReports reports;
        CIniLoad load(c.pszIni);
        const CRow* pRow = FindRow(load.rows, c.nID);
        ASSERT_NE(pRow, nullptr);
        if (const LONG* pn = std::get_if<LONG>(&c.expected))
        {
            ASSERT_EQ(pRow->m_vValue.vt, VT_I4);
            EXPECT_EQ(pRow->m_vValue.lVal, *pn);
        }
        else if (const std::string* ps = std::get_if<std::string>(&c.expected))
            EXPECT_EQ(Text(pRow->m_vValue), *ps);
        else
        {
            ASSERT_EQ(pRow->m_vValue.vt, VT_BSTR);
            EXPECT_EQ(pRow->m_vValue.bstrVal, nullptr);
        }
        const std::vector<std::string> lines = reports.Lines();
        if (c.pszReport != nullptr)
            EXPECT_EQ(lines, std::vector<std::string>{c.pszReport});
        else
            EXPECT_TRUE(lines.empty());
    }
}

TEST(EngineOptionsLoad, StyleArrayHasOneRowOfFourFieldsPerStyle)
{
    // The style flags: a name when the value begins with "K", else a number.
    const struct
    {
        int nStyles;
        const char* pszFlags;
        LONG nFlags;
    } cases[] = {{1, "KVSTYLE_PRE", 1}, {2, "12", 12}, {5, "KVSTYLE_NOPE", 0}, {3, "", 0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.nStyles);
        std::string sIni = "[KVStyle]\nNumStyles=" + std::to_string(c.nStyles) + "\n";
        for (int i = 1; i <= c.nStyles; ++i)
            sIni += "[Style" + std::to_string(i) + "]\nStyleName=S" + std::to_string(i) +
                    "\nFlags=" + c.pszFlags + "\n";
        CIniLoad load(sIni);
        ASSERT_EQ(load.rows.size(), 186u);
        const CRow* pStyles = FindRow(load.rows, 180);
        ASSERT_NE(pStyles, nullptr);
        SAFEARRAY* psa = pStyles->m_vValue.parray;
        LONG nFields = 0;
        LONG nLast = 0;
        SafeArrayGetUBound(psa, 1, &nFields);
        SafeArrayGetUBound(psa, 2, &nLast);
        EXPECT_EQ(nFields, 3);
        EXPECT_EQ(nLast, c.nStyles - 1);
        for (LONG i = 0; i < c.nStyles; ++i)
        {
            const LONG name[2] = {0, i};
            const LONG flags[2] = {3, i};
            _variant_t vName;
            _variant_t vFlags;
            ASSERT_EQ(SafeArrayGetElement(psa, name, &vName), S_OK);
            ASSERT_EQ(SafeArrayGetElement(psa, flags, &vFlags), S_OK);
            EXPECT_EQ(Text(vName), "S" + std::to_string(i + 1));
            EXPECT_EQ(vFlags.lVal, c.nFlags);
        }
    }
    // An absurd style count reads a bounded number of styles, and says so.
    CTraceCapture trace;
    CIniLoad load("[KVStyle]\nNumStyles=2000000000\n");
    LONG nLast = 0;
    SafeArrayGetUBound(FindRow(load.rows, 180)->m_vValue.parray, 2, &nLast);
    EXPECT_EQ(nLast, CLoadInitINI::MAX_STYLES - 1);
    EXPECT_TRUE(trace.Has("[CLoadInitINI::Init] NumStyles 2000000000 is more than 1024: only the first 1024 "
                          "styles are read"));
}

TEST(EngineOptionsLoad, InputRowsWithoutIntegerIdsAreSkipped)
{
    std::vector<CExtraOption> vecExtras(1);
    vecExtras[0].m_nOptionID = 226;
    vecExtras[0].m_vValue = _variant_t(static_cast<LONG>(3));
    CIniLoad load("[KVStyle]\nNumStyles=1\n", {1, 2, -1, 3, 4, 5, -1, 6, 7, 8}, vecExtras);
    ASSERT_EQ(load.rows.size(), 185u + 1u + 10u + 1u);
    std::vector<LONG> ids = IDsOf(load.rows, load.rows.size());
    const std::vector<LONG> tail(ids.begin() + 186, ids.end());
    EXPECT_EQ(tail, (std::vector<LONG>{1, 2, 3, 4, 5, 6, 7, 8, 226, -999, -999}));
    EXPECT_EQ(load.rows[186 + 2].m_vValue.vt, VT_BSTR);
    EXPECT_EQ(Text(load.rows[186 + 2].m_vValue), "value 3"); // the value beside its id
    EXPECT_EQ(load.rows[194].m_vValue.lVal, 3);
}

TEST(EngineOptionsLoad, LoaderFailuresAndPaths)
{
    CLoadInitReports reports;
    CLoadInitINI loader;
    // No path: nothing read, zeroed records all the same, answer 1.
    auto spOptions = InputArray({});
    EXPECT_EQ(loader.Load(*spOptions, {}), 1);
    std::vector<CRow> rows = RowsOf(spOptions->m_psa);
    EXPECT_EQ(rows.size(), 185u);
    EXPECT_EQ(FindRow(rows, 56)->m_vValue.lVal, 0); // not even the defaults
    EXPECT_EQ(reports.Lines(), std::vector<std::string>{" Initialisation INI path is Empty"});

    // Paths: 259 characters are taken, 260 leave the path as it was.
    const std::string s259(259, 'a');
    const std::string s260(260, 'b');
    loader.SetPath(s259.c_str());
    EXPECT_EQ(std::string(loader.GetPath()), s259);
    loader.SetPath(s260.c_str());
    EXPECT_EQ(std::string(loader.GetPath()), s259);
    loader.SetPath(nullptr);
    EXPECT_EQ(std::string(loader.GetPath()), s259);

    // An input that is no option array is refused before anything changes.
    COptionArray none;
    EXPECT_THROW(loader.Load(none, {}), CHResultError);
    auto spTexts = InputArray({});
    SAFEARRAY* psaTexts = SafeArrayCreateVector(VT_BSTR, 0, 2);
    SafeArrayLock(psaTexts);
    SafeArrayUnlock(spTexts->m_psa);
    SafeArrayDestroy(spTexts->m_psa);
    spTexts->m_psa = psaTexts;
    try
    {
        loader.Load(*spTexts, {});
        ADD_FAILURE() << "an array of texts was taken";
    }
    catch (const CHResultError& e)
    {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
    }
    EXPECT_EQ(spTexts->m_psa, psaTexts);

    // Only the settings folder's own name counts, not a "Settings" higher up.
    for (const char* pszDirectory : {"C:\\NoSuchPart\\", "C:\\Settings\\Product\\Conf\\", "Settings\\", ""})
        EXPECT_EQ(CDLSettings::BuildEngineINIPath("x.ini", pszDirectory, *std::make_unique<std::string>()),
                  false)
            << pszDirectory;
    const struct
    {
        const char* pszName;
        const char* pszDirectory;
        const char* pszPath;
    } paths[] = {
        {"engine.ini", "D:\\P\\X\\Settings\\", "D:\\P\\X\\Engine\\ini\\engine.ini"},
        {"\\engine.ini", "D:\\P\\X\\Settings\\", "D:\\P\\X\\Engine\\ini\\engine.ini"},
        {"/sub/engine.ini", "D:\\P\\X\\Settings\\", "D:\\P\\X\\Engine\\ini\\sub/engine.ini"},
        {"engine.ini", "D:\\P\\X\\sEtTiNgS\\", "D:\\P\\X\\Engine\\ini\\engine.ini"},
        {"engine.ini", "D:\\srv\\settings\\kestrune\\Settings\\",
         "D:\\srv\\settings\\kestrune\\Engine\\ini\\engine.ini"},
        {"engine.ini", "D:\\Settings\\P\\Settings", "D:\\Settings\\P\\Engine\\ini\\engine.ini"},
        {"engine.ini", "D:\\Settings\\", "D:\\Engine\\ini\\engine.ini"},
        {"E:\\opts\\engine.ini", "D:\\P\\X\\Settings\\", "E:\\opts\\engine.ini"},
        {"E:/opts/engine.ini", "", "E:/opts/engine.ini"},
    };
    for (const auto& p : paths)
    {
        std::string sPath;
        EXPECT_TRUE(CDLSettings::BuildEngineINIPath(p.pszName, p.pszDirectory, sPath)) << p.pszName;
        EXPECT_EQ(sPath, p.pszPath);
    }
}

namespace
{
const char* const THREE_SETS = R"(<SETTINGS>
  <GENERALSETTINGS><ITEM ID="1" DESCR="engine options" VALUE="engine.ini"/></GENERALSETTINGS>
  <SETTING ID="1" DESCR="with engine 0 and 8">
    <ENGINES>
      <ENGINE ID="0" DESCR="default"><OPTIONS><OPTION ID="500" DESCR="o" VALUE="x"/></OPTIONS></ENGINE>
      <ENGINE ID="8" DESCR="export"><OPTIONS><OPTION ID="1" DESCR="o" VALUE="3"/></OPTIONS></ENGINE>
    </ENGINES>
  </SETTING>
  <SETTING ID="2" DESCR="no engine 0"><ENGINES/></SETTING>
  <SETTING ID="3" DESCR="engine 0 only">
    <ENGINES>
      <ENGINE ID="0" DESCR="default">
        <OPTIONS><OPTION ID="501" DESCR="o" VALUE="y"/><OPTION ID="502" DESCR="o" VALUE="z"/></OPTIONS>
      </ENGINE>
    </ENGINES>
  </SETTING>
</SETTINGS>)";

// An installation in a temporary folder: Product\Settings\SWSettings.xml and Product\Engine\ini\engine.ini.
struct CInstallation
{
    CInstallation(const std::string& sXml, const std::string& sIni)
    {
        folder.Write("Product/Settings/SWSettings.xml", sXml);
        folder.Write("Product/Engine/ini/engine.ini", sIni);
    }
    std::string Path() const { return folder.WindowsOf("Product/Settings/SWSettings.xml"); }
    CTempFolder folder;
};

SAFEARRAY* Engine0Array(const CDLSettings& settings, int nSettingID)
{
    const auto& set = *settings.GetSettingSets().at(nSettingID);
    const auto it = set.m_mapEngines.find(0);
    if (it == set.m_mapEngines.end() || !it->second->m_spOptionArray)
        return nullptr;
    return it->second->m_spOptionArray->m_psa;
}
} // namespace

TEST(EngineOptionsDriver, EverySetGetsItsOwnArray)
{
    CInstallation install(THREE_SETS, "[KVHTMLOptionsEx]\nOutputCharSet=KVCS_UTF8\n");
    CTraceCapture trace;
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(install.Path()), S_OK);
    EXPECT_FALSE(trace.HasPrefix("LoadSettings failed to load the engine options"));

    const struct
    {
        int nSettingID;
        std::vector<LONG> vecTail; // the input rows and the extra row
    } sets[] = {{1, {500, 226}}, {2, {226}}, {3, {501, 502, 226}}};
    std::vector<SAFEARRAY*> vecArrays;
    for (const auto& s : sets)
    {
        SCOPED_TRACE(s.nSettingID);
        SAFEARRAY* psa = Engine0Array(settings, s.nSettingID);
        ASSERT_NE(psa, nullptr);
        vecArrays.push_back(psa);
        const std::vector<CRow> rows = RowsOf(psa);
        ASSERT_EQ(rows.size(), 185u + s.vecTail.size());
        EXPECT_EQ(IDsOf(rows, 185), ExpectedFixedIDs(false));
        const std::vector<LONG> ids = IDsOf(rows, rows.size());
        EXPECT_EQ(std::vector<LONG>(ids.begin() + 185, ids.end()), s.vecTail);
        EXPECT_EQ(FindRow(rows, 151)->m_vValue.lVal, 53);
        // Option 1 of engine 8, or -1.
        EXPECT_EQ(rows.back().m_vValue.lVal, s.nSettingID == 1 ? 3 : -1);
    }
    // A set without engine 0 was given one of its own, not another set's array.
    EXPECT_NE(vecArrays[0], vecArrays[1]);
    EXPECT_NE(vecArrays[1], vecArrays[2]);
    const auto& engine = *settings.GetSettingSets().at(2)->m_mapEngines.at(0);
    EXPECT_EQ(engine.m_nID, 0);
    EXPECT_EQ(engine.m_sName, "");

    // A reload builds on the XML again: the arrays do not grow. A failed reload leaves them as they were.
    ASSERT_EQ(settings.LoadSettings(install.Path()), S_OK);
    EXPECT_EQ(RowsOf(Engine0Array(settings, 1)).size(), 187u);
    install.folder.Write("Product/Settings/SWSettings.xml", "<SETTINGS>");
    EXPECT_LT(settings.LoadSettings(install.Path()), 0);
    EXPECT_EQ(RowsOf(Engine0Array(settings, 1)).size(), 187u);
    EXPECT_EQ(RowsOf(Engine0Array(settings, 2)).size(), 186u);
}

TEST(EngineOptionsDriver, OutcomesAndTraceLines)
{
    const std::string sNoItem1 =
        R"(<SETTINGS><SETTING ID="4"><ENGINES><ENGINE ID="0" DESCR="d"/></ENGINES></SETTING></SETTINGS>)";
    const std::string sNoSets =
        R"(<SETTINGS><GENERALSETTINGS><ITEM ID="1" VALUE="engine.ini"/></GENERALSETTINGS></SETTINGS>)";
    {
        // No file name: the arrays are built from nothing read, and the failure is traced.
        CInstallation install(sNoItem1, "[KVHTMLOptionsEx]\nbUseDocumentColors=TRUE\n");
        CTraceCapture trace;
        CDLSettings settings;
        EXPECT_EQ(settings.LoadSettings(install.Path()), S_OK);
        EXPECT_TRUE(trace.HasPrefix("LoadSettings failed to load the engine options HRESULT 80004005"));
        const std::vector<CRow> rows = RowsOf(Engine0Array(settings, 4));
        EXPECT_EQ(rows.size(), 186u);
        EXPECT_EQ(FindRow(rows, 56)->m_vValue.lVal, 0);
        EXPECT_FALSE(settings.LoadEngineINI());
    }
    {
        // No set: nothing to read, and no failure.
        CInstallation install(sNoSets, "");
        CDLSettings settings;
        EXPECT_EQ(settings.LoadSettings(install.Path()), S_OK);
        EXPECT_TRUE(settings.LoadEngineINI());
    }
    {
        // A settings directory without "\Settings": no set is read.
        CTempFolder folder;
        folder.Write("Elsewhere/SWSettings.xml", THREE_SETS);
        CTraceCapture trace;
        CDLSettings settings;
        EXPECT_EQ(settings.LoadSettings(folder.WindowsOf("Elsewhere/SWSettings.xml")), S_OK);
        EXPECT_TRUE(trace.Has("[CDLSettings::LoadEngineINI] The settings directory " +
                              folder.WindowsOf("Elsewhere\\") +
                              " is no folder named Settings: the engine options of engine.ini are not read"));
        EXPECT_EQ(RowsOf(Engine0Array(settings, 1)).size(), 1u); // as the XML built it
        EXPECT_EQ(Engine0Array(settings, 2), nullptr);
    }
    {
        // A path too long to be taken: nothing is read, and the trace says why.
        CTempFolder folder;
        const std::string sName(300, 'n');
        folder.Write("Product/Settings/SWSettings.xml",
                     "<SETTINGS><GENERALSETTINGS><ITEM ID=\"1\" VALUE=\"" + sName +
                         "\"/></GENERALSETTINGS><SETTING ID=\"1\"/></SETTINGS>");
        CTraceCapture trace;
        CDLSettings settings;
        EXPECT_EQ(settings.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        EXPECT_TRUE(trace.HasPrefix("[CDLSettings::LoadEngineINI] The engine option file path "));
        EXPECT_TRUE(trace.HasPrefix("LoadSettings failed to load the engine options HRESULT 80004005"));
    }
    {
        // A missing INI file: every key takes its default, the load counts as done, and the trace names the
        // file looked for.
        CTempFolder folder;
        folder.Write("Product/Settings/SWSettings.xml", THREE_SETS);
        CTraceCapture trace;
        CDLSettings settings;
        EXPECT_EQ(settings.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        EXPECT_TRUE(trace.Has("[CDLSettings::LoadEngineINI] The engine option file " +
                              folder.WindowsOf("Product\\Engine\\ini\\engine.ini") +
                              " is missing: every option takes its default"));
        EXPECT_EQ(FindRow(RowsOf(Engine0Array(settings, 3)), 56)->m_vValue.lVal, 1);
        EXPECT_TRUE(settings.LoadEngineINI());
    }
    {
        // A folder where the INI file should be is named as one, and read as a missing file.
        CTempFolder folder;
        folder.Write("Product/Settings/SWSettings.xml", THREE_SETS);
        std::filesystem::create_directories(folder.PosixOf("Product/Engine/ini/engine.ini"));
        CTraceCapture trace;
        CDLSettings settings;
        EXPECT_EQ(settings.LoadSettings(folder.WindowsOf("Product/Settings/SWSettings.xml")), S_OK);
        EXPECT_TRUE(trace.Has("[CDLSettings::LoadEngineINI] The engine option file " +
                              folder.WindowsOf("Product\\Engine\\ini\\engine.ini") +
                              " is a folder: every option takes its default"));
        EXPECT_FALSE(trace.Contains("Reading the engine options from"));
        EXPECT_EQ(FindRow(RowsOf(Engine0Array(settings, 3)), 56)->m_vValue.lVal, 1);
    }
}

TEST(EngineOptionsDriver, AnInstallationBelowAFolderNamedSettingsReadsItsOwnEngineFolder)
{
    // The tree lies below a parent folder named "settings", with an engine folder of its own there too:
    // the options come from the one beside the settings folder that holds the file.
    CTempFolder folder;
    folder.Write("settings/kestrune/Settings/SWSettings.xml", THREE_SETS);
    folder.Write("settings/kestrune/Engine/ini/engine.ini", "[KVHTMLOptionsEx]\nOutputCharSet=KVCS_UTF8\n");
    folder.Write("Engine/ini/engine.ini", "[KVHTMLOptionsEx]\nOutputCharSet=KVCS_1252\n");
    CTraceCapture trace;
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(folder.WindowsOf("settings/kestrune/Settings/SWSettings.xml")), S_OK);
    EXPECT_TRUE(trace.Has("[CDLSettings::LoadEngineINI] Reading the engine options from " +
                          folder.WindowsOf("settings\\kestrune\\Engine\\ini\\engine.ini")));
    EXPECT_FALSE(trace.Contains(" is missing: every option takes its default"));
    for (int nSettingID : {1, 2, 3})
        EXPECT_EQ(FindRow(RowsOf(Engine0Array(settings, nSettingID)), 151)->m_vValue.lVal, 53) << nSettingID;
}

namespace
{
// Puts an array the loader refuses in the place of set 1's engine-0 array before the options are read.
class CUnreadableEngineArray : public CDLSettings
{
public:
    bool LoadEngineINI() override
    {
        COptionArray& holder = *GetSettingSets().at(1)->m_mapEngines.at(0)->m_spOptionArray;
        SafeArrayUnlock(holder.m_psa);
        SafeArrayDestroy(holder.m_psa);
        holder.m_psa = SafeArrayCreateVector(VT_VARIANT, 0, 3); // one dimension: no rows to count
        SafeArrayLock(holder.m_psa);
        m_psaPlanted = holder.m_psa;
        return CDLSettings::LoadEngineINI();
    }
    SAFEARRAY* m_psaPlanted = nullptr;
};
} // namespace

TEST(EngineOptionsDriver, AThrowingSetKeepsItsArrayAndTheOthersAreRead)
{
    CInstallation install(THREE_SETS, "");
    CTraceCapture trace;
    CUnreadableEngineArray settings;
    HRESULT hr = E_UNEXPECTED;
    EXPECT_NO_THROW(hr = settings.LoadSettings(install.Path()));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Engine0Array(settings, 1), settings.m_psaPlanted);
    EXPECT_TRUE(
        trace.HasPrefix("[CDLSettings::LoadEngineINI] Settings set 1 keeps its engine options: HRESULT "
                        "exception 8002000b"));
    EXPECT_EQ(RowsOf(Engine0Array(settings, 2)).size(), 186u);
    EXPECT_EQ(RowsOf(Engine0Array(settings, 3)).size(), 188u);
}

TEST(EngineOptionsDriver, InstallationSample)
{
    CTraceCapture trace;
    CDLSettings settings;
    ASSERT_EQ(settings.LoadSettings(MapPosixPathToWindows(std::string(DLSW_SOURCE_DIR) +
                                                          "/samples/install/Settings/SWSettings.xml")),
              S_OK);
    EXPECT_FALSE(trace.HasPrefix("LoadSettings failed to load the engine options"));
    for (const auto& [nSettingID, spSet] : settings.GetSettingSets())
    {
        SCOPED_TRACE(nSettingID);
        const std::vector<CRow> rows = RowsOf(Engine0Array(settings, nSettingID));
        EXPECT_EQ(IDsOf(rows, 186), ExpectedFixedIDs(true));
        EXPECT_EQ(FindRow(rows, 151)->m_vValue.lVal, 53);
        EXPECT_EQ(rows.back().m_vID.lVal, 226);
    }
    // Set 1: two options of its own, and engine 8 with option 1 = 3.
    const std::vector<CRow> rows = RowsOf(Engine0Array(settings, 1));
    EXPECT_EQ(rows.size(), 185u + 1u + 2u + 1u);
    EXPECT_EQ(rows.back().m_vValue.lVal, 3);
}
