// What the engine-option INI file holds: every section and key, the option id its value is written
// under, how its text is read, the default it is read with, the order of the option rows, and the
// enumeration names with their values.
#pragma once

#include <cstddef>
#include <span>

enum class EEngineOptionKind
{
    Boolean,     // 1 for exactly "TRUE", else 0
    Number,      // decimal, as atoi reads it
    LongNumber,  // decimal, as atol reads it
    MaxMemory,   // "LONG_MAX" in any case, else a long number
    Enumeration, // a name of the enumeration table
    Text,        // kept as text; empty keeps nothing
    Character,   // the first byte
    NumberList,  // comma-separated numbers
};

struct CEngineOptionKey
{
    const char* m_pszKey;
    int m_nOptionID; // -1: read but written under no id
    EEngineOptionKind m_eKind;
    const char* m_pszDefault;
};

// Which record a row's value comes from.
enum class EEngineOptionSource
{
    Template,     // a key of "KVHTMLTemplateEx", by its index in the template keys
    Options,      // a key of "KVHTMLOptionsEx", by its index in the options keys
    FontSizeMap,  // entry m_nIndex (0 to 6) of FontSizeMap
    TocOptions,   // a key of "KVHTMLTOCOptions", by its index
    HeadingInfo,  // field m_nIndex (0 to 11, in record order) of heading level m_nLevel (1 to 6)
    TrackChanges, // a key of "TrackChanges", by its index in the track-changes keys
    AuthorStyleCount,
    AuthorStyles,
};

struct CEngineOptionRow
{
    int m_nOptionID;
    EEngineOptionSource m_eSource;
    int m_nIndex;
    int m_nLevel;
};

inline constexpr const char* INI_SECTION_TEMPLATE = "KVHTMLTemplateEx";
inline constexpr const char* INI_SECTION_OPTIONS = "KVHTMLOptionsEx";
inline constexpr const char* INI_SECTION_TOC = "KVHTMLTOCOptions";
inline constexpr const char* INI_SECTION_HEADING = "KVHTMLHeadingInfo";
inline constexpr const char* INI_SECTION_STYLE = "KVStyle";
inline constexpr const char* INI_SECTION_STYLE_FORMAT = "Style%d";
inline constexpr const char* INI_SECTION_TRACK_CHANGES = "TrackChanges";
inline constexpr const char* INI_SECTION_AUTHOR_STYLE = "AUTHORSTYLE";
inline constexpr const char* INI_TRACK_CHANGES_DEFAULT = "KVCS_UNKNOWN";

inline constexpr int HEADING_LEVELS = 6;
inline constexpr int HEADING_FIELDS = 12;
inline constexpr int FONT_SIZE_ENTRIES = 7;
inline constexpr int FIXED_ROW_COUNT = 185;
inline constexpr int OPTION_ID_STYLES = 180;
inline constexpr int OPTION_ID_ENGINE8_OPTION1 = 226;

// The keys of each section, in reading order.
std::span<const CEngineOptionKey> TemplateKeys();
std::span<const CEngineOptionKey> OptionsKeys();
std::span<const CEngineOptionKey> TocKeys();
// The twelve list keys of "KVHTMLHeadingInfo", in record order (minParaLen first).
std::span<const CEngineOptionKey> HeadingKeys();
// "HLStartBlock", "HLEndBlock", "RMStartBlock", "RMEndBlock", "RMSummary", "RMInsPre", "RMDelPre".
std::span<const CEngineOptionKey> TrackChangesKeys();

// The fixed rows in writing order: the rows before the style row (template, options, headings) and the
// track-changes rows after it. Together they are FIXED_ROW_COUNT rows.
std::span<const CEngineOptionRow> RowsBeforeStyles();
std::span<const CEngineOptionRow> TrackChangesRows();

// The value of an enumeration name, matched exactly; false for any other text.
bool FindEngineEnumValue(const char* pszName, int& nValue);
// The number of names in the enumeration table.
size_t EngineEnumNameCount();
