// The character sets of pages that are not sent as UTF-8, and the conversion of localized strings into
// them.
#pragma once

#include "common/CiString.h"
#include "platform/WinTypes.h"

#include <map>
#include <string>

class CPageCharSet
{
public:
    CPageCharSet() = default;
    virtual ~CPageCharSet() = default;
    CPageCharSet(const CPageCharSet&) = delete;
    CPageCharSet& operator=(const CPageCharSet&) = delete;

    // Fills the name-to-code-page table; names present already are kept, so a second run adds nothing.
    virtual void Init();

    // The name after "charset=" (any case) up to the next carriage return or the end of the text. True
    // when a name was found.
    static bool DetectCharSet(const char* pszText, DWORD dwLength, ci_string& csCharSet);
    // The text in the named character set: UTF-8 HTML-escaped for "utf-8", the thread's ANSI code page
    // for "utf-16", the table's code page otherwise, unescaped. False, with the out text untouched, for a
    // name not in the table or a code page this platform cannot convert into.
    bool TranslateString(const std::u16string& strText, const ci_string& csCharSet, ci_string& csOut) const;
    // The table's code page of a name; false when the name is not in the table.
    bool GetCodePage(const ci_string& csCharSet, UINT& uCodePage) const;

    std::map<ci_string, DWORD> m_mapCharSets;
};
