#include "settings/LoadInitINI.h"

#include "common/TraceLog.h"
#include "platform/WinError.h"
#include "platform/WinMemory.h"
#include "platform/WinProfile.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace
{
std::atomic<PFN_LOAD_INIT_LOG> g_pfnLoadInitLog{nullptr};

void Report(const char* pszMessage, const char* pszArgument = nullptr)
{
    const PFN_LOAD_INIT_LOG pfn = g_pfnLoadInitLog.load();
    if (pfn != nullptr)
        pfn(pszMessage, pszArgument);
}

// Decimal as the run-time's atoi and atol read it (blanks, a sign, digits up to the first other
// character), a value beyond the 32-bit range taken as its nearest end.
LONG ReadNumber(const char* psz)
{
    const long long ll = std::strtoll(psz, nullptr, 10); // saturates, where atoi's overflow is undefined
    if (ll > INT32_MAX)
        return INT32_MAX;
    if (ll < INT32_MIN)
        return INT32_MIN;
    return static_cast<LONG>(ll);
}

bool IsTrue(const char* psz)
{
    return std::strcmp(psz, "TRUE") == 0;
}

// The pieces of a comma-separated list, as strtok cuts it: empty pieces are skipped.
std::vector<std::string> CutList(const char* psz, size_t nMax)
{
    std::vector<std::string> vecPieces;
    std::string_view rest(psz);
    while (!rest.empty() && vecPieces.size() < nMax)
    {
        const size_t nComma = rest.find(',');
        const std::string_view piece = rest.substr(0, nComma);
        if (!piece.empty())
            vecPieces.emplace_back(piece);
        rest.remove_prefix(nComma == std::string_view::npos ? rest.size() : nComma + 1);
    }
    return vecPieces;
}

// A text value: an empty BSTR (bNullWhenEmpty false) or a null one when nothing was kept.
_variant_t TextVariant(const char* pszText, bool bNullWhenEmpty)
{
    _variant_t v;
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    if (pszText == nullptr && bNullWhenEmpty)
        return v;
    const char* psz = pszText != nullptr ? pszText : "";
    v.bstrVal = AnsiToBstr(psz, std::strlen(psz));
    if (v.bstrVal == nullptr)
        _com_issue_error(E_OUTOFMEMORY);
    return v;
}

_variant_t KeyVariant(const CEngineOptionKey& key, const CIniValue& value, bool bNullWhenEmpty)
{
    if (key.m_eKind == EEngineOptionKind::Text)
        return TextVariant(value.m_pszText, bNullWhenEmpty);
    return _variant_t(value.m_nValue);
}

// A SAFEARRAY owned for one scope: unlocked as often as it was locked here, then destroyed.
class CArrayOwner
{
public:
    CArrayOwner() = default;
    ~CArrayOwner() { Reset(); }
    CArrayOwner(const CArrayOwner&) = delete;
    CArrayOwner& operator=(const CArrayOwner&) = delete;

    SAFEARRAY* Get() const { return m_psa; }
    SAFEARRAY** Address()
    {
        Reset();
        return &m_psa;
    }
    void Attach(SAFEARRAY* psa)
    {
        Reset();
        m_psa = psa;
    }
    HRESULT Lock()
    {
        const HRESULT hr = SafeArrayLock(m_psa);
        if (SUCCEEDED(hr))
            m_bLocked = true;
        return hr;
    }
    // Hands the array over, locked as it is.
    SAFEARRAY* Detach()
    {
        m_bLocked = false;
        return std::exchange(m_psa, nullptr);
    }
    void Reset()
    {
        if (m_psa == nullptr)
            return;
        if (m_bLocked)
            SafeArrayUnlock(m_psa);
        SafeArrayDestroy(m_psa);
        m_psa = nullptr;
        m_bLocked = false;
    }

private:
    SAFEARRAY* m_psa = nullptr;
    bool m_bLocked = false;
};

_variant_t StyleArrayVariant(const std::vector<KVStyle>& vecStyles)
{
    const SAFEARRAYBOUND bounds[2] = {{4, 0}, {static_cast<ULONG>(vecStyles.size()), 0}};
    CArrayOwner styles;
    styles.Attach(SafeArrayCreate(VT_VARIANT, 2, bounds));
    if (styles.Get() == nullptr)
        ThrowIfFailed(E_OUTOFMEMORY);
    ThrowIfFailed(styles.Lock());
    for (size_t i = 0; i < vecStyles.size(); ++i)
    {
        const KVStyle& style = vecStyles[i];
        const LONG nStyle = static_cast<LONG>(i);
        const _variant_t aFields[4] = {TextVariant(style.m_pszStyleName, true),
                                       TextVariant(style.m_pszMarkUpStart, true),
                                       TextVariant(style.m_pszMarkUpEnd, true), _variant_t(style.m_nFlags)};
        for (LONG nField = 0; nField < 4; ++nField)
        {
            const LONG index[2] = {nField, nStyle};
            ThrowIfFailed(SafeArrayPutElement(styles.Get(), index, &aFields[nField]));
        }
    }
    _variant_t v;
    if (FAILED(SafeArrayCopy(styles.Get(), &v.parray)) || v.parray == nullptr)
        ThrowIfFailed(E_OUTOFMEMORY);
    v.vt = VT_ARRAY | VT_VARIANT;
    return v;
}

_variant_t AuthorStylesVariant(const std::vector<std::string>& vecAuthorStyles)
{
    _variant_t v;
    if (vecAuthorStyles.empty())
        return v;
    CArrayOwner names;
    names.Attach(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(vecAuthorStyles.size())));
    if (names.Get() == nullptr)
        ThrowIfFailed(E_OUTOFMEMORY);
    for (size_t i = 0; i < vecAuthorStyles.size(); ++i)
    {
        const _bstr_t bstrName(vecAuthorStyles[i]);
        const LONG index[1] = {static_cast<LONG>(i)};
        ThrowIfFailed(SafeArrayPutElement(names.Get(), index, bstrName.GetBSTR()));
    }
    v.parray = names.Detach();
    v.vt = VT_ARRAY | VT_BSTR;
    return v;
}
} // namespace

void SetLoadInitLogCallback(PFN_LOAD_INIT_LOG pfnCallback)
{
    g_pfnLoadInitLog = pfnCallback;
}

void CLoadInitINI::SetPath(const char* pszPath)
{
    if (pszPath == nullptr)
        return;
    const size_t nLen = std::strlen(pszPath);
    if (nLen >= MAX_PATH)
        return;
    std::memcpy(m_szPath, pszPath, nLen + 1);
}

void CLoadInitINI::ReadKey(const char* pszSection, const char* pszKey, const char* pszDefault,
                           char (&szValue)[2048]) const
{
    GetPrivateProfileStringA(pszSection, pszKey, pszDefault, szValue, sizeof(szValue), m_szPath);
}

const char* CLoadInitINI::SaveINIFileString(const char* pszText)
{
    if (m_pSavedStrings == nullptr)
    {
        Report("CLoadInitINI::SaveINIFileString Unexpected NULL vector", pszText);
        return nullptr;
    }
    if (pszText == nullptr || *pszText == '\0')
        return nullptr;
    const size_t nLen = std::strlen(pszText);
    auto* pCopy = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, nLen + 1));
    if (pCopy == nullptr)
    {
        Report("CLoadInitINI::SaveINIFileString can not allocate memory ");
        return nullptr;
    }
    std::memcpy(pCopy, pszText, nLen);
    m_pSavedStrings->push_back(CSavedString(pCopy));
    return pCopy;
}

int CLoadInitINI::GetEnumValue(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0')
        return 0;
    int nValue = 0;
    if (FindEngineEnumValue(pszName, nValue))
        return nValue;
    Report(" Unknown enumerated type, defaulted to 0\n", pszName);
    return 0;
}

void CLoadInitINI::ReadSection(const char* pszSection, std::span<const CEngineOptionKey> keys,
                               std::vector<CIniValue>& vecValues)
{
    vecValues.assign(keys.size(), CIniValue());
    char szValue[2048];
    for (size_t i = 0; i < keys.size(); ++i)
    {
        const CEngineOptionKey& key = keys[i];
        ReadKey(pszSection, key.m_pszKey, key.m_pszDefault, szValue);
        CIniValue& value = vecValues[i];
        switch (key.m_eKind)
        {
        case EEngineOptionKind::Boolean:
            value.m_nValue = IsTrue(szValue) ? 1 : 0;
            break;
        case EEngineOptionKind::Number:
        case EEngineOptionKind::LongNumber:
            value.m_nValue = ReadNumber(szValue);
            break;
        case EEngineOptionKind::MaxMemory:
            value.m_nValue = strcasecmp(szValue, "LONG_MAX") == 0 ? INT32_MAX : ReadNumber(szValue);
            break;
        case EEngineOptionKind::Enumeration:
            value.m_nValue = GetEnumValue(szValue);
            break;
        case EEngineOptionKind::Text:
            value.m_pszText = SaveINIFileString(szValue);
            break;
        case EEngineOptionKind::Character:
            value.m_nValue = static_cast<unsigned char>(szValue[0]);
            break;
        case EEngineOptionKind::NumberList:
            break; // the caller cuts the list: only it knows where the pieces go
        }
    }
}

void CLoadInitINI::ReadHeadingInfo(CEngineOptionRecords& records)
{
    char szValue[2048];
    const std::span<const CEngineOptionKey> keys = HeadingKeys();
    for (size_t nField = 0; nField < keys.size(); ++nField)
    {
        const CEngineOptionKey& key = keys[nField];
        ReadKey(INI_SECTION_HEADING, key.m_pszKey, key.m_pszDefault, szValue);
        const std::vector<std::string> vecPieces = CutList(szValue, HEADING_LEVELS);
        for (size_t nLevel = 0; nLevel < vecPieces.size(); ++nLevel)
        {
            const char* pszPiece = vecPieces[nLevel].c_str();
            records.m_apHeadingInfo[nLevel]->m_anFields[nField] =
                key.m_eKind == EEngineOptionKind::Boolean ? (IsTrue(pszPiece) ? 1 : 0) : ReadNumber(pszPiece);
        }
    }
}

void CLoadInitINI::ReadStyles(CEngineOptionRecords& records)
{
    char szValue[2048];
    ReadKey(INI_SECTION_STYLE, "NumStyles", "", szValue);
    LONG nStyles = ReadNumber(szValue);
    if (nStyles < 1)
        return;
    if (nStyles > MAX_STYLES)
    {
        TraceLog("[CLoadInitINI::Init] NumStyles %d is more than %d: only the first %d styles are read",
                 static_cast<int>(nStyles), static_cast<int>(MAX_STYLES), static_cast<int>(MAX_STYLES));
        nStyles = MAX_STYLES;
    }
    records.m_spStyles =
        CCountedPtr<std::vector<KVStyle>>(new std::vector<KVStyle>(static_cast<size_t>(nStyles)));
    records.m_nStyleCount = nStyles;
    for (LONG i = 1; i <= nStyles; ++i)
    {
        char szSection[MAX_PATH];
        std::snprintf(szSection, sizeof(szSection), INI_SECTION_STYLE_FORMAT, static_cast<int>(i));
        KVStyle& style = (*records.m_spStyles)[static_cast<size_t>(i - 1)];
        const struct
        {
            const char* pszKey;
            const char** ppszText;
            size_t* pcch;
        } texts[] = {{"StyleName", &style.m_pszStyleName, &style.m_cchStyleName},
                     {"MarkUpStart", &style.m_pszMarkUpStart, &style.m_cchMarkUpStart},
                     {"MarkUpEnd", &style.m_pszMarkUpEnd, &style.m_cchMarkUpEnd}};
        for (const auto& text : texts)
        {
            ReadKey(szSection, text.pszKey, "", szValue);
            *text.ppszText = SaveINIFileString(szValue);
            *text.pcch = *text.ppszText != nullptr ? std::strlen(*text.ppszText) : 0;
        }
        ReadKey(szSection, "Flags", "", szValue);
        style.m_nFlags = szValue[0] == 'K' ? GetEnumValue(szValue) : ReadNumber(szValue);
    }
}

void CLoadInitINI::ReadTrackChanges(CEngineOptionRecords& records)
{
    ReadSection(INI_SECTION_TRACK_CHANGES, TrackChangesKeys(), records.m_vecTrackChanges);
    const auto Length = [](const CIniValue& value)
    { return value.m_pszText != nullptr ? std::strlen(value.m_pszText) : 0; };
    records.m_cchRMInsPre = Length(records.m_vecTrackChanges[5]);
    records.m_cchRMDelPre = Length(records.m_vecTrackChanges[6]);

    char szValue[2048];
    ReadKey(INI_SECTION_AUTHOR_STYLE, "Styles", "0", szValue);
    LONG nCount = ReadNumber(szValue);
    if (nCount > MAX_STYLES)
    {
        TraceLog("[CLoadInitINI::Init] Styles %d is more than %d: only the first %d author styles are read",
                 static_cast<int>(nCount), static_cast<int>(MAX_STYLES), static_cast<int>(MAX_STYLES));
        nCount = MAX_STYLES;
    }
    records.m_nAuthorStyleCount = nCount;
    for (LONG i = 0; i < nCount; ++i)
    {
        const std::string sKey = "RMAuthorStyle" + std::to_string(i);
        ReadKey(INI_SECTION_AUTHOR_STYLE, sKey.c_str(), INI_TRACK_CHANGES_DEFAULT, szValue);
        records.m_vecAuthorStyles.emplace_back(szValue);
    }
}

int CLoadInitINI::Init(CEngineOptionRecords& records, CSavedStrings& savedStrings)
{
    m_pSavedStrings = &savedStrings;
    if (m_szPath[0] == '\0')
    {
        Report(" Initialisation INI path is Empty");
        return 1;
    }
    ReadSection(INI_SECTION_TEMPLATE, TemplateKeys(), records.m_vecTemplate);

    ReadSection(INI_SECTION_OPTIONS, OptionsKeys(), records.m_vecOptions);
    char szValue[2048];
    ReadKey(INI_SECTION_OPTIONS, "FontSizeMap", "", szValue);
    const std::vector<std::string> vecSizes = CutList(szValue, FONT_SIZE_ENTRIES);
    for (size_t i = 0; i < vecSizes.size(); ++i)
        records.m_anFontSizeMap[i] = ReadNumber(vecSizes[i].c_str());
    records.m_bNoPictures = records.m_vecOptions.back().m_nValue;

    ReadSection(INI_SECTION_TOC, TocKeys(), records.m_vecTocOptions);
    ReadHeadingInfo(records);
    ReadStyles(records);
    ReadTrackChanges(records);
    return 0;
}

HRESULT CLoadInitINI::AddElement(LONG nRow, LONG nOptionID, const VARIANT& value, SAFEARRAY* psa)
{
    const LONG idIndex[2] = {0, nRow};
    const _variant_t vID(nOptionID);
    HRESULT hr = SafeArrayPutElement(psa, idIndex, &vID);
    if (FAILED(hr))
    {
        Report("AddElement Can not add in safearray elem");
        return hr;
    }
    const LONG valueIndex[2] = {1, nRow};
    hr = SafeArrayPutElement(psa, valueIndex, &value);
    if (FAILED(hr))
        Report("AddElement Can not Set in safearray elem");
    return hr;
}

LONG CLoadInitINI::RowCount(SAFEARRAY* psa)
{
    LONG nLower = 0;
    LONG nUpper = -1;
    ThrowIfFailed(SafeArrayGetLBound(psa, 2, &nLower));
    ThrowIfFailed(SafeArrayGetUBound(psa, 2, &nUpper));
    const long long llCount = static_cast<long long>(nUpper) - nLower + 1;
    return llCount > 0 ? static_cast<LONG>(llCount) : 0;
}

HRESULT CLoadInitINI::FillAditionalOptions(LONG& nRow, SAFEARRAY* psa, SAFEARRAY* pInput)
{
    LONG nFirstColumn = 0;
    LONG nFirstRow = 0;
    ThrowIfFailed(SafeArrayGetLBound(pInput, 1, &nFirstColumn));
    ThrowIfFailed(SafeArrayGetLBound(pInput, 2, &nFirstRow));
    const LONG nRows = RowCount(pInput);
    HRESULT hr = S_OK;
    for (LONG r = 0; r < nRows; ++r)
    {
        const LONG idIndex[2] = {nFirstColumn, nFirstRow + r};
        _variant_t vID;
        hr = SafeArrayGetElement(pInput, idIndex, &vID);
        if (FAILED(hr))
        {
            Report("FillAditionalOptions failed to get Dimension from SafeArray");
            return hr;
        }
        if (vID.vt != VT_I4)
            continue;
        const LONG valueIndex[2] = {nFirstColumn + 1, nFirstRow + r};
        _variant_t vValue;
        hr = SafeArrayGetElement(pInput, valueIndex, &vValue);
        if (FAILED(hr))
        {
            Report("FillAditionalOptions can not get index");
            continue;
        }
        hr = AddElement(++nRow, vID.lVal, vValue, psa);
    }
    return hr;
}

void CLoadInitINI::WriteRows(SAFEARRAY* psa, LONG& nRow, const CEngineOptionRecords& records,
                             SAFEARRAY* pInput, const std::vector<CExtraOption>& vecExtras) const
{
    const auto Write = [&](const CEngineOptionRow& row, bool bNullWhenEmpty)
    {
        const auto i = static_cast<size_t>(row.m_nIndex);
        _variant_t v;
        switch (row.m_eSource)
        {
        case EEngineOptionSource::Template:
            v = KeyVariant(TemplateKeys()[i], records.m_vecTemplate[i], bNullWhenEmpty);
            break;
        case EEngineOptionSource::Options:
            v = KeyVariant(OptionsKeys()[i], records.m_vecOptions[i], bNullWhenEmpty);
            break;
        case EEngineOptionSource::FontSizeMap:
            v = _variant_t(records.m_anFontSizeMap[i]);
            break;
        case EEngineOptionSource::TocOptions:
            v = _variant_t(records.m_vecTocOptions[i].m_nValue);
            break;
        case EEngineOptionSource::HeadingInfo:
            v = _variant_t(records.m_apHeadingInfo[row.m_nLevel - 1]->m_anFields[i]);
            break;
        case EEngineOptionSource::TrackChanges:
            v = KeyVariant(TrackChangesKeys()[i], records.m_vecTrackChanges[i], bNullWhenEmpty);
            break;
        case EEngineOptionSource::AuthorStyleCount:
            v = _variant_t(records.m_nAuthorStyleCount);
            break;
        case EEngineOptionSource::AuthorStyles:
            v = AuthorStylesVariant(records.m_vecAuthorStyles);
            break;
        }
        AddElement(++nRow, row.m_nOptionID, v, psa);
    };

    for (const CEngineOptionRow& row : RowsBeforeStyles())
        Write(row, false);
    if (records.m_spStyles && records.m_nStyleCount != 0)
        AddElement(++nRow, OPTION_ID_STYLES, StyleArrayVariant(*records.m_spStyles), psa);
    for (const CEngineOptionRow& row : TrackChangesRows())
        Write(row, true);
    FillAditionalOptions(nRow, psa, pInput);
    for (const CExtraOption& extra : vecExtras)
        AddElement(++nRow, extra.m_nOptionID, extra.m_vValue, psa);
}

int CLoadInitINI::Load(COptionArray& options, const std::vector<CExtraOption>& vecExtras)
{
    if (options.m_psa == nullptr)
        ThrowIfFailed(E_INVALIDARG);
    VARTYPE vt = VT_EMPTY;
    ThrowIfFailed(SafeArrayGetVartype(options.m_psa, &vt));
    if (vt != VT_VARIANT)
        ThrowIfFailed(E_INVALIDARG);
    CArrayOwner input;
    ThrowIfFailed(SafeArrayCopy(options.m_psa, input.Address()));
    ThrowIfFailed(input.Lock());

    CEngineOptionRecords records;
    CSavedStrings savedStrings;
    for (int i = 0; i < HEADING_LEVELS; ++i)
        records.m_apHeadingInfo[i] = &records.m_aHeadingInfo[i];
    const int nResult = Init(records, savedStrings);
    // A loader that read nothing packs zeroed records all the same.
    records.m_vecTemplate.resize(TemplateKeys().size());
    records.m_vecOptions.resize(OptionsKeys().size());
    records.m_vecTocOptions.resize(TocKeys().size());
    records.m_vecTrackChanges.resize(TrackChangesKeys().size());

    const bool bStyles = records.m_spStyles && records.m_nStyleCount != 0;
    const long long llRows = FIXED_ROW_COUNT + (bStyles ? 1 : 0) +
                             static_cast<long long>(RowCount(input.Get())) +
                             static_cast<long long>(vecExtras.size());

    // The rows are built apart and take the holder's place only when whole: whatever fails on the way, the
    // holder keeps the array it had.
    CArrayOwner created;
    const SAFEARRAYBOUND bounds[2] = {{2, 0}, {static_cast<ULONG>(llRows), 0}};
    if (llRows <= INT32_MAX)
        created.Attach(SafeArrayCreate(VT_VARIANT, 2, bounds));
    if (created.Get() == nullptr || FAILED(created.Lock()))
    {
        Report("Failed to create Safearray in Load");
        return 1;
    }
    LONG nRow = -1;
    WriteRows(created.Get(), nRow, records, input.Get(), vecExtras);

    if (FAILED(SafeArrayUnlock(options.m_psa)))
    {
        Report("Failed to create Safearray in Load");
        return 1;
    }
    if (FAILED(SafeArrayDestroy(options.m_psa)))
    {
        SafeArrayLock(options.m_psa); // someone else still holds it: it stays as it was
        Report("Failed to create Safearray in Load");
        return 1;
    }
    options.m_psa = created.Detach();
    return nResult;
}
