// The language resource library: localized strings per language, read from its string tables.
#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <vector>

// English (Canada): the language of every fallback.
constexpr LANGID LANGID_ENGLISH_FALLBACK = 0x1009;

// A product language code and the LANGID under which the library keeps its strings.
struct LanguageCode
{
    std::string m_strCode;
    LANGID m_wLangID = 0;
};

using PFN_RESOURCE_TRACE = void (*)(const char* pszText);
using PFN_RESOURCE_EVENT = void (*)(DWORD dwType, const char* pszText);

class CResource
{
public:
    CResource();
    ~CResource();
    CResource(const CResource&) = delete;
    CResource& operator=(const CResource&) = delete;

    // Loads the library as a data file (none of its code runs), freeing the one loaded before.
    bool LoadModule(const std::string& strPath);
    // True when nothing is loaded or the library was freed.
    bool UnloadModule();
    // The string of that id in that language; an empty string counts as absent.
    bool LoadString(int nID, std::u16string& strText, LANGID wLangID) const;
    // The LANGID of a product code (case-sensitive); an unknown code gives English and false.
    bool DetectLanguage(const std::string& strCode, LANGID& wLangID) const;

    // Where the module's trace lines and event texts go; null hooks drop them.
    static void SetTraceHook(PFN_RESOURCE_TRACE pfnTrace);
    static void SetEventHook(PFN_RESOURCE_EVENT pfnEvent);
    static void Trace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
    static void ReportEvent(DWORD dwType, DWORD dwError, const char* pszFormat, ...)
        __attribute__((format(printf, 3, 4)));

    std::string m_strPath;
    HMODULE m_hModule = nullptr;
    std::vector<LanguageCode> m_vecLanguages;

private:
    void BuildLanguageTable();
};
