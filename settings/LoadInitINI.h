// The loader of document-export engine options: reads the options from an INI file into records and packs
// them, with the options the engine already had and a few extra rows, into an option array of
// {option id, value} rows.
#pragma once

#include "contract/CountedPtr.h"
#include "platform/ComSupport.h"
#include "settings/EngineOptionTable.h"
#include "settings/SettingSetRecord.h"

#include <span>
#include <string>
#include <vector>

// Reports of the loader: a message, and for some messages one more text (null otherwise). Nothing is
// reported while no call-back is set.
using PFN_LOAD_INIT_LOG = void (*)(const char* pszMessage, const char* pszArgument);
void SetLoadInitLogCallback(PFN_LOAD_INIT_LOG pfnCallback);

// One value read from the INI file: a number (booleans, numbers, enumeration values, characters) or a
// text that points into the saved strings of the Load call that read it (null when nothing was kept).
struct CIniValue
{
    LONG m_nValue = 0;
    const char* m_pszText = nullptr;
};

struct KVHTMLHeadingInfo
{
    // minParaLen, maxParaLen, fontSizeMin, fontSizeMax, bMustBeBold, bMustBeItalic, bMustBeUnderlined,
    // bNonZeroIndent, bNoTabs, bNoMultiSpaces, mSpaceBefore, mSpaceAfter.
    LONG m_anFields[12] = {};
};

struct KVStyle
{
    const char* m_pszStyleName = nullptr;
    size_t m_cchStyleName = 0;
    const char* m_pszMarkUpStart = nullptr;
    size_t m_cchMarkUpStart = 0;
    const char* m_pszMarkUpEnd = nullptr;
    size_t m_cchMarkUpEnd = 0;
    LONG m_nFlags = 0;
};

// Everything one Load reads, zeroed before Init. Section values stand in the order of their key tables.
struct CEngineOptionRecords
{
    CEngineOptionRecords() = default;
    // The heading pointers point into the object itself.
    CEngineOptionRecords(const CEngineOptionRecords&) = delete;
    CEngineOptionRecords& operator=(const CEngineOptionRecords&) = delete;

    std::vector<CIniValue> m_vecTemplate;
    std::vector<CIniValue> m_vecOptions;
    LONG m_anFontSizeMap[7] = {};
    LONG m_bNoPictures = 0;
    std::vector<CIniValue> m_vecTocOptions;
    KVHTMLHeadingInfo m_aHeadingInfo[6];
    KVHTMLHeadingInfo* m_apHeadingInfo[6] = {};
    CCountedPtr<std::vector<KVStyle>> m_spStyles;
    LONG m_nStyleCount = 0;
    std::vector<CIniValue> m_vecTrackChanges;
    size_t m_cchRMInsPre = 0;
    size_t m_cchRMDelPre = 0;
    LONG m_nAuthorStyleCount = 0;
    std::vector<std::string> m_vecAuthorStyles;
};

// The texts Init copies, each in a block of the local heap freed by its last holder.
using CSavedString = CCountedPtr<char, CLocalFreeDelete>;
using CSavedStrings = std::vector<CSavedString>;

// A row added after all others: {option id, value}.
struct CExtraOption
{
    LONG m_nOptionID = 0;
    _variant_t m_vValue;
};

class CLoadInit
{
public:
    virtual ~CLoadInit() = default;
    // Replaces the array in the holder with the new option array. A failing array call of the input or
    // of the style and author-style rows is raised with ThrowIfFailed; the holder then keeps its array.
    virtual int Load(COptionArray& options, const std::vector<CExtraOption>& vecExtras) = 0;
    // Reads the options into the records: 0, or 1 when there is nothing to read from.
    virtual int Init(CEngineOptionRecords& records, CSavedStrings& savedStrings) = 0;
};

class CLoadInitINI : public CLoadInit
{
public:
    // More styles or author styles than this are not read: each costs four lookups in the file.
    static constexpr LONG MAX_STYLES = 1024;

    CLoadInitINI() = default;

    // Takes a path shorter than MAX_PATH characters; a longer one leaves the path as it was.
    void SetPath(const char* pszPath);
    const char* GetPath() const { return m_szPath; }

    int Load(COptionArray& options, const std::vector<CExtraOption>& vecExtras) override;
    int Init(CEngineOptionRecords& records, CSavedStrings& savedStrings) override;

    // Writes the option id at {0, row} and the value at {1, row}.
    static HRESULT AddElement(LONG nRow, LONG nOptionID, const VARIANT& value, SAFEARRAY* psa);
    // Appends the rows of the input array whose id is a VT_I4; nRow is the last row written.
    static HRESULT FillAditionalOptions(LONG& nRow, SAFEARRAY* psa, SAFEARRAY* pInput);
    // A copy of the text that lives as long as the saved strings; null for an empty text.
    const char* SaveINIFileString(const char* pszText);
    // The value of an enumeration name; 0 for an unlisted or empty one.
    static int GetEnumValue(const char* pszName);
    // The number of rows of an option array (its second dimension).
    static LONG RowCount(SAFEARRAY* psa);

private:
    // The value of one key, as the profile reader answers it.
    void ReadKey(const char* pszSection, const char* pszKey, const char* pszDefault,
                 char (&szValue)[2048]) const;
    void ReadSection(const char* pszSection, std::span<const CEngineOptionKey> keys,
                     std::vector<CIniValue>& vecValues);
    void ReadHeadingInfo(CEngineOptionRecords& records);
    void ReadStyles(CEngineOptionRecords& records);
    void ReadTrackChanges(CEngineOptionRecords& records);
    void WriteRows(SAFEARRAY* psa, LONG& nRow, const CEngineOptionRecords& records, SAFEARRAY* pInput,
                   const std::vector<CExtraOption>& vecExtras) const;

    CSavedStrings* m_pSavedStrings = nullptr;
    char m_szPath[MAX_PATH] = {};
};
