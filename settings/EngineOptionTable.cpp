#include "settings/EngineOptionTable.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace
{
using K = EEngineOptionKind;
using S = EEngineOptionSource;

constexpr CEngineOptionKey s_aTemplateKeys[] = {
    {"szMainTop", 1, K::Text, ""},
    {"szMainBottom", 2, K::Text, ""},
    {"szFirstH1Start", 3, K::Text, ""},
    {"szMiddleH1Start", 5, K::Text, ""},
    {"szLastH1Start", 7, K::Text, ""},
    {"szFirstH1End", 4, K::Text, ""},
    {"szMiddleH1End", 6, K::Text, ""},
    {"szLastH1End", 8, K::Text, ""},
    {"szH2HTML", 17, K::Text, ""},
    {"szH3HTML", 18, K::Text, ""},
    {"szH4HTML", 19, K::Text, ""},
    {"szH5HTML", 20, K::Text, ""},
    {"szH6HTML", 21, K::Text, ""},
    {"szTOCH1Start", 22, K::Text, ""},
    {"szTOCH2Start", 26, K::Text, ""},
    {"szTOCH3Start", 30, K::Text, ""},
    {"szTOCH4Start", 34, K::Text, ""},
    {"szTOCH5Start", 38, K::Text, ""},
    {"szTOCH6Start", 42, K::Text, ""},
    {"szTOC_H1", 23, K::Text, ""},
    {"szTOC_H2", 27, K::Text, ""},
    {"szTOC_H3", 31, K::Text, ""},
    {"szTOC_H4", 35, K::Text, ""},
    {"szTOC_H5", 39, K::Text, ""},
    {"szTOC_H6", 43, K::Text, ""},
    {"szTOCH1End", 24, K::Text, ""},
    {"szTOCH2End", 28, K::Text, ""},
    {"szTOCH3End", 32, K::Text, ""},
    {"szTOCH4End", 36, K::Text, ""},
    {"szTOCH5End", 40, K::Text, ""},
    {"szTOCH6End", 44, K::Text, ""},
    {"szXFile", 9, K::Text, ""},
    {"szStartBlock", 10, K::Text, ""},
    {"szEndBlock", 11, K::Text, ""},
    {"bPutBlocksInSeparateFiles", 53, K::Boolean, "FALSE"},
    {"bHardPageMakesNewBlock", 54, K::Boolean, "FALSE"},
    {"lcbBlockSize", 175, K::LongNumber, ""},
    {"szChunkTemplate", 12, K::Text, ""},
    {"szTableHTML", 13, K::Text, ""},
    {"bTableHTMLForSpreadsheetOnly", 55, K::Boolean, "FALSE"},
    {"szUserSummary", 14, K::Text, ""},
    {"szXStartBlock", 15, K::Text, ""},
    {"szXEndBlock", 16, K::Text, ""},
    {"szTOCH1LeafNode", 25, K::Text, ""},
    {"szTOCH2LeafNode", 29, K::Text, ""},
    {"szTOCH3LeafNode", 33, K::Text, ""},
    {"szTOCH4LeafNode", 37, K::Text, ""},
    {"szTOCH5LeafNode", 41, K::Text, ""},
    {"szTOCH6LeafNode", 45, K::Text, ""},
};

constexpr CEngineOptionKey s_aOptionsKeys[] = {
    {"OutputCharSet", 151, K::Enumeration, "KVCS_UNKNOWN"},
    {"bUseDocumentColors", 56, K::Boolean, "TRUE"},
    {"bUseDocumentFontInfo", 57, K::Boolean, "TRUE"},
    {"bSupportFontFace", 58, K::Boolean, "FALSE"},
    {"bSupportUserFontSizeMapping", 60, K::Boolean, "FALSE"},
    {"FontSizeMap", 152, K::NumberList, ""},
    {"bDisplayRelativeFontSize", 61, K::Boolean, "FALSE"},
    {"bSupportRFC1942_cols", 62, K::Boolean, "FALSE"},
    {"bNbspEmptyCells", 63, K::Boolean, "FALSE"},
    {"SATableBorder", 159, K::Enumeration, "SA_BaseOnDocument"},
    {"nTableBorderWidth", 160, K::Number, "1"},
    {"szBaseURL", 46, K::Text, ""},
    {"szMainURL", 47, K::Text, ""},
    {"szDefaultOutputDirectory", 48, K::Text, ""},
    {"szPicPath", 49, K::Text, ""},
    {"szPicURL", 50, K::Text, ""},
    {"szJavaURL", 51, K::Text, ""},
    {"szJavaArchive", 52, K::Text, ""},
    {"bRemoveFileNameSpaces", 64, K::Boolean, "FALSE"},
    {"bRasterizeFiles", 65, K::Boolean, "FALSE"},
    {"OutputRasterGraphicType", 161, K::Enumeration, "KVGFX_PNG"},
    {"OutputVectorGraphicType", 162, K::Enumeration, "KVGFX_WMF"},
    {"cxVectorToRasterXRes", 163, K::Number, "0"},
    {"cyVectorToRasterYRes", 164, K::Number, "0"},
    {"bGenerateURLs", 66, K::Boolean, "TRUE"},
    {"lcbMaxMemUsage", 172, K::MaxMemory, "LONG_MAX"},
    {"bSupportColumnHeadings", 67, K::Boolean, "FALSE"},
    {"bSupportRowHeadings", 68, K::Boolean, "FALSE"},
    {"bSupportCellSpan", 69, K::Boolean, "FALSE"},
    {"bSupportRowSpan", 70, K::Boolean, "FALSE"},
    {"bSupportColumnWidth", 71, K::Boolean, "FALSE"},
    {"bRemoveEmptyColumns", 72, K::Boolean, "FALSE"},
    {"bRemoveEmptyRows", 173, K::Boolean, "FALSE"},
    {"nRowsBeforeSplit", 165, K::Number, ""},
    {"OutputLanguageID", 166, K::Enumeration, "Language_UNKNOWN"},
    {"eStyleSheetType", 167, K::Enumeration, "STYLESHEET_DISABLED"},
    {"bTabsToTables", 73, K::Boolean, "FALSE"},
    {"bForceOutputCharSet", 74, K::Boolean, "FALSE"},
    {"bEnableEmptyRows", 75, K::Boolean, "FALSE"},
    {"cReplaceChar", 168, K::Character, " "},
    {"cRedact", 169, K::Character, "X"},
    {"eSrcCharSet", 170, K::Enumeration, ""},
    {"bForceSrcCharSet", 76, K::Boolean, "FALSE"},
    {"nCompressionQuality", 171, K::Number, "0"},
    {"bNoPictures", -1, K::Boolean, "FALSE"},
};

constexpr CEngineOptionKey s_aTocKeys[] = {
    {"bAllowHeadingsInTables", 77, K::Boolean, "FALSE"},
    {"headingCreateType", 174, K::Enumeration, ""},
};

// Record order; the option id of field f at level L is 78 + 12 (L - 1) + k, k given here.
constexpr CEngineOptionKey s_aHeadingKeys[] = {
    {"minParaLen", 8, K::Number, ""},         {"maxParaLen", 9, K::Number, ""},
    {"fontSizeMin", 10, K::Number, ""},       {"fontSizeMax", 11, K::Number, ""},
    {"bMustBeBold", 0, K::Boolean, ""},       {"bMustBeItalic", 1, K::Boolean, ""},
    {"bMustBeUnderlined", 2, K::Boolean, ""}, {"bNonZeroIndent", 3, K::Boolean, ""},
    {"bNoTabs", 4, K::Boolean, ""},           {"bNoMultiSpaces", 5, K::Boolean, ""},
    {"mSpaceBefore", 6, K::Number, ""},       {"mSpaceAfter", 7, K::Number, ""},
};

constexpr CEngineOptionKey s_aTrackChangesKeys[] = {
    {"HLStartBlock", 240, K::Text, INI_TRACK_CHANGES_DEFAULT},
    {"HLEndBlock", 241, K::Text, INI_TRACK_CHANGES_DEFAULT},
    {"RMStartBlock", 244, K::Text, INI_TRACK_CHANGES_DEFAULT},
    {"RMEndBlock", 245, K::Text, INI_TRACK_CHANGES_DEFAULT},
    {"RMSummary", 248, K::Number, INI_TRACK_CHANGES_DEFAULT},
    {"RMInsPre", 242, K::Text, INI_TRACK_CHANGES_DEFAULT},
    {"RMDelPre", 243, K::Text, INI_TRACK_CHANGES_DEFAULT},
};

template <size_t N> int IndexOfID(const CEngineOptionKey (&aKeys)[N], int nOptionID)
{
    for (size_t i = 0; i < N; ++i)
    {
        if (aKeys[i].m_nOptionID == nOptionID)
            return static_cast<int>(i);
    }
    return -1; // never: every id below is in its table
}

template <size_t N> int IndexOfKey(const CEngineOptionKey (&aKeys)[N], const char* pszKey)
{
    for (size_t i = 0; i < N; ++i)
    {
        if (std::strcmp(aKeys[i].m_pszKey, pszKey) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

std::vector<CEngineOptionRow> BuildRowsBeforeStyles()
{
    std::vector<CEngineOptionRow> rows;
    const auto Template = [&](int nID) {
        rows.push_back({nID, S::Template, IndexOfID(s_aTemplateKeys, nID), 0});
    };
    const auto TemplateKey = [&](int nID, const char* pszKey) {
        rows.push_back({nID, S::Template, IndexOfKey(s_aTemplateKeys, pszKey), 0});
    };

    for (int nID : {54, 53, 55})
        Template(nID);
    for (int nID = 1; nID <= 21; ++nID)
        Template(nID);
    for (int nLevel = 1; nLevel <= HEADING_LEVELS; ++nLevel)
        Template(19 + 4 * nLevel);
    // The first-heading texts also stand under the ids of the first TOC level, before that level's own.
    TemplateKey(22, "szFirstH1Start");
    TemplateKey(24, "szFirstH1End");
    for (int nLevel = 1; nLevel <= HEADING_LEVELS; ++nLevel)
    {
        Template(21 + 4 * nLevel);
        Template(20 + 4 * nLevel);
        Template(18 + 4 * nLevel);
    }
    Template(175);

    // bNbspEmptyCells (63) stands twice; no row carries bNoPictures.
    for (int nID : {61,  75,  74,  76,  66,  63,  63,  65,  72,  173, 64,  69,  67, 71,  62,
                    58,  68,  70,  60,  56,  57,  169, 168, 163, 164, 170, 167, 73, 172, 171,
                    165, 160, 151, 166, 161, 162, 159, 46,  48,  52,  51,  47,  49, 50})
        rows.push_back({nID, S::Options, IndexOfID(s_aOptionsKeys, nID), 0});
    for (int i = 0; i < FONT_SIZE_ENTRIES; ++i)
        rows.push_back({152 + i, S::FontSizeMap, i, 0});

    rows.push_back({77, S::TocOptions, 0, 0});
    rows.push_back({174, S::TocOptions, 1, 0});
    for (int nLevel = 1; nLevel <= HEADING_LEVELS; ++nLevel)
    {
        for (int k : {0, 1, 2, 3, 5, 4, 11, 10, 9, 8, 6, 7})
        {
            // Field k of the option ids is field (k + 4) % 12 of the record.
            rows.push_back(
                {78 + HEADING_FIELDS * (nLevel - 1) + k, S::HeadingInfo, (k + 4) % HEADING_FIELDS, nLevel});
        }
    }
    return rows;
}

constexpr CEngineOptionRow s_aTrackChangesRows[] = {
    {240, S::TrackChanges, 0, 0},     {241, S::TrackChanges, 1, 0}, {244, S::TrackChanges, 2, 0},
    {245, S::TrackChanges, 3, 0},     {242, S::TrackChanges, 5, 0}, {243, S::TrackChanges, 6, 0},
    {246, S::AuthorStyleCount, 0, 0}, {248, S::TrackChanges, 4, 0}, {247, S::AuthorStyles, 0, 0},
};

struct CEnumName
{
    const char* m_pszName;
    int m_nValue;
};

constexpr CEnumName s_aEnumNames[] = {
    // graphic types
    {"KVGFX_GIF", 0},
    {"KVGFX_JPEG", 1},
    {"KVGFX_PNG", 2},
    {"KVGFX_CGM", 3},
    {"KVGFX_WMF", 4},
    {"KVGFX_JAVA", 5},
    // anchors
    {"VectorPictureAnchorEx", 0},
    {"RasterPictureAnchorEx", 1},
    {"H1AnchorEx", 2},
    {"H2AnchorEx", 3},
    {"H3AnchorEx", 4},
    {"H4AnchorEx", 5},
    {"H5AnchorEx", 6},
    {"H6AnchorEx", 7},
    {"XAnchorEx", 8},
    {"AnimatedGIFAnchorEx", 9},
    {"GeneralAnchorEx", 10},
    // heading creation
    {"KVHC_DocHeadingsOnly", 0},
    {"KVHC_CreateHeadingsAlways", 1},
    // character sets
    {"KVCS_UNKNOWN", 0},
    {"KVCS_SJIS", 1},
    {"KVCS_GB", 2},
    {"KVCS_BIG5", 3},
    {"KVCS_KSC", 4},
    {"KVCS_1250", 5},
    {"KVCS_1251", 6},
    {"KVCS_1252", 7},
    {"KVCS_1253", 8},
    {"KVCS_1254", 9},
    {"KVCS_1255", 10},
    {"KVCS_1256", 11},
    {"KVCS_1257", 12},
    {"KVCS_1258", 13},
    {"KVCS_8859_1", 14},
    {"KVCS_8859_2", 15},
    {"KVCS_8859_3", 16},
    {"KVCS_8859_4", 17},
    {"KVCS_8859_5", 18},
    {"KVCS_8859_6", 19},
    {"KVCS_8859_7", 20},
    {"KVCS_8859_8", 21},
    {"KVCS_8859_9", 22},
    {"KVCS_437", 25},
    {"KVCS_737", 26},
    {"KVCS_775", 27},
    {"KVCS_850", 28},
    {"KVCS_852", 30},
    {"KVCS_855", 31},
    {"KVCS_857", 32},
    {"KVCS_860", 33},
    {"KVCS_861", 34},
    {"KVCS_862", 35},
    {"KVCS_863", 36},
    {"KVCS_864", 37},
    {"KVCS_865", 38},
    {"KVCS_866", 39},
    {"KVCS_869", 40},
    {"KVCS_874", 41},
    {"KVCS_UNICODE", 51},
    {"KVCS_UTF16", 52},
    {"KVCS_UTF8", 53},
    {"KVCS_UTF7", 54},
    {"KVCS_EUC_JP", 66},
    // languages
    {"Language_UNKNOWN", 0},
    {"Language_TRADITIONAL_CHINESE", 1},
    {"Language_SIMPLIFIED_CHINESE", 2},
    {"Language_CZECH", 3},
    {"Language_DANISH", 4},
    {"Language_DUTCH", 5},
    {"Language_ENGLISH", 6},
    {"Language_FINNISH", 7},
    {"Language_FRENCH", 8},
    {"Language_GERMAN", 9},
    {"Language_GREEK", 10},
    {"Language_HUNGARIAN", 11},
    {"Language_ICELANDIC", 12},
    {"Language_ITALIAN", 13},
    {"Language_JAPANESE", 14},
    {"Language_KOREAN", 15},
    {"Language_NORWEGIAN", 16},
    {"Language_POLISH", 17},
    {"Language_PORTUGUESE", 18},
    {"Language_RUSSIAN", 19},
    {"Language_SLOVAK", 20},
    {"Language_SPANISH", 21},
    {"Language_SWEDISH", 22},
    {"Language_TURKISH", 23},
    {"Language_LAST_LANG", 24},
    // document types
    {"UnknownDocType", 0},
    {"WordProcessor", 1},
    {"Spreadsheet", 2},
    {"Presentation", 3},
    // table borders
    {"SA_BaseOnDocument", 0},
    {"SA_NoBorder", 1},
    {"SA_Border", 2},
    // style sheets
    {"STYLESHEET_DISABLED", 0},
    {"CSS_INLINE", 1},
    {"CSS_TOFILE", 2},
    // style flags, one bit each
    {"KVSTYLE_PRE", 1},
    {"KVSTYLE_HEADING1", 2},
    {"KVSTYLE_HEADING2", 4},
    {"KVSTYLE_HEADING3", 8},
    {"KVSTYLE_HEADING4", 16},
    {"KVSTYLE_HEADING5", 32},
    {"KVSTYLE_HEADING6", 64},
    {"KVSTYLE_ORDERLIST", 128},
    {"KVSTYLE_UNORDEREDLIST", 256},
    {"KVSTYLE_DELETECONTENT", 512},
    {"KVSTYLE_ONCONSECUTIVEPARAGRAPHS", 1024},
    {"KVSTYLE_REDACT", 2048},
};
} // namespace

std::span<const CEngineOptionKey> TemplateKeys()
{
    return s_aTemplateKeys;
}

std::span<const CEngineOptionKey> OptionsKeys()
{
    return s_aOptionsKeys;
}

std::span<const CEngineOptionKey> TocKeys()
{
    return s_aTocKeys;
}

std::span<const CEngineOptionKey> HeadingKeys()
{
    return s_aHeadingKeys;
}

std::span<const CEngineOptionKey> TrackChangesKeys()
{
    return s_aTrackChangesKeys;
}

std::span<const CEngineOptionRow> RowsBeforeStyles()
{
    static const std::vector<CEngineOptionRow> s_vecRows = BuildRowsBeforeStyles();
    return s_vecRows;
}

std::span<const CEngineOptionRow> TrackChangesRows()
{
    return s_aTrackChangesRows;
}

bool FindEngineEnumValue(const char* pszName, int& nValue)
{
    if (pszName == nullptr)
        return false;
    const std::string_view name(pszName);
    for (const CEnumName& entry : s_aEnumNames)
    {
        if (name == entry.m_pszName)
        {
            nValue = entry.m_nValue;
            return true;
        }
    }
    return false;
}

size_t EngineEnumNameCount()
{
    return std::size(s_aEnumNames);
}
