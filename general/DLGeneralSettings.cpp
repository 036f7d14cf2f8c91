#include "general/DLGeneralSettings.h"

#include "common/FileHelpers.h"
#include "common/StringHelpers.h"
#include "common/TraceLog.h"
#include "contract/ViewerFolder.h"

namespace
{
constexpr int SETTING_VIRTUAL_FOLDER = 7;
constexpr int SETTING_TEMP_DIRECTORY = 17;
constexpr DWORD CACHE_FIRST_ARGUMENT = 3000;
constexpr DWORD CACHE_SECOND_ARGUMENT = 60;
constexpr size_t UTF8_BUFFER_START = 256;
constexpr LANGID LANGID_PRIMARY_ENGLISH = 9;

const char* TrueFalse(bool b)
{
    return b ? "TRUE" : "FALSE";
}

// UTF-8 with only the double quote and the angle brackets escaped, up to the first NUL.
ci_string ToEscapedUtf8(const std::u16string& strText)
{
    CGrowableBuffer buffer(UTF8_BUFFER_START);
    AppendUTF8HtmlEscaped(buffer, strText.c_str());
    const std::string strBytes = buffer.ToString();
    return ci_string(strBytes.c_str());
}
} // namespace

CDLGeneralSettings::CDLGeneralSettings() = default;

CDLGeneralSettings::~CDLGeneralSettings() = default;

bool CDLGeneralSettings::Init(const char* pszProductName, const char* pszModuleName,
                              const char* pszResourceLibName, const char* pszRegistryPath, int nLevels)
{
    m_PageCharSet.Init();
    m_OWAADConfig.BuildAttributeReaders();
    bool bRet =
        CGeneralSettings::Init(pszProductName, pszModuleName, pszResourceLibName, pszRegistryPath, nLevels);
    HRESULT hrDirectory = S_OK;
    if (GetComputerNames(m_strDnsFullyQualifiedName, m_strDnsHostName))
        hrDirectory = ReadOWAAD();
    else
        TraceLog("[CDLGeneralSettings::Init] GetComputerName failed");
    TraceLog("[CDLGeneralSettings::Init] base::Init() %s, ReadOWAAD %s.", bRet ? "SUCCEEDED" : "FAILED",
             FAILED(hrDirectory) ? "FAILED" : "SUCCEEDED");
    if (bRet)
    {
        // Without the session cache users' properties are read from the directory on every request; the
        // worker still serves.
        if (!m_KSCache.Init())
            TraceLog("CDLGeneralSettings::InitializeCache failed to instantiate the Cache Object");
        else if (!m_KSCache.CreateCache(AD_USER_CONFIG_CACHE, CACHE_FIRST_ARGUMENT, CACHE_SECOND_ARGUMENT))
            TraceLog("CDLGeneralSettings::InitializeCache CreateCache failed");
    }
    m_csVirtualFolderName.clear();
    if (bRet)
    {
        m_csVirtualFolderName = DLSW_DEFAULT_VIRTUAL_FOLDER;
        if (!GetSettingFromID(SETTING_VIRTUAL_FOLDER, m_csVirtualFolderName, 0, 0))
            TraceLog(
                "[CDLGeneralSettings::Init] Failed to read 'Dorvel Virtual folder name' setting. ID <%d>.",
                SETTING_VIRTUAL_FOLDER);
    }
    TraceLog("[CDLGeneralSettings::Init] returned bRet <%s>", TrueFalse(bRet));
    return bRet;
}

bool CDLGeneralSettings::LoadSettings(const char* pszModuleName, const char* pszResourceLibName,
                                      std::string& strErrorText, int nLevels)
{
    const bool bRet =
        CGeneralSettings::LoadSettings(pszModuleName, pszResourceLibName, strErrorText, nLevels);
    std::string strTemp;
    const bool bFound = m_Settings.GetSettingFromID(SETTING_TEMP_DIRECTORY, &strTemp, -1, 0);
    if (!bFound)
        TraceLog("GetSettingFromID string failed ID %d, SettingID %d, EngineID %d", SETTING_TEMP_DIRECTORY,
                 -1, 0);
    if (!bFound || strTemp.empty())
    {
        strTemp = m_strInstallDirectory + "Temp";
        TraceLog("%s %s", " No Temp Directory found associate a default one", strTemp.c_str());
    }
    m_strTempDirectory = strTemp;
    if (CFileUtil::FileExists(m_strTempDirectory.c_str()))
        return bRet;
    // The creation answers an HRESULT or a plain, positive Win32 code: only 0 is success.
    const HRESULT hr = CFileUtil::CreateDirectoryPath(m_strTempDirectory.c_str());
    if (hr == S_OK)
        return bRet;
    TraceLogError(static_cast<DWORD>(hr), "%s %s", " Can not create Temp Directory",
                  m_strTempDirectory.c_str());
    // The failure event carries this text: it names the folder and what the system said of it.
    char szSystem[512] = {};
    FormatSystemErrorText(static_cast<DWORD>(hr), szSystem, sizeof(szSystem));
    std::string strSystem = szSystem;
    while (!strSystem.empty() && strSystem.back() == ' ')
        strSystem.pop_back();
    if (strSystem.empty())
        strSystem = "error " + std::to_string(static_cast<DWORD>(hr));
    if (strErrorText.empty())
        strErrorText = "Can not create Temp Directory " + m_strTempDirectory + ": " + strSystem;
    return false;
}

DWORD CDLGeneralSettings::Uninitialize()
{
    return CGeneralSettings::Uninitialize();
}

bool CDLGeneralSettings::GetLanguageIDFromTag(const ci_string& csTag, LANGID& wLangID)
{
    const size_t nComma = csTag.find(',');
    const ci_string csCut = nComma == ci_string::npos ? csTag : csTag.substr(0, nComma);
    auto it = m_mapLanguageTags.find(csCut);
    if (it == m_mapLanguageTags.end())
    {
        wLangID = 0;
        return false;
    }
    wLangID = static_cast<LANGID>(it->second & 0xFFFF);
    return true;
}

bool CDLGeneralSettings::MatchBrowserLanguage(const ci_string& csText, ci_string& csCode)
{
    for (const auto& [csTag, csProductCode] : m_listBrowserLanguages)
    {
        if (csText.find(csTag) == 0)
        {
            csCode = csProductCode;
            return true;
        }
    }
    return false;
}

bool CDLGeneralSettings::DetectBrowserLanguage(const ci_string& csAcceptLanguage, ci_string& csCode,
                                               LANGID& wLangID)
{
    csCode = "en";
    wLangID = LANGID_PRIMARY_ENGLISH;
    std::vector<ci_string> vecPieces;
    if (csAcceptLanguage.empty() || !SplitToCiStringVector(csAcceptLanguage, ";", vecPieces, true) ||
        vecPieces.empty())
        return false;
    GetLanguageIDFromTag(vecPieces.front(), wLangID);
    // The header's order decides; quality values are not weighed.
    for (const ci_string& csPiece : vecPieces)
    {
        if (MatchBrowserLanguage(csPiece, csCode))
            return !csCode.empty();
    }
    return false;
}

bool CDLGeneralSettings::DetectUserLanguage(const ci_string& csUserName, const ci_string& csAcceptLanguage,
                                            ci_string& csCode, LANGID& wLangID,
                                            const std::string& strRequestData)
{
    csCode = "en";
    wLangID = LANGID_PRIMARY_ENGLISH;
    std::string strCulture;
    const HRESULT hr = GetADProperty(csUserName.c_str(), "msExchUserCulture", strCulture, strRequestData);
    bool bRet = false;
    if (FAILED(hr))
    {
        TraceLog("DetectUserLanguage failed and goes with Browser language");
        bRet = DetectBrowserLanguage(csAcceptLanguage, csCode, wLangID);
    }
    else
    {
        ci_string csCulture(strCulture.c_str());
        const size_t nComma = csCulture.find(',');
        if (nComma != ci_string::npos)
            csCulture.erase(nComma);
        GetLanguageIDFromTag(csCulture, wLangID);
        bRet = MatchBrowserLanguage(csCulture, csCode);
    }
    TraceLog("DetectUserLanguage User: %s Language: %s", csUserName.c_str(), csCode.c_str());
    return bRet;
}

bool CDLGeneralSettings::GetResources(const std::vector<int>& vecIDs, std::map<int, ci_string>& mapStrings,
                                      int nMode, LANGID wLangID, const ci_string& csCharSet)
{
    bool bRet = true;
    const bool bInCharSet = nMode == 2 || nMode == 3;
    // A set that is not known fails every id alike: said once, and nothing is delivered.
    const bool bCharSetKnown = !bInCharSet || m_PageCharSet.IsKnown(csCharSet);
    for (const int nID : vecIDs)
    {
        std::u16string strText;
        if (!m_Resource.LoadString(nID, strText, wLangID))
        {
            const bool bEnglish = m_Resource.LoadString(nID, strText, LANGID_ENGLISH_FALLBACK);
            TraceLog("GetResources didn't find res ID %d LANGID %d, it looked for Englich version %d", nID,
                     static_cast<int>(wLangID), bEnglish ? 1 : 0);
            if (!bEnglish)
            {
                TraceLog("GetResources can not get res ID %d for LANGID %d.", nID, static_cast<int>(wLangID));
                bRet = false;
                continue;
            }
        }
        ci_string csText;
        if (bInCharSet)
        {
            if (!bCharSetKnown)
            {
                TraceLog("GetResources can not translate the res ID %d LANGID %d, CharSet %s", nID,
                         static_cast<int>(wLangID), csCharSet.c_str());
                bRet = false;
                break;
            }
            if (!m_PageCharSet.TranslateString(strText, csCharSet, csText))
            {
                TraceLog("GetResources can not translate the res ID %d LANGID %d, CharSet %s", nID,
                         static_cast<int>(wLangID), csCharSet.c_str());
                bRet = false;
            }
        }
        else
            csText = ToEscapedUtf8(strText);
        if (!csText.empty())
            mapStrings.emplace(nID, csText);
    }
    return bRet;
}

int GetUTF8ResourceString(CGeneralSettings& settings, int nID, ci_string& csText, LANGID wLangID)
{
    std::u16string strText;
    if (!settings.m_Resource.LoadString(nID, strText, wLangID))
    {
        TraceLog("[GetUTF8ResourceString] Unable to load resource RES %d LANGID %d", nID,
                 static_cast<int>(wLangID));
        return 0;
    }
    const ci_string csUtf8 = ToEscapedUtf8(strText);
    if (csUtf8.size() <= 3)
        return 0;
    csText = csUtf8;
    return 1;
}
